#include "ThingsError.h"

#include <QLocale>
#include <QStringBuilder>

namespace orvalet {

namespace {

QString quoted(const QString& name) {
    return u"\u201C" % name % u"\u201D";
}

} // namespace

ThingsError::ThingsError(Kind kind, QString message, std::optional<qint64> number)
    : m_kind(kind)
    , m_message(std::move(message))
    , m_number(number)
    , m_what(m_message.toUtf8()) {}

ThingsError ThingsError::appleScriptFailed(QString message, std::optional<qint64> number) {
    return ThingsError(Kind::appleScriptFailed, std::move(message), number);
}

ThingsError ThingsError::changedInThings(const QString& name) {
    return ThingsError(Kind::refused,
                       quoted(name) % u" changed in Things 3 since the last import. Import again, then try "
                                      u"once more.");
}

ThingsError ThingsError::notInThings(const QString& name) {
    return ThingsError(Kind::refused, quoted(name) %
                                          u" is no longer in Things 3. Import from Things to bring "
                                          u"the list up to date.");
}

ThingsError ThingsError::todosChanged(const QString& name) {
    return ThingsError(Kind::refused,
                       u"The to-dos of " % quoted(name) % u" changed in Things 3. Look at the merge again.");
}

ThingsError ThingsError::unreadable() {
    return appleScriptFailed(QStringLiteral("Things 3 answered in a form Orvalet cannot read."));
}

ThingsError ThingsError::missingTag(const QString& id) {
    return appleScriptFailed(u"Things3 got an error: Can\u2019t get tag id \"" % id % u"\".", -1728);
}

ThingsError ThingsError::nameTaken(const QString& name) {
    return ThingsError(Kind::refused, quoted(name) % u" is in Things 3 already, so it was not made again. "
                                                     u"Rename or delete it there, then undo once more.");
}

bool ThingsError::isMissingTag(const QString& id) const {
    // The engine names the element it could not get as a program would write it: `tag id "…"`, a
    // backslash doubled and a double quote after a backslash.
    if (m_kind != Kind::appleScriptFailed || m_number != -1728)
        return false;
    QString written = id;
    written.replace(u'\\', QStringLiteral("\\\\")).replace(u'"', QStringLiteral("\\\""));
    return m_message.contains(u"tag id \"" % written % u'"');
}

bool ThingsError::isNotRunning() const {
    // The engine spells its -600 message with the typographic apostrophe ("isn’t running"), and
    // the message entry of its error dictionary does not carry the number, so both apostrophes
    // must count or the most common failure of all would not be recognised.
    // Letter case follows the user's locale, hence lowering the message rather than folding it.
    if (m_kind != Kind::appleScriptFailed || isNamesake() || m_number == changedSinceReadNumber)
        return false;
    const QString lowered = QLocale().toLower(m_message);
    return lowered.contains(u"isn't running") || lowered.contains(u"isn\u2019t running") ||
           lowered.contains(u"not running") || m_message.contains(u"-600");
}

bool ThingsError::isUnreachable() const {
    return isLostConnection() || isNotRunning();
}

QString ThingsError::unconfirmed(const QString& what) const {
    return u"Orvalet could not confirm whether " % what % u": " % errorDescription();
}

bool ThingsError::isNamesake() const {
    return m_kind == Kind::appleScriptFailed && m_number == namesakeNumber;
}

bool ThingsError::isLostConnection() const {
    return m_kind == Kind::appleScriptFailed && (m_number == -609 || m_number == -1712);
}

ThingsError ThingsError::withTagNow(ThingsTagState state) const {
    ThingsError error = *this;
    error.m_tagNow = std::move(state);
    return error;
}

QString ThingsError::errorDescription() const {
    if (m_kind == Kind::refused) {
        return m_message;
    }
    if (m_number == changedSinceReadNumber) {
        return QStringLiteral(
            "Its to-dos or child tags changed in Things 3 after Orvalet read them for Undo. "
            "Try again.");
    }
    if (isNamesake()) {
        return u"Things 3 has another tag named " % quoted(m_message) %
               u"; rename one of them in Things 3 first.";
    }
    if (isNotRunning())
        return QStringLiteral("Things 3 is not open. Please open Things 3 and try again.");
    // The engine's words for a lost answer ("Connection is invalid.") say nothing a user can act on.
    if (m_number == -609)
        return QStringLiteral("Things 3 quit before it answered.");
    if (m_number == -1712)
        return QStringLiteral("Things 3 did not answer in time.");
    return u"AppleScript error: " % m_message;
}

} // namespace orvalet
