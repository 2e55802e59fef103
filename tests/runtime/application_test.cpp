#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

#include "platform/clock.h"
#include "platform/exception.h"
#include "platform/window.h"
#include "runtime/application.h"
#include "runtime/forms.h"
#include "runtime/timer.h"

using namespace sauno;

namespace {

class ApplicationTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        Application().Initialize();
        Application().ResetTerminated();
        errors.clear();
        Application().OnException = [this](const std::string& text) { errors.push_back(text); };
        Application().ProcessMessages();
    }
    void TearDown() override { Application().OnException = nullptr; }

    // Runs the loop for about `ms` milliseconds.
    static void RunFor(int ms)
    {
        auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
        while (std::chrono::steady_clock::now() < end) Application().HandleMessage(5);
    }
    std::vector<std::string> errors;
};

}  // namespace

TEST_F(ApplicationTest, PostedMessagesRunInOrderAndTerminateEndsTheLoopAfterTheCurrentOne)
{
    std::vector<int> seen;
    Application().PostMessage([&] { seen.push_back(1); });
    Application().PostMessage([&] {
        seen.push_back(2);
        Application().Terminate();
        seen.push_back(3);
    });
    Application().PostMessage([&] { seen.push_back(4); });
    Application().Run();
    EXPECT_EQ(seen, (std::vector<int>{1, 2, 3}));
    Application().ResetTerminated();
    Application().ProcessMessages();
    EXPECT_EQ(seen.back(), 4);
}

TEST_F(ApplicationTest, AnErrorInAHandlerIsReportedAndTheLoopGoesOn)
{
    bool after = false;
    Application().PostMessage([] { throw Exception("File not found: \"x\""); });
    Application().PostMessage([&] { after = true; });
    Application().ProcessMessages();
    ASSERT_EQ(errors.size(), 1u);
    EXPECT_EQ(errors[0], "File not found: \"x\"");
    EXPECT_TRUE(after);
}

TEST_F(ApplicationTest, HandOverRunsOnTheMainThreadAndCarriesItsErrorBack)
{
    std::thread::id ranOn;
    std::atomic<bool> done{false};
    std::string carried;
    std::thread worker([&] {
        Application().Synchronize([&] { ranOn = std::this_thread::get_id(); });
        try {
            Application().Synchronize([] { throw Exception("boom"); });
        } catch (const Exception& e) {
            carried = e.what();
        }
        done = true;
    });
    Application().ServeHandOversUntil([&] { return done.load(); });
    worker.join();
    EXPECT_EQ(ranOn, std::this_thread::get_id());
    EXPECT_EQ(carried, "boom");
    EXPECT_TRUE(errors.empty());  // the error went back to the caller, not to the message box
}

TEST_F(ApplicationTest, ATimerTicksOnTheMainThreadWithAtMostOneTickPending)
{
    TTimer timer(nullptr);
    int ticks = 0;
    timer.OnTimer = [&](TComponent*) { ++ticks; };
    timer.SetInterval(20);
    timer.SetEnabled(false);
    timer.SetEnabled(true);
    // The loop is busy for several periods: only one tick comes out of it.
    std::this_thread::sleep_for(std::chrono::milliseconds(90));
    Application().ProcessMessages();
    EXPECT_EQ(ticks, 1);
    RunFor(110);
    EXPECT_GE(ticks, 3);
    EXPECT_LE(ticks, 7);
    timer.SetEnabled(false);
    int stopped = ticks;
    RunFor(60);
    EXPECT_EQ(ticks, stopped);
}

TEST_F(ApplicationTest, EnablingATimerAgainStartsAFreshPeriod)
{
    TTimer timer(nullptr);
    int ticks = 0;
    timer.OnTimer = [&](TComponent*) { ++ticks; };
    timer.SetInterval(100);
    RunFor(70);
    timer.SetEnabled(false);
    timer.SetEnabled(true);  // 70 ms of the first period are forgotten
    RunFor(60);
    EXPECT_EQ(ticks, 0);
    RunFor(80);
    EXPECT_EQ(ticks, 1);
}

TEST_F(ApplicationTest, ATimerErrorIsShownAndTheTimerKeepsTicking)
{
    TTimer timer(nullptr);
    int ticks = 0;
    timer.OnTimer = [&](TComponent*) {
        ++ticks;
        throw Exception("tick failed");
    };
    timer.SetInterval(10);
    RunFor(60);
    EXPECT_GE(ticks, 2);
    EXPECT_EQ(errors.size(), static_cast<size_t>(ticks));
}

namespace {
// Records, for each of its paints, whether its form's window was on screen.
class ShownRecorder : public TControl {
public:
    using TControl::TControl;
    void Paint() override { shown.push_back(ParentForm()->Window().Shown()); }
    std::vector<bool> shown;
};
}  // namespace

TEST_F(ApplicationTest, AFormDrawsItsFirstFrameBeforeItsWindowAppearsAndAgainOnScreen)
{
    TCustomForm form(nullptr);
    auto* control = new ShownRecorder(&form);
    control->SetParentComponent(&form);
    form.Show();
    // What the first frame builds is ready before the window is seen: it is drawn hidden.
    ASSERT_EQ(control->shown, std::vector<bool>{false});
    Application().ProcessMessages();
    ASSERT_GE(control->shown.size(), 2u);
    EXPECT_TRUE(control->shown[1]);
    // Shown again later: nothing is drawn hidden any more.
    const size_t paints = control->shown.size();
    form.Show();
    Application().ProcessMessages();
    for (size_t i = paints; i < control->shown.size(); ++i) EXPECT_TRUE(control->shown[i]);
}

namespace {

// A window of no platform window: it counts its paints and is invalidated by its key events.
struct CountingSink : WindowEventSink {
    void HandleEvent(const SDL_Event&) override { Application().Invalidate(this); }
    void Paint() override { paints.push_back(platform::PerformanceCounter()); }
    std::vector<int64_t> paints;
};

void PushKey(uint32_t windowId)
{
    SDL_Event event{};
    event.type = SDL_KEYDOWN;
    event.key.windowID = windowId;
    event.key.keysym.sym = SDLK_a;
    SDL_PushEvent(&event);
}

}  // namespace

TEST_F(ApplicationTest, PacedPaintsHoldATimedChangeForTheNextAndDrawInputAtOnce)
{
    constexpr int64_t period = 16'666'667;
    constexpr uint32_t id = 4242;
    CountingSink sink;
    Application().RegisterWindow(id, &sink);
    Application().SetFramePeriod(period);
    std::this_thread::sleep_for(std::chrono::milliseconds(120));  // the picture stands still

    // A timer's change and another's 5 ms later share one frame, a period after the first.
    const int64_t changed = platform::PerformanceCounter();
    Application().PostMessage([&] { Application().Invalidate(&sink); });
    Application().PostMessageAt(changed + 5'000'000, [&] { Application().Invalidate(&sink); });
    Application().ProcessMessages();
    EXPECT_TRUE(sink.paints.empty()) << "a timed change drawn at once";
    RunFor(60);
    ASSERT_EQ(sink.paints.size(), 1u);
    EXPECT_GE(sink.paints[0] - changed, period);

    // A key on a still picture is drawn without waiting.
    std::this_thread::sleep_for(std::chrono::milliseconds(120));
    PushKey(id);
    Application().ProcessMessages();
    EXPECT_EQ(sink.paints.size(), 2u) << "a key's change waited";

    // A moving picture: changes every millisecond, frames a period apart at the least.
    sink.paints.clear();
    const int64_t start = platform::PerformanceCounter();
    for (int i = 1; i <= 100; ++i)
        Application().PostMessageAt(start + i * 1'000'000, [&] { Application().Invalidate(&sink); });
    RunFor(130);
    ASSERT_GE(sink.paints.size(), 3u);
    for (size_t i = 1; i < sink.paints.size(); ++i) EXPECT_GE(sink.paints[i] - sink.paints[i - 1], period);

    // Without a period a change is drawn as soon as nothing else is pending.
    Application().SetFramePeriod(0);
    sink.paints.clear();
    Application().PostMessage([&] { Application().Invalidate(&sink); });
    Application().ProcessMessages();
    EXPECT_EQ(sink.paints.size(), 1u);
    Application().UnregisterWindow(id);
}

TEST_F(ApplicationTest, DueMessagesRunInTheOrderOfTheirTimesAndNoSooner)
{
    std::vector<int> seen;
    std::vector<int64_t> at;
    const int64_t now = platform::PerformanceCounter();
    Application().PostMessageAt(now + 30'000'000, [&] { seen.push_back(2), at.push_back(platform::PerformanceCounter()); });
    Application().PostMessageAt(now + 10'000'000, [&] { seen.push_back(1), at.push_back(platform::PerformanceCounter()); });
    Application().ProcessMessages();
    EXPECT_TRUE(seen.empty());
    RunFor(60);
    ASSERT_EQ(seen, (std::vector<int>{1, 2}));
    EXPECT_GE(at[0] - now, 10'000'000);
    EXPECT_GE(at[1] - now, 30'000'000);
}

TEST_F(ApplicationTest, AHandOverWakesTheLoopBlockedInItsEventWait)
{
    // A window, as the game has: the loop then waits on its display connection.
    platform::Window window("wake", 0, 0, 32, 32, platform::GLPixelFormat{}, platform::WindowStyle::Normal);
    Application().ProcessMessages();
    std::atomic<bool> ran{false};
    std::thread worker([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));  // the loop is waiting by then
        Application().Synchronize([&] { ran = true; });
    });
    const auto start = std::chrono::steady_clock::now();
    // Nothing else is due: only the hand-over can end the wait before its two seconds.
    while (!ran && std::chrono::steady_clock::now() - start < std::chrono::seconds(2)) Application().HandleMessage(2000);
    const auto waited = std::chrono::steady_clock::now() - start;
    Application().ServeHandOversUntil([&] { return ran.load(); });  // never leaves the worker waiting
    worker.join();
    EXPECT_TRUE(ran);
    EXPECT_LT(waited, std::chrono::milliseconds(1000)) << "the hand-over waited for something else to wake the loop";
}
