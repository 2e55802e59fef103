#pragma once
// The display modes: a process-wide list built once (entry 0 the desktop), the choice of the
// mode closest to a request, and the switch to it for this process and back.
#include <SDL.h>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "engine/export.h"

namespace sauno {

struct SAUNO_ENGINE_EXPORT TVideoMode {
    uint16_t width = 0, height = 0;
    uint8_t colorDepth = 0;      // bits per pixel; 24-bit colour in 32-bit pixels counts as 32
    uint8_t maxFrequency = 0;    // the highest refresh rate seen for it, Hz
    std::string description;     // "%d x %d, %d bpp"; "default" for the desktop
};

constexpr size_t MaxVideoModes = 200;

// Builds the list on first use; later calls do nothing.
SAUNO_ENGINE_EXPORT void ListVideoModes();
SAUNO_ENGINE_EXPORT const std::vector<TVideoMode>& VideoModes();
// Offers a mode to a list: a known size and depth only raises its highest rate.
SAUNO_ENGINE_EXPORT void OfferVideoMode(std::vector<TVideoMode>& modes, const TVideoMode& mode);
// The best entry of `modes` at least w x h x d: each of its three excesses no larger than the
// best so far, ties to the later entry; 0 (the desktop, never chosen) when none fits.
SAUNO_ENGINE_EXPORT int FindVideoMode(const std::vector<TVideoMode>& modes, int width, int height, int depth);
SAUNO_ENGINE_EXPORT int FindVideoMode(int width, int height, int depth);
// Bits per pixel of the desktop.
SAUNO_ENGINE_EXPORT int GetCurrentColorDepth();

// The pixel format through which the display is asked for `depth` bits per pixel (8, 15, 16,
// 24 or 32); 0, which leaves the format to the display, for any other depth.
SAUNO_ENGINE_EXPORT Uint32 PixelFormatForDepth(int depth);
// What a switch to mode `index` of `modes` asks the display for: the entry's width, height and
// depth, and with a refresh rate above 0 that rate held to the entry's highest (0 lets the
// display choose). Empty for an index outside the list.
SAUNO_ENGINE_EXPORT std::optional<SDL_DisplayMode> DisplayModeRequest(const std::vector<TVideoMode>& modes, int index, int refreshRate);

// Puts `window` in full screen on mode `index` (with the refresh rate, if above 0, held to the
// mode's highest); the display changes for this process only. False when the display refuses.
SAUNO_ENGINE_EXPORT bool SwitchDisplayMode(SDL_Window* window, int index, int refreshRate);
// Takes `window` out of full screen, which gives the display its own mode back.
SAUNO_ENGINE_EXPORT void RestoreDisplayMode(SDL_Window* window);
// True between a successful switch and its restore.
SAUNO_ENGINE_EXPORT bool DisplayModeSwitched();

}  // namespace sauno
