#include "ThingsService.h"

#include "ScriptEngine.h"
#include "ThingsError.h"

namespace orvalet {

namespace {

ThingsError unreadableAnswer() {
    return ThingsError::appleScriptFailed(QStringLiteral("Things 3 answered in a form Orvalet cannot read."));
}

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

QList<ThingsTagUse> ThingsService::readTagUse(const QStringList& ids) const {
    if (ids.isEmpty())
        return {};
    std::optional<QList<ThingsTagUse>> use = parseTagUse(runAppleScript(tagUseScript(ids)), ids);
    if (!use)
        throw unreadableAnswer();
    return *use;
}

std::optional<ThingsTagState> ThingsService::readTagState(const QString& id) const {
    try {
        const std::optional<ThingsTagState> state = parseTagState(runAppleScript(tagStateScript(id)));
        if (!state)
            throw unreadableAnswer();
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

ThingsTagState ThingsService::changeTag(const ThingsTagChange& change, bool byId) const {
    const ThingsTagState wanted{change.newName, change.newParentId};
    const std::optional<QString> script = changeTagScript(change, byId);
    if (!script)
        return wanted;
    try {
        const QString answer = runAppleScript(*script);
        return byId ? ThingsTagState{answer, wanted.parentId} : wanted;
    } catch (const ThingsError& error) {
        if (byId && error.isMissingTag(change.tag.id))
            throw ThingsError::notInThings(change.tag.name);
        if (byId && change.newParentId && error.isMissingTag(*change.newParentId))
            throw ThingsError::notInThings(change.newParentName.value_or(*change.newParentId));
        if (!error.isLostConnection())
            throw;
        const std::optional<ThingsTagState> now = stateAfterLostAnswer(*this, change.tag.id, error);
        if (!now)
            throw;
        // The program may have run in full, in part, or not at all: Things 3 says which.
        const bool named = sameText(change.newName, change.tag.name) || sameText(now->name, change.newName);
        if (named && now->parentId == wanted.parentId)
            return *now;
        throw error.withTagNow(*now);
    }
}

void ThingsService::deleteTag(const ThingsTagRef& tag, bool byId) const {
    try {
        runAppleScript(deleteTagScript(tag, byId));
    } catch (const ThingsError& error) {
        if (byId && error.isMissingTag(tag.id))
            return; // deleted already, with an ancestor or in Things 3 itself
        if (!error.isLostConnection() || stateAfterLostAnswer(*this, tag.id, error))
            throw;
    }
}

ThingsGroupOutcome ThingsService::deleteTags(const QList<ThingsTagRef>& tags, bool byId) const {
    qsizetype done = 0;
    while (done < tags.size()) {
        const qsizetype end = std::min(tags.size(), done + (byId ? maximumGroupSize : 1));
        if (end - done == 1) { // one tag alone: its own program, as deleteTag sends it
            try {
                deleteTag(tags[done], byId);
            } catch (const ThingsError& error) {
                return {done, error};
            }
            ++done;
            continue;
        }
        ThingsGroupOutcome group;
        bool answered = true; // whether Things 3 said how far the program got
        try {
            const QString answer = runAppleScript(deleteTagGroupScript(tags.mid(done, end - done)));
            const std::optional<ThingsGroupOutcome> read = parseGroupAnswer(answer, end - done);
            answered = read.has_value();
            group = read.value_or(ThingsGroupOutcome{0, unreadableAnswer()});
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
        // which of the rest are gone. The first it still has failed with the lost answer.
        for (; done < end; ++done) {
            try {
                if (readTagState(tags[done].id))
                    return {done, group.failure};
            } catch (const ThingsError&) {
                return {done, group.failure};
            }
        }
    }
    return {done, std::nullopt};
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
