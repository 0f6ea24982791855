#pragma once

#include "Tag.h"

#include <QList>
#include <QString>

namespace orvalet {

// Tags whose names are alike once folded: letter case, spaces at the ends and doubled inside,
// diacritics, punctuation and separators ("-", "_", ".", "/", a leading "@" or "#"), and a final "s"
// or "es" on the last word. Found from the records alone, in one pass over them.
namespace SimilarTags {

// The name as the comparison sees it: "@To-Read " and "to read" both give "to read".
QString folded(const QString& name);

// Every group of two or more tags alike, each group's tags in the order given, the groups in the
// order of their first tag. Names that only share a beginning ("Work", "Workout") are not alike.
QList<QList<TagPtr>> find(const QList<TagPtr>& tags);

} // namespace SimilarTags

} // namespace orvalet
