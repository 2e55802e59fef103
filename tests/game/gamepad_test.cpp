// The gamepad, driven through SDL's virtual joystick: a pad plugged in while the game runs,
// its presses travelling SDL's event queue and the application's loop to the game's rules.
#include <SDL.h>

#include <chrono>

#include "tests/game/game_fixture.h"

using namespace sauno;
using sauno::testing::GameTest;

namespace {

class VirtualPad {
public:
    VirtualPad()
    {
        SDL_VirtualJoystickDesc desc;
        SDL_zero(desc);
        desc.version = SDL_VIRTUAL_JOYSTICK_DESC_VERSION;
        desc.type = SDL_JOYSTICK_TYPE_GAMECONTROLLER;
        desc.naxes = SDL_CONTROLLER_AXIS_MAX;
        desc.nbuttons = SDL_CONTROLLER_BUTTON_MAX;
        desc.name = "test pad";
        index_ = SDL_JoystickAttachVirtualEx(&desc);
        joystick_ = index_ >= 0 ? SDL_JoystickOpen(index_) : nullptr;
        if (!joystick_) return;
        Axis(SDL_CONTROLLER_AXIS_TRIGGERLEFT, 0);
        Axis(SDL_CONTROLLER_AXIS_TRIGGERRIGHT, 0);
    }
    ~VirtualPad() { Unplug(); }
    bool Ready() const { return joystick_ != nullptr; }
    void Button(SDL_GameControllerButton button, bool down) { SDL_JoystickSetVirtualButton(joystick_, button, down); }
    // A trigger's travel 0..32767 as the controller reports it; the joystick under it spans
    // the whole signed range.
    void Axis(SDL_GameControllerAxis axis, int value)
    {
        SDL_JoystickSetVirtualAxis(joystick_, axis, static_cast<Sint16>(value * 2 - 32767));
    }
    void Unplug()
    {
        if (!joystick_) return;
        SDL_JoystickClose(joystick_);
        SDL_JoystickDetachVirtual(index_);
        joystick_ = nullptr;
    }

private:
    int index_ = -1;
    SDL_Joystick* joystick_ = nullptr;
};

class GamepadTest : public GameTest {
protected:
    // SDL turns the pad's new state into events when it pumps; the loop then hands them over.
    void Pump()
    {
        const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(60);
        while (std::chrono::steady_clock::now() < end) Application().HandleMessage(2);
    }
    void Press(SDL_GameControllerButton button)
    {
        pad->Button(button, true);
        Pump();
        pad->Button(button, false);
        Pump();
    }
    void Pull(SDL_GameControllerAxis trigger, int value)
    {
        pad->Axis(trigger, value);
        Pump();
    }
    // The game built and a pad plugged in after it.
    TForm1& BuildWithPad()
    {
        TForm1& f = Build();
        pad = std::make_unique<VirtualPad>();
        EXPECT_TRUE(pad->Ready()) << SDL_GetError();
        Pump();
        return f;
    }
    void TearDown() override
    {
        pad.reset();
        GameTest::TearDown();
    }
    std::unique_ptr<VirtualPad> pad;
};

}  // namespace

TEST_F(GamepadTest, APadPluggedInLaterThrowsWithShouldersAndTriggersInTurn)
{
    TForm1& f = BuildWithPad();
    ASSERT_EQ(f.gamepads->PadCount(), 1);
    Press(SDL_CONTROLLER_BUTTON_A);  // starts the countdown
    for (int i = 0; i < 3; ++i) f.countdowntimerTimer(f.countdowntimer);
    ASSERT_FALSE(f.waitingForStart);
    f.tolerance = 50;
    Press(SDL_CONTROLLER_BUTTON_LEFTSHOULDER);
    Press(SDL_CONTROLLER_BUTTON_LEFTSHOULDER);
    EXPECT_DOUBLE_EQ(f.tolerance, 51) << "the same side twice in a row";
    // A trigger throws when pulled past half its travel, and again only after it was let go.
    Pull(SDL_CONTROLLER_AXIS_TRIGGERRIGHT, 12000);
    EXPECT_DOUBLE_EQ(f.tolerance, 51);
    Pull(SDL_CONTROLLER_AXIS_TRIGGERRIGHT, 20000);
    EXPECT_DOUBLE_EQ(f.tolerance, 52);
    Pull(SDL_CONTROLLER_AXIS_TRIGGERRIGHT, 0);
    Pull(SDL_CONTROLLER_AXIS_TRIGGERLEFT, 32767);
    Pull(SDL_CONTROLLER_AXIS_TRIGGERLEFT, 0);
    Press(SDL_CONTROLLER_BUTTON_RIGHTSHOULDER);
    EXPECT_DOUBLE_EQ(f.tolerance, 54);
    EXPECT_EQ(f.toohotarvo->Text(), "54");
    // Unplugged with a shoulder held, it is gone and lets go of the key it held: the release
    // SDL sends for it comes before the removal, while the pad is still known.
    pad->Button(SDL_CONTROLLER_BUTTON_LEFTSHOULDER, true);
    Pump();
    EXPECT_DOUBLE_EQ(f.tolerance, 55);
    EXPECT_TRUE(IsVirtualKeyDown(vk::Left));
    pad->Unplug();
    Pump();
    EXPECT_EQ(f.gamepads->PadCount(), 0);
    EXPECT_FALSE(IsVirtualKeyDown(vk::Left));
    EXPECT_TRUE(f.keyLatch);
    EXPECT_TRUE(errors.empty()) << errors.front();
}

TEST_F(GamepadTest, ADrinksBAndStartAskAndABAnswerTheQuestions)
{
    TForm1& f = BuildWithPad();
    Press(SDL_CONTROLLER_BUTTON_A);
    EXPECT_TRUE(f.countdowntimer->Enabled());
    for (int i = 0; i < 3; ++i) f.countdowntimerTimer(f.countdowntimer);
    Press(SDL_CONTROLLER_BUTTON_A);
    EXPECT_EQ(f.beersLeft, 2);
    // B asks; B again is "n": the visit goes on.
    Press(SDL_CONTROLLER_BUTTON_B);
    EXPECT_TRUE(f.quitPending);
    EXPECT_FALSE(f.sietod->Enabled());
    Press(SDL_CONTROLLER_BUTTON_B);
    EXPECT_FALSE(f.quitPending);
    EXPECT_TRUE(f.sietod->Enabled());
    EXPECT_FALSE(Application().Terminated());
    EXPECT_EQ(f.beersLeft, 2) << "an answer is not a beer";
    // Start asks too, and A is "y".
    Press(SDL_CONTROLLER_BUTTON_START);
    EXPECT_TRUE(f.quitPending);
    Press(SDL_CONTROLLER_BUTTON_A);
    EXPECT_TRUE(Application().Terminated());
}

TEST_F(GamepadTest, AfterAVisitAPlaysAgainWithoutStartingAndBQuits)
{
    TForm1& f = BuildWithPad();
    Press(SDL_CONTROLLER_BUTTON_A);
    for (int i = 0; i < 3; ++i) f.countdowntimerTimer(f.countdowntimer);
    f.tolerance = 0.5;
    f.sietodTimer(f.sietod);
    ASSERT_TRUE(f.gameOver);
    Press(SDL_CONTROLLER_BUTTON_A);
    EXPECT_FALSE(f.gameOver);
    EXPECT_TRUE(f.waitingForStart);
    EXPECT_FALSE(f.countdowntimer->Enabled()) << "the press that answered also started the visit";
    EXPECT_FALSE(f.hisco->Visible());
    Press(SDL_CONTROLLER_BUTTON_A);
    for (int i = 0; i < 3; ++i) f.countdowntimerTimer(f.countdowntimer);
    f.tolerance = 0.5;
    f.sietodTimer(f.sietod);
    ASSERT_TRUE(f.gameOver);
    Press(SDL_CONTROLLER_BUTTON_B);
    EXPECT_TRUE(Application().Terminated());
}
