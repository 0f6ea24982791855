#pragma once

#include "ThingsError.h"
#include "ThingsMergeRead.h"
#include "ThingsTagChange.h"
#include "ThingsTagRecord.h"
#include "ThingsTreeRead.h"

#include <QHash>
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
// How far a write over many tags got: how many were done, in order, and the failure that ended it.
struct ThingsGroupOutcome {
    qsizetype done = 0;
    std::optional<ThingsError> failure;
    // After a lost answer that Things 3 could not be asked about: whether the item that failed (and
    // any after it in its program) went through is not known.
    bool unsettled = false;
};

// How far a change of many tags got: what Things 3 holds for each tag changed, in order, and the
// failure that ended it (of the next tag).
struct ThingsChangesOutcome {
    QList<ThingsTagState> states;
    std::optional<ThingsError> failure;
    // After a lost answer that Things 3 could not be asked about: how many changes from the one that
    // failed on were sent without learning whether Things 3 made them.
    qsizetype unsettled = 0;
};

// What a run of keyboard shortcut writes did: for each change tried, in order, the key Things 3 held
// before it (the empty text for none), or the error that refused it; and the failure that ended the
// run before the rest were tried (after a lost answer, whether they went through is not known).
struct ThingsShortcutsOutcome {
    struct Tried {
        std::optional<QString> keyBefore; // set when the write went through
        std::optional<ThingsError> refusal;
    };
    QList<Tried> tried;
    std::optional<ThingsError> failure;

    // How many went through before the first that did not, and what stopped them there: the run as
    // one that stops at its first failure reports it.
    ThingsGroupOutcome upToFirstFailure() const;
};

class ThingsService final {
public:
    explicit ThingsService(const ScriptEngine& engine);

    // Runs one complete program and returns the text of its result, unchanged; the empty text
    // when the result has no text form.
    QString runAppleScript(const QString& source) const;

    // Looks one tag up; nothing when Things 3 has no such tag or its answer cannot be read.
    std::optional<ThingsTagRecord> fetchTagById(const QString& id) const;
    std::optional<ThingsTagRecord> fetchTagByName(const QString& name) const;
    // Looks tags up by identifier with `tag id`, a hundred to a program: on a Mac three Apple events a
    // tag, where the look-up above walks every tag until it meets the one asked for. What
    // fetchTagById gives for each, in order, except that every name reads back, even one holding the
    // record separators. Throws when a program fails or its answer cannot be read.
    QList<std::optional<ThingsTagRecord>> fetchTagsById(const QStringList& ids) const;
    // "Update from Things" for one tag: fetchTagsById's look-up by identifier, fetchTagById's walk
    // otherwise.
    std::optional<ThingsTagRecord> fetchTag(const QString& id, bool byId) const;

    // ---- Writes to stored tags ----
    //
    // Each takes `byId`: true finds the tag in Things 3 by its identifier inside the program and then
    // uses the by-name forms on the name Things 3 has for it now, so a write reaches the stored tag
    // whatever its name has become; false sends the programs that address tags by their stored names.
    // When the answer is lost on the way back (-609, -1712), the tag is read again by identifier, and
    // the outcome follows what Things 3 holds.

    // Renames and/or moves the tag; runs nothing when neither changes. Returns the tag's name and
    // parent in Things 3 afterwards. By identifier, a tag or new parent that Things 3 no longer has
    // throws ThingsError::notInThings. A failure after a lost connection carries, in tagNow(), what
    // Things 3 holds for the tag when it could be read.
    ThingsTagState changeTag(const ThingsTagChange& change, bool byId) const;
    // Changes the tags in this order: what changeTag run on each in turn would return, up to its first
    // failure, and that failure. By identifier, up to maximumGroupSize tags go in one program, and
    // after a lost or unreadable answer each of the rest is read again as changeTag reads it.
    ThingsChangesOutcome changeTags(const QList<ThingsTagChange>& changes, bool byId) const;
    // Deletes the tag; Things 3 deletes every tag below it with it. By identifier, a tag that
    // Things 3 no longer has is deleted already: that is not a failure.
    void deleteTag(const ThingsTagRef& tag, bool byId) const;
    // Deletes the tags in this order and says how many were deleted before the first failure, and
    // that failure (the tag `tags[done]`): what deleteTag run on each tag in turn would report up to
    // its first failure. By identifier, up to maximumGroupSize tags go in one program; a tag Things 3
    // no longer has is deleted already, and after a lost or unreadable answer the tags Things 3 no
    // longer has count as deleted, in order, up to the first it still has. By name, a program a tag.
    // By identifier, with the trees `asRead` for an undo step, each tag of a tree must still have the
    // to-dos and child tags read, checked in the program that deletes it, or the tree is not deleted
    // (ThingsError::changedSinceReadNumber).
    ThingsGroupOutcome deleteTags(const QList<ThingsTagRef>& tags, bool byId,
                                  const std::optional<ThingsTreeRead>& asRead = std::nullopt) const;
    static constexpr qsizetype maximumGroupSize = 100;
    // Makes a tag, optionally under a stored parent, and returns its identifier.
    QString createTag(const QString& name, const std::optional<ThingsTagRef>& parent, bool byId) const;
    // The open to-dos and child tags of each of these tags, in this order, two thousand to a program.
    // A tag Things 3 no longer has fails it with -1728 (ThingsError::isMissingTag).
    QList<ThingsTagUse> readTagUse(const QStringList& ids) const;
    // The open to-dos of each of these tags, in this order; -1728 likewise.
    QList<qint64> readOpenCounts(const QStringList& ids) const;
    // What Things 3 holds for the tag with this identifier; nothing when it has no such tag. Throws
    // when the answer cannot be read.
    std::optional<ThingsTagState> readTagState(const QString& id) const;

    // ---- Keyboard shortcuts ----

    // Every tag's keyboard shortcut by identifier, the empty text for none; read in one program
    // after the fetch-all program, which stays as it is. Throws when the answer cannot be read.
    QHash<QString, QString> readShortcuts() const;
    // Gives or takes the shortcuts in this order. A change Things 3 refuses is reported and, with
    // `goOnPastRefusal`, the rest are still tried; without it, the run stops there. By identifier up to
    // maximumGroupSize go in one program, a tag Things 3 no longer has is refused with
    // ThingsError::notInThings, and one whose name another tag has is not written; by name, a program
    // a change.
    ThingsShortcutsOutcome setShortcuts(const QList<ThingsShortcutChange>& changes, bool byId,
                                        bool goOnPastRefusal = false) const;

    // One record per tag: its identifier's code points each followed by a comma, "|||", the shortcut's
    // likewise (nothing for none), "~~~". Only digits and separators, so any key and identifier reads
    // back.
    static QString fetchAllShortcutsScript();
    static std::optional<QHash<QString, QString>> parseShortcuts(QStringView output);
    // A key is set with `set keyboard shortcut of … to`, an empty one taken off with `delete keyboard
    // shortcut of …`, the forms Things 3 accepts. Answers, per change tried, "+" and the code points of
    // the key held before (see pointsLines), or "!NUMBER|||" and the error message's code points, each
    // followed by "~~~".
    static QString shortcutGroupScript(const QList<ThingsShortcutChange>& changes, bool byId,
                                       bool goOnPastRefusal = false);
    static std::optional<QList<ThingsShortcutsOutcome::Tried>> parseShortcutAnswer(QStringView output,
                                                                                   qsizetype size);

    // ---- Merging one tag into another, through the to-dos' tag names text ----

    // Runs the read program of a merge of the tag called `sourceName` into `destinationName`;
    // nothing when its answer cannot be read back exactly (a tag name holding the record separators).
    std::optional<ThingsMergeRead> readMerge(const QString& sourceName, const QString& destinationName) const;
    // Sets the tag names of every to-do listed, a write a to-do, in programs of about a hundred
    // thousand characters; stops at the first failure. Runs nothing for none.
    void setTodoTagNames(const QList<ThingsTodoTagNames>& changes) const;
    // The merge's write, in one job with a last read: runs the read program again and sets the tag
    // names only when Things 3 still answers exactly what the confirmation showed (`confirmed`);
    // otherwise throws ThingsError::todosChanged and writes nothing.
    void setTodoTagNamesIfUnchanged(const QString& sourceName, const QString& destinationName,
                                    const ThingsMergeRead& confirmed,
                                    const QList<ThingsTodoTagNames>& changes) const;

    static QString mergeReadScript(const QString& sourceName, const QString& destinationName);
    static std::optional<ThingsMergeRead> parseMergeRead(QStringView output);
    // The tag names text with `sourceName` replaced by `destinationName`, or kept out when the
    // destination is already there (names compare as Things 3 finds tags: ignoring case). Nothing when
    // the text cannot be split back into the names it was made of, or does not name the source.
    static std::optional<QString> replacedTagNames(QStringView tagNames, const QString& sourceName,
                                                   const QString& destinationName);

    // ---- Whole trees, read before a deletion and made again to undo it ----

    // The trees of these tags (by identifier), a hundred trees to a program; a tree inside another
    // is kept once, and a tag Things 3 no longer has is listed as gone. Nothing when an answer cannot
    // be read.
    // `insideOthers` names the tags believed to lie in another tree asked for: each is read with
    // that tree, and on its own only when Things 3 did not have it there.
    // With `withOpenCounts`, each tag's open to-dos are counted too.
    std::optional<ThingsTreeRead> readTrees(const QStringList& rootIds,
                                            const QSet<QString>& insideOthers = {},
                                            bool withOpenCounts = false) const;
    // Makes the tags, in order, unless Things 3 has one of their names already or lacks one of the
    // parents named by identifier (then nothing is made): in one program, or, past a thousand tags,
    // in several after one that checks them all (a name taken between two of them ends the making
    // there, with what was made reported).
    ThingsMadeTags makeTagsAgain(const QList<ThingsTagToMake>& tags) const;
    // The tag names text of each to-do, and which carry a tag with a comma in its name. The to-dos
    // of the tags named in `viaTags` are read first, two reads a tag; then each to-do not met there,
    // a read each.
    ThingsTodoTexts readTodoTagNames(const QStringList& todoIds, const QStringList& viaTags = {}) const;
    // Sets the tag names of every to-do listed that Things 3 still has, in programs of about a hundred
    // thousand characters; says which it has not. With `asRead` (a text per change), a to-do is written
    // only while it still holds that text, compared in the same program, and those that do not are
    // said too.
    ThingsTodoWriteCount setPresentTodoTagNames(const QList<ThingsTodoTagNames>& changes,
                                                const QStringList& asRead = {}) const;
    // Reads the to-dos' tag names and writes what each is to get back, in one job: two programs.
    ThingsTodoRestoreCount restoreTodoTags(const QList<ThingsTodoRestore>& todos) const;
    // The names of `current` with `restoredNames` added (kept once each, ignoring case): in the order
    // of `before` when the other names are those of `before`, at the end otherwise. Nothing when
    // `current` cannot be split back into names.
    static std::optional<QString> restoredTagNames(QStringView current, QStringView before,
                                                   const QStringList& restoredNames);
    // A tag names text split into its names; nothing when it cannot be split back exactly.
    static std::optional<QStringList> splitTagNames(QStringView tagNames);
    // Whether a tag of this name survives the trip through a tag names text.
    static bool travelsInTagNames(QStringView name);

    static QString treeReadScript(const QStringList& rootIds, bool withOpenCounts = false);
    static std::optional<ThingsTreeRead> parseTreeRead(QStringView output);
    static QString makeTagsAgainScript(const QList<ThingsTagToMake>& tags, bool makes = true);
    static std::optional<ThingsMadeTags> parseMadeTags(QStringView output, qsizetype size);
    static QString todoTagNamesScript(const QStringList& todoIds);
    static QString todoTagNamesViaTagsScript(const QStringList& tagNames);
    static std::optional<ThingsTodoTexts> parseTodoTagNames(QStringView output);
    // Lines that add "TODO," to the list `out` for every to-do carrying a tag with a comma in its name.
    static QString commaCarriersLines();
    // "72,105," into "Hi"; nothing when the text is not of that form.
    static std::optional<QString> textFromCodePoints(QStringView field);

    // An AppleScript expression that evaluates to exactly `text`.
    static QString appleScriptLiteral(QStringView text);

    static QString fetchAllTagsScript();
    static QString fetchTagByIdScript(const QString& id);
    static QString fetchTagByNameScript(const QString& name);
    static QString deleteTagScript(const QString& name);
    static QString deleteTagScript(const ThingsTagRef& tag, bool byId);
    // The change program, or nothing when neither the name nor the parent changes.
    static std::optional<QString> changeTagScript(const ThingsTagChange& change, bool byId);
    static QString createTagScript(const QString& name, const std::optional<ThingsTagRef>& parent, bool byId);
    static QString tagStateScript(const QString& id);
    // Deletes the tags in order; answers how many it deleted, and after a failure "|||", the error's
    // number, "|||" and its message, the message last and whole.
    // With `checks` (one per tag, possibly empty), each tag of the list is checked first to have that
    // many to-dos and child tags.
    struct TreeCheck {
        QStringList ids;
        QList<qsizetype> todos, children;
    };
    static QString deleteTagGroupScript(const QList<ThingsTagRef>& tags, const QList<TreeCheck>& checks = {});
    static std::optional<ThingsGroupOutcome> parseGroupAnswer(QStringView output, qsizetype size);
    // Changes the tags in order, by identifier; answers each changed tag's name in Things 3 as its
    // code points ("72,105,;" for "Hi"), "|||", then what deleteTagGroupScript answers.
    static QString changeTagGroupScript(const QList<ThingsTagChange>& changes);
    // The names, and how far the program got; nothing when the answer is not of that form.
    static std::optional<std::pair<QStringList, ThingsGroupOutcome>>
    parseChangeGroupAnswer(QStringView output, qsizetype size);
    static QString tagUseScript(const QStringList& ids, bool withChildren = true);
    static QString fetchTagsByIdScript(const QStringList& ids);
    static std::optional<QList<std::optional<ThingsTagRecord>>> parseTagsById(QStringView output,
                                                                              const QStringList& ids);
    static std::optional<QList<ThingsTagUse>> parseTagUse(QStringView output, const QStringList& ids);
    static std::optional<ThingsTagState> parseTagState(QStringView output);
    // The update program that finds the tag called `currentName` and its parents by name, or nothing
    // when neither the name nor the parent changes; an absent `newParentName` makes the tag top-level.
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

    // Whether the text can be a Things 3 identifier (ASCII letters and digits): anything else in an
    // identifier's place is a sign that an answer was not split where its program put separators.
    static bool isIdentifier(QStringView text);
    // "ID,ID,ID," (every identifier followed by a comma) into the identifiers; nothing when malformed.
    static std::optional<QStringList> identifierList(QStringView text);
    // Removes leading and trailing Unicode white space and line breaks.
    static QStringView trimmed(QStringView text);

private:
    const ScriptEngine& m_engine;
};

} // namespace orvalet
