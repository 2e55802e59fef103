#include "material/material_classes.h"
#include "mesh/basemesh.h"
#include "runtime/reader.h"

namespace sauno {

void RegisterMeshClasses()
{
    using namespace describe;
    ClassRegistry& r = ClassRegistry::Instance();

    ClassInfo& freeForm = r.Register("TFreeForm", "TSceneObject", [](TComponent* o) { return new TFreeForm(o); });
    Property<TFreeForm>(freeForm, "AutoCentering", [](TFreeForm& f, const PropValue& v, TReader&) {
        if (v.kind != PropValue::Kind::Set) throw Exception("Invalid property value for AutoCentering");
        uint8_t flags = 0;
        for (const std::string& item : v.items) {
            if (item == "macCenterX") flags |= macCenterX;
            else if (item == "macCenterY") flags |= macCenterY;
            else if (item == "macCenterZ") flags |= macCenterZ;
            else if (item == "macUseBarycenter") flags |= macUseBarycenter;
            else throw Exception("Invalid property value for AutoCentering (line " + std::to_string(v.line) + ")");
        }
        f.AutoCentering = flags;
    });
    Reference<TFreeForm, TMaterialLibrary>(freeForm, "MaterialLibrary",
                                           [](TFreeForm& f, TMaterialLibrary* l) { f.SetMaterialLibrary(l); });
    Reference<TFreeForm, TMaterialLibrary>(freeForm, "LightmapLibrary",
                                           [](TFreeForm& f, TMaterialLibrary* l) { f.SetLightmapLibrary(l); });
    Bool<TFreeForm>(freeForm, "UseMeshMaterials", [](TFreeForm& f, bool v) { f.SetUseMeshMaterials(v); });
    Property<TFreeForm>(freeForm, "NormalsOrientation", [](TFreeForm& f, const PropValue& v, TReader&) {
        f.SetNormalsOrientation(Enumeration<TMeshNormalsOrientation>(v, "NormalsOrientation", {"mnoDefault", "mnoInvert"}));
    });
    RegisterMaterialProperties(freeForm, "Material.",
                               [](TPersistent& p) -> TMaterial& { return static_cast<TFreeForm&>(p).Material(); });
}

}  // namespace sauno
