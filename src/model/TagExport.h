#pragma once

#include "Tag.h"

#include <QIODevice>
#include <QList>
#include <QString>
#include <optional>

namespace orvalet::TagExport {

// The file types tags are exported as.
enum class Format { json, csv, opml };

// The format a file name asks for by its suffix (letter case ignored); none for another suffix.
std::optional<Format> formatOf(const QString& fileName);

// Writes every tag of `tags` (the store's name order) with its identifier, name, parent's
// identifier, path (the names from its root down to it, joined by " > "), open to-do count (absent
// when Things 3 never reported it) and number of children:
//  - JSON: {"tags": [{"id", "name", "parentId", "path", "todosCount", "childCount"}, ...]}, absent
//    values as null;
//  - CSV: a header row, then one row per tag; fields quoted where needed, absent values empty;
//  - OPML 2.0: the forest as nested outlines, children in name order; a tag whose parent is not
//    stored, or that sits in a parent loop, is a root. Characters XML cannot carry (most control
//    characters) are written as U+FFFD in this format only.
void write(const QList<TagPtr>& tags, Format format, QIODevice& out);

// Writes the file at `path` as a whole or not at all: a failure leaves any file already there
// untouched and gives the reason in `error`.
bool save(const QList<TagPtr>& tags, Format format, const QString& path, QString* error);

} // namespace orvalet::TagExport
