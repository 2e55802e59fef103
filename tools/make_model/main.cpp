// make_model OUTFILE: writes the sauna room as a 3DS file, and beside it the pictures of the
// materials the room brings itself (lauteet.jpg, kiulu.jpg, mittari.jpg). Millimetres, z up. Every number is
// fixed or drawn from a seeded generator, so one build writes the same bytes every time.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <exception>
#include <filesystem>
#include <fstream>
#include <numbers>
#include <string>
#include <vector>

#include "ModelPictures.h"
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


    // A box of wood whose grain runs along `axis` (0 x, 1 y, 2 z): on every face the picture's
    // u follows the grain (`repeat` millimetres per repeat) and v spans v0..v1 across it.
    void WoodBox(P lo, P hi, const std::string& material, int axis, float v0, float v1, float repeat)
    {
        const size_t first = mesh_.vertices.size();
        Box(lo, hi, material, material, 900);
        auto at = [](const Vertex& v, int a) { return a == 0 ? v.x : a == 1 ? v.y : v.z; };
        const float low[3] = {lo.x, lo.y, lo.z}, high[3] = {hi.x, hi.y, hi.z};
        for (size_t q = first; q < mesh_.vertices.size(); q += 4) {
            // The face's own axes: the one its corners do not vary in is its normal.
            int flat = 0;
            for (int a = 0; a < 3; ++a)
                if (at(mesh_.vertices[q], a) == at(mesh_.vertices[q + 2], a)) flat = a;
            int across = 3 - flat - axis;
            if (flat == axis) across = axis == 2 ? 0 : 2;  // end grain: a small patch
            for (size_t k = q; k < q + 4; ++k) {
                Vertex& v = mesh_.vertices[k];
                const float t = (at(v, across) - low[across]) / std::max(1.0f, high[across] - low[across]);
                v.u = flat == axis ? 0.5f + t * 0.02f : (at(v, axis) - low[axis]) / repeat;
                v.v = v0 + (v1 - v0) * t;
            }
        }
    }

    // A square beam from `from` to `to`, `width` thick, its grain along it.
    void Beam(P from, P to, float width, const std::string& material, float v0, float v1)
    {
        const P d = to - from;
        const float length = std::sqrt(Dot(d, d));
        const P along{d.x / length, d.y / length, d.z / length};
        P side = Cross(along, {0, 0, 1});
        const float s = std::sqrt(Dot(side, side));
        side = {side.x / s * width / 2, side.y / s * width / 2, side.z / s * width / 2};
        P up = Cross(side, along);
        const float su = std::sqrt(Dot(up, up));
        up = {up.x / su * width / 2, up.y / su * width / 2, up.z / su * width / 2};
        const P corners[4] = {side + up, P{} - side + up, P{} - side - up, side - up};
        const float repeat = length / 400;
        for (int i = 0; i < 4; ++i) {
            const P a = corners[i], c = corners[(i + 1) % 4];
            const P mid = a + c;
            Facing(mid, from + a, to + a, to + c, from + c, material, repeat, v1 - v0, 0, v0);
        }
    }

private:
    Mesh mesh_;
};

// The room, in millimetres: the player's eyes are at (3000, -2000, 2000) on the top bench, and
// the view turns round that point 175 mm away. The GL near plane lies some 550 mm in front of
// the eye, so everything meant to be seen stands at least a metre off; the benches run along
// the back wall and down the left wall towards the stove, where a turned view finds them.
constexpr float X0 = -900, X1 = 3600, Y0 = -3900, Y1 = -300, Z0 = 700, Z1 = 3100;

// The benches' picture holds four slats across its height; `slat` picks one (0..3).
constexpr float kSlatRepeat = 1200;  // millimetres of bench per repeat of the picture
void Slat(Builder& b, P lo, P hi, int axis, int slat)
{
    b.WoodBox(lo, hi, "lauteet", axis, static_cast<float>(slat % 4) / 4 + 0.02f,
              static_cast<float>(slat % 4 + 1) / 4 - 0.02f, kSlatRepeat);
}

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
    // The door in the right-hand wall, just proud of the boards; its picture has the window.
    const float dy = Y1 - 8;
    b.Facing({0, -1, 0}, {1850, dy, Z0}, {1050, dy, Z0}, {1050, dy, Z0 + 1850}, {1850, dy, Z0 + 1850}, "ovi", 1, 1);
    // Its frame.
    b.Box({1010, Y1 - 40, Z0}, {1050, Y1, Z0 + 1890}, "seina2", "seina2", 900);
    b.Box({1850, Y1 - 40, Z0}, {1890, Y1, Z0 + 1890}, "seina2", "seina2", 900);
    b.Box({1050, Y1 - 40, Z0 + 1850}, {1850, Y1, Z0 + 1890}, "seina2", "seina2", 900);
    // Skirting and ceiling strips.
    b.Box({X0, Y0, Z0}, {X0 + 30, Y1, Z0 + 90}, "seina2", "seina2", 900);
    b.Box({X0, Y0, Z1 - 60}, {X1, Y0 + 30, Z1}, "seina2", "seina2", 900);
    b.Box({X0, Y1 - 30, Z1 - 60}, {X1, Y1, Z1}, "seina2", "seina2", 900);
    b.Box({X0, Y0, Z1 - 60}, {X0 + 30, Y1, Z1}, "seina2", "seina2", 900);
    b.Box({X1 - 30, Y0, Z1 - 60}, {X1, Y1, Z1}, "seina2", "seina2", 900);
    return b.Result();
}

// Three tiers: the top bench where the player sits, along the back wall and on round the left
// wall; the middle bench a step lower and nearer the stove; the foot step above the floor.
// Slats with gaps, a riser of boards under each front edge, posts and bearers beneath.
Mesh Benches()
{
    Builder b("lauteet");
    const float slat = 92, gap = 14, thick = 30;
    struct Tier {
        float seat;
        float back;  // the top tier's front edge along the back wall, and so on down
        float side;  // its front edge along the left wall
    };
    const Tier tiers[] = {{1450, 2650, Y0 + 640}, {1050, 2150, Y0 + 1100}, {800, 1750, Y0 + 1500}};
    const float sideStart = 1500;  // where the left-wall run ends towards the stove
    int n = 0;
    float previousBack = X1, previousSide = Y0;
    for (int t = 0; t < 3; ++t) {
        const Tier& tier = tiers[t];
        const float top = tier.seat, bottom = tier.seat - thick;
        // Along the back wall: slats run along y, from the left run's inner edge to the right wall.
        const float backFrom = t == 0 ? Y0 + 20 : previousSide;
        for (float x = previousBack - (t == 0 ? 20 : 0); x - slat >= tier.back - 1; x -= slat + gap, ++n)
            Slat(b, {x - slat, backFrom, bottom}, {x, Y1 - 20, top}, 1, n);
        // Along the left wall: slats run along x, from the stove's end to the back run.
        if (t < 2)
            for (float y = previousSide + (t == 0 ? 20 : 0); y + slat <= tier.side + 1; y += slat + gap, ++n)
                Slat(b, {sideStart, y, bottom}, {tier.back, y + slat, top}, 0, n);
        // Risers of upright boards under the front edges, down to the tier below.
        const float riserBottom = t < 2 ? tiers[t + 1].seat - thick : Z0;
        const float riserTop = bottom;
        for (float y = backFrom; y < Y1 - 30; y += 150, ++n)
            Slat(b, {tier.back, y, riserBottom}, {tier.back + 20, std::min(y + 140, Y1 - 20), riserTop}, 2, n);
        if (t < 2)
            for (float x = sideStart; x < tier.back; x += 150, ++n)
                Slat(b, {x, tier.side - 20, riserBottom}, {std::min(x + 140, tier.back), tier.side, riserTop}, 2, n);
        // Bearers under the slats and posts at the front corners.
        for (float y : {backFrom + 40, -2000.0f, Y1 - 120})
            Slat(b, {tier.back + 20, y, bottom - 70}, {previousBack - 20, y + 50, bottom}, 0, n++);
        Slat(b, {tier.back + 20, Y1 - 90, Z0}, {tier.back + 90, Y1 - 20, bottom}, 2, n++);
        if (t < 2) Slat(b, {sideStart, tier.side - 90, Z0}, {sideStart + 70, tier.side - 20, bottom}, 2, n++);
        previousBack = tier.back;
        previousSide = tier.side;
    }
    // Backrests: two slats on the back wall and on the left wall above the top bench.
    for (float z : {1620.0f, 1800.0f}) {
        Slat(b, {X1 - 60, Y0 + 60, z}, {X1 - 30, Y1 - 20, z + 90}, 1, n++);
        Slat(b, {sideStart, Y0 + 30, z}, {X1 - 60, Y0 + 60, z + 90}, 0, n++);
    }
    // Their uprights, between the slats and the wall.
    for (float y : {Y0 + 200, -2600.0f, -1400.0f, Y1 - 200})
        Slat(b, {X1 - 30, y, 1560}, {X1 - 10, y + 50, 1950}, 2, n++);
    for (float x : {1700.0f, 2500.0f, 3300.0f})
        Slat(b, {x, Y0 + 10, 1560}, {x + 50, Y0 + 30, 1950}, 2, n++);
    return b.Result();
}

// The duckboard on the floor in front of the benches and the stove.
Mesh Duckboard()
{
    Builder b("ritila");
    int n = 0;
    for (float x = 300; x + 70 <= 1700; x += 95, ++n)
        Slat(b, {x, -3300, Z0 + 30}, {x + 70, -900, Z0 + 52}, 1, n);
    for (float x : {340.0f, 1000.0f, 1600.0f})
        Slat(b, {x - 300, -3300, Z0}, {x - 240, -900, Z0 + 30}, 1, n++);
    return b.Result();
}

// The bucket on the duckboard beside the stove, level with its middle so that the view sees it
// whole when it turns towards the stove, with the ladle standing in it, its handle up.
Mesh Bucket()
{
    Builder b("kiulu");
    const P foot{1180, -2330, Z0 + 52};
    const size_t staves = b.Result().vertices.size();
    b.Cylinder(foot, 170, 280, "kiulu", 4, 1, false);
    for (size_t i = staves; i < b.Result().vertices.size(); ++i)
        b.Result().vertices[i].v = (b.Result().vertices[i].z - foot.z) / 280;
    // The water inside, and the rim's inner wall a shade darker.
    b.Quad({foot.x - 150, foot.y - 150, foot.z + 230}, {foot.x + 150, foot.y - 150, foot.z + 230},
           {foot.x + 150, foot.y + 150, foot.z + 230}, {foot.x - 150, foot.y + 150, foot.z + 230}, "kiulu", 0.02f, 0.02f, 0.1f, 0.19f);
    // Two lugs for the handle.
    b.WoodBox({foot.x - 20, foot.y - 185, foot.z + 200}, {foot.x + 20, foot.y - 160, foot.z + 330}, "kiulu", 2, 0.3f, 0.4f, 500);
    b.WoodBox({foot.x - 20, foot.y + 160, foot.z + 200}, {foot.x + 20, foot.y + 185, foot.z + 330}, "kiulu", 2, 0.3f, 0.4f, 500);
    // The ladle: a small cup in the water, its long handle leaning out over the rim, away from
    // the stove and towards the benches.
    b.Cylinder({foot.x - 40, foot.y + 20, foot.z + 150}, 55, 90, "kiulu", 8, 0.5f, false);
    b.Beam({foot.x - 40, foot.y + 20, foot.z + 240}, {foot.x + 180, foot.y - 300, foot.z + 700}, 22, "lauteet", 0.52f, 0.7f);
    return b.Result();
}

// The thermometer on the right-hand wall at eye height, beside the view.
Mesh Thermometer()
{
    Builder b("mittari");
    const float y = Y1 - 32, x = 2950, z = 1800;
    b.Facing({0, -1, 0}, {x + 50, y, z}, {x - 50, y, z}, {x - 50, y, z + 400}, {x + 50, y, z + 400}, "mittari", 1, 1);
    b.WoodBox({x - 50, y + 2, z}, {x + 50, Y1, z + 400}, "lauteet", 2, 0.3f, 0.45f, 800);
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
    struct Placed {
        int layer, n;
        P centre, radii;
    };
    std::vector<Placed> heap;
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
                heap.push_back({layer, n, centre, radii});
            }
    }
    // The view looks down on the heap: the top layer first, so that the stones it hides fail
    // the depth test instead of being textured and then drawn over.
    std::stable_sort(heap.begin(), heap.end(), [](const Placed& a, const Placed& b) { return a.layer > b.layer; });
    for (const Placed& s : heap) b.Stone(s.centre, s.radii, "kivet", s.n, 1, static_cast<uint32_t>(s.n));
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
        // The room's own, with their pictures beside the model: a warm ambient share, so the
        // wood glows in the stove's light.
        {"lauteet", 235, 215, 195, "lauteet.jpg", 0.7f}, {"kiulu", 245, 220, 190, "kiulu.jpg", 0.7f},
        {"mittari", 255, 240, 225, "mittari.jpg", 0.7f},
    };
    // Drawn in this order, nearest the view first: what lies behind fails the depth test before
    // it is textured. The room encloses everything, so it goes last; the stones cover the
    // stove's top. Only the order of drawing changes, not one pixel of the picture. The
    // library takes the room's own materials in the order the meshes first name them:
    // lauteet, kiulu, mittari.
    const std::vector<Mesh> meshes = {Benches(), Bucket(), Thermometer(), Stones(), Stove(), Duckboard(), Room()};
    const std::vector<uint8_t> bytes = WriteScene(materials, meshes);
    std::ofstream out(argv[1], std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    out.close();
    if (!out) {
        std::fprintf(stderr, "make_model: cannot write %s\n", argv[1]);
        return 1;
    }
    // The pictures of the room's own materials go beside the model, where the reader looks.
    try {
        pictures::writeModelPictures(std::filesystem::absolute(argv[1]).parent_path());
    } catch (const std::exception& error) {
        std::fprintf(stderr, "make_model: %s\n", error.what());
        return 1;
    }
    return 0;
}
