#include "game/gamepad.h"

#include "game/peli.h"
#include "platform/keyboard.h"
#include "runtime/application.h"

namespace sauno {

using platform::TPadButton;

TGamepadControls::TGamepadControls(TForm1& form) : form_(form)
{
    Application().OnDeviceEvent = [this](const SDL_Event& event) {
        if (auto input = pads_.Handle(event)) Input(*input);
    };
}

TGamepadControls::~TGamepadControls()
{
    Application().OnDeviceEvent = nullptr;
    for (const auto& [button, key] : held_) keyboard::SetVirtualKeyState(key, false);
}

int TGamepadControls::KeyFor(TPadButton button) const
{
    const bool asked = form_.quitPending || form_.gameOver;
    switch (button) {
        case TPadButton::pbLeftThrow: return vk::Left;
        case TPadButton::pbRightThrow: return vk::Right;
        case TPadButton::pbA: return asked ? keyboard::VirtualKeyForCharacter('y') : vk::Return;
        case TPadButton::pbB: return asked ? keyboard::VirtualKeyForCharacter('n') : vk::Escape;
        case TPadButton::pbStart: return asked ? 0 : vk::Escape;
    }
    return 0;
}

void TGamepadControls::Input(platform::TPadInput input)
{
    uint16_t key = 0;
    if (input.down) {
        if (held_.count(input.button)) return;
        const int virtualKey = KeyFor(input.button);
        if (virtualKey == 0) return;
        held_[input.button] = virtualKey;
        keyboard::SetVirtualKeyState(virtualKey, true);
        key = static_cast<uint16_t>(virtualKey);
        Application().Guard([&] { form_.FormKeyDown(&form_, key, 0); });
        return;
    }
    auto it = held_.find(input.button);
    if (it == held_.end()) return;
    key = static_cast<uint16_t>(it->second);
    keyboard::SetVirtualKeyState(it->second, false);
    held_.erase(it);
    Application().Guard([&] { form_.FormKeyUp(&form_, key, 0); });
}

}  // namespace sauno
