#pragma once

#include "ToolWindow.h"
#include "UnusedTagsCleanup.h"

#include <QPointer>
#include <QStringList>

class QLabel;
class QMessageBox;
class QPushButton;
class QStackedWidget;
class QTreeWidget;
class QTreeWidgetItem;

namespace orvalet {

class BatchResultSheet;

// The window of the clean-up: the note on what the counts cover, the unused tags as a tree with a
// check box per tag (or an empty state when there are none), "Close" and "Delete N Tags". It shows
// the state of the UnusedTagsCleanup it owns and forwards what the user does to it. The delete
// confirmation and the result sheet are window-modal dialogs over it; Escape closes it.
class UnusedTagsWindow final : public ToolWindow {
    Q_OBJECT

public:
    UnusedTagsWindow(TagStore& store, Preferences& preferences, ThingsWorker& worker,
                     QWidget* parent = nullptr);

    UnusedTagsCleanup& cleanup() const { return *m_cleanup; }
    QTreeWidget* tree() const { return m_tree; }
    QPushButton* deleteButton() const { return m_delete; }

private:
    void refresh();
    void refreshTree();
    void itemChanged(QTreeWidgetItem* item);
    void showDeleteConfirmation();
    void showResult();

    UnusedTagsCleanup* m_cleanup = nullptr;
    QStackedWidget* m_pages = nullptr;
    QTreeWidget* m_tree = nullptr;
    QPushButton* m_delete = nullptr;
    // What the tree was built from: one line per row (identifier, parent row, name).
    QStringList m_shownRows;
    QPointer<QMessageBox> m_confirmation;
    QPointer<BatchResultSheet> m_resultSheet;
};

} // namespace orvalet
