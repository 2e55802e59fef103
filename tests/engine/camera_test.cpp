#include <gtest/gtest.h>

#include <GL/gl.h>
#include <GL/glu.h>

#include <cmath>

#include "engine/camera.h"
#include "tests/engine/gl_fixture.h"

using namespace sauno;

namespace {

struct Frustum {
    double right, top, nearPlane, farPlane;
};

// Reads the window and the clipping distances back from GL's projection matrix.
Frustum ReadProjection()
{
    GLfloat m[16];
    glGetFloatv(GL_PROJECTION_MATRIX, m);
    const double a = m[10], b = m[14];  // -(f+n)/(f-n), -2fn/(f-n)
    const double n = b / (a - 1), f = b / (a + 1);
    return {n / m[0], n / m[5], n, f};
}

class CameraProjection : public sauno::testing::GLTest {
protected:
    Frustum Project(TCamera& camera, int width, int height)
    {
        glMatrixMode(GL_PROJECTION);
        glLoadIdentity();
        camera.ApplyProjection({0, 0, width, height}, width, height, 96);
        Frustum f = ReadProjection();
        glMatrixMode(GL_MODELVIEW);
        return f;
    }
    TComponent owner{nullptr};
};

}  // namespace

TEST_F(CameraProjection, TheGamesLensInTheWindowAndInFullScreen)
{
    auto* camera = new TCamera(&owner);
    camera->SetFocalLength(100);
    camera->SetDepthOfView(100);

    Frustum w = Project(*camera, 688, 452);
    EXPECT_NEAR(w.right, 0.5, 1e-4);
    EXPECT_NEAR(w.top, 0.3285, 1e-4);
    EXPECT_NEAR(w.nearPlane, 1.0987, 1e-3);
    EXPECT_NEAR(w.farPlane, 101.0987, 1e-2);
    EXPECT_NEAR(camera->NearPlane(), 1.0987f, 1e-4f);
    EXPECT_NEAR(2 * std::atan(w.right / w.nearPlane) * 180 / M_PI, 48.9, 0.1);

    camera->SetSceneScale(480.0f / 650.0f);
    Frustum f640 = Project(*camera, 640, 480);
    EXPECT_NEAR(f640.right, 0.6771, 1e-4);
    EXPECT_NEAR(f640.top, 0.5078, 1e-4);
    EXPECT_NEAR(f640.nearPlane, 1.1811, 1e-3);
    EXPECT_NEAR(f640.farPlane, 101.1811, 1e-2);

    camera->SetSceneScale(600.0f / 650.0f);
    Frustum f800 = Project(*camera, 800, 600);
    EXPECT_NEAR(f800.right, 0.5417, 1e-4);
    EXPECT_NEAR(f800.top, 0.4062, 1e-4);
    EXPECT_NEAR(f800.nearPlane, 0.9449, 1e-3);
    EXPECT_NEAR(2 * std::atan(f800.right / f800.nearPlane) * 180 / M_PI, 59.6, 0.1);
    EXPECT_NEAR(camera->ViewportRadius(), std::sqrt(f800.right * f800.right + f800.top * f800.top) / f800.nearPlane,
                1e-4);
}

TEST_F(CameraProjection, ADegenerateViewportLeavesTheProjectionAlone)
{
    auto* camera = new TCamera(&owner);
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    camera->ApplyProjection({0, 0, 0, 10}, 0, 10, 96);
    GLfloat m[16];
    glGetFloatv(GL_PROJECTION_MATRIX, m);
    EXPECT_EQ(m[0], 1.0f);
    EXPECT_EQ(m[15], 1.0f);
    glMatrixMode(GL_MODELVIEW);
}

TEST_F(CameraProjection, TheViewLooksFromTheCameraAtItsTarget)
{
    TScene* scene = new TScene(&owner);
    auto* carrier = new TDummyCube(&owner);
    scene->Objects().AddChild(carrier);
    carrier->Position().SetPoint(6.35f, 4, 4);
    auto* camera = new TCamera(&owner);
    carrier->AddChild(camera);
    auto* target = new TDummyCube(&owner);
    scene->Objects().AddChild(target);
    target->Position().SetPoint(6, 4, 4);
    camera->SetTargetObject(target);

    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    camera->ApplyView();
    GLfloat actual[16];
    glGetFloatv(GL_MODELVIEW_MATRIX, actual);
    glLoadIdentity();
    gluLookAt(6.35, 4, 4, 6, 4, 4, 0, 1, 0);
    GLfloat expected[16];
    glGetFloatv(GL_MODELVIEW_MATRIX, expected);
    for (int i = 0; i < 16; ++i) EXPECT_NEAR(actual[i], expected[i], 1e-5f) << i;
    EXPECT_NEAR(camera->LastDirection().x, -1, 1e-6f);

    // Without a target the camera looks along its own direction.
    camera->SetTargetObject(nullptr);
    glLoadIdentity();
    camera->ApplyView();
    EXPECT_NEAR(camera->LastDirection().z, -1, 1e-6f);
}

TEST(CameraProperties, ValuesAreCorrectedAsTheyAreSet)
{
    TComponent owner(nullptr);
    auto* camera = new TCamera(&owner);
    EXPECT_EQ(camera->Direction().AsVector(), (TVector4{0, 0, -1, 0}));
    camera->SetSceneScale(0);
    EXPECT_EQ(camera->SceneScale(), 1.0f);
    camera->SetFocalLength(-5);
    EXPECT_EQ(camera->FocalLength(), 1.0f);
    camera->SetNearPlaneBias(0);
    EXPECT_EQ(camera->NearPlaneBias(), 1.0f);

    auto* light = new TLightSource(&owner);
    light->SetSpotCutOff(120);
    EXPECT_EQ(light->SpotCutOff(), 180.0f);
    light->SetSpotCutOff(90);
    EXPECT_EQ(light->SpotCutOff(), 90.0f);
    light->SetSpotCutOff(180);
    EXPECT_EQ(light->SpotCutOff(), 180.0f);
    light->SetSpotCutOff(-1);
    EXPECT_EQ(light->SpotCutOff(), 180.0f);
}

class LightSetup : public sauno::testing::GLTest {};

TEST_F(LightSetup, LightsAreLoadedForTheFrameAndTheRestSwitchedOff)
{
    TComponent owner(nullptr);
    TScene* scene = new TScene(&owner);
    auto* light = new TLightSource(&owner);
    scene->Objects().AddChild(light);
    light->SetLightStyle(TLightStyle::lsOmni);
    light->Position().SetPoint(2, 6, 3);
    light->Diffuse().SetColor({0.85f, 0.53f, 0.1f, 1});
    auto* dark = new TLightSource(&owner);
    scene->Objects().AddChild(dark);
    dark->SetShining(false);
    glEnable(GL_LIGHT1);
    glEnable(GL_LIGHT5);

    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    GLint maxLights = 0;
    glGetIntegerv(GL_MAX_LIGHTS, &maxLights);
    scene->SetupLights(maxLights);
    EXPECT_TRUE(glIsEnabled(GL_LIGHT0));
    EXPECT_FALSE(glIsEnabled(GL_LIGHT1));
    EXPECT_FALSE(glIsEnabled(GL_LIGHT5));
    GLfloat position[4], diffuse[4], cutoff = 0;
    glGetLightfv(GL_LIGHT0, GL_POSITION, position);  // eye coordinates: the view is the identity
    glGetLightfv(GL_LIGHT0, GL_DIFFUSE, diffuse);
    glGetLightfv(GL_LIGHT0, GL_SPOT_CUTOFF, &cutoff);
    EXPECT_FLOAT_EQ(position[0], 2);
    EXPECT_FLOAT_EQ(position[1], 6);
    EXPECT_FLOAT_EQ(position[2], 3);
    EXPECT_FLOAT_EQ(position[3], 1);
    EXPECT_FLOAT_EQ(diffuse[0], 0.85f);
    EXPECT_FLOAT_EQ(cutoff, 180);
    EXPECT_EQ(glGetError(), GLenum(GL_NO_ERROR));
}
