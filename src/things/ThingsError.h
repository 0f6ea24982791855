#pragma once

#include <QByteArray>
#include <QString>
#include <exception>

namespace orvalet {

// The bridge's only error: a program that failed, carrying the engine's message unchanged, or a
// change refused before any program was sent because the tag it names is no longer the stored one.
// What the user reads is decided only when `errorDescription` is asked for. Thrown by the bridge's
// operations and caught by the worker job, which hands it back to the interface thread as a value.
class ThingsError final : public std::exception {
public:
    enum class Kind { appleScriptFailed, changedInThings };

    static ThingsError appleScriptFailed(QString message);
    // The tag called `name` in Things 3 is not the stored tag of that name any more (renamed,
    // deleted or replaced there since the last import).
    static ThingsError changedInThings(const QString& name);

    Kind kind() const { return m_kind; }
    const QString& message() const { return m_message; }

    // The text a view shows for this error.
    QString errorDescription() const;

    const char* what() const noexcept override { return m_what.constData(); }

private:
    ThingsError(Kind kind, QString message);

    Kind m_kind;
    QString m_message;
    QByteArray m_what; // UTF-8 of the message, for code that only knows std::exception
};

} // namespace orvalet
