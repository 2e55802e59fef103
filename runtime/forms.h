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
    // A left press and release over the control; a second press in quick succession is a
    // double click instead of a second click.
    TNotifyEvent OnClick;
    TNotifyEvent OnDblClick;

    // The pointer came over the control or left it (the form tracks which control is under it).
    virtual void MouseEntered() {}
    virtual void MouseLeft() {}

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
    virtual TMouseWheelEvent MouseWheelHandler(std::string_view name);
    virtual TKeyPressEvent KeyPressHandler(std::string_view name);

    // Platform events for this form's window.
    void HandleEvent(const SDL_Event& event) override;
    void Paint() override;

    void AddControl(TControl* control);
    void RemoveControl(TControl* control);
    const std::vector<TControl*>& Controls() const { return controls_; }
    // The topmost visible control under a client point, or null.
    TControl* ControlAt(int x, int y) const;
    // The control the pointer is over, or null when it is over none or outside the window.
    TControl* HoveredControl() const { return hovered_; }
    // Makes `control` (or none) the one under the pointer: the one left hears first.
    void Hover(TControl* control);

protected:
    // Key and mouse routing shared by every window that delivers input to this form's handlers.
    void DispatchKey(const SDL_Event& event, const TKeyEvent& down, const TKeyEvent& up);

private:
    [[noreturn]] void UnknownHandler(std::string_view name) const;

    std::unique_ptr<platform::Window> window_;
    platform::GLPixelFormat pixelFormat_;
    std::vector<TControl*> controls_;  // not owned; controls are owned components
    TControl* captured_ = nullptr;      // the control that got the mouse press
    TControl* hovered_ = nullptr;       // the control under the pointer
    bool clickPending_ = false;         // a single left press on captured_ awaits its release
};

// The character a key press types, for keys that type one without text input (Enter, Escape,
// Backspace, Tab); 0 for the others.
SAUNO_RUNTIME_EXPORT char ControlCharacterOfKey(SDL_Keycode key);
// The character of typed text when it is one character in the Latin-1 range; 0 otherwise.
SAUNO_RUNTIME_EXPORT char Latin1CharacterOfText(const char* utf8);

// The form a description is being read into.
SAUNO_RUNTIME_EXPORT TCustomForm& FormOf(TReader& reader);

// The mouse state flags of a platform mouse-button mask, with the keyboard's modifiers.
SAUNO_RUNTIME_EXPORT TShiftState ShiftFromPlatform(uint32_t buttonMask);
SAUNO_RUNTIME_EXPORT TMouseButton MouseButtonFromPlatform(uint8_t button);

SAUNO_RUNTIME_EXPORT void RegisterFormClasses();
SAUNO_RUNTIME_EXPORT void RegisterControlProperties(struct ClassInfo& info);

}  // namespace sauno
