#pragma once
// Viewers put a scene buffer on the screen and deliver the user's input: the windowed viewer is
// a control filling part of a form's window; the full-screen viewer opens a window of its own
// over the whole screen, on a display mode chosen for its size.
#include <memory>

#include "engine/export.h"
#include "engine/buffer.h"
#include "engine/camera.h"
#include "runtime/forms.h"

namespace sauno {

enum class TVSyncMode : uint8_t { vsmSync, vsmNoSync };
enum class TScreenDepth : uint8_t { sd8bits, sd16bits, sd24bits, sd32bits };

// The pointer's shape over a window: 0 is the default arrow; negative values name the
// system's shapes.
using TCursor = int16_t;
inline constexpr TCursor crDefault = 0, crNone = -1, crArrow = -2, crCross = -3, crIBeam = -4, crSizeNESW = -6,
                         crSizeNS = -7, crSizeNWSE = -8, crSizeWE = -9, crHourGlass = -11, crNo = -18,
                         crHandPoint = -21, crSizeAll = -22;

class SAUNO_ENGINE_EXPORT TSceneViewer : public TControl {
public:
    // Decides, once for the viewer's life, whether GL is available. Without it the viewer
    // opens no context and paints nothing; the program goes on.
    explicit TSceneViewer(TComponent* owner);
    ~TSceneViewer() override;

    bool GLAvailable() const { return glAvailable_; }
    // True between the pointer coming over the viewer and leaving it.
    bool MouseInControl() const { return mouseInControl_; }
    TNotifyEvent OnMouseEnter, OnMouseLeave;

    TSceneBuffer& Buffer() { return *buffer_; }
    TCamera* Camera() const { return buffer_->Camera(); }
    void SetCamera(TCamera* camera);
    TVSyncMode VSync = TVSyncMode::vsmNoSync;

    void SetParentComponent(TComponent* parent) override;
    void Loaded() override;
    void Paint() override;
    void Resized() override;
    void SetVisible(bool value) override;
    void MouseEntered() override;
    void MouseLeft() override;

protected:
    void Notification(TComponent* component, TOperation operation) override;

private:
    void OpenContextOnWindow();
    void RecreateWindow();
    bool glAvailable_ = false;
    bool mouseInControl_ = false;
    std::unique_ptr<TSceneBuffer> buffer_;
    int lastScreenX_ = -1, lastScreenY_ = -1;
};

class SAUNO_ENGINE_EXPORT TNonVisualViewer : public TComponent {
public:
    explicit TNonVisualViewer(TComponent* owner);
    ~TNonVisualViewer() override;

    TSceneBuffer& Buffer() { return *buffer_; }
    TCamera* Camera() const { return buffer_->Camera(); }
    void SetCamera(TCamera* camera);
    int Width() const { return width_; }
    int Height() const { return height_; }
    void SetWidth(int value);
    void SetHeight(int value);

protected:
    void Notification(TComponent* component, TOperation operation) override;
    // The surface size or the pixel format changed.
    virtual void StructuralChange() {}
    // The size the surface really has, set without a structural change.
    void TakeSurfaceSize(int width, int height);
    std::unique_ptr<TSceneBuffer> buffer_;

private:
    int width_ = 256, height_ = 256;
};

class SAUNO_ENGINE_EXPORT TFullScreenViewer : public TNonVisualViewer, public WindowEventSink {
public:
    explicit TFullScreenViewer(TComponent* owner);
    ~TFullScreenViewer() override;

    bool Active() const { return active_; }
    // On: "Unsupported video mode" when no display mode is large enough, nothing else changed.
    // Otherwise the viewer covers the screen of the mode chosen, and Width and Height become
    // that screen's size.
    void SetActive(bool value);
    TScreenDepth ScreenDepth() const { return screenDepth_; }
    void SetScreenDepth(TScreenDepth value);
    bool StayOnTop() const { return stayOnTop_; }
    void SetStayOnTop(bool value);
    TVSyncMode VSync = TVSyncMode::vsmSync;
    int RefreshRate = 0;
    bool SwitchedResolution() const { return switchedResolution_; }
    platform::Window* Window() const { return window_.get(); }

    // Shown while the full-screen window is there; a change shows at once.
    TCursor Cursor() const { return cursor_; }
    void SetCursor(TCursor value);

    TKeyEvent OnKeyDown, OnKeyUp;
    TKeyPressEvent OnKeyPress;
    TMouseEvent OnMouseDown, OnMouseUp;
    TMouseMoveEvent OnMouseMove;
    TMouseWheelEvent OnMouseWheel;
    TNotifyEvent OnClick, OnDblClick;
    TNotifyEvent OnClose;
    // Answers whether the window may close.
    std::function<bool(TComponent* sender)> OnCloseQuery;

    // Renders one frame of the whole scene into the full-screen window.
    void RenderFrame();
    void HandleEvent(const SDL_Event& event) override;
    void Paint() override;

protected:
    void StructuralChange() override;

private:
    void Startup();
    void Shutdown();
    void HandleMouseButton(const SDL_Event& event);
    void ShowCursorShape(bool shown);
    bool active_ = false;
    bool clickPending_ = false;
    TCursor cursor_ = crDefault;
    bool switchedResolution_ = false;
    bool stayOnTop_ = false;
    TScreenDepth screenDepth_ = TScreenDepth::sd32bits;
    std::unique_ptr<platform::Window> window_;
};

// Sets the swap interval of the current context for a vertical-sync mode.
SAUNO_ENGINE_EXPORT void ApplyVSync(TVSyncMode mode);

SAUNO_ENGINE_EXPORT void RegisterViewerClasses();

}  // namespace sauno
