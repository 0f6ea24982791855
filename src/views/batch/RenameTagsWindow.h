#pragma once

#include "TagRenamer.h"

#include <QDialog>
#include <QPointer>

class QCheckBox;
class QComboBox;
class QFormLayout;
class QLabel;
class QLineEdit;
class QMessageBox;
class QPushButton;
class QRadioButton;
class QTreeView;

namespace orvalet {

class BatchResultSheet;
class RenamePreviewModel;
class Spinner;

// The window of Edit ▸ "Rename Tags…", window-modal over its main window: which tags (the selected
// ones or all, when tags are selected), the rules, the preview of every rename with its flags, "Close"
// and "Rename N Tags". It shows the state of the TagRenamer it owns and forwards what the user does
// to it. Return in a field renames nothing; Escape closes it. The question about renames left out
// and the result sheet are window-modal dialogs over it.
class RenameTagsWindow final : public QDialog {
    Q_OBJECT

public:
    RenameTagsWindow(TagStore& store, Preferences& preferences, ThingsWorker& worker,
                     QSet<QString> selectedIds, QWidget* parent = nullptr);

    TagRenamer& renamer() const { return *m_renamer; }
    QLineEdit* findField() const { return m_find; }
    QTreeView* preview() const { return m_preview; }
    QPushButton* renameButton() const { return m_rename; }

private:
    void rulesEdited();
    void refresh();
    void showLeftOutQuestion();
    void showResult();

    TagRenamer* m_renamer = nullptr;
    RenamePreviewModel* m_model = nullptr;
    QRadioButton* m_selected = nullptr;
    QRadioButton* m_all = nullptr;
    QLineEdit* m_find = nullptr;
    QCheckBox* m_regularExpression = nullptr;
    QCheckBox* m_matchCase = nullptr;
    QFormLayout* m_form = nullptr;
    QLabel* m_patternError = nullptr;
    QLineEdit* m_replace = nullptr;
    QLineEdit* m_removePrefix = nullptr;
    QLineEdit* m_addPrefix = nullptr;
    QComboBox* m_case = nullptr;
    QLabel* m_summary = nullptr;
    Spinner* m_spinner = nullptr;
    QTreeView* m_preview = nullptr;
    QPushButton* m_close = nullptr;
    QPushButton* m_rename = nullptr;
    QPointer<QMessageBox> m_question;
    QPointer<BatchResultSheet> m_resultSheet;
};

} // namespace orvalet
