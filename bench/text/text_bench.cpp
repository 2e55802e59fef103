// The game's two fonts: building their glyph sheets and textures, and the cost of the game's ten
// screen texts in a frame against the same frame without them. Run under a display.
#include <GL/gl.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <vector>

#include "engine/buffer.h"
#include "engine/camera.h"
#include "engine/scene.h"
#include "platform/window.h"
#include "runtime/application.h"
#include "text/bitmapfont.h"
#include "text/hudtext.h"

using namespace sauno;

namespace {
using Clock = std::chrono::steady_clock;
double Ms(Clock::time_point since) { return std::chrono::duration<double, std::milli>(Clock::now() - since).count(); }

TWindowsBitmapFont* GameFont(TComponent& owner, const char* name, int height, bool bold)
{
    auto* font = new TWindowsBitmapFont(&owner);
    font->Font().SetName(name);
    font->Font().SetHeight(height);
    font->Font().SetStyle(bold, false, false, false);
    return font;
}
}  // namespace

int main(int argc, char** argv)
{
    const int frames = argc > 1 ? std::max(1, std::atoi(argv[1])) : 500;
    Application().Initialize();
    TComponent owner(nullptr);
    TWindowsBitmapFont* font1 = GameFont(owner, "Futura MdCn BT", -16, true);
    TWindowsBitmapFont* countdown = GameFont(owner, "Arial Black", -48, false);
    for (TWindowsBitmapFont* font : {font1, countdown}) {
        const int rounds = 20;
        auto start = Clock::now();
        for (int i = 0; i < rounds; ++i) font->BuildSheet();
        std::printf("%-16s sheet %3d x %3d, cell %2d x %2d: %.2f ms a build\n", font->Font().Name().c_str(),
                    font->Glyphs().Width(), font->Glyphs().Height(), font->CharWidth(), font->CharHeight(),
                    Ms(start) / rounds);
    }

    platform::Window window("bench", 0, 0, 688, 452, platform::GLPixelFormat{}, platform::WindowStyle::Normal);
    TSceneBuffer buffer(nullptr);
    buffer.SetContextOptions(OptionBit(roDoubleBuffer) | OptionBit(roNoSwapBuffers));
    buffer.SetBackgroundColor(clBlack);
    buffer.SetSize(688, 452);
    buffer.OpenContext(window);
    auto* scene = new TScene(&owner);
    auto* camera = new TCamera(&owner);
    scene->Objects().AddChild(camera);
    buffer.SetCamera(camera);
    auto* texts = new TDummyCube(&owner);
    scene->Objects().AddChild(texts);
    const struct {
        float x, y;
        const char* text;
        TWindowsBitmapFont* font;
    } lines[] = {{0, -10, "SAUNO!", countdown}, {0, 50, "Time spent in the sauna:", font1}, {170, 50, "123", font1},
                 {0, 65, "Temperature:", font1},    {100, 65, "85", font1},  {0, 85, "Toleration:", font1},
                 {80, 85, "57.6", font1},           {0, 105, "Beer left:", font1}, {70, 105, "2", font1},
                 {0, 160, "Game over. Top 10:", font1}};
    std::vector<THUDText*> huds;
    for (const auto& line : lines) {
        auto* hud = texts->AddNewChild<THUDText>();
        hud->SetBitmapFont(line.font);
        hud->SetText(line.text);
        hud->Position().SetPoint(line.x, line.y, 0);
        huds.push_back(hud);
    }

    auto start = Clock::now();
    buffer.RenderFrame();
    buffer.RenderingContext()->Activate();
    glFinish();
    buffer.RenderingContext()->Deactivate();
    std::printf("first frame, both textures uploaded: %.2f ms\n", Ms(start));

    auto timeFrames = [&] {
        auto begin = Clock::now();
        for (int i = 0; i < frames; ++i) buffer.RenderFrame();
        buffer.RenderingContext()->Activate();
        glFinish();
        buffer.RenderingContext()->Deactivate();
        return Ms(begin) / frames;
    };
    const double withTexts = timeFrames();
    texts->SetVisible(false);
    const double without = timeFrames();
    std::printf("%d frames at 688 x 452: %.3f ms with the ten texts, %.3f ms without: %.3f ms for the texts\n", frames,
                withTexts, without, withTexts - without);
    buffer.SetCamera(nullptr);
    return 0;
}
