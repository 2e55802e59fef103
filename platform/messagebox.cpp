#include "platform/messagebox.h"

#include <SDL.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace sauno::platform {

bool MessagesToStderr()
{
    // Not a privileged choice: it names no file and only sends the text to standard error,
    // which the player owns; tests of the installed game rely on it, so it stays readable.
    const char* mode = std::getenv("SAUNO_MESSAGES");
    return mode && std::strcmp(mode, "stderr") == 0;
}

void ShowMessageBox(std::string_view title, std::string_view text, MessageKind kind)
{
    std::string body(text);
    if (MessagesToStderr()) {
        std::string line = body;
        for (char& c : line)
            if (c == '\n' || c == '\r') c = ' ';
        std::fprintf(stderr, "%.*s: %s\n", static_cast<int>(title.size()), title.data(), line.c_str());
        std::fflush(stderr);
        return;
    }
    Uint32 flags = kind == MessageKind::Error ? SDL_MESSAGEBOX_ERROR : SDL_MESSAGEBOX_INFORMATION;
    if (SDL_ShowSimpleMessageBox(flags, std::string(title).c_str(), body.c_str(), nullptr) != 0) {
        // No way to show a dialog (no display): the text must still reach the player.
        std::fprintf(stderr, "%.*s: %s\n", static_cast<int>(title.size()), title.data(), body.c_str());
    }
}

}  // namespace sauno::platform
