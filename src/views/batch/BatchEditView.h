#pragma once

#include "BatchEditor.h"

#include <QPointer>
#include <QWidget>

class QGroupBox;
class QListWidget;
class QMessageBox;
class QPushButton;

namespace orvalet {

class BatchResultSheet;
class ParentPicker;
class BusyToolButton;

// The batch editor's pane: it shows the state of the BatchEditor it owns and forwards what the user
// does to it; it decides nothing itself. The delete confirmation and the result sheet are
// window-modal dialogs over the window that holds the pane.
class BatchEditView final : public QWidget {
    Q_OBJECT

public:
    // The callbacks go to the BatchEditor unchanged. A run can outlive this pane, and the refresh
    // callback is told the end of its run even then: it must guard what it captures.
    BatchEditView(TagStore& store, Preferences& preferences, ThingsWorker& worker, QList<TagPtr> selectedTags,
                  BatchEditor::DoneCallback onDone, BatchEditor::RefreshingCallback onRefreshingChanged,
                  QWidget* parent = nullptr);

    BatchEditor& editor() const { return *m_editor; }

    // The window's selection changed and still holds two or more tags: the pane follows it and keeps
    // everything else, the parent choice included. The same tags again change nothing.
    void setSelectedTags(QList<TagPtr> tags);

    // Whether leaving the pane now would lose a parent chosen and not saved
    // (BatchEditor::hasUnsavedChanges).
    bool hasUnsavedChanges() const { return m_editor->hasUnsavedChanges(); }
    // Before the pane goes: asks "Save changes to N tags?" with "Save", "Don't Save" and "Cancel",
    // and calls `answered(true)` once the pane may go (the tags moved, or the choice given up), or
    // `answered(false)` when it stays ("Cancel", or a save that failed, whose result sheet shows).
    // With nothing unsaved, `answered(true)` at once; while the question is already open,
    // `answered(false)`.
    void askToSaveChanges(std::function<void(bool leave)> answered);

    // How often the parent choices were listed: at large stores that is the pane's one costly step,
    // so it is done only when the picker is reached for after they can have changed.
    int parentChoiceReads() const { return m_parentChoiceReads; }

protected:
    void showEvent(QShowEvent* event) override;

private:
    void build();
    void refresh();
    void refreshRows();
    void refreshParentChoices();
    void showDeleteConfirmation();
    void showResult();

    BatchEditor* m_editor = nullptr;

    QGroupBox* m_selectedSection = nullptr;
    QListWidget* m_rows = nullptr;
    ParentPicker* m_parentPicker = nullptr;
    QPushButton* m_deleteButton = nullptr;
    BusyToolButton* m_refreshButton = nullptr;
    QPushButton* m_saveButton = nullptr;
    QPushButton* m_clearShortcutsButton = nullptr;
    QPointer<QMessageBox> m_confirmation;
    QPointer<QMessageBox> m_saveQuestion;
    QPointer<BatchResultSheet> m_resultSheet;

    // The choices may differ from those shown: the store or the selection changed since.
    bool m_choicesStale = true;
    int m_parentChoiceReads = 0;
};

} // namespace orvalet
