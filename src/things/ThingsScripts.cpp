// The text of every program Orvalet sends to Things 3, and the quoting of the values in them.
// Lines are indented by four spaces per level and joined by single line feeds, without a line
// feed after the last line.

#include "ScriptText.h"
#include "ThingsService.h"

#include <QStringBuilder>

namespace orvalet {

namespace {

constexpr char16_t quoteChar = u'"';
constexpr char16_t backslash = u'\\';
constexpr QStringView quoteSeparator = u" & quote & ";

// Text equality under which canonically equivalent Unicode forms are equal, so that a name
// typed with a composed "é" matches the same name stored decomposed.
bool sameText(const QString& a, const QString& b) {
    if (a == b)
        return true;
    return a.normalized(QString::NormalizationForm_D) == b.normalized(QString::NormalizationForm_D);
}

bool sameOptionalText(const std::optional<QString>& a, const std::optional<QString>& b) {
    if (a.has_value() != b.has_value())
        return false;
    return !a || sameText(*a, *b);
}

} // namespace

QString ThingsService::appleScriptLiteral(QStringView text) {
    // Inside an AppleScript string literal a backslash starts an escape and a double quote ends
    // the literal. Backslashes are doubled; double quotes become the constant `quote` joined to
    // the pieces around them, so the expression evaluates to exactly `text` whatever it holds.
    // Such a join is put in parentheses: an element's key takes one primary, so `tag "a" & quote`
    // would address the tag "a" and join the quote to that reference.
    qsizetype quotes = 0;
    qsizetype backslashes = 0;
    for (const QChar c : text) {
        quotes += c == quoteChar;
        backslashes += c == backslash;
    }

    // Each double quote becomes a closing quote, the separator and an opening quote.
    const bool joined = quotes > 0;
    QString result;
    result.resize(2 + text.size() + backslashes + quotes * (quoteSeparator.size() + 1) + (joined ? 2 : 0));
    QChar* out = result.data();
    if (joined)
        *out++ = u'(';
    *out++ = quoteChar;
    for (const QChar c : text) {
        if (c == quoteChar) {
            *out++ = quoteChar;
            out = std::copy(quoteSeparator.begin(), quoteSeparator.end(), out);
            *out++ = quoteChar;
        } else {
            if (c == backslash)
                *out++ = backslash;
            *out++ = c;
        }
    }
    *out++ = quoteChar;
    if (joined)
        *out++ = u')';
    Q_ASSERT(out == result.data() + result.size());
    return result;
}

QString ThingsService::fetchAllTagsScript() {
    return QStringLiteral(
        "tell application \"Things3\"\n"
        "    set tagList to tags\n"
        "    set output to \"\"\n"
        "    repeat with t in tagList\n"
        "        set tid to id of t\n"
        "        set tname to name of t\n"
        "        set tparent to \"\"\n"
        "        try\n"
        "            set tparent to id of parent tag of t\n"
        "        end try\n"
        "        set tcount to count of (to dos of t whose status is open)\n"
        "        set output to output & tid & \"|||\" & tname & \"|||\" & tparent & \"|||\" & "
        "tcount & \"~~~\"\n"
        "    end repeat\n"
        "    return output\n"
        "end tell");
}

QString ThingsService::fetchTagByIdScript(const QString& id) {
    // The identifier asked for is echoed as the first field rather than read back from Things 3.
    const QString literal = appleScriptLiteral(id);
    return u"tell application \"Things3\"\n"
           "    set output to \"\"\n"
           "    repeat with t in tags\n"
           "        if id of t is " %
           literal %
           u" then\n"
           "            set tname to name of t\n"
           "            set tparent to \"\"\n"
           "            try\n"
           "                set tparent to id of parent tag of t\n"
           "            end try\n"
           "            set tcount to count of (to dos of t whose status is open)\n"
           "            set output to " %
           literal %
           u" & \"|||\" & tname & \"|||\" & tparent & \"|||\" & tcount\n"
           "            exit repeat\n"
           "        end if\n"
           "    end repeat\n"
           "    return output\n"
           "end tell";
}

QString ThingsService::fetchTagByNameScript(const QString& name) {
    // A name Things 3 does not hold fails inside the outer try, so the answer is the empty text.
    return u"tell application \"Things3\"\n"
           "    set output to \"\"\n"
           "    try\n"
           "        set t to tag " %
           appleScriptLiteral(name) %
           u"\n"
           "        set tid to id of t\n"
           "        set tname to name of t\n"
           "        set tparent to \"\"\n"
           "        try\n"
           "            set tparent to id of parent tag of t\n"
           "        end try\n"
           "        set tcount to count of (to dos of t whose status is open)\n"
           "        set output to tid & \"|||\" & tname & \"|||\" & tparent & \"|||\" & tcount\n"
           "    end try\n"
           "    return output\n"
           "end tell";
}

QString ThingsService::deleteTagScript(const QString& name) {
    return u"tell application \"Things3\"\n"
           "    delete tag " %
           appleScriptLiteral(name) % u"\nend tell";
}

std::optional<QString> ThingsService::updateTagScript(const QString& currentName, const QString& newName,
                                                      const std::optional<QString>& newParentName,
                                                      const std::optional<QString>& currentParentName) {
    const bool nameChanges = !sameText(newName, currentName);
    const bool parentChanges = !sameOptionalText(newParentName, currentParentName);
    if (!nameChanges && !parentChanges)
        return std::nullopt;

    QString script = QStringLiteral("tell application \"Things3\"");
    if (nameChanges)
        script += u"\n    set name of tag " % appleScriptLiteral(currentName) % u" to " %
                  appleScriptLiteral(newName);
    if (parentChanges) {
        // The rename above has already happened when this line runs.
        const QString& nameNow = nameChanges ? newName : currentName;
        // Things 3 refuses a parent of `missing value`; deleting the parent makes a top-level tag.
        if (newParentName)
            script += u"\n    set parent tag of tag " % appleScriptLiteral(nameNow) % u" to tag " %
                      appleScriptLiteral(*newParentName);
        else
            script += u"\n    delete parent tag of tag " % appleScriptLiteral(nameNow);
    }
    script += u"\nend tell";
    return script;
}

QString ThingsService::createTagScript(const QString& name, const std::optional<QString>& parentName) {
    QString script = u"tell application \"Things3\"\n"
                     "    set newTag to make new tag with properties {name: " %
                     appleScriptLiteral(name) % u"}";
    if (parentName)
        script += u"\n    set parent tag of newTag to tag " % appleScriptLiteral(*parentName);
    script += u"\n    return id of newTag\nend tell";
    return script;
}

// ---- Writes that find their tag by identifier ----
//
// Things 3 is known to take `set name of tag id "…"` and `set parent tag of tag id "…" to tag id "…"`;
// deleting a tag, its parent link or its keyboard shortcut is known only in the by-name form. So a
// program reads the tag's current name by identifier, renames and moves it by identifier, and before
// a by-name write checks that no other tag has that name (namesakeCheck). A tag Things 3 no longer
// has fails the first line with -1728, naming `tag id "…"`.

namespace {

QString tagNameLine(const QString& id) {
    return u"\n    set tagName to name of tag id " % ThingsService::appleScriptLiteral(id);
}

} // namespace

QString ThingsService::deleteTagScript(const ThingsTagRef& tag, bool byId) {
    if (!byId)
        return deleteTagScript(tag.name);
    return u"tell application \"Things3\"" % tagNameLine(tag.id) % ScriptText::namesakeCheck(u"    ") %
           u"\n    delete tag tagName\nend tell";
}

namespace {

bool changesSomething(const ThingsTagChange& change) {
    return !sameText(change.newName, change.tag.name) || change.newParentId != change.parentId;
}

// The lines that change the tag found by identifier and leave its name in Things 3 in `tagName`,
// each line after a line break and `indent`.
QString changeLines(const ThingsTagChange& change, QStringView indent) {
    const auto line = [indent](const QString& text) -> QString {
        return u"\n" % indent % text;
    };
    const QString tagId = u"tag id " % ThingsService::appleScriptLiteral(change.tag.id);
    const QString readName = u"set tagName to name of " % tagId;
    QString lines = line(readName);
    if (!sameText(change.newName, change.tag.name))
        lines += line(u"set name of " % tagId % u" to " % ThingsService::appleScriptLiteral(change.newName)) +
                 line(readName);
    if (change.newParentId == change.parentId)
        return lines;
    if (change.newParentId)
        return lines + line(u"set parent tag of " % tagId % u" to tag id " %
                            ThingsService::appleScriptLiteral(*change.newParentId));
    return lines + ScriptText::namesakeCheck(indent) +
           line(QStringLiteral("delete parent tag of tag tagName"));
}

} // namespace

std::optional<QString> ThingsService::changeTagScript(const ThingsTagChange& change, bool byId) {
    if (!byId)
        return updateTagScript(change.tag.name, change.newName, change.newParentName, change.parentName);
    if (!changesSomething(change))
        return std::nullopt;
    // The answer is the tag's name in Things 3 afterwards, the whole result and nothing else.
    return u"tell application \"Things3\"" % changeLines(change, u"    ") % u"\n    return tagName\nend tell";
}

QString ThingsService::changeTagGroupScript(const QList<ThingsTagChange>& changes) {
    // Each tag goes through the lines changeTagScript sends for it alone, so each fails as it would:
    // a new name (or missing value to keep it), and a new parent ("" for the top level, missing value
    // to keep it).
    QStringList ids;
    QList<std::optional<QString>> newNames, newParents;
    for (const ThingsTagChange& change : changes) {
        ids.append(change.tag.id);
        newNames.append(sameText(change.newName, change.tag.name) ? std::nullopt
                                                                  : std::optional(change.newName));
        newParents.append(change.newParentId == change.parentId
                              ? std::nullopt
                              : std::optional(change.newParentId.value_or(QString())));
    }
    return ScriptText::collectingOpening() % u"\n    set tagIds to " % ScriptText::listOf(ids) %
           u"\n    set newNames to " % ScriptText::listOf(newNames) % u"\n    set newParents to " %
           ScriptText::listOf(newParents) %
           u"\n"
           "    set done to 0\n"
           "    try\n"
           "        repeat with i from 1 to count of tagIds\n"
           "            set tagName to name of tag id (item i of tagIds)\n"
           "            if item i of newNames is not missing value then\n"
           "                set name of tag id (item i of tagIds) to item i of newNames\n"
           "                set tagName to name of tag id (item i of tagIds)\n"
           "            end if\n"
           "            set newParent to item i of newParents\n"
           "            if newParent is \"\" then" %
           ScriptText::namesakeCheck(u"                ") %
           u"\n"
           "                delete parent tag of tag tagName\n"
           "            else if newParent is not missing value then\n"
           "                set parent tag of tag id (item i of tagIds) to tag id newParent\n"
           "            end if" %
           ScriptText::pointsLines(u"points", u"tagName", u"            ") %
           u"\n            set end of out to points & \";\"\n"
           "            set done to i\n"
           "        end repeat\n"
           "    on error errorText number errorNumber" %
           ScriptText::joinLines(u"        ") %
           u"\n        return answer & \"|||\" & done & \"|||\" & errorNumber & \"|||\" & errorText\n"
           "    end try" %
           ScriptText::joinLines(u"    ") % u"\n    return answer & \"|||\" & done\nend tell";
}

QString ThingsService::createTagScript(const QString& name, const std::optional<ThingsTagRef>& parent,
                                       bool byId) {
    if (!byId)
        return createTagScript(name, parent ? std::optional(parent->name) : std::nullopt);
    // The parent is read before anything is made: a parent Things 3 no longer has fails the program
    // while there is nothing to undo, rather than after the tag was made at the top level.
    QString script = QStringLiteral("tell application \"Things3\"");
    if (parent)
        script += u"\n    set parentName to name of tag id " % appleScriptLiteral(parent->id);
    script += u"\n    set newTag to make new tag with properties {name: " % appleScriptLiteral(name) % u"}";
    if (parent)
        script += u"\n    set parent tag of newTag to tag id " % appleScriptLiteral(parent->id);
    script += u"\n    return id of newTag\nend tell";
    return script;
}

namespace {

// A program over many tags counts them in `done` inside one `try`, and answers how many it did, then
// after a failure "|||", the error's number, "|||" and its message, the message last and whole.
QString groupClosing() {
    return QStringLiteral("\n    on error errorText number errorNumber\n"
                          "        return (done as text) & \"|||\" & errorNumber & \"|||\" & errorText\n"
                          "    end try\n"
                          "    return done as text\n"
                          "end tell");
}

} // namespace

QString ThingsService::deleteTagGroupScript(const QList<ThingsTagRef>& tags, const QList<TreeCheck>& checks) {
    // Each tag goes through the lines deleteTagScript sends for it alone, so each fails as it would,
    // except that a tag Things 3 no longer has (deleted with an ancestor earlier in the group, or in
    // Things 3 itself) is deleted already: the program goes on past it. A tree checked is refused when
    // one of its tags has more to-dos or child tags than were read (fewer lose nothing: a child
    // deleted earlier in the run, a to-do that lost the tag); a tag of it already gone is passed.
    QStringList ids;
    for (const ThingsTagRef& tag : tags)
        ids.append(tag.id);
    QString checkLines;
    if (!checks.isEmpty()) {
        QStringList checkIds, checkTodos, checkChildren;
        for (const TreeCheck& check : checks) {
            checkIds.append(ScriptText::listOf(check.ids));
            checkTodos.append(ScriptText::listOfNumbers(check.todos));
            checkChildren.append(ScriptText::listOfNumbers(check.children));
        }
        checkLines = u"\n    set checkIds to {" % checkIds.join(u", ") % u"}\n    set checkTodos to {" %
                     checkTodos.join(u", ") % u"}\n    set checkChildren to {" % checkChildren.join(u", ") %
                     u"}";
    }
    const QString number = QString::number(ThingsError::changedSinceReadNumber);
    return u"tell application \"Things3\"\n    set tagIds to " % ScriptText::listOf(ids) % checkLines %
           u"\n"
           "    set done to 0\n"
           "    try\n"
           "        repeat with i from 1 to count of tagIds\n"
           "            try\n"
           "                set tagName to name of tag id (item i of tagIds)" %
           ScriptText::unlessMissing(u"            ", u"set tagName to missing value") %
           u"\n            if tagName is not missing value then" %
           (checks.isEmpty()
                ? QString()
                : QString(u"\n"
                          "                set treeIds to item i of checkIds\n"
                          "                repeat with j from 1 to count of treeIds\n"
                          "                    try\n"
                          "                        set treeId to item j of treeIds\n"
                          "                        set todoCount to count of to dos of tag id treeId\n"
                          "                        set childCount to count of tags of tag id treeId" %
                          ScriptText::unlessMissing(
                              u"                    ",
                              u"set todoCount to 0\n                        set childCount to 0") %
                          u"\n"
                          "                    if todoCount > item j of item i of checkTodos or childCount > "
                          "item j of item i of "
                          "checkChildren then error \"\" number " %
                          number %
                          u"\n"
                          "                end repeat")) %
           ScriptText::namesakeCheck(u"                ") %
           u"\n"
           "                delete tag tagName\n"
           "            end if\n"
           "            set done to i\n"
           "        end repeat" %
           groupClosing();
}

QString ThingsService::fetchAllShortcutsScript() {
    // Two reads for every tag: the identifiers and the shortcuts (missing value for none), in the
    // same order. The identifiers travel as code points too: they are the list of the tags Things 3
    // has, against which the import checks the records of the fetch-all program, where an identifier
    // holding a separator would read as another tag. A tag made or deleted between them would pair keys with
    // the wrong tags: then the lists differ in length and the read fails rather than answer wrongly.
    return ScriptText::collectingOpening() %
           u"\n"
           "    set tagIds to id of every tag\n"
           "    set tagKeys to keyboard shortcut of every tag\n"
           "    if (count of tagIds) is not (count of tagKeys) then error \"Things 3 changed its tags while "
           "Orvalet read them.\"\n"
           "    repeat with i from 1 to count of tagIds\n"
           "        set tagId to item i of tagIds\n"
           "        set k to item i of tagKeys\n"
           "        if k is missing value then set k to \"\"" %
           ScriptText::pointsLines(u"points", u"k", u"        ") %
           ScriptText::pointsLines(u"idPoints", u"tagId", u"        ") %
           u"\n        set end of out to idPoints & \"|||\" & points & \"~~~\"\n"
           "    end repeat" %
           ScriptText::collectingClosing();
}

QString ThingsService::shortcutGroupScript(const QList<ThingsShortcutChange>& changes, bool byId,
                                           bool goOnPastRefusal) {
    // A key is set with `set keyboard shortcut of`; missing value takes it off with `delete`. Each tag
    // is read, checked and written in its own `try`, and answers the key it held before the write, so
    // that what a step undoes is what Things 3 held, not what the store believed.
    QStringList tags;
    QList<std::optional<QString>> keys;
    for (const ThingsShortcutChange& change : changes) {
        tags.append(byId ? change.tag.id : change.tag.name);
        keys.append(change.key.isEmpty() ? std::nullopt : std::optional(change.key));
    }
    return ScriptText::collectingOpening() % u"\n    set tagList to " % ScriptText::listOf(tags) %
           u"\n    set newKeys to " % ScriptText::listOf(keys) %
           u"\n"
           "    repeat with i from 1 to count of tagList\n"
           "        try\n" %
           (byId ? u"            set tagName to name of tag id (item i of tagList)"_qs %
                       ScriptText::namesakeCheck(u"            ")
                 : u"            set tagName to item i of tagList"_qs) %
           u"\n"
           "            set oldKey to keyboard shortcut of tag tagName\n"
           "            if oldKey is missing value then set oldKey to \"\"\n"
           "            if item i of newKeys is missing value then\n"
           "                delete keyboard shortcut of tag tagName\n"
           "            else\n"
           "                set keyboard shortcut of tag tagName to item i of newKeys\n"
           "            end if" %
           ScriptText::pointsLines(u"points", u"oldKey", u"            ") %
           u"\n"
           "            set end of out to \"+\" & points & \"~~~\"\n"
           "        on error errorText number errorNumber" %
           ScriptText::pointsLines(u"points", u"errorText", u"            ") %
           u"\n"
           "            set end of out to \"!\" & errorNumber & \"|||\" & points & \"~~~\"\n" %
           (goOnPastRefusal ? QString() : u"            exit repeat\n"_qs) %
           u"        end try\n"
           "    end repeat" %
           ScriptText::collectingClosing();
}

// The answer is the parent's identifier (empty for none), "|||", then the name: only the name is
// free text, and it comes last, whole, so any name reads back exactly.
QString ThingsService::tagStateScript(const QString& id) {
    return u"tell application \"Things3\"\n"
           "    set t to tag id " %
           appleScriptLiteral(id) %
           u"\n"
           "    set tparent to \"\"\n"
           "    try\n"
           "        set tparent to id of parent tag of t\n"
           "    end try\n"
           "    return tparent & \"|||\" & name of t\n"
           "end tell";
}

// One record per tag, in the order asked: "COUNT|||CHILD,CHILD,~~~" (or "COUNT~~~" without the
// children), identifiers and numbers only.
QString ThingsService::tagUseScript(const QStringList& ids, bool withChildren) {
    return ScriptText::collectingOpening() % ScriptText::loopOver(u"tagIds", u"tagId", ids) %
           u"\n"
           "        set end of out to (count of (to dos of tag id tagId whose status is open)) as text\n" %
           (withChildren
                ? u"        set childIds to id of every tag of tag id tagId\n"
                  "        set end of out to \"|||\"\n"
                  "        if childIds is not {} then set end of out to (childIds as text) & \",\"\n"_qs
                : QString()) %
           u"        set end of out to \"~~~\"\n"
           "    end repeat" %
           ScriptText::collectingClosing();
}

// Per tag asked, in order: "PARENT|||COUNT|||NAME POINTS~~~", or "-~~~" for a tag Things 3 no longer
// has. The name travels as its code points, so any name reads back exactly.
QString ThingsService::fetchTagsByIdScript(const QStringList& ids) {
    return ScriptText::collectingOpening() % ScriptText::loopOver(u"tagIds", u"tagId", ids) %
           u"\n"
           "        try\n"
           "            set tagName to name of tag id tagId" %
           ScriptText::unlessMissing(u"        ", u"set tagName to missing value") %
           u"\n"
           "        if tagName is missing value then\n"
           "            set end of out to \"-~~~\"\n"
           "        else\n"
           "            set parentId to \"\"\n"
           "            try\n"
           "                set parentId to id of parent tag of tag id tagId\n"
           "            end try\n"
           "            if parentId is missing value then set parentId to \"\"\n"
           "            set openCount to count of (to dos of tag id tagId whose status is open)" %
           ScriptText::pointsLines(u"points", u"tagName", u"            ") %
           u"\n            set end of out to parentId & \"|||\" & openCount & \"|||\" & points & \"~~~\"\n"
           "        end if\n"
           "    end repeat" %
           ScriptText::collectingClosing();
}

} // namespace orvalet
