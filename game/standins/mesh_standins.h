#pragma once
// STAND-IN for the free-form object: it keeps the names and properties the game uses and owns a
// real material, but loads nothing. The mesh issue replaces this file with the real class.
#include <string>

#include "engine/scene.h"
#include "material/material.h"

namespace sauno {

class TFreeForm : public TSceneObject {
public:
    using TSceneObject::TSceneObject;
    TMaterial& Material() { return material_; }
    TMaterialLibrary* MaterialLibrary = nullptr;
    TMaterialLibrary* LightmapLibrary = nullptr;
    // Stand-in: accepts any file name, present or not, and loads nothing.
    void LoadFromFile(const std::string& fileName);

private:
    TMaterial material_{this};
};

void RegisterMeshStandIns();

}  // namespace sauno
