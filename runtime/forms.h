#pragma once
// Forms and controls: a form is a top-level window that owns the components of its description;
// controls are rectangles of its client area that receive the mouse. Key events go to the form
// whose window has the keyboard.
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "runtime/export.h"
#include "platform/window.h"
#include "runtime/application.h"
#include "runtime/component.h"
#include "runtime/events.h"

namespace sauno {

class TReader;
class TCustomForm;

enum class TAlign { alNone, alTop, alBottom, alLeft, alRight, alClient };

class SAUNO_RUNTIME_EXPORT TControl : public TComponent {
public:
    explicit TControl(TComponent* owner) : TComponent(owner) {}
    ~TControl() override;

    TCustomForm* ParentForm() const { return parent_; }
    void SetParentComponent(TComponent* parent) override;

    int Left = 0, Top = 0, Width = 100, Height = 100;
    TAlign Align = TAlign::alNone;
    bool Visible() const { return visible_; }
    virtual void SetVisible(bool value);
    // The control's rectangle in the form's client area, after alignment.
    void BoundsInParent(int& left, int& top, int& width, int& height) const;

    TMouseEvent OnMouseDown;
    TMouseEvent OnMouseUp;
    TMouseMoveEvent OnMouseMove;

    // Paints the control's part of the window; the form calls it for each visible control.
    virtual void Paint() {}
    virtual void Resized() {}
    // Asks the form to paint again once nothing else is pending.
    void Invalidate();

private:
    TCustomForm* parent_ = nullptr;
    bool visible_ = true;
};

class SAUNO_RUNTIME_EXPORT TCustomForm : public TComponent, public WindowEventSink {
public:
    explicit TCustomForm(TComponent* owner);
    ~TCustomForm() override;

    std::string Caption;
    int Left = 0, Top = 0, ClientWidth = 100, ClientHeight = 100;

    TNotifyEvent OnCreate;
    TKeyEvent OnKeyDown;
    TKeyEvent OnKeyUp;

    // The form's window, made hidden on first need with the pixel format asked for so far.
    platform::Window& Window();
    bool HasWindow() const { return window_ != nullptr; }
    void RequestPixelFormat(const platform::GLPixelFormat& format);
    // Makes the window again for another pixel format; its GL contexts must be closed first.
    void RemakeWindow(const platform::GLPixelFormat& format);
    void Show();
    void Invalidate() { Application().Invalidate(this); }

    // Reads this form and its components from a description, then runs OnCreate.
    // Errors while reading propagate; an error from OnCreate goes to the application.
    void ReadDescription(std::string_view text);

    // Handlers the description binds by name; a form publishes its own.
    virtual TNotifyEvent NotifyHandler(std::string_view name);
    virtual TKeyEvent KeyHandler(std::string_view name);
    virtual TMouseEvent MouseHandler(std::string_view name);
    virtual TMouseMoveEvent MouseMoveHandler(std::string_view name);

    // Platform events for this form's window.
    void HandleEvent(const SDL_Event& event) override;
    void Paint() override;

    void AddControl(TControl* control);
    void RemoveControl(TControl* control);
    const std::vector<TControl*>& Controls() const { return controls_; }
    // The topmost visible control under a client point, or null.
    TControl* ControlAt(int x, int y) const;

protected:
    // Key and mouse routing shared by every window that delivers input to this form's handlers.
    void DispatchKey(const SDL_Event& event, const TKeyEvent& down, const TKeyEvent& up);

private:
    [[noreturn]] void UnknownHandler(std::string_view name) const;

    std::unique_ptr<platform::Window> window_;
    platform::GLPixelFormat pixelFormat_;
    std::vector<TControl*> controls_;  // not owned; controls are owned components
    TControl* captured_ = nullptr;      // the control that got the mouse press
};

// The form a description is being read into.
SAUNO_RUNTIME_EXPORT TCustomForm& FormOf(TReader& reader);

// The mouse state flags of a platform mouse-button mask, with the keyboard's modifiers.
SAUNO_RUNTIME_EXPORT TShiftState ShiftFromPlatform(uint32_t buttonMask);
SAUNO_RUNTIME_EXPORT TMouseButton MouseButtonFromPlatform(uint8_t button);

SAUNO_RUNTIME_EXPORT void RegisterFormClasses();
SAUNO_RUNTIME_EXPORT void RegisterControlProperties(struct ClassInfo& info);

}  // namespace sauno
