// Loading models into a free-form: normals and vertex splitting, face groups and material
// binding, the format registry and the loading rules. No GL is needed for any of this.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <fstream>

#include "mesh/basemesh.h"
#include "mesh/file3ds.h"
#include "mesh/vectorfile3ds.h"
#include "tests/mesh/model_files.h"

namespace sauno {
namespace {

using namespace testing;

class FreeFormTest : public ::testing::Test {
protected:
    TComponent owner{nullptr};
    TFreeForm* form = new TFreeForm(&owner);
    TMaterialLibrary* library = new TMaterialLibrary(&owner);

    void Load(const std::vector<uint8_t>& bytes, const std::string& name = "model.3ds")
    {
        TMemoryStream stream(bytes);
        form->LoadFromStream(name, stream);
    }
    TMeshObject& Mesh0() { return form->MeshObjects().Items(0); }
    const TFGVertexIndexList& Group(int i)
    {
        return dynamic_cast<const TFGVertexIndexList&>(Mesh0().FaceGroups().Items(i));
    }
};

bool Near(const TVector3& a, const TVector3& b) { return Length3(Sub(a, b)) < 1e-5f; }

TEST_F(FreeFormTest, WithoutSmoothingEveryFaceHasItsOwnCornersAndNormal)
{
    Load(File({Cube()}));
    ASSERT_EQ(form->MeshObjects().Count(), 1);
    TMeshObject& m = Mesh0();
    EXPECT_EQ(m.Vertices.size(), 36u);
    EXPECT_EQ(m.TexCoords.size(), 36u);
    const auto& indices = Group(0).VertexIndices;
    ASSERT_EQ(indices.size(), 36u);
    for (size_t f = 0; f < 12; ++f) {
        const TVector3 a = m.Vertices[size_t(indices[3 * f])], b = m.Vertices[size_t(indices[3 * f + 1])],
                       c = m.Vertices[size_t(indices[3 * f + 2])];
        const TVector3 outward = Normalize(Cross(Sub(b, a), Sub(c, a)));
        for (int k = 0; k < 3; ++k) EXPECT_TRUE(Near(m.Normals[size_t(indices[3 * f + size_t(k)])], outward));
    }
    // Copies keep the texture coordinate of the corner they split from.
    for (size_t i = 0; i < 36; ++i)
        EXPECT_EQ(m.TexCoords[i].x, m.Vertices[i].x);
}

TEST_F(FreeFormTest, OneSmoothingGroupKeepsTheCornersWithAveragedNormals)
{
    Load(File({Cube(1)}));
    TMeshObject& m = Mesh0();
    ASSERT_EQ(m.Vertices.size(), 8u);
    // Corner 0 at the origin: three faces of equal area meet there, and two triangles of one
    // side touch it twice.
    EXPECT_GT(Dot(m.Normals[0], TVector3{-1, -1, -1}), 0.9f);
    EXPECT_NEAR(Length3(m.Normals[7]), 1.0f, 1e-5f);
}

TEST_F(FreeFormTest, OnlyTheLowestBitOfAMaskDecidesWhatIsSmoothedTogether)
{
    auto twoFaces = [](uint32_t first, uint32_t second) {
        Mesh m;
        m.name = "pair";
        m.vertices = {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {1, 1, 1}};
        m.faces = {{0, 1, 2, first, ""}, {1, 3, 2, second, ""}};
        return File({m});
    };
    Load(twoFaces(0b0110, 0b0010));
    EXPECT_EQ(Mesh0().Vertices.size(), 4u);
    Load(twoFaces(0b0011, 0b0010));
    EXPECT_EQ(Mesh0().Vertices.size(), 6u);
}

// Faces of one smoothing group add their normals at a shared corner, each weighed by its area.
TEST_F(FreeFormTest, ASmoothingGroupSumsItsFacesNormalsWeighedByArea)
{
    Mesh m;
    m.name = "hinge";
    m.vertices = {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {0, 0, 2}};
    m.faces = {{0, 1, 2, 1, ""}, {0, 3, 1, 1, ""}};
    Load(File({m}));
    TMeshObject& mesh = Mesh0();
    ASSERT_EQ(mesh.Vertices.size(), 4u);
    auto faceNormal = [&](int a, int b, int c) {
        auto at = [&](int i) { return TVector3{m.vertices[size_t(i)].x, m.vertices[size_t(i)].y, m.vertices[size_t(i)].z}; };
        return Cross(Sub(at(b), at(a)), Sub(at(c), at(a)));  // its length is twice the face's area
    };
    const TVector3 small = faceNormal(0, 1, 2), large = faceNormal(0, 3, 1);
    ASSERT_GT(Length3(large), 1.5f * Length3(small));
    const TVector3 shared = Normalize(Add(small, large));
    EXPECT_TRUE(Near(mesh.Normals[0], shared));
    EXPECT_TRUE(Near(mesh.Normals[1], shared));
    EXPECT_TRUE(Near(mesh.Normals[2], Normalize(small)));
    EXPECT_TRUE(Near(mesh.Normals[3], Normalize(large)));
    // Not the plain average of the two directions.
    EXPECT_FALSE(Near(mesh.Normals[0], Normalize(Add(Normalize(small), Normalize(large)))));
}

TEST_F(FreeFormTest, InvertedOrientationFlipsEveryNormal)
{
    Load(File({Cube(1)}));
    const TAffineVectorList normals = Mesh0().Normals;
    form->SetNormalsOrientation(mnoInvert);
    Load(File({Cube(1)}));
    for (size_t i = 0; i < normals.size(); ++i) EXPECT_TRUE(Near(Mesh0().Normals[i], MulScalar(normals[i], -1)));
}

TEST_F(FreeFormTest, HiddenAndTooSmallMeshesMakeNoMeshObject)
{
    Mesh hidden = Cube();
    hidden.hidden = true;
    Mesh small;
    small.name = "two";
    small.vertices = {{0, 0, 0}, {1, 0, 0}};
    Mesh kept = Cube();
    kept.name = "kept";
    Load(File({hidden, small, kept}));
    ASSERT_EQ(form->MeshObjects().Count(), 1);
    EXPECT_EQ(Mesh0().Name, "kept");
}

TEST_F(FreeFormTest, MaterialGroupsBecomeFaceGroupsNamedOnlyWithALibrary)
{
    Mesh cube = Cube(0, "b");
    for (int f = 0; f < 4; ++f) cube.faces[size_t(f)].material = "a";
    const std::vector<uint8_t> bytes = File({cube}, {{"a", 255, 0, 0, ""}, {"b", 0, 0, 255, ""}});
    Load(bytes);
    ASSERT_EQ(Mesh0().FaceGroups().Count(), 2);
    EXPECT_EQ(Group(0).MaterialName, "");
    EXPECT_EQ(Group(0).VertexIndices.size(), 12u);
    EXPECT_EQ(Group(1).VertexIndices.size(), 24u);

    form->SetMaterialLibrary(library);
    Load(bytes);
    EXPECT_EQ(Group(0).MaterialName, "a");
    EXPECT_EQ(Group(1).MaterialName, "b");
    // Both were made from the file's definitions.
    ASSERT_EQ(library->Count(), 2);
    TFaceProperties& a = library->Materials(0).Material().FrontProperties();
    EXPECT_EQ(a.Diffuse().Color(), (TVector4{1, 0, 0, 1}));
    EXPECT_FLOAT_EQ(a.Specular().Alpha(), 0.9f);        // × (1 − shininess 10 %)
    EXPECT_EQ(a.Shininess(), 122);                      // (1 − 5 %) × 128 = 121.6
    EXPECT_TRUE(library->Materials(0).Material().Texture().Disabled());
}

TEST_F(FreeFormTest, FileMaterialsMatchWithoutCaseTheLibraryExactly)
{
    library->Add().SetName("kiuas");
    form->SetMaterialLibrary(library);
    Load(File({Cube(0, "KIUAS")}, {{"kiuas", 10, 20, 30, ""}}));
    EXPECT_EQ(Group(0).MaterialName, "KIUAS");
    ASSERT_EQ(library->Count(), 2);
    EXPECT_EQ(library->Materials(1).Name(), "KIUAS");

    try {
        Load(File({Cube(0, "glass")}, {{"kiuas", 10, 20, 30, ""}}));
        FAIL();
    } catch (const E3DSError& e) {
        EXPECT_STREQ(e.what(), "Material \"glass\" of mesh \"cube\" is not defined in the file");
    }
}

TEST_F(FreeFormTest, ABrokenMaterialFailsOnlyWhenItOrOneAfterItIsLookedUp)
{
    using model::ChunkWriter;
    // Two materials; the first carries an unknown sub-chunk.
    auto file = [](const std::string& groupMaterial) {
        std::vector<uint8_t> bytes = File({Cube(0, groupMaterial)}, {{"bad", 1, 1, 1, ""}, {"good", 1, 1, 1, ""}});
        // Rename the first material's shading-percentage container 0xA041 into 0xA0FF.
        for (size_t i = 0; i + 1 < bytes.size(); ++i)
            if (bytes[i] == 0x41 && bytes[i + 1] == 0xA0) {
                bytes[i] = 0xFF;
                break;
            }
        return bytes;
    };
    EXPECT_THROW(Load(file("bad")), E3DSError);
    EXPECT_THROW(Load(file("good")), E3DSError);  // looked up after "bad"
    // Without any group naming a material, nothing is decoded.
    Mesh plain = Cube();
    std::vector<uint8_t> bytes = File({plain}, {{"bad", 1, 1, 1, ""}});
    for (size_t i = 0; i + 1 < bytes.size(); ++i)
        if (bytes[i] == 0x41 && bytes[i + 1] == 0xA0) bytes[i] = 0xFF;
    EXPECT_NO_THROW(Load(bytes));
}

TEST_F(FreeFormTest, TextureFilesAreFoundIgnoringCaseAndMayBeTolerated)
{
    const std::filesystem::path dir = std::filesystem::temp_directory_path() / ("sauno_mesh_" + std::to_string(getpid()));
    std::filesystem::create_directories(dir);
    const std::vector<uint8_t> bytes = File({Cube(0, "a")}, {{"a", 1, 1, 1, "IMAGE1.JPG"}});
    const std::string model = (dir / "room.3ds").string();
    std::ofstream(model, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
    std::ofstream(dir / "image1.jpg") << "not a picture";
    form->SetMaterialLibrary(library);
    EXPECT_THROW(form->LoadFromFile(model), Exception);  // found, but it does not decode
    form->TolerateMissingTextures = true;
    library->Delete(0);
    form->LoadFromFile(model);
    ASSERT_EQ(library->Count(), 1);
    EXPECT_TRUE(library->Materials(0).Material().Texture().Disabled());
    // A real picture under another case of its name is loaded, enabled and modulated.
    std::filesystem::copy_file(SAUNO_PICTURE_DIR "/kivet.jpg", dir / "image1.jpg",
                               std::filesystem::copy_options::overwrite_existing);
    form->TolerateMissingTextures = false;
    library->Delete(0);
    form->LoadFromFile(model);
    TTexture& texture = library->Materials(0).Material().Texture();
    EXPECT_FALSE(texture.Disabled());
    EXPECT_EQ(texture.TextureMode(), TTextureMode::tmModulate);
    EXPECT_EQ(dynamic_cast<TPersistentImage&>(texture.Image()).Picture().Width(), 907);
    std::filesystem::remove_all(dir);
}

// A picture format of the tests' own: "TPIC", then one byte each of width and height.
class TTestPicture : public TGraphic {
public:
    explicit TTestPicture(int width = 0, int height = 0) : width_(width), height_(height) {}
    std::string_view ClassName() const override { return "TTestPicture"; }
    int Width() const override { return width_; }
    int Height() const override { return height_; }
    void LoadFromData(std::span<const uint8_t>) override {}
    void SaveToData(std::vector<uint8_t>&) const override {}
    const TPixelRows& Pixels() override
    {
        rows_ = {width_, height_, 3, TChannelOrder::coRGB, std::vector<uint8_t>(size_t(width_) * size_t(height_) * 3, 9)};
        return rows_;
    }

private:
    int width_, height_;
    TPixelRows rows_;
};

TEST_F(FreeFormTest, ModelTexturesAreFoundThroughTheLibraryInEveryPictureFormat)
{
    namespace fs = std::filesystem;
    const fs::path dir = fs::temp_directory_path() / ("sauno_textures_" + std::to_string(getpid()));
    const fs::path pictures = dir / "pictures", models = dir / "models";
    fs::create_directories(pictures);
    fs::create_directories(models);
    fs::copy_file(SAUNO_PICTURE_DIR "/kivet.jpg", pictures / "stone.jpg");
    std::ofstream(pictures / "tiles.tpic", std::ios::binary) << "TPIC" << char(12) << char(5);
    RegisterPictureFileFormat({'T', 'P', 'I', 'C'}, [](std::span<const uint8_t> bytes) -> std::unique_ptr<TGraphic> {
        if (bytes.size() < 6) throw Exception("short test picture");
        return std::make_unique<TTestPicture>(bytes[4], bytes[5]);
    });
    const std::string model = (models / "room.3ds").string();
    auto write = [&](const std::string& texture) {
        const std::vector<uint8_t> bytes = File({Cube(0, "a")}, {{"a", 1, 1, 1, texture}});
        std::ofstream(model, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
    };
    form->SetMaterialLibrary(library);
    auto picture = [&]() -> TPicture& {
        TTexture& texture = library->Materials(0).Material().Texture();
        EXPECT_FALSE(texture.Disabled());
        return dynamic_cast<TPersistentImage&>(texture.Image()).Picture();
    };

    // The library's folders, where the name's letter case need not match.
    library->TexturePaths = "/no/such/folder;" + pictures.string();
    write("STONE.JPG");
    form->LoadFromFile(model);
    EXPECT_EQ(picture().Width(), 907);

    // A picture of any format the library reads.
    library->Delete(0);
    write("tiles.tpic");
    form->LoadFromFile(model);
    EXPECT_EQ(picture().Graphic()->ClassName(), "TTestPicture");
    EXPECT_EQ(picture().Width(), 12);

    // The library's handler may rewrite the name.
    library->Delete(0);
    library->TexturePaths.clear();
    std::string asked;
    library->OnTextureNeeded = [&](TMaterialLibrary&, std::string& name) {
        asked = name;
        if (name == "old.jpg") name = (pictures / "stone.jpg").string();
    };
    write("old.jpg");
    form->LoadFromFile(model);
    EXPECT_EQ(asked, "old.jpg");
    EXPECT_EQ(picture().Width(), 907);

    // Found nowhere: the shared file-opening routine's message with the model's name for it.
    library->Delete(0);
    write("nothere.jpg");
    try {
        form->LoadFromFile(model);
        FAIL() << "no error";
    } catch (const Exception& e) {
        EXPECT_STREQ(e.what(), "File not found: \"nothere.jpg\"");
    }
    // An installed stream provider is asked first, for a name no folder holds.
    library->Delete(0);
    std::vector<std::string> provided;
    SetStreamProvider([&](const std::string& name, TFileMode) -> std::unique_ptr<TStream> {
        provided.push_back(name);
        if (name != "packed.tpic") return nullptr;
        return std::make_unique<TMemoryStream>(std::vector<uint8_t>{'T', 'P', 'I', 'C', 7, 3});
    });
    write("packed.tpic");
    form->LoadFromFile(model);
    SetStreamProvider(nullptr);
    EXPECT_EQ(picture().Width(), 7);
    EXPECT_NE(std::find(provided.begin(), provided.end(), "packed.tpic"), provided.end());
    // A file of a format no one reads is as much an error.
    library->Delete(0);
    std::ofstream(models / "notes.txt") << "plain text";
    write("notes.txt");
    EXPECT_THROW(form->LoadFromFile(model), Exception);
    fs::remove_all(dir);
}

TEST_F(FreeFormTest, TheFormatIsChosenByTheLowerCasedExtension)
{
    Load(File({Cube()}), "model.3DS");
    EXPECT_EQ(form->MeshObjects().Count(), 1);
    Load(File({Cube()}), "model.prj");
    EXPECT_EQ(form->MeshObjects().Count(), 1);
    try {
        Load(File({Cube()}), "model.xyz");
        FAIL();
    } catch (const EInvalidVectorFile& e) {
        EXPECT_STREQ(e.what(),
                     "Unknown file extension (xyz), maybe you forgot to add the support unit to your uses? (FileXYZ?)");
    }
    EXPECT_EQ(form->MeshObjects().Count(), 0);  // cleared before the format was looked for
    // The latest registration wins.
    int made = 0;
    RegisterVectorFileFormat("XYZ", "test", [&made](TBaseMesh& owner) {
        ++made;
        return std::unique_ptr<TVectorFile>(std::make_unique<T3DSVectorFile>(owner));
    });
    Load(File({Cube()}), "model.xyz");
    EXPECT_EQ(made, 1);
    EXPECT_EQ(form->MeshObjects().Count(), 1);
}

TEST_F(FreeFormTest, AMissingFileKeepsWhatWasLoaded)
{
    Load(File({Cube()}));
    try {
        form->LoadFromFile("no/such/sauna2.3ds");
        FAIL();
    } catch (const Exception& e) {
        EXPECT_STREQ(e.what(), "File not found: \"no/such/sauna2.3ds\"");
    }
    EXPECT_EQ(form->MeshObjects().Count(), 1);
    form->LoadFromFile("");  // nothing at all
    EXPECT_EQ(form->MeshObjects().Count(), 1);
}

TEST_F(FreeFormTest, AutoCenteringMovesOnlyTheChosenAxes)
{
    Mesh m;
    m.name = "span";
    m.vertices = {{1, 2, 3}, {5, 6, 7}, {1, 4, 9}};
    m.faces = {{0, 1, 2, 0, ""}};
    form->AutoCentering = macCenterY;
    Load(File({m}));
    EXPECT_EQ(Mesh0().Vertices[0], (TVector3{1, -2, 3}));
    EXPECT_EQ(Mesh0().Vertices[1], (TVector3{5, 2, 7}));
    form->AutoCentering = macUseBarycenter;
    Load(File({m}));
    EXPECT_TRUE(Near(Mesh0().Vertices[0], TVector3{-1.3333333f, -2, -3.3333333f}));
    EXPECT_EQ(form->HalfExtents().y, 2.0f);
}

TEST_F(FreeFormTest, SplittingBeyondSixteenBitIndicesFails)
{
    Mesh m;
    m.name = "fan";
    m.vertices = {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}};
    for (int i = 0; i < 21846; ++i) m.faces.push_back({0, 1, 2, 0, ""});
    try {
        Load(File({m}));
        FAIL();
    } catch (const E3DSError& e) {
        EXPECT_NE(std::string(e.what()).find("mesh \"fan\" has more than 65536 vertices after splitting"),
                  std::string::npos);
    }
    // What was made so far stays.
    EXPECT_EQ(form->MeshObjects().Count(), 1);
}

TEST_F(FreeFormTest, TriangleCountsFollowTheModes)
{
    Load(File({Cube()}));
    EXPECT_EQ(form->TriangleCount(), 12);
    auto* strip = new TMeshObject(&form->MeshObjects());
    strip->Mode = momTriangleStrip;
    strip->Vertices.assign(5, TVector3{});
    EXPECT_EQ(form->TriangleCount(), 15);
    auto* fan = new TFGVertexIndexList(Mesh0().FaceGroups());
    fan->Mode = fgmmTriangleFan;
    fan->VertexIndices = {0, 1, 2, 3};
    EXPECT_EQ(form->TriangleCount(), 17);
    delete strip;  // leaves its list
    EXPECT_EQ(form->MeshObjects().Count(), 1);
}

}  // namespace
}  // namespace sauno
