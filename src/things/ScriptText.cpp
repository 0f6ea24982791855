#include "ScriptText.h"

#include "ThingsError.h"
#include "ThingsService.h"

#include <QStringBuilder>

namespace orvalet::ScriptText {

namespace {

template <typename Item, typename Write>
QString braced(const QList<Item>& items, Write write) {
    QString list = QStringLiteral("{");
    for (qsizetype i = 0; i < items.size(); ++i) {
        if (i > 0)
            list += u", ";
        list += write(items[i]);
    }
    return list + u'}';
}

} // namespace

QString listOf(const QStringList& texts) {
    return braced(texts, [](const QString& text) { return ThingsService::appleScriptLiteral(text); });
}

QString listOf(const QList<std::optional<QString>>& texts) {
    return braced(texts, [](const std::optional<QString>& text) {
        return text ? ThingsService::appleScriptLiteral(*text) : QStringLiteral("missing value");
    });
}

QString listOfNumbers(const QList<qsizetype>& numbers) {
    return braced(numbers, [](qsizetype number) { return QString::number(number); });
}

QString loopOver(QStringView list, QStringView item, const QStringList& values) {
    return u"\n    set " % list % u" to " % listOf(values) % u"\n    repeat with i from 1 to count of " %
           list % u"\n        set " % item % u" to item i of " % list;
}

QString collectingOpening() {
    return QStringLiteral("tell application \"Things3\"\n"
                          "    set savedDelimiters to AppleScript's text item delimiters\n"
                          "    set AppleScript's text item delimiters to \",\"\n"
                          "    set out to {}");
}

QString joinLines(QStringView indent) {
    return u"\n" % indent % u"set AppleScript's text item delimiters to \"\"\n" % indent %
           u"set answer to out as text\n" % indent %
           u"set AppleScript's text item delimiters to savedDelimiters";
}

QString collectingClosing() {
    return joinLines(u"    ") % u"\n    return answer\nend tell";
}

QString pointsLines(QStringView target, QStringView source, QStringView indent) {
    return u"\n" % indent % u"set " % target % u" to \"\"\n" % indent % u"if " % source %
           u" is not \"\" then set " % target % u" to ((id of " % source % u") as text) & \",\"";
}

QString sameLengthLine(QStringView indent, QStringView first, QStringView second) {
    return u"\n" % indent % u"if (count of " % first % u") is not (count of " % second %
           u") then error \"Things 3 changed these tags while Orvalet read them.\"";
}

QString unlessMissing(QStringView indent, QStringView then) {
    return u"\n" % indent % u"on error errorText number errorNumber\n" % indent %
           u"    if errorNumber is not -1728 then error errorText number errorNumber\n" % indent % u"    " %
           then % u"\n" % indent % u"end try";
}

QString namesakeCheck(QStringView indent) {
    const QString number = QString::number(ThingsError::namesakeNumber);
    return u"\n" % indent % u"if (count of (tags whose name is tagName)) > 1 then\n" % indent %
           u"    set sameNames to name of every tag whose name is tagName\n" % indent %
           u"    repeat with k from 1 to count of sameNames\n" % indent %
           u"        if (id of (item k of sameNames)) is not (id of tagName) then error (item k of "
           u"sameNames) "
           u"number " %
           number % u"\n" % indent % u"    end repeat\n" % indent % u"    error tagName number " % number %
           u"\n" % indent % u"end if";
}

} // namespace orvalet::ScriptText
