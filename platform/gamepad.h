#pragma once
// Game controllers through SDL's game controller interface: controllers are opened as they are
// plugged in (those already there arrive the same way when the interface starts) and closed
// when they go; their buttons and triggers become presses and releases of five inputs.
#include <SDL.h>

#include <map>
#include <memory>
#include <optional>

namespace sauno::platform {

enum class TPadButton { pbA, pbB, pbStart, pbLeftThrow, pbRightThrow };

struct TPadInput {
    TPadButton button;
    bool down;
};

class Gamepads {
public:
    // Starts the interface; without it (no joystick support) the game simply has no gamepad.
    Gamepads();
    ~Gamepads();
    Gamepads(const Gamepads&) = delete;
    Gamepads& operator=(const Gamepads&) = delete;

    bool Available() const { return started_; }
    int Count() const { return static_cast<int>(open_.size()); }
    // What an event stands for, if anything; opens and closes controllers on the way.
    std::optional<TPadInput> Handle(const SDL_Event& event);

private:
    struct Close {
        void operator()(SDL_GameController* controller) const { SDL_GameControllerClose(controller); }
    };
    struct Pad {
        std::unique_ptr<SDL_GameController, Close> controller;
        bool leftTrigger = false, rightTrigger = false;
    };
    std::optional<TPadInput> Trigger(Pad& pad, bool& held, TPadButton button, int value);
    bool started_ = false;
    std::map<SDL_JoystickID, Pad> open_;
};

}  // namespace sauno::platform
