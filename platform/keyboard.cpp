#include "platform/keyboard.h"

#include <array>
#include <cctype>

namespace sauno {

namespace {
std::array<bool, 256> keyTable{};
}

bool IsVirtualKeyDown(int virtualKey)
{
    return virtualKey > 0 && virtualKey < 256 && keyTable[static_cast<size_t>(virtualKey)];
}

bool IsKeyDown(char c)
{
    int key = keyboard::VirtualKeyForCharacter(c);
    return key != 0 && IsVirtualKeyDown(key);
}

namespace keyboard {

int VirtualKeyFromSdl(SDL_Keycode key)
{
    if (key >= SDLK_a && key <= SDLK_z) return 'A' + (key - SDLK_a);
    if (key >= SDLK_0 && key <= SDLK_9) return '0' + (key - SDLK_0);
    if (key >= SDLK_F1 && key <= SDLK_F12) return vk::F1 + (key - SDLK_F1);
    switch (key) {
        case SDLK_BACKSPACE: return vk::Back;
        case SDLK_TAB: return vk::Tab;
        case SDLK_RETURN:
        case SDLK_KP_ENTER: return vk::Return;
        case SDLK_LSHIFT:
        case SDLK_RSHIFT: return vk::Shift;
        case SDLK_LCTRL:
        case SDLK_RCTRL: return vk::Control;
        case SDLK_LALT:
        case SDLK_RALT: return vk::Menu;
        case SDLK_PAUSE: return vk::Pause;
        case SDLK_CAPSLOCK: return vk::Capital;
        case SDLK_ESCAPE: return vk::Escape;
        case SDLK_SPACE: return vk::Space;
        case SDLK_PAGEUP: return vk::Prior;
        case SDLK_PAGEDOWN: return vk::Next;
        case SDLK_END: return vk::End;
        case SDLK_HOME: return vk::Home;
        case SDLK_LEFT: return vk::Left;
        case SDLK_UP: return vk::Up;
        case SDLK_RIGHT: return vk::Right;
        case SDLK_DOWN: return vk::Down;
        case SDLK_INSERT: return vk::Insert;
        case SDLK_DELETE: return vk::Delete;
        default: return 0;
    }
}

int VirtualKeyForCharacter(char c)
{
    char name[2] = {static_cast<char>(std::tolower(static_cast<unsigned char>(c))), 0};
    SDL_Keycode typed = SDL_GetKeyFromName(name);
    if (typed == SDLK_UNKNOWN) return 0;
    // The key that sits where this character is typed in the current layout.
    SDL_Scancode scancode = SDL_GetScancodeFromKey(typed);
    if (scancode == SDL_SCANCODE_UNKNOWN) return 0;
    return VirtualKeyFromSdl(SDL_GetKeyFromScancode(scancode));
}

void SetVirtualKeyState(int virtualKey, bool down)
{
    if (virtualKey > 0 && virtualKey < 256) keyTable[static_cast<size_t>(virtualKey)] = down;
}

void ReleaseAll() { keyTable.fill(false); }

}  // namespace keyboard
}  // namespace sauno
