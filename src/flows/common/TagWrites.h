#pragma once

#include "Tag.h"
#include "ThingsTagChange.h"
#include "ThingsTagRecord.h"

#include <QCoroTask>
#include <QStringList>
#include <optional>

namespace orvalet {

class Preferences;
class TagStore;
class ThingsError;
class ThingsWorker;

// The bridge's writes made from stored records, and what Things 3 answered written back to them.
// Every flow that renames, moves or deletes a stored tag goes through here, so that they all name
// tags to Things 3 the same way.
namespace TagWrites {

ThingsTagRef refOf(const Tag& tag);

// Whether writes find their tags by identifier ("Find tags in Things 3 by identifier").
bool byId(const Preferences& preferences);

// The change that gives `tag` the name `newName` and the parent `newParentId`, parents named as
// stored. Nothing when a new parent is not stored: it could not be named to Things 3 (an unchanged
// link to a parent that is not stored is kept as it is).
std::optional<ThingsTagChange> change(const TagStore& store, const Tag& tag, const QString& newName,
                                      const std::optional<QString>& newParentId);

// The record takes what Things 3 holds after a write: its name and parent, and the update time.
void follow(Tag& tag, const ThingsTagState& state);
// After a failed write: when Things 3 was found to hold something else for the tag (an answer lost
// on its way back after the program ran in part or in full), the record follows it all the same.
void followAfterFailure(Tag& tag, const ThingsError& error);

// The record takes what Things 3 reported for the tag: its name, parent and open to-dos, and the
// update time, as every read from Things 3 stamps it.
void takeRecord(Tag& tag, const ThingsTagRecord& record);

// "Update from Things" for the tags `ids` from `start` on: by identifier, the next hundred in one
// program; otherwise the next one alone, found by the designed walk over every tag. What Things 3
// holds for each, in order (as many as were asked for: the caller goes on after them); nothing for a
// tag it no longer has, and for every one when the program failed.
QCoro::Task<QList<std::optional<ThingsTagRecord>>> fetchSome(ThingsWorker& worker, QStringList ids,
                                                             qsizetype start, bool byId);

} // namespace TagWrites

} // namespace orvalet
