#include "ShortcutWrites.h"

#include "TagStore.h"
#include "TagWrites.h"
#include "ThingsWorker.h"

namespace orvalet::ShortcutWrites {

bool isValidKey(const QString& key) {
    if (key.isEmpty()) {
        return true;
    }
    const bool one = (key.size() == 1 && !key[0].isSurrogate()) ||
                     (key.size() == 2 && key[0].isHighSurrogate() && key[1].isLowSurrogate());
    if (!one) {
        return false;
    }
    const char32_t point = key.size() == 1 ? key[0].unicode() : QChar::surrogateToUcs4(key[0], key[1]);
    switch (QChar::category(point)) {
    case QChar::Other_Control:
    case QChar::Other_Format:
    case QChar::Other_Surrogate:
    case QChar::Other_NotAssigned:
    case QChar::Other_PrivateUse:
        return false;
    default:
        return !QChar::isSpace(point);
    }
}

QList<TagPtr> holders(const TagStore& store, const QString& key, const QString& exceptId) {
    QList<TagPtr> found;
    if (key.isEmpty()) {
        return found;
    }
    const QString identity = Tag::keyIdentity(key);
    for (const TagPtr& tag : store.allTags()) {
        const std::optional<QString>& shortcut = tag->shortcut();
        if (shortcut && !shortcut->isEmpty() && tag->id() != exceptId &&
            Tag::keyIdentity(*shortcut) == identity) {
            found.append(tag);
        }
    }
    return found;
}

QCoro::Task<ThingsShortcutsOutcome> send(ThingsWorker& worker, bool byId, QList<Write> writes,
                                         bool goOnPastRefusal) {
    QList<ThingsShortcutChange> changes;
    changes.reserve(writes.size());
    for (const Write& write : std::as_const(writes)) {
        changes.append(ThingsShortcutChange{TagWrites::refOf(*write.tag), write.key});
    }
    const auto sent = co_await worker.run(&ThingsService::setShortcuts, changes, byId, goOnPastRefusal);
    ThingsShortcutsOutcome outcome;
    if (sent) {
        outcome = sent.value();
    } else {
        outcome.failure = sent.error();
    }
    for (qsizetype i = 0; i < outcome.tried.size(); ++i) {
        if (outcome.tried[i].keyBefore && writes[i].tag->isStored()) {
            writes[i].tag->setShortcut(writes[i].key);
        }
    }
    if (outcome.failure && outcome.failure->isLostConnection()) {
        for (qsizetype i = outcome.tried.size(); i < writes.size(); ++i) {
            if (writes[i].tag->isStored()) {
                writes[i].tag->setShortcut(std::nullopt);
            }
        }
    }
    co_return outcome;
}

QStringList keysBefore(const QList<Write>& writes) {
    QStringList keys;
    for (const Write& write : writes) {
        keys.append(write.tag->shortcutKey());
    }
    return keys;
}

QList<UndoHistory::Change> unknownAfterLoss(const QList<Write>& writes, const QStringList& keysBefore,
                                            const ThingsShortcutsOutcome& sent) {
    QList<UndoHistory::Change> unknown;
    for (qsizetype i = sent.tried.size();
         sent.failure && sent.failure->isLostConnection() && i < writes.size(); ++i) {
        const TagPtr& tag = writes[i].tag;
        unknown.append(
            UndoHistory::Change{tag->id(), {}, tag->name(), {}, {}, std::pair(keysBefore[i], writes[i].key)});
    }
    return unknown;
}

} // namespace orvalet::ShortcutWrites
