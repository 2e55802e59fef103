// The scene classes as the scene-description reader sees them: their published properties.
#include <initializer_list>
#include <string>

#include "engine/camera.h"
#include "engine/scene.h"
#include "platform/exception.h"
#include "runtime/reader.h"

namespace sauno {

namespace {

using describe::Enumeration;


constexpr std::initializer_list<const char*> SortingNames = {"osInherited", "osNone", "osRenderFarthestFirst",
                                                             "osRenderBlendedLast", "osRenderNearestFirst"};
constexpr std::initializer_list<const char*> CullingNames = {"vcInherited", "vcNone", "vcObjectBased",
                                                             "vcHierarchical"};

template <class T>
void Holder(ClassInfo& info, const std::string& name, TCoordinates& (T::*holder)())
{
    describe::Binary<T>(info, name, 0, [holder](T& t, const std::vector<uint8_t>& bytes) { (t.*holder)().ReadStreamed(bytes); });
}

template <class T>
void Colour(ClassInfo& info, const std::string& name, TColor& (T::*holder)())
{
    describe::Binary<T>(info, name, 0, [holder](T& t, const std::vector<uint8_t>& bytes) { (t.*holder)().ReadStreamed(bytes); });
}

}  // namespace

void RegisterSceneClasses()
{
    using namespace describe;
    using Node = TBaseSceneObject;
    ClassRegistry& r = ClassRegistry::Instance();

    ClassInfo& node = r.Register("TBaseSceneObject", "TComponent", nullptr);
    Integer<Node>(node, "Tag", [](Node& n, int64_t v) { n.Tag = static_cast<int32_t>(v); });
    Float<Node>(node, "TagFloat", [](Node& n, double v) { n.TagFloat = static_cast<float>(v); });
    Property<Node>(node, "ObjectsSorting", [](Node& n, const PropValue& v, TReader&) {
        n.SetObjectsSorting(Enumeration<TObjectsSorting>(v, "ObjectsSorting", SortingNames));
    });
    Property<Node>(node, "VisibilityCulling", [](Node& n, const PropValue& v, TReader&) {
        n.SetVisibilityCulling(Enumeration<TVisibilityCulling>(v, "VisibilityCulling", CullingNames));
    });
    Holder<Node>(node, "Direction.Coordinates", &Node::Direction);
    Holder<Node>(node, "Position.Coordinates", &Node::Position);
    Holder<Node>(node, "Scale.Coordinates", &Node::Scale);
    Holder<Node>(node, "Up.Coordinates", &Node::Up);
    Float<Node>(node, "PitchAngle", [](Node& n, double v) { n.SetPitchAngle(static_cast<float>(v)); });
    Float<Node>(node, "TurnAngle", [](Node& n, double v) { n.SetTurnAngle(static_cast<float>(v)); });
    Float<Node>(node, "RollAngle", [](Node& n, double v) { n.SetRollAngle(static_cast<float>(v)); });
    Bool<Node>(node, "ShowAxes", [](Node& n, bool v) { n.SetShowAxes(v); });
    Bool<Node>(node, "Visible", [](Node& n, bool v) { n.SetVisible(v); });
    // A node's behaviours and effects as a design tool streams them: read as data, kept by
    // nobody (this program adds its behaviours in code and draws no effects).
    for (const char* data : {"BehavioursData", "EffectsData"})
        Binary<Node>(node, data, 0, [](Node&, const std::vector<uint8_t>&) {});

    ClassInfo& custom = r.Register("TCustomSceneObject", "TBaseSceneObject", nullptr);
    String<TCustomSceneObject>(custom, "Hint", [](TCustomSceneObject& n, const std::string& v) { n.Hint = v; });
    r.Register("TImmaterialSceneObject", "TCustomSceneObject", nullptr);
    ClassInfo& invariant = r.Register("TCameraInvariantObject", "TImmaterialSceneObject", nullptr);
    Property<TCameraInvariantObject>(invariant, "CamInvarianceMode",
                                     [](TCameraInvariantObject& n, const PropValue& v, TReader&) {
                                         n.SetCamInvarianceMode(Enumeration<TCameraInvarianceMode>(
                                             v, "CamInvarianceMode", {"cimNone", "cimPosition", "cimOrientation"}));
                                     });
    r.Register("TSceneObject", "TCustomSceneObject", nullptr);

    ClassInfo& cube =
        r.Register("TDummyCube", "TCameraInvariantObject", [](TComponent* owner) { return new TDummyCube(owner); });
    Float<TDummyCube>(cube, "CubeSize", [](TDummyCube& c, double v) { c.SetCubeSize(static_cast<float>(v)); });
    Colour<TDummyCube>(cube, "EdgeColor.Color", &TDummyCube::EdgeColor);
    Bool<TDummyCube>(cube, "VisibleAtRunTime", [](TDummyCube& c, bool v) { c.SetVisibleAtRunTime(v); });
    Bool<TDummyCube>(cube, "Amalgamate", [](TDummyCube& c, bool v) { c.SetAmalgamate(v); });

    ClassInfo& camera = r.Register("TCamera", "TBaseSceneObject", [](TComponent* owner) { return new TCamera(owner); });
    Float<TCamera>(camera, "DepthOfView", [](TCamera& c, double v) { c.SetDepthOfView(static_cast<float>(v)); });
    Float<TCamera>(camera, "FocalLength", [](TCamera& c, double v) { c.SetFocalLength(static_cast<float>(v)); });
    Float<TCamera>(camera, "SceneScale", [](TCamera& c, double v) { c.SetSceneScale(static_cast<float>(v)); });
    Float<TCamera>(camera, "NearPlaneBias", [](TCamera& c, double v) { c.SetNearPlaneBias(static_cast<float>(v)); });
    Reference<TCamera, TBaseSceneObject>(camera, "TargetObject",
                                         [](TCamera& c, TBaseSceneObject* t) { c.SetTargetObject(t); });
    Property<TCamera>(camera, "CameraStyle", [](TCamera& c, const PropValue& v, TReader&) {
        c.SetCameraStyle(Enumeration<TCameraStyle>(
            v, "CameraStyle", {"csPerspective", "csOrthogonal", "csOrtho2D", "csCustom", "csInfinitePerspective"}));
    });

    ClassInfo& light =
        r.Register("TLightSource", "TBaseSceneObject", [](TComponent* owner) { return new TLightSource(owner); });
    Colour<TLightSource>(light, "Ambient.Color", &TLightSource::Ambient);
    Colour<TLightSource>(light, "Diffuse.Color", &TLightSource::Diffuse);
    Colour<TLightSource>(light, "Specular.Color", &TLightSource::Specular);
    Float<TLightSource>(light, "ConstAttenuation",
                        [](TLightSource& l, double v) { l.SetConstAttenuation(static_cast<float>(v)); });
    Float<TLightSource>(light, "LinearAttenuation",
                        [](TLightSource& l, double v) { l.SetLinearAttenuation(static_cast<float>(v)); });
    Float<TLightSource>(light, "QuadraticAttenuation",
                        [](TLightSource& l, double v) { l.SetQuadraticAttenuation(static_cast<float>(v)); });
    Property<TLightSource>(light, "LightStyle", [](TLightSource& l, const PropValue& v, TReader&) {
        l.SetLightStyle(Enumeration<TLightStyle>(v, "LightStyle", {"lsSpot", "lsOmni", "lsParallel"}));
    });
    Bool<TLightSource>(light, "Shining", [](TLightSource& l, bool v) { l.SetShining(v); });
    Float<TLightSource>(light, "SpotCutOff", [](TLightSource& l, double v) { l.SetSpotCutOff(static_cast<float>(v)); });
    Float<TLightSource>(light, "SpotExponent",
                        [](TLightSource& l, double v) { l.SetSpotExponent(static_cast<float>(v)); });
    Holder<TLightSource>(light, "SpotDirection.Coordinates", &TLightSource::SpotDirection);

    ClassInfo& scene = r.Register("TScene", "TComponent", [](TComponent* owner) { return new TScene(owner); });
    Property<TScene>(scene, "ObjectsSorting", [](TScene& s, const PropValue& v, TReader&) {
        s.SetObjectsSorting(Enumeration<TObjectsSorting>(v, "ObjectsSorting", SortingNames));
    });
    Property<TScene>(scene, "VisibilityCulling", [](TScene& s, const PropValue& v, TReader&) {
        s.SetVisibilityCulling(Enumeration<TVisibilityCulling>(v, "VisibilityCulling", CullingNames));
    });
}

}  // namespace sauno
