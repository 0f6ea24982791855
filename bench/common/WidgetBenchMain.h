#pragma once

#include <functional>

namespace orvalet::bench {

// Runs `drop` after the benchmarks, before the application object goes: for what a benchmark made
// at first use and kept (a window, a stand-in process), which must not outlive the application.
void beforeQuit(std::function<void()> drop);

} // namespace orvalet::bench
