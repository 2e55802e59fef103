// A process whose X server goes away while the display mode is switched: it must end at once,
// with status 1 and one line on standard error, and not sit in the exit path trying to give
// the dead display its mode back. The server is a private one that the test starts and kills.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <string>
#include <thread>

#include "engine/videomodes.h"
#include "platform/window.h"

using namespace sauno;

namespace {

std::string ReadAll(int fd)
{
    std::string text;
    char chunk[512];
    for (ssize_t n; (n = ::read(fd, chunk, sizeof chunk)) > 0;) text.append(chunk, static_cast<size_t>(n));
    return text;
}

// Starts a server of its own; returns its process and sets `display` (":N").
pid_t StartServer(std::string& display)
{
    int fds[2];
    if (::pipe(fds) != 0) return -1;
    const pid_t server = ::fork();
    if (server == 0) {
        ::close(fds[0]);
        const std::string fd = std::to_string(fds[1]);
        ::execlp("Xvfb", "Xvfb", "-displayfd", fd.c_str(), "-screen", "0", "1024x768x24", "-nolisten", "tcp",
                 static_cast<char*>(nullptr));
        ::_exit(127);
    }
    ::close(fds[1]);
    std::string number;
    char c;
    while (::read(fds[0], &c, 1) == 1 && c != '\n') number += c;
    ::close(fds[0]);
    display = ":" + number;
    return number.empty() ? -1 : server;
}

// In the child: a full-screen window on a switched mode, then the event loop until the end.
[[noreturn]] void RunSwitched(const std::string& display, int ready, int errors)
{
    ::dup2(errors, STDERR_FILENO);
    ::setenv("DISPLAY", display.c_str(), 1);
    try {
        platform::Window window("switched", 0, 0, 640, 480, platform::GLPixelFormat{},
                                platform::WindowStyle::Borderless);
        window.Show();
        // Entry 1 is a real mode of the display; switching to it registers the exit-time restore.
        if (!SwitchDisplayMode(window.Handle(), 1, 0) || !DisplayModeSwitched()) ::_exit(3);
        SDL_Event event;
        for (int i = 0; i < 20; ++i) platform::PollEvent(event);
        const char byte = 'r';
        if (::write(ready, &byte, 1) != 1) ::_exit(4);
        for (;;) platform::WaitEvent(event, 100);
    } catch (...) {
        ::_exit(5);
    }
}

}  // namespace

TEST(DisplayLoss, ASwitchedFullScreenProcessEndsAtOnceWithOneLine)
{
    std::string display;
    const pid_t server = StartServer(display);
    ASSERT_GT(server, 0) << "no virtual X server";
    int ready[2], errors[2];
    ASSERT_EQ(::pipe(ready), 0);
    ASSERT_EQ(::pipe(errors), 0);
    const pid_t game = ::fork();
    if (game == 0) {
        ::close(ready[0]);
        ::close(errors[0]);
        RunSwitched(display, ready[1], errors[1]);
    }
    ::close(ready[1]);
    ::close(errors[1]);
    char byte = 0;
    const bool started = ::read(ready[0], &byte, 1) == 1;
    ::close(ready[0]);

    ::kill(server, SIGKILL);
    ::waitpid(server, nullptr, 0);
    int status = 0;
    bool ended = false;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(1);
    while (!(ended = ::waitpid(game, &status, WNOHANG) == game) && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    if (!ended) {
        ::kill(game, SIGKILL);
        ::waitpid(game, &status, 0);
    }
    const std::string said = ReadAll(errors[0]);
    ::close(errors[0]);

    ASSERT_TRUE(started) << "the switched window did not come up (status " << status << ")";
    ASSERT_TRUE(ended) << "still running 1 s after the display went away";
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 1);
    EXPECT_EQ(said, "engine_display_loss_test: lost the connection to the display " + display + "\n");
}
