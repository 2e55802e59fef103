// The room is drawn nearest part first so that hidden fragments fail the depth test before they
// are textured. That order must buy speed only: the picture is the same in any order.
#define GL_GLEXT_PROTOTYPES
#include <GL/gl.h>
#include <GL/glext.h>

#include <algorithm>
#include <cstdint>
#include <vector>

#include "tests/game/game_fixture.h"

using namespace sauno;
using sauno::testing::GameTest;

namespace {

constexpr int kWidth = 688, kHeight = 452;

// Orbit steps from the start view: round the room at eye height, then looking down on the
// benches and the stove, then up towards the ceiling and the door.
struct Step {
    float pitch, turn;
};
std::vector<Step> Views()
{
    std::vector<Step> steps{{0, 0}};
    for (int i = 0; i < 11; ++i) steps.push_back({0, 30});
    steps.push_back({-40, 30});
    for (int i = 0; i < 5; ++i) steps.push_back({0, 60});
    steps.push_back({75, 30});
    for (int i = 0; i < 5; ++i) steps.push_back({0, 60});
    return steps;
}

class DrawOrder : public GameTest {
protected:
    void SetUp() override
    {
        GameTest::SetUp();
        Build();
        ASSERT_TRUE(errors.empty()) << errors.front();
        ASSERT_EQ(form->lvl->MeshObjects().Count(), 7);
    }
    void TearDown() override
    {
        if (form) {
            form->scn->Buffer().BeforeRender = nullptr;
            form->scn->Buffer().PostRender = nullptr;
        }
        GameTest::TearDown();
    }

    // One frame of every view, texts and all, read back before it is presented.
    std::vector<std::vector<uint8_t>> Frames()
    {
        std::vector<std::vector<uint8_t>> frames;
        std::vector<uint8_t> pixels(size_t(kWidth) * kHeight * 3);
        TSceneBuffer& buffer = form->scn->Buffer();
        const TVector4 start = form->Camera1->Position().AsVector();
        buffer.PostRender = [&pixels](TSceneBuffer*) {
            glPixelStorei(GL_PACK_ALIGNMENT, 1);
            glReadBuffer(GL_BACK);
            glReadPixels(0, 0, kWidth, kHeight, GL_RGB, GL_UNSIGNED_BYTE, pixels.data());
        };
        for (const Step& step : Views()) {
            form->Camera1->OrbitTarget(step.pitch, step.turn);
            buffer.RenderFrame();
            frames.push_back(pixels);
        }
        buffer.PostRender = nullptr;
        form->Camera1->Position().SetPoint(start.x, start.y, start.z);
        return frames;
    }

    // The parts drawn in the opposite order, and the triangles of each part too, but for the
    // room's boards and the benches: some of their own faces meet in one plane (the ceiling
    // strips in the corners, the door in its frame, boards of the benches), where the one
    // drawn later wins the pixel, so those keep the order they were modelled in.
    void ReverseTheDrawingOrder()
    {
        TMeshObjectList& meshes = form->lvl->MeshObjects();
        for (int i = 0, j = meshes.Count() - 1; i < j; ++i, --j) meshes.Exchange(i, j);
        for (int m = 0; m < meshes.Count(); ++m) {
            if (meshes.Items(m).Name == "huone" || meshes.Items(m).Name == "lauteet") continue;
            TFaceGroups& groups = meshes.Items(m).FaceGroups();
            for (int g = 0; g < groups.Count(); ++g) {
                auto& indices = dynamic_cast<TFGVertexIndexList&>(groups.Items(g)).VertexIndices;
                std::vector<int32_t> reversed;
                for (size_t end = indices.size(); end >= 3; end -= 3)
                    reversed.insert(reversed.end(), indices.begin() + static_cast<std::ptrdiff_t>(end - 3),
                                    indices.begin() + static_cast<std::ptrdiff_t>(end));
                indices = reversed;
            }
        }
        form->lvl->StructureChanged();
    }
};

}  // namespace

TEST_F(DrawOrder, TheRoomLooksTheSameWhicheverOrderItsPartsAreDrawnIn)
{
    const auto asBuilt = Frames();
    ReverseTheDrawingOrder();
    const auto reversed = Frames();
    ASSERT_EQ(asBuilt.size(), reversed.size());
    for (size_t v = 0; v < asBuilt.size(); ++v) {
        // A view of the room, not of nothing: many colours, and unlike the view before it.
        std::vector<uint8_t> values(asBuilt[v].begin(), asBuilt[v].end());
        std::sort(values.begin(), values.end());
        EXPECT_GT(std::unique(values.begin(), values.end()) - values.begin(), 100) << "view " << v;
        if (v > 0) {
            EXPECT_NE(asBuilt[v], asBuilt[v - 1]) << "view " << v;
        }
        size_t differing = 0, first = 0;
        for (size_t i = 0; i < asBuilt[v].size(); i += 3)
            if (!std::equal(&asBuilt[v][i], &asBuilt[v][i] + 3, &reversed[v][i]) && differing++ == 0) first = i / 3;
        EXPECT_EQ(differing, 0u) << "view " << v << ": first at x " << first % kWidth << ", y from the bottom "
                                 << first / kWidth;
    }
}

// Fragments that pass the depth test get textured. In the built order a pixel is textured
// about once on average over the views; drawing the room's boards first textures it nearly one
// and a half times, twice where the benches or the stove stand in front of the walls. (The door
// is still drawn over its wall: it shares edges with its frame, which must keep its place after
// the boards.)
TEST_F(DrawOrder, EachPixelOfTheRoomIsTexturedAboutOnce)
{
    form->tekstit->SetVisible(false);  // texts pass no depth test: they would count whole
    form->lvl->SetShowAxes(false);
    GLuint query = 0;
    GLuint passed = 0;
    TSceneBuffer& buffer = form->scn->Buffer();
    buffer.BeforeRender = [&query](TSceneBuffer*) {
        if (!query) glGenQueries(1, &query);
        glBeginQuery(GL_SAMPLES_PASSED, query);
    };
    buffer.PostRender = [&query, &passed](TSceneBuffer*) {
        glEndQuery(GL_SAMPLES_PASSED);
        glGetQueryObjectuiv(query, GL_QUERY_RESULT, &passed);
    };
    const double pixels = double(kWidth) * kHeight;
    double sum = 0, worst = 0;
    int view = 0;
    for (const Step& step : Views()) {
        form->Camera1->OrbitTarget(step.pitch, step.turn);
        buffer.RenderFrame();
        EXPECT_GE(passed / pixels, 0.99) << "view " << view << ": the room covers the window";
        sum += passed / pixels;
        worst = std::max(worst, passed / pixels);
        ++view;
    }
    EXPECT_LE(sum / view, 1.10);
    EXPECT_LE(worst, 1.45);
    buffer.BeforeRender = nullptr;
    buffer.PostRender = nullptr;
    buffer.RenderingContext()->Activate();
    glDeleteQueries(1, &query);
    buffer.RenderingContext()->Deactivate();
}
