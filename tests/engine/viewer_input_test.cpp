// The viewers' input under a real X server: the pointer, buttons, wheel and keys come from
// xdotool as a user's would, and reach the handlers through the application's loop.
#include <gtest/gtest.h>
#include <SDL.h>
#include <SDL_syswm.h>
// The X headers' macros would shadow names below.
#undef None
#undef Bool
#undef Status

#include <cstdlib>
#include <string>
#include <vector>

#include "engine/viewer.h"
#include "platform/clock.h"
#include "runtime/application.h"
#include "runtime/forms.h"
#include "runtime/properties.h"
#include "runtime/timer.h"

using namespace sauno;

namespace {

unsigned long XWindowOf(SDL_Window* window)
{
    SDL_SysWMinfo info;
    SDL_VERSION(&info.version);
    if (SDL_GetWindowWMInfo(window, &info) != SDL_TRUE) return 0;
    return info.info.x11.window;
}

// Runs an xdotool command line against window `wid`, then serves the loop until `done` holds
// or two seconds have passed.
template <class Done>
bool Drive(unsigned long wid, const std::string& commands, Done done)
{
    const std::string line = "xdotool " + commands;
    std::string expanded;
    for (size_t i = 0; i < line.size(); ++i) {
        if (line.compare(i, 3, "WID") == 0) {
            expanded += std::to_string(wid);
            i += 2;
        } else {
            expanded += line[i];
        }
    }
    if (std::system(expanded.c_str()) != 0) return false;
    const int64_t end = platform::PerformanceCounter() + 2'000'000'000;
    while (!done() && platform::PerformanceCounter() < end) Application().HandleMessage(20);
    Application().ProcessMessages();
    return done();
}

bool Settle()
{
    const int64_t end = platform::PerformanceCounter() + 200'000'000;
    while (platform::PerformanceCounter() < end) Application().HandleMessage(20);
    return true;
}

}  // namespace

TEST(SceneViewerInput, EnterLeaveClicksAndReleasesReachTheControlUnderThePointer)
{
    Application().Initialize();
    TCustomForm form(nullptr);
    form.ClientWidth = 300;
    form.ClientHeight = 200;
    auto* viewer = new TSceneViewer(&form);
    viewer->Left = 100;
    viewer->Top = 50;
    viewer->Width = 120;
    viewer->Height = 100;
    viewer->SetParentComponent(&form);
    viewer->Loaded();
    ASSERT_TRUE(viewer->GLAvailable());

    std::vector<std::string> seen;
    viewer->OnMouseEnter = [&](TComponent* s) { seen.push_back(s == viewer ? "enter" : "enter?"); };
    viewer->OnMouseLeave = [&](TComponent* s) { seen.push_back(s == viewer ? "leave" : "leave?"); };
    viewer->OnClick = [&](TComponent*) { seen.push_back("click"); };
    viewer->OnDblClick = [&](TComponent*) { seen.push_back("dblclick"); };
    viewer->OnMouseDown = [&](TComponent*, TMouseButton b, TShiftState, int x, int y) {
        seen.push_back("down" + std::to_string(static_cast<int>(b)) + "@" + std::to_string(x) + "," + std::to_string(y));
    };
    viewer->OnMouseUp = [&](TComponent*, TMouseButton b, TShiftState, int x, int y) {
        seen.push_back("up" + std::to_string(static_cast<int>(b)) + "@" + std::to_string(x) + "," + std::to_string(y));
    };
    form.Show();
    const unsigned long wid = XWindowOf(form.Window().Handle());
    ASSERT_NE(wid, 0u);
    Settle();

    // Over the form but not the viewer, then onto it: one enter, the flag on.
    ASSERT_TRUE(Drive(wid, "mousemove --window WID 20 20", [] { return true; }));
    Settle();
    EXPECT_TRUE(seen.empty());
    ASSERT_TRUE(Drive(wid, "mousemove --window WID 130 80", [&] { return !seen.empty(); }));
    EXPECT_EQ(seen, std::vector<std::string>{"enter"});
    EXPECT_TRUE(viewer->MouseInControl());

    // A click: press, then the click before the release, at the control's own coordinates.
    seen.clear();
    ASSERT_TRUE(Drive(wid, "click 1", [&] { return seen.size() >= 3; }));
    EXPECT_EQ(seen, (std::vector<std::string>{"down0@30,30", "click", "up0@30,30"}));

    // A double click is one click and one double click, never two clicks.
    Settle();  // past the double-click time of the click above
    Settle();
    Settle();
    seen.clear();
    ASSERT_TRUE(Drive(wid, "click --repeat 2 --delay 60 1", [&] { return seen.size() >= 6; }));
    EXPECT_EQ(seen, (std::vector<std::string>{"down0@30,30", "click", "up0@30,30", "dblclick", "down0@30,30",
                                              "up0@30,30"}));

    // The right button presses and releases but makes no click.
    Settle();
    Settle();
    Settle();
    seen.clear();
    ASSERT_TRUE(Drive(wid, "click 3", [&] { return seen.size() >= 2; }));
    EXPECT_EQ(seen, (std::vector<std::string>{"down1@30,30", "up1@30,30"}));

    // Pressed on the viewer, released off it: the viewer hears the release where it happened,
    // and no click; it hears the pointer leave when it does.
    Settle();
    Settle();
    Settle();
    seen.clear();
    ASSERT_TRUE(Drive(wid, "mousedown 1 mousemove --window WID 250 180 mouseup 1",
                      [&] { return seen.size() >= 3; }));
    Settle();
    EXPECT_EQ(seen, (std::vector<std::string>{"down0@30,30", "leave", "up0@150,130"}));
    EXPECT_FALSE(viewer->MouseInControl());

    // Leaving the window from over the viewer is a leave of the viewer.
    ASSERT_TRUE(Drive(wid, "mousemove --window WID 130 80", [&] { return viewer->MouseInControl(); }));
    seen.clear();
    ASSERT_TRUE(Drive(wid, "mousemove 1000 750", [&] { return !seen.empty(); }));
    EXPECT_EQ(seen, std::vector<std::string>{"leave"});

    // Hiding the viewer under the pointer is a leave too.
    ASSERT_TRUE(Drive(wid, "mousemove --window WID 130 80", [&] { return viewer->MouseInControl(); }));
    seen.clear();
    viewer->SetVisible(false);
    EXPECT_EQ(seen, std::vector<std::string>{"leave"});
    EXPECT_FALSE(viewer->MouseInControl());
}

TEST(FullScreenViewerInput, KeysTypeCharactersTheWheelTurnsAndTheCursorFollowsTheProperty)
{
    Application().Initialize();
    TComponent owner(nullptr);
    auto* viewer = new TFullScreenViewer(&owner);
    SDL_DisplayMode desktop{};
    SDL_GetDesktopDisplayMode(0, &desktop);
    viewer->SetWidth(desktop.w);
    viewer->SetHeight(desktop.h);
    viewer->SetCursor(crNone);

    std::string typed;
    std::vector<int> wheel;
    std::vector<std::string> clicks;
    viewer->OnKeyPress = [&](TComponent* s, char& key) {
        EXPECT_EQ(s, viewer);
        typed += key;
    };
    viewer->OnMouseWheel = [&](TComponent*, TShiftState, int delta, int, int, bool&) { wheel.push_back(delta); };
    viewer->OnClick = [&](TComponent*) { clicks.push_back("click"); };
    viewer->OnDblClick = [&](TComponent*) { clicks.push_back("dblclick"); };
    viewer->SetActive(true);
    ASSERT_TRUE(viewer->Active());
    // The window covers the screen, so the pointer is over it: the chosen shape shows at once.
    EXPECT_EQ(SDL_ShowCursor(SDL_QUERY), SDL_DISABLE);
    const unsigned long wid = XWindowOf(viewer->Window()->Handle());
    ASSERT_NE(wid, 0u);
    Settle();
    ASSERT_EQ(std::system(("xdotool windowfocus --sync " + std::to_string(wid)).c_str()), 0);
    Settle();

    // Printable keys by their characters (shifted too), Enter, Escape and Backspace by their
    // control codes; a key that types nothing, such as an arrow, gives none.
    ASSERT_TRUE(Drive(wid, "key a A Return Left Escape BackSpace 7",
                      [&] { return typed.size() >= 6; }));
    EXPECT_EQ(typed, std::string("aA\r\x1b\b7")) << typed.size();

    // One notch away from the user is +120, one towards is -120.
    ASSERT_TRUE(Drive(wid, "mousemove --window WID 100 100 click 4 click 5", [&] { return wheel.size() >= 2; }));
    EXPECT_EQ(wheel, (std::vector<int>{120, -120}));

    ASSERT_TRUE(Drive(wid, "click --repeat 2 --delay 60 1", [&] { return clicks.size() >= 2; }));
    EXPECT_EQ(clicks, (std::vector<std::string>{"click", "dblclick"}));

    // A new shape shows while the window is there; the arrow comes back when it goes.
    viewer->SetCursor(crDefault);
    SDL_Cursor* arrow = SDL_GetCursor();
    viewer->SetCursor(crHandPoint);
    EXPECT_EQ(SDL_ShowCursor(SDL_QUERY), SDL_ENABLE);
    EXPECT_NE(SDL_GetCursor(), arrow);
    viewer->SetCursor(crNone);
    EXPECT_EQ(SDL_ShowCursor(SDL_QUERY), SDL_DISABLE);
    viewer->SetActive(false);
    EXPECT_EQ(SDL_ShowCursor(SDL_QUERY), SDL_ENABLE);
    EXPECT_EQ(SDL_GetCursor(), arrow);
}

namespace {

// A form whose handlers record which one ran.
class InputForm : public TCustomForm {
public:
    using TCustomForm::TCustomForm;
    TNotifyEvent NotifyHandler(std::string_view name) override
    {
        return [this, n = std::string(name)](TComponent*) { ran.push_back(n); };
    }
    TMouseWheelEvent MouseWheelHandler(std::string_view name) override
    {
        return [this, n = std::string(name)](TComponent*, TShiftState, int, int, int, bool&) { ran.push_back(n); };
    }
    TKeyPressEvent KeyPressHandler(std::string_view name) override
    {
        return [this, n = std::string(name)](TComponent*, char&) { ran.push_back(n); };
    }
    std::vector<std::string> ran;
};

}  // namespace

TEST(ViewerDescription, BindsEveryInputEventAndTheCursor)
{
    Application().Initialize();
    RegisterRuntimeClasses();
    RegisterViewerClasses();
    ClassRegistry::Instance().Register("TInputForm", "TCustomForm", nullptr);
    InputForm form(nullptr);
    form.ReadDescription(R"(TInputForm Form1 {
      TSceneViewer scn {
        OnClick = scnClick
        OnDblClick = scnDblClick
        OnMouseEnter = scnEnter
        OnMouseLeave = scnLeave
      }
      TFullScreenViewer scnf {
        Cursor = crHandPoint
        OnClick = fClick
        OnDblClick = fDblClick
        OnClose = fClose
        OnMouseWheel = fWheel
        OnKeyPress = fKeyPress
      }
    })");
    auto* scn = dynamic_cast<TSceneViewer*>(form.FindComponent("scn"));
    auto* scnf = dynamic_cast<TFullScreenViewer*>(form.FindComponent("scnf"));
    ASSERT_TRUE(scn && scnf);
    scn->OnClick(scn);
    scn->OnDblClick(scn);
    scn->OnMouseEnter(scn);
    scn->OnMouseLeave(scn);
    scnf->OnClick(scnf);
    scnf->OnDblClick(scnf);
    scnf->OnClose(scnf);
    bool handled = false;
    scnf->OnMouseWheel(scnf, 0, 120, 0, 0, handled);
    char key = 'a';
    scnf->OnKeyPress(scnf, key);
    EXPECT_EQ(form.ran, (std::vector<std::string>{"scnClick", "scnDblClick", "scnEnter", "scnLeave", "fClick",
                                                  "fDblClick", "fClose", "fWheel", "fKeyPress"}));
    EXPECT_EQ(scnf->Cursor(), crHandPoint);

    for (const char* bad : {"TFullScreenViewer v { Cursor = crSometimes }", "TSceneViewer v { OnMouseWheel = w }"}) {
        InputForm other(nullptr);
        EXPECT_THROW(other.ReadDescription(std::string("TInputForm F {\n") + bad + "\n}"), std::exception) << bad;
    }
}
