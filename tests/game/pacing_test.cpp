// How often the real game draws, played from outside on a virtual X server of its own: a still
// picture costs no frames but the clock's, a key is drawn in the very next frame, a drag is drawn
// at the frame cap, and maxfps=0 draws as fast as the loop can, as the engine always did.
#include <gtest/gtest.h>

#include <algorithm>

#include "tests/game/played_game.h"

using namespace sauno::played;

namespace {

constexpr double kPeriodMs = 1000.0 / 60;

class Pacing : public ::testing::Test {
protected:
    // The game started with `settings`, its first frame drawn and a second of calm after it.
    void Play(const std::string& settings, bool fullScreen = false)
    {
        ASSERT_TRUE(display.Ok()) << "no virtual X server";
        game = std::make_unique<PlayedGame>(display, SAUNO_BUILD_DIR, settings);
        ASSERT_TRUE(game->Start()) << game->Error();
        if (fullScreen) {
            ASSERT_TRUE(game->WaitWindow(display.Width(), display.Height(), 6)) << game->Error();
        }
        // Drawn: the labels show. Then calm: half a second without a frame.
        const int64_t deadline = Now() + 20'000'000'000;
        while (game->WhitePixels(0, 65, 90, 18) < 12 && Now() < deadline) Sleep(0.1);
        ASSERT_GE(game->WhitePixels(0, 65, 90, 18), 12) << "nothing drawn";
        while (Now() < deadline) {
            const auto frames = game->Frames();
            if (frames.empty() || Now() - frames.back().drawn > 500'000'000) break;
            Sleep(0.1);
        }
    }
    int FramesIn(double seconds)
    {
        const int64_t from = Now();
        Sleep(seconds);
        const int64_t to = Now();
        Sleep(0.05);  // a frame begun before `to` reaches the log
        return game->FramesBetween(from, to);
    }
    int FramesDuringDrag(double seconds)
    {
        const int64_t from = Now();
        game->Drag(seconds);
        const int64_t to = Now();
        Sleep(0.05);
        return game->FramesBetween(from, to);
    }
    // Milliseconds from the key's event to the start of the first frame after it; waits for
    // calm first: 0.4 s after the last frame, so that no frame is being drawn when it comes.
    double KeyToFrameMs(const char* key)
    {
        const auto frames = game->Frames();
        if (!frames.empty()) SleepUntil(std::max(Now(), frames.back().drawn + 400'000'000));
        const int64_t sent = game->Tap(key);
        Frame frame{};
        if (!game->FirstFrameAfter(sent, frame)) return 1e9;
        return static_cast<double>(frame.began - sent) / 1e6;
    }
    void TearDown() override
    {
        if (game && game->Running()) {
            EXPECT_TRUE(game->Quit()) << game->Output();
        }
    }

    explicit Pacing(const char* screen = "1024x768x24") : display(screen) {}
    OwnDisplay display;
    std::unique_ptr<PlayedGame> game;
};

// A screen small enough for the software rasteriser to draw it faster than the cap.
class FullScreenPacing : public Pacing {
protected:
    FullScreenPacing() : Pacing("640x480x24") {}
};

TEST_F(Pacing, AStillSecondDrawsNothingButTheClock)
{
    Play("[Misc]\nName=still\n");
    EXPECT_EQ(FramesIn(3), 0) << "frames while the start question stands still";
    game->Tap("Return");
    Sleep(3.6);  // the countdown; then the clock and the drain tick together each second
    const int frames = FramesIn(6);
    EXPECT_LE(frames, 7) << "the clock's second and the drain's tick drawn apart, or frames without a change";
    EXPECT_GE(frames, 3) << "the clock is not drawn each second";
}

TEST_F(Pacing, AKeyIsDrawnInTheNextFrame)
{
    Play("[Misc]\nName=keys\n");
    // The question's right part: its left gives way to the countdown's digit.
    ASSERT_GT(game->WhitePixels(60, 0, 100, 16), 12) << "no start question";
    std::vector<double> ms{KeyToFrameMs("Return")};
    // The one frame Enter makes shows its effect: the question has gone.
    const int64_t after = Now();
    Sleep(0.3);
    EXPECT_EQ(game->FramesBetween(after - 300'000'000, after + 300'000'000), 1);
    EXPECT_LE(game->WhitePixels(60, 0, 100, 16), 3) << "the frame after Enter still shows the question";
    Sleep(3.3);
    for (int beer = 0; beer < 3; ++beer) ms.push_back(KeyToFrameMs("Return"));
    std::sort(ms.begin(), ms.end());
    EXPECT_LT(ms[ms.size() / 2], kPeriodMs / 2) << "a key's frame waited for a frame slot";
    EXPECT_LT(ms.back(), 2 * kPeriodMs) << "a key's frame came a frame late";
}

TEST_F(Pacing, ADragIsDrawnAtTheCap)
{
    Play("[Misc]\nName=drag\n");
    const int frames = FramesDuringDrag(2);
    EXPECT_LE(frames, 2 * 60 + 1) << "more frames than the cap";
    EXPECT_GE(frames, 2 * 30) << "the drag is not drawn smoothly";
}

TEST_F(Pacing, UncappedDrawsAsFastAsTheLoopCan)
{
    Play("[Graphics]\nmaxfps=0\n");
    // As before: the loop spins, but draws nothing that did not change.
    const double cpu = game->CpuSeconds();
    EXPECT_EQ(FramesIn(2), 0) << "frames without a change";
    EXPECT_GT(game->CpuSeconds() - cpu, 2 * 0.2) << "the loop waits";
    // More frames than the cap allows, however busy the machine is.
    EXPECT_GT(FramesDuringDrag(2), 2 * 60 + 5) << "maxfps=0 is capped";
}

TEST_F(FullScreenPacing, IsPacedAsTheWindow)
{
    Play("[Graphics]\nresow=" + std::to_string(display.Width()) + "\nresoh=" + std::to_string(display.Height()) +
             "\nmode=fullscreen\n",
         true);
    EXPECT_EQ(FramesIn(2), 0) << "frames while the start question stands still";
    const int frames = FramesDuringDrag(2);
    EXPECT_LE(frames, 2 * 60 + 1) << "more frames than the cap";
    EXPECT_GE(frames, 2 * 15) << "the drag is not drawn smoothly";
}

}  // namespace
