#pragma once

#include "ThingsMergeRead.h"
#include "ThingsTagRecord.h"

#include <QList>
#include <QString>
#include <QStringView>
#include <optional>

namespace orvalet {

class ScriptEngine;

// The bridge to Things 3. It builds every AppleScript program Orvalet sends, runs it through
// the engine it was given, and reads the record text Things 3 answers in. It keeps no state
// besides the engine reference, so one instance may serve every call of the worker thread.
//
// Operations that run a program are synchronous and throw ThingsError; the others only build
// or read text and never fail.
class ThingsService final {
public:
    explicit ThingsService(const ScriptEngine& engine);

    // Runs one complete program and returns the text of its result, unchanged; the empty text
    // when the result has no text form.
    QString runAppleScript(const QString& source) const;

    // Looks one tag up; nothing when Things 3 has no such tag or its answer cannot be read.
    std::optional<ThingsTagRecord> fetchTagById(const QString& id) const;
    std::optional<ThingsTagRecord> fetchTagByName(const QString& name) const;

    // Renames and/or re-parents the tag called `currentName`; runs nothing when neither changes.
    // Parents are given by name; an absent `newParentName` makes the tag a root tag.
    void updateTag(const QString& currentName, const QString& newName,
                   const std::optional<QString>& newParentName,
                   const std::optional<QString>& currentParentName) const;

    // The same two changes made safe against a stale local copy: Things 3 addresses tags by name,
    // so when `storedId` is given, the name is first looked up and the program is sent only when
    // Things 3 reports that identifier for it; otherwise ThingsError::changedInThings is thrown and
    // nothing is changed. An update that sends nothing looks nothing up.
    void updateTagChecked(const std::optional<QString>& storedId, const QString& currentName,
                          const QString& newName, const std::optional<QString>& newParentName,
                          const std::optional<QString>& currentParentName) const;
    void deleteTagChecked(const std::optional<QString>& storedId, const QString& name) const;

    // Makes a tag, optionally under the tag called `parentName`, and returns its identifier.
    QString createTag(const QString& name, const std::optional<QString>& parentName) const;

    // ---- Merging one tag into another, through the to-dos' tag names text ----

    // Runs the read program of a merge of the tag called `sourceName` into `destinationName`;
    // nothing when its answer cannot be read back exactly (a tag name holding the record separators).
    std::optional<ThingsMergeRead> readMerge(const QString& sourceName, const QString& destinationName) const;
    // Runs one program that sets the tag names of every to-do listed; runs nothing for none.
    void setTodoTagNames(const QList<ThingsTodoTagNames>& changes) const;

    static QString mergeReadScript(const QString& sourceName, const QString& destinationName);
    static std::optional<ThingsMergeRead> parseMergeRead(QStringView output);
    static QString setTodoTagNamesScript(const QList<ThingsTodoTagNames>& changes);
    // The tag names text with `sourceName` replaced by `destinationName`, or kept out when the
    // destination is already there (names compare as Things 3 finds tags: ignoring case). Nothing when
    // the text cannot be split back into the names it was made of, or does not name the source.
    static std::optional<QString> replacedTagNames(QStringView tagNames, const QString& sourceName,
                                                   const QString& destinationName);

    // An AppleScript expression that evaluates to exactly `text`.
    static QString appleScriptLiteral(QStringView text);

    static QString fetchAllTagsScript();
    static QString fetchTagByIdScript(const QString& id);
    static QString fetchTagByNameScript(const QString& name);
    static QString deleteTagScript(const QString& name);
    // The update program, or nothing when neither the name nor the parent changes.
    static std::optional<QString> updateTagScript(const QString& currentName, const QString& newName,
                                                  const std::optional<QString>& newParentName,
                                                  const std::optional<QString>& currentParentName);
    static QString createTagScript(const QString& name, const std::optional<QString>& parentName);

    // Reads the output of the fetch-all program; unreadable records are skipped.
    static QList<ThingsTagRecord> parseTagList(QStringView output);
    // Reads one record of that output (without its "~~~").
    static std::optional<ThingsTagRecord> parseTagRecord(QStringView chunk);
    // Reads the answer of either look-up program.
    static std::optional<ThingsTagRecord> parseTagLookup(QStringView output);

    // Removes leading and trailing Unicode white space and line breaks.
    static QStringView trimmed(QStringView text);

private:
    const ScriptEngine& m_engine;
};

} // namespace orvalet
