#include "platform/display_loss.h"

#include <X11/Xlib.h>
#include <dlfcn.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace sauno::platform {

namespace {

using SetIOErrorHandlerFn = XIOErrorHandler (*)(XIOErrorHandler);
using DisplayStringFn = char* (*)(Display*);
DisplayStringFn displayString = nullptr;

void WriteAll(const char* text)
{
    size_t left = std::strlen(text);
    while (left > 0) {
        const ssize_t n = ::write(STDERR_FILENO, text, left);
        if (n <= 0 && errno != EINTR) return;
        if (n > 0) {
            text += n;
            left -= static_cast<size_t>(n);
        }
    }
}

// Called by the X library when its connection breaks; it must not return, or the library
// calls exit(). Only plain writes and _exit here: the connection, and any lock the library
// holds on it, are unusable.
int DisplayLost(Display* display)
{
    WriteAll(program_invocation_short_name);
    WriteAll(": lost the connection to the display");
    const char* name = displayString && display ? displayString(display) : nullptr;
    if (name && *name) {
        WriteAll(" ");
        WriteAll(name);
    }
    WriteAll("\n");
    ::_exit(1);
}

}  // namespace

void EndProcessOnDisplayLoss()
{
    // SDL loads the X library itself when it uses it; not loaded means no X connection to lose.
    void* x11 = ::dlopen("libX11.so.6", RTLD_LAZY | RTLD_NOLOAD);
    if (!x11) return;
    auto setHandler = reinterpret_cast<SetIOErrorHandlerFn>(::dlsym(x11, "XSetIOErrorHandler"));
    displayString = reinterpret_cast<DisplayStringFn>(::dlsym(x11, "XDisplayString"));
    if (setHandler) setHandler(DisplayLost);
    // The handle stays open: the library must outlive every connection.
}

}  // namespace sauno::platform
