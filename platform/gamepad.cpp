#include "platform/gamepad.h"

namespace sauno::platform {

namespace {
// A trigger counts as pressed past half its travel and as released below a quarter, so one pull
// that trembles near the threshold is one throw.
constexpr int kTriggerPress = 16384, kTriggerRelease = 8192;
}  // namespace

Gamepads::Gamepads()
{
    // Controllers answer even while another window has the keyboard (the full-screen switch
    // moves it between windows), so a pad plugged in at any moment works at once.
    SDL_SetHint(SDL_HINT_JOYSTICK_ALLOW_BACKGROUND_EVENTS, "1");
    started_ = SDL_InitSubSystem(SDL_INIT_GAMECONTROLLER) == 0;
}

Gamepads::~Gamepads()
{
    open_.clear();
    if (started_) SDL_QuitSubSystem(SDL_INIT_GAMECONTROLLER);
}

std::optional<TPadInput> Gamepads::Trigger(Pad&, bool& held, TPadButton button, int value)
{
    if (!held && value >= kTriggerPress) {
        held = true;
        return TPadInput{button, true};
    }
    if (held && value < kTriggerRelease) {
        held = false;
        return TPadInput{button, false};
    }
    return std::nullopt;
}

std::optional<TPadInput> Gamepads::Handle(const SDL_Event& event)
{
    if (!started_) return std::nullopt;
    switch (event.type) {
        case SDL_CONTROLLERDEVICEADDED: {
            // `which` is a device index here; the same pad may be announced twice at start-up.
            SDL_GameController* controller = SDL_GameControllerOpen(event.cdevice.which);
            if (!controller) return std::nullopt;
            const SDL_JoystickID id = SDL_JoystickInstanceID(SDL_GameControllerGetJoystick(controller));
            if (open_.count(id)) SDL_GameControllerClose(controller);
            else open_[id].controller.reset(controller);
            return std::nullopt;
        }
        case SDL_CONTROLLERDEVICEREMOVED: open_.erase(event.cdevice.which); return std::nullopt;
        case SDL_CONTROLLERBUTTONDOWN:
        case SDL_CONTROLLERBUTTONUP: {
            if (!open_.count(event.cbutton.which)) return std::nullopt;
            const bool down = event.type == SDL_CONTROLLERBUTTONDOWN;
            switch (event.cbutton.button) {
                case SDL_CONTROLLER_BUTTON_A: return TPadInput{TPadButton::pbA, down};
                case SDL_CONTROLLER_BUTTON_B: return TPadInput{TPadButton::pbB, down};
                case SDL_CONTROLLER_BUTTON_START: return TPadInput{TPadButton::pbStart, down};
                case SDL_CONTROLLER_BUTTON_LEFTSHOULDER: return TPadInput{TPadButton::pbLeftThrow, down};
                case SDL_CONTROLLER_BUTTON_RIGHTSHOULDER: return TPadInput{TPadButton::pbRightThrow, down};
                default: return std::nullopt;
            }
        }
        case SDL_CONTROLLERAXISMOTION: {
            auto it = open_.find(event.caxis.which);
            if (it == open_.end()) return std::nullopt;
            Pad& pad = it->second;
            if (event.caxis.axis == SDL_CONTROLLER_AXIS_TRIGGERLEFT)
                return Trigger(pad, pad.leftTrigger, TPadButton::pbLeftThrow, event.caxis.value);
            if (event.caxis.axis == SDL_CONTROLLER_AXIS_TRIGGERRIGHT)
                return Trigger(pad, pad.rightTrigger, TPadButton::pbRightThrow, event.caxis.value);
            return std::nullopt;
        }
        default: return std::nullopt;
    }
}

}  // namespace sauno::platform
