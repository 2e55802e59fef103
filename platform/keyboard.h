#pragma once
// The unit Keyboard: which keys are down, by virtual key code.
//
// The state is a table of our own, updated from each key event just before that event's
// handlers run, so a handler sees the keyboard as of the event it handles: a quick tap whose
// release is already queued is still "down" while its press is handled.
#include <SDL.h>

#include "platform/export.h"

namespace sauno {

namespace vk {
constexpr int Back = 8, Tab = 9, Return = 13, Shift = 16, Control = 17, Menu = 18, Pause = 19, Capital = 20,
              Escape = 27, Space = 32, Prior = 33, Next = 34, End = 35, Home = 36, Left = 37, Up = 38, Right = 39,
              Down = 40, Insert = 45, Delete = 46, F1 = 112, F4 = 115, F12 = 123;
}

// True when the key with this virtual key code is down now.
SAUNO_PLATFORM_EXPORT bool IsVirtualKeyDown(int virtualKey);
// True when the key that types `c` in the current layout is down (shift state ignored).
bool IsKeyDown(char c);

namespace keyboard {
// The virtual key a platform key code stands for, or 0 for a key without one.
SAUNO_PLATFORM_EXPORT int VirtualKeyFromSdl(SDL_Keycode key);
// The virtual key that types `c` in the current layout, or 0 if no key types it.
int VirtualKeyForCharacter(char c);
// Updates the table; the platform calls it for each key event, tests script it directly.
SAUNO_PLATFORM_EXPORT void SetVirtualKeyState(int virtualKey, bool down);
SAUNO_PLATFORM_EXPORT void ReleaseAll();
}  // namespace keyboard

}  // namespace sauno
