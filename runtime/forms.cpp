#include "runtime/forms.h"

#include <algorithm>

#include "platform/exception.h"
#include "platform/keyboard.h"
#include "platform/startup_report.h"
#include "runtime/reader.h"

namespace sauno {

TControl::~TControl()
{
    if (parent_) parent_->RemoveControl(this);
}

void TControl::SetParentComponent(TComponent* parent)
{
    if (auto* form = dynamic_cast<TCustomForm*>(parent)) {
        parent_ = form;
        form->AddControl(this);
    }
}

void TControl::SetVisible(bool value)
{
    if (value == visible_) return;
    visible_ = value;
    // A hidden control is no longer under the pointer.
    if (!visible_ && parent_ && parent_->HoveredControl() == this) parent_->Hover(nullptr);
    Invalidate();
}

void TControl::BoundsInParent(int& left, int& top, int& width, int& height) const
{
    left = Left;
    top = Top;
    width = Width;
    height = Height;
    if (Align == TAlign::alClient && parent_) {
        left = 0;
        top = 0;
        width = parent_->ClientWidth;
        height = parent_->ClientHeight;
    }
}

void TControl::Invalidate()
{
    if (parent_) parent_->Invalidate();
}

TCustomForm::TCustomForm(TComponent* owner) : TComponent(owner) {}

TCustomForm::~TCustomForm()
{
    // Components go first: their GL contexts must be gone before the window they draw on.
    BeginDestroy();
    DestroyComponents();
    if (Application().MainForm() == this) Application().SetMainForm(nullptr);
    if (window_) Application().UnregisterWindow(window_->Id());
}

platform::Window& TCustomForm::Window()
{
    if (!window_) {
        window_ = std::make_unique<platform::Window>(Caption, Left, Top, ClientWidth, ClientHeight, pixelFormat_,
                                                     platform::WindowStyle::Normal);
        Application().RegisterWindow(window_->Id(), this);
    }
    return *window_;
}

void TCustomForm::RequestPixelFormat(const platform::GLPixelFormat& format)
{
    Assert(!window_);
    pixelFormat_ = format;
}

void TCustomForm::RemakeWindow(const platform::GLPixelFormat& format)
{
    pixelFormat_ = format;
    if (!window_) return;
    Application().UnregisterWindow(window_->Id());
    window_->Remake(format);
    Application().RegisterWindow(window_->Id(), this);
}

void TCustomForm::Show()
{
    // The first frame is drawn while the window is still hidden, so that what drawing builds
    // on first need (textures, glyph sheets, display lists) is ready when the window appears:
    // it is never seen black for longer than the one frame that follows.
    if (!Window().Shown()) Application().Guard([this] { Paint(); });
    Window().Show();
    Invalidate();
}

void TCustomForm::ReadDescription(std::string_view text)
{
    {
        DescribedObject description;
        {
            platform::StartupPhase phase("description: parse");
            description = ParseDescription(text);
        }
        TReader reader(*this);
        reader.ReadRoot(description);
    }  // the parsed copy of the embedded data is gone before the creation handler runs
    if (OnCreate) Application().Guard([this] { OnCreate(this); });
}

void TCustomForm::UnknownHandler(std::string_view name) const
{
    throw Exception("Scene description error: the form has no handler " + std::string(name));
}

TNotifyEvent TCustomForm::NotifyHandler(std::string_view name) { UnknownHandler(name); }
TKeyEvent TCustomForm::KeyHandler(std::string_view name) { UnknownHandler(name); }
TMouseEvent TCustomForm::MouseHandler(std::string_view name) { UnknownHandler(name); }
TMouseMoveEvent TCustomForm::MouseMoveHandler(std::string_view name) { UnknownHandler(name); }
TMouseWheelEvent TCustomForm::MouseWheelHandler(std::string_view name) { UnknownHandler(name); }
TKeyPressEvent TCustomForm::KeyPressHandler(std::string_view name) { UnknownHandler(name); }

void TCustomForm::AddControl(TControl* control)
{
    if (std::find(controls_.begin(), controls_.end(), control) == controls_.end()) controls_.push_back(control);
}

void TCustomForm::RemoveControl(TControl* control)
{
    controls_.erase(std::remove(controls_.begin(), controls_.end(), control), controls_.end());
    if (captured_ == control) captured_ = nullptr;
    if (hovered_ == control) hovered_ = nullptr;
}

void TCustomForm::Hover(TControl* control)
{
    if (control == hovered_) return;
    TControl* left = hovered_;
    hovered_ = control;
    if (left) left->MouseLeft();
    if (control) control->MouseEntered();
}

TControl* TCustomForm::ControlAt(int x, int y) const
{
    for (auto it = controls_.rbegin(); it != controls_.rend(); ++it) {
        TControl* c = *it;
        if (!c->Visible()) continue;
        int left, top, width, height;
        c->BoundsInParent(left, top, width, height);
        if (x >= left && y >= top && x < left + width && y < top + height) return c;
    }
    return nullptr;
}

TShiftState ShiftFromPlatform(uint32_t buttonMask)
{
    TShiftState shift = 0;
    if (buttonMask & SDL_BUTTON_LMASK) shift |= ssLeft;
    if (buttonMask & SDL_BUTTON_RMASK) shift |= ssRight;
    if (buttonMask & SDL_BUTTON_MMASK) shift |= ssMiddle;
    if (IsVirtualKeyDown(vk::Shift)) shift |= ssShift;
    if (IsVirtualKeyDown(vk::Control)) shift |= ssCtrl;
    if (IsVirtualKeyDown(vk::Menu)) shift |= ssAlt;
    return shift;
}

TMouseButton MouseButtonFromPlatform(uint8_t button)
{
    if (button == SDL_BUTTON_RIGHT) return TMouseButton::mbRight;
    if (button == SDL_BUTTON_MIDDLE) return TMouseButton::mbMiddle;
    return TMouseButton::mbLeft;
}

void TCustomForm::DispatchKey(const SDL_Event& event, const TKeyEvent& down, const TKeyEvent& up)
{
    uint16_t key = static_cast<uint16_t>(keyboard::VirtualKeyFromSdl(event.key.keysym.sym));
    TShiftState shift = ShiftFromPlatform(0);
    if (event.type == SDL_KEYDOWN && down) down(this, key, shift);
    if (event.type == SDL_KEYUP && up) up(this, key, shift);
}

void TCustomForm::HandleEvent(const SDL_Event& event)
{
    switch (event.type) {
        case SDL_KEYDOWN:
        case SDL_KEYUP: DispatchKey(event, OnKeyDown, OnKeyUp); break;
        case SDL_MOUSEBUTTONDOWN: {
            TControl* c = ControlAt(event.button.x, event.button.y);
            Hover(c);
            captured_ = c;
            clickPending_ = false;
            if (!c) break;
            if (event.button.button == SDL_BUTTON_LEFT) {
                // Every second press of a quick series is a double click, which makes no click.
                if (event.button.clicks % 2 == 0) {
                    if (c->OnDblClick) c->OnDblClick(c);
                } else {
                    clickPending_ = true;
                }
            }
            if (captured_ == c && c->OnMouseDown) {
                int left, top, width, height;
                c->BoundsInParent(left, top, width, height);
                c->OnMouseDown(c, MouseButtonFromPlatform(event.button.button),
                               ShiftFromPlatform(SDL_GetMouseState(nullptr, nullptr)),
                               event.button.x - left, event.button.y - top);
            }
            break;
        }
        case SDL_MOUSEBUTTONUP: {
            // The control that got the press gets the release, wherever the pointer is now.
            TControl* c = captured_ ? captured_ : ControlAt(event.button.x, event.button.y);
            const bool leftButton = event.button.button == SDL_BUTTON_LEFT;
            const bool click = leftButton && clickPending_ && c == captured_;
            if (leftButton) {
                captured_ = nullptr;
                clickPending_ = false;
            }
            if (!c) break;
            int left, top, width, height;
            c->BoundsInParent(left, top, width, height);
            const int x = event.button.x - left, y = event.button.y - top;
            if (click && x >= 0 && y >= 0 && x < width && y < height && c->OnClick) {
                c->OnClick(c);
                // The handler may have freed the control.
                if (std::find(controls_.begin(), controls_.end(), c) == controls_.end()) break;
            }
            if (c->OnMouseUp)
                c->OnMouseUp(c, MouseButtonFromPlatform(event.button.button),
                             ShiftFromPlatform(SDL_GetMouseState(nullptr, nullptr)), x, y);
            break;
        }
        case SDL_MOUSEMOTION: {
            // Leaving the window ends with a motion to outside it, which is over no control.
            Hover(ControlAt(event.motion.x, event.motion.y));
            TControl* c = captured_ && (event.motion.state != 0) ? captured_ : ControlAt(event.motion.x, event.motion.y);
            if (c && c->OnMouseMove) {
                int left, top, width, height;
                c->BoundsInParent(left, top, width, height);
                c->OnMouseMove(c, ShiftFromPlatform(event.motion.state), event.motion.x - left, event.motion.y - top);
            }
            break;
        }
        case SDL_WINDOWEVENT:
            if (event.window.event == SDL_WINDOWEVENT_CLOSE && Application().MainForm() == this) {
                Application().Terminate();
            } else if (event.window.event == SDL_WINDOWEVENT_EXPOSED || event.window.event == SDL_WINDOWEVENT_SHOWN) {
                Invalidate();
            } else if (event.window.event == SDL_WINDOWEVENT_SIZE_CHANGED) {
                ClientWidth = event.window.data1;
                ClientHeight = event.window.data2;
                for (TControl* c : controls_) c->Resized();
                Invalidate();
            }
            break;
        default: break;
    }
}

void TCustomForm::Paint()
{
    platform::StartupFrameBegun();
    platform::StartupPhase phase("frames");
    for (TControl* c : controls_)
        if (c->Visible()) c->Paint();
}

char ControlCharacterOfKey(SDL_Keycode key)
{
    switch (key) {
        case SDLK_RETURN:
        case SDLK_KP_ENTER: return '\r';
        case SDLK_ESCAPE: return '\x1b';
        case SDLK_BACKSPACE: return '\b';
        case SDLK_TAB: return '\t';
        default: return 0;
    }
}

char Latin1CharacterOfText(const char* utf8)
{
    const auto* s = reinterpret_cast<const unsigned char*>(utf8);
    if (s[0] != 0 && s[0] < 0x80 && s[1] == 0) return static_cast<char>(s[0]);
    // Two bytes, 110xxxxx 10xxxxxx, for U+0080 to U+00FF only.
    if ((s[0] == 0xC2 || s[0] == 0xC3) && (s[1] & 0xC0) == 0x80 && s[2] == 0)
        return static_cast<char>(((s[0] & 0x1F) << 6) | (s[1] & 0x3F));
    return 0;
}

TCustomForm& FormOf(TReader& reader)
{
    auto* form = dynamic_cast<TCustomForm*>(&reader.Root());
    Assert(form != nullptr);
    return *form;
}

void RegisterControlProperties(ClassInfo& info)
{
    info.properties["Left"] = [](TPersistent& c, const PropValue& v, TReader&) {
        static_cast<TControl&>(c).Left = static_cast<int>(v.AsInteger("Left"));
    };
    info.properties["Top"] = [](TPersistent& c, const PropValue& v, TReader&) {
        static_cast<TControl&>(c).Top = static_cast<int>(v.AsInteger("Top"));
    };
    info.properties["Width"] = [](TPersistent& c, const PropValue& v, TReader&) {
        static_cast<TControl&>(c).Width = static_cast<int>(v.AsInteger("Width"));
    };
    info.properties["Height"] = [](TPersistent& c, const PropValue& v, TReader&) {
        static_cast<TControl&>(c).Height = static_cast<int>(v.AsInteger("Height"));
    };
    info.properties["Align"] = [](TPersistent& c, const PropValue& v, TReader&) {
        const std::string& a = v.AsIdent("Align");
        static const std::map<std::string, TAlign, std::less<>> names = {
            {"alNone", TAlign::alNone}, {"alTop", TAlign::alTop},     {"alBottom", TAlign::alBottom},
            {"alLeft", TAlign::alLeft}, {"alRight", TAlign::alRight}, {"alClient", TAlign::alClient}};
        auto it = names.find(a);
        if (it == names.end()) throw Exception("Invalid property value for Align");
        static_cast<TControl&>(c).Align = it->second;
    };
    info.properties["OnMouseDown"] = [](TPersistent& c, const PropValue& v, TReader& r) {
        static_cast<TControl&>(c).OnMouseDown = FormOf(r).MouseHandler(v.AsIdent("OnMouseDown"));
    };
    info.properties["OnMouseUp"] = [](TPersistent& c, const PropValue& v, TReader& r) {
        static_cast<TControl&>(c).OnMouseUp = FormOf(r).MouseHandler(v.AsIdent("OnMouseUp"));
    };
    info.properties["OnMouseMove"] = [](TPersistent& c, const PropValue& v, TReader& r) {
        static_cast<TControl&>(c).OnMouseMove = FormOf(r).MouseMoveHandler(v.AsIdent("OnMouseMove"));
    };
    info.properties["OnClick"] = [](TPersistent& c, const PropValue& v, TReader& r) {
        static_cast<TControl&>(c).OnClick = FormOf(r).NotifyHandler(v.AsIdent("OnClick"));
    };
    info.properties["OnDblClick"] = [](TPersistent& c, const PropValue& v, TReader& r) {
        static_cast<TControl&>(c).OnDblClick = FormOf(r).NotifyHandler(v.AsIdent("OnDblClick"));
    };
}

void RegisterFormClasses()
{
    ClassInfo& form = ClassRegistry::Instance().Register("TCustomForm", "TComponent", nullptr);
    form.properties["Caption"] = [](TPersistent& c, const PropValue& v, TReader&) {
        static_cast<TCustomForm&>(c).Caption = v.AsString("Caption");
    };
    form.properties["Left"] = [](TPersistent& c, const PropValue& v, TReader&) {
        static_cast<TCustomForm&>(c).Left = static_cast<int>(v.AsInteger("Left"));
    };
    form.properties["Top"] = [](TPersistent& c, const PropValue& v, TReader&) {
        static_cast<TCustomForm&>(c).Top = static_cast<int>(v.AsInteger("Top"));
    };
    form.properties["ClientWidth"] = [](TPersistent& c, const PropValue& v, TReader&) {
        static_cast<TCustomForm&>(c).ClientWidth = static_cast<int>(v.AsInteger("ClientWidth"));
    };
    form.properties["ClientHeight"] = [](TPersistent& c, const PropValue& v, TReader&) {
        static_cast<TCustomForm&>(c).ClientHeight = static_cast<int>(v.AsInteger("ClientHeight"));
    };
    // Kept for the record of the design; the window's frame and font are the platform's.
    for (const char* ignored : {"Width", "Height", "Color", "Font.Charset", "Font.Color", "Font.Height", "Font.Name",
                                "Font.Style", "PixelsPerInch"})
        form.properties[ignored] = [](TPersistent&, const PropValue&, TReader&) {};
    form.properties["OnCreate"] = [](TPersistent& c, const PropValue& v, TReader& r) {
        static_cast<TCustomForm&>(c).OnCreate = FormOf(r).NotifyHandler(v.AsIdent("OnCreate"));
    };
    form.properties["OnKeyDown"] = [](TPersistent& c, const PropValue& v, TReader& r) {
        static_cast<TCustomForm&>(c).OnKeyDown = FormOf(r).KeyHandler(v.AsIdent("OnKeyDown"));
    };
    form.properties["OnKeyUp"] = [](TPersistent& c, const PropValue& v, TReader& r) {
        static_cast<TCustomForm&>(c).OnKeyUp = FormOf(r).KeyHandler(v.AsIdent("OnKeyUp"));
    };
    ClassInfo& control = ClassRegistry::Instance().Register("TControl", "TComponent", nullptr);
    RegisterControlProperties(control);
}

}  // namespace sauno
