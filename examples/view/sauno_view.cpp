// sauno-view FILE.3ds [--frames N]: a 3DS model in a window, the camera orbiting it, lit from
// the camera. The model is centred and scaled to fit; its textures are looked for beside it.
// Escape or closing the window ends it; with --frames it ends by itself after N frames and
// says how much of the window the model covered in the last one.
#include <GL/gl.h>
#include <SDL.h>

#include <algorithm>
#include <charconv>
#include <cstdio>
#include <exception>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "engine/buffer.h"
#include "engine/camera.h"
#include "engine/context.h"
#include "engine/scene.h"
#include "material/material.h"
#include "mesh/basemesh.h"
#include "platform/window.h"

namespace {

using namespace sauno;

constexpr int WindowWidth = 640;
constexpr int WindowHeight = 480;
constexpr float DegreesPerFrame = 1.0f;

struct TOptions {
    std::string file;
    std::optional<int> frames;
};

std::optional<TOptions> ParseArguments(int argc, char** argv)
{
    TOptions options;
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        if (arg == "--frames" && i + 1 < argc) {
            const std::string_view n = argv[++i];
            int frames = 0;
            const auto [end, error] = std::from_chars(n.data(), n.data() + n.size(), frames);
            if (error != std::errc{} || end != n.data() + n.size() || frames < 1) return std::nullopt;
            options.frames = frames;
        } else if (options.file.empty() && !arg.starts_with("--")) {
            options.file = arg;
        } else {
            return std::nullopt;
        }
    }
    if (options.file.empty()) return std::nullopt;
    return options;
}

// The share of the back buffer's pixels that differ from the black background.
double CoveredShare()
{
    std::vector<unsigned char> pixels(static_cast<size_t>(WindowWidth) * WindowHeight * 4);
    glReadBuffer(GL_BACK);
    glReadPixels(0, 0, WindowWidth, WindowHeight, GL_RGBA, GL_UNSIGNED_BYTE, pixels.data());
    size_t covered = 0;
    for (size_t i = 0; i < pixels.size(); i += 4)
        if (pixels[i] > 8 || pixels[i + 1] > 8 || pixels[i + 2] > 8) ++covered;
    return static_cast<double>(covered) / (static_cast<double>(WindowWidth) * WindowHeight);
}

bool QuitRequested()
{
    SDL_Event event;
    bool quit = false;
    while (platform::PollEvent(event)) {
        if (event.type == SDL_QUIT) quit = true;
        if (event.type == SDL_WINDOWEVENT && event.window.event == SDL_WINDOWEVENT_CLOSE) quit = true;
        if (event.type == SDL_KEYDOWN && event.key.keysym.sym == SDLK_ESCAPE) quit = true;
    }
    return quit;
}

int View(const TOptions& options)
{
    TComponent owner(nullptr);
    auto* scene = new TScene(&owner);
    auto* library = new TMaterialLibrary(&owner);

    // The model first, so that a file that cannot be read opens no window. 3DS files are z-up:
    // the turn makes them y-up.
    auto* turn = new TDummyCube(&owner);
    scene->Objects().AddChild(turn);
    turn->SetPitchAngle(-90);
    auto* model = new TFreeForm(&owner);
    turn->AddChild(model);
    model->SetMaterialLibrary(library);
    model->TolerateMissingTextures = true;
    model->LoadFromFile(options.file);
    if (model->TriangleCount() == 0) throw std::runtime_error("no triangles to show");

    TVector3 low, high;
    model->MeshObjects().GetExtents(low, high);
    float size = 0;
    for (size_t a = 0; a < 3; ++a) size = std::max(size, high[a] - low[a]);
    const float scale = size > 0 ? 2 / size : 1;
    model->Scale().SetVector(scale, scale, scale);
    model->Position().SetPoint(-(low[0] + high[0]) / 2 * scale, -(low[1] + high[1]) / 2 * scale,
                               -(low[2] + high[2]) / 2 * scale);

    auto* target = new TDummyCube(&owner);
    scene->Objects().AddChild(target);
    auto* camera = new TCamera(&owner);
    scene->Objects().AddChild(camera);
    camera->Position().SetPoint(0, 0.8f, 2.4f);
    camera->SetFocalLength(50);
    camera->SetDepthOfView(100);
    camera->SetTargetObject(target);
    auto* light = new TLightSource(&owner);
    camera->AddChild(light);
    light->Diffuse().SetColor(TVector4{1, 1, 1, 1});

    platform::InitVideo();
    platform::Window window("sauno-view: " + options.file, SDL_WINDOWPOS_CENTERED, SDL_WINDOWPOS_CENTERED,
                           WindowWidth, WindowHeight, platform::GLPixelFormat{}, platform::WindowStyle::Normal);
    TSceneBuffer buffer(nullptr);
    // The frame is shown by this loop, so that the last one can be measured first.
    buffer.SetContextOptions(OptionBit(roDoubleBuffer) | OptionBit(roNoSwapBuffers));
    buffer.SetSize(WindowWidth, WindowHeight);
    buffer.SetBackgroundColor(clBlack);
    buffer.OpenContext(window);
    buffer.SetCamera(camera);
    window.Show();
    std::printf("%s: %d triangles\n", options.file.c_str(), model->TriangleCount());

    double covered = 0;
    for (int frame = 0; !options.frames || frame < *options.frames; ++frame) {
        if (QuitRequested()) break;
        camera->OrbitTarget(0, DegreesPerFrame);
        buffer.RenderFrame();
        TContext& context = *buffer.RenderingContext();
        context.Activate();
        if (options.frames && frame + 1 == *options.frames) covered = CoveredShare();
        context.Present();
        context.Deactivate();
        if (!options.frames) SDL_Delay(15);
    }
    if (options.frames) std::printf("%d frames; the model covered %.0f%% of the window\n", *options.frames, covered * 100);
    // The scene's display lists and textures go while their context is current.
    buffer.SetCamera(nullptr);
    buffer.RenderingContext()->Activate();
    owner.DestroyComponents();
    buffer.RenderingContext()->Deactivate();
    buffer.CloseContext();
    return 0;
}

}  // namespace

int main(int argc, char** argv)
{
    const std::optional<TOptions> options = ParseArguments(argc, argv);
    if (!options) {
        std::fprintf(stderr, "usage: sauno-view FILE.3ds [--frames N]\n");
        return 2;
    }
    try {
        return View(*options);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "sauno-view: %s: %s\n", options->file.c_str(), e.what());
        return 1;
    }
}
