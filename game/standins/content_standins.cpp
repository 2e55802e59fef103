#include "game/standins/content_standins.h"

#include "material/material_classes.h"
#include "runtime/reader.h"

namespace sauno {

void TFreeForm::LoadFromFile(const std::string&) {}

void THUDText::SetText(const std::string& value)
{
    if (value == text_) return;
    text_ = value;
    ReportChange(this);
}

void RegisterContentStandIns()
{
    using namespace describe;
    ClassRegistry& r = ClassRegistry::Instance();

    ClassInfo& freeForm = r.Register("TFreeForm", "TSceneObject", [](TComponent* o) { return new TFreeForm(o); });
    Reference<TFreeForm, TMaterialLibrary>(freeForm, "MaterialLibrary",
                                           [](TFreeForm& f, TMaterialLibrary* l) { f.MaterialLibrary = l; });
    Reference<TFreeForm, TMaterialLibrary>(freeForm, "LightmapLibrary",
                                           [](TFreeForm& f, TMaterialLibrary* l) { f.LightmapLibrary = l; });
    RegisterMaterialProperties(freeForm, "Material.",
                               [](TPersistent& p) -> TMaterial& { return static_cast<TFreeForm&>(p).Material(); });

    ClassInfo& font =
        r.Register("TWindowsBitmapFont", "TComponent", [](TComponent* o) { return new TWindowsBitmapFont(o); });
    String<TWindowsBitmapFont>(font, "Font.Name", [](TWindowsBitmapFont& f, const std::string& v) { f.FontName = v; });
    Integer<TWindowsBitmapFont>(font, "Font.Height", [](TWindowsBitmapFont& f, int64_t v) { f.FontHeight = int(v); });
    Property<TWindowsBitmapFont>(font, "Font.Style", [](TWindowsBitmapFont& f, const PropValue& v, TReader&) {
        if (v.kind != PropValue::Kind::Set) throw Exception("Invalid property value for Font.Style");
        for (const std::string& s : v.items) f.Bold = f.Bold || s == "fsBold";
    });
    Ignored(font, {"Font.Charset", "Font.Color"});

    ClassInfo& hud = r.Register("THUDText", "TImmaterialSceneObject", [](TComponent* o) { return new THUDText(o); });
    String<THUDText>(hud, "Text", [](THUDText& t, const std::string& v) { t.SetText(v); });
    Reference<THUDText, TWindowsBitmapFont>(hud, "BitmapFont",
                                            [](THUDText& t, TWindowsBitmapFont* f) { t.BitmapFont = f; });
    Ignored(hud, {"Alignment", "Layout"});

    ClassInfo& sample = r.Register("TSoundSample", "", nullptr);
    String<TSoundSample>(sample, "Name", [](TSoundSample& s, const std::string& v) { s.Name = v; });

    ClassInfo& sounds = r.Register("TSoundLibrary", "TComponent", [](TComponent* o) { return new TSoundLibrary(o); });
    Property<TSoundLibrary>(sounds, "Samples", [](TSoundLibrary& l, const PropValue& v, TReader& rd) {
        for (const auto& item : v.AsCollection("Samples")) {
            auto s = std::make_unique<TSoundSample>();
            rd.ApplyProperties("TSoundSample", item, *s);
            l.Samples.push_back(std::move(s));
        }
    });

    ClassInfo& manager = r.Register("TSMFMOD", "TComponent", [](TComponent* o) { return new TSMFMOD(o); });
    Bool<TSMFMOD>(manager, "Active", [](TSMFMOD& m, bool v) { m.Active = v; });
    Float<TSMFMOD>(manager, "MasterVolume", [](TSMFMOD& m, double v) { m.MasterVolume = float(v); });
    Reference<TSMFMOD, TBaseSceneObject>(manager, "Listener", [](TSMFMOD& m, TBaseSceneObject* o) { m.Listener = o; });
    Reference<TSMFMOD, TCadencer>(manager, "Cadencer", [](TSMFMOD& m, TCadencer* c) { m.Cadencer = c; });
    Property<TSMFMOD>(manager, "Sources", [](TSMFMOD&, const PropValue& v, TReader&) {
        if (!v.AsCollection("Sources").empty()) throw Exception("Invalid property value for Sources");
    });
}

}  // namespace sauno
