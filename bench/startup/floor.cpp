// The floor of the game's start: a program that does nothing but open a window like the
// game's, decode its seven pictures and upload each at the game's texture size with a full
// mipmap chain, then show the window and draw one frame. bench_startup starts it as it starts
// the game and reads the same report (SAUNO_STARTUP_REPORT).
#include <GL/gl.h>

#include <cstdio>
#include <exception>
#include <string>

#include "material/jpegimage.h"
#include "platform/exception.h"
#include "platform/glcontext.h"
#include "platform/startup_report.h"
#include "platform/window.h"

#ifndef GL_GENERATE_MIPMAP_SGIS
#define GL_GENERATE_MIPMAP_SGIS 0x8191
#endif

using namespace sauno;

namespace {

int PowerOfTwoAtLeast(int n)
{
    int p = 1;
    while (p < n) p <<= 1;
    return p;
}

}  // namespace

int main()
try {
    platform::InitVideo();
    platform::Window window("floor", 193, 169, 688, 452, platform::GLPixelFormat{}, platform::WindowStyle::Normal);
    platform::GLContext context(window, nullptr);
    if (!context.MakeCurrent()) throw Exception("cannot make the context current");

    GLuint last = 0;
    for (const char* name : {"kiuas", "kiuas2", "ovi", "seina1", "seina2", "lattia", "kivet"}) {
        auto picture = LoadPictureFile(std::string(SAUNO_PICTURE_DIR "/") + name + ".jpg");
        const TPixelRows& rows = picture->Pixels();
        platform::StartupPhase phase("upload with mipmaps");
        glGenTextures(1, &last);
        glBindTexture(GL_TEXTURE_2D, last);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR_MIPMAP_LINEAR);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
        // As many texels as the game uploads, without its rescale: the picture goes into the
        // corner of a texture of the game's size, and the chain is made from that once.
        glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, PowerOfTwoAtLeast(rows.Width), PowerOfTwoAtLeast(rows.Height), 0,
                     GL_RGBA, GL_UNSIGNED_BYTE, nullptr);
        glTexParameteri(GL_TEXTURE_2D, GL_GENERATE_MIPMAP_SGIS, 1);
        glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
        glTexSubImage2D(GL_TEXTURE_2D, 0, 0, 0, rows.Width, rows.Height, GL_RGB, GL_UNSIGNED_BYTE, rows.Data.data());
        glFinish();
    }

    window.Show();
    glViewport(0, 0, 688, 452);
    glClearColor(0, 0, 0, 1);
    glClear(GL_COLOR_BUFFER_BIT);
    glEnable(GL_TEXTURE_2D);
    glBindTexture(GL_TEXTURE_2D, last);
    glBegin(GL_QUADS);
    glTexCoord2f(0, 0); glVertex2f(-1, -1);
    glTexCoord2f(1, 0); glVertex2f(1, -1);
    glTexCoord2f(1, 1); glVertex2f(1, 1);
    glTexCoord2f(0, 1); glVertex2f(-1, 1);
    glEnd();
    context.SwapBuffers();

    // Stays up like the game until it is told to go. The wait is bounded: a quit raised by a
    // signal during an endless wait would be seen only at the next event.
    SDL_Event event;
    for (bool quit = false; !quit;)
        while (!quit && platform::WaitEvent(event, 50)) quit = event.type == SDL_QUIT;
    return 0;
} catch (const std::exception& error) {
    std::fprintf(stderr, "bench_startup_floor: %s\n", error.what());
    return 1;
}
