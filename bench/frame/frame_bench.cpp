// Frames per second and milliseconds per frame of the game's scene at 688 x 452, against an
// empty scene on a window of the same size, in one run. Run under a display (xvfb-run).
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <vector>

#include "engine/buffer.h"
#include "engine/camera.h"
#include "bench/game_as_built.h"
#include "game/peli.h"
#include "runtime/application.h"

using namespace sauno;

namespace {

struct Figures {
    double median_ms, p99_ms, fps;
};

Figures Measure(TSceneBuffer& buffer, int frames)
{
    std::vector<double> ms;
    for (int i = 0; i < 10; ++i) buffer.RenderFrame();  // warm up: lists and caches
    auto total_start = std::chrono::steady_clock::now();
    for (int i = 0; i < frames; ++i) {
        auto start = std::chrono::steady_clock::now();
        buffer.RenderFrame();
        ms.push_back(std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count());
    }
    double total = std::chrono::duration<double>(std::chrono::steady_clock::now() - total_start).count();
    std::sort(ms.begin(), ms.end());
    return {ms[ms.size() / 2], ms[ms.size() * 99 / 100], frames / total};
}

void Print(const char* name, const Figures& f)
{
    std::printf("%-12s %8.1f frames/s   median %6.3f ms   p99 %6.3f ms\n", name, f.fps, f.median_ms, f.p99_ms);
}

}  // namespace

int main(int argc, char** argv)
{
    const int frames = argc > 1 ? std::max(10, std::atoi(argv[1])) : 300;
    bench::TGameAsBuilt game_as_built;
    auto form = game_as_built.Load(SAUNO_GAME_DIR);
    if (!form) return 1;
    Figures game = Measure(form->scn->Buffer(), frames);

    TComponent owner(nullptr);
    auto* scene = new TScene(&owner);
    auto* camera = new TCamera(&owner);
    scene->Objects().AddChild(camera);
    platform::Window window("empty", 0, 0, 688, 452, platform::GLPixelFormat{}, platform::WindowStyle::Normal);
    TSceneBuffer buffer(nullptr);
    buffer.SetSize(688, 452);
    buffer.SetCamera(camera);
    buffer.SetBackgroundColor(clBlack);
    buffer.OpenContext(window);
    Figures empty = Measure(buffer, frames);
    if (game_as_built.Failed()) return 1;

    std::printf("%d frames at 688 x 452\n", frames);
    Print("game scene", game);
    Print("empty scene", empty);
    std::printf("game / empty time per frame: %.2f\n", game.median_ms / empty.median_ms);
    buffer.CloseContext();
    form.reset();
    return 0;
}
