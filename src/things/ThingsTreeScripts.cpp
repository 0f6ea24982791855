// The programs that read whole trees of tags before they are deleted, make them again, and give
// to-dos back their tags. Every answer holds identifiers, numbers and marks only: names and tag
// names texts travel as their code points ("72,105," for "Hi"), so no name can be taken for a mark.

#include "ThingsService.h"

#include <QStringBuilder>

namespace orvalet {

namespace {

constexpr QStringView fieldMark = u"|||";
constexpr QStringView recordMark = u"~~~";

ThingsError unreadable() {
    return ThingsError::appleScriptFailed(QStringLiteral("Things 3 answered in a form Orvalet cannot read."));
}

// Appends the code points of the text `expression` to `output`, each followed by a comma.
QString appendPoints(QStringView expression, QStringView indent) {
    return u"\n" % indent % u"set points to {} & (id of (" % expression % u"))\n" % indent %
           u"repeat with j from 1 to count of points\n" % indent %
           u"    set output to output & (item j of points) & \",\"\n" % indent % u"end repeat";
}

// Things 3 reports a missing object with -1728; any other error goes on up.
QString unlessMissing(QStringView indent, const QString& then) {
    return u"\n" % indent % u"on error errorText number errorNumber\n" % indent %
           u"    if errorNumber is not -1728 then error errorText number errorNumber\n" % indent % u"    " %
           then % u"\n" % indent % u"end try";
}

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

std::optional<ThingsTreeRead> ThingsService::readTrees(const QStringList& rootIds) const {
    ThingsTreeRead trees;
    QSet<QString> seenTags;
    QSet<QString> seenTodos;
    for (qsizetype start = 0; start < rootIds.size(); start += maximumGroupSize) {
        const std::optional<ThingsTreeRead> group =
            parseTreeRead(runAppleScript(treeReadScript(rootIds.mid(start, maximumGroupSize))));
        if (!group)
            return std::nullopt;
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

QString ThingsService::treeReadScript(const QStringList& rootIds) {
    // The answer: "GONE,GONE,|||", the to-dos carrying a tag with a comma in its name
    // "TODO,TODO,|||", then per tag, parents first:
    // "ID|||PARENT|||NAME POINTS|||SHORTCUT POINTS|||TODO:TAG NAMES POINTS;TODO:…;~~~".
    QString script = QStringLiteral("tell application \"Things3\"\n"
                                    "    set output to \"\"\n"
                                    "    set pending to {}");
    for (const QString& id : rootIds) {
        script += u"\n    try\n        set rootTag to tag id " % appleScriptLiteral(id) %
                  u"\n        set rootName to name of rootTag\n        set pending to pending & {rootTag}" %
                  unlessMissing(u"    ", u"set output to output & " % appleScriptLiteral(id) % u" & \",\"");
    }
    script += u"\n    set output to output & \"|||\"\n" % commaCarriersLines() %
              u"    set output to output & \"|||\"\n"
              "    set k to 0\n"
              "    repeat while k < (count of pending)\n"
              "        set k to k + 1\n"
              "        set t to item k of pending\n"
              "        set output to output & id of t & \"|||\"\n"
              "        try\n"
              "            set output to output & id of parent tag of t\n"
              "        end try\n"
              "        set output to output & \"|||\"" %
              appendPoints(u"name of t", u"        ") %
              u"\n        set output to output & \"|||\"\n"
              "        set key to keyboard shortcut of t\n"
              "        if key is not missing value then" %
              appendPoints(u"key", u"            ") %
              u"\n        end if\n"
              "        set output to output & \"|||\"\n"
              "        repeat with d in to dos of t\n"
              "            set output to output & id of d & \":\"" %
              appendPoints(u"tag names of d", u"            ") %
              u"\n            set output to output & \";\"\n"
              "        end repeat\n"
              "        set output to output & \"~~~\"\n"
              "        set pending to pending & (tags of t)\n"
              "    end repeat\n"
              "    return output\n"
              "end tell";
    return script;
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
        if (fields.size() != 5 || !isIdentifier(fields[0]) ||
            (!fields[1].isEmpty() && !isIdentifier(fields[1])))
            return std::nullopt;
        // A tree asked for inside another one asked for comes twice, alike: it is kept once.
        if (tagIds.contains(fields[0].toString()))
            continue;
        // Each tag comes after its parent, unless it is the top of a tree read.
        ThingsTreeRead::Tag tag{fields[0].toString(), {}, {}, {}, {}};
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
        QList<QStringView> todos = fields[4].split(u';');
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

ThingsMadeTags ThingsService::makeTagsAgain(const QList<ThingsTagToMake>& tags) const {
    if (tags.isEmpty())
        return {};
    const std::optional<ThingsMadeTags> made =
        parseMadeTags(runAppleScript(makeTagsAgainScript(tags)), tags.size());
    if (!made)
        throw unreadable();
    return *made;
}

QString ThingsService::makeTagsAgainScript(const QList<ThingsTagToMake>& tags) {
    // Nothing is made while Things 3 has one of the names (making a tag of a name it has gives back
    // that tag) or lacks one of the parents: the answer is then "TAKEN|||INDEX,INDEX,". Otherwise
    // "MADE|||ID,ID,|||", then how many were made, and after a failure "|||NUMBER|||MESSAGE".
    QString script = QStringLiteral("tell application \"Things3\"\n    set taken to \"\"");
    for (qsizetype i = 0; i < tags.size(); ++i) {
        script += u"\n    try\n        set found to id of tag " % appleScriptLiteral(tags[i].name) %
                  u"\n        set taken to taken & \"" % QString::number(i) % u",\"" %
                  unlessMissing(u"    ", QStringLiteral("set found to \"\""));
        if (tags[i].parentId)
            script += u"\n    set parentName to name of tag id " % appleScriptLiteral(*tags[i].parentId);
    }
    script += u"\n    if taken is not \"\" then return \"TAKEN|||\" & taken\n"
              "    set made to \"\"\n"
              "    set done to 0\n"
              "    try";
    for (qsizetype i = 0; i < tags.size(); ++i) {
        const QString var = u"made" % QString::number(i);
        script += u"\n        set " % var % u" to make new tag with properties {name: " %
                  appleScriptLiteral(tags[i].name) % u"}";
        if (tags[i].parentIndex >= 0)
            script +=
                u"\n        set parent tag of " % var % u" to made" % QString::number(tags[i].parentIndex);
        else if (tags[i].parentId)
            script += u"\n        set parent tag of " % var % u" to tag id " %
                      appleScriptLiteral(*tags[i].parentId);
        if (!tags[i].shortcut.isEmpty())
            script +=
                u"\n        set keyboard shortcut of " % var % u" to " % appleScriptLiteral(tags[i].shortcut);
        script += u"\n        set made to made & id of " % var % u" & \",\"\n        set done to " %
                  QString::number(i + 1);
    }
    script +=
        u"\n    on error errorText number errorNumber\n"
        "        return \"MADE|||\" & made & \"|||\" & done & \"|||\" & errorNumber & \"|||\" & errorText\n"
        "    end try\n"
        "    return \"MADE|||\" & made & \"|||\" & done\n"
        "end tell";
    return script;
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
    std::optional<QStringList> ids = mark < 0 ? std::nullopt : identifierList(rest.first(mark));
    const std::optional<ThingsGroupOutcome> outcome =
        mark < 0 ? std::nullopt : parseGroupAnswer(rest.sliced(mark + fieldMark.size()), size);
    if (!ids || !outcome || ids->size() != outcome->done)
        return std::nullopt;
    made.madeIds = std::move(*ids);
    made.failure = outcome->failure;
    return made;
}

// ---- To-dos' tag names ----

ThingsTodoTexts ThingsService::readTodoTagNames(const QStringList& todoIds) const {
    const std::optional<ThingsTodoTexts> texts =
        parseTodoTagNames(runAppleScript(todoTagNamesScript(todoIds)), todoIds);
    if (!texts)
        throw unreadable();
    return *texts;
}

QString ThingsService::todoTagNamesScript(const QStringList& todoIds) {
    // Per to-do, in order, "TAG NAMES POINTS;" or "-;" for one Things 3 no longer has; then "|||" and
    // "TODO," for every to-do carrying a tag with a comma in its name.
    QString script = QStringLiteral("tell application \"Things3\"\n    set output to \"\"");
    for (const QString& id : todoIds) {
        script += u"\n    try\n        set tagText to tag names of to do id " % appleScriptLiteral(id) %
                  appendPoints(u"tagText", u"        ") % u"\n        set output to output & \";\"" %
                  unlessMissing(u"    ", QStringLiteral("set output to output & \"-;\""));
    }
    script +=
        u"\n    set output to output & \"|||\"\n" % commaCarriersLines() % u"    return output\nend tell";
    return script;
}

std::optional<ThingsTodoTexts> ThingsService::parseTodoTagNames(QStringView output,
                                                                const QStringList& todoIds) {
    const QStringView answer = trimmed(output);
    const qsizetype mark = answer.indexOf(fieldMark);
    if (mark < 0)
        return std::nullopt;
    QList<QStringView> fields = answer.first(mark).split(u';');
    std::optional<QStringList> carriers = identifierList(answer.sliced(mark + fieldMark.size()));
    if (!carriers || !fields.last().isEmpty() || fields.size() - 1 != todoIds.size())
        return std::nullopt;
    ThingsTodoTexts texts;
    texts.withCommaTags = QSet<QString>(carriers->begin(), carriers->end());
    for (qsizetype i = 0; i < todoIds.size(); ++i) {
        if (fields[i] == u"-") {
            texts.texts.insert(todoIds[i], std::nullopt);
            continue;
        }
        std::optional<QString> text = textFromCodePoints(fields[i]);
        if (!text)
            return std::nullopt;
        texts.texts.insert(todoIds[i], std::move(text));
    }
    return texts;
}

QStringList ThingsService::setPresentTodoTagNames(const QList<ThingsTodoTagNames>& changes) const {
    if (changes.isEmpty())
        return {};
    const QString answer = runAppleScript(setPresentTodoTagNamesScript(changes));
    const std::optional<QStringList> gone = identifierList(trimmed(answer));
    if (!gone)
        throw unreadable();
    return *gone;
}

QString ThingsService::setPresentTodoTagNamesScript(const QList<ThingsTodoTagNames>& changes) {
    // Answers "TODO," for every to-do Things 3 no longer has; any other failure stops the program.
    QString script = QStringLiteral("tell application \"Things3\"\n    set gone to \"\"");
    for (const ThingsTodoTagNames& change : changes) {
        script +=
            u"\n    try\n        set tag names of to do id " % appleScriptLiteral(change.todoId) % u" to " %
            appleScriptLiteral(change.tagNames) %
            unlessMissing(u"    ", u"set gone to gone & " % appleScriptLiteral(change.todoId) % u" & \",\"");
    }
    script += u"\n    return gone\nend tell";
    return script;
}

} // namespace orvalet
