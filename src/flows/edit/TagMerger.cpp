#include "TagMerger.h"

#include "DisplayTexts.h"
#include "Preferences.h"
#include "TagStore.h"
#include "TagTree.h"
#include "TagWrites.h"
#include "ThingsWorker.h"

#include <QPointer>
#include <QStringBuilder>
#include <utility>

namespace orvalet {

using DisplayTexts::countOf;

TagMerger::TagMerger(TagStore& store, Preferences& preferences, ThingsWorker& worker, TagPtr source,
                     QObject* parent)
    : QObject(parent)
    , m_store(store)
    , m_preferences(preferences)
    , m_worker(worker)
    , m_source(std::move(source)) {
    connect(&m_store, &TagStore::changed, this, &TagMerger::changed);
}

QString TagMerger::windowTitle() const {
    return u"Merge " % DisplayTexts::quotedName(m_source->name()) % u" Into\u2026";
}

// ---- Destination ----

QList<TagPtr> TagMerger::destinationChoices() const {
    return TagTree::parentChoices({m_source->id()}, m_store.allTags());
}

void TagMerger::setDestinationId(const std::optional<QString>& id) {
    if (id != m_destinationId) {
        m_destinationId = id;
        Q_EMIT changed();
    }
}

TagPtr TagMerger::destination() const {
    if (!m_destinationId || *m_destinationId == m_source->id()) {
        return nullptr;
    }
    TagPtr tag = m_store.tag(*m_destinationId);
    if (!tag || TagTree::descendantIds({m_source->id()}, m_store.allTags()).contains(tag->id())) {
        return nullptr;
    }
    return tag;
}

QList<TagPtr> TagMerger::storedChildren() const {
    QList<TagPtr> children;
    for (const TagPtr& tag : m_store.allTags()) {
        if (tag->parentTagId() == m_source->id()) {
            children.append(tag);
        }
    }
    return children;
}

// ---- State ----

bool TagMerger::canMerge() const {
    return !isBusy() && m_source->isStored() && destination() != nullptr;
}

void TagMerger::setError(std::optional<QString> message) {
    m_errorMessage = std::move(message);
    Q_EMIT changed();
}

void TagMerger::dismissError() {
    if (m_errorMessage) {
        setError(std::nullopt);
    }
}

// ---- Confirmation ----

QString TagMerger::confirmationTitle() const {
    const QString destinationName = m_plannedDestination ? m_plannedDestination->name() : QString();
    return u"Merge " % DisplayTexts::quotedName(m_source->name()) % u" into " %
           DisplayTexts::quotedName(destinationName) % u"?";
}

QString TagMerger::confirmationMessage() const {
    const QString source = DisplayTexts::quotedName(m_source->name());
    const QString destination =
        DisplayTexts::quotedName(m_plannedDestination ? m_plannedDestination->name() : QString());
    QString message;
    if (m_changes.isEmpty()) {
        message = u"No to-dos carry " % source % u".";
    } else {
        message = countOf(m_changes.size(), u"to-do"_qs, u"to-dos"_qs) % u" will carry " % destination %
                  u" instead of " % source % u" (open, completed and canceled).";
    }
    if (!m_plannedChildren.isEmpty()) {
        message += u" " % countOf(m_plannedChildren.size(), u"child tag"_qs, u"child tags"_qs) %
                   u" will move under " % destination % u".";
    }
    message += u" " % source % u" will then be deleted from this app AND Things 3. This cannot be undone.";
    return UndoHistory::undoable(message);
}

void TagMerger::cancelMerge() {
    if (m_showsConfirmation) {
        m_showsConfirmation = false;
        m_changes.clear();
        m_confirmedRead = {};
        m_plannedChildren.clear();
        m_plannedDestination.reset();
        Q_EMIT changed();
    }
}

QString TagMerger::unsplittableMessage(const QString& sourceName) {
    return u"Some to-dos of " % DisplayTexts::quotedName(sourceName) %
           u" carry a tag whose name contains a comma or begins or ends with a space. Things 3 lists a "
           u"to-do\u2019s tags as names separated by commas, so these cannot be rewritten safely. Rename "
           u"that tag in Things 3, then try once more. Nothing was changed.";
}

QString TagMerger::unreadableMessage(const QString& sourceName) {
    return u"The to-dos of " % DisplayTexts::quotedName(sourceName) %
           u" could not be read from Things 3 safely (a tag name holds \u201C~~~\u201D). Nothing was "
           u"changed.";
}

// ---- Flows ----

// The merge as it will be sent, or the reason it cannot be. Nothing has been written yet.
std::optional<QString> TagMerger::planFrom(const ThingsMergeRead& read, const TagPtr& destination,
                                           const QList<TagPtr>& children) {
    const QString sourceName = m_source->name();
    // The read finds the two tags by name: they must be the stored ones, two tags, and deleting the
    // source must not take with it a child tag this app does not know of (Things 3 deletes a tag's
    // children with it).
    if (read.sourceId != m_source->id()) {
        return ThingsError::changedInThings(sourceName).errorDescription();
    }
    if (read.destinationId != destination->id()) {
        return ThingsError::changedInThings(destination->name()).errorDescription();
    }
    QStringList storedIds;
    for (const TagPtr& child : children) {
        storedIds.append(child->id());
    }
    QStringList thingsIds = read.childIds;
    storedIds.sort();
    thingsIds.sort();
    if (read.sourceId == read.destinationId || storedIds != thingsIds) {
        return ThingsError::changedInThings(sourceName).errorDescription();
    }

    QList<ThingsTodoTagNames> changes;
    changes.reserve(read.todos.size());
    for (const ThingsMergeRead::Todo& todo : read.todos) {
        const std::optional<QString> names =
            read.todosWithCommaTags.contains(todo.id)
                ? std::nullopt
                : ThingsService::replacedTagNames(todo.tagNames, sourceName, destination->name());
        if (!names) {
            return unsplittableMessage(sourceName);
        }
        changes.append({todo.id, *names});
    }
    m_changes = std::move(changes);
    m_confirmedRead = read;
    m_plannedChildren = children;
    m_plannedDestination = destination;
    return std::nullopt;
}

QCoro::Task<> TagMerger::prepareMerge() {
    if (!canMerge()) {
        co_return;
    }
    const QPointer<TagMerger> self(this);
    const TagPtr destination = this->destination();
    const QList<TagPtr> children = storedChildren();
    const QString sourceName = m_source->name();
    const QString destinationName = destination->name();
    m_isReading = true;
    m_outcome.reset();
    setError(std::nullopt);

    const auto read = co_await m_worker.run(&ThingsService::readMerge, sourceName, destinationName);
    if (!self) {
        co_return; // nothing was written: a closed dialog leaves nothing to finish
    }
    self->m_isReading = false;
    if (!read) {
        self->m_errorMessage = read.error().errorDescription();
    } else if (!read.value()) {
        self->m_errorMessage = unreadableMessage(sourceName);
    } else if (std::optional<QString> refusal = self->planFrom(*read.value(), destination, children)) {
        self->m_errorMessage = std::move(refusal);
    } else {
        self->m_showsConfirmation = true;
    }
    Q_EMIT self->changed();
}

QCoro::Task<> TagMerger::merge() {
    if (!m_showsConfirmation || isBusy()) {
        co_return;
    }
    const QPointer<TagMerger> self(this);
    TagStore& store = m_store;
    ThingsWorker& worker = m_worker;
    const TagPtr source = m_source;
    const TagPtr destination = std::exchange(m_plannedDestination, nullptr);
    const QList<ThingsTodoTagNames> changes = std::exchange(m_changes, {});
    const ThingsMergeRead confirmed = std::exchange(m_confirmedRead, {});
    const QList<TagPtr> children = std::exchange(m_plannedChildren, {});
    const bool byId = TagWrites::byId(m_preferences);
    m_showsConfirmation = false;
    if (!source->isStored() || !destination->isStored()) {
        setError(u"The tags changed in this app meanwhile. Choose the destination again."_qs);
        co_return;
    }
    m_isMerging = true;
    setError(std::nullopt);

    // Names are read now, from records that may change while Things 3 answers.
    const QString sourceName = source->name();
    const QString destinationName = destination->name();
    UndoHistory::Merge record{
        source->id(), sourceName, source->parentTagId(), source->shortcut(), destination->id(), {},
        {},           changes};
    for (const TagPtr& child : children) {
        record.childIds.append(child->id());
    }
    for (const ThingsMergeRead::Todo& todo : confirmed.todos) {
        record.before.append({todo.id, todo.tagNames});
    }
    const bool recordsUndo = m_recordsUndo;
    std::optional<QString> failure;
    // An answer lost on the way leaves the merge's outcome unknown from there on: said as such.
    const auto describe = [&sourceName, &destinationName](const ThingsError& error) {
        return error.isLostConnection()
                   ? error.unconfirmed(DisplayTexts::quotedName(sourceName) % u" was merged into " %
                                       DisplayTexts::quotedName(destinationName))
                   : error.errorDescription();
    };

    // The to-dos are read once more right before they are written: a to-do that gained or lost a tag
    // while the confirmation was open would otherwise lose that change.
    const auto written = co_await worker.run(&ThingsService::setTodoTagNamesIfUnchanged, sourceName,
                                             destinationName, confirmed, changes);
    if (!written) {
        failure = describe(written.error());
    }
    // The children move as a batch move does: by identifier, a hundred to a program.
    QList<ThingsTagChange> moves;
    for (qsizetype i = 0; !failure && i < children.size(); ++i) {
        if (const std::optional<ThingsTagChange> move =
                TagWrites::change(store, *children[i], children[i]->name(), destination->id())) {
            moves.append(*move);
        } else {
            failure = ThingsError::notInThings(destinationName).errorDescription();
        }
    }
    qsizetype childrenMoved = 0;
    if (!failure && !moves.isEmpty()) {
        const auto moved = co_await worker.run(&ThingsService::changeTags, moves, byId);
        const ThingsChangesOutcome outcome = moved ? moved.value() : ThingsChangesOutcome{{}, moved.error()};
        for (; childrenMoved < outcome.states.size(); ++childrenMoved) {
            TagWrites::follow(*children[childrenMoved], outcome.states[childrenMoved]);
        }
        if (outcome.failure) {
            TagWrites::followAfterFailure(*children[childrenMoved], *outcome.failure);
            failure = describe(*outcome.failure);
        }
    }
    if (!failure) {
        // The source must carry no to-do and no child tag any more: one tagged with it since the write
        // would lose its tag with it.
        const QList<ThingsTagRef> refs{TagWrites::refOf(*source)};
        std::optional<ThingsTreeRead> emptied = ThingsTreeRead{};
        emptied->tags.append({source->id(), source->name(), source->parentTagId(), {}, {}, {}});
        const auto sent = co_await worker.run(&ThingsService::deleteTags, refs, byId, emptied);
        const std::optional<ThingsError> refused =
            sent ? sent.value().failure : std::optional<ThingsError>(sent.error());
        if (!refused) {
            store.remove(source);
        } else {
            failure = describe(*refused);
        }
    }
    if (!failure) {
        // The destination's count of open to-dos is Things 3's to tell; a failed read leaves the old one.
        const auto fetched = co_await worker.run(&ThingsService::fetchTag, destination->id(), byId);
        if (fetched && fetched.value() && destination->isStored()) {
            TagWrites::takeRecord(*destination, *fetched.value());
        }
    }
    if (!failure && recordsUndo) {
        UndoHistory::forStore(store).recordMerge(record);
    }
    if (!self) {
        co_return;
    }
    self->m_isMerging = false;
    self->m_errorMessage = failure;
    if (!failure) {
        self->m_outcome = Outcome{changes.size(), childrenMoved};
        self->m_undoRecord = std::move(record);
    }
    Q_EMIT self->changed();
    if (self && !failure) {
        Q_EMIT self->merged();
    }
}

} // namespace orvalet
