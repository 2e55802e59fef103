// The game's room as the model tool writes it, read back with the 3DS reader.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <set>

#include "material/picture.h"
#include "mesh/file3ds.h"
#include "tools/make_pictures/StoneTiles.h"

namespace sauno {
namespace {

// What one frame may cost the room: triangles drawn, and the bytes of the pictures the model
// brings beside itself, as uploaded (four bytes a pixel) and as stored.
constexpr int kTriangleBudget = 6000;
constexpr size_t kUploadBudget = 512 * 1024;
constexpr size_t kFileBudget = 64 * 1024;
// The library's own materials; any other one the model names brings its own picture.
const std::set<std::string> kLibrary = {"kiuas", "kiuas2", "ovi", "seina1", "seina2", "lattia", "kivet"};
// The point the view turns round, in the model's millimetres. The camera stands 175 mm behind
// it and the near plane 550 mm in front of the camera, so 375 mm beyond the point; walls need a
// margin more (the frustum's corners reach further), benches twice that to be seen whole.
constexpr float kEyeX = 3000, kEyeY = -2000, kEyeZ = 2000, kNearPlane = 375;
constexpr float kWallReach = kNearPlane + 200, kBenchReach = 2 * kNearPlane;

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

TEST(RoomModel, StaysWithinItsTriangleAndPictureBudgetAndBringsEveryPictureItNames)
{
    TFileStream stream(SAUNO_MODEL_FILE, TFileMode::fmOpenRead);
    TFile3DS file;
    file.LoadFromStream(stream);
    int triangles = 0;
    std::set<std::string> named;
    for (int i = 0; i < file.MeshCount(); ++i) {
        const TMesh3DS& mesh = file.Mesh(i);
        for (const TObjMat3DS& group : mesh.matArray) {
            triangles += group.nFaces;
            named.insert(group.name);
        }
    }
    EXPECT_LE(triangles, kTriangleBudget);
    const std::filesystem::path folder = std::filesystem::path(SAUNO_MODEL_FILE).parent_path();
    size_t uploaded = 0, stored = 0;
    int own = 0;
    for (const std::string& name : named) {
        if (kLibrary.count(name)) continue;
        ++own;
        const std::string picture = file.MaterialByName(name)->texture.name;
        ASSERT_FALSE(picture.empty()) << name << " has no picture";
        const std::string path = FindPictureFile(folder.string(), picture);
        ASSERT_FALSE(path.empty()) << picture << " is not beside the model";
        const auto graphic = LoadPictureFile(path);
        uploaded += static_cast<size_t>(graphic->Width()) * static_cast<size_t>(graphic->Height()) * 4;
        stored += std::filesystem::file_size(path);
    }
    EXPECT_GE(own, 2) << "the benches and the bucket wear pictures of their own";
    EXPECT_LE(uploaded, kUploadBudget);
    EXPECT_LE(stored, kFileBudget);
    std::printf("room: %d triangles, own pictures %zu bytes uploaded, %zu bytes stored\n", triangles, uploaded, stored);
}

// The turned view sees nothing nearer than its near plane: walls that close would be cut open,
// and the benches are seen as benches only from a distance.
TEST(RoomModel, WallsAndTheLowerBenchesStandBeyondTheViewsNearPlane)
{
    const TMesh3DS room = RoomMesh("huone");
    float lowX = 1e9f, highX = -1e9f, lowY = 1e9f, highY = -1e9f, lowZ = 1e9f, highZ = -1e9f;
    for (const TPoint3DS& p : room.vertexArray) {
        lowX = std::min(lowX, p.x), highX = std::max(highX, p.x);
        lowY = std::min(lowY, p.y), highY = std::max(highY, p.y);
        lowZ = std::min(lowZ, p.z), highZ = std::max(highZ, p.z);
    }
    EXPECT_GE(kEyeX - lowX, kWallReach);
    EXPECT_GE(highX - kEyeX, kWallReach);
    EXPECT_GE(kEyeY - lowY, kWallReach);
    EXPECT_GE(highY - kEyeY, kWallReach);
    EXPECT_GE(highZ - kEyeZ, kWallReach);
    EXPECT_GE(kEyeZ - lowZ, kWallReach);
    // The benches: three seat heights below the eye, the lower two out of the near plane's reach.
    const TMesh3DS benches = RoomMesh("lauteet");
    std::set<float> tops;
    float nearestLower = 1e9f;
    for (const TFace3DS& face : benches.faceArray) {
        const TPoint3DS &a = benches.vertexArray[face.a], &b = benches.vertexArray[face.b],
                        &c = benches.vertexArray[face.c];
        // Upward faces below the seated eye: the slats' tops, and the bearers' just under them.
        const float up = (b.x - a.x) * (c.y - a.y) - (b.y - a.y) * (c.x - a.x);
        if (a.z != b.z || b.z != c.z || a.z > kEyeZ - 400 || up <= 0) continue;
        tops.insert(a.z);
        if (a.z < 1300) {
            for (const TPoint3DS* p : {&a, &b, &c}) {
                const float dx = p->x - kEyeX, dy = p->y - kEyeY, dz = p->z - kEyeZ;
                nearestLower = std::min(nearestLower, std::sqrt(dx * dx + dy * dy + dz * dz));
            }
        }
    }
    int levels = 0;
    float previous = -1e9f;
    for (float z : tops) {
        if (z - previous > 150) ++levels;
        previous = z;
    }
    EXPECT_GE(levels, 3) << "fewer than three bench levels";
    EXPECT_GE(nearestLower, kBenchReach);
}

}  // namespace
}  // namespace sauno
