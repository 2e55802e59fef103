#include "platform/window.h"

#include <SDL_syswm.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <mutex>

#include "platform/display_loss.h"
#include "platform/exception.h"
#include "platform/startup_report.h"

namespace sauno::platform {

namespace {
uint32_t wakeEvent = static_cast<uint32_t>(-1);
// The X display connection once a window was made on it, and a descriptor WakeEventLoop
// signals: waited on together, a thread handing over a call wakes the main thread directly,
// not by a message that goes round through the display server.
int displayFd = -1;
int wakeFd = -1;
}  // namespace

void SetGLAttributes(const GLPixelFormat& f)
{
    SDL_GL_ResetAttributes();
    SDL_GL_SetAttribute(SDL_GL_DOUBLEBUFFER, f.doubleBuffer ? 1 : 0);
    SDL_GL_SetAttribute(SDL_GL_STEREO, f.stereo ? 1 : 0);
    int channel = f.colorBits >= 24 ? 8 : (f.colorBits >= 16 ? 5 : 4);
    SDL_GL_SetAttribute(SDL_GL_RED_SIZE, channel);
    SDL_GL_SetAttribute(SDL_GL_GREEN_SIZE, f.colorBits == 16 ? 6 : channel);
    SDL_GL_SetAttribute(SDL_GL_BLUE_SIZE, channel);
    SDL_GL_SetAttribute(SDL_GL_ALPHA_SIZE, f.alphaBits);
    SDL_GL_SetAttribute(SDL_GL_DEPTH_SIZE, f.depthBits);
    SDL_GL_SetAttribute(SDL_GL_STENCIL_SIZE, f.stencilBits);
    int accum = f.accumBits / 4;
    SDL_GL_SetAttribute(SDL_GL_ACCUM_RED_SIZE, accum);
    SDL_GL_SetAttribute(SDL_GL_ACCUM_GREEN_SIZE, accum);
    SDL_GL_SetAttribute(SDL_GL_ACCUM_BLUE_SIZE, accum);
    SDL_GL_SetAttribute(SDL_GL_ACCUM_ALPHA_SIZE, accum);
    SDL_GL_SetAttribute(SDL_GL_MULTISAMPLEBUFFERS, f.multisample > 1 ? 1 : 0);
    SDL_GL_SetAttribute(SDL_GL_MULTISAMPLESAMPLES, f.multisample > 1 ? f.multisample : 0);
}

void InitVideo()
{
    static std::once_flag once;
    static std::string failure;
    std::call_once(once, [] {
        // A message box must not drop a full-screen game back to the desktop.
        SDL_SetHint(SDL_HINT_VIDEO_MINIMIZE_ON_FOCUS_LOSS, "0");
        // With an X display named, use it: a display that cannot be reached now must not make
        // the game fall back to a driver that shows nothing. (Which display to draw on is the
        // player's own choice and steers no write; the game has set its group aside by now.)
        if (!std::getenv("SDL_VIDEODRIVER") && std::getenv("DISPLAY")) SDL_SetHint(SDL_HINT_VIDEODRIVER, "x11");
        // A display server can refuse a connection for a moment; try for about two seconds.
        for (int attempt = 0;; ++attempt) {
            if (SDL_Init(SDL_INIT_VIDEO | SDL_INIT_EVENTS | SDL_INIT_TIMER) == 0) break;
            if (attempt == 40) {
                failure = std::string("Cannot open the display: ") + SDL_GetError();
                return;
            }
            SDL_Delay(50);
        }
        EndProcessOnDisplayLoss();
        wakeEvent = SDL_RegisterEvents(1);
        wakeFd = ::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    });
    if (!failure.empty()) throw Exception(failure);
}

namespace {
std::once_flag glProbe;
std::string glFailure;

void ProbeGL()
{
    std::call_once(glProbe, [] {
        // Loading the library asks the display for its GL extension as well. The library
        // stays loaded for the process: every GL window would load it again anyway.
        if (SDL_GL_LoadLibrary(nullptr) != 0) {
            glFailure = SDL_GetError();
            if (glFailure.empty()) glFailure = "the GL library cannot be loaded";
        }
    });
}
}  // namespace

bool GLAvailable()
{
    InitVideo();
    ProbeGL();
    return glFailure.empty();
}

std::string GLUnavailableReason()
{
    GLAvailable();
    return glFailure;
}

uint32_t WakeEventType() { return wakeEvent; }

void WakeEventLoop()
{
    if (wakeEvent == static_cast<uint32_t>(-1)) return;
    SDL_Event event{};
    event.type = wakeEvent;
    SDL_PushEvent(&event);
    if (wakeFd >= 0) {
        const uint64_t one = 1;
        (void)!::write(wakeFd, &one, sizeof one);
    }
}

bool WaitEvent(SDL_Event& event, int timeoutMs)
{
    // Joysticks have no descriptor here: with one open, the platform's wait polls them.
    if (displayFd < 0 || wakeFd < 0 || SDL_NumJoysticks() > 0)
        return timeoutMs < 0 ? SDL_WaitEvent(&event) == 1 : SDL_WaitEventTimeout(&event, timeoutMs) == 1;
    // Nothing left in the platform's queue nor in the connection's buffer once this says none.
    if (SDL_PollEvent(&event) == 1) return true;
    pollfd fds[2] = {{displayFd, POLLIN, 0}, {wakeFd, POLLIN, 0}};
    ::poll(fds, 2, timeoutMs);
    uint64_t count = 0;
    (void)!::read(wakeFd, &count, sizeof count);
    return SDL_PollEvent(&event) == 1;
}

bool PollEvent(SDL_Event& event) { return SDL_PollEvent(&event) == 1; }

Window::Window(std::string_view caption, int left, int top, int clientWidth, int clientHeight,
               const GLPixelFormat& format, WindowStyle style)
    : format_(format)
{
    InitVideo();
    Uint32 flags = SDL_WINDOW_HIDDEN;
    if (GLAvailable()) flags |= SDL_WINDOW_OPENGL;
    if (style == WindowStyle::Borderless) flags |= SDL_WINDOW_BORDERLESS;
    Make(std::string(caption), left, top, clientWidth, clientHeight, flags);
}

void Window::Make(const std::string& title, int left, int top, int clientWidth, int clientHeight,
                  Uint32 flags)
{
    SetGLAttributes(format_);
    window_ = SDL_CreateWindow(title.c_str(), left, top, clientWidth, clientHeight, flags);
    if (!window_) {
        // The wished format has no visual here; take what the display offers.
        SDL_GL_ResetAttributes();
        window_ = SDL_CreateWindow(title.c_str(), left, top, clientWidth, clientHeight, flags);
    }
    if (!window_) throw Exception(std::string("Cannot create a window: ") + SDL_GetError());
    id_ = SDL_GetWindowID(window_);
    if (displayFd < 0) {
        SDL_SysWMinfo info;
        SDL_VERSION(&info.version);
        if (SDL_GetWindowWMInfo(window_, &info) == SDL_TRUE && info.subsystem == SDL_SYSWM_X11)
            displayFd = ConnectionNumber(info.info.x11.display);
    }
}

Window::~Window()
{
    NotifyDestroying();
    if (window_) SDL_DestroyWindow(window_);
}

void Window::Remake(const GLPixelFormat& format)
{
    NotifyDestroying();
    std::string title = SDL_GetWindowTitle(window_);
    int left = 0, top = 0, width = 0, height = 0;
    SDL_GetWindowPosition(window_, &left, &top);
    SDL_GetWindowSize(window_, &width, &height);
    Uint32 old = SDL_GetWindowFlags(window_);
    Uint32 kept = SDL_WINDOW_BORDERLESS | SDL_WINDOW_FULLSCREEN | SDL_WINDOW_FULLSCREEN_DESKTOP |
                  SDL_WINDOW_ALWAYS_ON_TOP | SDL_WINDOW_RESIZABLE;
    SDL_DestroyWindow(window_);
    window_ = nullptr;
    format_ = format;
    Make(title, left, top, width, height, (old & kept) | (old & SDL_WINDOW_OPENGL) | SDL_WINDOW_HIDDEN);
    if (old & SDL_WINDOW_SHOWN) SDL_ShowWindow(window_);
}

int Window::AddDestroyListener(std::function<void()> listener)
{
    destroyListeners_.emplace_back(nextListener_, std::move(listener));
    return nextListener_++;
}

void Window::RemoveDestroyListener(int token)
{
    std::erase_if(destroyListeners_, [token](const auto& entry) { return entry.first == token; });
}

void Window::NotifyDestroying()
{
    // A copy: listeners remove themselves while they run.
    auto listeners = destroyListeners_;
    for (auto& [token, listener] : listeners) {
        try {
            listener();
        } catch (...) {
            // The window goes regardless; nothing above a destructor could act on the failure.
        }
    }
}

void Window::Show()
{
    SDL_ShowWindow(window_);
    StartupWindowShown();
}
void Window::Hide() { SDL_HideWindow(window_); }
bool Window::Shown() const { return (SDL_GetWindowFlags(window_) & SDL_WINDOW_SHOWN) != 0; }
void Window::SetCaption(std::string_view caption) { SDL_SetWindowTitle(window_, std::string(caption).c_str()); }
void Window::ClientSize(int& width, int& height) const { SDL_GetWindowSize(window_, &width, &height); }

}  // namespace sauno::platform
