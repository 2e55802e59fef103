// The game as installed, played from outside the way the end-to-end scripts play it (see
// tests/e2e/e2e_lib.sh): a virtual X server of its own, the game in a scratch folder with a
// high-score table of its own, real X key and mouse events through the XTest extension, the
// frames it drew read from the file SAUNO_FRAME_LOG names, its CPU time from /proc.
// Shared by the pacing tests and the idle benchmark. Times are steady_clock nanoseconds, the
// clock of the game's frame log.
#pragma once

#include <X11/Xlib.h>
#include <X11/Xatom.h>
#include <X11/Xutil.h>
#include <X11/extensions/XTest.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace sauno::played {

inline int64_t Now()
{
    return std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}
inline void Sleep(double seconds) { std::this_thread::sleep_for(std::chrono::duration<double>(seconds)); }
inline void SleepUntil(int64_t ns)
{
    std::this_thread::sleep_until(std::chrono::steady_clock::time_point(std::chrono::nanoseconds(ns)));
}

// A virtual X server of our own, so that nothing else takes the keyboard focus.
class OwnDisplay {
public:
    explicit OwnDisplay(const std::string& screen = "1024x768x24")
    {
        int fds[2];
        if (::pipe(fds) != 0) return;
        pid_ = ::fork();
        if (pid_ == 0) {
            ::close(fds[0]);
            ::dup2(fds[1], 3);
            const int null = ::open("/dev/null", O_WRONLY);
            ::dup2(null, 2);
            ::execlp("Xvfb", "Xvfb", "-displayfd", "3", "-screen", "0", screen.c_str(), "-nolisten", "tcp",
                     static_cast<char*>(nullptr));
            ::_exit(127);
        }
        ::close(fds[1]);
        // The number, then a newline in a write of its own: the pipe stays open until the
        // server has written both, or it stops for want of a reader.
        char c = 0;
        while (::read(fds[0], &c, 1) == 1 && c != '\n') name_ += c;
        ::close(fds[0]);
        if (name_.empty()) return;
        name_ = ":" + name_;
        // The server refuses a connection now and then, also right after it said it is ready.
        for (int attempt = 0; attempt < 40 && !display_; ++attempt) {
            display_ = XOpenDisplay(name_.c_str());
            if (!display_) Sleep(0.05);
        }
        if (display_) {
            width_ = DisplayWidth(display_, DefaultScreen(display_));
            height_ = DisplayHeight(display_, DefaultScreen(display_));
        }
    }
    ~OwnDisplay()
    {
        if (display_) XCloseDisplay(display_);
        if (pid_ > 0) {
            ::kill(pid_, SIGTERM);
            ::waitpid(pid_, nullptr, 0);
        }
    }
    OwnDisplay(const OwnDisplay&) = delete;
    OwnDisplay& operator=(const OwnDisplay&) = delete;

    bool Ok() const { return display_ != nullptr; }
    const std::string& Name() const { return name_; }
    Display* X() const { return display_; }
    int Width() const { return width_; }
    int Height() const { return height_; }

private:
    pid_t pid_ = -1;
    std::string name_;
    Display* display_ = nullptr;
    int width_ = 0, height_ = 0;
};

struct Frame {
    int64_t began, drawn;
};

// The game as installed in a scratch folder, with `settings` as its settings.ini.
class PlayedGame {
public:
    PlayedGame(OwnDisplay& display, const std::string& buildDir, const std::string& settings)
        : display_(display), build_(buildDir)
    {
        namespace fs = std::filesystem;
        folder_ = fs::temp_directory_path() / ("sauno_played_" + std::to_string(::getpid()) + "_" +
                                                std::to_string(serial_++));
        fs::remove_all(folder_);
        const fs::path scores = folder_ / "scores";
        fs::create_directories(folder_ / "data");
        fs::create_directories(scores);
        fs::copy_file(build_ / "installed" / "sauno", folder_ / "sauno");
        fs::copy_file(build_ / "sauno-fonts.conf", folder_ / "sauno-fonts.conf");
        for (const auto& entry : fs::directory_iterator(build_ / "data"))
            if (entry.path().extension() == ".jpg" || entry.path().extension() == ".3ds")
                fs::copy_file(entry.path(), folder_ / "data" / entry.path().filename());
        std::ifstream in(build_ / "installed" / "sauno.scene.in");
        std::stringstream text;
        text << in.rdbuf();
        std::string scene = text.str();
        const std::string marker = "@SAUNO_INSTALL_SCORE_DIR@";
        if (size_t at = scene.find(marker); at != std::string::npos) scene.replace(at, marker.size(), scores.string());
        std::ofstream(folder_ / "sauno.scene") << scene;
        std::ofstream(folder_ / "settings.ini") << settings;
        const std::string make = "'" + (build_ / "sauno-table").string() + "' create-scores '" + scores.string() + "' >/dev/null";
        tableMade_ = std::system(make.c_str()) == 0;
    }
    ~PlayedGame()
    {
        if (pid_ > 0) {
            ::kill(pid_, SIGKILL);
            ::waitpid(pid_, nullptr, 0);
        }
        std::filesystem::remove_all(folder_);
    }
    PlayedGame(const PlayedGame&) = delete;
    PlayedGame& operator=(const PlayedGame&) = delete;

    // Starts the game and waits up to 15 s for a shown window of its own of that size (0: the
    // window named "Form1"), then focuses it. False with Error() saying why.
    bool Start(int width = 0, int height = 0)
    {
        if (!tableMade_) return Fail("cannot make the high-score table");
        pid_ = ::fork();
        if (pid_ == 0) {
            if (::chdir(folder_.c_str()) != 0) ::_exit(127);
            const int out = ::open("out.txt", O_WRONLY | O_CREAT | O_TRUNC, 0644);
            ::dup2(out, 1);
            ::dup2(out, 2);
            ::setenv("DISPLAY", display_.Name().c_str(), 1);
            ::unsetenv("XAUTHORITY");
            ::setenv("SAUNO_MESSAGES", "stderr", 1);
            ::setenv("SAUNO_FRAME_LOG", (folder_ / "frames.log").c_str(), 1);
            ::execl("./sauno", "./sauno", static_cast<char*>(nullptr));
            ::_exit(127);
        }
        return WaitWindow(width, height, 15);
    }
    bool WaitWindow(int width, int height, double seconds)
    {
        const int64_t deadline = Now() + static_cast<int64_t>(seconds * 1e9);
        while (Now() < deadline) {
            if (!Running()) return Fail("the game ended: " + Output());
            window_ = FindWindow(width, height);
            if (window_) {
                XSetInputFocus(display_.X(), window_, RevertToPointerRoot, CurrentTime);
                XSync(display_.X(), False);
                return true;
            }
            Sleep(0.05);
        }
        return Fail("no window of the game");
    }

    bool Running()
    {
        if (pid_ <= 0) return false;
        int status = 0;
        if (::waitpid(pid_, &status, WNOHANG) == pid_) {
            pid_ = -1;
            status_ = status;
            return false;
        }
        return true;
    }
    // Escape, "y", and up to 5 s for the game to end by itself.
    bool Quit()
    {
        Tap("Escape");
        Tap("y");
        for (int i = 0; i < 100 && Running(); ++i) Sleep(0.05);
        return !Running() && WIFEXITED(status_) && WEXITSTATUS(status_) == 0;
    }

    // A key down or up now; returns when it was sent.
    int64_t Key(const char* keysym, bool down)
    {
        const KeyCode code = XKeysymToKeycode(display_.X(), XStringToKeysym(keysym));
        const int64_t sent = Now();
        XTestFakeKeyEvent(display_.X(), code, down ? True : False, CurrentTime);
        XFlush(display_.X());
        return sent;
    }
    int64_t Tap(const char* keysym)
    {
        const int64_t sent = Key(keysym, true);
        Sleep(0.03);
        Key(keysym, false);
        Sleep(0.02);
        return sent;
    }
    // The pointer at (x, y) of the game's window.
    void MouseTo(int x, int y)
    {
        int rx = 0, ry = 0;
        ::Window child;
        XTranslateCoordinates(display_.X(), window_, DefaultRootWindow(display_.X()), x, y, &rx, &ry, &child);
        XTestFakeMotionEvent(display_.X(), DefaultScreen(display_.X()), rx, ry, CurrentTime);
        XFlush(display_.X());
    }
    void Button(bool down)
    {
        XTestFakeButtonEvent(display_.X(), 1, down ? True : False, CurrentTime);
        XFlush(display_.X());
    }
    // A left-button drag for `seconds`, one move a millisecond, to and fro across the middle.
    void Drag(double seconds)
    {
        XWindowAttributes a{};
        XGetWindowAttributes(display_.X(), window_, &a);
        const int cx = a.width / 2, cy = a.height / 2;
        MouseTo(cx, cy);
        Sleep(0.05);
        Button(true);
        const int64_t start = Now(), end = start + static_cast<int64_t>(seconds * 1e9);
        for (int64_t i = 1, t = start; t < end; ++i, t = start + i * 1'000'000) {
            SleepUntil(t);
            const int step = static_cast<int>(i % 200);
            MouseTo(cx + (step < 100 ? step : 200 - step) - 50, cy);
        }
        Button(false);
    }

    // Seconds of CPU the game has used, all its threads.
    double CpuSeconds() const
    {
        std::ifstream in("/proc/" + std::to_string(pid_) + "/stat");
        std::string line;
        std::getline(in, line);
        const size_t close = line.rfind(')');
        if (close == std::string::npos) return -1;
        std::istringstream fields(line.substr(close + 2));
        std::string field;
        unsigned long long utime = 0, stime = 0;
        for (int i = 3; i <= 15 && fields >> field; ++i) {
            if (i == 14) utime = std::stoull(field);
            if (i == 15) stime = std::stoull(field);
        }
        return static_cast<double>(utime + stime) / static_cast<double>(::sysconf(_SC_CLK_TCK));
    }
    std::vector<Frame> Frames() const
    {
        std::vector<Frame> frames;
        std::ifstream in(folder_ / "frames.log");
        Frame f{};
        while (in >> f.began >> f.drawn) frames.push_back(f);
        return frames;
    }
    // Frames drawn (presented) at or after `from` and before `to`.
    int FramesBetween(int64_t from, int64_t to) const
    {
        int n = 0;
        for (const Frame& f : Frames()) n += f.drawn >= from && f.drawn < to;
        return n;
    }
    // The first frame that began at or after `from`; waits up to `seconds` for it.
    bool FirstFrameAfter(int64_t from, Frame& frame, double seconds = 1) const
    {
        const int64_t deadline = Now() + static_cast<int64_t>(seconds * 1e9);
        do {
            for (const Frame& f : Frames())
                if (f.began >= from) {
                    frame = f;
                    return true;
                }
            Sleep(0.005);
        } while (Now() < deadline);
        return false;
    }
    // Near-white pixels (the HUD's white text) in a rectangle of the game's window.
    int WhitePixels(int x, int y, int w, int h)
    {
        XImage* image = XGetImage(display_.X(), window_, x, y, static_cast<unsigned>(w), static_cast<unsigned>(h),
                                  AllPlanes, ZPixmap);
        if (!image) return -1;
        int n = 0;
        for (int j = 0; j < h; ++j)
            for (int i = 0; i < w; ++i) {
                const unsigned long p = XGetPixel(image, i, j);
                const unsigned r = (p >> 16) & 0xFF, g = (p >> 8) & 0xFF, b = p & 0xFF;
                n += r > 216 && g > 216 && b > 216;
            }
        XDestroyImage(image);
        return n;
    }

    const std::string& Error() const { return error_; }
    std::string Output() const
    {
        std::ifstream in(folder_ / "out.txt");
        std::stringstream text;
        text << in.rdbuf();
        return text.str();
    }

private:
    bool Fail(const std::string& why)
    {
        error_ = why;
        return false;
    }
    ::Window FindWindow(int width, int height)
    {
        Display* x = display_.X();
        const Atom pidAtom = XInternAtom(x, "_NET_WM_PID", True);
        ::Window root, parent, *children = nullptr;
        unsigned count = 0;
        ::Window found = 0;
        if (!XQueryTree(x, DefaultRootWindow(x), &root, &parent, &children, &count)) return 0;
        for (unsigned i = 0; i < count && !found; ++i) {
            XWindowAttributes a{};
            if (!XGetWindowAttributes(x, children[i], &a) || a.map_state != IsViewable) continue;
            Atom type;
            int format;
            unsigned long items, after;
            unsigned char* data = nullptr;
            long owner = -1;
            if (pidAtom != None && XGetWindowProperty(x, children[i], pidAtom, 0, 1, False, XA_CARDINAL, &type, &format,
                                                      &items, &after, &data) == Success && data) {
                if (items == 1) owner = *reinterpret_cast<long*>(data);
                XFree(data);
            }
            if (owner != pid_) continue;
            if (width > 0) {
                if (a.width == width && a.height == height) found = children[i];
                continue;
            }
            char* name = nullptr;
            if (XFetchName(x, children[i], &name) && name) {
                if (std::string(name) == "Form1") found = children[i];
                XFree(name);
            }
        }
        if (children) XFree(children);
        return found;
    }

    static inline int serial_ = 0;
    OwnDisplay& display_;
    std::filesystem::path build_, folder_;
    bool tableMade_ = false;
    pid_t pid_ = -1;
    int status_ = 0;
    ::Window window_ = 0;
    std::string error_;
};

}  // namespace sauno::played
