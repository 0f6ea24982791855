// The programs that read whole trees of tags before they are deleted and make them again. Every
// answer holds identifiers, numbers and marks only: names travel as their code points ("72,105," for
// "Hi"), so no name can be taken for a mark.

#include "ScriptText.h"
#include "ThingsService.h"

#include <QStringBuilder>

namespace orvalet {

namespace {

constexpr QStringView fieldMark = u"|||";
constexpr QStringView recordMark = u"~~~";

} // namespace

std::optional<QString> ThingsService::textFromCodePoints(QStringView field) {
    // "CP,CP," (each point followed by a comma), or nothing for the empty text.
    if (field.isEmpty())
        return QString();
    if (!field.endsWith(u','))
        return std::nullopt;
    QString text;
    for (const QStringView point : field.chopped(1).split(u',')) {
        bool ok = false;
        const uint code = point.toUInt(&ok);
        if (!ok || point.isEmpty() || !point.front().isDigit() || code > 0x10FFFF)
            return std::nullopt;
        if (QChar::requiresSurrogates(code)) {
            text += QChar(QChar::highSurrogate(code));
            text += QChar(QChar::lowSurrogate(code));
        } else {
            text += QChar(char16_t(code)); // a lone surrogate stays one, as Things 3 holds it
        }
    }
    return text;
}

// ---- Reading trees ----

std::optional<ThingsTreeRead> ThingsService::readTrees(const QStringList& rootIds,
                                                       const QSet<QString>& insideOthers,
                                                       bool withOpenCounts) const {
    ThingsTreeRead trees;
    QSet<QString> seenTags;
    QSet<QString> seenTodos;
    const auto readGroups = [&](const QStringList& ids) {
        for (qsizetype start = 0; start < ids.size(); start += maximumGroupSize) {
            const std::optional<ThingsTreeRead> group = parseTreeRead(
                runAppleScript(treeReadScript(ids.mid(start, maximumGroupSize), withOpenCounts)));
            if (!group)
                return false;
            // A tree inside another one asked for is read twice; each tag and to-do is kept once.
            for (const ThingsTreeRead::Tag& tag : group->tags) {
                if (!seenTags.contains(tag.id)) {
                    seenTags.insert(tag.id);
                    trees.tags.append(tag);
                }
            }
            for (const ThingsTreeRead::Todo& todo : group->todos) {
                if (!seenTodos.contains(todo.id)) {
                    seenTodos.insert(todo.id);
                    trees.todos.append(todo);
                }
            }
            trees.goneIds += group->goneIds;
            trees.todosWithCommaTags.unite(group->todosWithCommaTags);
        }
        return true;
    };
    // The trees believed to lie inside others asked for are read with them; only one that was not met
    // there (it moved in Things 3 meanwhile, or is gone) is read on its own, after the rest.
    QStringList outside;
    for (const QString& id : rootIds)
        if (!insideOthers.contains(id))
            outside.append(id);
    if (!readGroups(outside))
        return std::nullopt;
    QStringList unmet;
    for (const QString& id : rootIds)
        if (insideOthers.contains(id) && !seenTags.contains(id))
            unmet.append(id);
    if (!readGroups(unmet))
        return std::nullopt;
    // A tree asked for inside another one is met before its parent there: each tag goes after its
    // parent, the tops first, each tree in the order it was read.
    QHash<QString, QList<qsizetype>> children;
    QList<qsizetype> order;
    for (qsizetype i = 0; i < trees.tags.size(); ++i) {
        const std::optional<QString>& parent = trees.tags[i].parentId;
        if (parent && seenTags.contains(*parent))
            children[*parent].append(i);
        else
            order.append(i);
    }
    for (qsizetype next = 0; next < order.size(); ++next)
        order += children.value(trees.tags[order[next]].id);
    QList<ThingsTreeRead::Tag> sorted;
    for (const qsizetype i : std::as_const(order))
        sorted.append(std::move(trees.tags[i]));
    trees.tags = std::move(sorted);
    return trees;
}

QString ThingsService::treeReadScript(const QStringList& rootIds, bool withOpenCounts) {
    // The answer: "GONE,GONE,|||", the to-dos carrying a tag with a comma in its name
    // "TODO,TODO,|||", then per tag, parents first:
    // "ID|||PARENT|||NAME POINTS|||SHORTCUT POINTS|||OPEN TO-DOS|||TODO:TAG NAMES POINTS;TODO:…;~~~"
    // (the open to-dos empty unless `withOpenCounts`). A tag is read with reads of whole collections:
    // its to-dos' identifiers and tag names (and the open ones counted), its children's identifiers,
    // names and shortcuts. Only the top of a tree is read
    // alone (name, parent, shortcut): every other tag's were read with its parent's children.
    return ScriptText::collectingOpening() %
           u"\n"
           "    set pendingIds to {}\n"
           "    set pendingParents to {}\n"
           "    set pendingNames to {}\n"
           "    set pendingKeys to {}" %
           ScriptText::loopOver(u"rootIds", u"rootId", rootIds) %
           u"\n"
           "        try\n"
           "            set rootName to name of tag id rootId" %
           ScriptText::unlessMissing(u"        ", u"set rootName to missing value") %
           u"\n"
           "        if rootName is missing value then\n"
           "            set end of out to rootId & \",\"\n"
           "        else\n"
           "            set rootParent to missing value\n"
           "            try\n"
           "                set rootParent to id of parent tag of tag id rootId\n"
           "            end try\n"
           "            if rootParent is missing value then set rootParent to \"\"\n"
           "            set end of pendingIds to rootId\n"
           "            set end of pendingParents to rootParent\n"
           "            set end of pendingNames to rootName\n"
           "            set end of pendingKeys to keyboard shortcut of tag id rootId\n"
           "        end if\n"
           "    end repeat\n"
           "    set end of out to \"|||\"\n" %
           commaCarriersLines() %
           u"    set end of out to \"|||\"\n"
           "    set k to 0\n"
           "    repeat while k < (count of pendingIds)\n"
           "        set k to k + 1\n"
           "        set tagId to item k of pendingIds\n"
           "        set todoIds to id of every to do of tag id tagId\n"
           "        set todoNames to {}\n"
           "        set openCount to " %
           (withOpenCounts ? u"0"_qs : u"\"\""_qs) %
           u"\n"
           "        if todoIds is not {} then\n"
           "            set todoNames to tag names of every to do of tag id tagId" %
           ScriptText::sameLengthLine(u"            ", u"todoNames", u"todoIds") %
           (withOpenCounts
                ? u"\n            set openCount to count of (to dos of tag id tagId whose status is open)"_qs
                : QString()) %
           u"\n        end if\n"
           "        set tagName to item k of pendingNames\n"
           "        set tagKey to item k of pendingKeys\n"
           "        if tagKey is missing value then set tagKey to \"\"" %
           ScriptText::pointsLines(u"namePoints", u"tagName", u"        ") %
           ScriptText::pointsLines(u"keyPoints", u"tagKey", u"        ") %
           u"\n        set end of out to tagId & \"|||\" & (item k of pendingParents) & \"|||\" & namePoints "
           u"& "
           "\"|||\" & keyPoints & \"|||\" & openCount & \"|||\"\n"
           "        repeat with j from 1 to count of todoIds\n"
           "            set todoText to item j of todoNames" %
           ScriptText::pointsLines(u"points", u"todoText", u"            ") %
           u"\n            set end of out to (item j of todoIds) & \":\" & points & \";\"\n"
           "        end repeat\n"
           "        set end of out to \"~~~\"\n"
           "        set childIds to id of every tag of tag id tagId\n"
           "        if childIds is not {} then\n"
           "            set childNames to name of every tag of tag id tagId\n"
           "            set childKeys to keyboard shortcut of every tag of tag id tagId" %
           ScriptText::sameLengthLine(u"            ", u"childNames", u"childIds") %
           ScriptText::sameLengthLine(u"            ", u"childKeys", u"childIds") %
           u"\n            repeat with j from 1 to count of childIds\n"
           "                set end of pendingIds to item j of childIds\n"
           "                set end of pendingParents to tagId\n"
           "                set end of pendingNames to item j of childNames\n"
           "                set end of pendingKeys to item j of childKeys\n"
           "            end repeat\n"
           "        end if\n"
           "    end repeat" %
           ScriptText::collectingClosing();
}

std::optional<ThingsTreeRead> ThingsService::parseTreeRead(QStringView output) {
    const QStringView answer = trimmed(output);
    const qsizetype headerEnd = answer.indexOf(fieldMark);
    if (headerEnd < 0)
        return std::nullopt;
    std::optional<QStringList> gone = identifierList(answer.first(headerEnd));
    if (!gone)
        return std::nullopt;
    ThingsTreeRead read;
    read.goneIds = std::move(*gone);
    QStringView rest = answer.sliced(headerEnd + fieldMark.size());
    const qsizetype carriersEnd = rest.indexOf(fieldMark);
    const std::optional<QStringList> carriers =
        carriersEnd < 0 ? std::nullopt : identifierList(rest.first(carriersEnd));
    if (!carriers)
        return std::nullopt;
    read.todosWithCommaTags = QSet<QString>(carriers->begin(), carriers->end());
    rest = rest.sliced(carriersEnd + fieldMark.size());
    QSet<QString> tagIds;
    QSet<QString> todoIds;
    while (!rest.isEmpty()) {
        const qsizetype end = rest.indexOf(recordMark);
        if (end < 0)
            return std::nullopt;
        const QList<QStringView> fields = rest.first(end).split(fieldMark);
        rest = rest.sliced(end + recordMark.size());
        // The open to-dos, or nothing when they were not counted.
        bool counted = fields.size() == 6 && fields[4].isEmpty();
        const std::optional<qint64> openTodos =
            fields.size() == 6 && !counted ? std::optional(fields[4].toLongLong(&counted)) : std::nullopt;
        if (!counted || !isIdentifier(fields[0]) || (!fields[1].isEmpty() && !isIdentifier(fields[1])))
            return std::nullopt;
        // A tree asked for inside another one asked for comes twice, alike: it is kept once.
        if (tagIds.contains(fields[0].toString()))
            continue;
        // Each tag comes after its parent, unless it is the top of a tree read.
        ThingsTreeRead::Tag tag{fields[0].toString(), {}, {}, {}, {}, openTodos};
        if (!fields[1].isEmpty())
            tag.parentId = fields[1].toString();
        std::optional<QString> name = textFromCodePoints(fields[2]);
        if (!name)
            return std::nullopt;
        tag.name = std::move(*name);
        std::optional<QString> shortcut = textFromCodePoints(fields[3]);
        if (!shortcut)
            return std::nullopt;
        tag.shortcut = std::move(*shortcut);
        QList<QStringView> todos = fields[5].split(u';');
        if (!todos.last().isEmpty())
            return std::nullopt;
        todos.removeLast();
        for (const QStringView todo : std::as_const(todos)) {
            const qsizetype colon = todo.indexOf(u':');
            std::optional<QString> tagNames =
                colon < 0 ? std::nullopt : textFromCodePoints(todo.sliced(colon + 1));
            if (!tagNames || !isIdentifier(todo.first(colon)))
                return std::nullopt;
            const QString todoId = todo.first(colon).toString();
            tag.todoIds.append(todoId);
            if (!todoIds.contains(todoId)) {
                todoIds.insert(todoId);
                read.todos.append({todoId, std::move(*tagNames)});
            }
        }
        tagIds.insert(tag.id);
        read.tags.append(std::move(tag));
    }
    return read;
}

// ---- Making tags again ----

namespace {

// About sixty characters a tag: a thousand keep a program far below what a Mac compiles quickly.
constexpr qsizetype tagsPerMakeProgram = 1000;

} // namespace

ThingsMadeTags ThingsService::makeTagsAgain(const QList<ThingsTagToMake>& tags) const {
    ThingsMadeTags made;
    if (tags.size() > tagsPerMakeProgram) {
        // Every name is checked before the first tag is made: nothing is made while one is taken.
        const std::optional<ThingsMadeTags> checked =
            parseMadeTags(runAppleScript(makeTagsAgainScript(tags, false)), tags.size());
        if (!checked)
            throw ThingsError::unreadable();
        if (!checked->takenIndexes.isEmpty() || checked->failure)
            return *checked;
    }
    for (qsizetype start = 0; start < tags.size(); start += tagsPerMakeProgram) {
        // A parent made by an earlier program is one Things 3 has now.
        QList<ThingsTagToMake> part = tags.mid(start, tagsPerMakeProgram);
        for (ThingsTagToMake& tag : part) {
            if (tag.parentIndex >= 0 && tag.parentIndex < start)
                tag.parentId = made.madeIds[tag.parentIndex];
            tag.parentIndex = tag.parentIndex >= start ? tag.parentIndex - start : -1;
        }
        std::optional<ThingsMadeTags> read =
            parseMadeTags(runAppleScript(makeTagsAgainScript(part)), part.size());
        if (!read)
            throw ThingsError::unreadable();
        if (!read->takenIndexes.isEmpty()) {
            if (start == 0)
                return *read;
            // Taken since the check: what was made stays made, and the rest waits for the next undo.
            made.failure = ThingsError::nameTaken(part[read->takenIndexes.first()].name);
            return made;
        }
        for (const qsizetype index : std::as_const(read->keylessIndexes))
            made.keylessIndexes.append(start + index);
        made.madeIds += read->madeIds;
        if (read->failure) {
            made.failure = read->failure;
            return made;
        }
    }
    return made;
}

QString ThingsService::makeTagsAgainScript(const QList<ThingsTagToMake>& tags, bool makes) {
    // Nothing is made while Things 3 has one of the names (making a tag of a name it has gives back
    // that tag) or lacks one of the parents: the answer is then "TAKEN|||INDEX,INDEX,". Otherwise
    // "MADE|||ID,ID,|||INDEX,INDEX,|||", the positions of the tags whose keyboard shortcut Things 3
    // would not set, then how many were made, and after a failure "|||NUMBER|||MESSAGE". A key is set
    // in a `try` of its own once the tag's identifier is in the answer: a tag is never made unrecorded.
    // Without `makes`, only the check: "MADE|||||||||0" when nothing stands in the way.
    QStringList names, parentIds;
    QList<qsizetype> parentIndexes;
    QList<std::optional<QString>> keys;
    for (const ThingsTagToMake& tag : tags) {
        names.append(tag.name);
        parentIndexes.append(tag.parentIndex + 1); // 0: none made here
        parentIds.append(tag.parentIndex < 0 ? tag.parentId.value_or(QString()) : QString());
        keys.append(tag.shortcut.isEmpty() ? std::nullopt : std::optional(tag.shortcut));
    }
    QString script = ScriptText::collectingOpening() % u"\n    set tagNames to " % ScriptText::listOf(names) %
                     u"\n    set parentIndexes to " % ScriptText::listOfNumbers(parentIndexes) %
                     u"\n    set parentIds to " % ScriptText::listOf(parentIds) % u"\n    set tagKeys to " %
                     ScriptText::listOf(keys) %
                     u"\n"
                     "    repeat with i from 1 to count of tagNames\n"
                     "        try\n"
                     "            set found to id of tag (item i of tagNames)\n"
                     "            set end of out to (i - 1) as text" %
                     ScriptText::unlessMissing(u"        ", u"set found to missing value") %
                     u"\n"
                     "        if item i of parentIds is not \"\" then set parentName to name of tag id (item "
                     "i of parentIds)\n"
                     "    end repeat\n"
                     "    if out is not {} then\n"
                     "        set answer to \"TAKEN|||\" & (out as text) & \",\"\n"
                     "        set AppleScript's text item delimiters to savedDelimiters\n"
                     "        return answer\n"
                     "    end if\n"
                     "    set made to {}\n"
                     "    set keyless to {}\n"
                     "    set done to 0\n";
    if (!makes)
        return script % u"    set AppleScript's text item delimiters to savedDelimiters\n"
                        "    return \"MADE|||||||||0\"\n"
                        "end tell";
    // The identifiers, "|||" and the keyless positions, joined into `answer` at `indent`: the
    // identifiers' text, the long one, is copied once.
    const auto joined = [](QStringView indent) -> QString {
        return u"set idsText to \"\"\n" % indent %
               u"if out is not {} then set idsText to (out as text) & \",\"\n" % indent %
               u"set keylessText to \"\"\n" % indent %
               u"if keyless is not {} then set keylessText to (keyless as text) & \",\"\n" % indent %
               u"set answer to idsText & (\"|||\" & keylessText)";
    };
    return script %
           u"    try\n"
           "        repeat with i from 1 to count of tagNames\n"
           "            set newTag to make new tag with properties {name: item i of tagNames}\n"
           "            if item i of parentIndexes > 0 then\n"
           "                set parent tag of newTag to item (item i of parentIndexes) of made\n"
           "            else if item i of parentIds is not \"\" then\n"
           "                set parent tag of newTag to tag id (item i of parentIds)\n"
           "            end if\n"
           "            set end of made to newTag\n"
           "            set end of out to id of newTag\n"
           "            set done to i\n"
           "            if item i of tagKeys is not missing value then\n"
           "                try\n"
           "                    set keyboard shortcut of newTag to item i of tagKeys\n"
           "                on error\n"
           "                    set end of keyless to (i - 1) as text\n"
           "                end try\n"
           "            end if\n"
           "        end repeat\n"
           "    on error errorText number errorNumber\n"
           "        " %
           joined(u"        ") %
           u"\n        set AppleScript's text item delimiters to savedDelimiters\n"
           "        return \"MADE|||\" & answer & \"|||\" & done & \"|||\" & errorNumber & \"|||\" & "
           "errorText\n"
           "    end try\n"
           "    " %
           joined(u"    ") %
           u"\n    set AppleScript's text item delimiters to savedDelimiters\n"
           "    return \"MADE|||\" & answer & \"|||\" & done\n"
           "end tell";
}

std::optional<ThingsMadeTags> ThingsService::parseMadeTags(QStringView output, qsizetype size) {
    ThingsMadeTags made;
    if (output.startsWith(u"TAKEN|||")) {
        const std::optional<QStringList> indexes = identifierList(output.sliced(8));
        if (!indexes || indexes->isEmpty())
            return std::nullopt;
        for (const QString& index : *indexes) {
            bool ok = false;
            const qsizetype at = index.toLongLong(&ok);
            if (!ok || at < 0 || at >= size)
                return std::nullopt;
            made.takenIndexes.append(at);
        }
        return made;
    }
    if (!output.startsWith(u"MADE|||"))
        return std::nullopt;
    const QStringView rest = output.sliced(7);
    const qsizetype mark = rest.indexOf(fieldMark);
    const qsizetype second = mark < 0 ? -1 : rest.indexOf(fieldMark, mark + fieldMark.size());
    if (second < 0)
        return std::nullopt;
    std::optional<QStringList> ids = identifierList(rest.first(mark));
    const std::optional<QStringList> keyless =
        identifierList(rest.sliced(mark + fieldMark.size(), second - mark - fieldMark.size()));
    const QStringView counted = rest.sliced(second + fieldMark.size());
    if (!ids || !keyless)
        return std::nullopt;
    // The check alone answers that nothing was made, and nothing stands in the way.
    if (ids->isEmpty() && keyless->isEmpty() && counted == u"0")
        return made;
    const std::optional<ThingsGroupOutcome> outcome = parseGroupAnswer(counted, size);
    if (!outcome || ids->size() != outcome->done)
        return std::nullopt;
    for (const QString& index : *keyless) {
        bool ok = false;
        const qsizetype at = index.toLongLong(&ok);
        if (!ok || at < 0 || at >= ids->size())
            return std::nullopt;
        made.keylessIndexes.append(at);
    }
    made.madeIds = std::move(*ids);
    made.failure = outcome->failure;
    return made;
}

} // namespace orvalet
