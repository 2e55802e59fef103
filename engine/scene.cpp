#include "engine/scene.h"

#include <algorithm>
#include <cmath>
#include <numbers>

#include "engine/buffer.h"
#include "engine/camera.h"
#include "engine/context.h"
#include "engine/statecache.h"
#include "platform/exception.h"

namespace sauno {

namespace {

// Sets a flag for the duration of a calculation that must not re-enter itself.
class Guard {
public:
    explicit Guard(bool& flag) : flag_(flag), previous_(flag) { flag_ = true; }
    ~Guard() { flag_ = previous_; }

private:
    bool& flag_;
    bool previous_;
};

constexpr uint8_t BothInverseMarks = ocAbsoluteMatrix | ocInvAbsoluteMatrix;

// right = a x b, with the two fallback axes when a and b are (nearly) parallel.
TVector4 RightOf(const TVector4& direction, const TVector4& up)
{
    TVector4 right = Cross(direction, up);
    if (Length3(right) < 1e-5f) right = Cross(ZAxisVector, up);
    if (Length3(right) < 1e-5f) right = Cross(XAxisVector, up);
    return right;
}

}  // namespace

// ---- Construction and destruction ---------------------------------------------------------

TBaseSceneObject::TBaseSceneObject(TComponent* owner)
    : TCoordinatesUpdateAbleComponent(owner),
      position_(std::make_unique<TCoordinates>(this, TCoordinatesStyle::csPoint, OriginPoint)),
      direction_(std::make_unique<TCoordinates>(this, TCoordinatesStyle::csVector, ZAxisVector)),
      up_(std::make_unique<TCoordinates>(this, TCoordinatesStyle::csVector, YAxisVector)),
      scale_(std::make_unique<TCoordinates>(this, TCoordinatesStyle::csVector, UnitScaleVector)),
      rotation_(std::make_unique<TCoordinates>(this, TCoordinatesStyle::csVector, NullVector))
{
}

TBaseSceneObject::~TBaseSceneObject()
{
    BeginDestroy();
    while (!afterSceneBuffers_.empty()) afterSceneBuffers_.back()->RemoveAfterSceneEffect(this);
    FreeChildCameras();
    listHandle_.reset();
    behaviours_.reset();
    if (parent_) parent_->RemoveChild(this, false);
    FreeChildren();
}

void TBaseSceneObject::CollectCameras(std::vector<TCamera*>& cameras)
{
    for (TBaseSceneObject* child : children_) {
        if (auto* camera = dynamic_cast<TCamera*>(child)) cameras.push_back(camera);
        child->CollectCameras(cameras);
    }
}

void TBaseSceneObject::FreeChildCameras()
{
    std::vector<TCamera*> cameras;
    CollectCameras(cameras);
    for (TCamera* camera : cameras) {
        if (camera->parent_) camera->parent_->RemoveChild(camera, true);
        delete camera;
    }
}

// ---- Tree ---------------------------------------------------------------------------------

void TBaseSceneObject::AddChild(TBaseSceneObject* child)
{
    Assert(child != nullptr && child != this);
    if (scene_) scene_->RegisterLights(child);
    children_.push_back(child);
    child->parent_ = this;
    child->SetScene(scene_);
    TransformChanged();
}

void TBaseSceneObject::InsertChild(int index, TBaseSceneObject* child)
{
    Assert(child != nullptr && child != this);
    if (child->parent_) child->parent_->RemoveChild(child, false);
    index = std::clamp(index, 0, ChildCount());
    children_.insert(children_.begin() + index, child);
    child->parent_ = this;
    if (child->scene_ != scene_) {
        // Lists compiled for another scene's contexts are of no use here.
        std::function<void(TBaseSceneObject*)> drop = [&](TBaseSceneObject* n) {
            n->DestroyHandle();
            for (TBaseSceneObject* c : n->children_) drop(c);
        };
        drop(child);
    }
    child->SetScene(scene_);
    if (scene_) scene_->RegisterLights(child);
    child->TransformChanged();
}

void TBaseSceneObject::RemoveChild(TBaseSceneObject* child, bool keepChildren)
{
    auto it = std::find(children_.begin(), children_.end(), child);
    if (it == children_.end()) return;
    if (scene_) scene_->UnregisterLights(child);
    if (child->Owner() == this) RemoveComponent(child);
    children_.erase(it);
    child->parent_ = nullptr;
    if (keepChildren) {
        BeginUpdate();
        while (child->ChildCount() > 0) child->Child(0)->MoveTo(this);
        EndUpdate();
    } else {
        ReportChange(this);
    }
}

void TBaseSceneObject::MoveTo(TBaseSceneObject* newParent)
{
    if (parent_) parent_->RemoveChild(this, false);
    if (newParent) newParent->AddChild(this);
    else SetScene(nullptr);
}

void TBaseSceneObject::FreeChildren()
{
    FreeChildCameras();
    if (scene_)
        for (TBaseSceneObject* child : children_) scene_->UnregisterLights(child);
    while (!children_.empty()) {
        TBaseSceneObject* last = children_.back();
        children_.pop_back();
        last->parent_ = nullptr;
        delete last;
    }
}

void TBaseSceneObject::SetChildIndex(int index)
{
    if (!parent_) return;
    int count = parent_->ChildCount();
    index = std::clamp(index, 0, count - 1);
    if (parent_->IndexOfChild(this) == index) return;
    TScene* scene = scene_;
    TBaseSceneObject* parent = parent_;
    if (scene) scene->BeginUpdate();
    parent->RemoveChild(this, false);
    parent->InsertChild(index, this);
    if (scene) scene->EndUpdate();
}

int TBaseSceneObject::IndexOfChild(const TBaseSceneObject* child) const
{
    auto it = std::find(children_.begin(), children_.end(), child);
    return it == children_.end() ? -1 : static_cast<int>(it - children_.begin());
}

void TBaseSceneObject::MarkAsRoot(TScene* scene)
{
    isRoot_ = true;
    scene_ = scene;
}

void TBaseSceneObject::SetScene(TScene* scene)
{
    scene_ = scene;
    for (TBaseSceneObject* child : children_) child->SetScene(scene);
}

void TBaseSceneObject::SetParentComponent(TComponent* parent)
{
    if (auto* scene = dynamic_cast<TScene*>(parent)) {
        if (dynamic_cast<TCamera*>(this)) scene->Cameras().AddChild(this);
        else scene->Objects().AddChild(this);
    } else if (auto* node = dynamic_cast<TBaseSceneObject*>(parent)) {
        node->AddChild(this);
    }
}

void TBaseSceneObject::Loaded()
{
    TCoordinatesUpdateAbleComponent::Loaded();
    position_->SetByIndex(3, 1);
    if (behaviours_) behaviours_->Loaded();
}

void TBaseSceneObject::Notification(TComponent* component, TOperation operation)
{
    TCoordinatesUpdateAbleComponent::Notification(component, operation);
}

TBehaviours& TBaseSceneObject::Behaviours()
{
    if (!behaviours_) behaviours_ = std::make_unique<TBehaviours>(*this);
    return *behaviours_;
}

// ---- Properties ---------------------------------------------------------------------------

void TBaseSceneObject::SetPosition(const TCoordinates& value) { position_->SetPoint(value.X(), value.Y(), value.Z()); }

void TBaseSceneObject::SetDirection(const TCoordinates& value)
{
    if (IsZero3(value.AsVector())) return;
    direction_->SetVector(value.X(), value.Y(), value.Z());
}

void TBaseSceneObject::SetUp(const TCoordinates& value)
{
    if (IsZero3(value.AsVector())) return;
    up_->SetVector(value.X(), value.Y(), value.Z());
}

void TBaseSceneObject::SetScale(const TCoordinates& value)
{
    scale_->SetRaw(value.AsVector());
    TransformChanged();
}

void TBaseSceneObject::SetVisible(bool value)
{
    if (value == visible_) return;
    visible_ = value;
    ReportChange(this);
}

void TBaseSceneObject::SetShowAxes(bool value)
{
    if (value == showAxes_) return;
    showAxes_ = value;
    ReportChange(this);
}

void TBaseSceneObject::SetObjectsSorting(TObjectsSorting value)
{
    if (value == objectsSorting_) return;
    objectsSorting_ = value;
    ReportChange(this);
}

void TBaseSceneObject::SetVisibilityCulling(TVisibilityCulling value)
{
    if (value == visibilityCulling_) return;
    visibilityCulling_ = value;
    ReportChange(this);
}

void TBaseSceneObject::RotateBy(const TVector4& axis, float remembered, float target)
{
    Guard guard(calculating_);
    TMatrix4 m = AxisAngleMatrix(axis, Radians(remembered - target));
    up_->SetRaw(Normalize(Transform(up_->AsVector(), m)));
    direction_->SetRaw(Normalize(Transform(direction_->AsVector(), m)));
    TransformChanged();
}

void TBaseSceneObject::SetPitchAngle(float degrees)
{
    TVector4 r = rotation_->AsVector();
    if (degrees == r.x) return;
    if (!Loading()) RotateBy(Cross(direction_->AsVector(), up_->AsVector()), r.x, degrees);
    r.x = WrapDegrees(degrees);
    rotation_->SetRaw(r);
}

void TBaseSceneObject::SetTurnAngle(float degrees)
{
    TVector4 r = rotation_->AsVector();
    if (degrees == r.y) return;
    if (!Loading()) RotateBy(up_->AsVector(), r.y, degrees);
    r.y = WrapDegrees(degrees);
    rotation_->SetRaw(r);
}

void TBaseSceneObject::SetRollAngle(float degrees)
{
    TVector4 r = rotation_->AsVector();
    if (degrees == r.z) return;
    if (!Loading()) RotateBy(direction_->AsVector(), r.z, degrees);
    r.z = WrapDegrees(degrees);
    rotation_->SetRaw(r);
}

// ---- Matrices -----------------------------------------------------------------------------

void TBaseSceneObject::RebuildLocalMatrix()
{
    const TVector4 up = up_->AsVector(), direction = direction_->AsVector(), scale = scale_->AsVector();
    TVector4 right = Cross(up, direction);
    localMatrix_.rows[0] = MulScalar(right, scale.x);
    localMatrix_.rows[1] = MulScalar(up, scale.y);
    localMatrix_.rows[2] = MulScalar(direction, scale.z);
    localMatrix_.rows[3] = position_->AsVector();
    changes_ &= static_cast<uint8_t>(~ocTransformation);
    changes_ |= BothInverseMarks;
}

const TMatrix4& TBaseSceneObject::LocalMatrix()
{
    if (changes_ & ocTransformation) RebuildLocalMatrix();
    return localMatrix_;
}

const TMatrix4& TBaseSceneObject::AbsoluteMatrix()
{
    if (changes_ & ocAbsoluteMatrix) {
        const TMatrix4& local = LocalMatrix();
        // A root's own holders never count: its children live in scene space.
        if (!parent_ || parent_->isRoot_) absoluteMatrix_ = local;
        else absoluteMatrix_ = MatMul(local, parent_->AbsoluteMatrix());
        changes_ &= static_cast<uint8_t>(~ocAbsoluteMatrix);
        changes_ |= ocInvAbsoluteMatrix;
    }
    return absoluteMatrix_;
}

const TMatrix4& TBaseSceneObject::InverseAbsoluteMatrix()
{
    if (changes_ & ocInvAbsoluteMatrix) {
        if (BitEqual(scale_->AsVector(), UnitScaleVector)) {
            TMatrix4 inverse = InverseRigid(LocalMatrix());
            if (parent_ && !parent_->isRoot_) inverse = MatMul(parent_->InverseAbsoluteMatrix(), inverse);
            inverseAbsoluteMatrix_ = inverse;
        } else {
            inverseAbsoluteMatrix_ = Inverse(AbsoluteMatrix());
        }
        changes_ &= static_cast<uint8_t>(~ocInvAbsoluteMatrix);
    }
    return inverseAbsoluteMatrix_;
}

TVector4 TBaseSceneObject::AbsolutePosition() { return AbsoluteMatrix().rows[3]; }
TVector4 TBaseSceneObject::AbsoluteUp() { return Normalize(AbsoluteMatrix().rows[1]); }
TVector4 TBaseSceneObject::AbsoluteDirection() { return Normalize(AbsoluteMatrix().rows[2]); }
TVector4 TBaseSceneObject::AbsoluteToLocal(const TVector4& v) { return Transform(v, InverseAbsoluteMatrix()); }
TVector4 TBaseSceneObject::LocalToAbsolute(const TVector4& v) { return Transform(v, AbsoluteMatrix()); }

TVector4 TBaseSceneObject::BarycenterPosition() { return AbsolutePosition(); }
TVector4 TBaseSceneObject::HalfExtents() { return {0.5f, 0.5f, 0.5f, 0}; }

void TBaseSceneObject::OrbitAround(TBaseSceneObject* object, float pitchDelta, float turnDelta)
{
    if (!object) return;
    constexpr float pi = std::numbers::pi_v<float>;
    const TVector4 t = object->AbsolutePosition();
    const TVector4 p = AbsolutePosition();
    const TVector4 d = Sub(p, t);
    const float r = Length3(d);
    TVector4 n = Normalize(d);
    const TVector4 u = AbsoluteUp();
    TVector4 right = Cross(u, n);
    right = Length3(right) < 0.001f ? XAxisVector : Normalize(right);
    float elevation = Acos(Dot(u, n));
    // Stop short of the poles, where the up vector and the view would line up.
    elevation = Clamp(elevation + pitchDelta * pi / 180, 0.025f, 3.1165927f);
    n = RotateAround(u, right, -elevation);
    n = RotateAround(n, u, -turnDelta * pi / 180);
    n = MulScalar(n, r);
    TVector4 position = Add(p, Sub(n, d));
    if (parent_) position = parent_->AbsoluteToLocal(position);
    position_->SetAsVector(position);
}

// ---- Notification -------------------------------------------------------------------------

void TBaseSceneObject::ReportChange(TPersistent*)
{
    if (scene_ && updateCount_ == 0 && !Loading() && !Destroying()) scene_->ReportChange(this);
}

void TBaseSceneObject::MarkMatricesStale()
{
    changes_ |= BothInverseMarks;
    for (TBaseSceneObject* child : children_) {
        // A marked subtree has been marked all the way down already.
        if ((child->changes_ & BothInverseMarks) == BothInverseMarks) continue;
        child->MarkMatricesStale();
    }
}

void TBaseSceneObject::TransformChanged()
{
    if (changes_ & ocTransformation) return;
    changes_ |= ocTransformation;
    MarkMatricesStale();
    if (!Loading()) ReportChange(this);
}

void TBaseSceneObject::StructureChanged()
{
    if (!(changes_ & ocStructure)) {
        changes_ |= ocStructure;
        ReportChange(this);
    } else if (objectStyle_ & osDirectDraw) {
        ReportChange(this);
    }
}

void TBaseSceneObject::CoordinatesChanged(TCoordinates* holder)
{
    if (calculating_) return;
    Guard guard(calculating_);
    if (holder == direction_.get()) {
        if (direction_->Length() == 0) direction_->SetRaw(ZAxisVector);
        direction_->SetRaw(Normalize(direction_->AsVector()));
        TVector4 right = RightOf(direction_->AsVector(), up_->AsVector());
        up_->SetRaw(Normalize(Cross(right, direction_->AsVector())));
    } else if (holder == up_.get()) {
        if (up_->Length() == 0) up_->SetRaw(YAxisVector);
        up_->SetRaw(Normalize(up_->AsVector()));
        TVector4 right = RightOf(direction_->AsVector(), up_->AsVector());
        direction_->SetRaw(Normalize(Cross(up_->AsVector(), right)));
    }
    TransformChanged();
}

void TBaseSceneObject::EndUpdate()
{
    if (updateCount_ <= 0) throw Exception("Unbalanced Begin/EndUpdate");
    if (--updateCount_ == 0) ReportChange(this);
}

// ---- Progress -----------------------------------------------------------------------------

void TBaseSceneObject::DoProgress(const ProgressTimes& times)
{
    for (int i = ChildCount() - 1; i >= 0; --i)
        if (i < ChildCount()) Child(i)->DoProgress(times);
    if (behaviours_) behaviours_->DoProgress(times);
    if (OnProgress) OnProgress(this, times.deltaTime, times.newTime);
}

// ---- Rendering ----------------------------------------------------------------------------

bool TBaseSceneObject::FrustumContainsSphere(const TRenderContextInfo& rci)
{
    const TVector4 centre = AbsolutePosition();
    TVector4 half = HalfExtents();
    const TVector4 s = scale_->AsVector();
    const float radius = Length3({half.x * s.x, half.y * s.y, half.z * s.z, 0});
    const TFrustum& f = rci.rcci.frustum;
    for (const TPlane& plane : {f.left, f.top, f.right, f.bottom, f.near, f.far})
        if (plane.x * centre.x + plane.y * centre.y + plane.z * centre.z + plane.w < -radius) return false;
    return true;
}

void TBaseSceneObject::AxisAlignedBox(TVector4& low, TVector4& high)
{
    const TVector4 half = HalfExtents();
    const TMatrix4& m = AbsoluteMatrix();
    low = {INFINITY, INFINITY, INFINITY, 1};
    high = {-INFINITY, -INFINITY, -INFINITY, 1};
    for (int corner = 0; corner < 8; ++corner) {
        TVector4 p{corner & 1 ? half.x : -half.x, corner & 2 ? half.y : -half.y, corner & 4 ? half.z : -half.z, 1};
        TVector4 q = Transform(p, m);
        low = {std::min(low.x, q.x), std::min(low.y, q.y), std::min(low.z, q.z), 1};
        high = {std::max(high.x, q.x), std::max(high.y, q.y), std::max(high.z, q.z), 1};
    }
    for (TBaseSceneObject* child : children_) {
        TVector4 l, h;
        child->AxisAlignedBox(l, h);
        low = {std::min(low.x, l.x), std::min(low.y, l.y), std::min(low.z, l.z), 1};
        high = {std::max(high.x, h.x), std::max(high.y, h.y), std::max(high.z, h.z), 1};
    }
}

bool TBaseSceneObject::FrustumContainsBox(const TRenderContextInfo& rci)
{
    TVector4 low, high;
    AxisAlignedBox(low, high);
    const TFrustum& f = rci.rcci.frustum;
    for (const TPlane& plane : {f.left, f.top, f.right, f.bottom, f.near, f.far}) {
        // The box corner farthest along the plane's normal.
        TVector4 p{plane.x >= 0 ? high.x : low.x, plane.y >= 0 ? high.y : low.y, plane.z >= 0 ? high.z : low.z, 1};
        if (plane.x * p.x + plane.y * p.y + plane.z * p.z + plane.w < 0) return false;
    }
    return true;
}

void TBaseSceneObject::Render(TRenderContextInfo& rci)
{
    const bool hasChildren = !children_.empty();
    const bool neverCulled = (objectStyle_ & osNoVisibilityCulling) != 0;
    bool drawSelf = true, drawChildren = hasChildren;
    switch (rci.visibilityCulling) {
        case TVisibilityCulling::vcInherited:
        case TVisibilityCulling::vcNone: break;
        case TVisibilityCulling::vcObjectBased: drawSelf = neverCulled || FrustumContainsSphere(rci); break;
        case TVisibilityCulling::vcHierarchical:
            drawSelf = neverCulled || FrustumContainsBox(rci);
            drawChildren = drawSelf && hasChildren;
            break;
        default: throw Exception("Unknown visibility culling option");
    }
    if (!drawSelf && !drawChildren) return;

    glPushMatrix();
    glMultMatrixf(LocalMatrix().Data());
    TStateCache* cache = rci.stateCache;
    const bool ignoreDepth = (objectStyle_ & osIgnoreDepthBuffer) && cache;
    const bool depthWasOn = cache && cache->IsEnabled(TGLState::stDepthTest);
    try {
        if (drawSelf) {
            if (showAxes_) DrawAxes(rci, 0xCCCC);
            if (ignoreDepth) cache->Disable(TGLState::stDepthTest);
            DrawContent(rci, true, drawChildren);
            if (ignoreDepth && depthWasOn) cache->Enable(TGLState::stDepthTest);
            if ((objectStyle_ & osDoesTemperWithColorsOrFaceWinding) && cache) cache->ResetForPass();
        } else {
            if (ignoreDepth && depthWasOn) cache->Disable(TGLState::stDepthTest);
            DrawContent(rci, false, drawChildren);
            if (ignoreDepth && depthWasOn) cache->Enable(TGLState::stDepthTest);
        }
    } catch (...) {
        glPopMatrix();
        throw;
    }
    glPopMatrix();
}

void TBaseSceneObject::RenderAfterScene(TSceneBuffer&, TRenderContextInfo& rci)
{
    // The tree's matrices are popped by now: the node stands on the view alone.
    glPushMatrix();
    glMultMatrixf(AbsoluteMatrix().Data());
    try {
        DrawContent(rci, true, false);
    } catch (...) {
        glPopMatrix();
        throw;
    }
    glPopMatrix();
}

void TBaseSceneObject::DrawGeometry(TRenderContextInfo& rci)
{
    if ((objectStyle_ & osDirectDraw) || rci.drawDirectly) BuildGeometry(rci);
    else glCallList(ListHandle(rci));
}

void TBaseSceneObject::DrawContent(TRenderContextInfo& rci, bool drawSelf, bool drawChildren)
{
    if (drawSelf) DrawGeometry(rci);
    if (drawChildren) RenderChildren(0, ChildCount() - 1, rci);
}

void TBaseSceneObject::BuildGeometry(TRenderContextInfo&) {}

GLuint TBaseSceneObject::ListHandle(TRenderContextInfo& rci)
{
    if (listHandle_ && listHandle_->Handle() != 0 && !(changes_ & ocStructure)) return listHandle_->Handle();
    changes_ &= static_cast<uint8_t>(~ocStructure);
    if (!listHandle_) listHandle_ = std::make_unique<TListHandle>();
    if (listHandle_->Handle() == 0) listHandle_->AcquireName();
    Assert(listHandle_->Handle() != 0);
    glNewList(listHandle_->Handle(), GL_COMPILE);
    try {
        BuildGeometry(rci);
    } catch (...) {
        glEndList();
        throw;
    }
    glEndList();
    return listHandle_->Handle();
}

void TBaseSceneObject::DestroyHandle()
{
    listHandle_.reset();
    changes_ |= ocStructure;
}

void TBaseSceneObject::DrawAxes(TRenderContextInfo& rci, uint16_t pattern)
{
    float length = 100;
    if (rci.scene && rci.scene->CurrentCamera) length = rci.scene->CurrentCamera->DepthOfView();
    glPushAttrib(GL_ENABLE_BIT | GL_LINE_BIT | GL_LIGHTING_BIT);
    glDisable(GL_LIGHTING);
    glEnable(GL_LINE_STIPPLE);
    if (!rci.ignoreBlendingRequests) {
        glEnable(GL_BLEND);
        glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    }
    glLineWidth(1);
    glLineStipple(1, pattern);
    glBegin(GL_LINES);
    for (int axis = 0; axis < 3; ++axis) {
        float half[3] = {0, 0, 0}, full[3] = {0, 0, 0}, end[3] = {0, 0, 0};
        half[axis] = 0.5f;
        full[axis] = 1;
        end[axis] = length;
        glColor3fv(half);
        glVertex3f(0, 0, 0);
        glVertex3f(-end[0], -end[1], -end[2]);
        glColor3fv(full);
        glVertex3f(0, 0, 0);
        glVertex3fv(end);
    }
    glEnd();
    glPopAttrib();
}

void TBaseSceneObject::RenderChildren(int first, int last, TRenderContextInfo& rci)
{
    if (children_.empty()) return;
    const TVisibilityCulling savedCulling = rci.visibilityCulling;
    const TObjectsSorting savedSorting = rci.objectsSorting;
    if (visibilityCulling_ != TVisibilityCulling::vcInherited) rci.visibilityCulling = visibilityCulling_;
    struct Restore {
        TRenderContextInfo& rci;
        TVisibilityCulling culling;
        TObjectsSorting sorting;
        ~Restore()
        {
            rci.visibilityCulling = culling;
            rci.objectsSorting = sorting;
        }
    } restore{rci, savedCulling, savedSorting};

    first = std::max(first, 0);
    last = std::min(last, ChildCount() - 1);
    if (first == last) {
        if (Child(first)->Visible()) Child(first)->Render(rci);
        return;
    }
    if (first > last) return;
    if (objectsSorting_ != TObjectsSorting::osInherited) rci.objectsSorting = objectsSorting_;

    std::vector<std::pair<float, TBaseSceneObject*>> collected;
    auto distance2 = [&](TBaseSceneObject* c) { return Dist2(c->BarycenterPosition(), rci.cameraPosition); };
    for (int i = first; i <= last; ++i) {
        TBaseSceneObject* c = Child(i);
        if (!c->Visible()) continue;
        switch (rci.objectsSorting) {
            case TObjectsSorting::osNone:
            case TObjectsSorting::osInherited: c->Render(rci); break;
            case TObjectsSorting::osRenderFarthestFirst: collected.emplace_back(distance2(c) + 1, c); break;
            case TObjectsSorting::osRenderBlendedLast:
                if (c->IsBlended()) collected.emplace_back(distance2(c) + 1, c);
                else c->Render(rci);
                break;
            case TObjectsSorting::osRenderNearestFirst: collected.emplace_back(-1 - distance2(c), c); break;
            default: throw EAssertionFailed();
        }
    }
    std::stable_sort(collected.begin(), collected.end(),
                     [](const auto& a, const auto& b) { return a.first < b.first; });
    for (auto it = collected.rbegin(); it != collected.rend(); ++it) it->second->Render(rci);
}

// ---- Descendants --------------------------------------------------------------------------

void TCustomSceneObject::DrawContent(TRenderContextInfo& rci, bool drawSelf, bool drawChildren)
{
    if (drawSelf) {
        if (Scene()) Scene()->RenderedObject = this;
        if (rci.ignoreMaterials) {
            DrawGeometry(rci);
        } else {
            ApplyMaterial(rci);
            do {
                DrawGeometry(rci);
            } while (UnApplyMaterial(rci));
        }
    }
    if (drawChildren) RenderChildren(0, ChildCount() - 1, rci);
}

void TImmaterialSceneObject::DrawContent(TRenderContextInfo& rci, bool drawSelf, bool drawChildren)
{
    TBaseSceneObject::DrawContent(rci, drawSelf, drawChildren);
}

void TCameraInvariantObject::DrawContent(TRenderContextInfo& rci, bool drawSelf, bool drawChildren)
{
    if (camInvarianceMode_ == TCameraInvarianceMode::cimNone) {
        TImmaterialSceneObject::DrawContent(rci, drawSelf, drawChildren);
        return;
    }
    glPushMatrix();
    if (camInvarianceMode_ == TCameraInvarianceMode::cimPosition) {
        // The camera's position, as a move in this node's frame, added to its own.
        TVector4 move = rci.cameraPosition;
        move.w = 0;
        move = Transform(move, Inverse(AbsoluteMatrix()));
        glTranslatef(move.x, move.y, move.z);
    } else {
        // The view's rotation replaced by this node's own; where it stands is kept.
        GLfloat m[16];
        glGetFloatv(GL_MODELVIEW_MATRIX, m);
        const TMatrix4& own = AbsoluteMatrix();
        for (int column = 0; column < 3; ++column)
            for (int row = 0; row < 3; ++row) m[column * 4 + row] = own(size_t(column), size_t(row));
        glLoadMatrixf(m);
    }
    try {
        TImmaterialSceneObject::DrawContent(rci, drawSelf, drawChildren);
    } catch (...) {
        glPopMatrix();
        throw;
    }
    glPopMatrix();
}

void TCameraInvariantObject::SetCamInvarianceMode(TCameraInvarianceMode value)
{
    if (value == camInvarianceMode_) return;
    camInvarianceMode_ = value;
    ReportChange(this);
}

TDummyCube::TDummyCube(TComponent* owner)
    : TCameraInvariantObject(owner), edgeColor_(std::make_unique<TColor>(this, ColorWhite))
{
    SetObjectStyle(ObjectStyle() | osDirectDraw);
}

TDummyCube::~TDummyCube()
{
    BeginDestroy();
    groupList_.reset();
}

void TDummyCube::SetCubeSize(float value)
{
    if (value == cubeSize_) return;
    cubeSize_ = value;
    StructureChanged();
}

void TDummyCube::SetVisibleAtRunTime(bool value)
{
    if (value == visibleAtRunTime_) return;
    visibleAtRunTime_ = value;
    StructureChanged();
}

void TDummyCube::SetAmalgamate(bool value)
{
    if (value == amalgamate_) return;
    amalgamate_ = value;
    groupList_.reset();
    StructureChanged();
}

void TDummyCube::StructureChanged()
{
    // The amalgamated list holds the children too: it is made again.
    if (groupList_) groupList_.reset();
    TCameraInvariantObject::StructureChanged();
}

void TDummyCube::DrawContent(TRenderContextInfo& rci, bool drawSelf, bool drawChildren)
{
    if (OnVisibilityDetermination && !OnVisibilityDetermination(this, rci)) return;
    if (!amalgamate_) {
        TCameraInvariantObject::DrawContent(rci, drawSelf, drawChildren);
        return;
    }
    if (!groupList_ || groupList_->Handle() == 0) {
        if (!groupList_) groupList_ = std::make_unique<TListHandle>();
        groupList_->AcquireName();
        const bool savedDirect = rci.drawDirectly;
        rci.drawDirectly = true;
        glNewList(groupList_->Handle(), GL_COMPILE);
        try {
            TCameraInvariantObject::DrawContent(rci, drawSelf, drawChildren);
        } catch (...) {
            glEndList();
            rci.drawDirectly = savedDirect;
            throw;
        }
        glEndList();
        rci.drawDirectly = savedDirect;
    }
    glCallList(groupList_->Handle());
}

void TDummyCube::BuildGeometry(TRenderContextInfo&)
{
    // A running game shows only what the cube groups; its frame is for looking at the layout.
    if (!visibleAtRunTime_) return;
    const float h = cubeSize_ / 2;
    glPushAttrib(GL_ENABLE_BIT | GL_LINE_BIT | GL_CURRENT_BIT);
    glDisable(GL_LIGHTING);
    glEnable(GL_LINE_STIPPLE);
    glLineStipple(1, 0xAAAA);
    glColor4fv(edgeColor_->Color().Data());
    glBegin(GL_LINES);
    for (int a = 0; a < 3; ++a) {
        for (int corner = 0; corner < 4; ++corner) {
            float p[3], q[3];
            int b = (a + 1) % 3, c = (a + 2) % 3;
            p[a] = -h;
            q[a] = h;
            p[b] = q[b] = corner & 1 ? h : -h;
            p[c] = q[c] = corner & 2 ? h : -h;
            glVertex3fv(p);
            glVertex3fv(q);
        }
    }
    glEnd();
    glPopAttrib();
}

TVector4 TDummyCube::BarycenterPosition()
{
    if (ChildCount() == 0) return AbsolutePosition();
    TVector4 sum = NullVector;
    for (int i = 0; i < ChildCount(); ++i) sum = Add(sum, Child(i)->BarycenterPosition());
    return MulScalar(sum, 1.0f / static_cast<float>(ChildCount()));
}

TVector4 TDummyCube::HalfExtents()
{
    const float h = std::fabs(cubeSize_) / 2;
    return {h, h, h, 0};
}

TSceneRootObject::TSceneRootObject(TComponent* owner, TScene* scene) : TBaseSceneObject(owner)
{
    SetObjectStyle(osDirectDraw | osNoVisibilityCulling);
    MarkAsRoot(scene);
}

}  // namespace sauno

namespace sauno {

// ---- The scene ----------------------------------------------------------------------------

TScene::TScene(TComponent* owner)
    : TUpdateAbleComponent(owner), objects_(new TSceneRootObject(this, this)), cameras_(new TSceneRootObject(this, this))
{
    objects_->SetName("ObjectRoot");
    cameras_->SetName("CameraRoot");
}

TScene::~TScene()
{
    BeginDestroy();
    std::function<void(TBaseSceneObject*)> dropLists = [&](TBaseSceneObject* n) {
        n->DestroyHandle();
        for (int i = 0; i < n->ChildCount(); ++i) dropLists(n->Child(i));
    };
    dropLists(objects_);
    delete cameras_;
    cameras_ = nullptr;
    lights_.fill(nullptr);
    delete objects_;
    objects_ = nullptr;
    // Buffers still listed only lose their scene.
    buffers_.clear();
}

void TScene::SetParentComponent(TComponent*) {}

void TScene::RegisterLight(TLightSource* light)
{
    for (size_t i = 0; i < lights_.size(); ++i) {
        if (lights_[i] == light) return;
    }
    for (size_t i = 0; i < lights_.size(); ++i) {
        if (!lights_[i]) {
            lights_[i] = light;
            light->SetLightID(GL_LIGHT0 + static_cast<GLenum>(i));
            return;
        }
    }
    // A ninth light is not registered and never lit.
}

void TScene::UnregisterLight(TLightSource* light)
{
    for (auto& slot : lights_)
        if (slot == light) slot = nullptr;
}

void TScene::RegisterLights(TBaseSceneObject* node)
{
    if (auto* light = dynamic_cast<TLightSource*>(node)) RegisterLight(light);
    for (int i = 0; i < node->ChildCount(); ++i) RegisterLights(node->Child(i));
}

void TScene::UnregisterLights(TBaseSceneObject* node)
{
    if (auto* light = dynamic_cast<TLightSource*>(node)) UnregisterLight(light);
    for (int i = 0; i < node->ChildCount(); ++i) UnregisterLights(node->Child(i));
}

void TScene::Progress(double deltaTime, double newTime)
{
    ProgressTimes times{deltaTime, newTime};
    objects_->DoProgress(times);
    cameras_->DoProgress(times);
    if (OnProgress) OnProgress(this, deltaTime, newTime);
}

void TScene::ReportChange(TPersistent*)
{
    if (updateCount_ > 0 || Loading() || Destroying()) return;
    // By index: a buffer told of the change may detach itself.
    for (size_t i = 0; i < buffers_.size(); ++i) buffers_[i]->Changed(this);
}

void TScene::EndUpdate()
{
    if (updateCount_ <= 0) throw Exception("Unbalanced Begin/EndUpdate");
    if (--updateCount_ == 0) ReportChange(this);
}

void TScene::SetObjectsSorting(TObjectsSorting value)
{
    if (value == TObjectsSorting::osInherited) value = TObjectsSorting::osRenderBlendedLast;
    if (value == objectsSorting_) return;
    objectsSorting_ = value;
    ReportChange(this);
}

void TScene::SetVisibilityCulling(TVisibilityCulling value)
{
    if (value == TVisibilityCulling::vcInherited) value = TVisibilityCulling::vcNone;
    if (value == visibilityCulling_) return;
    visibilityCulling_ = value;
    ReportChange(this);
}

void TScene::AttachBuffer(TSceneBuffer* buffer)
{
    if (std::find(buffers_.begin(), buffers_.end(), buffer) != buffers_.end()) return;
    buffers_.push_back(buffer);
    if (buffers_.size() > 1) {
        TContext* base = buffers_.front()->RenderingContext();
        TContext* added = buffer->RenderingContext();
        if (base && added && base != added) {
            const auto& group = base->SharedContexts();
            // A buffer opened after the base was made sharing with it already.
            if (std::find(group.begin(), group.end(), added) == group.end()) base->ShareListsWith(*added);
        }
    }
}

void TScene::DetachBuffer(TSceneBuffer* buffer)
{
    buffers_.erase(std::remove(buffers_.begin(), buffers_.end(), buffer), buffers_.end());
}

TContext* TScene::BaseContext() const { return buffers_.empty() ? nullptr : buffers_.front()->RenderingContext(); }

void TScene::SetupLights(int maxLights)
{
    const int n = std::min(MaxLights, maxLights);
    glPushMatrix();
    for (int i = 0; i < n; ++i) {
        TLightSource* light = lights_[static_cast<size_t>(i)];
        if (!light) {
            glDisable(GL_LIGHT0 + static_cast<GLenum>(i));
            continue;
        }
        if (!light->Shining()) {
            glDisable(light->LightID());
            continue;
        }
        const GLenum id = light->LightID();
        glEnable(id);
        glPopMatrix();
        glPushMatrix();  // back to the camera's view
        light->LocalMatrix();
        if (light->LightStyle() == TLightStyle::lsParallel) {
            glMultMatrixf(light->AbsoluteMatrix().Data());
            TVector4 direction = light->SpotDirection().AsVector();
            direction.w = 0;
            glLightfv(id, GL_POSITION, direction.Data());
        } else {
            TBaseSceneObject* parent = light->Parent();
            if (parent && !parent->IsRoot()) glMultMatrixf(parent->AbsoluteMatrix().Data());
            TVector4 position = light->Position().AsVector();
            position.w = 1;
            glLightfv(id, GL_POSITION, position.Data());
        }
        glLightfv(id, GL_AMBIENT, light->Ambient().Color().Data());
        glLightfv(id, GL_DIFFUSE, light->Diffuse().Color().Data());
        glLightfv(id, GL_SPECULAR, light->Specular().Color().Data());
        if (light->LightStyle() == TLightStyle::lsSpot) {
            if (light->SpotCutOff() != 180) {
                glLightfv(id, GL_SPOT_DIRECTION, light->SpotDirection().AsVector().Data());
                glLightf(id, GL_SPOT_EXPONENT, light->SpotExponent());
            }
            glLightf(id, GL_SPOT_CUTOFF, light->SpotCutOff());
        } else {
            glLightf(id, GL_SPOT_CUTOFF, 180);
        }
        glLightf(id, GL_CONSTANT_ATTENUATION, light->ConstAttenuation());
        glLightf(id, GL_LINEAR_ATTENUATION, light->LinearAttenuation());
        glLightf(id, GL_QUADRATIC_ATTENUATION, light->QuadraticAttenuation());
    }
    glPopMatrix();
    for (int i = n; i < maxLights; ++i) glDisable(GL_LIGHT0 + static_cast<GLenum>(i));
}

}  // namespace sauno
