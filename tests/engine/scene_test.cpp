#include <gtest/gtest.h>

#include <GL/gl.h>

#include <cmath>
#include <string>
#include <vector>

#include "engine/buffer.h"
#include "engine/camera.h"
#include "engine/context.h"
#include "engine/scene.h"
#include "engine/statecache.h"
#include "platform/exception.h"
#include "runtime/forms.h"
#include "runtime/timer.h"
#include "tests/engine/gl_fixture.h"

using namespace sauno;

namespace {

void ExpectNear(const TVector4& actual, const TVector4& expected, float tolerance = 1e-5f)
{
    for (size_t i = 0; i < 4; ++i) EXPECT_NEAR(actual[i], expected[i], tolerance) << "component " << i;
}

// A scene owned by a plain component, with a buffer that counts the notices it is told.
struct SceneFixture {
    TComponent owner{nullptr};
    TScene* scene = new TScene(&owner);
    TSceneBuffer buffer{nullptr};
    int notices = 0;
    SceneFixture()
    {
        buffer.OnChange = [this](TSceneBuffer*) { ++notices; };
        scene->AttachBuffer(&buffer);
    }
    template <class N>
    N* Node(TBaseSceneObject* parent = nullptr)
    {
        N* node = new N(&owner);
        (parent ? parent : &scene->Objects())->AddChild(node);
        return node;
    }
};

// Records when it is drawn and when its geometry is built.
std::vector<std::string> drawLog;
class Probe : public TImmaterialSceneObject {
public:
    explicit Probe(TComponent* owner, std::string label = "", bool direct = true) : TImmaterialSceneObject(owner), label_(std::move(label))
    {
        if (direct) SetObjectStyle(osDirectDraw);
    }
    int builds = 0;
    void NeverCulled() { SetObjectStyle(ObjectStyle() | osNoVisibilityCulling); }
    void BuildGeometry(TRenderContextInfo&) override
    {
        ++builds;
        drawLog.push_back(label_);
        glBegin(GL_POINTS);
        glVertex3f(0, 0, 0);
        glEnd();
    }

private:
    std::string label_;
};

}  // namespace

TEST(SceneTree, AChildOfARootHasItsLocalMatrixAsItsAbsoluteMatrix)
{
    SceneFixture f;
    f.scene->Objects().Position().SetPoint(100, 100, 100);  // a root's own holders never count
    auto* node = f.Node<TDummyCube>();
    node->Position().SetPoint(1, 2, 3);
    EXPECT_EQ(node->AbsoluteMatrix(), node->LocalMatrix());
    ExpectNear(node->AbsolutePosition(), {1, 2, 3, 1});

    auto* child = f.Node<TDummyCube>(node);
    child->Position().SetPoint(1, 0, 0);
    node->SetTurnAngle(90);
    ExpectNear(child->AbsolutePosition(), {1, 2, 2, 1});
    ExpectNear(child->AbsoluteToLocal(child->AbsolutePosition()), {0, 0, 0, 1});
    child->Scale().SetVector(2, 2, 2);  // the general inverse, not the rigid one
    ExpectNear(child->LocalToAbsolute(child->AbsoluteToLocal({5, 6, 7, 1})), {5, 6, 7, 1}, 1e-4f);
}

TEST(SceneTree, NoticesTravelToTheSceneAndStopInsideUpdateBrackets)
{
    SceneFixture f;
    auto* node = f.Node<TDummyCube>();
    f.notices = 0;
    node->SetVisible(false);
    EXPECT_EQ(f.notices, 1);
    node->SetVisible(false);  // unchanged: no notice
    EXPECT_EQ(f.notices, 1);

    node->BeginUpdate();
    node->SetVisible(true);
    node->SetShowAxes(true);
    EXPECT_EQ(f.notices, 1);
    node->EndUpdate();
    EXPECT_EQ(f.notices, 2);
    EXPECT_THROW(node->EndUpdate(), Exception);

    f.scene->BeginUpdate();
    node->SetVisible(false);
    f.scene->EndUpdate();
    EXPECT_EQ(f.notices, 3);
}

TEST(SceneTree, TransformChangedMarksOnceUntilTheMatrixIsReadAgain)
{
    SceneFixture f;
    auto* parent = f.Node<TDummyCube>();
    auto* child = f.Node<TDummyCube>(parent);
    parent->AbsoluteMatrix();
    child->AbsoluteMatrix();
    child->InverseAbsoluteMatrix();
    parent->InverseAbsoluteMatrix();
    f.notices = 0;
    parent->Position().SetX(1);
    EXPECT_EQ(f.notices, 1);
    EXPECT_TRUE(child->Changes() & ocAbsoluteMatrix);
    EXPECT_TRUE(child->Changes() & ocInvAbsoluteMatrix);
    parent->Position().SetX(2);  // still stale: nothing more to say
    EXPECT_EQ(f.notices, 1);
    ExpectNear(child->AbsolutePosition(), {2, 0, 0, 1});
    parent->Position().SetX(3);
    EXPECT_EQ(f.notices, 2);
}

TEST(SceneTree, FreeingAChildSendsOneNoticeAndLeavesTheOwner)
{
    SceneFixture f;
    auto* group = f.Node<TDummyCube>();
    auto* a = group->AddNewChild<TDummyCube>();
    auto* b = group->AddNewChild<TDummyCube>();
    auto* grandchild = b->AddNewChild<TDummyCube>();
    EXPECT_EQ(a->Owner(), &f.owner);
    const int components = f.owner.ComponentCount();
    f.notices = 0;
    delete a;
    EXPECT_EQ(f.notices, 1);
    ASSERT_EQ(group->ChildCount(), 1);
    EXPECT_EQ(group->Child(0), b);
    EXPECT_EQ(f.owner.ComponentCount(), components - 1);
    group->FreeChildren();  // b and its child, last first
    EXPECT_EQ(group->ChildCount(), 0);
    EXPECT_EQ(f.owner.ComponentCount(), components - 3);
    (void)grandchild;
}

TEST(SceneTree, DirectionAndUpStayOrthonormalWithTheirFallbacks)
{
    SceneFixture f;
    auto* node = f.Node<TDummyCube>();
    TCoordinates zero(nullptr, TCoordinatesStyle::csVector);
    node->SetDirection(zero);  // ignored by the property setter
    ExpectNear(node->Direction().AsVector(), {0, 0, 1, 0});
    node->Direction().SetVector(0, 0, 0);  // the holder itself becomes (0, 0, 1)
    ExpectNear(node->Direction().AsVector(), {0, 0, 1, 0});
    node->Direction().SetVector(0, 1, 0);  // parallel to up: the first fallback axis is z
    ExpectNear(node->Direction().AsVector(), {0, 1, 0, 0});
    ExpectNear(node->Up().AsVector(), {0, 0, -1, 0});
    node->Up().SetVector(0, 5, 5);
    EXPECT_NEAR(Dot(node->Up().AsVector(), node->Direction().AsVector()), 0, 1e-6f);
    EXPECT_NEAR(node->Up().Length(), 1, 1e-6f);
}

TEST(SceneTree, PitchTurnAndRollRotateAndRememberWrappedAngles)
{
    SceneFixture f;
    auto* node = f.Node<TDummyCube>();
    node->SetPitchAngle(90);
    ExpectNear(node->Direction().AsVector(), {0, 1, 0, 0});
    ExpectNear(node->Up().AsVector(), {0, 0, -1, 0});

    auto* other = f.Node<TDummyCube>();
    other->SetPitchAngle(450);
    EXPECT_FLOAT_EQ(other->PitchAngle(), 90);
    ExpectNear(other->Direction().AsVector(), {0, 1, 0, 0});
    f.notices = 0;
    other->AbsoluteMatrix();
    other->SetPitchAngle(90);  // already there: nothing happens
    EXPECT_EQ(f.notices, 0);

    auto* turner = f.Node<TDummyCube>();
    turner->SetTurnAngle(90);
    ExpectNear(turner->Direction().AsVector(), {1, 0, 0, 0});
    ExpectNear(turner->Up().AsVector(), {0, 1, 0, 0});
}

TEST(SceneTree, OrbitKeepsTheDistanceAndStopsShortOfThePole)
{
    SceneFixture f;
    auto* target = f.Node<TDummyCube>();
    target->Position().SetPoint(6, 4, 4);
    auto* carrier = f.Node<TDummyCube>();
    carrier->Position().SetPoint(6.35f, 4, 4);
    auto* camera = f.Node<TCamera>(carrier);
    camera->SetTargetObject(target);
    camera->OrbitTarget(0, 30);
    EXPECT_NEAR(Length3(Sub(camera->AbsolutePosition(), target->AbsolutePosition())), 0.35f, 1e-5f);
    EXPECT_GT(std::fabs(camera->AbsolutePosition().z - 4), 0.1f);
    // Far past the pole: the elevation stops 0.025 radians short of the up axis.
    camera->OrbitTarget(1000, 0);
    TVector4 d = Normalize(Sub(camera->AbsolutePosition(), target->AbsolutePosition()));
    EXPECT_NEAR(Acos(Dot(camera->AbsoluteUp(), d)), 3.1165927f, 1e-3f);
    camera->OrbitTarget(-1000, 0);
    d = Normalize(Sub(camera->AbsolutePosition(), target->AbsolutePosition()));
    EXPECT_NEAR(Acos(Dot(camera->AbsoluteUp(), d)), 0.025f, 1e-3f);
    EXPECT_NEAR(Length3(Sub(camera->AbsolutePosition(), target->AbsolutePosition())), 0.35f, 1e-4f);
}

TEST(SceneTree, LightsTakeTheFirstFreeOfEightSlots)
{
    SceneFixture f;
    std::vector<TLightSource*> lights;
    for (int i = 0; i < 9; ++i) lights.push_back(f.Node<TLightSource>());
    for (int i = 0; i < 8; ++i) EXPECT_EQ(lights[size_t(i)]->LightID(), GLenum(GL_LIGHT0 + i));
    EXPECT_EQ(lights[8]->LightID(), 0u);  // the ninth is never lit
    delete lights[2];
    auto* late = f.Node<TLightSource>();
    EXPECT_EQ(late->LightID(), GLenum(GL_LIGHT0 + 2));
    EXPECT_EQ(f.scene->Light(2), late);
}

TEST(SceneTree, ProgressVisitsChildrenLastFirstThenBehaviours)
{
    SceneFixture f;
    std::vector<std::string> order;
    auto* parent = f.Node<TDummyCube>();
    auto* a = f.Node<TDummyCube>(parent);
    auto* b = f.Node<TDummyCube>(parent);
    struct Step : TBehaviour {
        using TBehaviour::TBehaviour;
        std::vector<std::string>* order = nullptr;
        void DoProgress(const ProgressTimes&) override { order->push_back("behaviour"); }
    };
    parent->Behaviours().Add<Step>()->order = &order;
    a->OnProgress = [&](TComponent*, double, double) { order.push_back("a"); };
    b->OnProgress = [&](TComponent*, double, double) { order.push_back("b"); };
    parent->OnProgress = [&](TComponent*, double delta, double) {
        EXPECT_DOUBLE_EQ(delta, 0.016);
        order.push_back("parent");
    };
    f.scene->Progress(0.016, 1.0);
    EXPECT_EQ(order, (std::vector<std::string>{"b", "a", "behaviour", "parent"}));
    EXPECT_EQ(parent->Behaviours().Count(), 1);
}

TEST(SceneTree, DescendantCamerasAreFreedFirstAndTargetsForgotten)
{
    SceneFixture f;
    auto* carrier = f.Node<TDummyCube>();
    auto* camera = f.Node<TCamera>(carrier);
    auto* target = f.Node<TDummyCube>();
    camera->SetTargetObject(target);
    delete target;
    EXPECT_EQ(camera->TargetObject(), nullptr);
    camera->OrbitTarget(10, 10);  // no target: nothing happens
    const int before = f.owner.ComponentCount();
    delete carrier;
    EXPECT_EQ(f.owner.ComponentCount(), before - 2);
}

class SceneRender : public sauno::testing::GLTest {};

TEST_F(SceneRender, ADisplayListIsBuiltOnceAndReplayedUntilTheStructureChanges)
{
    SceneFixture f;
    auto* probe = new Probe(&f.owner, "p", false);
    f.scene->Objects().AddChild(probe);
    TStateCache cache;
    TRenderContextInfo rci;
    rci.scene = f.scene;
    rci.stateCache = &cache;
    rci.objectsSorting = TObjectsSorting::osNone;
    rci.visibilityCulling = TVisibilityCulling::vcNone;
    {
        // The list handle needs an engine context current; the fixture's SDL context stands for it.
        auto context = GLContextManager().NewContext();
        ASSERT_NE(context, nullptr);
        context->CreateOnSurface(*window_);
        context->Activate();
        f.scene->Objects().Render(rci);
        f.scene->Objects().Render(rci);
        EXPECT_EQ(probe->builds, 1);
        probe->StructureChanged();
        f.scene->Objects().Render(rci);
        EXPECT_EQ(probe->builds, 2);
        rci.drawDirectly = true;
        f.scene->Objects().Render(rci);
        EXPECT_EQ(probe->builds, 3);
        context->Deactivate();
        probe->DestroyHandle();
    }
}

TEST_F(SceneRender, ChildrenDrawInListOrderOrByDistanceAndHiddenOnesNot)
{
    SceneFixture f;
    auto* group = f.Node<TDummyCube>();
    auto* near = new Probe(&f.owner, "near");
    auto* far = new Probe(&f.owner, "far");
    auto* hidden = new Probe(&f.owner, "hidden");
    auto* middle = new Probe(&f.owner, "middle");
    for (auto* p : {near, far, hidden, middle}) group->AddChild(p);
    near->Position().SetPoint(1, 0, 0);
    far->Position().SetPoint(10, 0, 0);
    middle->Position().SetPoint(5, 0, 0);
    hidden->SetVisible(false);
    TRenderContextInfo rci;
    rci.scene = f.scene;
    rci.cameraPosition = {0, 0, 0, 1};
    rci.visibilityCulling = TVisibilityCulling::vcNone;

    rci.objectsSorting = TObjectsSorting::osNone;
    drawLog.clear();
    group->Render(rci);
    EXPECT_EQ(drawLog, (std::vector<std::string>{"near", "far", "middle"}));

    group->SetObjectsSorting(TObjectsSorting::osRenderFarthestFirst);
    drawLog.clear();
    group->Render(rci);
    EXPECT_EQ(drawLog, (std::vector<std::string>{"far", "middle", "near"}));

    group->SetObjectsSorting(TObjectsSorting::osRenderNearestFirst);
    drawLog.clear();
    group->Render(rci);
    EXPECT_EQ(drawLog, (std::vector<std::string>{"near", "middle", "far"}));
    EXPECT_EQ(rci.objectsSorting, TObjectsSorting::osNone);  // restored after the children

    // Hiding a group hides everything below it.
    group->SetVisible(false);
    drawLog.clear();
    f.scene->Objects().RenderChildren(0, f.scene->Objects().ChildCount() - 1, rci);
    EXPECT_TRUE(drawLog.empty());
}

TEST_F(SceneRender, ObjectCullingSkipsWhatLiesOutsideTheFrustum)
{
    SceneFixture f;
    auto* inside = f.Node<Probe>();
    auto* outside = new Probe(&f.owner, "outside");
    f.scene->Objects().AddChild(outside);
    outside->Position().SetPoint(0, 0, 50);
    TRenderContextInfo rci;
    rci.scene = f.scene;
    rci.objectsSorting = TObjectsSorting::osNone;
    rci.visibilityCulling = TVisibilityCulling::vcObjectBased;
    // A box from -10 to 10 on every axis.
    rci.rcci.frustum = {{1, 0, 0, 10}, {0, -1, 0, 10}, {-1, 0, 0, 10}, {0, 1, 0, 10}, {0, 0, 1, 10}, {0, 0, -1, 10}};
    f.scene->Objects().Render(rci);
    EXPECT_EQ(inside->builds, 1);
    EXPECT_EQ(outside->builds, 0);
}

namespace {
// A probe whose material blends.
class BlendedProbe : public Probe {
public:
    using Probe::Probe;
    bool IsBlended() override { return true; }
};
}  // namespace

// The scene's default sorting draws the opaque children first, in list order, and then the
// blended ones, farthest first.
TEST_F(SceneRender, BlendedChildrenDrawAfterTheOpaqueOnesFarthestFirst)
{
    SceneFixture f;
    auto* group = f.Node<TDummyCube>();
    auto* glassNear = new BlendedProbe(&f.owner, "glass near");
    auto* wallFar = new Probe(&f.owner, "wall far");
    auto* glassFar = new BlendedProbe(&f.owner, "glass far");
    auto* wallNear = new Probe(&f.owner, "wall near");
    for (auto* p : std::initializer_list<Probe*>{glassNear, wallFar, glassFar, wallNear}) group->AddChild(p);
    glassNear->Position().SetPoint(1, 0, 0);
    wallFar->Position().SetPoint(10, 0, 0);
    glassFar->Position().SetPoint(8, 0, 0);
    wallNear->Position().SetPoint(2, 0, 0);
    TRenderContextInfo rci;
    rci.scene = f.scene;
    rci.cameraPosition = {0, 0, 0, 1};
    rci.visibilityCulling = TVisibilityCulling::vcNone;
    rci.objectsSorting = TObjectsSorting::osRenderBlendedLast;
    drawLog.clear();
    group->Render(rci);
    EXPECT_EQ(drawLog, (std::vector<std::string>{"wall far", "wall near", "glass far", "glass near"}));
}

// Hierarchical culling judges a node by the box of its whole branch and does not descend into
// a branch that lies outside the view; object culling judges each node by itself.
TEST_F(SceneRender, HierarchicalCullingJudgesWholeBranchesAndSkipsThoseOutside)
{
    SceneFixture f;
    auto* root = f.Node<Probe>();
    auto* child = new Probe(&f.owner, "child");
    root->AddChild(child);
    root->Position().SetPoint(0, 0, 50);
    child->Position().SetPoint(0, 0, -50);  // back at the origin, inside
    TRenderContextInfo rci;
    rci.scene = f.scene;
    rci.objectsSorting = TObjectsSorting::osNone;
    rci.rcci.frustum = {{1, 0, 0, 10}, {0, -1, 0, 10}, {-1, 0, 0, 10}, {0, 1, 0, 10}, {0, 0, 1, 10}, {0, 0, -1, 10}};
    auto draws = [&](TVisibilityCulling culling) {
        const int rootBefore = root->builds, childBefore = child->builds;
        rci.visibilityCulling = culling;
        f.scene->Objects().Render(rci);
        return std::pair{root->builds - rootBefore, child->builds - childBefore};
    };
    EXPECT_EQ(draws(TVisibilityCulling::vcObjectBased), std::pair(0, 1));
    EXPECT_EQ(draws(TVisibilityCulling::vcHierarchical), std::pair(1, 1)) << "the branch reaches into the view";
    // The whole branch outside: a child that is never culled on its own is skipped with it.
    child->Position().SetPoint(0, 0, 5);
    child->NeverCulled();
    EXPECT_EQ(draws(TVisibilityCulling::vcObjectBased), std::pair(0, 1));
    EXPECT_EQ(draws(TVisibilityCulling::vcHierarchical), std::pair(0, 0));
}

// Shown axes run from the object's origin as far as the camera sees, dotted two on, two off,
// the positive half at full strength and the negative at half.
TEST_F(SceneRender, AxesReachTheDepthOfViewAndAreDottedTwoOnTwoOff)
{
    SceneFixture f;
    auto* probe = f.Node<Probe>();
    probe->SetShowAxes(true);
    probe->Position().SetPoint(0, 0.5f, 0);
    TCamera camera(&f.owner);
    camera.SetDepthOfView(20);
    f.scene->CurrentCamera = &camera;
    TRenderContextInfo rci;
    rci.scene = f.scene;
    rci.objectsSorting = TObjectsSorting::osNone;
    rci.visibilityCulling = TVisibilityCulling::vcNone;
    glViewport(0, 0, 64, 64);
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glOrtho(-32, 32, -32, 32, -1, 1);  // one unit a pixel
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    glDisable(GL_DEPTH_TEST);
    glClearColor(0, 0, 0, 1);
    glClear(GL_COLOR_BUFFER_BIT);
    f.scene->Objects().Render(rci);
    glFinish();
    unsigned char row[64 * 3];
    glReadPixels(0, 32, 64, 1, GL_RGB, GL_UNSIGNED_BYTE, row);
    std::string positive, negative;
    for (int x = 32; x < 64; ++x) positive += row[3 * x] > 200 ? '#' : row[3 * x] > 60 ? '+' : '.';
    for (int x = 31; x >= 0; --x) negative += row[3 * x] > 200 ? '#' : row[3 * x] > 60 ? '+' : '.';
    EXPECT_EQ(positive, "..##..##..##..##..##............") << "x from the origin out";
    EXPECT_EQ(negative, "..++..++..++..++..++............") << "x from the origin out the other way";
}

// A node's behaviours and effects as a design tool streams them are read as data.
TEST(SceneTree, BehavioursAndEffectsDataAreReadNotRefused)
{
    RegisterRuntimeClasses();
    RegisterSceneClasses();
    TCustomForm form(nullptr);
    form.ReadDescription(R"(TCustomForm Form1 {
      TScene Scene1 {
        TDummyCube cube {
          BehavioursData = hex"0102030405"
          EffectsData = hex""
        }
      }
    })");
    EXPECT_NE(form.FindComponent("cube"), nullptr);
    TCustomForm bad(nullptr);
    EXPECT_THROW(bad.ReadDescription("TCustomForm F {\n TScene S {\n TDummyCube c { BehavioursData = 3 }\n }\n}"),
                 std::exception);
}
