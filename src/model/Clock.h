#pragma once

#include <QDateTime>
#include <functional>

namespace orvalet {

// The one source of "now" for the model: record creation and update times and the time of the
// last import. Tests replace it so that they never depend on the wall clock.
class Clock final {
public:
    using Source = std::function<QDateTime()>;

    static QDateTime now();

    // Replaces the source; an empty function restores the system clock.
    static void setSource(Source source);

    // Seconds since 2001-01-01 00:00:00 UTC, the reference date Things 3 and the preferences use.
    static double secondsSinceReferenceDate(const QDateTime& time);
    static QDateTime fromSecondsSinceReferenceDate(double seconds);
    static QDateTime referenceDate();
};

} // namespace orvalet
