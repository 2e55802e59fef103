#include "mesh/meshobjects.h"

#include <GL/gl.h>
#include <GL/glext.h>
#include <SDL.h>

#include <algorithm>
#include <cmath>
#include <utility>

#include "engine/statecache.h"
#include "material/material.h"
#include "material/texture.h"

namespace sauno {

// ---- Face groups --------------------------------------------------------------------------

TFaceGroup::TFaceGroup(TFaceGroups& owner) : owner_(owner) { owner.items_.emplace_back(this); }

void TFaceGroup::PrepareMaterialCache(TMaterialLibrary* library)
{
    MaterialCache = MaterialName.empty() ? nullptr : TMaterialLibrary::MaterialByName(library, MaterialName);
}

void TFaceGroups::PrepareMaterialLibraryCache(TMaterialLibrary* library)
{
    for (auto& g : items_) g->PrepareMaterialCache(library);
}

void TFaceGroups::DropMaterialLibraryCache()
{
    for (auto& g : items_) g->DropMaterialCache();
}

namespace {

GLenum Primitive(uint8_t mode)
{
    switch (mode) {
        case fgmmTriangleStrip: return GL_TRIANGLE_STRIP;
        case fgmmTriangleFan: return GL_TRIANGLE_FAN;
        case fgmmQuads: return GL_QUADS;
        default: return GL_TRIANGLES;
    }
}

}  // namespace

void TFGVertexIndexList::BuildList(TRenderContextInfo& rci, const TMeshRenderInfo& info)
{
    if (VertexIndices.empty()) return;
    TMeshObject& mesh = Owner().Owner();
    // GL would read past the vertex arrays for an index outside them.
    const auto vertexCount = static_cast<int32_t>(mesh.Vertices.size());
    for (int32_t i : VertexIndices)
        if (i < 0 || i >= vertexCount) return;
    mesh.DeclareArraysToOpenGL(rci, info);
    mesh.EnableLightMapArray(rci, info, LightMapIndex);
    glDrawElements(Primitive(Mode), static_cast<GLsizei>(VertexIndices.size()), GL_UNSIGNED_INT, VertexIndices.data());
}

int TFGVertexIndexList::TriangleCount() const
{
    const int n = static_cast<int>(VertexIndices.size());
    switch (Mode) {
        case fgmmTriangles:
        case fgmmFlatTriangles: return n / 3;
        case fgmmQuads: return n / 4 * 2;
        default: return std::max(0, n - 2);
    }
}

// ---- Mesh objects -------------------------------------------------------------------------

void TBaseMeshObject::GetExtents(TVector3& low, TVector3& high) const
{
    low = high = {};
    if (Vertices.empty()) return;
    low = high = Vertices.front();
    for (const TVector3& v : Vertices)
        for (size_t a = 0; a < 3; ++a) {
            low[a] = std::min(low[a], v[a]);
            high[a] = std::max(high[a], v[a]);
        }
}

void TBaseMeshObject::Translate(const TVector3& delta)
{
    for (TVector3& v : Vertices) v = Add(v, delta);
}

TMeshObject::TMeshObject(TMeshObjectList* owner) : owner_(owner)
{
    if (owner_) owner_->items_.push_back(this);
}

TMeshObject::~TMeshObject()
{
    if (owner_) owner_->Remove(this);
}

int TMeshObject::TriangleCount() const
{
    switch (Mode) {
        case momTriangles: return static_cast<int>(Vertices.size() / 3);
        case momTriangleStrip: return std::max(0, static_cast<int>(Vertices.size()) - 2);
        default: {
            int total = 0;
            for (int i = 0; i < faceGroups_.Count(); ++i) total += faceGroups_.Items(i).TriangleCount();
            return total;
        }
    }
}

namespace {

// The compiled-vertex-array calls are not exported by the GL library; they are looked up once.
PFNGLLOCKARRAYSEXTPROC LockArrays()
{
    static auto f = reinterpret_cast<PFNGLLOCKARRAYSEXTPROC>(SDL_GL_GetProcAddress("glLockArraysEXT"));
    return f;
}
PFNGLUNLOCKARRAYSEXTPROC UnlockArrays()
{
    static auto f = reinterpret_cast<PFNGLUNLOCKARRAYSEXTPROC>(SDL_GL_GetProcAddress("glUnlockArraysEXT"));
    return f;
}

// Texture-coordinate arrays go to the units the process-wide routing names.
unsigned RoutedUnits()
{
    switch (TexCoordRouting()) {
        case TTexCoordRouting::tcrDrop: return 0;
        case TTexCoordRouting::tcrDual: return 3;
        case TTexCoordRouting::tcrSecond: return 2;
        default: return 1;
    }
}

}  // namespace

void TMeshObject::DeclareArraysToOpenGL(TRenderContextInfo& rci, const TMeshRenderInfo& info)
{
    if (arraysDeclared_) return;
    const size_t n = Vertices.size();
    if (n > 0) {
        glVertexPointer(3, GL_FLOAT, 0, Vertices.data());
        glEnableClientState(GL_VERTEX_ARRAY);
        verticesEnabled_ = true;
    }
    if (rci.ignoreMaterials) {
        glDisableClientState(GL_NORMAL_ARRAY);
        glDisableClientState(GL_COLOR_ARRAY);
        glDisableClientState(GL_TEXTURE_COORD_ARRAY);
    } else {
        // Only lists as long as the vertex list: GL reads one entry per vertex.
        if (n > 0 && Normals.size() == n) {
            glNormalPointer(GL_FLOAT, 0, Normals.data());
            glEnableClientState(GL_NORMAL_ARRAY);
            normalsEnabled_ = true;
        }
        if (n > 0 && Colors.size() == n) {
            glColorPointer(4, GL_FLOAT, 0, Colors.data());
            glEnableClientState(GL_COLOR_ARRAY);
            colorsEnabled_ = true;
        }
        if (n > 0 && TexCoords.size() == n) {
            const unsigned units = RoutedUnits();
            for (unsigned unit = 0; unit < 2; ++unit) {
                if (!(units & (1u << unit))) continue;
                glClientActiveTexture(GL_TEXTURE0 + unit);
                glTexCoordPointer(2, GL_FLOAT, sizeof(TVector3), TexCoords.data());
                glEnableClientState(GL_TEXTURE_COORD_ARRAY);
                texCoordsEnabled_ = true;
            }
            glClientActiveTexture(GL_TEXTURE0);
        }
        if (info.hasMultitexture && n > 0 && LightMapTexCoords.size() == n) {
            glClientActiveTexture(GL_TEXTURE1);
            glTexCoordPointer(2, GL_FLOAT, sizeof(TTexPoint), LightMapTexCoords.data());
            glEnableClientState(GL_TEXTURE_COORD_ARRAY);
            glClientActiveTexture(GL_TEXTURE0);
            texCoordsEnabled_ = true;
        }
    }
    if (info.hasCompiledArrays && LightMapTexCoords.empty() && n > 0 && LockArrays() && UnlockArrays()) {
        LockArrays()(0, static_cast<GLsizei>(n));
        arraysLocked_ = true;
    }
    lastLightMapIndex_ = -1;
    arraysDeclared_ = true;
    lightMapArrayEnabled_ = false;
}

void TMeshObject::DisableOpenGLArrays(TRenderContextInfo&, const TMeshRenderInfo&)
{
    if (!arraysDeclared_) return;
    if (arraysLocked_) UnlockArrays()();
    arraysLocked_ = false;
    if (lightMapArrayEnabled_) {
        glActiveTexture(GL_TEXTURE1);
        glDisable(GL_TEXTURE_2D);
        glActiveTexture(GL_TEXTURE0);
        lightMapArrayEnabled_ = false;
    }
    if (texCoordsEnabled_) {
        for (GLenum unit : {GL_TEXTURE1, GL_TEXTURE0}) {
            glClientActiveTexture(unit);
            glDisableClientState(GL_TEXTURE_COORD_ARRAY);
        }
    }
    if (colorsEnabled_) glDisableClientState(GL_COLOR_ARRAY);
    if (normalsEnabled_) glDisableClientState(GL_NORMAL_ARRAY);
    if (verticesEnabled_) glDisableClientState(GL_VERTEX_ARRAY);
    texCoordsEnabled_ = colorsEnabled_ = normalsEnabled_ = verticesEnabled_ = false;
    arraysDeclared_ = false;
}

void TMeshObject::EnableLightMapArray(TRenderContextInfo& rci, const TMeshRenderInfo& info, int32_t index)
{
    if (!info.hasMultitexture || rci.ignoreMaterials || !info.lightmapLibrary) return;
    if (index == lastLightMapIndex_) return;
    lastLightMapIndex_ = index;
    if (index < 0) {
        if (lightMapArrayEnabled_) {
            glActiveTexture(GL_TEXTURE1);
            glDisable(GL_TEXTURE_2D);
            glActiveTexture(GL_TEXTURE0);
            lightMapArrayEnabled_ = false;
        }
        return;
    }
    if (index >= info.lightmapLibrary->Count()) return;
    glActiveTexture(GL_TEXTURE1);
    glBindTexture(GL_TEXTURE_2D, info.lightmapLibrary->Materials(index).Material().Texture().Handle());
    glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_MODULATE);
    if (!lightMapArrayEnabled_) {
        glEnable(GL_TEXTURE_2D);
        lightMapArrayEnabled_ = true;
    }
    glActiveTexture(GL_TEXTURE0);
}

void TMeshObject::BuildList(TRenderContextInfo& rci, const TMeshRenderInfo& info)
{
    arraysDeclared_ = false;
    TStateCache* cache = rci.stateCache;
    const bool useColors = !Vertices.empty() && Colors.size() == Vertices.size();
    const bool colorMaterialWasOn = cache && cache->IsEnabled(TGLState::stColorMaterial);
    if (useColors) {
        glPushAttrib(GL_LIGHTING_BIT);
        glColorMaterial(GL_FRONT_AND_BACK, GL_AMBIENT_AND_DIFFUSE);
        if (cache) {
            cache->Enable(TGLState::stColorMaterial);
            cache->ResetForPass();
        } else {
            glEnable(GL_COLOR_MATERIAL);
        }
    }
    if (Mode == momFaceGroups) {
        const int count = faceGroups_.Count();
        if (info.useMaterials) {
            for (int i = 0; i < count;) {
                TLibMaterial* material = faceGroups_.Items(i).MaterialCache;
                if (!material) {
                    faceGroups_.Items(i).BuildList(rci, info);
                    ++i;
                    continue;
                }
                int end = i + 1;
                while (end < count && faceGroups_.Items(end).MaterialCache == material) ++end;
                material->Apply(rci);
                do {
                    for (int k = i; k < end; ++k) faceGroups_.Items(k).BuildList(rci, info);
                } while (material->Revert(rci));
                i = end;
            }
            // Two-sided materials may have switched culling.
            if (cache) {
                if (rci.bufferFaceCull) cache->Enable(TGLState::stCullFace);
                else cache->Disable(TGLState::stCullFace);
            }
        } else {
            for (int i = 0; i < count; ++i) faceGroups_.Items(i).BuildList(rci, info);
        }
    } else if (!Vertices.empty()) {
        DeclareArraysToOpenGL(rci, info);
        glDrawArrays(Mode == momTriangleStrip ? GL_TRIANGLE_STRIP : GL_TRIANGLES, 0,
                     static_cast<GLsizei>(Vertices.size()));
    }
    if (useColors) {
        glPopAttrib();
        if (cache) cache->Force(TGLState::stColorMaterial, colorMaterialWasOn);
    }
    DisableOpenGLArrays(rci, info);
}

// ---- Mesh-object list ---------------------------------------------------------------------

TMeshObjectList::~TMeshObjectList() { Clear(); }

void TMeshObjectList::Clear()
{
    std::vector<TMeshObject*> items;
    items.swap(items_);
    for (TMeshObject* m : items) {
        m->owner_ = nullptr;
        delete m;
    }
}

void TMeshObjectList::Remove(TMeshObject* object) { std::erase(items_, object); }

void TMeshObjectList::Exchange(int index1, int index2)
{
    std::swap(items_.at(static_cast<size_t>(index1)), items_.at(static_cast<size_t>(index2)));
}

void TMeshObjectList::PrepareMaterialLibraryCache(TMaterialLibrary* library)
{
    for (TMeshObject* m : items_) m->FaceGroups().PrepareMaterialLibraryCache(library);
}

void TMeshObjectList::DropMaterialLibraryCache()
{
    for (TMeshObject* m : items_) m->FaceGroups().DropMaterialLibraryCache();
}

void TMeshObjectList::BuildList(TRenderContextInfo& rci, const TMeshRenderInfo& info)
{
    for (TMeshObject* m : items_)
        if (m->Visible) m->BuildList(rci, info);
}

int TMeshObjectList::TriangleCount() const
{
    int total = 0;
    for (TMeshObject* m : items_) total += m->TriangleCount();
    return total;
}

void TMeshObjectList::GetExtents(TVector3& low, TVector3& high) const
{
    low = {INFINITY, INFINITY, INFINITY};
    high = {-INFINITY, -INFINITY, -INFINITY};
    for (TMeshObject* m : items_)
        for (const TVector3& v : m->Vertices)
            for (size_t a = 0; a < 3; ++a) {
                low[a] = std::min(low[a], v[a]);
                high[a] = std::max(high[a], v[a]);
            }
}

}  // namespace sauno
