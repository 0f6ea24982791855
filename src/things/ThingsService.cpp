#include "ThingsService.h"

#include "ScriptEngine.h"
#include "ThingsError.h"

namespace orvalet {

ThingsService::ThingsService(const ScriptEngine& engine)
    : m_engine(engine) {}

QString ThingsService::runAppleScript(const QString& source) const {
    const std::optional<ScriptOutcome> outcome = m_engine.run(source);
    if (!outcome)
        throw ThingsError::appleScriptFailed(QStringLiteral("Could not compile AppleScript."));
    // An error dictionary wins over a result that may have come with it.
    if (const std::optional<ScriptError>& error = outcome->error) {
        if (error->message)
            throw ThingsError::appleScriptFailed(*error->message);
        if (error->briefMessage)
            throw ThingsError::appleScriptFailed(*error->briefMessage);
        throw ThingsError::appleScriptFailed(error->description);
    }
    return outcome->result.value_or(QString());
}

std::optional<ThingsTagRecord> ThingsService::fetchTagById(const QString& id) const {
    return parseTagLookup(runAppleScript(fetchTagByIdScript(id)));
}

std::optional<ThingsTagRecord> ThingsService::fetchTagByName(const QString& name) const {
    return parseTagLookup(runAppleScript(fetchTagByNameScript(name)));
}

void ThingsService::updateTag(const QString& currentName, const QString& newName,
                              const std::optional<QString>& newParentName,
                              const std::optional<QString>& currentParentName) const {
    if (const auto script = updateTagScript(currentName, newName, newParentName, currentParentName))
        runAppleScript(*script);
}

namespace {

void ensureSameTag(const ThingsService& things, const std::optional<QString>& storedId, const QString& name) {
    if (!storedId) {
        return;
    }
    const std::optional<ThingsTagRecord> found = things.fetchTagByName(name);
    if (!found || found->id != *storedId) {
        throw ThingsError::changedInThings(name);
    }
}

} // namespace

void ThingsService::updateTagChecked(const std::optional<QString>& storedId, const QString& currentName,
                                     const QString& newName, const std::optional<QString>& newParentName,
                                     const std::optional<QString>& currentParentName) const {
    if (const auto script = updateTagScript(currentName, newName, newParentName, currentParentName)) {
        ensureSameTag(*this, storedId, currentName);
        runAppleScript(*script);
    }
}

void ThingsService::deleteTagChecked(const std::optional<QString>& storedId, const QString& name) const {
    ensureSameTag(*this, storedId, name);
    runAppleScript(deleteTagScript(name));
}

QString ThingsService::createTag(const QString& name, const std::optional<QString>& parentName) const {
    return trimmed(runAppleScript(createTagScript(name, parentName))).toString();
}

} // namespace orvalet
