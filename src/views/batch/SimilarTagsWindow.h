#pragma once

#include "SimilarTagsReview.h"
#include "ToolWindow.h"

#include <QPointer>
#include <QStringList>

class QCheckBox;
class QComboBox;
class QLabel;
class QMessageBox;
class QPushButton;
class QStackedWidget;
class QTreeWidget;

namespace orvalet {

class ErrorRow;
class LiveStatus;

// The window of "Find Similar Tags": the groups of alike tags as a tree (a row per group, the
// members below it with their path, open to-dos and child tags), and for the group of the current
// row "Merge Into" with its members, "Merge…" and "Not Similar". A check box shows the groups set
// aside too. It shows the state of the SimilarTagsReview it owns and forwards what the user does to
// it; the confirmation is a window-modal dialog over it, and what a merge did is said in a live
// caption. Escape closes it.
class SimilarTagsWindow final : public ToolWindow {
    Q_OBJECT

public:
    SimilarTagsWindow(TagStore& store, Preferences& preferences, ThingsWorker& worker,
                      QWidget* parent = nullptr);

    SimilarTagsReview& review() const { return *m_review; }
    QTreeWidget* tree() const { return m_tree; }
    QComboBox* destinationBox() const { return m_destination; }
    QPushButton* mergeButton() const { return m_merge; }
    QPushButton* dismissButton() const { return m_dismiss; }
    QCheckBox* showDismissedBox() const { return m_showDismissed; }

private:
    void refresh();
    void refreshTree();
    void refreshGroupControls();
    // The key of the group of the current row, or empty.
    QString currentKey() const;
    void showConfirmation();

    SimilarTagsReview* m_review = nullptr;
    QStackedWidget* m_pages = nullptr;
    QTreeWidget* m_tree = nullptr;
    QLabel* m_destinationLabel = nullptr;
    QComboBox* m_destination = nullptr;
    QPushButton* m_merge = nullptr;
    QPushButton* m_dismiss = nullptr;
    QCheckBox* m_showDismissed = nullptr;
    LiveStatus* m_status = nullptr;
    ErrorRow* m_error = nullptr;
    QStringList m_shownRows; // what the tree was built from, a line a row
    QString m_comboKey;      // the group the destination box lists
    QPointer<QMessageBox> m_confirmation;
};

} // namespace orvalet
