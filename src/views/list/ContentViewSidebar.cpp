// The window's sidebar: the search field, the banner, the status area, and the list or the tree
// with the window's selection in it, or why there are no rows.
#include "ContentView.h"
#include "EmptyStateView.h"
#include "ErrorRow.h"
#include "Icons.h"
#include "Preferences.h"
#include "StatusAreaView.h"
#include "TagContextMenu.h"
#include "TagListActions.h"
#include "TagListModel.h"
#include "TagOutlineModel.h"
#include "TagOutlineView.h"
#include "TagRowDelegate.h"
#include "TagStore.h"

#include <QAction>
#include <QItemSelection>
#include <QLineEdit>
#include <QListView>
#include <QPushButton>
#include <QShortcut>
#include <QTimer>
#include <QVBoxLayout>

namespace orvalet {

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

    m_conflictsAction = new QAction(QStringLiteral("Show Shortcut Conflicts"), this);
    m_conflictsAction->setObjectName(QStringLiteral("showShortcutConflictsAction"));
    m_conflictsAction->setCheckable(true);
    connect(m_conflictsAction, &QAction::toggled, this, &ContentView::setShowsShortcutConflicts);

    m_statusArea = new StatusAreaView(sidebar);
    showStatusLines();
    connect(m_statusArea, &StatusAreaView::resetRequested, this, [this] {
        m_conflictsAction->setChecked(false);
        m_preferences.resetDisplayPreferences();
    });
    connect(&m_preferences, &Preferences::changed, this, &ContentView::showStatusLines);

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
void ContentView::setShowsShortcutConflicts(bool on) {
    m_showsShortcutConflicts = on;
    m_conflictsAction->setChecked(on);
    m_model->setConflictsOnly(on);
    m_outlineModel->setConflictsOnly(on);
    showRowsOrEmptyState();
    showStatusLines();
}

void ContentView::showStatusLines() {
    m_statusArea->setLines(TagListQuery::statusLines(m_preferences, m_showsShortcutConflicts));
}

void ContentView::showRowsOrEmptyState() {
    const bool outline = m_preferences.showAsOutline();
    const int rows = outline ? m_outlineModel->rowCount() : m_model->rowCount();
    const QString search = m_search->text();
    const bool noTags = m_store.count() == 0;
    const bool noMatch = rows == 0 && (!search.isEmpty() || m_showsShortcutConflicts);
    if (noTags) {
        m_sidebarEmpty->setTexts(QStringLiteral("No Tags"),
                                 QStringLiteral("Import your tags from Things 3 to see them here."));
    } else if (noMatch && search.isEmpty()) {
        m_sidebarEmpty->setTexts(QStringLiteral("No Shortcut Conflicts"),
                                 QStringLiteral("No two tags share a keyboard shortcut."));
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
    if (ids != m_actions->selectedTagIds() && losesUnsavedEdit(ids)) {
        // The rows of the edit show while it is asked about; they stay after "Cancel".
        restoreSelection();
        selectAsking(ids);
        return;
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
        const QList<qsizetype> rows = m_model->rowsOf(m_actions->selectedTagIds());
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

} // namespace orvalet
