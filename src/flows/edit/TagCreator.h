#pragma once

#include "Tag.h"

#include <QCoroTask>
#include <QList>
#include <QObject>
#include <QString>
#include <functional>
#include <optional>

namespace orvalet {

class Preferences;
class TagStore;
class ThingsWorker;

// The sheet that creates a tag, without its widgets: the typed name, the chosen parent, the busy
// flag, the error row, the two alerts, and the flow behind "Create Tag".
//
// Before anything is created, Things 3 is asked whether it already has a tag of that name: if so,
// that tag is imported into the store instead; if not, the tag is made in Things 3 and stored under
// the identifier Things 3 gave it.
//
// `changed` announces every change of what the sheet shows, the store's changes included (the
// parent picker lists every stored tag). `closeRequested` asks the widget to close the sheet; the
// widget may destroy this object then, or at any time: a creation under way still finishes, in
// Things 3 and in the store. One TagCreator serves one opening of the sheet: once it has asked to
// close, it shows nothing more and asks no more.
class TagCreator final : public QObject {
    Q_OBJECT

public:
    // `presetParent` (may be null) is the parent chosen at first: the tag editor passes the edited
    // tag, the main window nothing. The store, the preferences and the worker must outlive every flow
    // started here.
    TagCreator(TagStore& store, Preferences& preferences, ThingsWorker& worker, TagPtr presetParent = nullptr,
               QObject* parent = nullptr);

    // "New Tag"
    static QString title();

    // ---- Section "Tag" ----

    // The name as typed; empty at first.
    const QString& name() const { return m_name; }
    void setName(const QString& name);

    // ---- Section "Parent" ----

    // The chosen parent's identifier; absent for no parent (the picker's first entry,
    // EditRules::noParentLabel(), "None", followed by a divider).
    const std::optional<QString>& selectedParentId() const { return m_selectedParentId; }
    void setSelectedParentId(const std::optional<QString>& parentId);
    // The picker's entries after "None" and the divider: every stored tag, ascending by name
    // (plain-text order), each showing its name and standing for its identifier.
    QList<TagPtr> parentChoices() const;
    // The tag of parentChoices() with this identifier, or null, without listing them all.
    TagPtr parentChoice(const QString& id) const;

    // ---- Busy state and what is enabled ----

    bool isCreating() const { return m_isCreating; }
    // The form is disabled while a creation is under way; "Cancel" never is.
    bool isFormEnabled() const { return !m_isCreating; }
    // "Create Tag": enabled when the name without the spaces and tabs at its ends is not empty and
    // no creation is under way.
    bool canCreate() const;

    // ---- Error row ----

    // The last failure's text, until "Dismiss" or the next "Create Tag".
    const std::optional<QString>& errorMessage() const { return m_errorMessage; }
    void dismissError();

    // ---- Alerts ----

    // The name is a stored tag's name: EditRules::duplicateNameAlertTitle() ("Tag already exists."),
    // no message, "OK" closes it and the sheet stays open.
    bool showsDuplicateNameAlert() const { return m_showsDuplicateNameAlert; }
    void dismissDuplicateNameAlert();

    // Things 3 already had the tag and it was imported: title importedAlertTitle(), message
    // importedAlertMessage(), one "OK". Closing it closes the sheet (closeRequested).
    bool showsImportedExistingAlert() const { return m_showsImportedExistingAlert; }
    void dismissImportedExistingAlert();
    // "Tag imported from Things 3"
    static QString importedAlertTitle();
    // "This tag already existed in Things 3. Its data has been imported."
    static QString importedAlertMessage();

    // ---- Actions ----

    // "Cancel": closes the sheet (closeRequested). A creation under way is not cancelled; it
    // finishes in Things 3 and in the store but shows nothing more.
    void cancel();

    // "Create Tag". Refused with the duplicate-name alert when the trimmed name is a stored tag's
    // name ignoring case; refused with the error EditRules::missingParentMessage() when the chosen
    // parent was deleted meanwhile. Otherwise looks the trimmed name up in Things 3: a tag found
    // there is stored as Things 3 reports it (name, parent, to-do count; the chosen parent is not
    // applied) and the imported alert is shown; none found, the tag is made in Things 3 under the
    // chosen parent, named by its name, stored with the new identifier, the trimmed name and the
    // parent's identifier, and the sheet closes. A failure shows its text and keeps the sheet open
    // with the fields as typed. Does nothing unless canCreate().
    QCoro::Task<> submitNewTag();

    // ---- Leaving with a name typed ----

    // Whether closing the sheet now, other than by its own "Cancel" (its window closing, the
    // application quitting), would lose a tag "Create Tag" could make.
    bool hasUnsavedChanges() const { return canCreate() && !m_isClosed; }
    // The question asked then, with the name as it would be created: "Save the new tag “Ideas”?"
    QString saveQuestion() const;
    // The message under it: "The tag will not be created if you don't save it."
    static QString unsavedNameMessage();
    // "Create Tag" from that question, then `finished(true)` once the tag is stored and the sheet
    // closed (a tag Things 3 already had is imported without its alert, since the sheet is leaving),
    // or `finished(false)` when the sheet stays (a failure shown in its error row, the warning).
    QCoro::Task<> createBeforeLeaving(std::function<void(bool created)> finished);

Q_SIGNALS:
    void changed();
    void closeRequested();

private:
    void requestClose();

    TagStore& m_store;
    Preferences& m_preferences;
    ThingsWorker& m_worker;

    QString m_name;
    std::optional<QString> m_selectedParentId;
    bool m_isCreating = false;
    std::optional<QString> m_errorMessage;
    bool m_showsDuplicateNameAlert = false;
    bool m_showsImportedExistingAlert = false;
    bool m_isClosed = false;
    bool m_closesWhenCreated = false; // created on the way out: an import needs no alert
};

} // namespace orvalet
