// The material classes as the scene-description reader sees them.
#include "material/material_classes.h"

#include "platform/exception.h"
#include "runtime/reader.h"

namespace sauno {

namespace {

using describe::Enumeration;

void FaceProperties(ClassInfo& info, const std::string& prefix,
                    std::function<TFaceProperties&(TPersistent&)> face)
{
    for (const char* colour : {"Ambient", "Diffuse", "Specular", "Emission"}) {
        const std::string name = prefix + colour + ".Color";
        const std::string which = colour;
        info.properties[name] = [face, name, which](TPersistent& p, const PropValue& v, TReader&) {
            TFaceProperties& f = face(p);
            TColor& c = which == "Ambient" ? f.Ambient() : which == "Diffuse" ? f.Diffuse()
                        : which == "Specular" ? f.Specular() : f.Emission();
            c.ReadStreamed(v.AsBinary(name, 0));
        };
    }
    info.properties[prefix + "PolygonMode"] = [face, prefix](TPersistent& p, const PropValue& v, TReader&) {
        face(p).SetPolygonMode(Enumeration<TPolygonMode>(v, prefix + "PolygonMode", {"pmFill", "pmLines", "pmPoints"}));
    };
    info.properties[prefix + "Shininess"] = [face, prefix](TPersistent& p, const PropValue& v, TReader&) {
        const int64_t s = v.AsInteger(prefix + "Shininess");
        if (s < 0 || s > 128) throw Exception("Invalid property value for " + prefix + "Shininess");
        face(p).SetShininess(static_cast<uint8_t>(s));
    };
}

}  // namespace

void RegisterMaterialProperties(ClassInfo& info, const std::string& prefix, TMaterialAccessor material)
{
    auto set = [&info, &prefix](const std::string& name,
                                std::function<void(TPersistent&, const PropValue&, TReader&, const std::string&)> f) {
        const std::string full = prefix + name;
        info.properties[full] = [f, full](TPersistent& p, const PropValue& v, TReader& r) { f(p, v, r, full); };
    };
    FaceProperties(info, prefix + "FrontProperties.", [material](TPersistent& p) -> TFaceProperties& {
        return material(p).FrontProperties();
    });
    FaceProperties(info, prefix + "BackProperties.", [material](TPersistent& p) -> TFaceProperties& {
        return material(p).BackProperties();
    });
    set("BlendingMode", [material](TPersistent& p, const PropValue& v, TReader&, const std::string& n) {
        material(p).SetBlendingMode(Enumeration<TBlendingMode>(
            v, n, {"bmOpaque", "bmTransparency", "bmAdditive", "bmAlphaTest50", "bmAlphaTest100"}));
    });
    set("FaceCulling", [material](TPersistent& p, const PropValue& v, TReader&, const std::string& n) {
        material(p).SetFaceCulling(Enumeration<TFaceCulling>(v, n, {"fcBufferDefault", "fcCull", "fcNoCull"}));
    });
    set("MaterialOptions", [material](TPersistent& p, const PropValue& v, TReader&, const std::string& n) {
        if (v.kind != PropValue::Kind::Set) throw Exception("Invalid property value for " + n);
        uint8_t options = 0;
        for (const std::string& item : v.items) {
            if (item == "moIgnoreFog") options |= moIgnoreFog;
            else if (item == "moNoLighting") options |= moNoLighting;
            else throw Exception("Invalid property value for " + n);
        }
        material(p).SetMaterialOptions(options);
    });
    set("LibMaterialName", [material](TPersistent& p, const PropValue& v, TReader&, const std::string& n) {
        material(p).SetLibMaterialName(v.AsString(n));
    });
    set("MaterialLibrary", [material](TPersistent& p, const PropValue& v, TReader& reader, const std::string& n) {
        TMaterial* m = &material(p);
        reader.ResolveLater(v.AsIdent(n), v.line, [m, n, line = v.line](TComponent* c) {
            auto* library = dynamic_cast<TMaterialLibrary*>(c);
            if (!library)
                throw Exception("Scene description error at line " + std::to_string(line) + ": " + c->Name() +
                                " cannot be the " + n);
            m->SetMaterialLibrary(library);
        });
    });

    auto texture = [material](TPersistent& p) -> TTexture& { return material(p).Texture(); };
    set("Texture.Disabled", [texture](TPersistent& p, const PropValue& v, TReader&, const std::string& n) {
        texture(p).SetDisabled(v.AsBoolean(n));
    });
    set("Texture.ImageClassName", [texture](TPersistent& p, const PropValue& v, TReader&, const std::string& n) {
        texture(p).SetImageClassName(v.AsString(n));
    });
    set("Texture.ImageAlpha", [texture](TPersistent& p, const PropValue& v, TReader&, const std::string& n) {
        texture(p).SetImageAlpha(Enumeration<TTextureImageAlpha>(
            v, n,
            {"tiaDefault", "tiaAlphaFromIntensity", "tiaSuperBlackTransparent", "tiaLuminance", "tiaLuminanceSqrt",
             "tiaOpaque", "tiaTopLeftPointColorTransparent", "tiaInverseLuminance", "tiaInverseLuminanceSqrt"}));
    });
    set("Texture.ImageBrightness", [texture](TPersistent& p, const PropValue& v, TReader&, const std::string& n) {
        texture(p).SetImageBrightness(static_cast<float>(v.AsFloat(n)));
    });
    set("Texture.ImageGamma", [texture](TPersistent& p, const PropValue& v, TReader&, const std::string& n) {
        texture(p).SetImageGamma(static_cast<float>(v.AsFloat(n)));
    });
    set("Texture.MagFilter", [texture](TPersistent& p, const PropValue& v, TReader&, const std::string& n) {
        texture(p).SetMagFilter(Enumeration<TMagFilter>(v, n, {"maNearest", "maLinear"}));
    });
    set("Texture.MinFilter", [texture](TPersistent& p, const PropValue& v, TReader&, const std::string& n) {
        texture(p).SetMinFilter(Enumeration<TMinFilter>(
            v, n,
            {"miNearest", "miLinear", "miNearestMipmapNearest", "miLinearMipmapNearest", "miNearestMipmapLinear",
             "miLinearMipmapLinear"}));
    });
    set("Texture.TextureMode", [texture](TPersistent& p, const PropValue& v, TReader&, const std::string& n) {
        texture(p).SetTextureMode(Enumeration<TTextureMode>(v, n, {"tmDecal", "tmModulate", "tmBlend", "tmReplace"}));
    });
    set("Texture.TextureWrap", [texture](TPersistent& p, const PropValue& v, TReader&, const std::string& n) {
        texture(p).SetTextureWrap(
            Enumeration<TTextureWrap>(v, n, {"twBoth", "twNone", "twVertical", "twHorizontal"}));
    });
    set("Texture.MappingMode", [texture](TPersistent& p, const PropValue& v, TReader&, const std::string& n) {
        texture(p).SetMappingMode(Enumeration<TTextureMappingMode>(
            v, n,
            {"tmmUser", "tmmObjectLinear", "tmmEyeLinear", "tmmSphere", "tmmCubeMapReflection", "tmmCubeMapNormal",
             "tmmCubeMapLight0", "tmmCubeMapCamera"}));
    });
    set("Texture.EnvColor.Color", [texture](TPersistent& p, const PropValue& v, TReader&, const std::string& n) {
        texture(p).EnvColor().ReadStreamed(v.AsBinary(n, 0));
    });
    set("Texture.MappingSCoordinates.Coordinates",
        [texture](TPersistent& p, const PropValue& v, TReader&, const std::string& n) {
            texture(p).MappingSCoordinates().ReadStreamed(v.AsBinary(n, 0));
        });
    set("Texture.MappingTCoordinates.Coordinates",
        [texture](TPersistent& p, const PropValue& v, TReader&, const std::string& n) {
            texture(p).MappingTCoordinates().ReadStreamed(v.AsBinary(n, 0));
        });
    for (const char* side : {"Width", "Height"}) {
        const bool width = std::string_view(side) == "Width";
        set(std::string("Texture.Image.") + side,
            [texture, width](TPersistent& p, const PropValue& v, TReader&, const std::string& n) {
                auto* image = dynamic_cast<TBlankImage*>(&texture(p).Image());
                if (!image) throw Exception("Invalid property value for " + n + ": the image is not a blank image");
                const int64_t size = v.AsInteger(n);
                if (size < 0 || size > 65536) throw Exception("Invalid property value for " + n);
                if (width) image->SetWidth(static_cast<int>(size));
                else image->SetHeight(static_cast<int>(size));
            });
    }
    set("Texture.Image.Picture.Data", [texture](TPersistent& p, const PropValue& v, TReader&, const std::string& n) {
        auto* image = dynamic_cast<TPictureImage*>(&texture(p).Image());
        if (!image) throw Exception("Invalid property value for " + n + ": the image holds no picture");
        image->Picture().ReadData(v.AsBinary(n, 0));
        image->Invalidate();
    });
    set("Texture.TextureFormat", [texture](TPersistent& p, const PropValue& v, TReader&, const std::string& n) {
        texture(p).SetTextureFormat(Enumeration<TTextureFormat>(
            v, n,
            {"tfDefault", "tfRGB", "tfRGBA", "tfRGB16", "tfRGBA16", "tfAlpha", "tfLuminance", "tfLuminanceAlpha",
             "tfIntensity", "tfNormalMap"}));
    });
    set("Texture.Compression", [texture](TPersistent& p, const PropValue& v, TReader&, const std::string& n) {
        texture(p).SetCompression(Enumeration<TTextureCompression>(
            v, n, {"tcDefault", "tcNone", "tcStandard", "tcHighQuality", "tcHighSpeed"}));
    });
    set("Texture.FilteringQuality", [texture](TPersistent& p, const PropValue& v, TReader&, const std::string& n) {
        texture(p).SetFilteringQuality(
            Enumeration<TTextureFilteringQuality>(v, n, {"tfIsotropic", "tfAnisotropic"}));
    });
    set("Texture.NormalMapScale", [texture](TPersistent& p, const PropValue& v, TReader&, const std::string& n) {
        texture(p).SetNormalMapScale(static_cast<float>(v.AsFloat(n)));
    });
    const char* faces[] = {"PicturePX", "PictureNX", "PicturePY", "PictureNY", "PicturePZ", "PictureNZ"};
    for (int face = 0; face < 6; ++face) {
        set(std::string("Texture.Image.") + faces[face] + ".Data",
            [texture, face](TPersistent& p, const PropValue& v, TReader&, const std::string& n) {
                auto* image = dynamic_cast<TCubeMapImage*>(&texture(p).Image());
                if (!image) throw Exception("Invalid property value for " + n + ": the image is not a cube map");
                image->Picture(face).ReadData(v.AsBinary(n, 0));
                image->Invalidate();
            });
    }
    set("Texture.Image.PictureFileName",
        [texture](TPersistent& p, const PropValue& v, TReader&, const std::string& n) {
            auto* image = dynamic_cast<TPicFileImage*>(&texture(p).Image());
            if (!image) throw Exception("Invalid property value for " + n + ": the image is not a file image");
            image->SetPictureFileName(v.AsString(n));
        });
}

void RegisterMaterialClasses()
{
    using namespace describe;
    ClassRegistry& r = ClassRegistry::Instance();
    ClassInfo& item = r.Register("TLibMaterial", "", nullptr);
    String<TLibMaterial>(item, "Name", [](TLibMaterial& m, const std::string& v) { m.SetName(v); });
    Integer<TLibMaterial>(item, "Tag", [](TLibMaterial& m, int64_t v) { m.Tag = static_cast<int32_t>(v); });
    String<TLibMaterial>(item, "Texture2Name", [](TLibMaterial& m, const std::string& v) { m.SetTexture2Name(v); });
    Binary<TLibMaterial>(item, "TextureOffset.Coordinates", 0,
                         [](TLibMaterial& m, const std::vector<uint8_t>& b) { m.TextureOffset().ReadStreamed(b); });
    Binary<TLibMaterial>(item, "TextureScale.Coordinates", 0,
                         [](TLibMaterial& m, const std::vector<uint8_t>& b) { m.TextureScale().ReadStreamed(b); });
    RegisterMaterialProperties(item, "Material.",
                               [](TPersistent& p) -> TMaterial& { return static_cast<TLibMaterial&>(p).Material(); });

    ClassInfo& library =
        r.Register("TMaterialLibrary", "TComponent", [](TComponent* o) { return new TMaterialLibrary(o); });
    String<TMaterialLibrary>(library, "TexturePaths", [](TMaterialLibrary& l, const std::string& v) { l.TexturePaths = v; });
    Property<TMaterialLibrary>(library, "Materials", [](TMaterialLibrary& l, const PropValue& v, TReader& reader) {
        for (const auto& properties : v.AsCollection("Materials")) {
            TLibMaterial& m = l.Add();
            reader.ApplyProperties("TLibMaterial", properties, m);
        }
    });
}

}  // namespace sauno
