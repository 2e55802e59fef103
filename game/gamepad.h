#pragma once
// The gamepad as the game reads it: each pad input becomes the key press the rules already
// know, chosen by what the game is waiting for, and goes through the form's key handlers.
//   shoulders or triggers  Left / Right (a throw; the two in turn, as the arrows)
//   A                      Enter (start, a beer); "y" when a question is asked
//   B                      Escape (asks to quit); "n" when a question is asked
//   Start                  Escape
#include <map>

#include "platform/gamepad.h"

namespace sauno {

class TForm1;

class TGamepadControls {
public:
    // Listens to the application's device events for as long as it lives.
    explicit TGamepadControls(TForm1& form);
    ~TGamepadControls();
    TGamepadControls(const TGamepadControls&) = delete;
    TGamepadControls& operator=(const TGamepadControls&) = delete;

    int PadCount() const { return pads_.Count(); }
    // One input, as a key press or release through the form.
    void Input(platform::TPadInput input);

private:
    int KeyFor(platform::TPadButton button) const;
    TForm1& form_;
    platform::Gamepads pads_;
    // The key each held button pressed: its release lets go of that key, whatever has changed.
    std::map<platform::TPadButton, int> held_;
};

}  // namespace sauno
