#pragma once
// Materials: how a surface is coloured, lit, blended and textured, or a reference by name to a
// shared material of a library. Applying one changes GL through the state cache of `rci`;
// reverting undoes what must not leak to the next object.
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "material/export.h"
#include "engine/coordinates.h"
#include "engine/rendercontextinfo.h"
#include "engine/updatable.h"
#include "material/texture.h"

namespace sauno {

class TMaterialLibrary;
class TLibMaterial;

// Names and order are part of the scene-description format.
enum class TPolygonMode : uint8_t { pmFill, pmLines, pmPoints };
enum class TBlendingMode : uint8_t { bmOpaque, bmTransparency, bmAdditive, bmAlphaTest50, bmAlphaTest100 };
enum TMaterialOption : uint8_t { moIgnoreFog = 1, moNoLighting = 2 };
enum class TFaceCulling : uint8_t { fcBufferDefault, fcCull, fcNoCull };

class SAUNO_MATERIAL_EXPORT TFaceProperties : public TUpdateAbleObject {
public:
    explicit TFaceProperties(TPersistent* owner);
    TColor& Ambient() { return *ambient_; }
    TColor& Diffuse() { return *diffuse_; }
    TColor& Specular() { return *specular_; }
    TColor& Emission() { return *emission_; }
    TPolygonMode PolygonMode() const { return polygonMode_; }
    void SetPolygonMode(TPolygonMode value);
    uint8_t Shininess() const { return shininess_; }
    void SetShininess(uint8_t value);
    // The four colours, polygon mode and shininess, with one change notice.
    void Assign(const TFaceProperties& other);
    void Apply(TRenderContextInfo& rci, GLenum face);
    void ApplyUnlit(TRenderContextInfo& rci, GLenum face);

private:
    std::unique_ptr<TColor> ambient_, diffuse_, specular_, emission_;
    TPolygonMode polygonMode_ = TPolygonMode::pmFill;
    uint8_t shininess_ = 0;
};

class SAUNO_MATERIAL_EXPORT TMaterial : public TUpdateAbleObject {
public:
    explicit TMaterial(TPersistent* owner);
    ~TMaterial() override;

    TFaceProperties& FrontProperties() { return *front_; }
    TFaceProperties& BackProperties();
    bool HasBackProperties() const { return back_ != nullptr; }
    TBlendingMode BlendingMode() const { return blendingMode_; }
    void SetBlendingMode(TBlendingMode value);
    // Made on first use, disabled.
    TTexture& Texture();
    bool HasTexture() const { return texture_ != nullptr; }
    // None frees the texture; another texture is copied.
    void SetTexture(const TTexture* value);
    TMaterialLibrary* MaterialLibrary() const { return materialLibrary_; }
    void SetMaterialLibrary(TMaterialLibrary* value);
    const std::string& LibMaterialName() const { return libMaterialName_; }
    void SetLibMaterialName(const std::string& value);
    TLibMaterial* LibMaterial() const { return libMaterial_; }
    uint8_t MaterialOptions() const { return materialOptions_; }
    void SetMaterialOptions(uint8_t value);
    TFaceCulling FaceCulling() const { return faceCulling_; }
    void SetFaceCulling(TFaceCulling value);

    void Apply(TRenderContextInfo& rci);
    // Answers whether the geometry is to be drawn once more.
    bool Revert(TRenderContextInfo& rci);
    bool IsBlended() const;
    void ReleaseTextures();
    void PrepareTexture();
    void Assign(const TMaterial& other);

    void ReportChange(TPersistent* sender) override;
    // The way the texture maps changed: compiled geometry that uses it must be made again.
    void NotifyTexMapChange();
    // Called by a library material that goes away while this one refers to it.
    void ForgetLibMaterial();
    // Called by the library this one refers to when it goes away.
    void ForgetMaterialLibrary();
    // Where texture-mapping changes of a material owned by a scene object go.
    std::function<void()> OnTexMapChange;

private:
    // Moves this material's entry from the old library's list of referring materials to the new one's.
    void ReferTo(TMaterialLibrary* library);

    std::unique_ptr<TFaceProperties> front_, back_;
    TBlendingMode blendingMode_ = TBlendingMode::bmOpaque;
    std::unique_ptr<TTexture> texture_;
    TMaterialLibrary* materialLibrary_ = nullptr;
    std::string libMaterialName_;
    uint8_t materialOptions_ = 0;
    TFaceCulling faceCulling_ = TFaceCulling::fcBufferDefault;
    TLibMaterial* libMaterial_ = nullptr;
};

class SAUNO_MATERIAL_EXPORT TLibMaterial : public TPersistent {
public:
    explicit TLibMaterial(TMaterialLibrary& library);
    ~TLibMaterial() override;

    TMaterialLibrary& Library() const { return library_; }
    const std::string& Name() const { return name_; }
    void SetName(const std::string& value);
    int32_t NameHash() const { return nameHash_; }
    TMaterial& Material() { return *material_; }
    TCoordinates& TextureOffset() { return *textureOffset_; }
    TCoordinates& TextureScale() { return *textureScale_; }
    const std::string& Texture2Name() const { return texture2Name_; }
    void SetTexture2Name(const std::string& value);
    int32_t Tag = 0;

    void Apply(TRenderContextInfo& rci);
    bool Revert(TRenderContextInfo& rci);
    void PrepareTexture() { material_->PrepareTexture(); }
    void CalculateTextureMatrix();
    bool TextureMatrixIsIdentity() const { return textureMatrixIsIdentity_; }
    const TMatrix4& TextureMatrix() const { return textureMatrix_; }
    // Copies material, texture offset and scale and the second texture's name; the name is
    // made unique.
    void Assign(const TLibMaterial& other);

    void RegisterUser(TPersistent* user);
    void UnregisterUser(TPersistent* user);
    const std::vector<TPersistent*>& Users() const { return users_; }
    // A change of this material reaches every user.
    void NotifyUsers();
    void NotifyUsersOfTexMapChange();
    // The second material was found and its texture is enabled.
    bool UsesSecondTexture();

private:
    TMaterialLibrary& library_;
    std::vector<TPersistent*> users_;
    std::string name_;
    int32_t nameHash_ = 0;
    std::unique_ptr<TMaterial> material_;
    std::unique_ptr<TCoordinates> textureOffset_, textureScale_;
    bool textureMatrixIsIdentity_ = true;
    TMatrix4 textureMatrix_ = IdentityMatrix;
    std::string texture2Name_;
    TLibMaterial* texture2_ = nullptr;
    bool texture2LookedUp_ = false;
    bool notifying_ = false;
};

// The hash by which library materials are looked up.
SAUNO_MATERIAL_EXPORT int32_t MaterialNameHash(const std::string& name);

class SAUNO_MATERIAL_EXPORT TMaterialLibrary : public TCadenceAbleComponent {
public:
    explicit TMaterialLibrary(TComponent* owner);
    ~TMaterialLibrary() override;

    int Count() const { return static_cast<int>(materials_.size()); }
    TLibMaterial& Materials(int i) const { return *materials_[static_cast<size_t>(i)]; }
    // A new entry at the end, named "LibMaterial" made unique.
    TLibMaterial& Add();
    void Delete(int index);
    // The first entry whose name equals `name` exactly; none without a library.
    TLibMaterial* MaterialByName(const std::string& name) const;
    static TLibMaterial* MaterialByName(const TMaterialLibrary* library, const std::string& name);
    // `base`, or base1, base2, … whichever no entry but `except` has.
    std::string MakeUniqueName(const std::string& base, const TLibMaterial* except) const;
    void ReleaseTextures();
    void PrepareTextures();
    // Folders separated by ';' where picture files are looked for by name.
    std::string TexturePaths;
    // May rewrite a picture file name before it is looked for.
    std::function<void(TMaterialLibrary& sender, std::string& name)> OnTextureNeeded;
    // The file a picture name stands for: the name after OnTextureNeeded, in the first folder of
    // TexturePaths that holds it (ASCII letter case aside), else as it is.
    std::string ResolvePictureFileName(const std::string& name);
    void Loaded() override;

private:
    friend class TMaterial;
    std::vector<std::unique_ptr<TLibMaterial>> materials_;
    // Materials whose MaterialLibrary is this one; they lose it when the library goes.
    std::vector<TMaterial*> referringMaterials_;
};

SAUNO_MATERIAL_EXPORT void RegisterMaterialClasses();

}  // namespace sauno
