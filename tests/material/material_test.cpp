#include <gtest/gtest.h>

#include <GL/gl.h>

#include <memory>
#include <string>

#include "engine/context.h"
#include "engine/statecache.h"
#include "material/material.h"
#include "material/material_classes.h"
#include "material/texture.h"
#include "platform/exception.h"
#include "platform/window.h"
#include "runtime/reader.h"

using namespace sauno;

TEST(MaterialLibrary, NamesAreExactAndUnique)
{
    TComponent owner(nullptr);
    auto* library = new TMaterialLibrary(&owner);
    TLibMaterial& first = library->Add();
    EXPECT_EQ(first.Name(), "LibMaterial");
    EXPECT_EQ(library->Add().Name(), "LibMaterial1");
    first.SetName("kivet");
    TLibMaterial& second = library->Add();
    second.SetName("kivet");
    EXPECT_EQ(second.Name(), "kivet1");
    EXPECT_EQ(library->MaterialByName("kivet"), &first);
    EXPECT_EQ(library->MaterialByName("KIVET"), nullptr);  // letter case counts
    EXPECT_EQ(library->MaterialByName("kivet1"), &second);
    EXPECT_EQ(TMaterialLibrary::MaterialByName(nullptr, "kivet"), nullptr);
    EXPECT_EQ(MaterialNameHash("ab"), ((2 * 2 + 'a') * 2 + 'b'));
}

TEST(MaterialLibrary, ReferencesFollowTheLibraryAndRefuseCycles)
{
    TComponent owner(nullptr);
    auto* library = new TMaterialLibrary(&owner);
    TLibMaterial& stone = library->Add();
    stone.SetName("kivet");
    TMaterial material(nullptr);
    material.SetMaterialLibrary(library);
    material.SetLibMaterialName("kivet");
    EXPECT_EQ(material.LibMaterial(), &stone);
    ASSERT_EQ(stone.Users().size(), 1u);
    material.SetLibMaterialName("missing");  // its own settings then
    EXPECT_EQ(material.LibMaterial(), nullptr);
    EXPECT_TRUE(stone.Users().empty());

    // Seventeen entries each referring to the next: more than fifteen steps is a cycle.
    std::vector<TLibMaterial*> chain;
    for (int i = 0; i < 17; ++i) {
        TLibMaterial& m = library->Add();
        m.SetName("m" + std::to_string(i));
        chain.push_back(&m);
    }
    for (int i = 0; i < 16; ++i) {
        chain[size_t(i)]->Material().SetMaterialLibrary(library);
        if (i > 0) chain[size_t(i)]->Material().SetLibMaterialName("m" + std::to_string(i + 1));
    }
    chain[0]->Material().SetLibMaterialName("m1");  // 16 steps to the end
    material.SetLibMaterialName("m16");
    EXPECT_THROW(material.SetLibMaterialName("m0"), Exception);

    // A library material that goes away leaves its users with their own settings.
    material.SetLibMaterialName("kivet");
    library->Delete(0);
    EXPECT_EQ(material.LibMaterial(), nullptr);
    EXPECT_TRUE(material.LibMaterialName().empty());
}

// The game destroys its library before the free-form whose material refers to it, and the other
// way round must hold too: whichever goes first, the other is left without a dangling reference.
TEST(MaterialLibrary, ALibraryAndItsReferringMaterialsMayGoInEitherOrder)
{
    auto library = std::make_unique<TMaterialLibrary>(nullptr);
    library->Add().SetName("kivet");
    auto material = std::make_unique<TMaterial>(nullptr);
    material->SetMaterialLibrary(library.get());
    material->SetLibMaterialName("kivet");
    TMaterial copy(nullptr);
    copy.Assign(*material);  // refers by copying
    auto unnamed = std::make_unique<TMaterial>(nullptr);
    unnamed->SetMaterialLibrary(library.get());  // no entry of its own, still the library's

    library.reset();
    for (TMaterial* m : {material.get(), &copy, unnamed.get()}) {
        EXPECT_EQ(m->MaterialLibrary(), nullptr);
        EXPECT_EQ(m->LibMaterial(), nullptr);
        m->SetLibMaterialName("kivet");  // a later library call finds no library
        EXPECT_EQ(m->LibMaterial(), nullptr);
    }

    // A material that goes first leaves the library, which then has no one to tell.
    auto second = std::make_unique<TMaterialLibrary>(nullptr);
    second->Add().SetName("lauteet");
    material->SetMaterialLibrary(second.get());
    unnamed->SetMaterialLibrary(second.get());
    unnamed->SetMaterialLibrary(nullptr);
    material.reset();
    second.reset();
    EXPECT_EQ(unnamed->MaterialLibrary(), nullptr);
}

TEST(MaterialLibrary, TheTextureMatrixScalesThenOffsets)
{
    TComponent owner(nullptr);
    auto* library = new TMaterialLibrary(&owner);
    TLibMaterial& m = library->Add();
    EXPECT_TRUE(m.TextureMatrixIsIdentity());
    m.TextureScale().SetVector(2, 3, 1, 0);
    m.TextureOffset().SetVector(0.5f, 0.25f, 0, 0);
    ASSERT_FALSE(m.TextureMatrixIsIdentity());
    TVector4 st = Transform({1, 1, 0, 1}, m.TextureMatrix());
    EXPECT_FLOAT_EQ(st.x, 2.5f);
    EXPECT_FLOAT_EQ(st.y, 3.25f);
}

namespace {

class MaterialApply : public ::testing::Test {
protected:
    void SetUp() override
    {
        platform::InitVideo();
        window = std::make_unique<platform::Window>("material", 0, 0, 16, 16, platform::GLPixelFormat{},
                                                    platform::WindowStyle::Normal);
        context = GLContextManager().NewContext();
        context->CreateOnSurface(*window);
        context->Activate();
        rci.stateCache = &cache;
        rci.bufferFaceCull = true;
        cache.ResetForPass();
    }
    void TearDown() override
    {
        context->Deactivate();
        context.reset();
        window.reset();
    }
    std::unique_ptr<platform::Window> window;
    std::unique_ptr<TContext> context;
    TStateCache cache;
    TRenderContextInfo rci;
};

}  // namespace

TEST_F(MaterialApply, LitFacesGetTheirColoursUnlitOnlyTheDiffuseAsColour)
{
    TMaterial material(nullptr);
    material.FrontProperties().Diffuse().SetColor({0.25f, 0.5f, 0.75f, 1});
    cache.Force(TGLState::stLighting, true);
    material.Apply(rci);
    GLfloat diffuse[4];
    glGetMaterialfv(GL_FRONT, GL_DIFFUSE, diffuse);
    EXPECT_FLOAT_EQ(diffuse[1], 0.5f);
    material.Revert(rci);

    cache.Force(TGLState::stLighting, false);
    glColor4f(0, 0, 0, 0);
    material.Apply(rci);
    GLfloat colour[4];
    glGetFloatv(GL_CURRENT_COLOR, colour);
    EXPECT_FLOAT_EQ(colour[2], 0.75f);
    EXPECT_FALSE(material.IsBlended());
}

TEST_F(MaterialApply, AlphaTestModesSetAndRestoreTheAlphaFunction)
{
    TMaterial material(nullptr);
    material.SetBlendingMode(TBlendingMode::bmAlphaTest50);
    material.Apply(rci);
    GLint function = 0;
    GLfloat reference = 0;
    glGetIntegerv(GL_ALPHA_TEST_FUNC, &function);
    glGetFloatv(GL_ALPHA_TEST_REF, &reference);
    EXPECT_EQ(function, GL_GEQUAL);
    EXPECT_FLOAT_EQ(reference, 0.5f);
    EXPECT_TRUE(cache.IsEnabled(TGLState::stAlphaTest));
    EXPECT_FALSE(material.Revert(rci));
    glGetIntegerv(GL_ALPHA_TEST_FUNC, &function);
    glGetFloatv(GL_ALPHA_TEST_REF, &reference);
    EXPECT_EQ(function, GL_GREATER);
    EXPECT_FLOAT_EQ(reference, 0.0f);

    material.SetBlendingMode(TBlendingMode::bmTransparency);
    EXPECT_TRUE(material.IsBlended());
    material.Apply(rci);
    EXPECT_TRUE(glIsEnabled(GL_BLEND));
}

TEST_F(MaterialApply, NoLightingAndIgnoreFogCountAndComeBack)
{
    TMaterial material(nullptr);
    material.SetMaterialOptions(moNoLighting | moIgnoreFog);
    cache.Force(TGLState::stLighting, true);
    cache.Force(TGLState::stFog, true);
    material.Apply(rci);
    EXPECT_FALSE(glIsEnabled(GL_LIGHTING));
    EXPECT_FALSE(glIsEnabled(GL_FOG));
    EXPECT_EQ(rci.lightingDisabledCounter, 1);
    material.Revert(rci);
    EXPECT_TRUE(glIsEnabled(GL_LIGHTING));
    EXPECT_TRUE(glIsEnabled(GL_FOG));
    EXPECT_EQ(rci.fogDisabledCounter, 0);
}

TEST_F(MaterialApply, FaceCullingFollowsTheMaterialAndTheBuffer)
{
    TMaterial material(nullptr);
    cache.Force(TGLState::stCullFace, true);
    material.SetFaceCulling(TFaceCulling::fcNoCull);
    material.Apply(rci);
    EXPECT_FALSE(glIsEnabled(GL_CULL_FACE));
    EXPECT_TRUE(material.HasBackProperties());
    material.SetFaceCulling(TFaceCulling::fcBufferDefault);
    material.Apply(rci);  // the buffer culls
    EXPECT_TRUE(glIsEnabled(GL_CULL_FACE));
}

TEST_F(MaterialApply, ASecondMaterialsTextureGoesOnUnitOne)
{
    TComponent owner(nullptr);
    auto* library = new TMaterialLibrary(&owner);
    TLibMaterial& base = library->Add();
    base.SetName("base");
    TLibMaterial& overlay = library->Add();
    overlay.SetName("overlay");
    for (TLibMaterial* m : {&base, &overlay}) {
        m->Material().Texture().SetImageClassName("TBlankImage");
        m->Material().Texture().SetMinFilter(TMinFilter::miLinear);
        m->Material().Texture().SetDisabled(false);
    }
    base.SetTexture2Name("overlay");
    base.Apply(rci);
    glActiveTexture(GL_TEXTURE1);
    EXPECT_TRUE(glIsEnabled(GL_TEXTURE_2D));
    GLint bound = 0;
    glGetIntegerv(GL_TEXTURE_BINDING_2D, &bound);
    EXPECT_EQ(GLuint(bound), overlay.Material().Texture().Handle());
    glActiveTexture(GL_TEXTURE0);
    EXPECT_EQ(TexCoordRouting(), TTexCoordRouting::tcrDual);
    EXPECT_FALSE(base.Revert(rci));
    glActiveTexture(GL_TEXTURE1);
    EXPECT_FALSE(glIsEnabled(GL_TEXTURE_2D));
    glActiveTexture(GL_TEXTURE0);
    EXPECT_EQ(TexCoordRouting(), TTexCoordRouting::tcrMain);
    ASSERT_EQ(overlay.Users().size(), 1u);  // the base is told when the overlay changes

    // A name the library lacks is cleared at the first apply.
    base.SetTexture2Name("missing");
    base.Apply(rci);
    base.Revert(rci);
    EXPECT_TRUE(base.Texture2Name().empty());
}

TEST_F(MaterialApply, PictureFilesAreFoundInTheLibrarysFolders)
{
    TComponent owner(nullptr);
    auto* library = new TMaterialLibrary(&owner);
    library->TexturePaths = " /no/such/folder ; " SAUNO_PICTURE_DIR " ";
    std::string asked;
    library->OnTextureNeeded = [&](TMaterialLibrary&, std::string& name) {
        asked = name;
        name = "kiuas2.jpg";  // the application may rewrite the name
    };
    TLibMaterial& m = library->Add();
    TTexture& texture = m.Material().Texture();
    texture.SetImageClassName("TPicFileImage");
    static_cast<TPicFileImage&>(texture.Image()).SetPictureFileName("KIUAS2.JPG");
    texture.SetDisabled(false);
    texture.EnsureTexture();
    EXPECT_EQ(asked, "KIUAS2.JPG");
    EXPECT_EQ(texture.TexWidth(), 512);
}

TEST(MaterialCopy, AMaterialTakesEverythingAndDropsWhatTheSourceLacks)
{
    TComponent owner(nullptr);
    auto* library = new TMaterialLibrary(&owner);
    library->Add().SetName("kivet");
    TMaterial source(nullptr);
    source.FrontProperties().Diffuse().SetColor({0.1f, 0.2f, 0.3f, 1});
    source.FrontProperties().SetShininess(7);
    source.BackProperties().Emission().SetColor({1, 0, 0, 1});
    source.SetBlendingMode(TBlendingMode::bmAdditive);
    source.SetMaterialOptions(moIgnoreFog);
    source.SetFaceCulling(TFaceCulling::fcNoCull);
    source.Texture().SetTextureMode(TTextureMode::tmBlend);
    source.Texture().MappingTCoordinates().SetVector(0, 3, 0, 0);
    source.SetMaterialLibrary(library);
    source.SetLibMaterialName("kivet");

    // The copy's owner hears of it once.
    TUpdateAbleObject holder(nullptr);
    TMaterial copy(&holder);
    int changes = 0;
    copy.OnChangeReported = [&](TUpdateAbleObject*) { ++changes; };
    copy.Assign(source);
    EXPECT_EQ(copy.FrontProperties().Diffuse().Color(), source.FrontProperties().Diffuse().Color());
    EXPECT_EQ(copy.FrontProperties().Shininess(), 7);
    ASSERT_TRUE(copy.HasBackProperties());
    EXPECT_EQ(copy.BackProperties().Emission().Color(), (TVector4{1, 0, 0, 1}));
    EXPECT_EQ(copy.BlendingMode(), TBlendingMode::bmAdditive);
    EXPECT_EQ(copy.MaterialOptions(), moIgnoreFog);
    EXPECT_EQ(copy.FaceCulling(), TFaceCulling::fcNoCull);
    ASSERT_TRUE(copy.HasTexture());
    EXPECT_EQ(copy.Texture().TextureMode(), TTextureMode::tmBlend);
    EXPECT_EQ(copy.Texture().MappingTCoordinates().Y(), 3.0f);
    EXPECT_EQ(copy.MaterialLibrary(), library);
    EXPECT_EQ(copy.LibMaterial(), library->MaterialByName("kivet"));
    EXPECT_EQ(library->MaterialByName("kivet")->Users().size(), 2u);
    EXPECT_EQ(changes, 1);

    // A plain source takes the copy's back faces and texture away.
    TMaterial plain(nullptr);
    copy.Assign(plain);
    EXPECT_FALSE(copy.HasBackProperties());
    EXPECT_FALSE(copy.HasTexture());
    EXPECT_EQ(copy.LibMaterial(), nullptr);
    EXPECT_EQ(library->MaterialByName("kivet")->Users().size(), 1u);
}

TEST(MaterialCopy, ALibraryMaterialCopiesItsTextureMatrixAndSecondTextureUnderAUniqueName)
{
    TComponent owner(nullptr);
    auto* library = new TMaterialLibrary(&owner);
    TLibMaterial& stone = library->Add();
    stone.SetName("kivet");
    stone.TextureScale().SetVector(2, 2, 1, 0);
    stone.TextureOffset().SetVector(0.5f, 0, 0, 0);
    stone.SetTexture2Name("seina1");
    stone.Material().FrontProperties().Ambient().SetColor({0, 1, 0, 1});
    TLibMaterial& copy = library->Add();
    copy.Assign(stone);
    EXPECT_EQ(copy.Name(), "kivet1");
    EXPECT_EQ(library->MaterialByName("kivet1"), &copy) << "the hash follows the new name";
    EXPECT_EQ(copy.TextureScale().AsVector(), (TVector4{2, 2, 1, 0}));
    EXPECT_EQ(copy.TextureOffset().X(), 0.5f);
    EXPECT_FALSE(copy.TextureMatrixIsIdentity());
    EXPECT_EQ(copy.TextureMatrix().rows[3].x, 0.5f);
    EXPECT_EQ(copy.Texture2Name(), "seina1");
    EXPECT_EQ(copy.Material().FrontProperties().Ambient().Color(), (TVector4{0, 1, 0, 1}));
}

TEST(MaterialDescription, MappingPlanesAndBlankImageSizesAreRead)
{
    RegisterMaterialClasses();
    ClassRegistry::Instance().Register("TMaterialRoot", "TComponent", nullptr);
    TComponent root(nullptr);
    TReader reader(root);
    reader.ReadRoot(ParseDescription(R"(TMaterialRoot root {
  TMaterialLibrary lib1 {
    Materials = ( {
      Name = "planes"
      Material.Texture.MappingMode = tmmObjectLinear
      Material.Texture.MappingSCoordinates.Coordinates = hex"0000003F 00000000 00000000 0000803F"
      Material.Texture.MappingTCoordinates.Coordinates = hex"00000000 00000040 00000000 00000000"
      Material.Texture.ImageClassName = "TBlankImage"
      Material.Texture.Image.Width = 32
      Material.Texture.Image.Height = 8
    } )
  }
})"));
    auto* library = dynamic_cast<TMaterialLibrary*>(root.FindComponent("lib1"));
    ASSERT_NE(library, nullptr);
    TTexture& texture = library->MaterialByName("planes")->Material().Texture();
    EXPECT_EQ(texture.MappingSCoordinates().AsVector(), (TVector4{0.5f, 0, 0, 1}));
    EXPECT_EQ(texture.MappingTCoordinates().AsVector(), (TVector4{0, 2, 0, 0}));
    auto& blank = dynamic_cast<TBlankImage&>(texture.Image());
    EXPECT_EQ(blank.Width(), 32);
    EXPECT_EQ(blank.Height(), 8);

    for (const char* bad : {"Material.Texture.Image.Width = 8",  // a picture image has no size
                            "Material.Texture.MappingSCoordinates.Coordinates = hex\"00000000\"",
                            "Material.Texture.ImageClassName = \"TBlankImage\" Material.Texture.Image.Height = -1"}) {
        TComponent other(nullptr);
        TReader again(other);
        EXPECT_THROW(again.ReadRoot(ParseDescription(std::string("TMaterialRoot r { TMaterialLibrary l { Materials = ( { ") +
                                                     bad + " } ) } }")),
                     Exception)
            << bad;
    }
}

TEST_F(MaterialApply, ACopiedLibraryMaterialDrawsTheSamePicture)
{
    TComponent owner(nullptr);
    auto* library = new TMaterialLibrary(&owner);
    library->TexturePaths = SAUNO_PICTURE_DIR;
    TLibMaterial& stove = library->Add();
    stove.SetName("kiuas2");
    TTexture& texture = stove.Material().Texture();
    texture.SetImageClassName("TPicFileImage");
    static_cast<TPicFileImage&>(texture.Image()).SetPictureFileName("kiuas2.jpg");
    texture.SetMappingMode(TTextureMappingMode::tmmObjectLinear);
    texture.MappingSCoordinates().SetVector(0.5f, 0, 0, 0);
    texture.SetDisabled(false);
    TLibMaterial& copy = library->Add();
    copy.Assign(stove);
    TTexture& copied = copy.Material().Texture();
    EXPECT_FALSE(copied.Disabled());
    EXPECT_EQ(copied.MappingMode(), TTextureMappingMode::tmmObjectLinear);
    EXPECT_EQ(copied.MappingSCoordinates().X(), 0.5f);
    copy.Apply(rci);
    EXPECT_EQ(copied.TexWidth(), 512) << "the picture came along";
    GLfloat plane[4] = {};
    glGetTexGenfv(GL_S, GL_OBJECT_PLANE, plane);
    EXPECT_EQ(plane[0], 0.5f);
    copy.Revert(rci);

    // A texture dropped and made again still finds its pictures in the library's folders.
    copy.Material().SetTexture(nullptr);
    TTexture& again = copy.Material().Texture();
    again.SetImageClassName("TPicFileImage");
    static_cast<TPicFileImage&>(again.Image()).SetPictureFileName("kiuas2.jpg");
    again.SetDisabled(false);
    EXPECT_NO_THROW(again.EnsureTexture());
    EXPECT_EQ(again.TexWidth(), 512);
}

// Every row of the culling table: the cached state, the material's choice and the buffer's.
TEST_F(MaterialApply, FaceCullingTableRows)
{
    const struct {
        bool on;
        TFaceCulling culling;
        bool bufferCulls, onAfter, backFaces;
    } rows[] = {
        {true, TFaceCulling::fcBufferDefault, true, true, false},
        {true, TFaceCulling::fcBufferDefault, false, false, true},
        {true, TFaceCulling::fcCull, false, true, false},
        {true, TFaceCulling::fcNoCull, true, false, true},
        {false, TFaceCulling::fcBufferDefault, true, true, false},
        {false, TFaceCulling::fcBufferDefault, false, false, true},
        {false, TFaceCulling::fcCull, false, true, false},
        {false, TFaceCulling::fcNoCull, true, false, true},
    };
    cache.Force(TGLState::stLighting, true);
    for (const auto& row : rows) {
        const std::string name = std::string(row.on ? "on" : "off") + " culling " +
                                 std::to_string(int(row.culling)) + (row.bufferCulls ? " buffer culls" : "");
        TMaterial material(nullptr);
        material.SetFaceCulling(row.culling);
        material.FrontProperties().Ambient().SetColor({0, 0, 1, 1});
        rci.bufferFaceCull = row.bufferCulls;
        cache.Force(TGLState::stCullFace, row.on);
        // The cache sends its defaults again; then a grey back side shows whether it was set.
        cache.ResetForPass();
        const GLfloat grey[4] = {0.5f, 0.5f, 0.5f, 1};
        glMaterialfv(GL_BACK, GL_AMBIENT, grey);
        material.Apply(rci);
        EXPECT_EQ(bool(glIsEnabled(GL_CULL_FACE)), row.onAfter) << name;
        EXPECT_EQ(material.HasBackProperties(), row.backFaces) << name;
        GLfloat back[4] = {};
        glGetMaterialfv(GL_BACK, GL_AMBIENT, back);
        // Back faces get the lit default colours of a fresh back side.
        EXPECT_FLOAT_EQ(back[0], row.backFaces ? 0.2f : 0.5f) << name;
        material.Revert(rci);
    }
}

TEST(MaterialLibrary, AChainOfFifteenReferencesIsAcceptedSixteenAreACycle)
{
    TComponent owner(nullptr);
    auto* library = new TMaterialLibrary(&owner);
    std::vector<TLibMaterial*> chain;
    for (int i = 0; i <= 16; ++i) {
        TLibMaterial& m = library->Add();
        m.SetName("m" + std::to_string(i));
        m.Material().SetMaterialLibrary(library);
        chain.push_back(&m);
    }
    for (int i = 16; i >= 2; --i) chain[size_t(i) - 1]->Material().SetLibMaterialName("m" + std::to_string(i));
    // m1 -> m2 -> ... -> m16: fifteen steps.
    TMaterial material(nullptr);
    material.SetMaterialLibrary(library);
    EXPECT_NO_THROW(material.SetLibMaterialName("m1"));
    EXPECT_EQ(material.LibMaterial(), chain[1]);
    try {
        chain[0]->Material().SetLibMaterialName("m1");  // m0 takes part only when named
        material.SetLibMaterialName("m0");
        FAIL() << "sixteen steps were taken";
    } catch (const Exception& e) {
        EXPECT_STREQ(e.what(), "Error: Cyclic material reference detected!");
    }
    EXPECT_EQ(material.LibMaterial(), chain[1]) << "a refused name changes nothing";
    EXPECT_EQ(material.LibMaterialName(), "m1");
}

TEST_F(MaterialApply, AReferenceToAMissingNameAppliesItsOwnColoursBlendingAndTexture)
{
    TComponent owner(nullptr);
    auto* library = new TMaterialLibrary(&owner);
    library->Add().SetName("kivet");
    TMaterial material(nullptr);
    material.FrontProperties().Diffuse().SetColor({0.25f, 0.5f, 0.75f, 1});
    material.SetBlendingMode(TBlendingMode::bmTransparency);
    material.Texture().SetImageClassName("TBlankImage");
    material.Texture().SetMinFilter(TMinFilter::miLinear);
    material.Texture().SetDisabled(false);
    material.SetMaterialLibrary(library);
    material.SetLibMaterialName("kivet");
    material.SetLibMaterialName("Kivet");  // letter case counts: no such entry
    ASSERT_EQ(material.LibMaterial(), nullptr);
    cache.Force(TGLState::stLighting, true);
    material.Apply(rci);
    GLfloat diffuse[4];
    glGetMaterialfv(GL_FRONT, GL_DIFFUSE, diffuse);
    EXPECT_FLOAT_EQ(diffuse[2], 0.75f);
    EXPECT_TRUE(glIsEnabled(GL_BLEND));
    GLint destination = 0;
    glGetIntegerv(GL_BLEND_DST, &destination);
    EXPECT_EQ(destination, GL_ONE_MINUS_SRC_ALPHA);
    EXPECT_TRUE(glIsEnabled(GL_TEXTURE_2D));
    EXPECT_NE(material.Texture().Handle(), 0u);
    EXPECT_EQ(cache.BoundTexture(0), material.Texture().Handle());
    EXPECT_TRUE(material.IsBlended());
    material.Revert(rci);
    EXPECT_FALSE(glIsEnabled(GL_TEXTURE_2D));
}

// A library material with an offset or a scale loads its texture matrix on apply, while its
// texture is enabled, and puts the identity back on revert; a disabled texture leaves it.
TEST_F(MaterialApply, TheTextureMatrixIsLoadedOnApplyAndResetOnRevert)
{
    TComponent owner(nullptr);
    auto* library = new TMaterialLibrary(&owner);
    TLibMaterial& m = library->Add();
    m.SetName("stone");
    m.Material().Texture().SetImageClassName("TBlankImage");
    m.Material().Texture().SetMinFilter(TMinFilter::miLinear);
    m.Material().Texture().SetDisabled(false);
    m.TextureScale().SetVector(2, 3, 1, 0);
    m.TextureOffset().SetVector(0.5f, 0.25f, 0, 0);
    auto textureMatrix = [] {
        GLfloat values[16];
        glActiveTexture(GL_TEXTURE0);
        glGetFloatv(GL_TEXTURE_MATRIX, values);
        return std::vector<GLfloat>(values, values + 16);
    };
    const std::vector<GLfloat> identity = textureMatrix();
    ASSERT_EQ(identity, (std::vector<GLfloat>{1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1}));
    m.Apply(rci);
    const std::vector<GLfloat> applied = textureMatrix();
    EXPECT_EQ(applied, (std::vector<GLfloat>{2, 0, 0, 0, 0, 3, 0, 0, 0, 0, 1, 0, 0.5f, 0.25f, 0, 1}));
    m.Revert(rci);
    EXPECT_EQ(textureMatrix(), identity);

    m.Material().Texture().SetDisabled(true);
    m.Apply(rci);
    EXPECT_EQ(textureMatrix(), identity);
    m.Revert(rci);
    EXPECT_EQ(textureMatrix(), identity);
}
