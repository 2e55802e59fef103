#pragma once
// Scene objects that draw loaded geometry. A TBaseMesh owns its mesh objects and a material of
// its own, and refers (without owning) to a material library for its face groups and to a
// lightmap library. Loading picks the format by the file's extension; the whole mesh is drawn
// from one display list rebuilt after each structure change, and the library materials of the
// face groups are looked up once per structure change.
#include <cstdint>
#include <memory>
#include <string>

#include "mesh/export.h"
#include "engine/scene.h"
#include "material/material.h"
#include "mesh/meshobjects.h"
#include "mesh/stream.h"
#include "mesh/vectorfile.h"

namespace sauno {

enum TMeshAutoCenteringFlag : uint8_t { macCenterX = 1, macCenterY = 2, macCenterZ = 4, macUseBarycenter = 8 };

class SAUNO_MESH_EXPORT TBaseMesh : public TSceneObject {
public:
    explicit TBaseMesh(TComponent* owner);
    ~TBaseMesh() override;

    TMeshObjectList& MeshObjects() { return meshObjects_; }
    const TMeshObjectList& MeshObjects() const { return meshObjects_; }
    TMaterial& Material() { return *material_; }

    TMaterialLibrary* MaterialLibrary() const { return materialLibrary_; }
    void SetMaterialLibrary(TMaterialLibrary* value);
    TMaterialLibrary* LightmapLibrary() const { return lightmapLibrary_; }
    void SetLightmapLibrary(TMaterialLibrary* value);
    bool UseMeshMaterials() const { return useMeshMaterials_; }
    void SetUseMeshMaterials(bool value);
    TMeshNormalsOrientation NormalsOrientation() const { return normalsOrientation_; }
    // Only the winding used when drawing changes; loaded normals stay as they are.
    void SetNormalsOrientation(TMeshNormalsOrientation value);
    // A set of TMeshAutoCenteringFlag, applied after every load.
    uint8_t AutoCentering = 0;
    // A model's texture file that cannot be loaded leaves its new material without a texture.
    bool TolerateMissingTextures = false;

    // Nothing for an empty name. A missing file raises "File not found: \"name\"" and keeps
    // the mesh objects; every other failure leaves what was loaded so far.
    void LoadFromFile(const std::string& fileName);
    void LoadFromStream(const std::string& fileName, TStream& stream);

    void PrepareMaterialLibraryCache();
    void DropMaterialLibraryCache();
    bool MaterialCachesPrepared() const { return cachesPrepared_; }
    // The display list and the GL objects of both libraries' materials,
    // whenever the list goes: a library changed, the scene destroyed, the
    // mesh moved into another scene.
    void DestroyHandle() override;
    void DestroyHandles() { DestroyHandle(); }

    void StructureChanged() override;
    TVector4 HalfExtents() override;
    void DrawContent(TRenderContextInfo& rci, bool drawSelf, bool drawChildren) override;
    void BuildGeometry(TRenderContextInfo& rci) override;
    int TriangleCount() const { return meshObjects_.TriangleCount(); }

protected:
    void Notification(TComponent* component, TOperation operation) override;

private:
    void ApplyAutoCentering();
    void PrepareBuildList(TRenderContextInfo& rci);
    void SetLibrary(TMaterialLibrary*& slot, TMaterialLibrary* value, bool isMaterialLibrary);

    TMeshObjectList meshObjects_;
    std::unique_ptr<TMaterial> material_;
    TMeshNormalsOrientation normalsOrientation_ = mnoDefault;
    TMaterialLibrary* materialLibrary_ = nullptr;
    TMaterialLibrary* lightmapLibrary_ = nullptr;
    TVector4 halfExtents_{-1, -1, -1, 0};  // x < 0: not computed
    bool useMeshMaterials_ = true;
    bool cachesPrepared_ = false;
};

class SAUNO_MESH_EXPORT TFreeForm : public TBaseMesh {
public:
    explicit TFreeForm(TComponent* owner);
};

// TFreeForm and its published properties, for the scene-description reader.
SAUNO_MESH_EXPORT void RegisterMeshClasses();

}  // namespace sauno
