#pragma once

#include "ProgramRunner.h"
#include "ThingsLibrary.h"

#include <QString>
#include <QStringList>
#include <gtest/gtest.h>

namespace standin::testing {

// Runs one program against an in-memory library.
inline ProgramAnswer runOn(ThingsLibrary& library, const QString& source, applescript::Limits limits = {}) {
    ProgramRunner runner(library, QString(), limits);
    return runner.run(source);
}

// Orvalet's own quoting of a value for a program: split at double quotes, join the pieces with
// ` & quote & `, each piece a literal with its backslashes doubled.
inline QString literal(const QString& text) {
    QStringList pieces = text.split(u'"');
    for (QString& piece : pieces) {
        piece = u'"' + QString(piece).replace(u'\\', QStringLiteral("\\\\")) + u'"';
    }
    return pieces.join(QStringLiteral(" & quote & "));
}

} // namespace standin::testing

// Lets GoogleTest print QStrings in failure messages.
QT_BEGIN_NAMESPACE
inline void PrintTo(const QString& text, std::ostream* os) {
    *os << '"' << text.toStdString() << '"';
}
QT_END_NAMESPACE
