#include <gtest/gtest.h>

#include <GL/gl.h>

#include <memory>

#include "engine/context.h"
#include "engine/statecache.h"
#include "material/material.h"
#include "material/texture.h"
#include "platform/exception.h"
#include "platform/window.h"

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
