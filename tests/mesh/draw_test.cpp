// Drawing on real GL: consecutive face groups of one material share one apply, and mesh
// objects without vertices draw nothing.
#include <dlfcn.h>
#include <gtest/gtest.h>

#include "engine/statecache.h"
#include "mesh/basemesh.h"
#include "engine/context.h"
#include "engine/scene.h"
#include "platform/window.h"

namespace {
int textureEnvironmentColours = 0;
}

// Every texture apply sets its environment colour once: counting those counts the applies.
extern "C" void GLAPIENTRY glTexEnvfv(GLenum target, GLenum pname, const GLfloat* params)
{
    using Real = void (*)(GLenum, GLenum, const GLfloat*);
    static auto real = reinterpret_cast<Real>(dlsym(RTLD_NEXT, "glTexEnvfv"));
    if (pname == GL_TEXTURE_ENV_COLOR) ++textureEnvironmentColours;
    real(target, pname, params);
}

namespace sauno {
namespace {

class MeshDrawTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        platform::InitVideo();
        window = std::make_unique<platform::Window>("mesh", 0, 0, 32, 32, platform::GLPixelFormat{},
                                                    platform::WindowStyle::Normal);
        context = GLContextManager().NewContext();
        context->CreateOnSurface(*window);
        context->Activate();
    }
    void TearDown() override
    {
        owner.DestroyComponents();  // their textures go while the context is current
        context->Deactivate();
        context.reset();
        window.reset();
    }

    std::unique_ptr<platform::Window> window;
    std::unique_ptr<TContext> context;
    TComponent owner{nullptr};
    TFreeForm* form = new TFreeForm(&owner);
    TMaterialLibrary* library = new TMaterialLibrary(&owner);
    TStateCache cache;

    TMeshObject& Triangles(const std::vector<std::string>& groups)
    {
        auto* mesh = new TMeshObject(&form->MeshObjects());
        mesh->Mode = momFaceGroups;
        mesh->Vertices = {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}};
        mesh->Normals.assign(3, TVector3{0, 0, 1});
        mesh->TexCoords.assign(3, TVector3{});
        for (const std::string& name : groups) {
            auto* g = new TFGVertexIndexList(mesh->FaceGroups());
            g->MaterialName = name;
            g->VertexIndices = {0, 1, 2};
        }
        return *mesh;
    }
    void Draw()
    {
        TRenderContextInfo rci;
        rci.stateCache = &cache;
        rci.drawDirectly = true;
        textureEnvironmentColours = 0;
        form->DrawContent(rci, true, false);
        EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
    }
};

TEST_F(MeshDrawTest, ConsecutiveGroupsOfOneMaterialShareOneApply)
{
    for (const char* name : {"a", "b"}) {
        TLibMaterial& m = library->Add();
        m.SetName(name);
        m.Material().Texture().SetDisabled(false);
    }
    form->SetMaterialLibrary(library);
    Triangles({"a", "a", "b", "a"});
    Draw();
    EXPECT_EQ(textureEnvironmentColours, 3);
    // Without mesh materials every group draws under the free-form's own material.
    form->SetUseMeshMaterials(false);
    Draw();
    EXPECT_EQ(textureEnvironmentColours, 0);
    EXPECT_FALSE(form->MaterialCachesPrepared());
}

TEST_F(MeshDrawTest, RenamingALibraryMaterialWaitsForAStructureChange)
{
    TLibMaterial& a = library->Add();
    a.SetName("a");
    a.Material().Texture().SetDisabled(false);
    form->SetMaterialLibrary(library);
    Triangles({"a"});
    Draw();
    EXPECT_EQ(textureEnvironmentColours, 1);
    a.SetName("renamed");
    Draw();
    EXPECT_EQ(textureEnvironmentColours, 1);  // the cache still holds it
    form->SetMaterialLibrary(nullptr);
    form->SetMaterialLibrary(library);
    Draw();
    EXPECT_EQ(textureEnvironmentColours, 0);
}

TEST_F(MeshDrawTest, EmptyAndOutOfRangeGeometryDrawsNothing)
{
    auto* empty = new TMeshObject(&form->MeshObjects());
    empty->Mode = momTriangles;
    TMeshObject& bad = Triangles({""});
    dynamic_cast<TFGVertexIndexList&>(bad.FaceGroups().Items(0)).VertexIndices = {0, 1, 7};
    bad.Normals.resize(1);  // shorter than the vertices: not handed to GL
    Draw();
    GLint enabled = 0;
    glGetIntegerv(GL_VERTEX_ARRAY, &enabled);
    EXPECT_EQ(enabled, 0);
}

// Leaving a library destroys the handles made for it: the display list and the GL textures
// of both libraries' materials, which are built again when next drawn.
TEST_F(MeshDrawTest, LeavingALibraryReleasesTheTexturesOfBothLibraries)
{
    auto* lightmaps = new TMaterialLibrary(&owner);
    for (TMaterialLibrary* l : {library, lightmaps}) {
        TLibMaterial& m = l->Add();
        m.SetName("a");
        m.Material().Texture().SetImageClassName("TBlankImage");
        m.Material().Texture().SetDisabled(false);
    }
    form->SetMaterialLibrary(library);
    form->SetLightmapLibrary(lightmaps);
    Triangles({"a"});
    Draw();
    TTexture& texture = library->Materials(0).Material().Texture();
    TTexture& lightmap = lightmaps->Materials(0).Material().Texture();
    lightmap.EnsureTexture();
    ASSERT_NE(texture.Handle(), 0u);
    ASSERT_NE(lightmap.Handle(), 0u);
    const GLuint name = texture.Handle();

    form->SetLightmapLibrary(nullptr);
    EXPECT_EQ(texture.Handle(), 0u);
    EXPECT_EQ(lightmap.Handle(), 0u);
    EXPECT_FALSE(glIsTexture(name));
    Draw();
    EXPECT_NE(texture.Handle(), 0u) << "drawn again, the texture is built again";
    EXPECT_EQ(texture.TexWidth(), 256);

    // Moved into another scene, the mesh drops its list and the textures with it.
    Draw();
    ASSERT_NE(texture.Handle(), 0u);
    auto* other = new TScene(&owner);
    other->Objects().InsertChild(0, form);
    EXPECT_EQ(texture.Handle(), 0u);

    // A library that is destroyed is let go without touching its textures.
    delete library;
    library = nullptr;
    EXPECT_EQ(form->MaterialLibrary(), nullptr);
    Draw();
}

}  // namespace
}  // namespace sauno
