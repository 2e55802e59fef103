// What a minute of play costs: the installed game, played with real X events on a virtual X
// server of its own, in the window and in full screen, paced (maxfps=60, the default) and with
// the uncapped loop (maxfps=0), one after the other in the same run. For each phase the CPU time
// of the whole process (all its threads, from /proc) as a share of one core, and the frames it
// drew (from the log SAUNO_FRAME_LOG names); then the time from a key's event to the start and
// to the end of the frame that shows it, and a line per goal.
//
//   bench_idle [--seconds S]   S: length of the waiting and the still-visit phase (default 20)
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "tests/game/played_game.h"

using namespace sauno::played;

namespace {

struct Figure {
    double cpuPercent = 0, framesPerSecond = 0;
};

struct Run {
    std::string name;
    bool fullScreen = false;
    int maxFps = 60;
    Figure waiting, visit, drag, steam;
    std::vector<double> keyToBegin, keyToDrawn;  // ms
    std::string error;
};

class Meter {
public:
    explicit Meter(PlayedGame& game) : game_(game), cpu_(game.CpuSeconds()), from_(Now()) {}
    Figure Stop()
    {
        const int64_t to = Now();
        const double cpu = game_.CpuSeconds();
        Sleep(0.05);  // a frame begun before `to` reaches the log
        const double seconds = static_cast<double>(to - from_) / 1e9;
        return {100 * (cpu - cpu_) / seconds, game_.FramesBetween(from_, to) / seconds};
    }

private:
    PlayedGame& game_;
    double cpu_;
    int64_t from_;
};

// A key when nothing is being drawn; the times to its frame's start and end.
void TimeKey(PlayedGame& game, const char* key, Run& run)
{
    const auto frames = game.Frames();
    if (!frames.empty()) SleepUntil(std::max(Now(), frames.back().drawn + 400'000'000));
    const int64_t sent = game.Tap(key);
    Frame frame{};
    if (!game.FirstFrameAfter(sent, frame)) return;
    run.keyToBegin.push_back(static_cast<double>(frame.began - sent) / 1e6);
    run.keyToDrawn.push_back(static_cast<double>(frame.drawn - sent) / 1e6);
}

void Play(const std::string& build, double seconds, Run& run)
{
    OwnDisplay display;
    if (!display.Ok()) {
        run.error = "no virtual X server";
        return;
    }
    std::string settings = "[Graphics]\nmaxfps=" + std::to_string(run.maxFps) + "\n";
    if (run.fullScreen)
        settings += "resow=" + std::to_string(display.Width()) + "\nresoh=" + std::to_string(display.Height()) +
                    "\nmode=fullscreen\n";
    PlayedGame game(display, build, settings + "[Misc]\nName=bench\n");
    if (!game.Start() || (run.fullScreen && !game.WaitWindow(display.Width(), display.Height(), 10))) {
        run.error = game.Error();
        return;
    }
    // Drawn and calm: the labels show, then half a second without a frame.
    const int64_t deadline = Now() + 30'000'000'000;
    while (game.WhitePixels(0, 65, 90, 18) < 12 && Now() < deadline) Sleep(0.1);
    while (Now() < deadline) {
        const auto frames = game.Frames();
        if (frames.empty() || Now() - frames.back().drawn > 500'000'000) break;
        Sleep(0.1);
    }
    Meter waiting(game);
    Sleep(seconds);
    run.waiting = waiting.Stop();

    TimeKey(game, "Return", run);  // the countdown starts
    Sleep(3.6);
    Meter visit(game);
    Sleep(seconds);
    run.visit = visit.Stop();
    for (int beer = 0; beer < 3; ++beer) TimeKey(game, "Return", run);

    Meter drag(game);
    game.Drag(5);
    run.drag = drag.Stop();
    Sleep(0.5);

    // Steam for three seconds: a throw, and another with the other arrow halfway.
    Meter steam(game);
    game.Tap("Left");
    Sleep(1.5);
    game.Tap("Right");
    Sleep(1.5 - 0.1);
    run.steam = steam.Stop();
    if (!game.Quit()) run.error = "did not end after Escape, y: " + game.Output();
}

double Median(std::vector<double> v)
{
    if (v.empty()) return -1;
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}
double Max(const std::vector<double>& v) { return v.empty() ? -1 : *std::max_element(v.begin(), v.end()); }

}  // namespace

int main(int argc, char** argv)
{
    double seconds = 20;
    for (int i = 1; i < argc; ++i)
        if (std::strcmp(argv[i], "--seconds") == 0 && i + 1 < argc) seconds = std::atof(argv[++i]);
    auto make = [](std::string name, bool fullScreen, int maxFps) {
        Run run;
        run.name = std::move(name);
        run.fullScreen = fullScreen;
        run.maxFps = maxFps;
        return run;
    };
    std::vector<Run> runs = {make("window, maxfps=60", false, 60), make("window, maxfps=0", false, 0),
                             make("full screen, maxfps=60", true, 60), make("full screen, maxfps=0", true, 0)};
    std::printf("the installed game on a virtual X server of its own; %.0f s waiting, %.0f s of a visit without "
                "input, 5 s of a drag, 3 s of steam\n",
                seconds, seconds);
    std::printf("%-24s %18s %18s %18s %18s %22s\n", "", "waiting", "still visit", "drag", "steam", "key to frame (ms)");
    std::printf("%-24s %18s %18s %18s %18s %22s\n", "", "cpu %   frames/s", "cpu %   frames/s", "cpu %   frames/s",
                "cpu %   frames/s", "begun      drawn");
    bool failed = false;
    for (Run& run : runs) {
        Play(SAUNO_BUILD_DIR, seconds, run);
        if (!run.error.empty()) {
            std::printf("%-24s error: %s\n", run.name.c_str(), run.error.c_str());
            failed = true;
            continue;
        }
        auto cell = [](const Figure& f) {
            static char text[4][32];
            static int next = 0;
            char* t = text[next++ % 4];
            std::snprintf(t, 32, "%6.1f %8.1f", f.cpuPercent, f.framesPerSecond);
            return t;
        };
        std::printf("%-24s %18s %18s %18s %18s %9.1f %10.1f   (median of %zu; max %.1f, %.1f)\n", run.name.c_str(),
                    cell(run.waiting), cell(run.visit), cell(run.drag), cell(run.steam), Median(run.keyToBegin),
                    Median(run.keyToDrawn), run.keyToBegin.size(), Max(run.keyToBegin), Max(run.keyToDrawn));
        std::fflush(stdout);
    }
    if (failed) return 1;
    auto goal = [](const char* what, bool met, const std::string& figures) {
        std::printf("goal %-58s %s (%s)\n", what, met ? "met" : "NOT met", figures.c_str());
    };
    for (const Run& run : {runs[0], runs[2]}) {
        const char* where = run.fullScreen ? "full screen" : "window";
        char figures[160];
        std::snprintf(figures, sizeof figures, "%s: %.1f %%, %.2f frames/s", where, run.waiting.cpuPercent,
                      run.waiting.framesPerSecond);
        goal("waiting: <= 3 % of a core, <= 2 frames/s",
             run.waiting.cpuPercent <= 3 && run.waiting.framesPerSecond <= 2, figures);
        std::snprintf(figures, sizeof figures, "%s: %.1f %%, %.2f frames/s", where, run.visit.cpuPercent,
                      run.visit.framesPerSecond);
        goal("still visit: <= 3 % of a core, <= 2 frames/s", run.visit.cpuPercent <= 3 && run.visit.framesPerSecond <= 2,
             figures);
        std::snprintf(figures, sizeof figures, "%s: drag %.1f, steam %.1f frames/s", where, run.drag.framesPerSecond,
                      run.steam.framesPerSecond);
        goal("drag and steam: <= 61 frames/s", run.drag.framesPerSecond <= 61 && run.steam.framesPerSecond <= 61,
             figures);
        std::snprintf(figures, sizeof figures, "%s: median %.1f ms, max %.1f ms to the frame drawn", where,
                      Median(run.keyToDrawn), Max(run.keyToDrawn));
        goal("a key's frame drawn <= 20 ms after its event", Max(run.keyToDrawn) <= 20, figures);
    }
    return 0;
}
