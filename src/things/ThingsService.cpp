#include "ThingsService.h"

#include "ScriptEngine.h"
#include "ThingsError.h"

#include <type_traits>

namespace orvalet {

namespace {

bool sameText(const QString& a, const QString& b) {
    return a == b || a.normalized(QString::NormalizationForm_D) == b.normalized(QString::NormalizationForm_D);
}

} // namespace

ThingsService::ThingsService(const ScriptEngine& engine)
    : m_engine(engine) {}

QString ThingsService::runAppleScript(const QString& source) const {
    const std::optional<ScriptOutcome> outcome = m_engine.run(source);
    if (!outcome)
        throw ThingsError::appleScriptFailed(QStringLiteral("Could not compile AppleScript."));
    // An error dictionary wins over a result that may have come with it.
    if (const std::optional<ScriptError>& error = outcome->error) {
        if (error->message)
            throw ThingsError::appleScriptFailed(*error->message, error->number);
        if (error->briefMessage)
            throw ThingsError::appleScriptFailed(*error->briefMessage, error->number);
        throw ThingsError::appleScriptFailed(error->description, error->number);
    }
    return outcome->result.value_or(QString());
}

std::optional<ThingsTagRecord> ThingsService::fetchTagById(const QString& id) const {
    return parseTagLookup(runAppleScript(fetchTagByIdScript(id)));
}

std::optional<ThingsTagRecord> ThingsService::fetchTagByName(const QString& name) const {
    return parseTagLookup(runAppleScript(fetchTagByNameScript(name)));
}

namespace {

// Runs `read` on `ids`, `size` at a time (a program each), and joins the lists it gives, in order. A
// group whose answer cannot be read (`read` gives nothing) fails the whole read.
template <typename Read>
auto readInGroups(const QStringList& ids, qsizetype size, Read read) {
    typename std::invoke_result_t<Read, const QStringList&>::value_type all;
    for (qsizetype start = 0; start < ids.size(); start += size) {
        const auto part = read(ids.mid(start, size));
        if (!part)
            throw ThingsError::unreadable();
        all += *part;
    }
    return all;
}

// Identifiers and numbers only, about thirty characters a tag: this many keeps a program small.
constexpr qsizetype tagsPerUseProgram = 2000;

} // namespace

QList<std::optional<ThingsTagRecord>> ThingsService::fetchTagsById(const QStringList& ids) const {
    return readInGroups(ids, maximumGroupSize, [this](const QStringList& group) {
        return parseTagsById(runAppleScript(fetchTagsByIdScript(group)), group);
    });
}

std::optional<ThingsTagRecord> ThingsService::fetchTag(const QString& id, bool byId) const {
    return byId ? fetchTagsById({id}).value(0) : fetchTagById(id);
}

QList<ThingsTagUse> ThingsService::readTagUse(const QStringList& ids) const {
    return readInGroups(ids, tagsPerUseProgram, [this](const QStringList& group) {
        return parseTagUse(runAppleScript(tagUseScript(group)), group);
    });
}

QList<qint64> ThingsService::readOpenCounts(const QStringList& ids) const {
    return readInGroups(ids, tagsPerUseProgram,
                        [this](const QStringList& group) -> std::optional<QList<qint64>> {
                            // "COUNT~~~" per tag asked.
                            const QString answer = runAppleScript(tagUseScript(group, false));
                            const QList<QStringView> records = QStringView(answer).split(u"~~~");
                            if (records.size() != group.size() + 1 || !records.last().isEmpty())
                                return std::nullopt;
                            QList<qint64> counts;
                            for (qsizetype i = 0; i < group.size(); ++i) {
                                bool counted = false;
                                counts.append(records[i].toLongLong(&counted));
                                if (!counted)
                                    return std::nullopt;
                            }
                            return counts;
                        });
}

std::optional<ThingsTagState> ThingsService::readTagState(const QString& id) const {
    try {
        const std::optional<ThingsTagState> state = parseTagState(runAppleScript(tagStateScript(id)));
        if (!state)
            throw ThingsError::unreadable();
        return state;
    } catch (const ThingsError& error) {
        if (error.isMissingTag(id))
            return std::nullopt;
        throw;
    }
}

namespace {

// After a lost answer, what Things 3 holds for the tag; the lost answer's error when even that
// cannot be learnt.
std::optional<ThingsTagState> stateAfterLostAnswer(const ThingsService& things, const QString& id,
                                                   const ThingsError& lost) {
    try {
        return things.readTagState(id);
    } catch (const ThingsError&) {
        throw lost;
    }
}

} // namespace

namespace {

// By identifier, a tag or new parent that Things 3 no longer has is told by name.
std::optional<ThingsError> missingFromThings(const ThingsTagChange& change, const ThingsError& error) {
    if (error.isMissingTag(change.tag.id))
        return ThingsError::notInThings(change.tag.name);
    if (change.newParentId && error.isMissingTag(*change.newParentId))
        return ThingsError::notInThings(change.newParentName.value_or(*change.newParentId));
    return std::nullopt;
}

// Whether what Things 3 holds is what the change asked for.
bool reached(const ThingsTagChange& change, const ThingsTagState& now) {
    const bool named = sameText(change.newName, change.tag.name) || sameText(now.name, change.newName);
    return named && now.parentId == change.newParentId;
}

} // namespace

ThingsTagState ThingsService::changeTag(const ThingsTagChange& change, bool byId) const {
    const ThingsTagState wanted{change.newName, change.newParentId};
    const std::optional<QString> script = changeTagScript(change, byId);
    if (!script)
        return wanted;
    try {
        const QString answer = runAppleScript(*script);
        return byId ? ThingsTagState{answer, wanted.parentId} : wanted;
    } catch (const ThingsError& error) {
        if (const std::optional<ThingsError> missing = byId ? missingFromThings(change, error) : std::nullopt)
            throw *missing;
        if (!error.isLostConnection())
            throw;
        const std::optional<ThingsTagState> now = stateAfterLostAnswer(*this, change.tag.id, error);
        if (!now)
            throw;
        // The program may have run in full, in part, or not at all: Things 3 says which.
        if (reached(change, *now))
            return *now;
        throw error.withTagNow(*now);
    }
}

ThingsChangesOutcome ThingsService::changeTags(const QList<ThingsTagChange>& changes, bool byId) const {
    ThingsChangesOutcome outcome;
    QList<ThingsTagState>& states = outcome.states;
    // One change after the other as changeTag makes it, up to its first failure.
    const auto changeEach = [&](qsizetype end) {
        for (; states.size() < end; states.append(changeTag(changes[states.size()], byId))) {
        }
    };
    while (states.size() < changes.size()) {
        // The next group: the next changes that need a program, up to a full program, and the
        // changes between them that need none.
        QList<ThingsTagChange> group;
        QList<qsizetype> positions;
        qsizetype end = states.size();
        for (; end < changes.size() && group.size() < (byId ? maximumGroupSize : 1); ++end) {
            if (byId && changeTagScript(changes[end], byId)) {
                group.append(changes[end]);
                positions.append(end);
            }
        }
        try {
            if (group.size() < 2) {
                changeEach(end);
                continue;
            }
            std::optional<ThingsError> failure;
            qsizetype done = 0;
            bool answered = false; // whether Things 3 said how far the program got
            try {
                const auto read =
                    parseChangeGroupAnswer(runAppleScript(changeTagGroupScript(group)), group.size());
                for (const QString& name : read ? read->first : QStringList()) {
                    changeEach(positions[done]);
                    states.append(ThingsTagState{name, group[done++].newParentId});
                }
                answered = read.has_value();
                failure = read ? read->second.failure : ThingsError::unreadable();
            } catch (const ThingsError& error) {
                answered = !error.isLostConnection();
                failure = error;
            }
            if (!failure) {
                changeEach(end);
                continue;
            }
            changeEach(positions[done]);
            if (const std::optional<ThingsError> missing = missingFromThings(group[done], *failure))
                throw *missing;
            if (answered)
                throw *failure;
            // The program may have gone on past what it answered, or answered nothing: Things 3 says
            // how far, tag by tag, as changeTag learns it after a lost answer.
            for (; done < group.size(); ++done) {
                changeEach(positions[done]);
                std::optional<ThingsTagState> now;
                try {
                    now = readTagState(group[done].tag.id);
                } catch (const ThingsError&) {
                    // Things 3 cannot be asked: this change and the rest of the program are not known.
                    outcome.failure = *failure;
                    outcome.unsettled = end - states.size();
                    return outcome;
                }
                if (!now)
                    throw *failure;
                if (!reached(group[done], *now))
                    throw failure->withTagNow(*now);
                states.append(*now);
            }
            changeEach(end);
        } catch (const ThingsError& error) {
            outcome.failure = error;
            // A change alone whose answer was lost and could not be read again.
            outcome.unsettled = error.isLostConnection() && !error.tagNow() ? 1 : 0;
            return outcome;
        }
    }
    return outcome;
}

void ThingsService::deleteTag(const ThingsTagRef& tag, bool byId) const {
    // One tag alone goes in its own program, the way a group of one does.
    if (const std::optional<ThingsError> failure = deleteTags({tag}, byId).failure)
        throw *failure;
}

namespace {

// For each tag, its tree as read: every tag of it with its number of to-dos and of child tags. None
// without a read, or for a tag it does not hold.
QList<ThingsService::TreeCheck> treeChecks(const QList<ThingsTagRef>& tags,
                                           const std::optional<ThingsTreeRead>& asRead) {
    QList<ThingsService::TreeCheck> checks;
    if (!asRead)
        return checks;
    QHash<QString, QList<const ThingsTreeRead::Tag*>> childrenOf;
    QHash<QString, const ThingsTreeRead::Tag*> byId;
    for (const ThingsTreeRead::Tag& tag : asRead->tags) {
        byId.insert(tag.id, &tag);
        if (tag.parentId)
            childrenOf[*tag.parentId].append(&tag);
    }
    for (const ThingsTagRef& top : tags) {
        ThingsService::TreeCheck check;
        if (byId.contains(top.id)) {
            QList<const ThingsTreeRead::Tag*> pending{byId.value(top.id)};
            while (!pending.isEmpty()) {
                const ThingsTreeRead::Tag* tag = pending.takeLast();
                const QList<const ThingsTreeRead::Tag*> children = childrenOf.value(tag->id);
                check.ids.append(tag->id);
                check.todos.append(tag->todoIds.size());
                check.children.append(children.size());
                pending += children;
            }
        }
        checks.append(check);
    }
    return checks;
}

} // namespace

ThingsGroupOutcome ThingsService::deleteTags(const QList<ThingsTagRef>& tags, bool byId,
                                             const std::optional<ThingsTreeRead>& asRead) const {
    const QList<TreeCheck> checks = byId ? treeChecks(tags, asRead) : QList<TreeCheck>();
    qsizetype done = 0;
    while (done < tags.size()) {
        const qsizetype end = std::min(tags.size(), done + (byId ? maximumGroupSize : 1));
        if (end - done == 1 && checks.isEmpty()) { // one tag alone: its own program, deleteTagScript
            try {
                runAppleScript(deleteTagScript(tags[done], byId));
            } catch (const ThingsError& error) {
                const bool gone = byId && error.isMissingTag(tags[done].id);
                if (!gone && !error.isLostConnection())
                    return {done, error};
                try {
                    if (!gone && readTagState(tags[done].id))
                        return {done, error};
                } catch (const ThingsError&) {
                    return {done, error, true};
                }
            }
            ++done;
            continue;
        }
        ThingsGroupOutcome group;
        bool answered = true; // whether Things 3 said how far the program got
        try {
            const QString answer = runAppleScript(deleteTagGroupScript(
                tags.mid(done, end - done), checks.mid(done, checks.isEmpty() ? 0 : end - done)));
            const std::optional<ThingsGroupOutcome> read = parseGroupAnswer(answer, end - done);
            answered = read.has_value();
            group = read.value_or(ThingsGroupOutcome{0, ThingsError::unreadable()});
        } catch (const ThingsError& error) {
            if (!error.isLostConnection())
                return {done, error};
            answered = false;
            group.failure = error;
        }
        done += group.done;
        if (!group.failure)
            continue;
        if (group.failure->isMissingTag(tags[done].id)) {
            ++done; // deleted already, with an ancestor or in Things 3 itself
            continue;
        }
        if (answered && !group.failure->isLostConnection())
            return {done, group.failure};
        // The program may have gone on past what it answered, or answered nothing: Things 3 says
        // which of the rest are gone, every one read in one program. The first it still has failed
        // with the lost answer; those gone after it were gone already, and are done too when the
        // run goes on past it. When Things 3 cannot be asked, none of them is settled.
        QStringList rest;
        for (qsizetype i = done; i < end; ++i)
            rest.append(tags[i].id);
        try {
            const QList<std::optional<ThingsTagRecord>> now = fetchTagsById(rest);
            for (qsizetype i = 0; i < now.size() && !now[i]; ++i, ++done) {
            }
            if (done < end)
                return {done, group.failure};
        } catch (const ThingsError&) {
            return {done, group.failure, true};
        }
    }
    return {done, std::nullopt};
}

QHash<QString, QString> ThingsService::readShortcuts() const {
    std::optional<QHash<QString, QString>> shortcuts =
        parseShortcuts(runAppleScript(fetchAllShortcutsScript()));
    if (!shortcuts)
        throw ThingsError::unreadable();
    return *std::move(shortcuts);
}

ThingsGroupOutcome ThingsShortcutsOutcome::upToFirstFailure() const {
    for (qsizetype i = 0; i < tried.size(); ++i) {
        if (tried[i].refusal)
            return {i, tried[i].refusal};
    }
    return {tried.size(), failure};
}

ThingsShortcutsOutcome ThingsService::setShortcuts(const QList<ThingsShortcutChange>& changes, bool byId,
                                                   bool goOnPastRefusal) const {
    ThingsShortcutsOutcome outcome;
    while (outcome.tried.size() < changes.size()) {
        const qsizetype start = outcome.tried.size();
        const qsizetype size = std::min(changes.size() - start, byId ? maximumGroupSize : 1);
        try {
            const QList<ThingsShortcutChange> group = changes.mid(start, size);
            const auto tried =
                parseShortcutAnswer(runAppleScript(shortcutGroupScript(group, byId, goOnPastRefusal)), size);
            // Short of the group only when it stopped at a refusal.
            const bool whole = tried && (tried->size() == size ||
                                         (!goOnPastRefusal && !tried->isEmpty() && tried->last().refusal));
            if (!whole)
                throw ThingsError::unreadable();
            outcome.tried += *tried;
        } catch (const ThingsError& error) {
            outcome.failure = error;
            return outcome;
        }
        bool refused = false;
        for (qsizetype i = start; i < outcome.tried.size(); ++i) {
            std::optional<ThingsError>& refusal = outcome.tried[i].refusal;
            if (refusal && byId && refusal->isMissingTag(changes[i].tag.id))
                refusal = ThingsError::notInThings(changes[i].tag.name);
            refused = refused || refusal;
        }
        if (refused && !goOnPastRefusal)
            return outcome;
    }
    return outcome;
}

QString ThingsService::createTag(const QString& name, const std::optional<ThingsTagRef>& parent,
                                 bool byId) const {
    try {
        return trimmed(runAppleScript(createTagScript(name, parent, byId))).toString();
    } catch (const ThingsError& error) {
        if (byId && parent && error.isMissingTag(parent->id))
            throw ThingsError::notInThings(parent->name);
        throw;
    }
}

} // namespace orvalet
