#pragma once
// The published properties of a material, for any class that owns one: they are registered
// under a prefix ("Material.") and reach the material through the class's accessor.
#include <functional>
#include <string>

#include "material/export.h"
#include "material/material.h"
#include "runtime/properties.h"

namespace sauno {

using TMaterialAccessor = std::function<TMaterial&(TPersistent&)>;
SAUNO_MATERIAL_EXPORT void RegisterMaterialProperties(ClassInfo& info, const std::string& prefix, TMaterialAccessor material);

}  // namespace sauno
