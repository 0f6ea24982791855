#include "MacCostModel.h"

#include <cmath>

namespace standin {

std::chrono::nanoseconds MacCostModel::time(const applescript::MacCosts& costs) const {
    const double nanoseconds = programMs * 1e6 + double(costs.events) * eventUs * 1e3 +
                               double(costs.textUnitsCopied + costs.listItemsCopied) * copyNs +
                               double(costs.programCharacters) * characterUs * 1e3;
    // Past about 292 years the count of nanoseconds overflows; no program comes near, but a
    // runaway figure must not wrap around to a short wait.
    return std::chrono::nanoseconds(qint64(std::min(nanoseconds, 9.0e18)));
}

QString MacCostModel::describe(const applescript::MacCosts& costs) {
    return QString::number(costs.events) + QStringLiteral(" Apple events, ") +
           QString::number(costs.textUnitsCopied) + QStringLiteral(" text units copied, ") +
           QString::number(costs.listItemsCopied) + QStringLiteral(" list items copied, ") +
           QString::number(costs.programCharacters) + QStringLiteral(" program characters");
}

} // namespace standin
