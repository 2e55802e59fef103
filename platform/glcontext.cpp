#include "platform/glcontext.h"

#include <SDL_opengl.h>

#include <utility>
#include <vector>

#include "platform/exception.h"
#include "platform/startup_report.h"

namespace sauno::platform {

namespace {
uint64_t nextSerial = 1;
int lastErrorCode = 0;

// Puts back the context that was current when it was made.
class CurrentKeeper {
public:
    CurrentKeeper() : window_(SDL_GL_GetCurrentWindow()), context_(SDL_GL_GetCurrentContext()) {}
    ~CurrentKeeper() { SDL_GL_MakeCurrent(context_ ? window_ : nullptr, context_); }
    CurrentKeeper(const CurrentKeeper&) = delete;
    CurrentKeeper& operator=(const CurrentKeeper&) = delete;

private:
    SDL_Window* window_;
    SDL_GLContext context_;
};

bool RendererIsSoftware()
{
    auto renderer = reinterpret_cast<const char*>(glGetString(GL_RENDERER));
    return renderer == nullptr || IsSoftwareRenderer(renderer);
}
}  // namespace

std::optional<GLFormatChoice> ChooseGLFormat(const GLPixelFormat& wish, const GLFormatProbe& probe)
{
    GLPixelFormat request = wish;
    std::optional<GLFormatChoice> fallback = probe(request);
    if (!fallback && request.multisample > 1) {
        request.multisample = 0;
        fallback = probe(request);
    }
    if (fallback && fallback->accelerated) return fallback;

    request.depthBits = 16;
    if (auto choice = probe(request); choice && choice->accelerated) return choice;
    request.colorBits = 16;
    if (auto choice = probe(request); choice && choice->accelerated) return choice;
    return fallback;
}

std::optional<GLFormatChoice> ProbeGLFormat(const GLPixelFormat& wish)
{
    static std::vector<std::pair<GLPixelFormat, std::optional<GLFormatChoice>>> answers;
    for (const auto& [format, answer] : answers)
        if (format == wish) return answer;

    InitVideo();
    StartupPhase phase("GL: formats probed");
    CurrentKeeper keeper;
    std::optional<GLFormatChoice> answer;
    SetGLAttributes(wish);
    if (SDL_Window* window = SDL_CreateWindow("", 0, 0, 1, 1, SDL_WINDOW_OPENGL | SDL_WINDOW_HIDDEN)) {
        if (SDL_GLContext context = SDL_GL_CreateContext(window)) {
            if (SDL_GL_MakeCurrent(window, context) == 0) answer = GLFormatChoice{wish, !RendererIsSoftware()};
            SDL_GL_MakeCurrent(nullptr, nullptr);
            SDL_GL_DeleteContext(context);
        }
        SDL_DestroyWindow(window);
    }
    answers.emplace_back(wish, answer);
    return answer;
}

bool IsSoftwareRenderer(std::string_view renderer)
{
    for (std::string_view name : {"llvmpipe", "softpipe", "swrast", "Software Rasterizer"})
        if (renderer.find(name) != std::string_view::npos) return true;
    return false;
}

GLContext::GLContext(Window& window, const GLContext* shareWith) : window_(&window)
{
    StartupPhase phase("GL: contexts made");
    CurrentKeeper keeper;
    // SDL picks the context's configuration from the attributes in force, so they must be the
    // window's own.
    SetGLAttributes(window.PixelFormat());
    if (shareWith) {
        if (SDL_GL_MakeCurrent(shareWith->window_->Handle(), shareWith->context_) != 0)
            throw Exception("OS Error : " + LastError());
        SDL_GL_SetAttribute(SDL_GL_SHARE_WITH_CURRENT_CONTEXT, 1);
    }
    context_ = SDL_GL_CreateContext(window.Handle());
    SDL_GL_SetAttribute(SDL_GL_SHARE_WITH_CURRENT_CONTEXT, 0);
    if (!context_) throw Exception("OS Error : " + LastError());
    if (SDL_GL_MakeCurrent(window.Handle(), context_) != 0) {
        std::string text = LastError();
        SDL_GL_DeleteContext(context_);
        throw Exception("OS Error : " + text);
    }
    accelerated_ = !RendererIsSoftware();
    serial_ = nextSerial++;
    shareGroup_ = shareWith ? shareWith->shareGroup_ : serial_;
}

GLContext::~GLContext()
{
    if (SDL_GL_GetCurrentContext() == context_) SDL_GL_MakeCurrent(nullptr, nullptr);
    SDL_GL_DeleteContext(context_);
}

bool GLContext::MakeCurrent()
{
    lastErrorCode = SDL_GL_MakeCurrent(window_->Handle(), context_);
    return lastErrorCode == 0;
}

bool GLContext::Release()
{
    lastErrorCode = SDL_GL_MakeCurrent(nullptr, nullptr);
    return lastErrorCode == 0;
}

void GLContext::SwapBuffers()
{
    SDL_GL_SwapWindow(window_->Handle());
    if (StartupReportWanted()) StartupFrameSwapped(window_->Shown());
}

int GLContext::LastErrorCode() { return lastErrorCode; }

std::string GLContext::LastError() { return SDL_GetError(); }

}  // namespace sauno::platform
