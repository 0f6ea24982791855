#pragma once

#include "ThingsTagRecord.h"

#include <QString>
#include <ostream>

// Readable failure output for Qt texts and the bridge's types: GoogleTest would otherwise print raw bytes.
inline void PrintTo(const QString& text, std::ostream* os) {
    *os << '"' << text.toUtf8().toStdString() << '"';
}

namespace orvalet {
inline void PrintTo(const ThingsTagRecord& r, std::ostream* os) {
    *os << "{" << r.id.toUtf8().toStdString() << ", " << r.name.toUtf8().toStdString() << ", "
        << (r.parentId ? r.parentId->toUtf8().toStdString() : "(none)") << ", " << r.todosCount << "}";
}
} // namespace orvalet
