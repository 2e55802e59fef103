// make_model OUTFILE: writes the sauna room as a 3DS file. Millimetres, z up. Every number is
// fixed or drawn from a seeded generator, so one build writes the same bytes every time.
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <numbers>
#include <string>
#include <vector>

#include "StoneTiles.h"
#include "Writer3DS.h"

using namespace sauno::model;

namespace {

struct P {
    float x, y, z;
};
P operator+(P a, P b) { return {a.x + b.x, a.y + b.y, a.z + b.z}; }
P operator-(P a, P b) { return {a.x - b.x, a.y - b.y, a.z - b.z}; }
float Dot(P a, P b) { return a.x * b.x + a.y * b.y + a.z * b.z; }
P Cross(P a, P b) { return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x}; }

class Random {
public:
    explicit Random(uint32_t seed) : state_(seed) {}
    float Next()  // 0..1
    {
        state_ = state_ * 1664525u + 1013904223u;
        return static_cast<float>(state_ >> 8) / static_cast<float>(1u << 24);
    }
    float Range(float low, float high) { return low + (high - low) * Next(); }

private:
    uint32_t state_;
};

class Builder {
public:
    explicit Builder(std::string name) { mesh_.name = std::move(name); }
    Mesh& Result() { return mesh_; }

    // A flat quad, corners counter-clockwise seen from the side it faces; the texture spans
    // `du` × `dv` repeats across it, from (u0, v0).
    void Quad(P a, P b, P c, P d, const std::string& material, float du, float dv, float u0 = 0, float v0 = 0)
    {
        const auto base = static_cast<uint16_t>(mesh_.vertices.size());
        mesh_.vertices.push_back({a.x, a.y, a.z, u0, v0});
        mesh_.vertices.push_back({b.x, b.y, b.z, u0 + du, v0});
        mesh_.vertices.push_back({c.x, c.y, c.z, u0 + du, v0 + dv});
        mesh_.vertices.push_back({d.x, d.y, d.z, u0, v0 + dv});
        mesh_.faces.push_back({base, static_cast<uint16_t>(base + 1), static_cast<uint16_t>(base + 2), 0, material});
        mesh_.faces.push_back(
            {base, static_cast<uint16_t>(base + 2), static_cast<uint16_t>(base + 3), 0, material});
    }

    // The same, turned so that its front faces `facing` (the texture is then read from there).
    void Facing(P facing, P a, P b, P c, P d, const std::string& material, float du, float dv, float u0 = 0,
                float v0 = 0)
    {
        if (Dot(Cross(b - a, c - a), facing) < 0) Quad(b, a, d, c, material, du, dv, u0, v0);
        else Quad(a, b, c, d, material, du, dv, u0, v0);
    }

    // An axis-aligned box seen from outside; `scale` millimetres per texture repeat.
    void Box(P lo, P hi, const std::string& side, const std::string& top, float scale)
    {
        const float dx = (hi.x - lo.x) / scale, dy = (hi.y - lo.y) / scale, dz = (hi.z - lo.z) / scale;
        Quad({hi.x, lo.y, lo.z}, {hi.x, hi.y, lo.z}, {hi.x, hi.y, hi.z}, {hi.x, lo.y, hi.z}, side, dy, dz);  // +x
        Quad({lo.x, hi.y, lo.z}, {lo.x, lo.y, lo.z}, {lo.x, lo.y, hi.z}, {lo.x, hi.y, hi.z}, side, dy, dz);  // -x
        Quad({lo.x, lo.y, lo.z}, {hi.x, lo.y, lo.z}, {hi.x, lo.y, hi.z}, {lo.x, lo.y, hi.z}, side, dx, dz);  // -y
        Quad({hi.x, hi.y, lo.z}, {lo.x, hi.y, lo.z}, {lo.x, hi.y, hi.z}, {hi.x, hi.y, hi.z}, side, dx, dz);  // +y
        Quad({lo.x, lo.y, hi.z}, {hi.x, lo.y, hi.z}, {hi.x, hi.y, hi.z}, {lo.x, hi.y, hi.z}, top, dx, dy);   // top
        Quad({lo.x, hi.y, lo.z}, {hi.x, hi.y, lo.z}, {hi.x, lo.y, lo.z}, {lo.x, lo.y, lo.z}, top, dx, dy);   // bottom
    }

    // A plank lying along y: the texture's board runs along it, one board across its width.
    void PlankAlongY(P lo, P hi, const std::string& material, float boardFraction, float boardLength, float u0)
    {
        const float along = (hi.y - lo.y) / boardLength;
        // Top and the edge facing -x show the grain; the rest is rarely seen.
        Quad({lo.x, hi.y, hi.z}, {lo.x, lo.y, hi.z}, {hi.x, lo.y, hi.z}, {hi.x, hi.y, hi.z}, material, along,
             boardFraction, 0, u0);
        Quad({lo.x, hi.y, lo.z}, {lo.x, lo.y, lo.z}, {lo.x, lo.y, hi.z}, {lo.x, hi.y, hi.z}, material, along,
             boardFraction * 0.3f, 0, u0);
        Quad({hi.x, lo.y, lo.z}, {hi.x, hi.y, lo.z}, {hi.x, hi.y, hi.z}, {hi.x, lo.y, hi.z}, material, along,
             boardFraction * 0.3f, 0, u0);
        Quad({lo.x, lo.y, lo.z}, {hi.x, lo.y, lo.z}, {hi.x, lo.y, hi.z}, {lo.x, lo.y, hi.z}, material, 0.05f, 0.05f);
        Quad({hi.x, hi.y, lo.z}, {lo.x, hi.y, lo.z}, {lo.x, hi.y, hi.z}, {hi.x, hi.y, hi.z}, material, 0.05f, 0.05f);
    }

    // A rounded stone: a squashed sphere, smooth-shaded, a small patch of the picture on it.
    // A lumpy ellipsoid wearing one tile of the stones' picture: round it
    // the tile's columns (mirrored, so no seam shows), top to bottom its rows.
    void Stone(P centre, P radii, const std::string& material, int tile, uint32_t smoothing, uint32_t shape)
    {
        constexpr int slices = 9, stacks = 6;
        const float pi = std::numbers::pi_v<float>;
        const auto base = static_cast<uint16_t>(mesh_.vertices.size());
        for (int i = 0; i <= stacks; ++i) {
            const float lat = pi * static_cast<float>(i) / stacks;
            for (int j = 0; j <= slices; ++j) {
                const float lon = 2 * pi * static_cast<float>(j) / slices;
                // Lumps: each stone its own, the same at the seam and at the poles.
                const int ring = (i == 0 || i == stacks) ? 0 : j % slices;
                const uint32_t h = (shape + static_cast<uint32_t>(i * 131 + ring * 7919)) * 2654435761u;
                const float lump = 0.91f + 0.16f * static_cast<float>(h >> 24) / 255.0f;
                P p{std::sin(lat) * std::cos(lon) * radii.x * lump, std::sin(lat) * std::sin(lon) * radii.y * lump,
                    -std::cos(lat) * radii.z * lump};
                using namespace stone_tiles;
                const float around = std::fabs(static_cast<float>(j) / slices * 2 - 1);
                const float up = static_cast<float>(i) / stacks;
                const float inner = 1 - 2 * kInset;
                const float u = (static_cast<float>(tile % kColumns) + kInset + inner * around) / kColumns;
                const float v = (static_cast<float>(tile / kColumns % kRows) + kInset + inner * up) / kRows;
                P q = centre + p;
                mesh_.vertices.push_back({q.x, q.y, q.z, u, v});
            }
        }
        auto at = [&](int i, int j) { return static_cast<uint16_t>(base + i * (slices + 1) + j); };
        for (int i = 0; i < stacks; ++i)
            for (int j = 0; j < slices; ++j) {
                if (i > 0) mesh_.faces.push_back({at(i, j), at(i, j + 1), at(i + 1, j + 1), smoothing, material});
                if (i < stacks - 1)
                    mesh_.faces.push_back({at(i, j), at(i + 1, j + 1), at(i + 1, j), smoothing, material});
            }
    }

    // An upright cylinder, smooth sides, flat top.
    void Cylinder(P bottom, float radius, float height, const std::string& material, uint32_t smoothing,
                  float uRepeats, bool top, float v1 = 0)
    {
        constexpr int slices = 16;
        const float pi = std::numbers::pi_v<float>;
        const auto base = static_cast<uint16_t>(mesh_.vertices.size());
        for (int j = 0; j <= slices; ++j) {
            const float a = 2 * pi * static_cast<float>(j) / slices;
            const float x = bottom.x + radius * std::cos(a), y = bottom.y + radius * std::sin(a);
            const float u = uRepeats * static_cast<float>(j) / slices;
            // A seamless band: the picture's strip is read forth and back around.
            const float band = v1 > 0 ? 0.09f + 0.08f * std::fabs(static_cast<float>(j) / slices * 2 - 1) : u;
            mesh_.vertices.push_back({x, y, bottom.z, band, v1 > 0 ? 0.1f : 0});
            mesh_.vertices.push_back({x, y, bottom.z + height, band, v1 > 0 ? v1 : height / 600});
        }
        for (int j = 0; j < slices; ++j) {
            const auto b0 = static_cast<uint16_t>(base + 2 * j), b1 = static_cast<uint16_t>(b0 + 2);
            mesh_.faces.push_back({b0, b1, static_cast<uint16_t>(b1 + 1), smoothing, material});
            mesh_.faces.push_back({b0, static_cast<uint16_t>(b1 + 1), static_cast<uint16_t>(b0 + 1), smoothing, material});
        }
        if (!top) return;
        const auto centre = static_cast<uint16_t>(mesh_.vertices.size());
        mesh_.vertices.push_back({bottom.x, bottom.y, bottom.z + height, 0.5f, 0.5f});
        for (int j = 0; j <= slices; ++j) {
            const float a = 2 * pi * static_cast<float>(j) / slices;
            mesh_.vertices.push_back({bottom.x + radius * std::cos(a), bottom.y + radius * std::sin(a),
                                      bottom.z + height, 0.5f + 0.5f * std::cos(a), 0.5f + 0.5f * std::sin(a)});
        }
        for (int j = 0; j < slices; ++j)
            mesh_.faces.push_back({centre, static_cast<uint16_t>(centre + 1 + j), static_cast<uint16_t>(centre + 2 + j),
                                   0, material});
    }

private:
    Mesh mesh_;
};

// The room: x 600..3600, y -3300..-700, floor z 700, ceiling z 3200.
constexpr float X0 = -900, X1 = 3600, Y0 = -3300, Y1 = -700, Z0 = 700, Z1 = 3200;

Mesh Room()
{
    Builder b("huone");
    // Walls of vertical spruce boards: the picture holds seven boards of 80 mm,
    // each running floor to ceiling in one piece (a repeat would show a joint
    // across every board at the same height).
    const float wallU = 560, wallV = Z1 - Z0;
    b.Facing({1, 0, 0}, {X0, Y1, Z0}, {X0, Y0, Z0}, {X0, Y0, Z1}, {X0, Y1, Z1}, "seina1", (Y1 - Y0) / wallU, (Z1 - Z0) / wallV);  // far
    b.Facing({-1, 0, 0}, {X1, Y0, Z0}, {X1, Y1, Z0}, {X1, Y1, Z1}, {X1, Y0, Z1}, "seina1", (Y1 - Y0) / wallU, (Z1 - Z0) / wallV);  // behind
    b.Facing({0, 1, 0}, {X0, Y0, Z0}, {X1, Y0, Z0}, {X1, Y0, Z1}, {X0, Y0, Z1}, "seina1", (X1 - X0) / wallU, (Z1 - Z0) / wallV);  // left
    b.Facing({0, -1, 0}, {X1, Y1, Z0}, {X0, Y1, Z0}, {X0, Y1, Z1}, {X1, Y1, Z1}, "seina1", (X1 - X0) / wallU, (Z1 - Z0) / wallV);  // right
    // Ceiling of warmer boards, floor of dark boards running across the room.
    b.Facing({0, 0, -1}, {X0, Y1, Z1}, {X0, Y0, Z1}, {X1, Y0, Z1}, {X1, Y1, Z1}, "seina2", (Y1 - Y0) / 880, (X1 - X0) / 1200);
    b.Facing({0, 0, 1}, {X0, Y0, Z0}, {X0, Y1, Z0}, {X1, Y1, Z0}, {X1, Y0, Z0}, "lattia", (Y1 - Y0) / 1300, (X1 - X0) / 975);
    // The door in the right-hand wall, just proud of the boards.
    const float dy = Y1 - 8;
    b.Facing({0, -1, 0}, {1850, dy, Z0}, {1050, dy, Z0}, {1050, dy, Z0 + 1850}, {1850, dy, Z0 + 1850}, "ovi", 1, 1);
    // Its frame.
    b.Box({1010, Y1 - 40, Z0}, {1050, Y1, Z0 + 1890}, "seina2", "seina2", 900);
    b.Box({1850, Y1 - 40, Z0}, {1890, Y1, Z0 + 1890}, "seina2", "seina2", 900);
    b.Box({1050, Y1 - 40, Z0 + 1850}, {1850, Y1, Z0 + 1890}, "seina2", "seina2", 900);
    // Skirting and corner strips.
    b.Box({X0, Y0, Z0}, {X0 + 30, Y1, Z0 + 90}, "seina2", "seina2", 900);
    b.Box({X0, Y0, Z0}, {X1, Y0 + 30, Z0 + 90}, "seina2", "seina2", 900);
    b.Box({X0, Y0, Z1 - 60}, {X1, Y0 + 30, Z1}, "seina2", "seina2", 900);
    b.Box({X0, Y1 - 30, Z1 - 60}, {X1, Y1, Z1}, "seina2", "seina2", 900);
    b.Box({X0, Y0, Z1 - 60}, {X0 + 30, Y1, Z1}, "seina2", "seina2", 900);
    return b.Result();
}

Mesh Benches()
{
    Builder b("lauteet");
    // Two steps along the +x wall: the top bench (where the player sits) and the step below.
    struct Step {
        float x0, x1, seat;
    };
    const Step steps[] = {{2650, X1, 1450}, {2150, 2650, 1050}};
    const float plank = 95, gap = 15, thick = 28;
    int n = 0;
    for (const Step& s : steps) {
        for (float x = s.x1 - 10; x - plank >= s.x0 - 1; x -= plank + gap, ++n)
            b.PlankAlongY({x - plank, Y0 + 20, s.seat - thick}, {x, Y1 - 20, s.seat}, "seina2", 1.0f / 8, 880,
                          static_cast<float>(n % 8) / 8);
        // Riser of vertical boards under the front edge, and the bearers under the seat.
        b.Facing({-1, 0, 0}, {s.x0 + 40, Y0 + 20, Z0 + (s.seat > 1200 ? 350 : 0)}, {s.x0 + 40, Y1 - 20, Z0 + (s.seat > 1200 ? 350 : 0)},
               {s.x0 + 40, Y1 - 20, s.seat - thick}, {s.x0 + 40, Y0 + 20, s.seat - thick}, "seina2", 0, 0);
        for (float y : {Y0 + 120.0f, -2000.0f, Y1 - 160.0f})
            b.Box({s.x0 + 40, y, s.seat - thick - 70}, {s.x1 - 10, y + 45, s.seat - thick}, "seina2", "seina2", 900);
    }
    // Fix the risers' texture: boards standing upright, about 110 mm each.
    auto& mesh = b.Result();
    for (size_t i = 0; i < mesh.vertices.size(); ++i) {
        Vertex& v = mesh.vertices[i];
        if (v.u == 0 && v.v == 0 && i % 4 == 0 && i + 3 < mesh.vertices.size()) {
            Vertex* q = &mesh.vertices[i];
            if (q[1].u == 0 && q[2].u == 0) {
                for (int k = 0; k < 4; ++k) {
                    q[k].u = (q[k].y - Y0) / 880;
                    q[k].v = (q[k].z - Z0) / 600;
                }
            }
        }
    }
    return b.Result();
}

Mesh Bucket()
{
    Builder b("kiulu");
    b.Cylinder({2420, -1500, 1050}, 140, 230, "seina2", 4, 3, false);
    b.Quad({2290, -1630, 1060}, {2550, -1630, 1060}, {2550, -1370, 1060}, {2290, -1370, 1060}, "seina2", 0.3f, 0.3f);
    // The ladle resting across it.
    b.Box({2300, -1520, 1285}, {2760, -1490, 1300}, "seina2", "seina2", 900);
    return b.Result();
}

Mesh Stove()
{
    Builder b("kiuas");
    // 660 wide, 1000 tall, its front towards the benches.
    const P lo{800, -2080, Z0}, hi{1420, -1420, Z0 + 1000};
    b.Quad({hi.x, lo.y, lo.z}, {hi.x, hi.y, lo.z}, {hi.x, hi.y, hi.z}, {hi.x, lo.y, hi.z}, "kiuas", 1, 1);
    b.Quad({lo.x, lo.y, lo.z}, {hi.x, lo.y, lo.z}, {hi.x, lo.y, hi.z}, {lo.x, lo.y, hi.z}, "kiuas2", 1, 1.5f);
    b.Quad({hi.x, hi.y, lo.z}, {lo.x, hi.y, lo.z}, {lo.x, hi.y, hi.z}, {hi.x, hi.y, hi.z}, "kiuas2", 1, 1.5f);
    b.Quad({lo.x, hi.y, lo.z}, {lo.x, lo.y, lo.z}, {lo.x, lo.y, hi.z}, {lo.x, hi.y, hi.z}, "kiuas2", 1, 1.5f);
    b.Quad({lo.x, lo.y, hi.z}, {hi.x, lo.y, hi.z}, {hi.x, hi.y, hi.z}, {lo.x, hi.y, hi.z}, "kiuas2", 1, 1);
    // A low iron rim round the stones.
    const float rim = 70, t = 12;
    b.Box({lo.x, lo.y, hi.z}, {hi.x, lo.y + t, hi.z + rim}, "kiuas2", "kiuas2", 600);
    b.Box({lo.x, hi.y - t, hi.z}, {hi.x, hi.y, hi.z + rim}, "kiuas2", "kiuas2", 600);
    b.Box({hi.x - t, lo.y + t, hi.z}, {hi.x, hi.y - t, hi.z + rim}, "kiuas2", "kiuas2", 600);
    b.Box({lo.x, lo.y + t, hi.z}, {lo.x + t, hi.y - t, hi.z + rim}, "kiuas2", "kiuas2", 600);
    // Feet, and the flue from the back of the stove to the ceiling.
    // Its iron reads from the plain margin of the side plate, not from the grate.
    b.Cylinder({900, -1750, hi.z}, 75, Z1 - hi.z, "kiuas2", 2, 2, false, 0.9f);
    return b.Result();
}

Mesh Stones()
{
    Builder b("kivet");
    Random random(20241209);
    const float x0 = 815, x1 = 1405, y0 = -2065, y1 = -1435, top = Z0 + 1000;
    // Four layers, each higher one smaller and nearer the middle: a heap.
    int n = 0;
    for (int layer = 0; layer < 4; ++layer) {
        const float inset = 40.0f + layer * 80.0f;
        const float step = 130.0f - layer * 10.0f;
        for (float x = x0 + inset; x <= x1 - inset; x += step)
            for (float y = y0 + inset; y <= y1 - inset; y += step, ++n) {
                if (x < 990 && y > -1840 && y < -1660) continue;  // the flue stands there
                const float r = random.Range(55, 80) - layer * 5;
                const P centre{x + random.Range(-20, 20), y + random.Range(-20, 20),
                               top + 30 + layer * 80 + random.Range(0, 30)};
                const P radii{r * random.Range(0.9f, 1.25f), r * random.Range(0.85f, 1.15f), r * random.Range(0.6f, 0.8f)};
                b.Stone(centre, radii, "kivet", n, 1, static_cast<uint32_t>(n));
            }
    }
    return b.Result();
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fputs("usage: make_model OUTFILE\n", stderr);
        return 2;
    }
    const std::vector<Material> materials = {
        {"kiuas", 60, 55, 50, "kiuas.jpg"},    {"kiuas2", 50, 50, 50, "kiuas2.jpg"},
        {"ovi", 180, 130, 80, "ovi.jpg"},      {"seina1", 200, 160, 110, "seina1.jpg"},
        {"seina2", 210, 150, 90, "seina2.jpg"}, {"lattia", 110, 90, 70, "lattia.jpg"},
        {"kivet", 120, 120, 120, "kivet.jpg"},
    };
    const std::vector<Mesh> meshes = {Room(), Benches(), Bucket(), Stove(), Stones()};
    const std::vector<uint8_t> bytes = WriteScene(materials, meshes);
    std::ofstream out(argv[1], std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    out.close();
    if (!out) {
        std::fprintf(stderr, "make_model: cannot write %s\n", argv[1]);
        return 1;
    }
    return 0;
}
