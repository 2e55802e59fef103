#pragma once
// GL rendering contexts on SDL windows. A window's visual is fixed when the window is made, so the
// pixel format is chosen first (by probing the display) and the window made, or made again, with
// it; then a context is created on the window. Lists and textures are shared only between
// contexts created together: a later context is created sharing with an existing one.
#include <SDL.h>

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "platform/export.h"
#include "platform/window.h"

namespace sauno::platform {

// One format the display offers for a wish, and whether a GL driver renders it in hardware.
struct SAUNO_PLATFORM_EXPORT GLFormatChoice {
    GLPixelFormat format;
    bool accelerated = false;
};

// What the display offers for a wish: nothing, or a format with its acceleration.
using GLFormatProbe = std::function<std::optional<GLFormatChoice>(const GLPixelFormat& wish)>;

// The choice rule. Only an accelerated format counts: the wish (without multisampling when no
// format has it), then the wish with 16 depth bits, then also with 16 colour bits. When none of
// them is accelerated, the first answer at the requested sizes is taken even in software; when
// the display offered nothing for the wish, there is no choice.
SAUNO_PLATFORM_EXPORT std::optional<GLFormatChoice> ChooseGLFormat(const GLPixelFormat& wish, const GLFormatProbe& probe);

// Probes the display with a hidden 1 x 1 window and a context on it; answers are remembered for
// the process, since a display's visuals do not change. Leaves the current context as it was.
SAUNO_PLATFORM_EXPORT std::optional<GLFormatChoice> ProbeGLFormat(const GLPixelFormat& wish);

// True for the renderer strings of Mesa's software rasterisers.
SAUNO_PLATFORM_EXPORT bool IsSoftwareRenderer(std::string_view renderer);

class SAUNO_PLATFORM_EXPORT GLContext {
public:
    // Creates a context on `window`, for the pixel format the window was made with. With
    // `shareWith`, the new context shares display lists and textures with it. The context that
    // was current stays current. Raises an Exception "OS Error : " + SDL's text on failure.
    GLContext(Window& window, const GLContext* shareWith);
    ~GLContext();
    GLContext(const GLContext&) = delete;
    GLContext& operator=(const GLContext&) = delete;

    // False on failure, with SDL's code and text in LastErrorCode and LastError.
    bool MakeCurrent();
    bool Release();
    void SwapBuffers();

    Window& Surface() const { return *window_; }
    SDL_GLContext Handle() const { return context_; }
    bool Accelerated() const { return accelerated_; }
    // Contexts created sharing with one another, directly or not, share lists and textures.
    bool SharesListsWith(const GLContext& other) const { return shareGroup_ == other.shareGroup_; }
    // Differs for every context made in the process, also when an address is reused.
    uint64_t Serial() const { return serial_; }

    static int LastErrorCode();
    static std::string LastError();

private:
    Window* window_;
    SDL_GLContext context_ = nullptr;
    bool accelerated_ = false;
    uint64_t shareGroup_ = 0;
    uint64_t serial_ = 0;
};

}  // namespace sauno::platform
