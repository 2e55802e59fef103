#include "platform/startup_report.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

namespace sauno::platform {

namespace {

// A set-group-ID game never honours it: the file it names would be written with the group's
// rights.
const char* ReportPath() { return secure_getenv("SAUNO_STARTUP_REPORT"); }

long long NowNs()
{
    return std::chrono::duration_cast<std::chrono::nanoseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

struct Report {
    const char* path = ReportPath();
    std::mutex lock;
    std::vector<std::pair<std::string, double>> phases;
    long long windowShownNs = -1;
    long long frameBegunNs = -1;
    bool written = false;
};

Report& TheReport()
{
    static Report report;
    return report;
}

}  // namespace

bool StartupReportWanted()
{
    static const bool wanted = [] {
        const char* path = ReportPath();
        return path && *path;
    }();
    return wanted;
}

void AddStartupPhase(std::string_view name, double ms)
{
    if (!StartupReportWanted()) return;
    Report& report = TheReport();
    std::lock_guard guard(report.lock);
    if (report.written) return;
    for (auto& [phase, total] : report.phases)
        if (phase == name) {
            total += ms;
            return;
        }
    report.phases.emplace_back(std::string(name), ms);
}

StartupPhase::StartupPhase(std::string_view name) : name_(name)
{
    if (StartupReportWanted()) startNs_ = NowNs();
}

StartupPhase::~StartupPhase()
{
    if (startNs_ >= 0) AddStartupPhase(name_, double(NowNs() - startNs_) / 1e6);
}

void StartupWindowShown()
{
    if (!StartupReportWanted()) return;
    Report& report = TheReport();
    std::lock_guard guard(report.lock);
    if (report.windowShownNs < 0) report.windowShownNs = NowNs();
}

void StartupFrameBegun()
{
    if (!StartupReportWanted()) return;
    Report& report = TheReport();
    std::lock_guard guard(report.lock);
    report.frameBegunNs = NowNs();
}

void StartupFrameSwapped(bool windowShown)
{
    if (!StartupReportWanted() || !windowShown) return;
    const long long now = NowNs();
    Report& report = TheReport();
    std::lock_guard guard(report.lock);
    if (report.written) return;
    report.written = true;
    // Written aside and renamed, so that a reader never sees half of it.
    const std::string part = std::string(report.path) + ".part";
    std::FILE* out = std::fopen(part.c_str(), "w");
    if (!out) return;
    std::fprintf(out, "window_shown_ns %lld\nframe_begun_ns %lld\nfirst_frame_ns %lld\n", report.windowShownNs,
                 report.frameBegunNs, now);
    for (const auto& [phase, ms] : report.phases) std::fprintf(out, "phase %s %.3f\n", phase.c_str(), ms);
    if (std::fclose(out) == 0) std::rename(part.c_str(), report.path);
}

}  // namespace sauno::platform
