// The viewer classes as the scene-description reader sees them.
#include <initializer_list>
#include <map>
#include <string>

#include "engine/viewer.h"
#include "platform/exception.h"
#include "runtime/reader.h"

namespace sauno {

namespace {

using describe::Enumeration;


TDelphiColor ColorValue(const PropValue& value)
{
    if (value.kind == PropValue::Kind::Integer) return static_cast<TDelphiColor>(value.integer);
    static const std::map<std::string, TDelphiColor, std::less<>> names = {
        {"clBlack", clBlack}, {"clWhite", clWhite}, {"clBtnFace", clBtnFace}, {"clGray", 0x808080},
        {"clSilver", 0xC0C0C0}, {"clRed", 0x0000FF}, {"clGreen", 0x008000}, {"clBlue", 0xFF0000}};
    auto it = names.find(value.AsIdent("Buffer.BackgroundColor"));
    if (it == names.end())
        throw Exception("Invalid property value for Buffer.BackgroundColor (line " + std::to_string(value.line) + ")");
    return it->second;
}

// The buffer's published properties, reached through the viewer that owns it.
template <class V>
void BufferProperties(ClassInfo& info)
{
    using namespace describe;
    Property<V>(info, "Buffer.BackgroundColor",
                [](V& v, const PropValue& p, TReader&) { v.Buffer().SetBackgroundColor(ColorValue(p)); });
    Binary<V>(info, "Buffer.FogEnvironment.FogColor.Color", 0,
              [](V& v, const std::vector<uint8_t>& b) { v.Buffer().FogEnvironment().FogColor().ReadStreamed(b); });
    Float<V>(info, "Buffer.FogEnvironment.FogStart",
             [](V& v, double x) { v.Buffer().FogEnvironment().SetFogStart(static_cast<float>(x)); });
    Float<V>(info, "Buffer.FogEnvironment.FogEnd",
             [](V& v, double x) { v.Buffer().FogEnvironment().SetFogEnd(static_cast<float>(x)); });
    Property<V>(info, "Buffer.FogEnvironment.FogMode", [](V& v, const PropValue& p, TReader&) {
        v.Buffer().FogEnvironment().SetFogMode(Enumeration<TFogMode>(p, "FogMode", {"fmLinear", "fmExp", "fmExp2"}));
    });
    Property<V>(info, "Buffer.FogEnvironment.FogDistance", [](V& v, const PropValue& p, TReader&) {
        v.Buffer().FogEnvironment().SetFogDistance(
            Enumeration<TFogDistance>(p, "FogDistance", {"fdDefault", "fdEyeRadial", "fdEyePlane"}));
    });
    Bool<V>(info, "Buffer.FogEnable", [](V& v, bool x) { v.Buffer().SetFogEnable(x); });
    Bool<V>(info, "Buffer.DepthTest", [](V& v, bool x) { v.Buffer().SetDepthTest(x); });
    Bool<V>(info, "Buffer.FaceCulling", [](V& v, bool x) { v.Buffer().SetFaceCulling(x); });
    Bool<V>(info, "Buffer.Lighting", [](V& v, bool x) { v.Buffer().SetLighting(x); });
    Binary<V>(info, "Buffer.AmbientColor.Color", 0,
              [](V& v, const std::vector<uint8_t>& b) { v.Buffer().AmbientColor().ReadStreamed(b); });
    Integer<V>(info, "Buffer.AccumBufferBits",
               [](V& v, int64_t x) { v.Buffer().SetAccumBufferBits(static_cast<int32_t>(x)); });
    Property<V>(info, "Buffer.ContextOptions", [](V& v, const PropValue& p, TReader&) {
        if (p.kind != PropValue::Kind::Set) throw Exception("Invalid property value for Buffer.ContextOptions");
        static constexpr std::initializer_list<const char*> names = {
            "roDoubleBuffer",     "roStencilBuffer", "roRenderToWindow",     "roTwoSideLighting", "roStereo",
            "roDestinationAlpha", "roNoColorBuffer", "roNoColorBufferClear", "roNoSwapBuffers"};
        TContextOptions options = 0;
        for (const std::string& item : p.items) {
            PropValue one;
            one.kind = PropValue::Kind::Ident;
            one.text = item;
            one.line = p.line;
            options |= OptionBit(Enumeration<TContextOption>(one, "Buffer.ContextOptions", names));
        }
        v.Buffer().SetContextOptions(options);
    });
    Property<V>(info, "Buffer.ShadeModel", [](V& v, const PropValue& p, TReader&) {
        v.Buffer().SetShadeModel(Enumeration<TShadeModel>(p, "ShadeModel", {"smDefault", "smSmooth", "smFlat"}));
    });
    Property<V>(info, "Buffer.DepthPrecision", [](V& v, const PropValue& p, TReader&) {
        v.Buffer().SetDepthPrecision(
            Enumeration<TDepthPrecision>(p, "DepthPrecision", {"dpDefault", "dp16bits", "dp24bits", "dp32bits"}));
    });
    Property<V>(info, "Buffer.ColorDepth", [](V& v, const PropValue& p, TReader&) {
        v.Buffer().SetColorDepth(
            Enumeration<TColorDepth>(p, "ColorDepth", {"cdDefault", "cd8bits", "cd16bits", "cd24bits"}));
    });
    Property<V>(info, "VSync", [](V& v, const PropValue& p, TReader&) {
        v.VSync = Enumeration<TVSyncMode>(p, "VSync", {"vsmSync", "vsmNoSync"});
    });
    Reference<V, TCamera>(info, "Camera", [](V& v, TCamera* c) { v.SetCamera(c); });
}

}  // namespace

void RegisterViewerClasses()
{
    using namespace describe;
    ClassRegistry& r = ClassRegistry::Instance();
    ClassInfo& viewer = r.Register("TSceneViewer", "TControl", [](TComponent* o) { return new TSceneViewer(o); });
    BufferProperties<TSceneViewer>(viewer);
    Property<TSceneViewer>(viewer, "OnMouseEnter", [](TSceneViewer& v, const PropValue& p, TReader& rd) {
        v.OnMouseEnter = FormOf(rd).NotifyHandler(p.AsIdent("OnMouseEnter"));
    });
    Property<TSceneViewer>(viewer, "OnMouseLeave", [](TSceneViewer& v, const PropValue& p, TReader& rd) {
        v.OnMouseLeave = FormOf(rd).NotifyHandler(p.AsIdent("OnMouseLeave"));
    });

    ClassInfo& full =
        r.Register("TFullScreenViewer", "TComponent", [](TComponent* o) { return new TFullScreenViewer(o); });
    BufferProperties<TFullScreenViewer>(full);
    Integer<TFullScreenViewer>(full, "Width", [](TFullScreenViewer& v, int64_t x) { v.SetWidth(static_cast<int>(x)); });
    Integer<TFullScreenViewer>(full, "Height", [](TFullScreenViewer& v, int64_t x) { v.SetHeight(static_cast<int>(x)); });
    Integer<TFullScreenViewer>(full, "RefreshRate",
                               [](TFullScreenViewer& v, int64_t x) { v.RefreshRate = static_cast<int>(x); });
    Bool<TFullScreenViewer>(full, "StayOnTop", [](TFullScreenViewer& v, bool x) { v.SetStayOnTop(x); });
    Property<TFullScreenViewer>(full, "ScreenDepth", [](TFullScreenViewer& v, const PropValue& p, TReader&) {
        v.SetScreenDepth(Enumeration<TScreenDepth>(p, "ScreenDepth", {"sd8bits", "sd16bits", "sd24bits", "sd32bits"}));
    });
    Property<TFullScreenViewer>(full, "OnKeyDown", [](TFullScreenViewer& v, const PropValue& p, TReader& rd) {
        v.OnKeyDown = FormOf(rd).KeyHandler(p.AsIdent("OnKeyDown"));
    });
    Property<TFullScreenViewer>(full, "OnKeyUp", [](TFullScreenViewer& v, const PropValue& p, TReader& rd) {
        v.OnKeyUp = FormOf(rd).KeyHandler(p.AsIdent("OnKeyUp"));
    });
    Property<TFullScreenViewer>(full, "OnMouseDown", [](TFullScreenViewer& v, const PropValue& p, TReader& rd) {
        v.OnMouseDown = FormOf(rd).MouseHandler(p.AsIdent("OnMouseDown"));
    });
    Property<TFullScreenViewer>(full, "OnMouseUp", [](TFullScreenViewer& v, const PropValue& p, TReader& rd) {
        v.OnMouseUp = FormOf(rd).MouseHandler(p.AsIdent("OnMouseUp"));
    });
    Property<TFullScreenViewer>(full, "OnMouseMove", [](TFullScreenViewer& v, const PropValue& p, TReader& rd) {
        v.OnMouseMove = FormOf(rd).MouseMoveHandler(p.AsIdent("OnMouseMove"));
    });
    Property<TFullScreenViewer>(full, "OnMouseWheel", [](TFullScreenViewer& v, const PropValue& p, TReader& rd) {
        v.OnMouseWheel = FormOf(rd).MouseWheelHandler(p.AsIdent("OnMouseWheel"));
    });
    Property<TFullScreenViewer>(full, "OnKeyPress", [](TFullScreenViewer& v, const PropValue& p, TReader& rd) {
        v.OnKeyPress = FormOf(rd).KeyPressHandler(p.AsIdent("OnKeyPress"));
    });
    using NotifyMember = TNotifyEvent TFullScreenViewer::*;
    static const std::pair<const char*, NotifyMember> notifyEvents[] = {{"OnClick", &TFullScreenViewer::OnClick},
                                                                        {"OnDblClick", &TFullScreenViewer::OnDblClick},
                                                                        {"OnClose", &TFullScreenViewer::OnClose}};
    for (const auto& [name, member] : notifyEvents) {
        Property<TFullScreenViewer>(full, name, [name = name, member = member](TFullScreenViewer& v, const PropValue& p,
                                                                              TReader& rd) {
            v.*member = FormOf(rd).NotifyHandler(p.AsIdent(name));
        });
    }
    Property<TFullScreenViewer>(full, "Cursor", [](TFullScreenViewer& v, const PropValue& p, TReader&) {
        if (p.kind == PropValue::Kind::Integer) {
            v.SetCursor(static_cast<TCursor>(p.integer));
            return;
        }
        static const std::map<std::string, TCursor, std::less<>> names = {
            {"crDefault", crDefault},     {"crNone", crNone},         {"crArrow", crArrow},
            {"crCross", crCross},         {"crIBeam", crIBeam},       {"crSizeNESW", crSizeNESW},
            {"crSizeNS", crSizeNS},       {"crSizeNWSE", crSizeNWSE}, {"crSizeWE", crSizeWE},
            {"crHourGlass", crHourGlass}, {"crNo", crNo},             {"crHandPoint", crHandPoint},
            {"crSizeAll", crSizeAll}};
        auto it = names.find(p.AsIdent("Cursor"));
        if (it == names.end())
            throw Exception("Invalid property value for Cursor (line " + std::to_string(p.line) + ")");
        v.SetCursor(it->second);
    });
}

}  // namespace sauno
