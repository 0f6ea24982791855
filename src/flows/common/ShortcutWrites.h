#pragma once

#include "Tag.h"
#include "ThingsService.h"
#include "UndoHistory.h"

#include <QCoroTask>
#include <QList>
#include <QString>

namespace orvalet {

class TagStore;
class ThingsWorker;

// Keyboard shortcuts given to stored tags or taken off them: sent to Things 3 first, grouped as the
// bridge groups them, and written to the records Things 3 accepted them for. Every flow that
// changes a shortcut (the editor, the batch editor, undo) goes through here.
namespace ShortcutWrites {

// One tag's new key; the empty text takes its shortcut off.
struct Write {
    TagPtr tag;
    QString key;
};

// Whether `key` can be a shortcut: the empty text (none), or one character that a key types (one
// code point, not white space, not a control or format character).
bool isValidKey(const QString& key);

// The stored tags other than `exceptId` whose shortcut is the same key as `key` (see
// Tag::keyIdentity), in the store's name order; none for the empty key.
QList<TagPtr> holders(const TagStore& store, const QString& key, const QString& exceptId);

// Sends the writes in order and gives the records the keys Things 3 accepted. A write Things 3
// refuses stops the rest, or with `goOnPastRefusal` is passed over. After a lost answer, whether the
// write and the ones after it went through is not known, and their records' shortcuts become unknown
// rather than keep a value that may be wrong. The outcome says, for each write that went through,
// the key Things 3 held before it: what an undo step gives back.
QCoro::Task<ThingsShortcutsOutcome> send(ThingsWorker& worker, bool byId, QList<Write> writes,
                                         bool goOnPastRefusal = false);

// The records' keys before a run: what a change not known to have gone through started from.
QStringList keysBefore(const QList<Write>& writes);
// After a run whose answer was lost: the writes whose outcome is not known, as changes of an undo
// step that waits for Things 3 to say what it holds. None after any other failure.
QList<UndoHistory::Change> unknownAfterLoss(const QList<Write>& writes, const QStringList& keysBefore,
                                            const ThingsShortcutsOutcome& sent);

} // namespace ShortcutWrites

} // namespace orvalet
