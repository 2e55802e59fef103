// The game's room as the model tool writes it, read back with the 3DS reader.
#include <gtest/gtest.h>

#include <cmath>

#include "mesh/file3ds.h"
#include "tools/make_pictures/StoneTiles.h"

namespace sauno {
namespace {

TMesh3DS RoomMesh(const std::string& name)
{
    TFileStream stream(SAUNO_MODEL_FILE, TFileMode::fmOpenRead);
    TFile3DS file;
    file.LoadFromStream(stream);
    for (int i = 0; i < file.MeshCount(); ++i)
        if (file.Mesh(i).name == name) return file.Mesh(i);
    ADD_FAILURE() << "no mesh " << name;
    return {};
}

// Each stone wears the inner part of one tile of the stones' picture, top
// of the stone at the top of the tile: one coordinate outside it and the
// stone would show a strip of its neighbour, or its light upside down.
TEST(RoomModel, EveryStoneWearsOneTileOfThePictureTheRightWayUp)
{
    using namespace stone_tiles;
    const TMesh3DS stones = RoomMesh("kivet");
    ASSERT_EQ(stones.nTextVerts, stones.nVertices);
    constexpr int perStone = 7 * 10;  // stacks + 1 rings of slices + 1 corners
    ASSERT_GT(stones.nVertices, 0);
    ASSERT_EQ(stones.nVertices % perStone, 0);
    const float eps = 1e-4f;
    for (int first = 0; first < stones.nVertices; first += perStone) {
        const TTexVert3DS& origin = stones.textArray[first];
        const int column = static_cast<int>(origin.u * kColumns), row = static_cast<int>(origin.v * kRows);
        float lowest = 1e9f, highest = -1e9f, vAtLowest = 0, vAtHighest = 0;
        for (int i = first; i < first + perStone; ++i) {
            const TTexVert3DS& t = stones.textArray[i];
            const float inU = t.u * kColumns - column, inV = t.v * kRows - row;
            ASSERT_GE(inU, kInset - eps) << "stone at vertex " << first;
            ASSERT_LE(inU, 1 - kInset + eps) << "stone at vertex " << first;
            ASSERT_GE(inV, kInset - eps) << "stone at vertex " << first;
            ASSERT_LE(inV, 1 - kInset + eps) << "stone at vertex " << first;
            const float z = stones.vertexArray[i].z;
            if (z < lowest) lowest = z, vAtLowest = t.v;
            if (z > highest) highest = z, vAtHighest = t.v;
        }
        // The texture's v grows up the picture, and the tile's top row is the stone's top.
        EXPECT_GT(vAtHighest, vAtLowest) << "stone at vertex " << first;
    }
}

}  // namespace
}  // namespace sauno
