// Drawing on real GL: consecutive face groups of one material share one apply, and mesh
// objects without vertices draw nothing.
#include <dlfcn.h>
#include <gtest/gtest.h>

#include "engine/statecache.h"
#include "mesh/basemesh.h"
#include "engine/context.h"
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

}  // namespace
}  // namespace sauno
