#pragma once

#include "TagMerger.h"

#include <QDialog>
#include <QPointer>

class QLabel;
class QLineEdit;
class QListView;
class QMessageBox;
class QPushButton;

namespace orvalet {

class ErrorRow;
class Spinner;
class TagSearchList;

// The "Merge Into…" dialog over a TagMerger: a TagSearchList of the tags the source may be merged
// into, the error row and "Cancel" / "Merge…". Window-modal over its parent; deletes itself once
// closed, and closes itself once the merge has finished.
//
// Return in the search field or the list, and a double click on a row, start the merge of the
// chosen tag; the arrow keys in the search field move through the list; Escape closes the dialog.
// The confirmation that follows keeps "Cancel" as its default, as every destructive one does.
class MergeView final : public QDialog {
    Q_OBJECT

public:
    MergeView(TagStore& store, Preferences& preferences, ThingsWorker& worker, TagPtr source,
              QWidget* parent = nullptr);

    TagMerger& merger() const { return *m_merger; }
    QLineEdit* searchField() const;
    QListView* destinationList() const;
    // The confirmation, while it is shown.
    QMessageBox* confirmation() const;

private:
    void update();
    void updateChoices();
    void startMerge();
    void showConfirmation();

    TagStore& m_store;
    TagMerger* m_merger = nullptr;
    QLabel* m_prompt = nullptr;
    TagSearchList* m_choices = nullptr;
    QLabel* m_noMatches = nullptr;
    ErrorRow* m_error = nullptr;
    Spinner* m_spinner = nullptr;
    QPushButton* m_cancel = nullptr;
    QPushButton* m_merge = nullptr;
    QPointer<QMessageBox> m_confirmation;
    QStringList m_shownChoices; // identifier and name of each choice shown
    bool m_updatingList = false;
};

} // namespace orvalet
