#include "game/standins/text_standins.h"

#include "runtime/reader.h"

namespace sauno {

void THUDText::SetText(const std::string& value)
{
    if (value == text_) return;
    text_ = value;
    ReportChange(this);
}

void RegisterTextStandIns()
{
    using namespace describe;
    ClassRegistry& r = ClassRegistry::Instance();

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
}

}  // namespace sauno
