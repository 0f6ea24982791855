#include "ContentView.h"

#include "Alerts.h"
#include "BatchEditView.h"
#include "BusyToolButton.h"
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
#include "TagOutlineView.h"
#include "TagRowDelegate.h"
#include "TagStore.h"

#include <QAction>
#include <QItemSelection>
#include <QKeyEvent>
#include <QLineEdit>
#include <QListView>
#include <QMenu>
#include <QMessageBox>
#include <QPushButton>
#include <QShortcut>
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

void ContentView::buildSidebar(QWidget* sidebar) {
    m_search = new QLineEdit(sidebar);
    m_search->setObjectName(QStringLiteral("searchField"));
    m_search->setPlaceholderText(QStringLiteral("Search tags"));
    m_search->setAccessibleName(QStringLiteral("Search tags"));
    m_search->setClearButtonEnabled(true);
    // The field's two icons are buttons to a screen reader: each is named by its action.
    if (auto* clear = m_search->findChild<QAction*>(QStringLiteral("_q_qlineeditclearaction"))) {
        clear->setText(QStringLiteral("Clear Search"));
    }
    m_search->addAction(Icons::symbol(QStringLiteral("magnifyingglass")), QLineEdit::LeadingPosition)
        ->setText(QStringLiteral("Search"));
    connect(m_search, &QLineEdit::textChanged, m_model, &TagListModel::setSearchText);
    // Escape in the search field clears it, and in an empty field leaves it for the list.
    auto* escape =
        new QShortcut(QKeySequence(Qt::Key_Escape), m_search, nullptr, nullptr, Qt::WidgetShortcut);
    connect(escape, &QShortcut::activated, this, [this] {
        if (m_search->text().isEmpty()) {
            tagView()->setFocus(Qt::OtherFocusReason);
        } else {
            m_search->clear();
        }
    });

    // Why a deletion from the list was refused; the list stays usable beside it.
    m_banner = new ErrorRow(sidebar);
    m_banner->setObjectName(QStringLiteral("listBanner"));
    connect(m_banner, &ErrorRow::dismissed, m_actions, &TagListActions::dismissBanner);

    m_statusArea = new StatusAreaView(sidebar);
    m_statusArea->setLines(TagListQuery::statusLines(m_preferences));
    connect(m_statusArea, &StatusAreaView::resetRequested, &m_preferences,
            &Preferences::resetDisplayPreferences);
    connect(&m_preferences, &Preferences::changed, m_statusArea,
            [this] { m_statusArea->setLines(TagListQuery::statusLines(m_preferences)); });

    m_list = new QListView(sidebar);
    m_list->setObjectName(QStringLiteral("tagList"));
    m_list->setAccessibleName(QStringLiteral("Tags"));
    m_list->setModel(m_model);
    const auto deleting = [this](const QString& id) {
        return m_actions->isDeleting(id);
    };
    auto* listRows = new TagRowDelegate(TagRowDelegate::Rows::list, m_list);
    listRows->setBusy(deleting);
    m_list->setItemDelegate(listRows);
    m_list->setUniformItemSizes(false); // rows with an ancestor path are taller
    setUpTagView(m_list);

    m_tree = new TagOutlineView(*m_outlineModel, m_preferences, sidebar);
    auto* treeRows = new TagRowDelegate(TagRowDelegate::Rows::outline, m_tree);
    treeRows->setBusy(deleting);
    m_tree->setItemDelegate(treeRows);
    // Busy rows turn their arc while deletions are under way.
    m_busyRows = new QTimer(this);
    m_busyRows->setInterval(80);
    connect(m_busyRows, &QTimer::timeout, this, [this] { tagView()->viewport()->update(); });
    setUpTagView(m_tree);
    connect(m_search, &QLineEdit::textChanged, m_outlineModel, &TagOutlineModel::setSearchText);
    connect(&m_preferences, &Preferences::changed, this, [this](PreferenceKey key) {
        if (key == PreferenceKey::showAsOutline) {
            showMode();
        } else if (key == PreferenceKey::showRootTagsOnly || key == PreferenceKey::tagSortOption) {
            // Another filter or order is another list: it starts at the selected tag, or at its top.
            QAbstractItemView* view = tagView();
            const QModelIndex current = view->currentIndex();
            if (current.isValid() && view->selectionModel()->isSelected(current)) {
                view->scrollTo(current);
            } else {
                view->scrollToTop();
            }
        }
    });

    // Where the rows would be, when there are none to show: an empty store, or a search without a match.
    m_sidebarEmpty = new EmptyStateView(QString(), QStringLiteral("tag"), QString(), sidebar);
    m_sidebarEmpty->setObjectName(QStringLiteral("sidebarEmpty"));
    m_sidebarImport = m_sidebarEmpty->addButton(QStringLiteral("Import from Things"));
    m_sidebarImport->setObjectName(QStringLiteral("sidebarImport"));
    connect(m_sidebarImport, &QPushButton::clicked, this, [this] { m_actions->importAllTags(); });
    for (QAbstractItemModel* model :
         {static_cast<QAbstractItemModel*>(m_model), static_cast<QAbstractItemModel*>(m_outlineModel)}) {
        connect(model, &QAbstractItemModel::modelReset, this, &ContentView::showRowsOrEmptyState);
    }

    auto* layout = new QVBoxLayout(sidebar);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(m_search);
    layout->addWidget(m_banner);
    layout->addWidget(m_statusArea);
    layout->addWidget(m_list, 1);
    layout->addWidget(m_tree, 1);
    layout->addWidget(m_sidebarEmpty, 1);
    showMode();
}

// What the list and the tree share: selection, context menu, the Delete key.
void ContentView::setUpTagView(QAbstractItemView* view) {
    view->setSelectionMode(QAbstractItemView::ExtendedSelection);
    // Tags dragged onto a tag become its children; onto the empty area below the rows, roots. In
    // the outline, a drop between two rows goes to their level: between roots, to the top level.
    view->setDragDropMode(QAbstractItemView::DragDrop);
    view->setDefaultDropAction(Qt::MoveAction);
    view->setDragDropOverwriteMode(view == m_list);
    view->setDropIndicatorShown(true);
    view->setEditTriggers(QAbstractItemView::NoEditTriggers);
    view->setContextMenuPolicy(Qt::CustomContextMenu);
    TagContextMenu::keepSelectionOnRightClick(view);
    connect(view, &QWidget::customContextMenuRequested, this, &ContentView::showContextMenu);
    connect(view->selectionModel(), &QItemSelectionModel::selectionChanged, this,
            &ContentView::selectionEdited);
    // A rebuilt model selects the window's tags again; the reset itself is no edit of the selection.
    connect(view->model(), &QAbstractItemModel::modelAboutToBeReset, this,
            [this] { m_restoringSelection = true; });
    connect(view->model(), &QAbstractItemModel::modelReset, this, &ContentView::restoreSelection);

    // The Delete key asks to delete the selected tags, as the context menu does.
    auto* remove = new QAction(QStringLiteral("Delete Selected Tags"), view);
    remove->setShortcuts({QKeySequence::Delete, QKeySequence(Qt::Key_Backspace)});
    remove->setShortcutContext(Qt::WidgetShortcut);
    connect(remove, &QAction::triggered, this, &ContentView::deleteSelected);
    view->addAction(remove);
}

QAbstractItemView* ContentView::tagView() const {
    return m_preferences.showAsOutline() ? static_cast<QAbstractItemView*>(m_tree) : m_list;
}

// The sidebar shows the list or the tree as the preference says; the selection and the keyboard
// focus move to the one shown.
void ContentView::showMode() {
    const bool outline = m_preferences.showAsOutline();
    const bool focused = m_list->hasFocus() || m_tree->hasFocus();
    m_outlineModel->setActive(outline);
    m_model->setActive(!outline);
    showRowsOrEmptyState();
    restoreSelection();
    if (focused) {
        tagView()->setFocus();
    }
}

// The list or the tree, as the preference says, unless they have no row: then why, and, for an
// empty store, the way to fill it.
void ContentView::showRowsOrEmptyState() {
    const bool outline = m_preferences.showAsOutline();
    const int rows = outline ? m_outlineModel->rowCount() : m_model->rowCount();
    const QString search = m_search->text();
    const bool noTags = m_store.count() == 0;
    const bool noMatch = rows == 0 && !search.isEmpty();
    if (noTags) {
        m_sidebarEmpty->setTexts(QStringLiteral("No Tags"),
                                 QStringLiteral("Import your tags from Things 3 to see them here."));
    } else if (noMatch) {
        m_sidebarEmpty->setTexts(u"No tags match \u201C"_qs + search + u"\u201D"_qs,
                                 QStringLiteral("Check the spelling, or search for part of a name."));
    }
    const bool empty = noTags || noMatch;
    m_sidebarImport->setVisible(noTags);
    m_sidebarEmpty->setVisible(empty);
    m_tree->setVisible(outline && !empty);
    m_list->setVisible(!outline && !empty);
}

// The user changed the selection in the list: the window's selection becomes the selected rows.
void ContentView::selectionEdited() {
    if (m_restoringSelection) {
        return;
    }
    QSet<QString> ids;
    for (const QModelIndex& index : tagView()->selectionModel()->selectedRows()) {
        ids.insert(index.data(TagListModel::TagIdRole).toString());
    }
    m_restoringSelection = true;
    m_actions->setSelectedTagIds(ids);
    m_restoringSelection = false;
    updateDetail();
}

// Selects the rows of the window's selection again after the list was rebuilt or the selection was
// changed elsewhere (an editor, a deletion). Identifiers without a row stay in the selection.
void ContentView::restoreSelection() {
    m_restoringSelection = true;
    QItemSelection selection;
    QModelIndex first;
    if (m_preferences.showAsOutline()) {
        for (const QString& id : m_actions->selectedTagIds()) {
            if (const QModelIndex index = m_outlineModel->indexOf(id); index.isValid()) {
                selection.select(index, index);
                first = first.isValid() ? first : index;
            }
        }
    } else {
        const QList<qsizetype> rows = m_model->query().rowsOf(m_model->rows(), m_actions->selectedTagIds());
        for (qsizetype i = 0; i < rows.size();) {
            qsizetype last = i;
            while (last + 1 < rows.size() && rows[last + 1] == rows[last] + 1) {
                ++last;
            }
            selection.select(m_model->index(int(rows[i])), m_model->index(int(rows[last])));
            i = last + 1;
        }
        first = rows.isEmpty() ? QModelIndex() : m_model->index(int(rows.front()));
    }
    QItemSelectionModel* model = tagView()->selectionModel();
    model->select(selection, QItemSelectionModel::ClearAndSelect);
    if (first.isValid() && !model->isSelected(model->currentIndex())) {
        model->setCurrentIndex(first, QItemSelectionModel::NoUpdate);
    }
    m_restoringSelection = false;
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
                    self->m_actions->setSelectedTagIds({other->id()});
                }
            },
            [self](bool refreshing) {
                if (self) {
                    self->m_actions->setRefreshingTagCount(refreshing ? 1 : 0);
                }
            });
        connect(view, &QWidget::windowTitleChanged, this, &ContentView::updateTitle);
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
    return rowTag ? new TagContextMenu(*m_actions, m_store, m_preferences, m_worker, rowTag, this) : nullptr;
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
                                        m_actions->confirmDelete();
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
