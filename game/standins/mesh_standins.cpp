#include "game/standins/mesh_standins.h"

#include "material/material_classes.h"
#include "runtime/reader.h"

namespace sauno {

void TFreeForm::LoadFromFile(const std::string&) {}

void RegisterMeshStandIns()
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
}

}  // namespace sauno
