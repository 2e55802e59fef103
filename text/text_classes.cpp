// The text classes as the scene-description reader sees them: their published properties.
#include "text/text_classes.h"

#include <map>
#include <string>

#include "platform/exception.h"
#include "runtime/reader.h"
#include "text/bitmapfont.h"
#include "text/hudtext.h"

namespace sauno {

namespace {

using describe::Enumeration;

std::string At(const PropValue& value) { return " (line " + std::to_string(value.line) + ")"; }

// A character property: a one-character string or a code.
uint8_t CharacterValue(const PropValue& value, const std::string& property)
{
    if (value.kind == PropValue::Kind::Integer) {
        if (value.integer < 0 || value.integer > 255)
            throw Exception("Invalid property value for " + property + At(value));
        return static_cast<uint8_t>(value.integer);
    }
    const std::string& text = value.AsString(property);
    if (text.size() != 1) throw Exception("Invalid property value for " + property + At(value));
    return static_cast<uint8_t>(text[0]);
}

uint32_t FontColorValue(const PropValue& value)
{
    if (value.kind == PropValue::Kind::Integer) return static_cast<uint32_t>(value.integer);
    static const std::map<std::string, uint32_t, std::less<>> names = {
        {"clBlack", 0x000000},  {"clMaroon", 0x000080}, {"clGreen", 0x008000}, {"clOlive", 0x008080},
        {"clNavy", 0x800000},   {"clPurple", 0x800080}, {"clTeal", 0x808000},  {"clGray", 0x808080},
        {"clSilver", 0xC0C0C0}, {"clRed", 0x0000FF},    {"clLime", 0x00FF00},  {"clYellow", 0x00FFFF},
        {"clBlue", 0xFF0000},   {"clFuchsia", 0xFF00FF}, {"clAqua", 0xFFFF00}, {"clWhite", 0xFFFFFF},
        {"clWindowText", 0x80000008}};
    auto it = names.find(value.AsIdent("Font.Color"));
    if (it == names.end()) throw Exception("Invalid property value for Font.Color" + At(value));
    return it->second;
}

uint8_t CharsetValue(const PropValue& value)
{
    if (value.kind == PropValue::Kind::Integer && value.integer >= 0 && value.integer <= 255)
        return static_cast<uint8_t>(value.integer);
    static const std::map<std::string, uint8_t, std::less<>> names = {
        {"ANSI_CHARSET", 0},        {"DEFAULT_CHARSET", 1},   {"SYMBOL_CHARSET", 2},   {"MAC_CHARSET", 77},
        {"SHIFTJIS_CHARSET", 128},  {"HANGEUL_CHARSET", 129}, {"JOHAB_CHARSET", 130},  {"GB2312_CHARSET", 134},
        {"CHINESEBIG5_CHARSET", 136}, {"GREEK_CHARSET", 161}, {"TURKISH_CHARSET", 162}, {"VIETNAMESE_CHARSET", 163},
        {"HEBREW_CHARSET", 177},    {"ARABIC_CHARSET", 178},  {"BALTIC_CHARSET", 186}, {"RUSSIAN_CHARSET", 204},
        {"THAI_CHARSET", 222},      {"EASTEUROPE_CHARSET", 238}, {"OEM_CHARSET", 255}};
    auto it = value.kind == PropValue::Kind::Ident ? names.find(value.text) : names.end();
    if (it == names.end()) throw Exception("Invalid property value for Font.Charset" + At(value));
    return it->second;
}

// The properties every font publishes; `Glyphs`-drawn fonts add their sheet's.
template <class F>
void FilterAndRangeProperties(ClassInfo& info)
{
    using namespace describe;
    Property<F>(info, "MagFilter", [](F& f, const PropValue& v, TReader&) {
        f.SetMagFilter(Enumeration<TMagFilter>(v, "MagFilter", {"maNearest", "maLinear"}));
    });
    Property<F>(info, "MinFilter", [](F& f, const PropValue& v, TReader&) {
        f.SetMinFilter(Enumeration<TMinFilter>(v, "MinFilter",
                                               {"miNearest", "miLinear", "miNearestMipmapNearest",
                                                "miLinearMipmapNearest", "miNearestMipmapLinear",
                                                "miLinearMipmapLinear"}));
    });
    Property<F>(info, "Ranges", [](F& f, const PropValue& v, TReader& reader) {
        TBitmapFontRanges ranges;
        for (const auto& properties : v.AsCollection("Ranges"))
            reader.ApplyProperties("TBitmapFontRange", properties, ranges.Add());
        f.SetRanges(ranges);
    });
}

}  // namespace

void RegisterTextClasses()
{
    using namespace describe;
    ClassRegistry& r = ClassRegistry::Instance();

    ClassInfo& range = r.Register("TBitmapFontRange", "", nullptr);
    Property<TBitmapFontRange>(range, "StartASCII", [](TBitmapFontRange& g, const PropValue& v, TReader&) {
        g.SetStartASCII(CharacterValue(v, "StartASCII"));
    });
    Property<TBitmapFontRange>(range, "StopASCII", [](TBitmapFontRange& g, const PropValue& v, TReader&) {
        g.SetStopASCII(CharacterValue(v, "StopASCII"));
    });
    Integer<TBitmapFontRange>(range, "StartGlyphIdx",
                              [](TBitmapFontRange& g, int64_t v) { g.SetStartGlyphIdx(static_cast<int32_t>(v)); });

    r.Register("TCustomBitmapFont", "TComponent", nullptr);

    ClassInfo& bitmap = r.Register("TBitmapFont", "TCustomBitmapFont", [](TComponent* o) { return new TBitmapFont(o); });
    FilterAndRangeProperties<TBitmapFont>(bitmap);
    Binary<TBitmapFont>(bitmap, "Glyphs.Data", 0, [](TBitmapFont& f, const std::vector<uint8_t>& bytes) {
        f.Glyphs().ReadData(bytes);
        f.GlyphsChanged();
    });
    auto integer = [&bitmap](const char* name, void (TCustomBitmapFont::*set)(int32_t)) {
        Integer<TBitmapFont>(bitmap, name, [set](TBitmapFont& f, int64_t v) { (f.*set)(static_cast<int32_t>(v)); });
    };
    integer("GlyphsIntervalX", &TCustomBitmapFont::SetGlyphsIntervalX);
    integer("GlyphsIntervalY", &TCustomBitmapFont::SetGlyphsIntervalY);
    integer("CharWidth", &TCustomBitmapFont::SetCharWidth);
    integer("CharHeight", &TCustomBitmapFont::SetCharHeight);
    integer("HSpace", &TCustomBitmapFont::SetHSpace);
    integer("VSpace", &TCustomBitmapFont::SetVSpace);
    Property<TBitmapFont>(bitmap, "GlyphsAlpha", [](TBitmapFont& f, const PropValue& v, TReader&) {
        f.SetGlyphsAlpha(Enumeration<TTextureImageAlpha>(
            v, "GlyphsAlpha",
            {"tiaDefault", "tiaAlphaFromIntensity", "tiaSuperBlackTransparent", "tiaLuminance", "tiaLuminanceSqrt",
             "tiaOpaque", "tiaTopLeftPointColorTransparent", "tiaInverseLuminance", "tiaInverseLuminanceSqrt"}));
    });

    ClassInfo& system =
        r.Register("TWindowsBitmapFont", "TCustomBitmapFont", [](TComponent* o) { return new TWindowsBitmapFont(o); });
    FilterAndRangeProperties<TWindowsBitmapFont>(system);
    using W = TWindowsBitmapFont;
    Property<W>(system, "Font.Charset", [](W& f, const PropValue& v, TReader&) { f.Font().SetCharset(CharsetValue(v)); });
    Property<W>(system, "Font.Color", [](W& f, const PropValue& v, TReader&) { f.Font().SetColor(FontColorValue(v)); });
    Integer<W>(system, "Font.Height", [](W& f, int64_t v) { f.Font().SetHeight(static_cast<int>(v)); });
    Integer<W>(system, "Font.Size", [](W& f, int64_t v) { f.Font().SetSize(static_cast<int>(v)); });
    String<W>(system, "Font.Name", [](W& f, const std::string& v) { f.Font().SetName(v); });
    Property<W>(system, "Font.Style", [](W& f, const PropValue& v, TReader&) {
        if (v.kind != PropValue::Kind::Set) throw Exception("Invalid property value for Font.Style" + At(v));
        bool bold = false, italic = false, underline = false, strikeOut = false;
        for (const std::string& s : v.items) {
            if (s == "fsBold") bold = true;
            else if (s == "fsItalic") italic = true;
            else if (s == "fsUnderline") underline = true;
            else if (s == "fsStrikeOut") strikeOut = true;
            else throw Exception("Invalid property value for Font.Style" + At(v));
        }
        f.Font().SetStyle(bold, italic, underline, strikeOut);
    });

    ClassInfo& hud = r.Register("THUDText", "TImmaterialSceneObject", [](TComponent* o) { return new THUDText(o); });
    Reference<THUDText, TCustomBitmapFont>(hud, "BitmapFont", [](THUDText& t, TCustomBitmapFont* f) { t.SetBitmapFont(f); });
    String<THUDText>(hud, "Text", [](THUDText& t, const std::string& v) { t.SetText(v); });
    Float<THUDText>(hud, "Rotation", [](THUDText& t, double v) { t.SetRotation(static_cast<float>(v)); });
    Property<THUDText>(hud, "Alignment", [](THUDText& t, const PropValue& v, TReader&) {
        t.SetAlignment(Enumeration<TAlignment>(v, "Alignment", {"taLeftJustify", "taRightJustify", "taCenter"}));
    });
    Property<THUDText>(hud, "Layout", [](THUDText& t, const PropValue& v, TReader&) {
        t.SetLayout(Enumeration<TTextLayout>(v, "Layout", {"tlTop", "tlCenter", "tlBottom"}));
    });
    Binary<THUDText>(hud, "ModulateColor.Color", 0,
                     [](THUDText& t, const std::vector<uint8_t>& bytes) { t.ModulateColor().ReadStreamed(bytes); });
}

}  // namespace sauno
