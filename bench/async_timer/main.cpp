// Tick error of the asynchronous timer: for each tick, the time its handler runs on the main
// thread minus the time intended for it. The timer counts each interval from the counter reading
// at which it saw the previous tick due (the first from its first reading after enabling), so
// that reading plus the interval is the intended time; a clock wrapper hands it over.
// Printed in milliseconds: median, p99, maximum. With --loop the main thread takes the ticks in
// the application's loop (needs a display), with a cmASAP cadencer on a scene as the game has:
// --loop spins as the uncapped game does (maxfps=0), --loop --paced steps it 60 times a second
// and waits in the event wait in between, as the game does by default.
#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstring>
#include <memory>
#include <vector>

#include "engine/asynctimer.h"
#include "engine/cadencer.h"
#include "engine/scene.h"
#include "platform/window.h"
#include "platform/clock.h"
#include "runtime/application.h"

using namespace sauno;

namespace {

// The platform's clocks, remembering the timer thread's first and latest counter readings.
class RecordingClock : public TTimingClock {
public:
    int64_t PerformanceCounter() override
    {
        int64_t now = SystemTimingClock().PerformanceCounter();
        int64_t none = -1;
        first.compare_exchange_strong(none, now);
        last = now;
        return now;
    }
    int64_t PerformanceFrequency() override { return SystemTimingClock().PerformanceFrequency(); }
    uint32_t TickCount() override { return SystemTimingClock().TickCount(); }
    double LocalDateTimeDays() override { return SystemTimingClock().LocalDateTimeDays(); }
    void SleepMilliseconds(int ms) override { SystemTimingClock().SleepMilliseconds(ms); }

    std::atomic<int64_t> first{-1};
    std::atomic<int64_t> last{0};
};

struct Figures {
    double median, p99, max, min;
};

// `loop`: the main thread takes the ticks as the game does, blocked in the application's event
// wait between them, instead of waiting for hand-overs alone.
Figures Measure(uint16_t periodMs, int tickCount, bool loop)
{
    RecordingClock clock;
    TComponent owner{nullptr};
    auto* timer = new TAsyncTimer(&owner, clock);
    std::vector<double> errors;
    errors.reserve(static_cast<size_t>(tickCount));
    const int64_t period = static_cast<int64_t>(periodMs) * 1'000'000;
    int64_t seen = -1;  // the reading at which the previous tick was seen due
    timer->OnTimer = [&](TComponent*) {
        int64_t now = platform::PerformanceCounter();
        int64_t intended = (seen < 0 ? clock.first.load() : seen) + period;
        errors.push_back(static_cast<double>(now - intended) / 1e6);
        seen = clock.last;  // the thread waits in this hand-over: its latest reading saw this tick due
    };
    timer->SetInterval(periodMs);
    timer->SetEnabled(true);
    if (loop) {
        while (errors.size() < static_cast<size_t>(tickCount)) Application().HandleMessage(-1);
    } else {
        Application().ServeHandOversUntil([&] { return errors.size() >= static_cast<size_t>(tickCount); });
    }
    timer->SetEnabled(false);

    std::sort(errors.begin(), errors.end());
    size_t n = errors.size();
    auto rank = [&](double q) { return errors[std::min(n - 1, static_cast<size_t>(q * static_cast<double>(n - 1) + 0.5))]; };
    return {rank(0.5), rank(0.99), errors.back(), errors.front()};
}

}  // namespace

int main(int argc, char** argv)
{
    bool quick = false, loop = false, paced = false;
    for (int i = 1; i < argc; ++i) {
        quick = quick || std::strcmp(argv[i], "--quick") == 0;
        loop = loop || std::strcmp(argv[i], "--loop") == 0;
        paced = paced || std::strcmp(argv[i], "--paced") == 0;
    }
    TComponent owner{nullptr};
    std::unique_ptr<platform::Window> window;  // the game's loop waits on its display connection
    if (loop) {
        Application().Initialize();
        window = std::make_unique<platform::Window>("bench", 0, 0, 64, 64, platform::GLPixelFormat{},
                                                    platform::WindowStyle::Normal);
        if (paced) Application().SetFramePeriod(16'666'667);
        auto* scene = new TScene(&owner);
        auto* cadencer = new TCadencer(&owner);
        cadencer->SetScene(scene);
    }
    struct Run {
        uint16_t period;
        int ticks;
    };
    const Run runs[] = {{1000, quick ? 30 : 200}, {500, 200}, {120, 200}};
    std::printf("asynchronous timer tick error (actual minus intended, ms)%s%s\n",
                quick ? "; --quick: the 1000 ms run has 30 ticks only" : "",
                loop ? (paced ? "; taken in the paced loop" : "; taken in the spinning loop") : "");
    std::printf("%8s %6s %9s %9s %9s %9s\n", "period", "ticks", "median", "p99", "max", "min");
    for (const Run& run : runs) {
        Figures f = Measure(run.period, run.ticks, loop);
        std::printf("%6u ms %6d %9.3f %9.3f %9.3f %9.3f\n", run.period, run.ticks, f.median, f.p99, f.max, f.min);
        std::fflush(stdout);
    }
    return 0;
}
