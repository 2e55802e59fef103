// The chunk reader on hand-made, broken and truncated files. These tests also run with the
// reader compiled under address and undefined-behaviour checks.
#include <gtest/gtest.h>

#include <bit>
#include <string>

#include "mesh/file3ds.h"
#include "tests/mesh/model_files.h"

namespace sauno {
namespace {

using namespace testing;
using model::ChunkWriter;

std::string ReadError(std::vector<uint8_t> bytes)
{
    TMemoryStream stream(std::move(bytes));
    TFile3DS file;
    try {
        file.LoadFromStream(stream);
        for (int i = 0; i < file.MeshCount(); ++i) file.Mesh(i);
        for (int i = 0; i < file.MaterialCount(); ++i) file.Material(i);
    } catch (const Exception& e) {
        return e.what();
    }
    return "";
}

TEST(File3DS, ReadsMeshesAndMaterialsOfAFile)
{
    Mesh cube = Cube(1, "Wood");
    cube.faces[3].material = "stone";
    TMemoryStream stream(File({cube}, {{"wood", 255, 0, 0, " wood.jpg"}, {"stone", 0, 255, 0, ""}}));
    TFile3DS file;
    file.LoadFromStream(stream);
    ASSERT_EQ(file.MeshCount(), 1);
    TMesh3DS mesh = file.Mesh(0);
    EXPECT_EQ(mesh.name, "cube");
    EXPECT_EQ(mesh.nVertices, 8);
    EXPECT_EQ(mesh.nFaces, 12);
    EXPECT_EQ(mesh.nTextVerts, 8);
    ASSERT_EQ(mesh.smoothArray.size(), 12u);
    ASSERT_EQ(mesh.matArray.size(), 2u);
    EXPECT_EQ(mesh.matArray[0].name, "Wood");
    EXPECT_EQ(mesh.matArray[0].nFaces, 11);
    EXPECT_EQ(mesh.matArray[1].faceIndex, std::vector<uint16_t>{3});
    ASSERT_EQ(file.MaterialCount(), 2);
    TMaterial3DS* wood = file.MaterialByName("WOOD");
    ASSERT_NE(wood, nullptr);
    EXPECT_EQ(wood->diffuse.r, 1.0f);
    EXPECT_EQ(wood->diffuse.g, 0.0f);
    EXPECT_FLOAT_EQ(wood->shininess, 0.10f);
    EXPECT_EQ(wood->texture.name, " wood.jpg");
    EXPECT_EQ(file.MaterialByName("glass"), nullptr);
    EXPECT_EQ(file.Material(1).name, "stone");
    EXPECT_STREQ(ReadError(File({cube}, {})).c_str(), "");
    try {
        file.Material(2);
        FAIL();
    } catch (const E3DSError& e) {
        EXPECT_STREQ(e.what(), "Invalid index 2.");
    }
}

TEST(File3DS, AnUnknownRootYieldsNothingAndMaterialLibrariesHaveNoMeshes)
{
    ChunkWriter w;
    w.Begin(0x1234);
    w.End();
    TMemoryStream stream(w.Bytes());
    TFile3DS file;
    file.LoadFromStream(stream);
    EXPECT_EQ(file.MeshCount(), 0);
    EXPECT_EQ(file.MaterialCount(), 0);

    // A material library whose container holds a scene chunk with a named mesh.
    std::vector<uint8_t> scene = File({Cube()});
    scene[0] = 0xAA;
    scene[1] = 0x3D;
    TMemoryStream libStream(scene);
    TFile3DS libFile;
    libFile.LoadFromStream(libStream);
    ASSERT_EQ(libFile.MeshCount(), 1);
    try {
        libFile.Mesh(0);
        FAIL();
    } catch (const E3DSError& e) {
        EXPECT_STREQ(e.what(), msg3ds::WrongDatabase);
    }
}

TEST(File3DS, LightsCamerasAndKeyframesAreWalkedOver)
{
    // A scene as full tools write it: master scale, a spot light, a camera, and a keyframe
    // section whose nodes name their parents.
    ChunkWriter w;
    w.Begin(0x4D4D);
    w.Begin(0x3D3D);
    w.Begin(0x0100);
    w.Float(1);
    w.End();
    w.Begin(0x4000);
    w.String("lamp");
    w.Begin(0x4600);
    for (float f : {1.f, 2.f, 3.f}) w.Float(f);
    w.Begin(0x4610);
    for (int i = 0; i < 5; ++i) w.Float(0);
    w.End();
    w.End();
    w.End();
    w.Begin(0x4000);
    w.String("eye");
    w.Begin(0x4700);
    for (int i = 0; i < 8; ++i) w.Float(0);
    w.End();
    w.End();
    w.End();
    w.Begin(0xB000);
    w.Begin(0xB00A);
    w.U16(5);
    w.String("anim");
    w.U32(100);
    w.End();
    w.Begin(0xB008);
    w.U32(0);
    w.U32(100);
    w.End();
    for (int node = 0; node < 2; ++node) {
        w.Begin(0xB002);
        w.Begin(0xB030);
        w.U16(uint16_t(node));
        w.End();
        w.Begin(0xB010);
        w.String(node == 0 ? "parent" : "child");
        w.U16(0);
        w.U16(0);
        w.U16(node == 0 ? 0xFFFF : 0);
        w.End();
        w.Leaf(0xB020, {0, 0, 0, 0});
        w.End();
    }
    w.End();
    w.End();
    TMemoryStream stream(w.Bytes());
    TFile3DS file;
    file.LoadFromStream(stream);
    EXPECT_EQ(file.MeshCount(), 0);  // a light and a camera, no triangle mesh
    ASSERT_EQ(file.KeyFrameNodes().size(), 2u);
    EXPECT_EQ(file.KeyFrameNodes()[1].name, "child");
    EXPECT_EQ(file.KeyFrameNodes()[1].parentName, "parent");
    EXPECT_EQ(file.KeyFrameNodes()[0].parentName, "");
}

// The scene of the test above, cut down: one omni light, one spot light, one camera.
std::vector<uint8_t> LightsAndCamera(int cameraRanges = 2)
{
    ChunkWriter w;
    w.Begin(0x4D4D);
    w.Begin(0x3D3D);
    w.Begin(0x4000);
    w.String("lamp");
    w.Begin(0x4600);
    for (float f : {1.f, 2.f, 3.f}) w.Float(f);
    w.Begin(0x0011);
    for (uint8_t c : {255, 0, 51}) w.U8(c);
    w.End();
    w.Leaf(0x4620, {});
    w.Begin(0x465B);
    w.Float(2.5f);
    w.End();
    w.End();
    w.End();
    w.Begin(0x4000);
    w.String("spot");
    w.Begin(0x4600);
    for (float f : {0.f, 10.f, 0.f}) w.Float(f);
    w.Begin(0x0010);
    for (float f : {0.5f, 0.25f, 1.f}) w.Float(f);
    w.End();
    w.Begin(0x4610);
    for (float f : {0.f, 0.f, 0.f, 30.f, 45.f}) w.Float(f);
    w.Begin(0x4656);
    w.Float(15);
    w.End();
    w.Leaf(0x4630, {});
    w.End();
    w.End();
    w.End();
    w.Begin(0x4000);
    w.String("eye");
    w.Begin(0x4700);
    for (float f : {4.f, 5.f, 6.f, 0.f, 0.f, 0.f, 10.f, 35.f}) w.Float(f);
    w.Begin(0x4720);
    for (float f : {1.f, 1000.f}) if (cameraRanges-- > 0) w.Float(f);
    w.End();
    w.End();
    w.End();
    w.End();
    w.End();
    return w.Bytes();
}

TEST(File3DS, LightsAndCamerasAreDecodedWhenAskedFor)
{
    TMemoryStream stream(LightsAndCamera());
    TFile3DS file;
    file.LoadFromStream(stream);
    ASSERT_EQ(file.OmniLights().size(), 1u);
    const TLight3DS& lamp = file.OmniLights()[0];
    EXPECT_EQ(lamp.name, "lamp");
    EXPECT_EQ(lamp.position.z, 3.0f);
    EXPECT_EQ(lamp.color.r, 1.0f);
    EXPECT_EQ(lamp.color.b, 0.2f);
    EXPECT_TRUE(lamp.off);
    EXPECT_EQ(lamp.multiplier, 2.5f);
    EXPECT_FALSE(lamp.spot);
    ASSERT_EQ(file.SpotLights().size(), 1u);
    const TLight3DS& spot = file.SpotLights()[0];
    EXPECT_EQ(spot.name, "spot");
    EXPECT_EQ(spot.position.y, 10.0f);
    EXPECT_EQ(spot.color.g, 0.25f);
    EXPECT_TRUE(spot.spot);
    EXPECT_EQ(spot.hotspot, 30.0f);
    EXPECT_EQ(spot.falloff, 45.0f);
    EXPECT_EQ(spot.roll, 15.0f);
    EXPECT_TRUE(spot.shadowed);
    EXPECT_FALSE(spot.off);
    ASSERT_EQ(file.Cameras().size(), 1u);
    const TCamera3DS& eye = file.Cameras()[0];
    EXPECT_EQ(eye.name, "eye");
    EXPECT_EQ(eye.position.x, 4.0f);
    EXPECT_EQ(eye.target.x, 0.0f);
    EXPECT_EQ(eye.roll, 10.0f);
    EXPECT_EQ(eye.focalLength, 35.0f);
    EXPECT_EQ(eye.farRange, 1000.0f);
    EXPECT_EQ(file.MeshCount(), 0);

    // A camera whose ranges are cut short fails when the cameras are asked for, not before.
    TMemoryStream damaged(LightsAndCamera(1));
    TFile3DS cut;
    ASSERT_NO_THROW(cut.LoadFromStream(damaged));
    EXPECT_THROW(cut.Cameras(), E3DSError);
    EXPECT_THROW(cut.OmniLights(), E3DSError) << "nothing was listed, so asking again fails again";
    EXPECT_EQ(cut.MeshCount(), 0);
}

TEST(File3DS, CamerasOfOtherProgramsFiles)
{
    TFileStream stream("/usr/share/assimp/models/3DS/TargetCameraAnim.3ds", TFileMode::fmOpenRead);
    TFile3DS file;
    file.LoadFromStream(stream);
    ASSERT_EQ(file.Cameras().size(), 1u);
    const TCamera3DS& camera = file.Cameras()[0];
    EXPECT_EQ(camera.name, "Camera01");
    EXPECT_NEAR(camera.position.x, -65.8677f, 1e-3f);
    EXPECT_NEAR(camera.target.x, 100.41f, 1e-2f);
    EXPECT_NEAR(camera.focalLength, 53.333f, 1e-3f);
    EXPECT_TRUE(file.OmniLights().empty());
    EXPECT_TRUE(file.SpotLights().empty());
    EXPECT_EQ(file.MeshCount(), 1);
    EXPECT_EQ(file.KeyFrameNodes().size(), 3u);
}

// A keyframe section that other programs or damage leave broken: a node tag of one byte, or a
// node name without its terminating zero. Nothing needs the section, so the model still loads.
TEST(File3DS, ADamagedKeyframeSectionLeavesTheModelAndNoNodes)
{
    for (int damage = 0; damage < 3; ++damage) {
        ChunkWriter w;
        w.Begin(0x4D4D);
        {
            const std::vector<uint8_t> scene = File({Cube()});
            // The body of a written file's 0x3D3D, after its root (6 bytes) and version (10).
            w.Leaf(0x3D3D, std::vector<uint8_t>(scene.begin() + 22, scene.end()));
        }
        w.Begin(0xB000);
        w.Begin(0xB002);
        if (damage == 0) {
            w.Leaf(0xB030, {7});
        } else {
            w.Begin(0xB030);
            w.U16(0);
            w.End();
        }
        if (damage == 1) {
            w.Leaf(0xB010, {'n', 'o', 'z', 'e', 'r', 'o'});
        } else {
            w.Begin(0xB010);
            w.String("node");
            w.U16(0);
            w.U16(0);
            if (damage != 2) w.U16(0xFFFF);  // damage 2: the parent is missing
            w.End();
        }
        w.End();
        w.End();
        w.End();
        TMemoryStream stream(w.Bytes());
        TFile3DS file;
        ASSERT_NO_THROW(file.LoadFromStream(stream)) << "damage " << damage;
        EXPECT_TRUE(file.KeyFrameNodes().empty()) << "damage " << damage;
        ASSERT_EQ(file.MeshCount(), 1) << "damage " << damage;
        EXPECT_EQ(file.Mesh(0).nVertices, 8) << "damage " << damage;
    }
}

TEST(File3DS, ExtensionEntriesAreReadStrictly)
{
    ChunkWriter w;
    w.Begin(0x4D4D);
    w.Begin(0x8001);
    w.Leaf(0x8002, {1, 2});
    w.Leaf(0x4000, {0});  // not an extension item: the rest of the entry is skipped
    w.Leaf(0x8003, {});
    w.End();
    w.End();
    TMemoryStream stream(w.Bytes());
    TFile3DS file;
    file.LoadFromStream(stream);
    ASSERT_EQ(file.Root()->children.size(), 1u);
    ASSERT_EQ(file.Root()->children[0]->children.size(), 1u);
    EXPECT_EQ(file.Root()->children[0]->children[0]->id, 0x8002);
}

// A scene with one named object whose body is `body`.
std::vector<uint8_t> SceneWith(const std::function<void(ChunkWriter&)>& body)
{
    ChunkWriter w;
    w.Begin(0x4D4D);
    w.Begin(0x3D3D);
    w.Begin(0x4000);
    w.String("m");
    body(w);
    w.End();
    w.End();
    w.End();
    return w.Bytes();
}

void Vertices(ChunkWriter& w, int n)
{
    w.Begin(0x4110);
    w.U16(uint16_t(n));
    for (int i = 0; i < n; ++i)
        for (float f : {float(i), float(i * i), 1.0f}) w.Float(f);
    w.End();
}

void Faces(ChunkWriter& w, std::vector<std::array<uint16_t, 3>> faces, const std::function<void(ChunkWriter&)>& sub = {})
{
    w.Begin(0x4120);
    w.U16(uint16_t(faces.size()));
    for (auto& f : faces) {
        w.U16(f[0]);
        w.U16(f[1]);
        w.U16(f[2]);
        w.U16(0);
    }
    if (sub) sub(w);
    w.End();
}

void PatchU32(std::vector<uint8_t>& bytes, size_t at, uint32_t value)
{
    for (int i = 0; i < 4; ++i) bytes[at + size_t(i)] = uint8_t(value >> (8 * i));
}

TEST(File3DS, MalformedFilesFailWithWhatAndWhere)
{
    // A chunk shorter than its own header.
    std::vector<uint8_t> shortHeader = SceneWith([](ChunkWriter& w) { w.Leaf(0x4010, {}); });
    PatchU32(shortHeader, 6 + 2, 3);  // the 0x3D3D chunk at offset 6
    EXPECT_EQ(ReadError(shortHeader), "Chunk 0x3D3D at offset 6: its length 3 is smaller than its header");

    // A sub-chunk running past its parent.
    std::vector<uint8_t> pastParent = SceneWith([](ChunkWriter& w) { w.Leaf(0x4010, {}); });
    PatchU32(pastParent, 20 + 2, 100);  // the flag at 20, inside the named object that ends at 26
    EXPECT_EQ(ReadError(pastParent), "Chunk 0x4010 at offset 20: its length 100 runs past its parent's end at offset 26");

    // A name without its zero.
    ChunkWriter noZero;
    noZero.Begin(0x4D4D);
    noZero.Begin(0x3D3D);
    noZero.Leaf(0x4000, {'a', 'b', 'c'});
    noZero.End();
    noZero.End();
    EXPECT_EQ(ReadError(noZero.Bytes()), "Chunk 0x4000 at offset 12: a string has no terminating zero");

    // A face count larger than the chunk.
    EXPECT_NE(ReadError(SceneWith([](ChunkWriter& w) {
                  w.Begin(0x4100);
                  w.Begin(0x4120);
                  w.U16(500);
                  w.End();
                  w.End();
              })).find("is smaller than its data part"),
              std::string::npos);

    // A vertex count larger than the chunk.
    EXPECT_NE(ReadError(SceneWith([](ChunkWriter& w) {
                  w.Begin(0x4100);
                  w.Begin(0x4110);
                  w.U16(3);
                  w.Float(1);
                  w.End();
                  w.End();
              })).find("Chunk 0x4110 at offset 26: vertices run past the chunk's end"),
              std::string::npos);

    // Corner, face and count checks.
    auto mesh = [](const std::function<void(ChunkWriter&)>& f) {
        return SceneWith([&](ChunkWriter& w) {
            w.Begin(0x4100);
            f(w);
            w.End();
        });
    };
    EXPECT_NE(ReadError(mesh([](ChunkWriter& w) {
                  Vertices(w, 3);
                  Faces(w, {{0, 1, 3}});
              })).find("face 0 refers to vertex 3 of a mesh with 3 vertices"),
              std::string::npos);
    EXPECT_NE(ReadError(mesh([](ChunkWriter& w) {
                  Vertices(w, 3);
                  Faces(w, {{0, 1, 2}}, [](ChunkWriter& s) {
                      s.Begin(0x4130);
                      s.String("a");
                      s.U16(1);
                      s.U16(1);
                      s.End();
                  });
              })).find("material group \"a\" refers to face 1 of 1"),
              std::string::npos);
    EXPECT_NE(ReadError(mesh([](ChunkWriter& w) {
                  Vertices(w, 3);
                  Faces(w, {{0, 1, 2}, {2, 1, 0}}, [](ChunkWriter& s) {
                      s.Begin(0x4150);
                      s.U32(1);
                      s.End();
                  });
              })).find("Chunk 0x4150 at offset "),
              std::string::npos);
    EXPECT_NE(ReadError(mesh([](ChunkWriter& w) {
                  Vertices(w, 3);
                  w.Begin(0x4140);
                  w.U16(2);
                  for (int i = 0; i < 4; ++i) w.Float(0);
                  w.End();
              })).find("it holds 2 texture coordinates for 3 vertices"),
              std::string::npos);

    // Nesting deeper than any real file stops with an error, not with the stack.
    ChunkWriter deep;
    deep.Begin(0x4D4D);
    for (int i = 0; i < 5000; ++i) deep.Begin(0x3D3D);
    for (int i = 0; i < 5000; ++i) deep.End();
    deep.End();
    EXPECT_NE(ReadError(deep.Bytes()).find("nested more than 32 deep"), std::string::npos);

    // An unknown material sub-chunk.
    ChunkWriter badMaterial;
    badMaterial.Begin(0x4D4D);
    badMaterial.Begin(0x3D3D);
    badMaterial.Begin(0xAFFF);
    badMaterial.Begin(0xA000);
    badMaterial.String("x");
    badMaterial.End();
    badMaterial.Leaf(0xA0FF, {1});
    badMaterial.End();
    badMaterial.End();
    badMaterial.End();
    EXPECT_EQ(ReadError(badMaterial.Bytes()), msg3ds::InvalidChunk);
}

TEST(File3DS, EveryTruncationOfAValidFileIsAStreamReadError)
{
    const std::vector<uint8_t> whole = File({Cube(1, "a")}, {{"a", 1, 2, 3, "a.jpg"}});
    for (size_t size = 0; size < whole.size(); ++size) {
        std::vector<uint8_t> part(whole.begin(), whole.begin() + static_cast<std::ptrdiff_t>(size));
        ASSERT_EQ(ReadError(part), "Stream read error") << "cut at " << size;
    }
}

TEST(File3DS, DamagedBytesNeverCrashOrHang)
{
    const std::vector<uint8_t> whole = File({Cube(3, "a"), Cube(0, "b")}, {{"a", 1, 2, 3, "a.jpg"}, {"b", 4, 5, 6, ""}});
    uint32_t seed = 12345;
    auto next = [&] { return seed = seed * 1664525u + 1013904223u; };
    int failures = 0;
    for (int round = 0; round < 3000; ++round) {
        std::vector<uint8_t> bytes = whole;
        const int flips = 1 + int(next() % 4);
        for (int i = 0; i < flips; ++i) bytes[next() % bytes.size()] = uint8_t(next() >> 24);
        if (!ReadError(bytes).empty()) ++failures;
    }
    EXPECT_GT(failures, 0);  // and the process is still here
}

}  // namespace
}  // namespace sauno
