#include "engine/viewer.h"

#include <SDL.h>

#include "engine/context.h"
#include "engine/videomodes.h"
#include "platform/exception.h"
#include "platform/keyboard.h"
#include "runtime/application.h"

namespace sauno {

void ApplyVSync(TVSyncMode mode)
{
    const int wanted = mode == TVSyncMode::vsmSync ? 1 : 0;
    if (SDL_GL_GetSwapInterval() != wanted) SDL_GL_SetSwapInterval(wanted);  // ignored where unsupported
}

// ---- Windowed viewer ----------------------------------------------------------------------

namespace {

// Whether this process can draw with GL; a display that cannot be opened at all fails later,
// where the window is made, with its own message.
bool ProbeGL()
{
    try {
        return platform::GLAvailable();
    } catch (const Exception&) {
        return false;
    }
}

}  // namespace

TSceneViewer::TSceneViewer(TComponent* owner)
    : TControl(owner), glAvailable_(ProbeGL()), buffer_(std::make_unique<TSceneBuffer>(this))
{
    buffer_->OnChange = [this](TSceneBuffer*) {
        if (!buffer_->Rendering()) Invalidate();
    };
    buffer_->OnStructuralChange = [this](TSceneBuffer*) { RecreateWindow(); };
    buffer_->OnViewerBeforeRender = [this](TSceneBuffer*) { ApplyVSync(VSync); };
}

TSceneViewer::~TSceneViewer()
{
    BeginDestroy();
    // The context goes before the window it draws on.
    buffer_.reset();
}

namespace {

// A viewer watches its buffer's camera, so that the buffer forgets it when it is destroyed.
void SetWatchedCamera(TComponent& viewer, TSceneBuffer& buffer, TCamera* camera)
{
    if (camera == buffer.Camera()) return;
    if (buffer.Camera()) viewer.RemoveFreeNotification(buffer.Camera());
    if (camera) viewer.FreeNotification(camera);
    buffer.SetCamera(camera);
}

void ForgetDestroyedCamera(TSceneBuffer& buffer, TComponent* component, TOperation operation)
{
    if (operation == TOperation::opRemove && component == buffer.Camera()) buffer.CameraDestroyed();
}

}  // namespace

void TSceneViewer::SetCamera(TCamera* camera) { SetWatchedCamera(*this, *buffer_, camera); }

void TSceneViewer::Notification(TComponent* component, TOperation operation)
{
    ForgetDestroyedCamera(*buffer_, component, operation);
    TControl::Notification(component, operation);
}

void TSceneViewer::SetParentComponent(TComponent* parent) { TControl::SetParentComponent(parent); }

void TSceneViewer::Loaded()
{
    TControl::Loaded();
    TCustomForm* form = ParentForm();
    if (!form || !glAvailable_) return;
    // The window's visual is fixed when it is made: it is made with what this buffer asks for.
    if (!form->HasWindow()) form->RequestPixelFormat(buffer_->PixelFormatRequest());
    OpenContextOnWindow();
}

void TSceneViewer::OpenContextOnWindow()
{
    TCustomForm* form = ParentForm();
    int left, top, width, height;
    BoundsInParent(left, top, width, height);
    buffer_->SetSize(width, height);
    buffer_->OpenContext(form->Window());
}

void TSceneViewer::RecreateWindow()
{
    TCustomForm* form = ParentForm();
    if (!form || !form->HasWindow() || !glAvailable_) return;
    buffer_->CloseContext();
    form->RemakeWindow(buffer_->PixelFormatRequest());
    OpenContextOnWindow();
    Invalidate();
}

void TSceneViewer::Resized()
{
    int left, top, width, height;
    BoundsInParent(left, top, width, height);
    buffer_->SetSize(width, height);
}

void TSceneViewer::SetVisible(bool value) { TControl::SetVisible(value); }

void TSceneViewer::MouseEntered()
{
    mouseInControl_ = true;
    if (OnMouseEnter) OnMouseEnter(this);
}

void TSceneViewer::MouseLeft()
{
    mouseInControl_ = false;
    if (OnMouseLeave) OnMouseLeave(this);
}

void TSceneViewer::Paint()
{
    TCustomForm* form = ParentForm();
    if (!form || !form->HasWindow()) return;
    if (!glAvailable_) {
        // No GL work at all: the control's part of the window is erased in the window colour.
        SDL_Window* window = form->Window().Handle();
        if (SDL_Surface* surface = SDL_GetWindowSurface(window)) {
            int left, top, width, height;
            BoundsInParent(left, top, width, height);
            const SDL_Rect rect{left, top, width, height};
            SDL_FillRect(surface, &rect, SDL_MapRGB(surface->format, 240, 240, 240));
            SDL_UpdateWindowSurfaceRects(window, &rect, 1);
        }
        return;
    }
    if (!buffer_->HasContext()) return;
    int x = 0, y = 0;
    SDL_GetWindowPosition(form->Window().Handle(), &x, &y);
    if (x != lastScreenX_ || y != lastScreenY_) {
        // The window moved: issue the viewport again.
        lastScreenX_ = x;
        lastScreenY_ = y;
        Resized();
    }
    buffer_->RenderFrame();
}

// ---- Non-visual and full-screen viewers -----------------------------------------------------

TNonVisualViewer::TNonVisualViewer(TComponent* owner)
    : TComponent(owner), buffer_(std::make_unique<TSceneBuffer>(this))
{
}

TNonVisualViewer::~TNonVisualViewer() = default;

void TNonVisualViewer::SetCamera(TCamera* camera) { SetWatchedCamera(*this, *buffer_, camera); }

void TNonVisualViewer::Notification(TComponent* component, TOperation operation)
{
    ForgetDestroyedCamera(*buffer_, component, operation);
    TComponent::Notification(component, operation);
}

void TNonVisualViewer::SetWidth(int value)
{
    if (value == width_) return;
    width_ = value < 1 ? 1 : value;
    StructuralChange();
}

void TNonVisualViewer::SetHeight(int value)
{
    if (value == height_) return;
    height_ = value < 1 ? 1 : value;
    StructuralChange();
}

void TNonVisualViewer::TakeSurfaceSize(int width, int height)
{
    width_ = width;
    height_ = height;
}

TFullScreenViewer::TFullScreenViewer(TComponent* owner) : TNonVisualViewer(owner)
{
    SetWidth(800);
    SetHeight(600);
    buffer_->OnChange = [this](TSceneBuffer*) {
        if (window_ && !buffer_->Rendering()) Application().Invalidate(this);
    };
    buffer_->OnStructuralChange = [this](TSceneBuffer*) { StructuralChange(); };
    buffer_->OnViewerBeforeRender = [this](TSceneBuffer*) { ApplyVSync(VSync); };
}

TFullScreenViewer::~TFullScreenViewer()
{
    BeginDestroy();
    if (active_) {
        try {
            Shutdown();
        } catch (...) {
            // The display is restored by Shutdown whatever fails before it.
        }
    }
    buffer_.reset();
}

void TFullScreenViewer::SetActive(bool value)
{
    if (value == active_) return;
    if (value) Startup();
    else Shutdown();
}

void TFullScreenViewer::SetScreenDepth(TScreenDepth value)
{
    if (value == screenDepth_) return;
    screenDepth_ = value;
    StructuralChange();
}

void TFullScreenViewer::SetStayOnTop(bool value)
{
    if (value == stayOnTop_) return;
    stayOnTop_ = value;
    StructuralChange();
}

void TFullScreenViewer::StructuralChange()
{
    if (!active_) return;
    Shutdown();
    Startup();
}

void TFullScreenViewer::SetCursor(TCursor value)
{
    cursor_ = value;
    if (active_) ShowCursorShape(true);
}

void TFullScreenViewer::ShowCursorShape(bool shown)
{
    // The platform's cursor belongs to the process: it is set while this window covers the
    // screen and put back to the arrow when the window goes.
    const TCursor shape = shown ? cursor_ : crDefault;
    SDL_SystemCursor system = SDL_SYSTEM_CURSOR_ARROW;
    switch (shape) {
        case crCross: system = SDL_SYSTEM_CURSOR_CROSSHAIR; break;
        case crIBeam: system = SDL_SYSTEM_CURSOR_IBEAM; break;
        case crSizeNESW: system = SDL_SYSTEM_CURSOR_SIZENESW; break;
        case crSizeNS: system = SDL_SYSTEM_CURSOR_SIZENS; break;
        case crSizeNWSE: system = SDL_SYSTEM_CURSOR_SIZENWSE; break;
        case crSizeWE: system = SDL_SYSTEM_CURSOR_SIZEWE; break;
        case crHourGlass: system = SDL_SYSTEM_CURSOR_WAIT; break;
        case crNo: system = SDL_SYSTEM_CURSOR_NO; break;
        case crHandPoint: system = SDL_SYSTEM_CURSOR_HAND; break;
        case crSizeAll: system = SDL_SYSTEM_CURSOR_SIZEALL; break;
        default: break;
    }
    // One cursor per shape for the process; SDL keeps the one in use until another is set.
    static SDL_Cursor* cursors[SDL_NUM_SYSTEM_CURSORS] = {};
    if (!cursors[system]) cursors[system] = SDL_CreateSystemCursor(system);
    if (cursors[system]) SDL_SetCursor(cursors[system]);
    SDL_ShowCursor(shape == crNone ? SDL_DISABLE : SDL_ENABLE);
}

void TFullScreenViewer::Startup()
{
    if (!platform::GLAvailable())
        throw Exception("Cannot draw in full screen: OpenGL is not available (" + platform::GLUnavailableReason() + ")");
    static constexpr int depths[] = {8, 16, 24, 32};
    const int depth = depths[static_cast<int>(screenDepth_)];
    const int index = FindVideoMode(Width(), Height(), depth);
    if (index == 0) throw Exception("Unsupported video mode");
    // The chosen mode may be larger than asked (the smallest the display has): the viewer then
    // covers its whole screen, and its surface is that screen. A size the display cannot show,
    // such as the 1 x 1 that a zero or negative setting becomes, is never asked for.
    const TVideoMode mode = VideoModes()[static_cast<size_t>(index)];
    TakeSurfaceSize(mode.width, mode.height);

    window_ = std::make_unique<platform::Window>("", 0, 0, Width(), Height(), buffer_->PixelFormatRequest(),
                                                 platform::WindowStyle::Borderless);
    Application().RegisterWindow(window_->Id(), this);
    try {
        SDL_Window* handle = window_->Handle();
        if (stayOnTop_) SDL_SetWindowAlwaysOnTop(handle, SDL_TRUE);
        SDL_DisplayMode desktop{};
        SDL_GetDesktopDisplayMode(0, &desktop);
        if (desktop.w == mode.width && desktop.h == mode.height && GetCurrentColorDepth() == mode.colorDepth) {
            SDL_SetWindowFullscreen(handle, SDL_WINDOW_FULLSCREEN_DESKTOP);
            switchedResolution_ = false;
        } else {
            SwitchDisplayMode(handle, index, RefreshRate);
            switchedResolution_ = true;
        }
        window_->Show();
        SDL_RaiseWindow(handle);
        buffer_->SetSize(Width(), Height());
        buffer_->OpenContext(*window_);
        active_ = true;
        // The window covers the screen: the pointer is over it.
        ShowCursorShape(true);
        Application().Invalidate(this);
    } catch (...) {
        active_ = true;
        Shutdown();
        throw;
    }
}

void TFullScreenViewer::Shutdown()
{
    std::exception_ptr failure;
    try {
        buffer_->CloseContext();
    } catch (...) {
        failure = std::current_exception();
    }
    if (window_) {
        Application().UnregisterWindow(window_->Id());
        if (switchedResolution_) RestoreDisplayMode(window_->Handle());
        window_.reset();
    }
    if (active_) ShowCursorShape(false);
    switchedResolution_ = false;
    clickPending_ = false;
    active_ = false;
    if (failure) std::rethrow_exception(failure);
}

void TFullScreenViewer::RenderFrame()
{
    if (!active_ || !window_) return;
    if (!buffer_->HasContext()) buffer_->OpenContext(*window_);
    buffer_->RenderFrame();
}

void TFullScreenViewer::Paint() { RenderFrame(); }

void TFullScreenViewer::HandleMouseButton(const SDL_Event& event)
{
    const bool down = event.type == SDL_MOUSEBUTTONDOWN;
    const bool leftButton = event.button.button == SDL_BUTTON_LEFT;
    const TMouseButton button = MouseButtonFromPlatform(event.button.button);
    const TShiftState shift = ShiftFromPlatform(SDL_GetMouseState(nullptr, nullptr));
    if (down) {
        clickPending_ = false;
        if (leftButton) {
            // Every second press of a quick series is a double click, which makes no click.
            if (event.button.clicks % 2 == 0) {
                if (OnDblClick) OnDblClick(this);
            } else {
                clickPending_ = true;
            }
        }
        if (OnMouseDown) OnMouseDown(this, button, shift, event.button.x, event.button.y);
        return;
    }
    const bool click = leftButton && clickPending_;
    if (leftButton) clickPending_ = false;
    if (click && OnClick) OnClick(this);
    if (OnMouseUp) OnMouseUp(this, button, shift, event.button.x, event.button.y);
}

void TFullScreenViewer::HandleEvent(const SDL_Event& event)
{
    switch (event.type) {
        case SDL_KEYDOWN:
        case SDL_KEYUP: {
            uint16_t key = static_cast<uint16_t>(keyboard::VirtualKeyFromSdl(event.key.keysym.sym));
            const TShiftState shift = ShiftFromPlatform(0);
            if (event.type == SDL_KEYDOWN && OnKeyDown) OnKeyDown(this, key, shift);
            if (event.type == SDL_KEYUP && OnKeyUp) OnKeyUp(this, key, shift);
            // Keys that type a character without text input type it after their key-down.
            if (event.type == SDL_KEYDOWN && OnKeyPress && key != 0) {
                if (char typed = ControlCharacterOfKey(event.key.keysym.sym)) OnKeyPress(this, typed);
            }
            break;
        }
        case SDL_TEXTINPUT:
            if (OnKeyPress) {
                if (char typed = Latin1CharacterOfText(event.text.text)) OnKeyPress(this, typed);
            }
            break;
        case SDL_MOUSEBUTTONDOWN:
        case SDL_MOUSEBUTTONUP: HandleMouseButton(event); break;
        case SDL_MOUSEMOTION:
            if (OnMouseMove) OnMouseMove(this, ShiftFromPlatform(event.motion.state), event.motion.x, event.motion.y);
            break;
        case SDL_MOUSEWHEEL:
            if (OnMouseWheel && event.wheel.y != 0) {
                int x = 0, y = 0;
                SDL_GetMouseState(&x, &y);
                const int sign = event.wheel.direction == SDL_MOUSEWHEEL_FLIPPED ? -1 : 1;
                bool handled = false;
                OnMouseWheel(this, ShiftFromPlatform(SDL_GetMouseState(nullptr, nullptr)),
                             sign * event.wheel.y * WheelDeltaPerNotch, x, y, handled);
            }
            break;
        case SDL_WINDOWEVENT:
            if (event.window.event == SDL_WINDOWEVENT_CLOSE) {
                if (OnCloseQuery && !OnCloseQuery(this)) break;
                if (OnClose) OnClose(this);
                Shutdown();
            } else if (event.window.event == SDL_WINDOWEVENT_EXPOSED || event.window.event == SDL_WINDOWEVENT_SHOWN) {
                Application().Invalidate(this);
            }
            break;
        default: break;
    }
}

}  // namespace sauno
