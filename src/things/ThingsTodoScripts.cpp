// The programs that read to-dos' tag names and give them back, for undo of a deletion or a merge.
// Reads take whole collections where they can (every to-do of a tag, two reads however many); a
// write is one to-do at a time, as Things 3 takes a to-do's tag names only one to-do at a time.
// Names and tag names texts travel as their code points, so no name can be taken for a mark.

#include "ScriptText.h"
#include "ThingsService.h"

#include <QStringBuilder>

namespace orvalet {

namespace {

constexpr QStringView fieldMark = u"|||";

} // namespace

// ---- To-dos' tag names ----

namespace {

// Identifiers and a code point or so: this many to-dos keep a program of the individual reads small,
// and tags read for their to-dos stay few enough that their answer stays within reach.
constexpr qsizetype todosPerReadProgram = 2000;
constexpr qsizetype tagsPerReadProgram = 100;

// The pairs "TODO:POINTS;" of an answer into `texts`, "TODO:-;" as gone; false when unreadable.
bool readPairs(QStringView pairs, ThingsTodoTexts& texts) {
    if (pairs.isEmpty())
        return true;
    QList<QStringView> fields = pairs.split(u';');
    if (!fields.last().isEmpty())
        return false;
    fields.removeLast();
    for (const QStringView field : std::as_const(fields)) {
        const qsizetype colon = field.indexOf(u':');
        if (colon < 0 || !ThingsService::isIdentifier(field.first(colon)))
            return false;
        const QStringView value = field.sliced(colon + 1);
        if (value == u"-") {
            texts.texts.insert(field.first(colon).toString(), std::nullopt);
            continue;
        }
        std::optional<QString> text = ThingsService::textFromCodePoints(value);
        if (!text)
            return false;
        texts.texts.insert(field.first(colon).toString(), std::move(text));
    }
    return true;
}

} // namespace

ThingsTodoTexts ThingsService::readTodoTagNames(const QStringList& todoIds,
                                                const QStringList& viaTags) const {
    ThingsTodoTexts texts;
    const QSet<QString> wanted(todoIds.cbegin(), todoIds.cend());
    // Of each answer, the to-dos asked for: the tags read may carry many more.
    const auto read = [&](const QString& script) {
        const std::optional<ThingsTodoTexts> part = parseTodoTagNames(runAppleScript(script));
        if (!part)
            throw ThingsError::unreadable();
        for (auto it = part->texts.cbegin(); it != part->texts.cend(); ++it)
            if (wanted.contains(it.key()))
                texts.texts.insert(it.key(), it.value());
        texts.withCommaTags.unite(part->withCommaTags);
    };
    for (qsizetype start = 0; start < viaTags.size(); start += tagsPerReadProgram)
        read(todoTagNamesViaTagsScript(viaTags.mid(start, tagsPerReadProgram)));
    QStringList rest;
    for (const QString& id : todoIds)
        if (!texts.texts.contains(id))
            rest.append(id);
    for (qsizetype start = 0; start < rest.size(); start += todosPerReadProgram)
        read(todoTagNamesScript(rest.mid(start, todosPerReadProgram)));
    return texts;
}

QString ThingsService::todoTagNamesScript(const QStringList& todoIds) {
    // Per to-do asked, "TODO:TAG NAMES POINTS;" or "TODO:-;" for one Things 3 no longer has; then
    // "|||" and "TODO," for every to-do carrying a tag with a comma in its name.
    return ScriptText::collectingOpening() % ScriptText::loopOver(u"todoIds", u"todoId", todoIds) %
           u"\n"
           "        try\n"
           "            set todoText to tag names of to do id todoId" %
           ScriptText::pointsLines(u"points", u"todoText", u"            ") %
           u"\n            set end of out to todoId & \":\" & points & \";\"" %
           ScriptText::unlessMissing(u"        ", u"set end of out to todoId & \":-;\"") %
           u"\n    end repeat\n"
           "    set end of out to \"|||\"\n" %
           commaCarriersLines() % ScriptText::collectingClosing();
}

QString ThingsService::todoTagNamesViaTagsScript(const QStringList& tagNames) {
    // Every to-do of each tag named, "TODO:TAG NAMES POINTS;", two reads a tag however many to-dos it
    // has; a name Things 3 no longer has is passed over. Then "|||" and the comma carriers. Which tag
    // a name finds does not matter: every pair read is a to-do's own tag names as they are now.
    return ScriptText::collectingOpening() % u"\n    set tagNames to " % ScriptText::listOf(tagNames) %
           u"\n"
           "    repeat with i from 1 to count of tagNames\n"
           "        try\n"
           "            set todoIds to id of every to do of tag (item i of tagNames)\n"
           "            if todoIds is not {} then\n"
           "                set todoNames to tag names of every to do of tag (item i of tagNames)" %
           ScriptText::sameLengthLine(u"                ", u"todoNames", u"todoIds") %
           u"\n                repeat with j from 1 to count of todoIds\n"
           "                    set todoText to item j of todoNames" %
           ScriptText::pointsLines(u"points", u"todoText", u"                    ") %
           u"\n                    set end of out to (item j of todoIds) & \":\" & points & \";\"\n"
           "                end repeat\n"
           "            end if" %
           ScriptText::unlessMissing(u"        ", u"set todoIds to {}") %
           u"\n    end repeat\n"
           "    set end of out to \"|||\"\n" %
           commaCarriersLines() % ScriptText::collectingClosing();
}

std::optional<ThingsTodoTexts> ThingsService::parseTodoTagNames(QStringView output) {
    const QStringView answer = trimmed(output);
    const qsizetype mark = answer.indexOf(fieldMark);
    if (mark < 0)
        return std::nullopt;
    const std::optional<QStringList> carriers = identifierList(answer.sliced(mark + fieldMark.size()));
    ThingsTodoTexts texts;
    if (!carriers || !readPairs(answer.first(mark), texts))
        return std::nullopt;
    texts.withCommaTags = QSet<QString>(carriers->begin(), carriers->end());
    return texts;
}

// ---- Writing to-dos' tag names ----

namespace {

// A program's worth of writes: the to-dos in order, each text once (many to-dos get the same one)
// and for each to-do the place of its text.
struct TodoWrites {
    QStringList todoIds;
    QStringList texts;
    QList<qsizetype> textIndexes;     // from 1
    QList<qsizetype> expectedIndexes; // from 1: the text each must still hold, when one is asked for
};

// About a hundred thousand characters a program: ten thousand to-dos take a few programs.
constexpr qsizetype charactersPerWriteProgram = 100'000;

QList<TodoWrites> inPrograms(const QList<ThingsTodoTagNames>& changes, const QStringList& expected = {}) {
    QList<TodoWrites> programs;
    QHash<QString, qsizetype> placeOf;
    qsizetype characters = 0;
    for (qsizetype i = 0; i < changes.size(); ++i) {
        const ThingsTodoTagNames& change = changes[i];
        if (programs.isEmpty() || characters > charactersPerWriteProgram) {
            programs.append(TodoWrites{});
            placeOf.clear();
            characters = 0;
        }
        TodoWrites& program = programs.last();
        const auto placeText = [&](const QString& text) {
            qsizetype& place = placeOf[text];
            if (place == 0) {
                program.texts.append(text);
                place = program.texts.size();
                characters += ThingsService::appleScriptLiteral(text).size() + 2;
            }
            return place;
        };
        program.todoIds.append(change.todoId);
        program.textIndexes.append(placeText(change.tagNames));
        if (i < expected.size())
            program.expectedIndexes.append(placeText(expected[i]));
        characters += change.todoId.size() + 14;
    }
    return programs;
}

// Sets the tag names of the to-dos one event each, in order. With `skipGone`, a to-do Things 3 no
// longer has is passed over and answered ("TODO,"); otherwise, as any other failure, it stops the
// program.
QString todoWritesScript(const TodoWrites& writes, bool skipGone) {
    const QString write =
        u"set tag names of to do id (item i of todoIds) to item (item i of textIndexes) of tagNamesTexts"_qs;
    if (!writes.expectedIndexes.isEmpty()) {
        // Each to-do is written only while it holds the text it was read with, compared and written in
        // one program: one changed since is answered after "|||", for the caller to read again.
        return ScriptText::collectingOpening() % u"\n    set todoIds to " %
               ScriptText::listOf(writes.todoIds) % u"\n    set tagNamesTexts to " %
               ScriptText::listOf(writes.texts) % u"\n    set textIndexes to " %
               ScriptText::listOfNumbers(writes.textIndexes) % u"\n    set expectedIndexes to " %
               ScriptText::listOfNumbers(writes.expectedIndexes) %
               u"\n"
               "    set changed to {}\n"
               "    repeat with i from 1 to count of todoIds\n"
               "        try\n"
               "            set current to tag names of to do id (item i of todoIds)\n"
               "            if current is item (item i of expectedIndexes) of tagNamesTexts then\n"
               "                " %
               write %
               u"\n"
               "            else\n"
               "                set end of changed to item i of todoIds\n"
               "            end if" %
               ScriptText::unlessMissing(u"        ", u"set end of out to (item i of todoIds) & \",\"") %
               u"\n    end repeat\n"
               "    set end of out to \"|||\"\n"
               "    if changed is not {} then set end of out to (changed as text) & \",\"" %
               ScriptText::collectingClosing();
    }
    return ScriptText::collectingOpening() % u"\n    set todoIds to " % ScriptText::listOf(writes.todoIds) %
           u"\n    set tagNamesTexts to " % ScriptText::listOf(writes.texts) % u"\n    set textIndexes to " %
           ScriptText::listOfNumbers(writes.textIndexes) %
           u"\n"
           "    repeat with i from 1 to count of todoIds\n" %
           (skipGone ? QString(u"        try\n            " % write %
                               ScriptText::unlessMissing(u"        ",
                                                         u"set end of out to (item i of todoIds) & \",\""))
                     : QString(u"        " % write)) %
           u"\n    end repeat" % ScriptText::collectingClosing();
}

} // namespace

ThingsTodoWriteCount ThingsService::setPresentTodoTagNames(const QList<ThingsTodoTagNames>& changes,
                                                           const QStringList& asRead) const {
    ThingsTodoWriteCount count;
    for (const TodoWrites& writes : inPrograms(changes, asRead)) {
        const QString answer = trimmed(runAppleScript(todoWritesScript(writes, true))).toString();
        const qsizetype mark = answer.indexOf(u"|||");
        const std::optional<QStringList> missing = identifierList(mark < 0 ? answer : answer.first(mark));
        const std::optional<QStringList> changed =
            mark < 0 ? std::optional(QStringList()) : identifierList(QStringView(answer).sliced(mark + 3));
        if (!missing || !changed || (mark < 0) != asRead.isEmpty())
            throw ThingsError::unreadable();
        count.gone += *missing;
        count.changed += *changed;
    }
    return count;
}

void ThingsService::setTodoTagNames(const QList<ThingsTodoTagNames>& changes) const {
    for (const TodoWrites& writes : inPrograms(changes))
        runAppleScript(todoWritesScript(writes, false));
}

} // namespace orvalet
