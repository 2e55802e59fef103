#pragma once
// The camera through which a buffer sees the scene, and the light sources the scene loads
// into GL once per frame. Both are scene nodes that draw nothing of themselves.
#include <functional>
#include <memory>

#include "engine/export.h"
#include "engine/scene.h"

namespace sauno {

// Names and order are part of the scene-description format.
enum class TCameraStyle : uint8_t { csPerspective, csOrthogonal, csOrtho2D, csCustom, csInfinitePerspective };
enum class TLightStyle : uint8_t { lsSpot, lsOmni, lsParallel };

using TRectangle = TRectangleI;

class SAUNO_ENGINE_EXPORT TCamera : public TBaseSceneObject {
public:
    explicit TCamera(TComponent* owner);
    ~TCamera() override;

    float FocalLength() const { return focalLength_; }
    void SetFocalLength(float value);
    float DepthOfView() const { return depthOfView_; }
    void SetDepthOfView(float value);
    float NearPlane() const { return nearPlane_; }
    float NearPlaneBias() const { return nearPlaneBias_; }
    void SetNearPlaneBias(float value);
    float ViewportRadius() const { return viewportRadius_; }
    const TVector4& LastDirection() const { return lastDirection_; }
    TCameraStyle CameraStyle() const { return cameraStyle_; }
    void SetCameraStyle(TCameraStyle value);
    float SceneScale() const { return sceneScale_; }
    void SetSceneScale(float value);
    TBaseSceneObject* TargetObject() const { return targetObject_; }
    void SetTargetObject(TBaseSceneObject* value);

    // The projection of csCustom: (viewport, width, height, dpi, viewport radius).
    std::function<void(const TRectangle&, int, int, int, float&)> OnCustomPerspective;
    // When assigned, ApplyView calls it instead of setting up the view itself.
    std::function<void(TCamera& camera)> DeferredApply;

    // Multiplies GL's current projection matrix by the camera's projection.
    void ApplyProjection(const TRectangle& viewport, int width, int height, int dpi);
    // Multiplies GL's current model-view matrix by the view transform.
    void ApplyView();
    // Orbits the target, in degrees; nothing without a target.
    void OrbitTarget(float pitchDelta, float turnDelta);

    void DrawContent(TRenderContextInfo& rci, bool drawSelf, bool drawChildren) override;

protected:
    void Notification(TComponent* component, TOperation operation) override;

private:
    float focalLength_ = 50;
    float depthOfView_ = 100;
    float nearPlane_ = 0;
    float nearPlaneBias_ = 1;
    float viewportRadius_ = 0;
    TBaseSceneObject* targetObject_ = nullptr;
    TVector4 lastDirection_;
    TCameraStyle cameraStyle_ = TCameraStyle::csPerspective;
    float sceneScale_ = 1;
};

class SAUNO_ENGINE_EXPORT TLightSource : public TBaseSceneObject {
public:
    explicit TLightSource(TComponent* owner);
    ~TLightSource() override;

    GLenum LightID() const { return lightID_; }
    void SetLightID(GLenum id) { lightID_ = id; }
    TCoordinates& SpotDirection() { return *spotDirection_; }
    void SetSpotDirection(const TCoordinates& value);
    float SpotExponent() const { return spotExponent_; }
    void SetSpotExponent(float value);
    float SpotCutOff() const { return spotCutOff_; }
    void SetSpotCutOff(float value);
    float ConstAttenuation() const { return constAttenuation_; }
    void SetConstAttenuation(float value);
    float LinearAttenuation() const { return linearAttenuation_; }
    void SetLinearAttenuation(float value);
    float QuadraticAttenuation() const { return quadraticAttenuation_; }
    void SetQuadraticAttenuation(float value);
    bool Shining() const { return shining_; }
    void SetShining(bool value);
    TColor& Ambient() { return *ambient_; }
    TColor& Diffuse() { return *diffuse_; }
    TColor& Specular() { return *specular_; }
    TLightStyle LightStyle() const { return lightStyle_; }
    void SetLightStyle(TLightStyle value);

    void DrawContent(TRenderContextInfo& rci, bool drawSelf, bool drawChildren) override;
    void CoordinatesChanged(TCoordinates* holder) override;

private:
    GLenum lightID_ = 0;
    std::unique_ptr<TCoordinates> spotDirection_;
    float spotExponent_ = 0;
    float spotCutOff_ = 180;
    float constAttenuation_ = 1, linearAttenuation_ = 0, quadraticAttenuation_ = 0;
    bool shining_ = true;
    std::unique_ptr<TColor> ambient_, diffuse_, specular_;
    TLightStyle lightStyle_ = TLightStyle::lsSpot;
};

}  // namespace sauno
