#include "mesh/basemesh.h"

#include <cmath>

#include "engine/context.h"
#include "engine/statecache.h"
#include "material/texture.h"

namespace sauno {

namespace {

// The render record carries libraries as opaque markers; the face groups hold the materials.
TMaterialLibraryBase* AsContextLibrary(TMaterialLibrary* library)
{
    return reinterpret_cast<TMaterialLibraryBase*>(library);
}

}  // namespace

TBaseMesh::TBaseMesh(TComponent* owner) : TSceneObject(owner), material_(std::make_unique<TMaterial>(this))
{
    SetObjectStyle(static_cast<uint8_t>(ObjectStyle() | osDoesTemperWithColorsOrFaceWinding));
    material_->OnTexMapChange = [this] { StructureChanged(); };
}

TBaseMesh::~TBaseMesh()
{
    DropMaterialLibraryCache();
    meshObjects_.Clear();
}

void TBaseMesh::SetLibrary(TMaterialLibrary*& slot, TMaterialLibrary* value, bool isMaterialLibrary)
{
    if (value == slot) return;
    if (isMaterialLibrary && cachesPrepared_) DropMaterialLibraryCache();
    if (slot) {
        // The list and the libraries' textures were made for the old library's materials.
        DestroyHandles();
        // Another reference to the same library keeps the mutual notification.
        TMaterialLibrary* other = isMaterialLibrary ? lightmapLibrary_ : materialLibrary_;
        if (other != slot) RemoveFreeNotification(slot);
    }
    slot = value;
    if (value) FreeNotification(value);
    StructureChanged();
}

void TBaseMesh::SetMaterialLibrary(TMaterialLibrary* value) { SetLibrary(materialLibrary_, value, true); }
void TBaseMesh::SetLightmapLibrary(TMaterialLibrary* value) { SetLibrary(lightmapLibrary_, value, false); }

void TBaseMesh::SetUseMeshMaterials(bool value)
{
    if (value == useMeshMaterials_) return;
    useMeshMaterials_ = value;
    if (!value && cachesPrepared_) DropMaterialLibraryCache();
    StructureChanged();
}

void TBaseMesh::SetNormalsOrientation(TMeshNormalsOrientation value)
{
    normalsOrientation_ = value;
    StructureChanged();
}

void TBaseMesh::Notification(TComponent* component, TOperation operation)
{
    if (operation == TOperation::opRemove) {
        if (component == materialLibrary_) SetMaterialLibrary(nullptr);
        if (component == lightmapLibrary_) SetLightmapLibrary(nullptr);
    }
    TSceneObject::Notification(component, operation);
}

void TBaseMesh::DestroyHandle()
{
    TBaseSceneObject::DestroyHandle();
    for (TMaterialLibrary* library : {materialLibrary_, lightmapLibrary_})
        if (library && !library->Destroying()) library->ReleaseTextures();
}

void TBaseMesh::PrepareMaterialLibraryCache()
{
    if (cachesPrepared_) DropMaterialLibraryCache();
    meshObjects_.PrepareMaterialLibraryCache(materialLibrary_);
    cachesPrepared_ = true;
}

void TBaseMesh::DropMaterialLibraryCache()
{
    if (!cachesPrepared_) return;
    meshObjects_.DropMaterialLibraryCache();
    cachesPrepared_ = false;
}

void TBaseMesh::StructureChanged()
{
    halfExtents_.x = -1;
    DropMaterialLibraryCache();
    TSceneObject::StructureChanged();
}

TVector4 TBaseMesh::HalfExtents()
{
    if (halfExtents_.x < 0) {
        TVector3 low, high;
        meshObjects_.GetExtents(low, high);
        TVector4 half{0, 0, 0, 0};
        for (size_t a = 0; a < 3; ++a)
            if (low[a] <= high[a]) half[a] = std::max(std::fabs(low[a]), std::fabs(high[a]));
        halfExtents_ = half;
    }
    return halfExtents_;
}

// ---- Loading ------------------------------------------------------------------------------

void TBaseMesh::LoadFromFile(const std::string& fileName)
{
    if (fileName.empty()) return;
    std::unique_ptr<TStream> stream = CreateFileStream(fileName, TFileMode::fmOpenRead);
    LoadFromStream(fileName, *stream);
}

void TBaseMesh::LoadFromStream(const std::string& fileName, TStream& stream)
{
    if (fileName.empty()) return;
    DropMaterialLibraryCache();
    meshObjects_.Clear();
    const TVectorFileClass& format = TVectorFileFormatsList::Instance().FindFromFileName(fileName);
    std::unique_ptr<TVectorFile> adapter = format(*this);
    adapter->ResourceName = fileName;
    adapter->NormalsOrientation = normalsOrientation_;
    TScene* scene = Scene();
    if (scene) scene->BeginUpdate();
    try {
        adapter->LoadFromStream(stream);
    } catch (...) {
        if (scene) scene->EndUpdate();
        // What was loaded so far stays, so it must be drawn afresh.
        StructureChanged();
        throw;
    }
    if (scene) scene->EndUpdate();
    adapter.reset();
    ApplyAutoCentering();
    StructureChanged();
}

void TBaseMesh::ApplyAutoCentering()
{
    TVector3 offset;
    if (AutoCentering & macUseBarycenter) {
        TVector3 sum;
        size_t count = 0;
        for (int i = 0; i < meshObjects_.Count(); ++i)
            for (const TVector3& v : meshObjects_.Items(i).Vertices) {
                sum = Add(sum, v);
                ++count;
            }
        if (count > 0) offset = MulScalar(sum, -1.0f / static_cast<float>(count));
    } else {
        TVector3 low, high;
        meshObjects_.GetExtents(low, high);
        const uint8_t flags[3] = {macCenterX, macCenterY, macCenterZ};
        for (size_t a = 0; a < 3; ++a)
            if ((AutoCentering & flags[a]) && low[a] <= high[a]) offset[a] = -(low[a] + high[a]) / 2;
    }
    if (offset == TVector3{}) return;
    for (int i = 0; i < meshObjects_.Count(); ++i) meshObjects_.Items(i).Translate(offset);
}

// ---- Drawing ------------------------------------------------------------------------------

void TBaseMesh::PrepareBuildList(TRenderContextInfo&)
{
    for (int i = 0; i < meshObjects_.Count(); ++i) {
        TMeshObject& mesh = meshObjects_.Items(i);
        if (!mesh.Visible || mesh.Mode != momFaceGroups) continue;
        for (int g = 0; g < mesh.FaceGroups().Count(); ++g)
            if (TLibMaterial* material = mesh.FaceGroups().Items(g).MaterialCache) material->PrepareTexture();
    }
    if (lightmapLibrary_) lightmapLibrary_->PrepareTextures();
}

void TBaseMesh::DrawContent(TRenderContextInfo& rci, bool drawSelf, bool drawChildren)
{
    // Texture unit 1 is kept for lightmaps while this object draws.
    struct Withhold {
        bool on;
        explicit Withhold(bool withhold) : on(withhold)
        {
            if (on) SetSecondTextureUnitWithheld(true);
        }
        ~Withhold()
        {
            if (on) SetSecondTextureUnitWithheld(false);
        }
    } withhold(lightmapLibrary_ != nullptr);

    if (drawSelf) {
        if (Scene()) Scene()->RenderedObject = this;
        const bool invert = normalsOrientation_ == mnoInvert && rci.stateCache;
        if (invert) rci.stateCache->InvertFrontFace();
        if (rci.ignoreMaterials) {
            DrawGeometry(rci);
        } else {
            if (useMeshMaterials_ && materialLibrary_) {
                if (!cachesPrepared_) PrepareMaterialLibraryCache();
                rci.materialLibrary = AsContextLibrary(materialLibrary_);
            } else {
                rci.materialLibrary = nullptr;
            }
            rci.lightmapLibrary = AsContextLibrary(lightmapLibrary_);
            const bool listStale = (Changes() & ocStructure) && !(ObjectStyle() & osDirectDraw);
            if (rci.drawDirectly || listStale) PrepareBuildList(rci);
            material_->Apply(rci);
            do {
                DrawGeometry(rci);
            } while (material_->Revert(rci));
            rci.materialLibrary = nullptr;
        }
        if (invert) rci.stateCache->InvertFrontFace();
    }
    if (drawChildren && ChildCount() > 0) RenderChildren(0, ChildCount() - 1, rci);
}

void TBaseMesh::BuildGeometry(TRenderContextInfo& rci)
{
    TMeshRenderInfo info;
    info.useMaterials = rci.materialLibrary != nullptr;
    info.lightmapLibrary = rci.lightmapLibrary ? lightmapLibrary_ : nullptr;
    info.hasMultitexture = GLCapabilities().HasExtension("GL_ARB_multitexture");
    info.hasCompiledArrays = GLCapabilities().HasExtension("GL_EXT_compiled_vertex_array");
    meshObjects_.BuildList(rci, info);
}

TFreeForm::TFreeForm(TComponent* owner) : TBaseMesh(owner) { SetUseMeshMaterials(true); }

}  // namespace sauno
