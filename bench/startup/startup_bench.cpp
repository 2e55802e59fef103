// The game's start as a player sees it: from exec to the first frame swapped onto its shown
// window, with the phases the game reports (SAUNO_STARTUP_REPORT) and the peak resident memory
// of the process, against the floor program started the same way; medians of N starts (5 by
// default), then a line per goal. Runs under the display it is given (DISPLAY).
//
//   bench_startup [--runs N] [--game PATH] [--floor PATH]
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <map>
#include <optional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

extern char** environ;

namespace {

long long NowNs()
{
    return std::chrono::duration_cast<std::chrono::nanoseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

std::string LoadAverage()
{
    std::ifstream in("/proc/loadavg");
    std::string one, five, fifteen;
    in >> one >> five >> fifteen;
    return one + " " + five + " " + fifteen;
}

struct Start {
    double firstFrameMs = 0;   // exec to the first frame on the shown window
    double blackMs = 0;        // window shown to that frame
    double frameMs = 0;        // the drawing of that frame
    double peakMb = 0;         // peak resident memory of the process
    std::vector<std::pair<std::string, double>> phases;
};

// Starts `program` with a report asked for, waits for the report, tells it to end (SIGTERM,
// which it takes as a quit) and collects its peak memory.
std::optional<Start> RunOnce(const std::string& program, int index)
{
    const std::string report = "/tmp/sauno_bench_startup." + std::to_string(getpid()) + "." + std::to_string(index);
    const std::string log = report + ".log";
    std::remove(report.c_str());

    std::vector<std::string> env;
    for (char** e = environ; *e; ++e)
        if (std::strncmp(*e, "SAUNO_STARTUP_REPORT=", 21) != 0 && std::strncmp(*e, "SAUNO_MESSAGES=", 15) != 0)
            env.emplace_back(*e);
    env.push_back("SAUNO_STARTUP_REPORT=" + report);
    env.push_back("SAUNO_MESSAGES=stderr");
    std::vector<char*> envp;
    for (std::string& e : env) envp.push_back(e.data());
    envp.push_back(nullptr);
    std::string path = program;
    char* argv[] = {path.data(), nullptr};

    posix_spawn_file_actions_t files;
    posix_spawn_file_actions_init(&files);
    posix_spawn_file_actions_addopen(&files, 1, log.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_adddup2(&files, 1, 2);
    pid_t pid = 0;
    const long long execNs = NowNs();
    const int spawned = posix_spawn(&pid, path.c_str(), &files, nullptr, argv, envp.data());
    posix_spawn_file_actions_destroy(&files);
    if (spawned != 0) {
        std::fprintf(stderr, "bench_startup: cannot start %s: %s\n", path.c_str(), std::strerror(spawned));
        return std::nullopt;
    }

    // The report appears, renamed into place, once the first frame is on screen.
    bool ended = false;
    struct stat info;
    const long long deadline = execNs + 30'000'000'000LL;
    while (stat(report.c_str(), &info) != 0) {
        int status = 0;
        if (waitpid(pid, &status, WNOHANG) == pid) {
            ended = true;
            break;
        }
        if (NowNs() > deadline) break;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    struct rusage usage {};
    int status = 0;
    if (!ended) {
        kill(pid, SIGTERM);
        wait4(pid, &status, 0, &usage);
    }
    std::ifstream in(report);
    if (ended || !in) {
        std::ifstream output(log);
        std::fprintf(stderr, "bench_startup: %s gave no report; it said:\n%s\n", path.c_str(),
                     std::string((std::istreambuf_iterator<char>(output)), std::istreambuf_iterator<char>()).c_str());
        return std::nullopt;
    }
    Start start;
    long long shownNs = -1, begunNs = -1, frameNs = -1;
    std::string line;
    while (std::getline(in, line)) {
        std::istringstream words(line);
        std::string key;
        words >> key;
        if (key == "window_shown_ns") words >> shownNs;
        if (key == "first_frame_ns") words >> frameNs;
        if (key == "frame_begun_ns") words >> begunNs;
        if (key == "phase") {
            const size_t last = line.rfind(' ');
            start.phases.emplace_back(line.substr(6, last - 6), std::atof(line.c_str() + last + 1));
        }
    }
    std::remove(report.c_str());
    std::remove(log.c_str());
    start.firstFrameMs = double(frameNs - execNs) / 1e6;
    start.blackMs = shownNs >= 0 ? double(frameNs - shownNs) / 1e6 : 0;
    start.frameMs = begunNs >= 0 ? double(frameNs - begunNs) / 1e6 : 0;
    start.peakMb = double(usage.ru_maxrss) / 1024.0;  // kilobytes
    return start;
}

double Median(std::vector<double> values)
{
    if (values.empty()) return 0;
    std::sort(values.begin(), values.end());
    const size_t n = values.size();
    return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

struct Summary {
    double firstFrameMs, blackMs, frameMs, peakMb;
    std::vector<std::pair<std::string, double>> phases;  // medians, in the order reported
};

std::optional<Summary> Summarise(const std::vector<Start>& starts)
{
    if (starts.empty()) return std::nullopt;
    Summary s;
    std::vector<double> frame, black, drawing, peak;
    std::vector<std::string> order;
    std::map<std::string, std::vector<double>> phases;
    for (const Start& start : starts) {
        frame.push_back(start.firstFrameMs);
        black.push_back(start.blackMs);
        drawing.push_back(start.frameMs);
        peak.push_back(start.peakMb);
        for (const auto& [name, ms] : start.phases) {
            if (!phases.count(name)) order.push_back(name);
            phases[name].push_back(ms);
        }
    }
    s.firstFrameMs = Median(frame);
    s.blackMs = Median(black);
    s.frameMs = Median(drawing);
    s.peakMb = Median(peak);
    for (const std::string& name : order) {
        std::vector<double>& values = phases[name];
        values.resize(starts.size(), 0.0);  // a start without the phase spent nothing in it
        s.phases.emplace_back(name, Median(values));
    }
    return s;
}

double Phase(const Summary& s, const std::string& name)
{
    for (const auto& [phase, ms] : s.phases)
        if (phase == name) return ms;
    return 0;
}

void Goal(const char* what, double value, const char* unit, double limit)
{
    std::printf("  %-58s %8.1f %-2s (goal %.1f): %s\n", what, value, unit, limit, value <= limit ? "met" : "NOT met");
}

}  // namespace

int main(int argc, char** argv)
{
    int runs = 5;
    std::string game = SAUNO_GAME, floorProgram = SAUNO_FLOOR;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--runs" && i + 1 < argc) runs = std::max(1, std::atoi(argv[++i]));
        else if (arg == "--game" && i + 1 < argc) game = argv[++i];
        else if (arg == "--floor" && i + 1 < argc) floorProgram = argv[++i];
        else {
            std::fprintf(stderr, "usage: bench_startup [--runs N] [--game PATH] [--floor PATH]\n");
            return 2;
        }
    }
    if (!std::getenv("DISPLAY")) {
        std::fprintf(stderr, "bench_startup: no DISPLAY; run it under a display (xvfb-run -a ...)\n");
        return 2;
    }
    const std::string loadBefore = LoadAverage();
    std::vector<Start> games, floors;
    // Alternated, so that both see the same changes of load.
    for (int i = 0; i < runs; ++i) {
        if (auto s = RunOnce(game, 2 * i)) games.push_back(*s);
        if (auto s = RunOnce(floorProgram, 2 * i + 1)) floors.push_back(*s);
    }
    const std::optional<Summary> g = Summarise(games), f = Summarise(floors);
    std::printf("bench_startup: %zu of %d starts of %s, %zu of the floor; load average %s before, %s after\n",
                games.size(), runs, game.c_str(), floors.size(), loadBefore.c_str(), LoadAverage().c_str());
    if (!g || !f) return 1;

    std::printf("\nthe game (medians)\n");
    std::printf("  %-58s %8.1f ms\n", "exec to the first frame on screen", g->firstFrameMs);
    std::printf("  %-58s %8.1f ms\n", "window shown to that frame (black meanwhile)", g->blackMs);
    std::printf("  %-58s %8.1f ms\n", "drawing that frame", g->frameMs);
    std::printf("  %-58s %8.1f MB\n", "peak resident memory", g->peakMb);
    std::printf("  phases, as the game measures them (ms; decode and \"ahead:\" run on the second thread)\n");
    for (const auto& [name, ms] : g->phases) std::printf("    %-56s %8.1f\n", name.c_str(), ms);
    std::printf("\nthe floor: decode the seven pictures and upload them with mipmaps, alone (medians)\n");
    std::printf("  %-58s %8.1f ms\n", "exec to the first frame on screen", f->firstFrameMs);
    std::printf("  %-58s %8.1f MB\n", "peak resident memory", f->peakMb);
    for (const auto& [name, ms] : f->phases) std::printf("    %-56s %8.1f\n", name.c_str(), ms);

    const double description = Phase(*g, "description: parse") + Phase(*g, "description: components");
    // The window may be black only while the frame that shows the room is drawn: the time
    // from its appearance to that frame, less the drawing, is the loop's one turn (5 ms here).
    const double oneFrame = g->frameMs + 5;
    std::printf("\ngoals\n");
    Goal("exec to the first frame on screen", g->firstFrameMs, "ms", 300);
    Goal("exec to the first frame, against 1.5 x the floor", g->firstFrameMs, "ms", 1.5 * f->firstFrameMs);
    Goal("black window, against one frame", g->blackMs, "ms", oneFrame);
    Goal("peak resident memory of the start", g->peakMb, "MB", 100);
    Goal("the scene description read", description, "ms", 30);
    Goal("the seven textures built", Phase(*g, "textures"), "ms", 120);
    return 0;
}
