// The two programs of a merge and the tag names text they read and write. Things 3 gives a to-do's
// tags as one text, the names joined by ", ", and takes the same form back, so a name holding a
// comma, or beginning or ending with white space, cannot survive the round trip: such texts are
// never rewritten.

#include "ScriptText.h"
#include "ThingsError.h"
#include "ThingsService.h"

#include <QStringBuilder>

namespace orvalet {

namespace {

constexpr QStringView fieldMark = u"|||";
constexpr QStringView recordMark = u"~~~";

// The form in which Things 3 finds a tag by name: letter case and canonically equivalent spellings
// do not matter.
QString nameKey(QStringView name) {
    return name.toString().normalized(QString::NormalizationForm_C).toCaseFolded();
}

bool splitsBack(QStringView name) {
    return !name.isEmpty() && !name.contains(u',') && !name.front().isSpace() && !name.back().isSpace();
}

} // namespace

bool ThingsService::travelsInTagNames(QStringView name) {
    return splitsBack(name);
}

std::optional<QStringList> ThingsService::splitTagNames(QStringView tagNames) {
    QStringList names;
    if (tagNames.isEmpty())
        return names;
    const QList<QStringView> pieces = tagNames.split(u',');
    for (qsizetype i = 0; i < pieces.size(); ++i) {
        // Every name after the first follows ", ": exactly one space belongs to the separator.
        if (i > 0 && !pieces[i].startsWith(u' '))
            return std::nullopt;
        const QStringView name = i > 0 ? pieces[i].sliced(1) : pieces[i];
        if (!splitsBack(name))
            return std::nullopt;
        names.append(name.toString());
    }
    return names;
}

std::optional<QString> ThingsService::restoredTagNames(QStringView current, QStringView before,
                                                       const QStringList& restoredNames) {
    const std::optional<QStringList> now = splitTagNames(current);
    if (!now)
        return std::nullopt;
    QSet<QString> restoredKeys;
    for (const QString& name : restoredNames)
        restoredKeys.insert(nameKey(name));
    QStringList kept; // what `before` had besides the restored names
    const std::optional<QStringList> was = splitTagNames(before);
    for (const QString& name : was.value_or(QStringList()))
        if (!restoredKeys.contains(nameKey(name)))
            kept.append(name);
    QStringList nowKeys;
    for (const QString& name : *now)
        nowKeys.append(nameKey(name));
    QStringList keptKeys;
    for (const QString& name : std::as_const(kept))
        keptKeys.append(nameKey(name));
    if (was && nowKeys == keptKeys)
        return was->join(u", ");
    QStringList names = *now;
    for (const QString& name : restoredNames)
        if (!nowKeys.contains(nameKey(name)))
            names.append(name);
    return names.join(u", ");
}

namespace {

// Tags whose to-dos, read two reads a tag however many there are, take in most of these to-dos: chosen
// one after the other, the one that takes in the most not met yet first, while it takes in at least
// three (a to-do met nowhere is read on its own, one read). From the names each to-do carried and is
// expected to carry, without the names being given back: those tags are new and carry nothing yet.
QStringList coveringTags(const QList<ThingsTodoRestore>& todos) {
    QHash<QString, QString> spelling;
    QHash<QString, QList<qsizetype>> carriedBy;
    for (qsizetype i = 0; i < todos.size(); ++i) {
        QSet<QString> skipped;
        for (const QString& name : todos[i].restoredNames)
            skipped.insert(nameKey(name));
        for (const QString& text : {todos[i].before, todos[i].expected.value_or(QString())}) {
            for (const QString& name : ThingsService::splitTagNames(text).value_or(QStringList())) {
                const QString key = nameKey(name);
                if (skipped.contains(key))
                    continue;
                skipped.insert(key);
                spelling.insert(key, spelling.value(key, name));
                carriedBy[key].append(i);
            }
        }
    }
    std::vector<bool> met(std::size_t(todos.size()), false);
    QStringList chosen;
    for (;;) {
        QString best;
        qsizetype bestGain = 0;
        for (auto it = carriedBy.cbegin(); it != carriedBy.cend(); ++it) {
            const qsizetype gain =
                std::count_if(it->cbegin(), it->cend(), [&met](qsizetype i) { return !met[std::size_t(i)]; });
            if (gain > bestGain || (gain == bestGain && gain > 0 && it.key() < best)) {
                best = it.key();
                bestGain = gain;
            }
        }
        if (bestGain < 3)
            return chosen;
        chosen.append(spelling.value(best));
        for (const qsizetype i : carriedBy.take(best))
            met[std::size_t(i)] = true;
    }
}

} // namespace

ThingsTodoRestoreCount ThingsService::restoreTodoTags(const QList<ThingsTodoRestore>& todos) const {
    ThingsTodoRestoreCount count;
    QList<ThingsTodoRestore> pending = todos;
    // A to-do whose tags change between the read and the write is read again and written anew, a
    // few times at most; one that keeps changing is counted as changed.
    constexpr int rounds = 3;
    for (int round = 1; !pending.isEmpty(); ++round) {
        QStringList ids;
        for (const ThingsTodoRestore& todo : std::as_const(pending))
            ids.append(todo.todoId);
        const ThingsTodoTexts now = readTodoTagNames(ids, round == 1 ? coveringTags(pending) : QStringList());
        QList<ThingsTodoTagNames> writes;
        QStringList asRead;
        QHash<QString, ThingsTodoRestore> written;
        for (const ThingsTodoRestore& todo : std::as_const(pending)) {
            const std::optional<QString> text = now.texts.value(todo.todoId);
            std::optional<QString> next;
            if (!text) {
                ++count.gone;
            } else if (todo.expected && *text != *todo.expected) {
                ++count.changed;
            } else if (todo.expected) {
                next = todo.before;
            } else if (now.withCommaTags.contains(todo.todoId) ||
                       !(next = restoredTagNames(*text, todo.before, todo.restoredNames))) {
                ++count.unwritable;
            }
            if (next && *next != *text) {
                writes.append({todo.todoId, *next});
                asRead.append(*text);
                written.insert(todo.todoId, todo);
            }
            count.restored += next ? 1 : 0;
        }
        // A to-do deleted between the two programs is gone after all.
        const ThingsTodoWriteCount passed = setPresentTodoTagNames(writes, asRead);
        count.restored -= passed.gone.size() + passed.changed.size();
        count.gone += passed.gone.size();
        pending.clear();
        for (const QString& id : passed.changed)
            pending.append(written.value(id));
        if (round == rounds) {
            count.changed += pending.size();
            break;
        }
    }
    return count;
}

std::optional<ThingsMergeRead> ThingsService::readMerge(const QString& sourceName,
                                                        const QString& destinationName) const {
    return parseMergeRead(runAppleScript(mergeReadScript(sourceName, destinationName)));
}

void ThingsService::setTodoTagNamesIfUnchanged(const QString& sourceName, const QString& destinationName,
                                               const ThingsMergeRead& confirmed,
                                               const QList<ThingsTodoTagNames>& changes) const {
    if (readMerge(sourceName, destinationName) != confirmed) {
        throw ThingsError::todosChanged(sourceName);
    }
    setTodoTagNames(changes);
}

QString ThingsService::commaCarriersLines() {
    // One read for the tags whose name holds a comma (few, usually none), one for each one's to-dos.
    return QStringLiteral(
        "    set commaTags to id of every tag whose name contains \",\"\n"
        "    repeat with i from 1 to count of commaTags\n"
        "        set carrierIds to id of every to do of tag id (item i of commaTags)\n"
        "        if carrierIds is not {} then set end of out to (carrierIds as text) & \",\"\n"
        "    end repeat\n");
}

QString ThingsService::mergeReadScript(const QString& sourceName, const QString& destinationName) {
    // The answer: "SOURCE|||DESTINATION|||CHILD,CHILD,|||COUNT~~~", then COUNT records
    // "TODO|||TAG NAMES~~~", then "TODO," for every to-do carrying a tag with a comma in its name.
    // Only the tag names are free text; the count lets the reader notice one that holds "~~~". The
    // source's to-dos are two reads, their identifiers and their tag names, whatever their number.
    // Both tags are found by name, so neither name may be another tag's too: the to-dos' tag names
    // could not tell the namesakes apart.
    return ScriptText::collectingOpening() % u"\n    set tagName to " % appleScriptLiteral(sourceName) %
           ScriptText::namesakeCheck(u"    ") %
           u"\n    set sourceId to id of tag tagName\n    set tagName to " %
           appleScriptLiteral(destinationName) % ScriptText::namesakeCheck(u"    ") %
           u"\n    set destinationId to id of tag tagName\n"
           "    set childIds to id of every tag of tag id sourceId\n"
           "    set todoIds to id of every to do of tag id sourceId\n"
           "    set todoNames to {}\n"
           "    if todoIds is not {} then\n"
           "        set todoNames to tag names of every to do of tag id sourceId\n"
           "    end if\n"
           "    if (count of todoNames) is not (count of todoIds) then error \"Things 3 changed these tags "
           "while "
           "Orvalet read them.\"\n"
           "    set end of out to sourceId & \"|||\" & destinationId & \"|||\"\n"
           "    if childIds is not {} then set end of out to (childIds as text) & \",\"\n"
           "    set end of out to \"|||\" & (count of todoIds) & \"~~~\"\n"
           "    repeat with j from 1 to count of todoIds\n"
           "        set end of out to (item j of todoIds) & \"|||\" & (item j of todoNames) & \"~~~\"\n"
           "    end repeat\n" %
           commaCarriersLines() % ScriptText::collectingClosing();
}

std::optional<ThingsMergeRead> ThingsService::parseMergeRead(QStringView output) {
    const QStringView answer = trimmed(output);
    const qsizetype headerEnd = answer.indexOf(recordMark);
    if (headerEnd < 0) {
        return std::nullopt;
    }
    const QList<QStringView> header = answer.first(headerEnd).split(fieldMark);
    if (header.size() != 4 || !ThingsService::isIdentifier(header[0]) ||
        !ThingsService::isIdentifier(header[1])) {
        return std::nullopt;
    }
    bool countRead = false;
    const qsizetype count = header[3].toString().toLongLong(&countRead);
    std::optional<QStringList> children = ThingsService::identifierList(header[2]);
    if (!countRead || count < 0 || !children) {
        return std::nullopt;
    }

    ThingsMergeRead read{header[0].toString(), header[1].toString(), std::move(*children), {}, {}};
    read.todos.reserve(std::min<qsizetype>(count, answer.size() / 8));
    QSet<QString> seen;
    qsizetype start = headerEnd + recordMark.size();
    // Splitting at each "~~~" can only give more records than were written (a name holding "~~~")
    // or records that do not begin with an identifier and "|||" (a name ending in "~"), never fewer:
    // the count and the shape of each record together tell an exact reading from a wrong one.
    for (qsizetype i = 0; i < count; ++i) {
        const qsizetype end = answer.indexOf(recordMark, start);
        if (end < 0) {
            return std::nullopt;
        }
        const QStringView record = answer.sliced(start, end - start);
        const qsizetype mark = record.indexOf(fieldMark);
        if (mark < 0 || !ThingsService::isIdentifier(record.first(mark))) {
            return std::nullopt;
        }
        const QString id = record.first(mark).toString();
        if (seen.contains(id)) {
            return std::nullopt;
        }
        seen.insert(id);
        read.todos.append({id, record.sliced(mark + fieldMark.size()).toString()});
        start = end + recordMark.size();
    }
    std::optional<QStringList> commaCarriers = ThingsService::identifierList(answer.sliced(start));
    if (!commaCarriers) {
        return std::nullopt;
    }
    read.todosWithCommaTags = QSet<QString>(commaCarriers->begin(), commaCarriers->end());
    return read;
}

std::optional<QString> ThingsService::replacedTagNames(QStringView tagNames, const QString& sourceName,
                                                       const QString& destinationName) {
    if (!splitsBack(destinationName)) {
        return std::nullopt;
    }
    const QString sourceKey = nameKey(sourceName);
    const QString destinationKey = nameKey(destinationName);
    QList<QStringView> names = tagNames.split(u',');
    for (qsizetype i = 0; i < names.size(); ++i) {
        // Every name after the first follows ", ": exactly one space belongs to the separator.
        if (i > 0) {
            if (!names[i].startsWith(u' ')) {
                return std::nullopt;
            }
            names[i] = names[i].sliced(1);
        }
        // The source leaves the text, so only the names kept must survive being written back; a
        // source with spaces at its ends (" Someday ") can still be taken out.
        if (!splitsBack(names[i]) && (names[i].trimmed().isEmpty() || nameKey(names[i]) != sourceKey)) {
            return std::nullopt;
        }
    }
    bool hasDestination = false;
    for (const QStringView name : names) {
        hasDestination = hasDestination || nameKey(name) == destinationKey;
    }
    bool replaced = false;
    QStringList kept;
    for (const QStringView name : names) {
        if (nameKey(name) != sourceKey) {
            kept.append(name.toString());
            continue;
        }
        replaced = true;
        if (!hasDestination) {
            kept.append(destinationName);
            hasDestination = true;
        }
    }
    if (!replaced) {
        return std::nullopt;
    }
    return kept.join(u", ");
}

} // namespace orvalet
