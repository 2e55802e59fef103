// From the scene description to the seven textures of the game uploaded, in milliseconds, with
// its parts: decode, widen and convert, rescale, mipmaps and upload. Run under a display.
#include <GL/gl.h>
#include <GL/glu.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <memory>

#include "engine/context.h"
#include "bench/game_as_built.h"
#include "game/peli.h"
#include "material/jpegimage.h"
#include "material/rescale.h"
#include "runtime/application.h"

using namespace sauno;

namespace {
using Clock = std::chrono::steady_clock;
double Ms(Clock::time_point since) { return std::chrono::duration<double, std::milli>(Clock::now() - since).count(); }
}  // namespace

int main()
{
    bench::TGameAsBuilt game_as_built;
    auto start = Clock::now();
    auto form = game_as_built.Load(SAUNO_GAME_DIR);
    if (!form) return 1;
    const double readMs = Ms(start);

    TContext& context = *form->scn->Buffer().RenderingContext();
    context.Activate();

    // The parts, step by step, on copies of the pictures.
    double decodeMs = 0, convertMs = 0, rescaleMs = 0, gluRescaleMs = 0, uploadMs = 0;
    for (int i = 0; i < form->lib1->Count(); ++i) {
        auto& image = dynamic_cast<TPersistentImage&>(form->lib1->Materials(i).Material().Texture().Image());
        TPicture copy;
        copy.ReadData(image.Picture().WriteData());
        auto t = Clock::now();
        copy.Graphic()->Pixels();
        decodeMs += Ms(t);
        t = Clock::now();
        TBitmap32 bitmap;
        bitmap.Assign(&copy);
        convertMs += Ms(t);
        int w = 1, h = 1;
        while (w < bitmap.Width) w <<= 1;
        while (h < bitmap.Height) h <<= 1;
        std::vector<uint8_t> scaled(size_t(w) * size_t(h) * 4);
        t = Clock::now();
        gluScaleImage(GL_RGBA, bitmap.Width, bitmap.Height, GL_UNSIGNED_BYTE, bitmap.Data.data(), w, h,
                      GL_UNSIGNED_BYTE, scaled.data());
        gluRescaleMs += Ms(t);
        t = Clock::now();
        RescaleImage(bitmap.Data, bitmap.Width, bitmap.Height, 4, scaled, w, h, RescaleThreads(int64_t{w} * h));
        rescaleMs += Ms(t);
        GLuint name = 0;
        glGenTextures(1, &name);
        glBindTexture(GL_TEXTURE_2D, name);
        t = Clock::now();
        glTexParameteri(GL_TEXTURE_2D, 0x8191 /* generate mipmaps */, 1);
        glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, w, h, 0, GL_RGBA, GL_UNSIGNED_BYTE, scaled.data());
        glFinish();
        uploadMs += Ms(t);
        glDeleteTextures(1, &name);
    }

    // The whole way, as the game goes it.
    start = Clock::now();
    for (int i = 0; i < form->lib1->Count(); ++i) form->lib1->Materials(i).PrepareTexture();
    glFinish();
    const double texturesMs = Ms(start);
    context.Deactivate();
    if (game_as_built.Failed()) return 1;

    std::printf("scene description read (7 pictures embedded): %8.1f ms\n", readMs);
    std::printf("seven textures built by the materials:        %8.1f ms\n", texturesMs);
    std::printf("  decode                                      %8.1f ms\n", decodeMs);
    std::printf("  widen and convert to RGBA                   %8.1f ms\n", convertMs);
    std::printf("  rescale to powers of two                    %8.1f ms\n", rescaleMs);
    std::printf("    the same with gluScaleImage, for scale    %8.1f ms\n", gluRescaleMs);
    std::printf("  mipmaps and upload                          %8.1f ms\n", uploadMs);
    form.reset();
    return 0;
}
