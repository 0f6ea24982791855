#include "Clock.h"

#include <cmath>

namespace orvalet {

namespace {
Clock::Source& source() {
    static Clock::Source s;
    return s;
}
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
    return double(time.toMSecsSinceEpoch() - referenceDate().toMSecsSinceEpoch()) / 1000.0;
}

QDateTime Clock::fromSecondsSinceReferenceDate(double seconds) {
    const auto msecs = std::llround(seconds * 1000.0);
    return QDateTime::fromMSecsSinceEpoch(referenceDate().toMSecsSinceEpoch() + msecs, Qt::UTC);
}

} // namespace orvalet
