#pragma once
// Start-up figures for benchmarks. Off unless the environment variable SAUNO_STARTUP_REPORT
// names a file: then the time spent in each phase is added up, and when the first frame has
// been swapped onto a shown window the figures are written to that file, once:
//   window_shown_ns N      (monotonic clock, comparable between processes)
//   frame_begun_ns N       (when the drawing of that first frame began)
//   first_frame_ns N
//   phase NAME MS          (one line per phase, in the order each was first seen)
// Nothing is printed and nothing is measured otherwise.
#include <string_view>

#include "platform/export.h"

namespace sauno::platform {

SAUNO_PLATFORM_EXPORT bool StartupReportWanted();
// Adds `ms` to the phase `name`; from any thread.
SAUNO_PLATFORM_EXPORT void AddStartupPhase(std::string_view name, double ms);

// Measures its own lifetime into a phase.
class StartupPhase {
public:
    SAUNO_PLATFORM_EXPORT explicit StartupPhase(std::string_view name);
    SAUNO_PLATFORM_EXPORT ~StartupPhase();
    StartupPhase(const StartupPhase&) = delete;
    StartupPhase& operator=(const StartupPhase&) = delete;

private:
    std::string_view name_;
    long long startNs_ = -1;
};

void StartupWindowShown();
// When a frame's drawing begins.
SAUNO_PLATFORM_EXPORT void StartupFrameBegun();
// After every buffer swap; the first one made while the window is shown writes the report.
void StartupFrameSwapped(bool windowShown);

}  // namespace sauno::platform
