#pragma once
// Hand-made 3DS files for the tests.
#include <string>
#include <vector>

#include "Writer3DS.h"
#include "mesh/stream.h"

namespace sauno::testing {

using model::Face;
using model::Material;
using model::Mesh;
using model::Vertex;

// A unit cube of 8 corners and 12 outward faces, every face in smoothing mask `smoothing`.
inline Mesh Cube(uint32_t smoothing = 0, const std::string& material = "")
{
    Mesh m;
    m.name = "cube";
    for (int i = 0; i < 8; ++i)
        m.vertices.push_back({float(i & 1), float((i >> 1) & 1), float((i >> 2) & 1), float(i & 1), float((i >> 1) & 1)});
    // Each side as two triangles, counter-clockwise seen from outside.
    const int sides[6][4] = {{0, 2, 3, 1}, {4, 5, 7, 6}, {0, 1, 5, 4}, {2, 6, 7, 3}, {0, 4, 6, 2}, {1, 3, 7, 5}};
    for (const auto& s : sides) {
        m.faces.push_back({uint16_t(s[0]), uint16_t(s[1]), uint16_t(s[2]), smoothing, material});
        m.faces.push_back({uint16_t(s[0]), uint16_t(s[2]), uint16_t(s[3]), smoothing, material});
    }
    m.writeSmoothing = smoothing != 0;
    return m;
}

inline std::vector<uint8_t> File(const std::vector<Mesh>& meshes, const std::vector<Material>& materials = {})
{
    return model::WriteScene(materials, meshes);
}

inline TMemoryStream Stream(std::vector<uint8_t> bytes) { return TMemoryStream(std::move(bytes)); }

}  // namespace sauno::testing
