#include "ThingsError.h"

#include <QLocale>

namespace orvalet {

ThingsError::ThingsError(Kind kind, QString message)
    : m_kind(kind)
    , m_message(std::move(message))
    , m_what(m_message.toUtf8()) {}

ThingsError ThingsError::appleScriptFailed(QString message) {
    return ThingsError(Kind::appleScriptFailed, std::move(message));
}

ThingsError ThingsError::changedInThings(const QString& name) {
    return ThingsError(Kind::changedInThings,
                       u"\u201C" % name %
                           u"\u201D changed in Things 3 since the last import. Import again, "
                           u"then try once more.");
}

QString ThingsError::errorDescription() const {
    if (m_kind == Kind::changedInThings) {
        return m_message;
    }
    // The engine spells its -600 message with the typographic apostrophe ("isn’t running"), and
    // the message entry of its error dictionary does not carry the number, so both apostrophes
    // must count or the most common failure of all would not be recognised.
    // Letter case follows the user's locale, hence lowering the message rather than folding it.
    const QString lowered = QLocale().toLower(m_message);
    const bool notRunning = lowered.contains(u"isn't running") || lowered.contains(u"isn\u2019t running") ||
                            lowered.contains(u"not running") || m_message.contains(u"-600");
    if (notRunning)
        return QStringLiteral("Things 3 is not open. Please open Things 3 and try again.");
    return u"AppleScript error: " % m_message;
}

} // namespace orvalet
