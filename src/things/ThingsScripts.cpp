// The text of every program Orvalet sends to Things 3, and the quoting of the values in them.
// Lines are indented by four spaces per level and joined by single line feeds, without a line
// feed after the last line.

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
        script += u"\n    set parent tag of tag " % appleScriptLiteral(nameNow);
        if (newParentName)
            script += u" to tag " % appleScriptLiteral(*newParentName);
        else
            script += u" to missing value";
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

} // namespace orvalet
