#include "Clock.h"

#include <cmath>

namespace orvalet {

namespace {
Clock::Source& source() {
    static Clock::Source s;
    return s;
}

// 2001-01-01 00:00:00 UTC in milliseconds since 1970, which every stored time is read against.
constexpr qint64 referenceMSecs = 978'307'200'000;
} // namespace

QDateTime Clock::now() {
    const auto& s = source();
    return s ? s() : QDateTime::currentDateTimeUtc();
}

void Clock::setSource(Source s) {
    source() = std::move(s);
}

QDateTime Clock::referenceDate() {
    return QDateTime(QDate(2001, 1, 1), QTime(0, 0), Qt::UTC);
}

double Clock::secondsSinceReferenceDate(const QDateTime& time) {
    return double(time.toMSecsSinceEpoch() - referenceMSecs) / 1000.0;
}

QDateTime Clock::fromSecondsSinceReferenceDate(double seconds) {
    const auto msecs = std::llround(seconds * 1000.0);
    return QDateTime::fromMSecsSinceEpoch(referenceMSecs + msecs, Qt::UTC);
}

} // namespace orvalet
