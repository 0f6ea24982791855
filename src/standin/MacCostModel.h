#pragma once

#include "applescript/MacCosts.h"

#include <QString>
#include <chrono>

namespace standin {

// How long a Mac is taken to need for a program with these costs: a fixed price for each program
// (an in-process engine compiles and starts it), one for each Apple event (a round trip to Things 3),
// one for each text unit or list item copied, and one for each character compiled. The figures are a
// model, chosen from what is published about Apple events and AppleScript, not measured on a Mac.
struct MacCostModel {
    double programMs = 10;
    double eventUs = 500;
    double copyNs = 1;
    double characterUs = 1;

    std::chrono::nanoseconds time(const applescript::MacCosts& costs) const;
    // "12 Apple events, 3,456 text units copied, 0 list items copied, 789 program characters".
    static QString describe(const applescript::MacCosts& costs);
};

} // namespace standin
