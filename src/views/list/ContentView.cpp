#include "ContentView.h"

#include "Alerts.h"
#include "BatchEditView.h"
#include "BusyToolButton.h"
#include "DeletionFocus.h"
#include "EmptyStateView.h"
#include "ErrorRow.h"
#include "Icons.h"
#include "Preferences.h"
#include "ProgressOverlay.h"
#include "StatusAreaView.h"
#include "TagContextMenu.h"
#include "TagCreateView.h"
#include "TagDropController.h"
#include "TagEditView.h"
#include "TagListActions.h"
#include "TagListModel.h"
#include "TagOutlineModel.h"
#include "TagStore.h"
#include "UndoHistory.h"

#include <QAbstractItemView>
#include <QAction>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QSplitter>
#include <QStackedWidget>
#include <QTimer>
#include <QToolBar>
#include <QVBoxLayout>

namespace orvalet {

namespace {

enum DetailPage { placeholderPage, editorPage, batchPage };

} // namespace

ContentView::ContentView(TagStore& store, Preferences& preferences, ThingsWorker& worker, QWidget* parent)
    : QWidget(parent)
    , m_store(store)
    , m_preferences(preferences)
    , m_worker(worker)
    , m_actions(new TagListActions(store, preferences, worker, this))
    , m_model(new TagListModel(store, preferences, this))
    , m_outlineModel(new TagOutlineModel(store, preferences, this))
    , m_drops(new TagDropController(store, preferences, worker, this)) {
    m_model->setDropController(m_drops);
    m_outlineModel->setDropController(m_drops);
    setObjectName(QStringLiteral("contentView"));

    auto* sidebar = new QWidget(this);
    sidebar->setObjectName(QStringLiteral("sidebar"));
    sidebar->setMinimumWidth(220);
    buildSidebar(sidebar);

    m_detail = new QStackedWidget(this);
    m_detail->setObjectName(QStringLiteral("detail"));
    auto* placeholder =
        new EmptyStateView(QStringLiteral("No Tag Selected"), QStringLiteral("tag"),
                           QStringLiteral("Select a tag from the list to edit it."), m_detail);
    placeholder->setObjectName(QStringLiteral("noTagSelected"));
    placeholder->setAccessibleName(QStringLiteral("No Tag Selected"));
    m_detail->insertWidget(placeholderPage, placeholder);
    // The editors' pages are made for the first selection they show and dropped when the column
    // shows something else, so no hidden editor keeps re-reading the store.
    m_detail->insertWidget(editorPage, new QWidget(m_detail));
    m_detail->insertWidget(batchPage, new QWidget(m_detail));

    m_splitter = new QSplitter(Qt::Horizontal, this);
    m_splitter->setObjectName(QStringLiteral("splitView"));
    m_splitter->setAccessibleName(QStringLiteral("Tags and details"));
    m_splitter->setChildrenCollapsible(false);
    m_splitter->addWidget(sidebar);
    m_splitter->addWidget(m_detail);
    m_splitter->setStretchFactor(0, 0);
    m_splitter->setStretchFactor(1, 1);
    m_splitter->setSizes({280, 620});
    for (int i = 0; i < m_splitter->count(); ++i) {
        m_splitter->handle(i)->setAccessibleName(QStringLiteral("Sidebar width"));
    }

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(m_splitter);

    m_overlay = new ProgressOverlay(m_splitter, this);
    m_overlay->setTitle(m_actions->overlayTitle());
    buildToolBar();
    m_deletionFocus = new DeletionFocus(*this, m_sidebarEmpty);
    buildMoveToTopLevelAction();

    connect(m_actions, &TagListActions::changed, this, &ContentView::actionsChanged);
    connect(m_actions, &TagListActions::selectionChanged, this, [this] {
        restoreSelection();
        // A tag chosen in an editor is brought into view, its parents expanded in the outline.
        if (const QModelIndex current = tagView()->currentIndex(); current.isValid()) {
            tagView()->scrollTo(current);
        }
        updateDetail();
    });
    connect(&m_store, &TagStore::changed, this, &ContentView::updateDetail);
    updateDetail();

    // Tags whose change waits for Things 3 to confirm it are marked until it answers, and what it
    // then says shows in the status area.
    UndoHistory& history = UndoHistory::forStore(store);
    const auto markPending = [this, &history] {
        if (m_pendingIds.isEmpty() && !history.hasPending())
            return; // the common case, at every change of the store: nothing waits
        QSet<QString> pending = history.pendingIds();
        if (pending != m_pendingIds) {
            m_pendingIds = pending;
            m_model->setPendingIds(pending);
            m_outlineModel->setPendingIds(std::move(pending));
            tagView()->viewport()->update();
        }
    };
    connect(&history, &UndoHistory::changed, this, markPending);
    connect(&m_store, &TagStore::changed, this, markPending);
    connect(&history, &UndoHistory::settled, this,
            [this](const QString& message) { m_statusArea->showNotice(message); });
    markPending();
}

ContentView::~ContentView() = default;

QWidget* ContentView::detail() const {
    return m_detail->currentWidget();
}

void ContentView::buildToolBar() {
    m_toolBar = new QToolBar(QStringLiteral("Toolbar"), this);
    m_toolBar->setObjectName(QStringLiteral("toolBar"));
    m_toolBar->setAccessibleName(QStringLiteral("Toolbar"));
    m_toolBar->setMovable(false);
    m_toolBar->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    // The button that shows the items a narrow window cannot fit.
    if (auto* more = m_toolBar->findChild<QWidget*>(QStringLiteral("qt_toolbar_ext_button"))) {
        more->setAccessibleName(QStringLiteral("More Toolbar Items"));
    }

    m_importAction = new QAction(Icons::symbol(QStringLiteral("arrow.down.circle")),
                                 QStringLiteral("Import from Things"), this);
    m_importAction->setObjectName(QStringLiteral("importAction"));
    m_importAction->setToolTip(QStringLiteral("Import all tags from Things 3"));
    m_importAction->setShortcut(QKeySequence(Qt::SHIFT | Qt::CTRL | Qt::Key_I));
    connect(m_importAction, &QAction::triggered, this, [this] { m_actions->importAllTags(); });
    m_importButton = new BusyToolButton(m_toolBar);
    m_importButton->setObjectName(QStringLiteral("importButton"));
    m_importButton->setDefaultAction(m_importAction);
    m_importButton->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    m_importButton->setAccessibleName(m_importAction->text());
    m_toolBar->addWidget(m_importButton);

    m_newTagAction =
        new QAction(Icons::symbol(QStringLiteral("plus.circle")), QStringLiteral("New Tag"), this);
    m_newTagAction->setObjectName(QStringLiteral("newTagAction"));
    m_newTagAction->setToolTip(QStringLiteral("Create a new tag"));
    connect(m_newTagAction, &QAction::triggered, this, &ContentView::showCreateSheet);
    m_toolBar->addAction(m_newTagAction);
    if (QWidget* button = m_toolBar->widgetForAction(m_newTagAction)) {
        button->setObjectName(QStringLiteral("newTagButton"));
        button->setAccessibleName(m_newTagAction->text());
    }

    // "Find" is never shown: it only carries the shortcut that puts the focus into the search field.
    auto* find = new QAction(QStringLiteral("Find"), this);
    find->setObjectName(QStringLiteral("findAction"));
    find->setShortcut(QKeySequence::Find);
    find->setShortcutContext(Qt::WindowShortcut);
    connect(find, &QAction::triggered, this, [this] {
        m_search->setFocus(Qt::ShortcutFocusReason);
        m_search->selectAll();
    });
    addAction(find);
}

// "Move to Top Level" of the Edit menu, for the window's selection.
void ContentView::buildMoveToTopLevelAction() {
    m_moveToTopLevelAction = new QAction(TagDropController::moveToTopLevelLabel(), this);
    m_moveToTopLevelAction->setObjectName(QStringLiteral("moveToTopLevelAction"));
    const auto selectedTags = [this] {
        QList<TagPtr> tags;
        for (const QString& id : m_actions->selectedTagIds()) {
            if (TagPtr tag = m_store.tag(id)) {
                tags.append(tag);
            }
        }
        return tags;
    };
    connect(m_moveToTopLevelAction, &QAction::triggered, this,
            [this, selectedTags] { m_drops->moveToTopLevel(selectedTags()); });
    const auto showMoveEnabled = [this, selectedTags] {
        m_moveToTopLevelAction->setEnabled(m_drops->canMoveToTopLevel(selectedTags()));
    };
    showMoveEnabled();
    connect(m_actions, &TagListActions::selectionChanged, this, showMoveEnabled);
    connect(&m_store, &TagStore::changed, this, showMoveEnabled);
    connect(m_drops, &TagDropController::movingChanged, this, showMoveEnabled);
}

void ContentView::updateDetail() {
    QList<TagPtr> tags;
    for (const QString& id : m_actions->selectedTagIds()) {
        if (TagPtr tag = m_store.tag(id)) {
            tags.append(tag);
        }
    }
    const qsizetype selected = m_actions->selectedTagIds().size();
    if (selected == 1 && tags.size() == 1) {
        showTagEditor(tags.front());
    } else if (selected >= 2 && !tags.isEmpty()) {
        showBatchEditor(tags);
    } else {
        m_detail->setCurrentIndex(placeholderPage);
    }
    if (m_editView && m_detail->currentIndex() != editorPage) {
        // Dropped at the end of this turn, since this may run inside one of the editor's own
        // callbacks; until then it no longer follows the store or the preferences.
        TagEditView* view = m_editView;
        m_editView = nullptr;
        for (QObject* follower : {static_cast<QObject*>(view), static_cast<QObject*>(&view->editor())}) {
            m_store.disconnect(follower);
            m_preferences.disconnect(follower);
        }
        replacePage(editorPage, new QWidget(m_detail));
        view->deleteLater();
    }
    if (m_batchEditor && m_detail->currentIndex() != batchPage) {
        dropBatchEditor();
    }
    updateTitle();
}

// One tag selected: its editor, or the editor already shown given this tag (which starts its fields
// again when the tag is another one).
void ContentView::showTagEditor(const TagPtr& tag) {
    if (m_editView) {
        m_editView->setTag(tag);
    } else {
        QPointer<ContentView> self(this);
        auto* view = new TagEditView(
            m_store, m_preferences, m_worker, tag,
            [self] {
                if (self) {
                    self->m_actions->setSelectedTagIds({});
                }
            },
            [self](const TagPtr& other) {
                if (self) {
                    self->selectAsking({other->id()});
                }
            },
            [self](bool refreshing) {
                if (self) {
                    self->m_actions->setRefreshingTagCount(refreshing ? 1 : 0);
                }
            });
        connect(view, &QWidget::windowTitleChanged, this, &ContentView::updateTitle);
        m_deletionFocus->follow(view->editor());
        replacePage(editorPage, view)->deleteLater();
        m_editView = view;
    }
    m_detail->setCurrentIndex(editorPage);
}

QWidget* ContentView::replacePage(int index, QWidget* page) {
    QWidget* old = m_detail->widget(index);
    const bool current = m_detail->currentIndex() == index;
    m_detail->insertWidget(index, page);
    m_detail->removeWidget(old);
    if (current) {
        m_detail->setCurrentIndex(index);
    }
    old->hide();
    return old;
}

// ---- Edits not saved ----

bool ContentView::hasUnsavedEdits() const {
    const QList<TagCreateView*> sheets{m_createSheet, m_editView ? m_editView->createSheet() : nullptr};
    return std::any_of(sheets.begin(), sheets.end(),
                       [](TagCreateView* sheet) { return sheet && sheet->hasUnsavedChanges(); }) ||
           (m_editView && m_editView->hasUnsavedChanges()) ||
           (m_batchEditor && m_batchEditor->hasUnsavedChanges());
}

void ContentView::askAboutUnsavedEdits(std::function<void(bool proceed)> answered) {
    const QPointer<ContentView> self(this);
    // Once one is answered, the next is asked about, until none is left.
    auto next = [self, answered](bool proceed) {
        if (self && proceed) {
            self->askAboutUnsavedEdits(answered);
        } else {
            answered(false);
        }
    };
    // A sheet stands in front of the column: it is asked about first.
    for (TagCreateView* sheet : {m_createSheet.data(), m_editView ? m_editView->createSheet() : nullptr}) {
        if (sheet && sheet->hasUnsavedChanges()) {
            sheet->askToSaveChanges(next);
            return;
        }
    }
    if (m_editView && m_editView->hasUnsavedChanges()) {
        m_editView->askToSaveChanges(next);
    } else if (m_batchEditor && m_batchEditor->hasUnsavedChanges()) {
        m_batchEditor->askToSaveChanges(next);
    } else {
        answered(true);
    }
}

// Whether showing `ids` would take away the editor or the batch editor while it holds an edit.
bool ContentView::losesUnsavedEdit(const QSet<QString>& ids) const {
    if (m_editView && m_editView->hasUnsavedChanges()) {
        return ids != QSet<QString>{m_editView->editor().tag()->id()};
    }
    // The batch editor stays while two or more tags are selected.
    return m_batchEditor && m_batchEditor->hasUnsavedChanges() && ids.size() < 2;
}

void ContentView::selectAsking(const QSet<QString>& ids) {
    if (!losesUnsavedEdit(ids)) {
        m_actions->setSelectedTagIds(ids);
        return;
    }
    const QPointer<ContentView> self(this);
    const QSet<QString> asked = m_actions->selectedTagIds();
    askAboutUnsavedEdits([self, ids, asked](bool proceed) {
        // Unless the selection changed some other way meanwhile.
        if (self && proceed && self->m_actions->selectedTagIds() == asked) {
            self->m_actions->setSelectedTagIds(ids);
        }
    });
}

TagEditView* ContentView::tagEditView() const {
    return m_editView;
}

TagCreateView* ContentView::createSheet() const {
    return m_createSheet;
}

void ContentView::updateTitle() {
    const QString title = m_detail->currentWidget()->windowTitle();
    Q_EMIT titleChanged(title.isEmpty() ? QStringLiteral("Orvalet") : title);
}

void ContentView::showCreateSheet() {
    if (m_createSheet) {
        m_createSheet->activateWindow();
        return;
    }
    m_createSheet = new TagCreateView(m_store, m_preferences, m_worker, nullptr, this);
    m_createSheet->open();
}

// Two or more tags selected: the batch editor, made when the selection grows to two or more and
// kept while it stays there, so that its parent choice and its dialogs outlive a change of the
// selected tags.
void ContentView::showBatchEditor(const QList<TagPtr>& tags) {
    if (m_batchEditor) {
        m_batchEditor->setSelectedTags(tags);
    } else {
        // A refresh run outlives the pane, and may outlive the window, to tell the end of it.
        const QPointer<TagListActions> actions(m_actions);
        auto* view = new BatchEditView(
            m_store, m_preferences, m_worker, tags,
            [actions] {
                if (actions) {
                    actions->setSelectedTagIds({});
                }
            },
            [actions](bool refreshing, int tagCount) {
                if (actions) {
                    actions->setRefreshingTagCount(refreshing ? tagCount : 0);
                }
            });
        m_deletionFocus->follow(view->editor());
        replacePage(batchPage, view)->deleteLater();
        m_batchEditor = view;
    }
    m_detail->setCurrentIndex(batchPage);
}

// Dropped at the end of this turn, since this may run inside the pane's own callbacks (its result
// sheet's "OK", the end of its delete run); until then it no longer follows the store and, being
// hidden, opens no dialog.
void ContentView::dropBatchEditor() {
    BatchEditView* view = m_batchEditor;
    m_batchEditor = nullptr;
    for (QObject* follower : {static_cast<QObject*>(view), static_cast<QObject*>(&view->editor())}) {
        m_store.disconnect(follower);
    }
    replacePage(batchPage, new QWidget(m_detail));
    view->deleteLater();
}

QMenu* ContentView::contextMenuForRow(int row) {
    return contextMenuForTag(m_model->tagAt(row));
}

QMenu* ContentView::contextMenuForTag(const TagPtr& rowTag) {
    return rowTag ? new TagContextMenu(*m_actions, *m_drops, m_store, m_preferences, m_worker, rowTag, this)
                  : nullptr;
}

void ContentView::showContextMenu(const QPoint& position) {
    QAbstractItemView* view = tagView();
    QModelIndex index = view->indexAt(position);
    QPoint at = position;
    if (!index.isValid()) {
        // The menu key opens the menu of the current row.
        index = view->currentIndex();
        if (!index.isValid() || !view->rect().contains(position)) {
            return;
        }
        at = view->visualRect(index).center();
    }
    if (QMenu* menu = contextMenuForTag(m_store.tag(index.data(TagListModel::TagIdRole).toString()))) {
        menu->popup(view->viewport()->mapToGlobal(at));
    }
}

void ContentView::deleteSelected() {
    const QModelIndex current = tagView()->currentIndex();
    if (!current.isValid() || m_actions->selectedTagIds().isEmpty()) {
        return;
    }
    const QList<TagPtr> targets = m_actions->menuTargets(current.data(TagListModel::TagIdRole).toString());
    if (!targets.isEmpty()) {
        m_actions->requestDelete(targets);
    }
}

void ContentView::actionsChanged() {
    const bool importing = m_actions->isImporting();
    m_importAction->setEnabled(!importing);
    m_importButton->setBusy(importing);
    m_importButton->setAccessibleDescription(importing ? QStringLiteral("Importing…") : QString());

    m_banner->setMessage(m_actions->bannerMessage());
    if (m_actions->hasDeletions() != m_busyRows->isActive()) {
        m_actions->hasDeletions() ? m_busyRows->start() : m_busyRows->stop();
        tagView()->viewport()->update();
    }
    m_overlay->setTitle(m_actions->overlayTitle());
    if (m_actions->isOverlayShown() != m_overlay->isVisible()) {
        m_overlay->setVisible(m_actions->isOverlayShown());
    }

    if (m_actions->showDeleteConfirmationForListTags() && !m_confirmation) {
        showDeleteConfirmation();
    }
    if (m_actions->importError() && !m_importAlert) {
        showImportFailed(*m_actions->importError());
    }
}

void ContentView::showDeleteConfirmation() {
    m_confirmation =
        Alerts::confirmDeletion(this, QStringLiteral("deleteConfirmation"), m_actions->confirmationTitle(),
                                m_actions->confirmationMessage(), [this](bool confirmed) {
                                    m_confirmation = nullptr; // a new one may open at once
                                    if (confirmed) {
                                        QStringList ids;
                                        for (const TagPtr& tag : m_actions->tagsPendingDelete()) {
                                            ids.append(tag->id());
                                        }
                                        m_deletionFocus->follow(ids, m_actions->confirmDelete());
                                    } else {
                                        m_actions->cancelDelete();
                                    }
                                });
}

void ContentView::showImportFailed(const QString& message) {
    m_importAlert =
        Alerts::warn(this, QStringLiteral("importFailed"), QStringLiteral("Import Failed"), message, [this] {
            m_importAlert = nullptr;
            m_actions->dismissImportError();
        });
}

} // namespace orvalet
