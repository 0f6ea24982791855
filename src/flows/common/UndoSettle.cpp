// Changes whose answer was lost: sent to Things 3, then nothing learnt of them. Their steps wait in
// the history, the tags marked, until Things 3 says what it holds.
#include "DisplayTexts.h"
#include "TagStore.h"
#include "TagWrites.h"
#include "ThingsWorker.h"
#include "UndoHistory.h"

#include <QStringBuilder>

namespace orvalet {

using DisplayTexts::quotedName;

namespace {

// What a change of name and parent did, in a sentence: "renamed", "moved".
QString verbOf(const UndoHistory::Change& change) {
    return change.nameBefore != change.nameAfter ? QStringLiteral("renamed") : QStringLiteral("moved");
}

} // namespace

bool UndoHistory::isPending(const Step& step) {
    return !step.unsettled.isEmpty() || (step.deletion && !step.deletion->unsettled.isEmpty());
}

bool UndoHistory::isEmpty(const Step& step) {
    switch (step.kind) {
    case Step::Kind::deletion:
        return step.deletion->trees.tags.isEmpty();
    case Step::Kind::change:
        return step.changes.isEmpty();
    default:
        return false;
    }
}

QSet<QString> UndoHistory::pendingIds() const {
    QSet<QString> ids;
    for (const Step& step : m_undo) {
        for (const QString& id : step.unsettled)
            ids.insert(id);
        if (!step.deletion || step.deletion->unsettled.isEmpty())
            continue;
        // A tree not known to be deleted: every tag of it that the store still shows. The read lists
        // each tag after its parent.
        QSet<QString> inside(step.deletion->unsettled.cbegin(), step.deletion->unsettled.cend());
        for (const ThingsTreeRead::Tag& tag : step.deletion->trees.tags) {
            if (inside.contains(tag.id) || (tag.parentId && inside.contains(*tag.parentId)))
                inside.insert(tag.id);
        }
        for (const QString& id : std::as_const(inside))
            if (m_store.tag(id))
                ids.insert(id);
    }
    return ids;
}

bool UndoHistory::hasPending() const {
    return std::any_of(m_undo.cbegin(), m_undo.cend(), [](const Step& step) { return isPending(step); });
}

// The history lives as long as its store, which outlives every flow: `this` stays valid here.
QCoro::Task<> UndoHistory::settlePending(ThingsWorker& worker) {
    if (m_busy || !hasPending())
        co_return;
    m_busy = true;
    Q_EMIT changed();
    QList<quint64> serials;
    for (const Step& step : std::as_const(m_undo))
        if (isPending(step))
            serials.append(step.serial);
    QStringList notes;
    for (const quint64 serial : std::as_const(serials)) {
        // Other flows may record steps meanwhile, so the step is found again by its serial each time.
        const auto at = [this, serial] {
            return std::find_if(m_undo.begin(), m_undo.end(),
                                [serial](const Step& step) { return step.serial == serial; });
        };
        if (at() == m_undo.end())
            continue;
        Step step = *at();
        const std::optional<QString> unknown = co_await settleStep(step, worker, &notes);
        if (unknown)
            break; // Things 3 is still away: the next try asks again
        const auto found = at();
        if (found == m_undo.end())
            continue;
        if (isEmpty(step))
            m_undo.erase(found);
        else
            *found = std::move(step);
    }
    m_busy = false;
    Q_EMIT changed();
    if (!notes.isEmpty())
        Q_EMIT settled(notes.join(u' '));
}

QCoro::Task<std::optional<QString>> UndoHistory::settleStep(Step& step, ThingsWorker& worker,
                                                            QStringList* notes) {
    if (step.deletion) {
        // The deletion's own record is settled in place: copies of the step share it.
        co_return co_await settle(*step.deletion, worker, notes);
    }
    if (step.unsettled.isEmpty())
        co_return std::nullopt;
    co_return co_await settleChanges(step, worker, notes);
}

// Each tag pending is read again: a change Things 3 made stays in the step, one it did not make
// leaves it, and the record follows what Things 3 holds either way.
QCoro::Task<std::optional<QString>> UndoHistory::settleChanges(Step& step, ThingsWorker& worker,
                                                               QStringList* notes) {
    const QStringList asked = step.unsettled;
    const bool shortcuts = !step.changes.isEmpty() && step.changes.first().shortcut;
    QHash<QString, std::optional<QString>> keys;            // by identifier, for shortcut steps
    QHash<QString, std::optional<ThingsTagRecord>> records; // for name and parent steps
    if (shortcuts) {
        const auto read = co_await worker.run(&ThingsService::readShortcuts);
        if (!read)
            co_return read.error().errorDescription();
        for (const QString& id : asked)
            keys.insert(id, read.value().contains(id) ? std::optional(read.value().value(id)) : std::nullopt);
    } else {
        const auto read = co_await worker.run(&ThingsService::fetchTagsById, asked);
        if (!read)
            co_return read.error().errorDescription();
        for (qsizetype i = 0; i < asked.size(); ++i)
            records.insert(asked[i], read.value()[i]);
    }
    QList<Change> kept;
    for (const Change& change : std::as_const(step.changes)) {
        if (!asked.contains(change.id)) {
            kept.append(change);
            continue;
        }
        const TagPtr stored = m_store.tag(change.id);
        bool made = false;
        if (shortcuts) {
            const std::optional<QString> now = keys.value(change.id);
            made = now && Tag::keyIdentity(*now) == Tag::keyIdentity(change.shortcut->second);
            if (stored && now)
                stored->setShortcut(*now);
        } else if (const std::optional<ThingsTagRecord> now = records.value(change.id)) {
            // Names compare as Things 3 writes them back: the same text, however composed.
            made = now->name.normalized(QString::NormalizationForm_D) ==
                       change.nameAfter.normalized(QString::NormalizationForm_D) &&
                   now->parentId == change.parentAfter;
            if (stored)
                TagWrites::takeRecord(*stored, *now);
        }
        if (made)
            kept.append(change);
        if (notes && shortcuts) {
            notes->append(u"The shortcut of " % quotedName(change.nameAfter) %
                          (made ? u" was changed." : u" was not changed."));
        } else if (notes) {
            notes->append(quotedName(change.nameBefore) % (made ? u" was " : u" was not ") % verbOf(change) %
                          u'.');
        }
    }
    step.changes = kept;
    step.unsettled.clear();
    co_return std::nullopt;
}

} // namespace orvalet
