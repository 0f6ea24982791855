#include "TagCreator.h"

#include "Clock.h"
#include "DisplayTexts.h"
#include "EditRules.h"
#include "TagStore.h"
#include "TagWrites.h"
#include "ThingsWorker.h"
#include "UndoHistory.h"

#include <QPointer>
#include <utility>

namespace orvalet {

TagCreator::TagCreator(TagStore& store, Preferences& preferences, ThingsWorker& worker, TagPtr presetParent,
                       QObject* parent)
    : QObject(parent)
    , m_store(store)
    , m_preferences(preferences)
    , m_worker(worker)
    , m_selectedParentId(presetParent ? std::optional(presetParent->id()) : std::nullopt) {
    connect(&m_store, &TagStore::changed, this, &TagCreator::changed);
}

QString TagCreator::title() {
    return QStringLiteral("New Tag");
}

void TagCreator::setName(const QString& name) {
    if (name != m_name) {
        m_name = name;
        Q_EMIT changed();
    }
}

void TagCreator::setSelectedParentId(const std::optional<QString>& parentId) {
    if (parentId != m_selectedParentId) {
        m_selectedParentId = parentId;
        Q_EMIT changed();
    }
}

QList<TagPtr> TagCreator::parentChoices() const {
    return m_store.allTags();
}

TagPtr TagCreator::parentChoice(const QString& id) const {
    return m_store.tag(id);
}

bool TagCreator::canCreate() const {
    return !m_isCreating && !EditRules::trimmedName(m_name).isEmpty();
}

void TagCreator::dismissError() {
    if (m_errorMessage) {
        m_errorMessage.reset();
        Q_EMIT changed();
    }
}

void TagCreator::dismissDuplicateNameAlert() {
    if (m_showsDuplicateNameAlert) {
        m_showsDuplicateNameAlert = false;
        Q_EMIT changed();
    }
}

void TagCreator::dismissImportedExistingAlert() {
    if (m_showsImportedExistingAlert) {
        m_showsImportedExistingAlert = false;
        Q_EMIT changed();
        requestClose();
    }
}

QString TagCreator::importedAlertTitle() {
    return QStringLiteral("Tag imported from Things 3");
}

QString TagCreator::importedAlertMessage() {
    return QStringLiteral("This tag already existed in Things 3. Its data has been imported.");
}

QString TagCreator::saveQuestion() const {
    return QStringLiteral("Save the new tag ") + DisplayTexts::quotedName(EditRules::trimmedName(m_name)) +
           u'?';
}

QString TagCreator::unsavedNameMessage() {
    return QStringLiteral("The tag will not be created if you don't save it.");
}

QCoro::Task<> TagCreator::createBeforeLeaving(std::function<void(bool created)> finished) {
    if (!hasUnsavedChanges()) {
        finished(false);
        co_return;
    }
    const QPointer<TagCreator> self(this);
    m_closesWhenCreated = true;
    co_await submitNewTag();
    if (self) {
        self->m_closesWhenCreated = false;
    }
    finished(!self || self->m_isClosed);
}

void TagCreator::cancel() {
    requestClose();
}

void TagCreator::requestClose() {
    if (!m_isClosed) {
        m_isClosed = true;
        Q_EMIT closeRequested();
    }
}

// After its first co_await the flow may find `this` gone (the sheet was cancelled and destroyed):
// it reaches the store through a reference taken before, and its own state only through `self`.
QCoro::Task<> TagCreator::submitNewTag() {
    if (!canCreate() || m_isClosed) {
        co_return;
    }
    const QString trimmed = EditRules::trimmedName(m_name);
    if (EditRules::isNameTaken(trimmed, m_store.allTags())) {
        m_showsDuplicateNameAlert = true;
        Q_EMIT changed();
        co_return;
    }
    const std::optional<QString> parentId = m_selectedParentId;
    const TagPtr parentTag = parentId ? m_store.tag(*parentId) : nullptr;
    // A parent deleted from the store while the sheet was open cannot be named to Things 3, which
    // would make a root tag there while the record kept the chosen link.
    if (parentId && !parentTag) {
        m_errorMessage = EditRules::missingParentMessage();
        Q_EMIT changed();
        co_return;
    }
    const std::optional<ThingsTagRef> parentRef =
        parentTag ? std::optional(TagWrites::refOf(*parentTag)) : std::nullopt;
    const bool byId = TagWrites::byId(m_preferences);

    const QPointer<TagCreator> self(this);
    TagStore& store = m_store;
    ThingsWorker& worker = m_worker;
    m_isCreating = true;
    m_errorMessage.reset();
    Q_EMIT changed();

    std::optional<QString> failure;
    const auto found = co_await worker.run(&ThingsService::fetchTagByName, trimmed);
    if (!found) {
        failure = found.error().errorDescription();
    } else if (const std::optional<ThingsTagRecord>& record = found.value()) {
        // Things 3 has it already: it is stored as Things 3 reports it, and nothing is made.
        Tag existing(record->id, record->name, record->parentId);
        existing.setTodosCount(record->todosCount);
        existing.setUpdatedAt(Clock::now());
        store.insert(existing);
        if (self && self->m_closesWhenCreated) {
            self->requestClose();
        } else if (self && !self->m_isClosed) {
            self->m_showsImportedExistingAlert = true;
        }
    } else {
        const auto created = co_await worker.run(&ThingsService::createTag, trimmed, parentRef, byId);
        if (!created) {
            failure = created.error().errorDescription();
        } else {
            // A tag Things 3 has just made has no shortcut: known to be none, not unknown.
            store.insert(Tag(created.value(), trimmed, parentId))->setShortcut(QString());
            UndoHistory::forStore(store).recordCreation(created.value(), trimmed, parentId);
            if (self) {
                self->requestClose();
            }
        }
    }
    if (self) {
        if (failure && !self->m_isClosed) {
            self->m_errorMessage = std::move(failure);
        }
        self->m_isCreating = false;
        Q_EMIT self->changed();
    }
}

} // namespace orvalet
