#pragma once

#include "ThingsTagChange.h"

#include <QByteArray>
#include <QString>
#include <exception>
#include <optional>

namespace orvalet {

// The bridge's only error: a program that failed, carrying the engine's message and number
// unchanged, or a change the bridge refused because Things 3 no longer holds what the user saw.
// What the user reads is decided only when `errorDescription` is asked for. Thrown by the bridge's
// operations and caught by the worker job, which hands it back to the interface thread as a value.
class ThingsError final : public std::exception {
public:
    enum class Kind { appleScriptFailed, refused };

    static ThingsError appleScriptFailed(QString message, std::optional<qint64> number = std::nullopt);
    // The tag called `name` in Things 3 is not the stored tag of that name any more (renamed,
    // deleted or replaced there since the last import).
    static ThingsError changedInThings(const QString& name);
    // The stored tag called `name` is gone from Things 3.
    static ThingsError notInThings(const QString& name);
    // The to-dos of the tag called `name` are not what the merge's confirmation showed.
    static ThingsError todosChanged(const QString& name);
    // Things 3 answered a program in a form that cannot be read back as the program wrote it.
    static ThingsError unreadable();
    // What Things 3 answers for the tag with this identifier when it no longer has it (-1728).
    static ThingsError missingTag(const QString& id);
    // A tag to be made again has a name Things 3 has taken meanwhile.
    static ThingsError nameTaken(const QString& name);

    // The number a program fails with when the tag it must address by name shares that name with
    // another tag (as Things 3 compares names): the message is the other tag's name.
    static constexpr qint64 namesakeNumber = 9301;
    // The number a deletion fails with when the tree's to-dos or child tags are not those read for
    // its undo step: deleting it then would lose what the step does not hold.
    static constexpr qint64 changedSinceReadNumber = 9302;

    Kind kind() const { return m_kind; }
    const QString& message() const { return m_message; }
    // The engine's error number, when it gave one.
    std::optional<qint64> number() const { return m_number; }

    // The program failed because Things 3 has no tag with this identifier (-1728 naming `tag id`).
    bool isMissingTag(const QString& id) const;
    // The answer was lost after the program was sent (-609) or did not come in time (-1712): Things 3
    // may have carried the program out, in part or in full.
    bool isLostConnection() const;
    // Things 3 is not open, or did not answer: nothing it was asked was learnt.
    bool isUnreachable() const;
    // The program refused to write by name because another tag has the same name.
    bool isNamesake() const;

    // After a lost connection: what Things 3 was found to hold for the tag the program changed.
    const std::optional<ThingsTagState>& tagNow() const { return m_tagNow; }
    ThingsError withTagNow(ThingsTagState state) const;

    // The text a view shows for this error.
    QString errorDescription() const;
    // After an answer lost on its way back: what the user reads of a change whose outcome is not known,
    // `what` saying what may have happened ("“Bills Due” was deleted").
    QString unconfirmed(const QString& what) const;

    const char* what() const noexcept override { return m_what.constData(); }

private:
    ThingsError(Kind kind, QString message, std::optional<qint64> number = std::nullopt);
    // The engine's failure for Things 3 not running (-600), by its number or its message.
    bool isNotRunning() const;

    Kind m_kind;
    QString m_message;
    std::optional<qint64> m_number;
    std::optional<ThingsTagState> m_tagNow;
    QByteArray m_what; // UTF-8 of the message, for code that only knows std::exception
};

} // namespace orvalet
