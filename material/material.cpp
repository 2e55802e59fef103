#include "material/material.h"

#include <algorithm>

#include "engine/statecache.h"
#include "platform/exception.h"

namespace sauno {

namespace {
GLenum PolygonModeValue(TPolygonMode mode)
{
    return mode == TPolygonMode::pmLines ? GL_LINE : mode == TPolygonMode::pmPoints ? GL_POINT : GL_FILL;
}
}  // namespace

// ---- Face properties ----------------------------------------------------------------------

TFaceProperties::TFaceProperties(TPersistent* owner)
    : TUpdateAbleObject(owner),
      ambient_(std::make_unique<TColor>(this, TVector4{0.2f, 0.2f, 0.2f, 1})),
      diffuse_(std::make_unique<TColor>(this, TVector4{0.8f, 0.8f, 0.8f, 1})),
      specular_(std::make_unique<TColor>(this, ColorBlack)),
      emission_(std::make_unique<TColor>(this, ColorBlack))
{
}

void TFaceProperties::SetPolygonMode(TPolygonMode value)
{
    if (value == polygonMode_) return;
    polygonMode_ = value;
    ReportChange(this);
}

void TFaceProperties::SetShininess(uint8_t value)
{
    value = std::min<uint8_t>(value, 128);
    if (value == shininess_) return;
    shininess_ = value;
    ReportChange(this);
}

void TFaceProperties::Assign(const TFaceProperties& other)
{
    BeginUpdate();
    ambient_->SetColor(other.ambient_->Color());
    diffuse_->SetColor(other.diffuse_->Color());
    specular_->SetColor(other.specular_->Color());
    emission_->SetColor(other.emission_->Color());
    polygonMode_ = other.polygonMode_;
    shininess_ = other.shininess_;
    EndUpdate();
}

void TFaceProperties::Apply(TRenderContextInfo& rci, GLenum face)
{
    rci.stateCache->SetMaterialColors(face, emission_->Color(), ambient_->Color(), diffuse_->Color(),
                                      specular_->Color(), shininess_);
    rci.stateCache->SetPolygonMode(face, PolygonModeValue(polygonMode_));
}

void TFaceProperties::ApplyUnlit(TRenderContextInfo& rci, GLenum face)
{
    glColor4fv(diffuse_->Color().Data());
    rci.stateCache->SetPolygonMode(face, PolygonModeValue(polygonMode_));
}

// ---- Material -----------------------------------------------------------------------------

TMaterial::TMaterial(TPersistent* owner) : TUpdateAbleObject(owner), front_(std::make_unique<TFaceProperties>(this)) {}

TMaterial::~TMaterial()
{
    if (libMaterial_) libMaterial_->UnregisterUser(this);
    ReferTo(nullptr);
}

void TMaterial::ReferTo(TMaterialLibrary* library)
{
    if (library == materialLibrary_) return;
    if (materialLibrary_) std::erase(materialLibrary_->referringMaterials_, this);
    materialLibrary_ = library;
    if (materialLibrary_) materialLibrary_->referringMaterials_.push_back(this);
}

TFaceProperties& TMaterial::BackProperties()
{
    if (!back_) back_ = std::make_unique<TFaceProperties>(this);
    return *back_;
}

TTexture& TMaterial::Texture()
{
    if (!texture_) {
        texture_ = std::make_unique<TTexture>(this);
        texture_->OnTextureMappingChange = [this](TTexture&) { NotifyTexMapChange(); };
        // A library's material finds its picture files in the library's folders, also after its
        // texture was dropped and made again.
        if (auto* lib = dynamic_cast<TLibMaterial*>(Owner())) {
            TMaterialLibrary& library = lib->Library();
            texture_->OnResolvePictureFileName = [&library](const std::string& name) {
                return library.ResolvePictureFileName(name);
            };
        }
    }
    return *texture_;
}

void TMaterial::SetTexture(const TTexture* value)
{
    if (!value) texture_.reset();
    else if (value != texture_.get()) Texture().Assign(value);
    ReportChange(this);
}

void TMaterial::SetBlendingMode(TBlendingMode value)
{
    if (value == blendingMode_) return;
    blendingMode_ = value;
    ReportChange(this);
}

void TMaterial::SetMaterialOptions(uint8_t value)
{
    if (value == materialOptions_) return;
    materialOptions_ = value;
    ReportChange(this);
}

void TMaterial::SetFaceCulling(TFaceCulling value)
{
    if (value == faceCulling_) return;
    faceCulling_ = value;
    ReportChange(this);
}

void TMaterial::SetMaterialLibrary(TMaterialLibrary* value)
{
    ReferTo(value);
    SetLibMaterialName(libMaterialName_);
}

void TMaterial::SetLibMaterialName(const std::string& value)
{
    TLibMaterial* found = TMaterialLibrary::MaterialByName(materialLibrary_, value);
    // A chain of references longer than fifteen steps goes round in a circle.
    TLibMaterial* step = found;
    for (int depth = 0; step; ++depth) {
        if (depth > 15) throw Exception("Error: Cyclic material reference detected!");
        TMaterial& m = step->Material();
        step = TMaterialLibrary::MaterialByName(m.materialLibrary_, m.libMaterialName_);
    }
    libMaterialName_ = value;
    if (found != libMaterial_) {
        if (libMaterial_) libMaterial_->UnregisterUser(this);
        libMaterial_ = found;
        if (libMaterial_) libMaterial_->RegisterUser(this);
    }
    NotifyTexMapChange();
}

void TMaterial::ForgetLibMaterial()
{
    libMaterial_ = nullptr;
    libMaterialName_.clear();
}

void TMaterial::ForgetMaterialLibrary() { materialLibrary_ = nullptr; }

bool TMaterial::IsBlended() const
{
    if (libMaterial_) return libMaterial_->Material().IsBlended();
    return blendingMode_ == TBlendingMode::bmTransparency || blendingMode_ == TBlendingMode::bmAdditive;
}

void TMaterial::Apply(TRenderContextInfo& rci)
{
    if (libMaterial_) {
        libMaterial_->Apply(rci);
        return;
    }
    TStateCache& cache = *rci.stateCache;
    if ((materialOptions_ & moNoLighting) && cache.IsEnabled(TGLState::stLighting)) {
        cache.Disable(TGLState::stLighting);
        ++rci.lightingDisabledCounter;
    }
    if (cache.IsEnabled(TGLState::stLighting)) front_->Apply(rci, GL_FRONT);
    else front_->ApplyUnlit(rci, GL_FRONT);

    const bool culling = cache.IsEnabled(TGLState::stCullFace);
    const bool wantCull =
        faceCulling_ == TFaceCulling::fcCull || (faceCulling_ == TFaceCulling::fcBufferDefault && rci.bufferFaceCull);
    if (culling && !wantCull) {
        cache.Disable(TGLState::stCullFace);
        BackProperties().Apply(rci, GL_BACK);
    } else if (!culling && wantCull) {
        cache.Enable(TGLState::stCullFace);
    } else if (!culling) {
        BackProperties().Apply(rci, GL_BACK);
    }

    if (!rci.ignoreBlendingRequests) {
        switch (blendingMode_) {
            case TBlendingMode::bmOpaque:
                cache.Disable(TGLState::stBlend);
                cache.Disable(TGLState::stAlphaTest);
                break;
            case TBlendingMode::bmTransparency:
            case TBlendingMode::bmAdditive:
                cache.Enable(TGLState::stBlend);
                cache.Enable(TGLState::stAlphaTest);
                glBlendFunc(GL_SRC_ALPHA, blendingMode_ == TBlendingMode::bmAdditive ? GL_ONE : GL_ONE_MINUS_SRC_ALPHA);
                break;
            case TBlendingMode::bmAlphaTest50:
            case TBlendingMode::bmAlphaTest100:
                cache.Disable(TGLState::stBlend);
                cache.Enable(TGLState::stAlphaTest);
                glAlphaFunc(GL_GEQUAL, blendingMode_ == TBlendingMode::bmAlphaTest50 ? 0.5f : 1.0f);
                break;
        }
    }
    if ((materialOptions_ & moIgnoreFog) && cache.IsEnabled(TGLState::stFog)) {
        cache.Disable(TGLState::stFog);
        ++rci.fogDisabledCounter;
    }
    if (texture_) texture_->Apply(rci);
}

bool TMaterial::Revert(TRenderContextInfo& rci)
{
    if (libMaterial_) return libMaterial_->Revert(rci);
    TStateCache& cache = *rci.stateCache;
    if (blendingMode_ == TBlendingMode::bmAlphaTest50 || blendingMode_ == TBlendingMode::bmAlphaTest100)
        glAlphaFunc(GL_GREATER, 0);
    if ((materialOptions_ & moNoLighting) && rci.lightingDisabledCounter > 0)
        if (--rci.lightingDisabledCounter == 0) cache.Enable(TGLState::stLighting);
    if ((materialOptions_ & moIgnoreFog) && rci.fogDisabledCounter > 0)
        if (--rci.fogDisabledCounter == 0) cache.Enable(TGLState::stFog);
    if (texture_ && !texture_->Disabled()) texture_->Revert(rci);
    return false;
}

void TMaterial::ReleaseTextures()
{
    if (texture_) texture_->ReleaseTextures();
}

void TMaterial::PrepareTexture()
{
    if (texture_ && !texture_->Disabled()) texture_->EnsureTexture();
}

void TMaterial::Assign(const TMaterial& other)
{
    BeginUpdate();
    if (other.back_) BackProperties().Assign(*other.back_);
    else back_.reset();
    front_->Assign(*other.front_);
    blendingMode_ = other.blendingMode_;
    materialOptions_ = other.materialOptions_;
    SetTexture(other.texture_.get());
    faceCulling_ = other.faceCulling_;
    ReferTo(other.materialLibrary_);
    SetLibMaterialName(other.libMaterialName_);
    EndUpdate();
}

void TMaterial::ReportChange(TPersistent* sender)
{
    if (UpdateCount() > 0) return;
    if (auto* lib = dynamic_cast<TLibMaterial*>(Owner())) {
        lib->NotifyUsers();
        if (OnChangeReported) OnChangeReported(this);
        return;
    }
    TUpdateAbleObject::ReportChange(sender);
}

void TMaterial::NotifyTexMapChange()
{
    if (auto* lib = dynamic_cast<TLibMaterial*>(Owner())) {
        lib->NotifyUsersOfTexMapChange();
    } else if (auto* owner = dynamic_cast<TUpdateAbleComponent*>(Owner())) {
        owner->StructureChanged();
    }
    if (OnTexMapChange) OnTexMapChange();
}

// ---- Library material ---------------------------------------------------------------------

int32_t MaterialNameHash(const std::string& name)
{
    uint32_t h = static_cast<uint32_t>(name.size());
    for (unsigned char c : name) h = 2 * h + c;
    return static_cast<int32_t>(h);
}

TLibMaterial::TLibMaterial(TMaterialLibrary& library)
    : library_(library),
      material_(std::make_unique<TMaterial>(this)),
      textureOffset_(std::make_unique<TCoordinates>(this, TCoordinatesStyle::csFree, NullVector)),
      textureScale_(std::make_unique<TCoordinates>(this, TCoordinatesStyle::csFree, UnitScaleVector))
{
    material_->Texture();
    name_ = library.MakeUniqueName("LibMaterial", this);
    nameHash_ = MaterialNameHash(name_);
    // The texture matrix follows its holders.
    textureOffset_->OnChangeReported = [this](TUpdateAbleObject*) { CalculateTextureMatrix(); };
    textureScale_->OnChangeReported = [this](TUpdateAbleObject*) { CalculateTextureMatrix(); };
}

TLibMaterial::~TLibMaterial()
{
    if (texture2_) texture2_->UnregisterUser(this);
    for (TPersistent* user : std::vector<TPersistent*>(users_)) {
        if (auto* m = dynamic_cast<TMaterial*>(user)) m->ForgetLibMaterial();
        else if (auto* l = dynamic_cast<TLibMaterial*>(user)) l->texture2_ = nullptr;
    }
}

void TLibMaterial::SetName(const std::string& value)
{
    if (value == name_) return;
    name_ = library_.Loading() ? value : library_.MakeUniqueName(value, this);
    nameHash_ = MaterialNameHash(name_);
}

void TLibMaterial::SetTexture2Name(const std::string& value)
{
    if (value == texture2Name_) return;
    texture2Name_ = value;
    if (texture2_) texture2_->UnregisterUser(this);
    texture2_ = nullptr;
    texture2LookedUp_ = false;
    NotifyUsers();
}

void TLibMaterial::RegisterUser(TPersistent* user)
{
    Assert(std::find(users_.begin(), users_.end(), user) == users_.end());
    users_.push_back(user);
}

void TLibMaterial::UnregisterUser(TPersistent* user)
{
    users_.erase(std::remove(users_.begin(), users_.end(), user), users_.end());
}

void TLibMaterial::NotifyUsers()
{
    if (notifying_) return;
    notifying_ = true;
    for (TPersistent* user : std::vector<TPersistent*>(users_)) {
        if (auto* m = dynamic_cast<TMaterial*>(user)) {
            if (auto* lib = dynamic_cast<TLibMaterial*>(m->Owner())) lib->NotifyUsers();
            else if (auto* owner = dynamic_cast<TUpdateAbleComponent*>(m->Owner())) owner->ReportChange(m);
            else if (auto* object = dynamic_cast<TUpdateAbleObject*>(m->Owner())) object->ReportChange(m);
        } else if (auto* l = dynamic_cast<TLibMaterial*>(user)) {
            l->NotifyUsers();
        } else if (auto* u = dynamic_cast<TUpdateAbleObject*>(user)) {
            u->ReportChange(material_.get());
        }
    }
    notifying_ = false;
}

void TLibMaterial::NotifyUsersOfTexMapChange()
{
    if (notifying_) return;
    notifying_ = true;
    for (TPersistent* user : std::vector<TPersistent*>(users_)) {
        if (auto* m = dynamic_cast<TMaterial*>(user)) m->NotifyTexMapChange();
        else if (auto* l = dynamic_cast<TLibMaterial*>(user)) l->NotifyUsersOfTexMapChange();
        else if (auto* u = dynamic_cast<TUpdateAbleObject*>(user)) u->ReportChange(material_.get());
    }
    notifying_ = false;
}

void TLibMaterial::CalculateTextureMatrix()
{
    const TVector4 offset = textureOffset_->AsVector(), scale = textureScale_->AsVector();
    if (offset == NullVector && scale == UnitScaleVector) {
        textureMatrixIsIdentity_ = true;
    } else {
        textureMatrixIsIdentity_ = false;
        textureMatrix_ = IdentityMatrix;
        textureMatrix_(0, 0) = scale.x;
        textureMatrix_(1, 1) = scale.y;
        textureMatrix_(2, 2) = scale.z;
        textureMatrix_.rows[3] = {offset.x, offset.y, offset.z, 1};
    }
    NotifyUsers();
}

void TLibMaterial::Assign(const TLibMaterial& other)
{
    name_ = library_.MakeUniqueName(other.name_, this);
    nameHash_ = MaterialNameHash(name_);
    material_->Assign(*other.material_);
    textureOffset_->Assign(*other.textureOffset_);
    textureScale_->Assign(*other.textureScale_);
    texture2Name_ = other.texture2Name_;
    CalculateTextureMatrix();
}

void TLibMaterial::Apply(TRenderContextInfo& rci)
{
    if (!texture2Name_.empty() && !texture2LookedUp_ && GLCapabilities().HasExtension("GL_ARB_multitexture")) {
        texture2LookedUp_ = true;
        texture2_ = library_.MaterialByName(texture2Name_);
        if (texture2_ && texture2_ != this) texture2_->RegisterUser(this);
        else {
            texture2_ = nullptr;
            texture2Name_.clear();
        }
    }
    if (UsesSecondTexture()) {
        if (!textureMatrixIsIdentity_) rci.stateCache->SetTextureMatrix(textureMatrix_);
        material_->Apply(rci);
        texture2_->Material().Texture().ApplyAsSecond(
            rci, texture2_->TextureMatrixIsIdentity() ? nullptr : &texture2_->TextureMatrix());
        SetTexCoordRouting(TTexCoordRouting::tcrDual);
        return;
    }
    TTexture& texture = material_->Texture();
    if (!texture.Disabled() && !textureMatrixIsIdentity_) rci.stateCache->SetTextureMatrix(textureMatrix_);
    material_->Apply(rci);
}

bool TLibMaterial::UsesSecondTexture()
{
    return texture2_ && texture2_->material_->HasTexture() && !texture2_->material_->Texture().Disabled();
}

bool TLibMaterial::Revert(TRenderContextInfo& rci)
{
    if (UsesSecondTexture()) {
        texture2_->Material().Texture().RevertAsSecond(rci, !texture2_->TextureMatrixIsIdentity());
        SetTexCoordRouting(TTexCoordRouting::tcrMain);
    }
    const bool again = material_->Revert(rci);
    if (!material_->Texture().Disabled() && !textureMatrixIsIdentity_) rci.stateCache->ResetTextureMatrix();
    return again;
}

// ---- Library ------------------------------------------------------------------------------

TMaterialLibrary::TMaterialLibrary(TComponent* owner) : TCadenceAbleComponent(owner) {}

TMaterialLibrary::~TMaterialLibrary()
{
    BeginDestroy();
    // Referring materials may outlive the library (a scene object destroyed after it).
    for (TMaterial* m : referringMaterials_) m->ForgetMaterialLibrary();
    referringMaterials_.clear();
    materials_.clear();
}

TLibMaterial& TMaterialLibrary::Add()
{
    materials_.push_back(std::make_unique<TLibMaterial>(*this));
    return *materials_.back();
}

void TMaterialLibrary::Delete(int index)
{
    if (index < 0 || index >= Count()) return;
    materials_.erase(materials_.begin() + index);
}

TLibMaterial* TMaterialLibrary::MaterialByName(const std::string& name) const
{
    const int32_t hash = MaterialNameHash(name);
    for (const auto& m : materials_)
        if (m->NameHash() == hash && m->Name() == name) return m.get();
    return nullptr;
}

TLibMaterial* TMaterialLibrary::MaterialByName(const TMaterialLibrary* library, const std::string& name)
{
    return library ? library->MaterialByName(name) : nullptr;
}

std::string TMaterialLibrary::MakeUniqueName(const std::string& base, const TLibMaterial* except) const
{
    auto taken = [&](const std::string& n) {
        return std::any_of(materials_.begin(), materials_.end(),
                           [&](const auto& m) { return m.get() != except && m->Name() == n; });
    };
    if (!taken(base)) return base;
    for (int i = 1;; ++i)
        if (!taken(base + std::to_string(i))) return base + std::to_string(i);
}

std::string TMaterialLibrary::ResolvePictureFileName(const std::string& name)
{
    std::string wanted = name;
    if (OnTextureNeeded) OnTextureNeeded(*this, wanted);
    size_t start = 0;
    while (start <= TexturePaths.size()) {
        size_t end = TexturePaths.find(';', start);
        if (end == std::string::npos) end = TexturePaths.size();
        std::string folder = TexturePaths.substr(start, end - start);
        folder.erase(0, folder.find_first_not_of(" \t"));
        folder.erase(folder.find_last_not_of(" \t") + 1);
        if (!folder.empty()) {
            if (folder.back() != '/') folder += '/';
            if (std::string found = FindPictureFile(folder, wanted); !found.empty()) return found;
        }
        start = end + 1;
    }
    return wanted;
}

void TMaterialLibrary::ReleaseTextures()
{
    for (auto& m : materials_) m->Material().ReleaseTextures();
}

void TMaterialLibrary::PrepareTextures()
{
    for (auto& m : materials_) m->PrepareTexture();
}

void TMaterialLibrary::Loaded()
{
    TCadenceAbleComponent::Loaded();
    for (auto& m : materials_) m->CalculateTextureMatrix();
}

}  // namespace sauno
