// Reading the record text Things 3 answers in: four fields joined by "|||", each record of the
// full list followed by "~~~". No quoting or escaping exists, so a name holding a separator makes
// its record unreadable; such output yields no record rather than an error.

#include "ThingsService.h"

#include <array>
#include <limits>

namespace orvalet {

namespace {

constexpr QStringView fieldSeparator = u"|||";
constexpr QStringView recordTerminator = u"~~~";

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

// The position of `separator` in `text` at or after `from`, or -1. Looks for the first character
// with the vectorised single-character search and checks the rest by hand: far faster than a
// general substring search for these three-character separators.
qsizetype indexOfSeparator(QStringView text, QStringView separator, qsizetype from) {
    const QChar first = separator.front();
    const qsizetype lastStart = text.size() - separator.size();
    while (from <= lastStart) {
        from = text.indexOf(first, from);
        if (from < 0 || from > lastStart)
            return -1;
        if (text.sliced(from, separator.size()) == separator)
            return from;
        ++from;
    }
    return -1;
}

using Fields = std::array<QStringView, 4>;

// Splits at every field separator, left to right without overlap; returns the number of fields,
// 5 standing for "more than four", in which case `fields` is not complete.
qsizetype splitFields(QStringView text, Fields& fields) {
    constexpr qsizetype N = 4;
    qsizetype count = 0;
    qsizetype start = 0;
    while (true) {
        const qsizetype at = indexOfSeparator(text, fieldSeparator, start);
        if (at < 0)
            break;
        if (count == N - 1)
            return N + 1;
        fields[count++] = text.sliced(start, at - start);
        start = at + fieldSeparator.size();
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

} // namespace

QStringView ThingsService::trimmed(QStringView text) {
    qsizetype begin = 0;
    qsizetype end = text.size();
    while (begin < end && isWhitespaceOrNewline(text[begin]))
        ++begin;
    while (end > begin && isWhitespaceOrNewline(text[end - 1]))
        --end;
    return text.sliced(begin, end - begin);
}

QList<ThingsTagRecord> ThingsService::parseTagList(QStringView output) {
    QList<ThingsTagRecord> records;
    qsizetype start = 0;
    while (start <= output.size()) {
        qsizetype end = indexOfSeparator(output, recordTerminator, start);
        if (end < 0)
            end = output.size();
        const QStringView chunk = output.sliced(start, end - start);
        if (!trimmed(chunk).isEmpty()) {
            if (auto record = parseTagRecord(chunk))
                records.append(std::move(*record));
        }
        start = end + recordTerminator.size();
    }
    return records;
}

std::optional<ThingsTagRecord> ThingsService::parseTagRecord(QStringView chunk) {
    Fields fields;
    if (splitFields(chunk, fields) != 4)
        return std::nullopt;
    const QStringView id = trimmed(fields[0]);
    const QStringView name = trimmed(fields[1]);
    const QStringView parentId = trimmed(fields[2]);
    if (id.isEmpty() || name.isEmpty())
        return std::nullopt;
    return ThingsTagRecord{id.toString(), name.toString(),
                           parentId.isEmpty() ? std::nullopt : std::optional(parentId.toString()),
                           readCount(trimmed(fields[3]))};
}

std::optional<ThingsTagRecord> ThingsService::parseTagLookup(QStringView output) {
    // Unlike the list, a look-up trims only the whole answer and the count: a name that begins or
    // ends with spaces keeps them, and an empty identifier or name is not rejected.
    const QStringView answer = trimmed(output);
    if (answer.isEmpty())
        return std::nullopt;
    Fields fields;
    if (splitFields(answer, fields) != 4)
        return std::nullopt;
    return ThingsTagRecord{fields[0].toString(), fields[1].toString(),
                           fields[2].isEmpty() ? std::nullopt : std::optional(fields[2].toString()),
                           readCount(trimmed(fields[3]))};
}

} // namespace orvalet
