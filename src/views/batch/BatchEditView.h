#pragma once

#include "BatchEditor.h"

#include <QPointer>
#include <QWidget>

class QComboBox;
class QGroupBox;
class QListWidget;
class QMessageBox;
class QPushButton;

namespace orvalet {

class BatchResultSheet;
class ParentChoiceModel;
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

    // How often the parent picker's entries were rebuilt: reading the choices is the pane's one
    // costly step at large stores, so it is done only when they can have changed.
    int parentChoiceBuilds() const { return m_parentChoiceBuilds; }

protected:
    void showEvent(QShowEvent* event) override;

private:
    void build();
    void refresh();
    void refreshRows();
    void refreshParentChoices();
    void showParentChoice();
    void parentChosen(int index);
    void showDeleteConfirmation();
    void showResult();

    BatchEditor* m_editor = nullptr;

    QGroupBox* m_selectedSection = nullptr;
    QListWidget* m_rows = nullptr;
    QComboBox* m_parentPicker = nullptr;
    ParentChoiceModel* m_choiceModel = nullptr;
    QPushButton* m_deleteButton = nullptr;
    BusyToolButton* m_refreshButton = nullptr;
    QPushButton* m_saveButton = nullptr;
    QPointer<QMessageBox> m_confirmation;
    QPointer<BatchResultSheet> m_resultSheet;

    // The picker's row of each tag it offers.
    QHash<QString, int> m_choiceRows;
    // The choices may differ from those shown: the store or the selection changed since.
    bool m_choicesStale = true;
    int m_parentChoiceBuilds = 0;
};

} // namespace orvalet
