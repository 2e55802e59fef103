#include "engine/camera.h"

#include <GL/glu.h>

#include <cmath>

#include "platform/exception.h"

namespace sauno {

// ---- Camera -------------------------------------------------------------------------------

TCamera::TCamera(TComponent* owner) : TBaseSceneObject(owner)
{
    Direction().SetRaw({0, 0, -1, 0});
    Up().SetRaw({0, 1, 0, 0});
}

TCamera::~TCamera()
{
    BeginDestroy();
    SetTargetObject(nullptr);
}

void TCamera::SetFocalLength(float value)
{
    if (value <= 0) value = 1;
    if (value == focalLength_) return;
    focalLength_ = value;
    if (!Loading()) TransformChanged();
}

void TCamera::SetDepthOfView(float value)
{
    if (value == depthOfView_) return;
    depthOfView_ = value;
    if (!Loading()) TransformChanged();
}

void TCamera::SetNearPlaneBias(float value)
{
    if (value <= 0) value = 1;
    if (value == nearPlaneBias_) return;
    nearPlaneBias_ = value;
    ReportChange(this);
}

void TCamera::SetCameraStyle(TCameraStyle value)
{
    if (value == cameraStyle_) return;
    cameraStyle_ = value;
    ReportChange(this);
}

void TCamera::SetSceneScale(float value)
{
    if (value == 0) value = 1;
    if (value == sceneScale_) return;
    sceneScale_ = value;
    ReportChange(this);
}

void TCamera::SetTargetObject(TBaseSceneObject* value)
{
    if (value == targetObject_) return;
    if (targetObject_) RemoveFreeNotification(targetObject_);
    targetObject_ = value;
    if (targetObject_) FreeNotification(targetObject_);
    if (!Loading() && !Destroying()) TransformChanged();
}

void TCamera::Notification(TComponent* component, TOperation operation)
{
    if (operation == TOperation::opRemove && component == targetObject_) targetObject_ = nullptr;
    TBaseSceneObject::Notification(component, operation);
}

void TCamera::OrbitTarget(float pitchDelta, float turnDelta)
{
    if (targetObject_) OrbitAround(targetObject_, pitchDelta, turnDelta);
}

void TCamera::ApplyProjection(const TRectangle& viewport, int width, int height, int dpi)
{
    if (width < 1 || height < 1) return;
    const double w = width, h = height;
    switch (cameraStyle_) {
        case TCameraStyle::csOrtho2D:
            gluOrtho2D(0, w, 0, h);
            nearPlane_ = -1;
            viewportRadius_ = static_cast<float>(std::sqrt(w * w + h * h) / 2);
            return;
        case TCameraStyle::csCustom:
            viewportRadius_ = static_cast<float>(std::sqrt(w * w + h * h) / 2);
            if (OnCustomPerspective) OnCustomPerspective(viewport, width, height, dpi, viewportRadius_);
            return;
        case TCameraStyle::csPerspective:
        case TCameraStyle::csOrthogonal:
        case TCameraStyle::csInfinitePerspective: break;
        default: throw EAssertionFailed();
    }
    const double maxDim = std::max(w, h);
    double fx, fy;
    if (cameraStyle_ == TCameraStyle::csOrthogonal) {
        fx = 100.0 * nearPlaneBias_ / (w * focalLength_ * sceneScale_);
        fy = 100.0 * nearPlaneBias_ / (h * focalLength_ * sceneScale_);
    } else {
        fx = nearPlaneBias_ / (w * sceneScale_);
        fy = nearPlaneBias_ / (h * sceneScale_);
    }
    const double vl = viewport.left, vt = viewport.top, vw = viewport.width, vh = viewport.height;
    const double right = w * ((2 * vw + 2 * vl - w) * fx) / (2 * maxDim);
    const double left = -w * ((w - 2 * vl) * fx) / (2 * maxDim);
    const double top = h * ((2 * vh + 2 * vt - h) * fy) / (2 * maxDim);
    const double bottom = -h * ((h - 2 * vt) * fy) / (2 * maxDim);
    nearPlane_ = static_cast<float>(focalLength_ * 2.0 * dpi / (25.4 * maxDim) * nearPlaneBias_);
    const double nearPlane = nearPlane_;
    const double farPlane = nearPlane + depthOfView_;
    if (cameraStyle_ == TCameraStyle::csPerspective) {
        glFrustum(left, right, bottom, top, nearPlane, farPlane);
    } else if (cameraStyle_ == TCameraStyle::csOrthogonal) {
        glOrtho(left, right, bottom, top, nearPlane, farPlane);
    } else {
        TMatrix4 m = IdentityMatrix;
        m(0, 0) = static_cast<float>(2 * nearPlane / (right - left));
        m(1, 1) = static_cast<float>(2 * nearPlane / (top - bottom));
        m(2, 0) = static_cast<float>((right + left) / (right - left));
        m(2, 1) = static_cast<float>((top + bottom) / (top - bottom));
        m(2, 2) = 0.0001f - 1;
        m(2, 3) = -1;
        m(3, 2) = static_cast<float>((0.0001 - 2) * nearPlane);
        m(3, 3) = 0;
        glMultMatrixf(m.Data());
    }
    viewportRadius_ = static_cast<float>(std::sqrt(right * right + top * top) / nearPlane);
}

void TCamera::ApplyView()
{
    if (DeferredApply) {
        DeferredApply(*this);
        return;
    }
    if (targetObject_) {
        const TVector4 p = AbsolutePosition();
        const TVector4 t = targetObject_->AbsolutePosition();
        lastDirection_ = Normalize(Sub(t, p));
        const TVector4& up = Up().AsVector();  // in the parent's frame, as the view's up hint
        gluLookAt(p.x, p.y, p.z, t.x, t.y, t.z, up.x, up.y, up.z);
    } else {
        const TMatrix4& m = Parent() && !Parent()->IsRoot() ? Parent()->AbsoluteMatrix() : IdentityMatrix;
        const TVector4 p = AbsolutePosition();
        const TVector4 d = Transform(Direction().AsVector(), m);
        lastDirection_ = d;
        const TVector4 u = Transform(Up().AsVector(), m);
        gluLookAt(p.x, p.y, p.z, p.x + d.x, p.y + d.y, p.z + d.z, u.x, u.y, u.z);
    }
    ClearStructureChanged();
}

void TCamera::DrawContent(TRenderContextInfo& rci, bool, bool drawChildren)
{
    if (drawChildren && ChildCount() > 0) RenderChildren(0, ChildCount() - 1, rci);
}

// ---- Light source -------------------------------------------------------------------------

TLightSource::TLightSource(TComponent* owner)
    : TBaseSceneObject(owner),
      spotDirection_(std::make_unique<TCoordinates>(this, TCoordinatesStyle::csVector, TVector4{0, 0, -1, 0})),
      ambient_(std::make_unique<TColor>(this, ColorBlack)),
      diffuse_(std::make_unique<TColor>(this, ColorWhite)),
      specular_(std::make_unique<TColor>(this, ColorBlack))
{
}

TLightSource::~TLightSource()
{
    BeginDestroy();
    if (Scene()) Scene()->UnregisterLight(this);
}

void TLightSource::SetSpotDirection(const TCoordinates& value)
{
    TVector4 v = value.AsVector();
    v.w = 0;
    spotDirection_->SetRaw(v);
    ReportChange(this);
}

void TLightSource::SetSpotExponent(float value)
{
    if (value == spotExponent_) return;
    spotExponent_ = value;
    ReportChange(this);
}

void TLightSource::SetSpotCutOff(float value)
{
    if (value == spotCutOff_) return;
    if (!((value >= 0 && value <= 90) || value == 180)) return;
    spotCutOff_ = value;
    ReportChange(this);
}

void TLightSource::SetConstAttenuation(float value)
{
    if (value == constAttenuation_) return;
    constAttenuation_ = value;
    ReportChange(this);
}

void TLightSource::SetLinearAttenuation(float value)
{
    if (value == linearAttenuation_) return;
    linearAttenuation_ = value;
    ReportChange(this);
}

void TLightSource::SetQuadraticAttenuation(float value)
{
    if (value == quadraticAttenuation_) return;
    quadraticAttenuation_ = value;
    ReportChange(this);
}

void TLightSource::SetShining(bool value)
{
    if (value == shining_) return;
    shining_ = value;
    ReportChange(this);
}

void TLightSource::SetLightStyle(TLightStyle value)
{
    if (value == lightStyle_) return;
    lightStyle_ = value;
    ReportChange(this);
}

void TLightSource::CoordinatesChanged(TCoordinates* holder)
{
    TBaseSceneObject::CoordinatesChanged(holder);
    if (holder == spotDirection_.get()) TransformChanged();
}

void TLightSource::DrawContent(TRenderContextInfo& rci, bool, bool drawChildren)
{
    if (drawChildren && ChildCount() > 0) RenderChildren(0, ChildCount() - 1, rci);
}

}  // namespace sauno
