#pragma once

#include "Tag.h"

#include <QDialog>
#include <QPointer>
#include <functional>

class QLabel;
class QLineEdit;
class QMessageBox;
class QPushButton;

namespace orvalet {

class ErrorRow;
class LiveStatus;
class ParentPicker;
class Preferences;
class Spinner;
class TagCreator;
class TagStore;
class ThingsWorker;

// The "New Tag" sheet: a window-modal dialog over a TagCreator. Return presses "Create Tag" when it
// is enabled, Escape presses "Cancel". It deletes itself once closed; a creation under way still
// finishes in Things 3 and in the store.
class TagCreateView final : public QDialog {
    Q_OBJECT

public:
    // `presetParent` (may be null) is the parent chosen at first.
    TagCreateView(TagStore& store, Preferences& preferences, ThingsWorker& worker, TagPtr presetParent,
                  QWidget* parent);

    TagCreator& creator() const { return *m_creator; }

    // Escape and the window's close button: "Cancel".
    void reject() override;

    // Whether closing the sheet now, other than by its "Cancel", would lose a tag it could create
    // (TagCreator::hasUnsavedChanges).
    bool hasUnsavedChanges() const;
    // Before the sheet goes with its window: asks "Save the new tag “NAME”?" with "Create Tag",
    // "Don't Save" and "Cancel", and calls `answered(true)` once the sheet has closed (the tag
    // created, or given up), or `answered(false)` when it stays ("Cancel", or a creation that
    // failed, whose reason shows here). With nothing unsaved, `answered(true)` at once; while the
    // question is already open, `answered(false)`.
    void askToSaveChanges(std::function<void(bool leave)> answered);

private:
    void update();
    void showDuplicateNameAlert();
    void showImportedAlert();

    TagStore& m_store;
    TagCreator* m_creator = nullptr;
    ErrorRow* m_error = nullptr;
    QLineEdit* m_name = nullptr;
    ParentPicker* m_parent = nullptr;
    QWidget* m_form = nullptr;
    LiveStatus* m_creating = nullptr;
    Spinner* m_spinner = nullptr;
    QPushButton* m_cancel = nullptr;
    QPushButton* m_create = nullptr;
    QPointer<QMessageBox> m_alert;
    QPointer<QMessageBox> m_saveQuestion;
    bool m_closing = false;
};

} // namespace orvalet
