#pragma once
// A top-level window on SDL2, made for OpenGL drawing. SDL and GLX fix a window's visual when the
// window is made, so the pixel format is chosen here, before the window exists.
#include <SDL.h>

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/export.h"

namespace sauno::platform {

// Initialises SDL's video and event parts once per process; raises an Exception on failure.
SAUNO_PLATFORM_EXPORT void InitVideo();
// Whether the display offers OpenGL: decided once per process, on first call (video is
// initialised then). Without it, windows are made without GL and no context can be opened.
SAUNO_PLATFORM_EXPORT bool GLAvailable();
// Why GL is not available, such as "GLX is not supported"; empty when it is.
SAUNO_PLATFORM_EXPORT std::string GLUnavailableReason();
// Wakes a thread blocked in WaitEvent; safe from any thread.
SAUNO_PLATFORM_EXPORT void WakeEventLoop();
// Waits for the next platform event up to `timeoutMs` (negative: no limit). False on timeout.
SAUNO_PLATFORM_EXPORT bool WaitEvent(SDL_Event& event, int timeoutMs);
SAUNO_PLATFORM_EXPORT bool PollEvent(SDL_Event& event);
// The event type WakeEventLoop posts; the application ignores it beyond waking up.
SAUNO_PLATFORM_EXPORT uint32_t WakeEventType();

struct SAUNO_PLATFORM_EXPORT GLPixelFormat {
    bool doubleBuffer = true;
    bool stereo = false;
    int colorBits = 24;
    int alphaBits = 0;
    int depthBits = 24;
    int stencilBits = 0;
    int accumBits = 0;
    int multisample = 0;  // samples per pixel; 0 or 1 for none

    bool operator==(const GLPixelFormat&) const = default;
};

// Puts `format` into SDL's GL attributes: a window made next gets a visual for it, and a GL
// context made next is made for that visual.
SAUNO_PLATFORM_EXPORT void SetGLAttributes(const GLPixelFormat& format);

enum class WindowStyle { Normal, Borderless };

class SAUNO_PLATFORM_EXPORT Window {
public:
    // Made hidden; Show puts it on screen. Raises an Exception when no window can be made.
    Window(std::string_view caption, int left, int top, int clientWidth, int clientHeight,
           const GLPixelFormat& format, WindowStyle style);
    ~Window();
    Window(const Window&) = delete;
    Window& operator=(const Window&) = delete;

    SDL_Window* Handle() const { return window_; }
    uint32_t Id() const { return id_; }
    void Show();
    void Hide();
    bool Shown() const;
    void SetCaption(std::string_view caption);
    void ClientSize(int& width, int& height) const;
    const GLPixelFormat& PixelFormat() const { return format_; }

    // Makes the window again with another pixel format: same caption, place, size, style and
    // visibility; Handle and Id change. Destroy listeners run first.
    void Remake(const GLPixelFormat& format);

    // Listeners run just before the SDL window goes away (destruction or Remake), so that a GL
    // context drawing on it is destroyed first. A listener may remove itself while it runs.
    int AddDestroyListener(std::function<void()> listener);
    void RemoveDestroyListener(int token);

private:
    void Make(const std::string& title, int left, int top, int width, int height, Uint32 flags);
    void NotifyDestroying();

    SDL_Window* window_ = nullptr;
    uint32_t id_ = 0;
    GLPixelFormat format_;
    std::vector<std::pair<int, std::function<void()>>> destroyListeners_;
    int nextListener_ = 1;
};

}  // namespace sauno::platform
