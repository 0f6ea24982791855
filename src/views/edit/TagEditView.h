#pragma once

#include "TagEditor.h"

#include <QPointer>
#include <QTimer>
#include <QWidget>
#include <optional>

class QBoxLayout;
class QLabel;
class QLineEdit;
class QMessageBox;
class QPushButton;
class QToolButton;

namespace orvalet {

class BusyPushButton;
class BusyToolButton;
class ErrorRow;
class LiveStatus;
class ParentPicker;
class TagCreateView;

// The detail pane for one selected tag: a widget over a TagEditor. Top to bottom: the update line,
// the error row, "Details" (name, parent picker with its "View", keyboard shortcut, "Save Changes"),
// "Children" (the add-child button and one row per child), a divider and the action bar ("Delete", "Update
// from Things", "View in Things"). Its window title is the tag's name.
//
// Return in the name field and Ctrl+S save when "Save Changes" is enabled.
class TagEditView final : public QWidget {
    Q_OBJECT

public:
    TagEditView(TagStore& store, Preferences& preferences, ThingsWorker& worker, TagPtr tag,
                TagEditor::DeletedCallback onDeleted, TagEditor::SelectedCallback onSelected,
                TagEditor::RefreshingChangedCallback onRefreshingChanged, QWidget* parent = nullptr);

    TagEditor& editor() const { return *m_editor; }
    // The main window shows another single tag in this pane.
    void setTag(TagPtr tag) { m_editor->setTag(std::move(tag)); }

    // The creation sheet opened by the add-child button, while it is open.
    TagCreateView* createSheet() const;

    // Whether the pane holds a change that leaving it now would lose (TagEditor::hasUnsavedChanges).
    bool hasUnsavedChanges() const { return m_editor->hasUnsavedChanges(); }
    // Before the pane goes: asks "Save changes to “NAME”?" with "Save", "Don't Save" and "Cancel",
    // and calls `answered(true)` once the pane may go (saved, or the change given up), or
    // `answered(false)` when it stays ("Cancel", or a save that did not go through, whose reason
    // shows here). With nothing unsaved, `answered(true)` at once; while the question is already
    // open, `answered(false)`.
    void askToSaveChanges(std::function<void(bool leave)> answered);

protected:
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    QWidget* buildDetails();
    QWidget* buildChildren();
    QWidget* buildActionBar();
    void update();
    void updateChoices();
    void updateChildren();
    void updateUpdateLine();
    // Tab goes through the pane as it is drawn: top to bottom, left to right.
    void updateTabOrder();
    void showDuplicateNameAlert();
    void showShortcutConflict();
    void showDeleteConfirmation();
    void showCreateSheet();

    TagStore& m_store;
    ThingsWorker& m_worker;
    TagEditor* m_editor = nullptr;

    QLabel* m_updateLine = nullptr;
    QTimer m_updateLineTimer;
    QWidget* m_form = nullptr;
    ErrorRow* m_error = nullptr;
    QLineEdit* m_name = nullptr;
    ParentPicker* m_parent = nullptr;
    QLineEdit* m_shortcut = nullptr;
    QLabel* m_shortcutProblem = nullptr;
    QWidget* m_viewParentRow = nullptr;
    BusyPushButton* m_save = nullptr;
    LiveStatus* m_saveStatus = nullptr;   // "Saving…", then "Saved", heard by a screen reader
    std::optional<QString> m_savingTagId; // the tag of the save under way
    QToolButton* m_addChild = nullptr;
    QLabel* m_noChildren = nullptr;
    QBoxLayout* m_childRows = nullptr;
    QList<QWidget*> m_childRowWidgets;
    QStringList m_childSignature;
    QString m_shownTagId; // the tag whose choices and children the pane shows
    QWidget* m_actionBar = nullptr;
    BusyPushButton* m_delete = nullptr;
    BusyToolButton* m_refresh = nullptr;
    QPushButton* m_viewInThings = nullptr;
    QPushButton* m_merge = nullptr;

    QPointer<QMessageBox> m_duplicateAlert;
    QPointer<QMessageBox> m_shortcutConflict;
    QPointer<QMessageBox> m_deleteConfirmation;
    QPointer<QMessageBox> m_saveQuestion;
    QPointer<TagCreateView> m_createSheet;
    QPointer<QWidget> m_focusBeforeBusy;
    bool m_wasBusy = false;
};

} // namespace orvalet
