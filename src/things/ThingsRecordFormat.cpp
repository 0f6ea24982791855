// Reading the record text Things 3 answers in: four fields joined by "|||", each record of the
// full list followed by "~~~". No quoting or escaping exists, so a name holding a separator makes
// its record unreadable; such output yields no record rather than an error. The answers of the
// writes by identifier put their one free text last, so that any name reads back.

#include "ThingsService.h"

#include <array>
#include <limits>

namespace orvalet {

namespace {

// Exactly the Unicode white-space and newline classes: tab, line feed, vertical tab, form feed,
// carriage return, next line, the space separators (space, no-break space, the typographic
// spaces...), the line separator and the paragraph separator. Zero-width characters and the other
// C0 controls are not white space.
bool isWhitespaceOrNewline(QChar c) {
    const char16_t u = c.unicode();
    if (u < 0x80)
        return u == u' ' || (u >= u'\t' && u <= u'\r');
    if (u == 0x85)
        return true;
    switch (c.category()) {
    case QChar::Separator_Space:
    case QChar::Separator_Line:
    case QChar::Separator_Paragraph:
        return true;
    default:
        return false;
    }
}

// Both separators are one character written three times; neither is ever part of the other, so
// records and fields can be found independently.
constexpr char16_t fieldMark = u'|';
constexpr char16_t recordMark = u'~';

// The position of the next "~~~" at or after `from`, or -1. Records are long and "~" is rare, so
// the vectorised single-character search finds candidates and the next two are checked by hand:
// far faster than a general substring search over the megabytes an import reads.
qsizetype indexOfTerminator(QStringView text, qsizetype from) {
    const qsizetype lastStart = text.size() - 3;
    while (from <= lastStart) {
        from = text.indexOf(QChar(recordMark), from);
        if (from < 0 || from > lastStart)
            return -1;
        if (text[from + 1] != recordMark)
            from += 2;
        else if (text[from + 2] != recordMark)
            from += 3;
        else
            return from;
    }
    return -1;
}

using Fields = std::array<QStringView, 4>;

// Splits at every "|||", left to right without overlap; returns the number of fields, 5 standing
// for "more than four", in which case `fields` is not complete. Fields are short, so a plain scan
// beats calling a search for each one; it looks at the last character of each candidate first, so
// that most text is stepped over three characters at a time.
qsizetype splitFields(QStringView text, Fields& fields) {
    const char16_t* p = text.utf16();
    const qsizetype n = text.size();
    qsizetype count = 0;
    qsizetype start = 0;
    qsizetype i = 0;
    while (i + 3 <= n) {
        if (p[i + 2] != fieldMark) {
            i += 3;
        } else if (p[i + 1] != fieldMark) {
            i += 2;
        } else if (p[i] != fieldMark) {
            i += 1;
        } else {
            if (count == 3)
                return 5;
            fields[count++] = text.sliced(start, i - start);
            i += 3;
            start = i;
        }
    }
    fields[count++] = text.sliced(start);
    return count;
}

// A decimal integer: an optional "+" or "-", then one or more of the digits 0 to 9, within the
// signed 64-bit range. Anything else, the empty text included, reads as 0.
qint64 readCount(QStringView text) {
    qsizetype i = 0;
    const bool negative = !text.isEmpty() && text.front() == u'-';
    if (!text.isEmpty() && (text.front() == u'-' || text.front() == u'+'))
        i = 1;
    if (i == text.size())
        return 0;
    // Accumulated as a negative number so that the most negative value is reachable.
    constexpr qint64 min = std::numeric_limits<qint64>::min();
    qint64 value = 0;
    for (; i < text.size(); ++i) {
        const char16_t u = text[i].unicode();
        if (u < u'0' || u > u'9')
            return 0;
        const int digit = u - u'0';
        if (value < (min + digit) / 10)
            return 0;
        value = value * 10 - digit;
    }
    if (negative)
        return value;
    return value == min ? 0 : -value;
}

inline QStringView trimView(QStringView text) {
    qsizetype begin = 0;
    qsizetype end = text.size();
    while (begin < end && isWhitespaceOrNewline(text[begin]))
        ++begin;
    while (end > begin && isWhitespaceOrNewline(text[end - 1]))
        --end;
    return text.sliced(begin, end - begin);
}

// The four fields of one record of the list, or false when the record cannot be read: not exactly
// four fields, or an empty identifier or a blank name. A blank chunk has one field. Every field but
// the name is trimmed. The name lies between two separators, so nothing around the record reaches
// it: white space at its ends is the name's own, and is kept, or the stored name would not be the
// one Things 3 has (" Someday " stored as "Someday").
inline bool readListFields(QStringView chunk, Fields& fields) {
    if (splitFields(chunk, fields) != 4)
        return false;
    for (const int trimmedField : {0, 2, 3})
        fields[trimmedField] = trimView(fields[trimmedField]);
    return !fields[0].isEmpty() && !trimView(fields[1]).isEmpty();
}

inline std::optional<QString> optionalText(QStringView text) {
    return text.isEmpty() ? std::nullopt : std::optional(text.toString());
}

} // namespace

bool ThingsService::isIdentifier(QStringView text) {
    if (text.isEmpty())
        return false;
    for (const QChar c : text) {
        const char16_t u = c.unicode();
        if (!((u >= u'0' && u <= u'9') || (u >= u'A' && u <= u'Z') || (u >= u'a' && u <= u'z')))
            return false;
    }
    return true;
}

std::optional<QStringList> ThingsService::identifierList(QStringView text) {
    QStringList ids;
    qsizetype start = 0;
    while (start < text.size()) {
        const qsizetype comma = text.indexOf(u',', start);
        if (comma < 0 || !isIdentifier(text.sliced(start, comma - start)))
            return std::nullopt;
        ids.append(text.sliced(start, comma - start).toString());
        start = comma + 1;
    }
    return ids;
}

QStringView ThingsService::trimmed(QStringView text) {
    return trimView(text);
}

QList<ThingsTagRecord> ThingsService::parseTagList(QStringView output) {
    QList<ThingsTagRecord> records;
    Fields fields;
    qsizetype start = 0;
    while (start <= output.size()) {
        qsizetype end = indexOfTerminator(output, start);
        if (end < 0)
            end = output.size();
        if (readListFields(output.sliced(start, end - start), fields)) {
            records.emplaceBack(fields[0].toString(), fields[1].toString(), optionalText(fields[2]),
                                readCount(fields[3]));
        }
        start = end + 3;
    }
    return records;
}

std::optional<ThingsTagRecord> ThingsService::parseTagRecord(QStringView chunk) {
    Fields fields;
    if (!readListFields(chunk, fields))
        return std::nullopt;
    return ThingsTagRecord{fields[0].toString(), fields[1].toString(), optionalText(fields[2]),
                           readCount(fields[3])};
}

std::optional<ThingsTagRecord> ThingsService::parseTagLookup(QStringView output) {
    // Unlike the list, a look-up trims only the whole answer and the count: a name that begins or
    // ends with spaces keeps them, and an empty identifier or name is not rejected.
    const QStringView answer = trimView(output);
    if (answer.isEmpty())
        return std::nullopt;
    Fields fields;
    if (splitFields(answer, fields) != 4)
        return std::nullopt;
    return ThingsTagRecord{fields[0].toString(), fields[1].toString(), optionalText(fields[2]),
                           readCount(trimView(fields[3]))};
}

std::optional<QList<ThingsTagUse>> ThingsService::parseTagUse(QStringView output, const QStringList& ids) {
    QList<QStringView> records = output.split(u"~~~");
    if (records.size() != ids.size() + 1 || !records.last().isEmpty())
        return std::nullopt;
    QList<ThingsTagUse> use;
    for (qsizetype i = 0; i < ids.size(); ++i) {
        const QList<QStringView> fields = records[i].split(u"|||");
        bool counted = false;
        const qint64 count = fields.first().toLongLong(&counted);
        std::optional<QStringList> children = fields.size() == 2 ? identifierList(fields[1]) : std::nullopt;
        if (!counted || !children)
            return std::nullopt;
        use.append(ThingsTagUse{ids[i], count, std::move(*children)});
    }
    return use;
}

std::optional<QList<std::optional<ThingsTagRecord>>> ThingsService::parseTagsById(QStringView output,
                                                                                  const QStringList& ids) {
    // "PARENT|||COUNT|||CP,CP,~~~" or "-~~~" per tag asked: the name comes as code points, so no
    // name can be taken for a separator.
    QList<QStringView> records = output.split(u"~~~");
    if (records.size() != ids.size() + 1 || !records.last().isEmpty())
        return std::nullopt;
    QList<std::optional<ThingsTagRecord>> read;
    for (qsizetype i = 0; i < ids.size(); ++i) {
        if (records[i] == u"-") {
            read.append(std::nullopt);
            continue;
        }
        const QList<QStringView> fields = records[i].split(u"|||");
        bool counted = false;
        const qint64 count = fields.size() == 3 ? fields[1].toLongLong(&counted) : 0;
        std::optional<QString> name = counted ? textFromCodePoints(fields[2]) : std::nullopt;
        if (!name || (!fields[0].isEmpty() && !isIdentifier(fields[0])))
            return std::nullopt;
        read.append(ThingsTagRecord{ids[i], std::move(*name), optionalText(fields[0]), count});
    }
    return read;
}

std::optional<ThingsGroupOutcome> ThingsService::parseGroupAnswer(QStringView output, qsizetype size) {
    // "DONE", or "DONE|||NUMBER|||MESSAGE": only the message is free text, and it comes last.
    const auto count = [](QStringView text) -> std::optional<qint64> {
        bool ok = false;
        const qint64 value = text.toLongLong(&ok);
        return ok && !text.startsWith(u'+') && !text.startsWith(u' ') ? std::optional(value) : std::nullopt;
    };
    const qsizetype mark = output.indexOf(u"|||");
    const std::optional<qint64> done = count(mark < 0 ? output : output.first(mark));
    if (!done || *done < 0 || *done > size || (mark < 0 && *done != size))
        return std::nullopt;
    if (mark < 0)
        return ThingsGroupOutcome{*done, std::nullopt};
    const QStringView rest = output.sliced(mark + 3);
    const qsizetype second = rest.indexOf(u"|||");
    const std::optional<qint64> number = second < 0 ? std::nullopt : count(rest.first(second));
    if (!number || *done == size)
        return std::nullopt;
    return ThingsGroupOutcome{*done,
                              ThingsError::appleScriptFailed(rest.sliced(second + 3).toString(), number)};
}

std::optional<std::pair<QStringList, ThingsGroupOutcome>>
ThingsService::parseChangeGroupAnswer(QStringView output, qsizetype size) {
    // "CP,CP,;CP,;|||" then the group answer: the names hold only digits, commas and semicolons.
    const qsizetype mark = output.indexOf(u"|||");
    const std::optional<ThingsGroupOutcome> outcome =
        mark < 0 ? std::nullopt : parseGroupAnswer(output.sliced(mark + 3), size);
    if (!outcome)
        return std::nullopt;
    QStringList names;
    QList<QStringView> fields = output.first(mark).split(u';');
    if (!fields.last().isEmpty() || fields.size() - 1 != outcome->done)
        return std::nullopt;
    fields.removeLast();
    for (const QStringView field : std::as_const(fields)) {
        std::optional<QString> name = textFromCodePoints(field);
        if (!name)
            return std::nullopt;
        names.append(std::move(*name));
    }
    return std::pair(names, *outcome);
}

std::optional<QList<ThingsShortcutsOutcome::Tried>> ThingsService::parseShortcutAnswer(QStringView output,
                                                                                       qsizetype size) {
    // "+POINTS~~~" or "!NUMBER|||POINTS~~~" per change tried, digits, commas and separators only.
    QList<QStringView> records = output.split(u"~~~");
    if (records.size() > size + 1 || !records.last().isEmpty())
        return std::nullopt;
    records.removeLast();
    QList<ThingsShortcutsOutcome::Tried> tried;
    for (const QStringView record : std::as_const(records)) {
        if (record.startsWith(u'+')) {
            std::optional<QString> key = textFromCodePoints(record.sliced(1));
            if (!key)
                return std::nullopt;
            tried.append({std::move(key), std::nullopt});
            continue;
        }
        const qsizetype mark = record.indexOf(u"|||");
        bool counted = false;
        const qint64 number = mark < 0 ? 0 : record.sliced(1, mark - 1).toLongLong(&counted);
        const std::optional<QString> message =
            mark < 0 ? std::nullopt : textFromCodePoints(record.sliced(mark + 3));
        if (!record.startsWith(u'!') || !counted || !message)
            return std::nullopt;
        tried.append({std::nullopt, ThingsError::appleScriptFailed(*message, number)});
    }
    return tried;
}

std::optional<QHash<QString, QString>> ThingsService::parseShortcuts(QStringView output) {
    // "CP,CP,|||CP,CP,~~~" per tag, its identifier and its key: digits, commas and separators only, so
    // a stray separator in an answer that is not of this form shows as a field that does not read.
    QHash<QString, QString> shortcuts;
    QList<QStringView> records = output.split(u"~~~");
    if (!records.last().isEmpty())
        return std::nullopt;
    records.removeLast();
    shortcuts.reserve(records.size());
    for (const QStringView record : std::as_const(records)) {
        const qsizetype mark = record.indexOf(u"|||");
        const std::optional<QString> key =
            mark < 0 ? std::nullopt : textFromCodePoints(record.sliced(mark + 3));
        const std::optional<QString> id = mark < 0 ? std::nullopt : textFromCodePoints(record.first(mark));
        if (!key || !id || id->isEmpty())
            return std::nullopt;
        shortcuts.insert(*id, *key);
    }
    return shortcuts;
}

std::optional<ThingsTagState> ThingsService::parseTagState(QStringView output) {
    // "PARENT|||NAME": the parent is an identifier or nothing, so the first "|||" ends it.
    const qsizetype mark = output.indexOf(u"|||");
    if (mark < 0)
        return std::nullopt;
    const QStringView parent = output.first(mark);
    if (!parent.isEmpty() && !isIdentifier(parent))
        return std::nullopt;
    return ThingsTagState{output.sliced(mark + 3).toString(), optionalText(parent)};
}

} // namespace orvalet
