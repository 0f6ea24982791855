#pragma once

#include "Tag.h"

#include <QPointer>
#include <QSet>
#include <QWidget>
#include <functional>

class QAbstractItemView;
class QAction;
class QLineEdit;
class QListView;
class QMenu;
class QMessageBox;
class QPushButton;
class QSplitter;
class QStackedWidget;
class QTimer;
class QToolBar;

namespace orvalet {

class BatchEditView;
class BusyToolButton;
class DeletionFocus;
class EmptyStateView;
class ErrorRow;
class Preferences;
class ProgressOverlay;
class StatusAreaView;
class TagCreateView;
class TagEditView;
class TagDropController;
class TagListActions;
class TagListModel;
class TagOutlineModel;
class TagOutlineView;
class TagStore;
class ThingsWorker;

// The content of a main window: the tag list in a sidebar (search field, status area, list) and,
// beside it, the detail column that fits the selection, under the progress overlay of imports and
// refreshes. The window's toolbar comes from here too. Each window has its own selection, search
// and overlay; every window shows the one store.
class ContentView final : public QWidget {
    Q_OBJECT

public:
    ContentView(TagStore& store, Preferences& preferences, ThingsWorker& worker, QWidget* parent = nullptr);
    ~ContentView() override;

    TagStore& store() const { return m_store; }
    TagListActions& actions() const { return *m_actions; }
    TagListModel& model() const { return *m_model; }

    QSplitter* splitter() const { return m_splitter; }
    QListView* list() const { return m_list; }
    // The sidebar's tree, shown instead of the list in outline mode.
    TagOutlineView* outline() const { return m_tree; }
    TagOutlineModel& outlineModel() const { return *m_outlineModel; }
    TagDropController& drops() const { return *m_drops; }
    // The list or the tree, whichever the sidebar shows.
    QAbstractItemView* tagView() const;
    QLineEdit* searchField() const { return m_search; }
    QToolBar* toolBar() const { return m_toolBar; }
    ProgressOverlay* overlay() const { return m_overlay; }
    QWidget* detail() const;

    // "Import from Things" and "New Tag…", shared by the toolbar and the File menu.
    QAction* importAction() const { return m_importAction; }
    StatusAreaView* statusArea() const { return m_statusArea; }
    QAction* newTagAction() const { return m_newTagAction; }
    // "Move to Top Level" for the Edit menu: the selected tags that have a parent become top-level.
    QAction* moveToTopLevelAction() const { return m_moveToTopLevelAction; }

    // "Show Shortcut Conflicts": the list and the outline keep only the tags whose key another tag
    // also has, and say so when there are none. A filter of this window, not a preference: the
    // status area shows it among the display options, and its "Reset" turns it off.
    void setShowsShortcutConflicts(bool on);
    // The checkable action for the View menu that stands for it.
    QAction* shortcutConflictsAction() const { return m_conflictsAction; }

    // The context menu of a row, built for the targets of that row; the caller shows it.
    QMenu* contextMenuForRow(int row);
    QMenu* contextMenuForTag(const TagPtr& tag);

    // The tag editor while the detail column shows it.
    TagEditView* tagEditView() const;
    // The creation sheet opened by "New Tag", while it is open.
    TagCreateView* createSheet() const;

    // Whether the detail column or a creation sheet holds an edit that is not saved.
    bool hasUnsavedEdits() const;
    // Asks about each edit not saved in turn, a creation sheet's first, then the detail column's,
    // and calls `answered(true)` once none is left (each saved or given up), or `answered(false)` at
    // the first "Cancel" or save that did not go through. With nothing to ask, `answered(true)` at once.
    void askAboutUnsavedEdits(std::function<void(bool proceed)> answered);

Q_SIGNALS:
    // The window's title follows the detail column: the edited tag's name, else the app's name.
    void titleChanged(const QString& title);

private:
    void buildToolBar();
    void buildMoveToTopLevelAction();
    void buildSidebar(QWidget* sidebar);
    void setUpTagView(QAbstractItemView* view);
    void showRowsOrEmptyState();
    void showStatusLines();
    void showMode();
    void showContextMenu(const QPoint& position);
    void selectionEdited();
    // Makes `ids` the window's selection, once an edit the detail column would lose was asked about.
    void selectAsking(const QSet<QString>& ids);
    bool losesUnsavedEdit(const QSet<QString>& ids) const;
    void restoreSelection();
    void updateDetail();
    void actionsChanged();
    void showDeleteConfirmation();
    void showImportFailed(const QString& message);
    void deleteSelected();
    void showCreateSheet();
    void showTagEditor(const TagPtr& tag);
    void showBatchEditor(const QList<TagPtr>& tags);
    void dropBatchEditor();
    void updateTitle();
    // Puts `page` in the detail column at `index` and gives back the page it replaces.
    QWidget* replacePage(int index, QWidget* page);

    TagStore& m_store;
    Preferences& m_preferences;
    ThingsWorker& m_worker;
    TagListActions* m_actions = nullptr;
    TagListModel* m_model = nullptr;
    TagOutlineModel* m_outlineModel = nullptr;
    TagDropController* m_drops = nullptr;

    QToolBar* m_toolBar = nullptr;
    BusyToolButton* m_importButton = nullptr;
    QAction* m_importAction = nullptr;
    QAction* m_newTagAction = nullptr;
    QAction* m_moveToTopLevelAction = nullptr;
    DeletionFocus* m_deletionFocus = nullptr;
    QAction* m_conflictsAction = nullptr;
    QLineEdit* m_search = nullptr;
    EmptyStateView* m_sidebarEmpty = nullptr;
    QPushButton* m_sidebarImport = nullptr;
    QTimer* m_busyRows = nullptr;
    QSet<QString> m_pendingIds; // marked in the list and the outline
    ErrorRow* m_banner = nullptr;
    StatusAreaView* m_statusArea = nullptr;
    QListView* m_list = nullptr;
    TagOutlineView* m_tree = nullptr;
    QSplitter* m_splitter = nullptr;
    QStackedWidget* m_detail = nullptr;
    ProgressOverlay* m_overlay = nullptr;
    QPointer<QMessageBox> m_confirmation;
    QPointer<QMessageBox> m_importAlert;
    QPointer<TagEditView> m_editView;
    QPointer<BatchEditView> m_batchEditor;
    QPointer<TagCreateView> m_createSheet;
    bool m_restoringSelection = false;
    bool m_showsShortcutConflicts = false;
};

} // namespace orvalet
