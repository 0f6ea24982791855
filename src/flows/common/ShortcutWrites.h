#pragma once

#include "Tag.h"
#include "ThingsService.h"

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

// Sends the writes in order and gives the records the keys Things 3 accepted. Stops at the first
// failure: after a lost answer, whether that write and the ones after it went through is not known,
// and their records' shortcuts become unknown rather than keep a value that may be wrong.
QCoro::Task<ThingsGroupOutcome> send(ThingsWorker& worker, bool byId, QList<Write> writes);

} // namespace ShortcutWrites

} // namespace orvalet
