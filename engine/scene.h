#pragma once
// The scene tree: nodes with a position, an orientation and a scale relative to their parent,
// a visibility switch, ordered children and behaviours; the scene with its two roots, eight
// light slots and the buffers that draw it. Matrices and display lists are rebuilt lazily,
// driven by four change flags; every change travels up to the scene, which tells its buffers.
#include <GL/gl.h>

#include <array>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "engine/export.h"
#include "engine/behaviours.h"
#include "engine/coordinates.h"
#include "engine/rendercontextinfo.h"
#include "engine/updatable.h"
#include "engine/vectors.h"

namespace sauno {

class TScene;
class TSceneBuffer;
class TLightSource;
class TCamera;
class TListHandle;
class TContext;

enum class TCameraInvarianceMode : uint8_t { cimNone, cimPosition, cimOrientation };

// How a node draws.
enum TObjectStyleFlag : uint8_t {
    osDirectDraw = 1,              // no display list
    osDoesTemperWithColorsOrFaceWinding = 2,
    osIgnoreDepthBuffer = 4,
    osNoVisibilityCulling = 8,
};

// What is stale.
enum TObjectChangeFlag : uint8_t {
    ocTransformation = 1,     // the local matrix
    ocAbsoluteMatrix = 2,
    ocInvAbsoluteMatrix = 4,
    ocStructure = 8,          // the display list
};

using TProgressEvent = std::function<void(TComponent* sender, double deltaTime, double newTime)>;

class SAUNO_ENGINE_EXPORT TBaseSceneObject : public TCoordinatesUpdateAbleComponent {
public:
    explicit TBaseSceneObject(TComponent* owner);
    ~TBaseSceneObject() override;

    // ---- Tree --------------------------------------------------------------------------
    TBaseSceneObject* Parent() const { return parent_; }
    TScene* Scene() const { return scene_; }
    int ChildCount() const { return static_cast<int>(children_.size()); }
    // No range check: callers stay within 0..ChildCount() - 1.
    TBaseSceneObject* Child(int i) const { return children_[static_cast<size_t>(i)]; }
    void AddChild(TBaseSceneObject* child);
    // Makes a node of class N owned by this node's owner, as the last child.
    template <class N>
    N* AddNewChild()
    {
        N* child = new N(Owner());
        AddChild(child);
        return child;
    }
    void InsertChild(int index, TBaseSceneObject* child);
    void RemoveChild(TBaseSceneObject* child, bool keepChildren);
    void MoveTo(TBaseSceneObject* newParent);
    void FreeChildren();
    void SetChildIndex(int index);
    int IndexOfChild(const TBaseSceneObject* child) const;
    bool IsRoot() const { return isRoot_; }

    // ---- Holders and properties ---------------------------------------------------------
    TCoordinates& Position() { return *position_; }
    TCoordinates& Direction() { return *direction_; }
    TCoordinates& Up() { return *up_; }
    TCoordinates& Scale() { return *scale_; }
    const TCoordinates& Position() const { return *position_; }
    const TCoordinates& Direction() const { return *direction_; }
    const TCoordinates& Up() const { return *up_; }
    const TCoordinates& Scale() const { return *scale_; }
    void SetPosition(const TCoordinates& value);
    void SetDirection(const TCoordinates& value);
    void SetUp(const TCoordinates& value);
    void SetScale(const TCoordinates& value);

    float PitchAngle() const { return rotation_->X(); }
    float TurnAngle() const { return rotation_->Y(); }
    float RollAngle() const { return rotation_->Z(); }
    void SetPitchAngle(float degrees);
    void SetTurnAngle(float degrees);
    void SetRollAngle(float degrees);
    void Pitch(float degrees) { SetPitchAngle(PitchAngle() + degrees); }
    void Turn(float degrees) { SetTurnAngle(TurnAngle() + degrees); }
    void Roll(float degrees) { SetRollAngle(RollAngle() + degrees); }

    bool Visible() const { return visible_; }
    void SetVisible(bool value);
    bool ShowAxes() const { return showAxes_; }
    void SetShowAxes(bool value);
    TObjectsSorting ObjectsSorting() const { return objectsSorting_; }
    void SetObjectsSorting(TObjectsSorting value);
    TVisibilityCulling VisibilityCulling() const { return visibilityCulling_; }
    void SetVisibilityCulling(TVisibilityCulling value);
    float TagFloat = 0;
    TProgressEvent OnProgress;
    TBehaviours& Behaviours();
    bool HasBehaviours() const { return behaviours_ != nullptr; }
    uint8_t ObjectStyle() const { return objectStyle_; }
    uint8_t Changes() const { return changes_; }

    // ---- Transform ----------------------------------------------------------------------
    const TMatrix4& LocalMatrix();
    const TMatrix4& AbsoluteMatrix();
    const TMatrix4& InverseAbsoluteMatrix();
    TVector4 AbsolutePosition();
    TVector4 AbsoluteUp();
    TVector4 AbsoluteDirection();
    TVector4 AbsoluteToLocal(const TVector4& v);
    TVector4 LocalToAbsolute(const TVector4& v);
    void OrbitAround(TBaseSceneObject* object, float pitchDelta, float turnDelta);
    virtual TVector4 BarycenterPosition();
    virtual TVector4 HalfExtents();

    // ---- Notification -------------------------------------------------------------------
    void ReportChange(TPersistent* sender) override;
    void TransformChanged();
    void StructureChanged() override;
    void CoordinatesChanged(TCoordinates* holder) override;
    void BeginUpdate() { ++updateCount_; }
    void EndUpdate();
    void NotifyChange(TPersistent* sender) { ReportChange(sender); }

    // ---- Progress and rendering -----------------------------------------------------------
    void DoProgress(const ProgressTimes& times) override;
    void Render(TRenderContextInfo& rci);
    void RenderChildren(int first, int last, TRenderContextInfo& rci);
    virtual void DrawContent(TRenderContextInfo& rci, bool drawSelf, bool drawChildren);
    virtual void BuildGeometry(TRenderContextInfo& rci);
    // The display list of this node, compiled in the current context when stale.
    GLuint ListHandle(TRenderContextInfo& rci);
    // Drops the display list (its GL object goes with it); a node with GL
    // objects of its own drops those too.
    virtual void DestroyHandle();
    virtual bool IsBlended() { return false; }
    // Draws once more after the scene tree, when this node put itself on the buffer's
    // after-scene list during the pass: by default itself alone, at its absolute place.
    virtual void RenderAfterScene(TSceneBuffer& buffer, TRenderContextInfo& rci);
    void DrawAxes(TRenderContextInfo& rci, uint16_t pattern);

    void SetParentComponent(TComponent* parent) override;
    void Loaded() override;

protected:
    void Notification(TComponent* component, TOperation operation) override;
    // Draws self: from the display list, or directly for nodes that draw directly.
    void DrawGeometry(TRenderContextInfo& rci);
    void SetObjectStyle(uint8_t style) { objectStyle_ = style; }
    // The scene whose lights, lists and notices this subtree belongs to.
    virtual void SetScene(TScene* scene);
    bool Calculating() const { return calculating_; }
    void MarkAsRoot(TScene* scene);
    void ClearStructureChanged() { changes_ &= static_cast<uint8_t>(~ocStructure); }
    void RebuildLocalMatrix();

private:
    friend class TScene;
    friend class TSceneBuffer;
    void MarkMatricesStale();
    void RotateBy(const TVector4& axis, float remembered, float target);
    void FreeChildCameras();
    void CollectCameras(std::vector<TCamera*>& cameras);
    bool FrustumContainsSphere(const TRenderContextInfo& rci);
    bool FrustumContainsBox(const TRenderContextInfo& rci);
    void AxisAlignedBox(TVector4& low, TVector4& high);

    TMatrix4 localMatrix_ = IdentityMatrix;
    TMatrix4 absoluteMatrix_ = IdentityMatrix;
    TMatrix4 inverseAbsoluteMatrix_ = IdentityMatrix;
    uint8_t objectStyle_ = 0;
    std::unique_ptr<TListHandle> listHandle_;
    std::unique_ptr<TCoordinates> position_, direction_, up_, scale_, rotation_;
    uint8_t changes_ = ocTransformation | ocAbsoluteMatrix | ocInvAbsoluteMatrix | ocStructure;
    TBaseSceneObject* parent_ = nullptr;
    TScene* scene_ = nullptr;
    std::vector<TBaseSceneObject*> children_;  // freed by this node, last first
    bool visible_ = true;
    int32_t updateCount_ = 0;
    bool showAxes_ = false;
    bool calculating_ = false;
    bool isRoot_ = false;
    TObjectsSorting objectsSorting_ = TObjectsSorting::osInherited;
    TVisibilityCulling visibilityCulling_ = TVisibilityCulling::vcInherited;
    std::unique_ptr<TBehaviours> behaviours_;
    std::vector<TSceneBuffer*> afterSceneBuffers_;  // the buffers whose after-scene list holds this node
};

// Adds the material of its kind of object and a hint text.
class SAUNO_ENGINE_EXPORT TCustomSceneObject : public TBaseSceneObject {
public:
    using TBaseSceneObject::TBaseSceneObject;
    std::string Hint;
    void DrawContent(TRenderContextInfo& rci, bool drawSelf, bool drawChildren) override;

protected:
    // The material is applied around the geometry; UnApplyMaterial answers whether it wants
    // the geometry drawn once more. A node without a material draws with the current state.
    virtual void ApplyMaterial(TRenderContextInfo&) {}
    virtual bool UnApplyMaterial(TRenderContextInfo&) { return false; }
};

// Draws without applying a material.
class SAUNO_ENGINE_EXPORT TImmaterialSceneObject : public TCustomSceneObject {
public:
    using TCustomSceneObject::TCustomSceneObject;
    void DrawContent(TRenderContextInfo& rci, bool drawSelf, bool drawChildren) override;
};

class SAUNO_ENGINE_EXPORT TCameraInvariantObject : public TImmaterialSceneObject {
public:
    using TImmaterialSceneObject::TImmaterialSceneObject;
    TCameraInvarianceMode CamInvarianceMode() const { return camInvarianceMode_; }
    void SetCamInvarianceMode(TCameraInvarianceMode value);
    // cimPosition: drawn where it stands relative to the camera, so that it moves with it;
    // cimOrientation: drawn in its own orientation, whichever way the camera turns.
    void DrawContent(TRenderContextInfo& rci, bool drawSelf, bool drawChildren) override;

private:
    TCameraInvarianceMode camInvarianceMode_ = TCameraInvarianceMode::cimNone;
};

// An invisible grouping node: in the running game it draws only its children.
class SAUNO_ENGINE_EXPORT TDummyCube : public TCameraInvariantObject {
public:
    explicit TDummyCube(TComponent* owner);
    ~TDummyCube() override;
    float CubeSize() const { return cubeSize_; }
    void SetCubeSize(float value);
    TColor& EdgeColor() { return *edgeColor_; }
    bool VisibleAtRunTime() const { return visibleAtRunTime_; }
    void SetVisibleAtRunTime(bool value);
    bool Amalgamate() const { return amalgamate_; }
    void SetAmalgamate(bool value);
    // Answers whether to draw the cube and its children this frame.
    std::function<bool(TComponent* sender, TRenderContextInfo& rci)> OnVisibilityDetermination;

    void DrawContent(TRenderContextInfo& rci, bool drawSelf, bool drawChildren) override;
    void BuildGeometry(TRenderContextInfo& rci) override;
    TVector4 BarycenterPosition() override;
    TVector4 HalfExtents() override;
    void StructureChanged() override;

private:
    float cubeSize_ = 1;
    std::unique_ptr<TColor> edgeColor_;
    bool visibleAtRunTime_ = false;
    bool amalgamate_ = false;
    std::unique_ptr<TListHandle> groupList_;
};

// Material-drawing objects.
class SAUNO_ENGINE_EXPORT TSceneObject : public TCustomSceneObject {
public:
    using TCustomSceneObject::TCustomSceneObject;
};

// A root of a scene: draws directly, belongs to its scene from birth, is never culled.
class SAUNO_ENGINE_EXPORT TSceneRootObject : public TBaseSceneObject {
public:
    TSceneRootObject(TComponent* owner, TScene* scene);
};

class SAUNO_ENGINE_EXPORT TScene : public TUpdateAbleComponent {
public:
    static constexpr int MaxLights = 8;

    explicit TScene(TComponent* owner);
    ~TScene() override;

    TSceneRootObject& Objects() { return *objects_; }
    TSceneRootObject& Cameras() { return *cameras_; }

    void RegisterLight(TLightSource* light);
    void UnregisterLight(TLightSource* light);
    void RegisterLights(TBaseSceneObject* node);
    void UnregisterLights(TBaseSceneObject* node);
    TLightSource* Light(int slot) const { return lights_[static_cast<size_t>(slot)]; }
    // Loads the registered lights into GL for one frame; the model-view matrix is the view.
    void SetupLights(int maxLights);

    void Progress(double deltaTime, double newTime);
    TProgressEvent OnProgress;

    void ReportChange(TPersistent* sender) override;
    void BeginUpdate() { ++updateCount_; }
    void EndUpdate();

    TObjectsSorting ObjectsSorting() const { return objectsSorting_; }
    void SetObjectsSorting(TObjectsSorting value);
    TVisibilityCulling VisibilityCulling() const { return visibilityCulling_; }
    void SetVisibilityCulling(TVisibilityCulling value);

    // One scene pass of a frame: a fresh rci, then the tree (or `base`) renders itself.
    void RenderTree(TSceneBuffer& buffer, int width, int height, TDrawState drawState, TBaseSceneObject* base);

    // The buffers that draw this scene; the first one's context is the base context.
    void AttachBuffer(TSceneBuffer* buffer);
    void DetachBuffer(TSceneBuffer* buffer);
    const std::vector<TSceneBuffer*>& Buffers() const { return buffers_; }
    TContext* BaseContext() const;
    TSceneBuffer* CurrentBuffer = nullptr;
    TBaseSceneObject* RenderedObject = nullptr;
    TCamera* CurrentCamera = nullptr;

    void SetParentComponent(TComponent* parent) override;

private:
    TSceneRootObject* objects_;  // owned as components of the scene
    TSceneRootObject* cameras_;
    std::array<TLightSource*, MaxLights> lights_{};
    std::vector<TSceneBuffer*> buffers_;
    int32_t updateCount_ = 0;
    TObjectsSorting objectsSorting_ = TObjectsSorting::osRenderBlendedLast;
    TVisibilityCulling visibilityCulling_ = TVisibilityCulling::vcNone;
};

// The classes of this file, for the scene-description reader.
SAUNO_ENGINE_EXPORT void RegisterSceneClasses();

}  // namespace sauno
