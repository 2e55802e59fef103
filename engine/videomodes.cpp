#include "engine/videomodes.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>

#include "platform/window.h"

namespace sauno {

namespace {

std::vector<TVideoMode>& List()
{
    static std::vector<TVideoMode> modes;
    return modes;
}

bool switched = false;

// A process that ends with the display still switched gives it back on the way out. A lost
// display never gets here: the platform ends the process without exit handlers then, since
// this one would wait on the dead connection for ever.
void RestoreAtExit()
{
    if (switched && SDL_WasInit(SDL_INIT_VIDEO)) SDL_QuitSubSystem(SDL_INIT_VIDEO);
}

int DepthOf(Uint32 format)
{
    // Pixels of four bytes hold 24 colour bits and padding: that is a 32-bit mode.
    return SDL_BYTESPERPIXEL(format) == 4 ? 32 : static_cast<int>(SDL_BITSPERPIXEL(format));
}

TVideoMode ModeOf(const SDL_DisplayMode& m)
{
    TVideoMode mode;
    mode.width = static_cast<uint16_t>(m.w);
    mode.height = static_cast<uint16_t>(m.h);
    mode.colorDepth = static_cast<uint8_t>(DepthOf(m.format));
    mode.maxFrequency = static_cast<uint8_t>(std::clamp(m.refresh_rate, 0, 255));
    char text[64];
    std::snprintf(text, sizeof text, "%d x %d, %d bpp", m.w, m.h, mode.colorDepth);
    mode.description = text;
    return mode;
}

}  // namespace

void OfferVideoMode(std::vector<TVideoMode>& modes, const TVideoMode& mode)
{
    for (size_t i = 1; i < modes.size(); ++i) {
        TVideoMode& known = modes[i];
        if (known.width == mode.width && known.height == mode.height && known.colorDepth == mode.colorDepth) {
            known.maxFrequency = std::max(known.maxFrequency, mode.maxFrequency);
            return;
        }
    }
    if (modes.size() < MaxVideoModes) modes.push_back(mode);
}

void ListVideoModes()
{
    std::vector<TVideoMode>& modes = List();
    if (!modes.empty()) return;
    platform::InitVideo();
    SDL_DisplayMode desktop{};
    SDL_GetDesktopDisplayMode(0, &desktop);
    TVideoMode first = ModeOf(desktop);
    first.description = "default";
    modes.push_back(first);
    // Only what the display itself offers: a mode it does not list cannot be switched to.
    const int count = SDL_GetNumDisplayModes(0);
    for (int i = 0; i < count && modes.size() < MaxVideoModes; ++i) {
        SDL_DisplayMode m{};
        if (SDL_GetDisplayMode(0, i, &m) == 0) OfferVideoMode(modes, ModeOf(m));
    }
}

const std::vector<TVideoMode>& VideoModes()
{
    ListVideoModes();
    return List();
}

int FindVideoMode(const std::vector<TVideoMode>& modes, int width, int height, int depth)
{
    int best = 0, bestWidth = 9999, bestHeight = 9999, bestDepth = 99;
    for (size_t i = 1; i < modes.size(); ++i) {
        const TVideoMode& m = modes[i];
        const int dw = m.width - width, dh = m.height - height, dd = m.colorDepth - depth;
        if (dw >= 0 && dw <= bestWidth && dh >= 0 && dh <= bestHeight && dd >= 0 && dd <= bestDepth) {
            best = static_cast<int>(i);
            bestWidth = dw;
            bestHeight = dh;
            bestDepth = dd;
        }
    }
    return best;
}

int FindVideoMode(int width, int height, int depth) { return FindVideoMode(VideoModes(), width, height, depth); }

int GetCurrentColorDepth()
{
    platform::InitVideo();
    SDL_DisplayMode desktop{};
    SDL_GetDesktopDisplayMode(0, &desktop);
    return DepthOf(desktop.format);
}

Uint32 PixelFormatForDepth(int depth)
{
    // Each of these gives DepthOf the depth back, so a listed mode is found again by its format.
    switch (depth) {
        case 8: return SDL_PIXELFORMAT_INDEX8;
        case 15: return SDL_PIXELFORMAT_RGB555;
        case 16: return SDL_PIXELFORMAT_RGB565;
        case 24: return SDL_PIXELFORMAT_RGB24;
        case 32: return SDL_PIXELFORMAT_RGB888;
        default: return SDL_PIXELFORMAT_UNKNOWN;
    }
}

std::optional<SDL_DisplayMode> DisplayModeRequest(const std::vector<TVideoMode>& modes, int index, int refreshRate)
{
    if (index < 0 || static_cast<size_t>(index) >= modes.size()) return std::nullopt;
    const TVideoMode& wanted = modes[static_cast<size_t>(index)];
    SDL_DisplayMode request{};
    request.w = wanted.width;
    request.h = wanted.height;
    request.format = PixelFormatForDepth(wanted.colorDepth);
    request.refresh_rate = refreshRate > 0 ? std::min(refreshRate, static_cast<int>(wanted.maxFrequency)) : 0;
    return request;
}

bool SwitchDisplayMode(SDL_Window* window, int index, int refreshRate)
{
    const std::optional<SDL_DisplayMode> request = DisplayModeRequest(VideoModes(), index, refreshRate);
    if (!request || !window) return false;
    SDL_DisplayMode closest{};
    if (!SDL_GetClosestDisplayMode(0, &*request, &closest)) return false;
    if (SDL_SetWindowDisplayMode(window, &closest) != 0) return false;
    if (SDL_SetWindowFullscreen(window, SDL_WINDOW_FULLSCREEN) != 0) return false;
    static const bool registered = std::atexit(RestoreAtExit) == 0;
    (void)registered;
    switched = true;
    return true;
}

void RestoreDisplayMode(SDL_Window* window)
{
    if (window) SDL_SetWindowFullscreen(window, 0);
    switched = false;
}

bool DisplayModeSwitched() { return switched; }

}  // namespace sauno
