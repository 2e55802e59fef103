// make_icon FILE SIZE: paints the game's icon as a square RGBA PNG of SIZE pixels. The same
// arguments always give the same bytes.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "Png.h"

namespace {

struct Rgba {
    float r = 0, g = 0, b = 0, a = 0;
};

// Paints "top" with coverage "alpha" over "base".
Rgba Over(Rgba base, Rgba top, float alpha)
{
    float a = std::clamp(top.a * alpha, 0.0f, 1.0f);
    float outA = a + base.a * (1 - a);
    if (outA <= 0) return {};
    auto mix = [&](float t, float b) { return (t * a + b * base.a * (1 - a)) / outA; };
    return {mix(top.r, base.r), mix(top.g, base.g), mix(top.b, base.b), outA};
}

float SmoothStep(float e0, float e1, float x)
{
    float t = std::clamp((x - e0) / (e1 - e0), 0.0f, 1.0f);
    return t * t * (3 - 2 * t);
}

// Signed distance to a rounded box centred at (cx, cy) with half sizes (hx, hy).
float RoundedBox(float x, float y, float cx, float cy, float hx, float hy, float radius)
{
    float qx = std::fabs(x - cx) - hx + radius;
    float qy = std::fabs(y - cy) - hy + radius;
    float outside = std::hypot(std::max(qx, 0.0f), std::max(qy, 0.0f));
    return outside + std::min(std::max(qx, qy), 0.0f) - radius;
}

// A small deterministic hash for the grain of the wood.
float Hash(int i)
{
    uint32_t h = uint32_t(i) * 2654435761u;
    h ^= h >> 15;
    h *= 2246822519u;
    h ^= h >> 13;
    return float(h & 0xFFFF) / 65535.0f;
}

// The colour of the icon at (x, y), both 0..1 from the top-left.
Rgba Paint(float x, float y)
{
    Rgba c;
    // The wall: vertical panels, warm, lit from the stove.
    if (RoundedBox(x, y, 0.5f, 0.5f, 0.47f, 0.47f, 0.16f) <= 0) {
        const float panel = 0.125f;
        int index = int(std::floor(x / panel));
        float across = x / panel - float(index);
        float tone = 0.88f + 0.12f * Hash(index);
        float grain = 0.04f * std::sin(y * 60.0f + Hash(index + 7) * 6.0f + 3.0f * std::sin(y * 9.0f + index));
        float joint = 1.0f - 0.55f * (1.0f - SmoothStep(0.0f, 0.06f, std::min(across, 1.0f - across)));
        float glow = 0.55f + 0.55f * std::exp(-((x - 0.5f) * (x - 0.5f) + (y - 0.72f) * (y - 0.72f)) * 5.0f);
        float k = tone * joint * glow + grain;
        c = {0.78f * k, 0.52f * k, 0.28f * k, 1};
    }
    // The stove: a dark iron body with a glowing slot.
    float stove = RoundedBox(x, y, 0.5f, 0.71f, 0.23f, 0.2f, 0.03f);
    if (stove <= 0.004f) {
        float shade = 0.16f + 0.08f * (1.0f - y);
        Rgba iron{shade, shade * 0.95f, shade * 0.92f, 1};
        c = Over(c, iron, SmoothStep(0.004f, -0.004f, stove));
        float slot = RoundedBox(x, y, 0.5f, 0.76f, 0.14f, 0.05f, 0.02f);
        if (slot <= 0.004f) {
            float heat = 1.0f - std::fabs(y - 0.76f) / 0.05f;
            Rgba fire{1.0f, 0.45f + 0.45f * heat, 0.08f + 0.3f * heat * heat, 1};
            c = Over(c, fire, SmoothStep(0.004f, -0.004f, slot));
        }
    }
    // The stones: a heap of rounded grey stones on the stove.
    const float stones[][3] = {{0.33f, 0.48f, 0.075f}, {0.46f, 0.47f, 0.085f}, {0.60f, 0.48f, 0.08f},
                               {0.70f, 0.5f, 0.055f},  {0.39f, 0.41f, 0.07f},  {0.54f, 0.4f, 0.075f}};
    for (int i = 0; i < 6; ++i) {
        float dx = x - stones[i][0], dy = (y - stones[i][1]) * 1.25f, r = stones[i][2];
        float d = std::hypot(dx, dy) - r;
        if (d > 0.004f) continue;
        float light = std::clamp(0.55f - (dx + dy) / r * 0.35f, 0.15f, 1.0f);
        float g = (0.62f + 0.12f * Hash(i + 40)) * light;
        c = Over(c, Rgba{g, g * 0.95f, g * 0.9f, 1}, SmoothStep(0.004f, -0.004f, d));
    }
    // The steam: three soft strands rising from the stones.
    for (int i = 0; i < 3; ++i) {
        float base = 0.36f + 0.14f * float(i);
        float rise = std::clamp((0.36f - y) / 0.3f, 0.0f, 1.0f);
        if (rise <= 0 || rise >= 1) continue;
        float centre = base + 0.04f * std::sin(y * 22.0f + float(i) * 2.0f);
        float width = 0.018f + 0.02f * rise;
        float d = std::fabs(x - centre) / width;
        float alpha = std::exp(-d * d) * SmoothStep(0.0f, 0.2f, rise) * (1.0f - rise) * 0.85f;
        c = Over(c, Rgba{1, 1, 1, 1}, alpha);
    }
    return c;
}

uint8_t ToByte(float v)
{
    return uint8_t(std::lround(std::clamp(v, 0.0f, 1.0f) * 255.0f));
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc != 3) {
        std::fputs("usage: make_icon FILE SIZE\n", stderr);
        return 2;
    }
    int size = std::atoi(argv[2]);
    if (size < 16 || size > 1024) {
        std::fputs("make_icon: SIZE must be 16 to 1024\n", stderr);
        return 2;
    }
    const int samples = 4;
    std::vector<uint8_t> rgba(size_t(size) * size * 4);
    for (int py = 0; py < size; ++py) {
        for (int px = 0; px < size; ++px) {
            // Average premultiplied colour over a grid of samples for smooth edges.
            float r = 0, g = 0, b = 0, a = 0;
            for (int sy = 0; sy < samples; ++sy) {
                for (int sx = 0; sx < samples; ++sx) {
                    Rgba c = Paint((float(px) + (float(sx) + 0.5f) / samples) / float(size),
                                   (float(py) + (float(sy) + 0.5f) / samples) / float(size));
                    r += c.r * c.a;
                    g += c.g * c.a;
                    b += c.b * c.a;
                    a += c.a;
                }
            }
            uint8_t* p = &rgba[(size_t(py) * size + px) * 4];
            float n = float(samples * samples);
            p[0] = ToByte(a > 0 ? r / a : 0);
            p[1] = ToByte(a > 0 ? g / a : 0);
            p[2] = ToByte(a > 0 ? b / a : 0);
            p[3] = ToByte(a / n);
        }
    }
    std::vector<uint8_t> png = sauno::icon::EncodePng(size, size, rgba);
    std::filesystem::path path = argv[1];
    std::error_code ignored;
    if (path.has_parent_path()) std::filesystem::create_directories(path.parent_path(), ignored);
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(png.data()), std::streamsize(png.size()));
    if (!out) {
        std::fprintf(stderr, "make_icon: cannot write %s\n", path.c_str());
        return 1;
    }
    return 0;
}
