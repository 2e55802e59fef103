#pragma once
// What a loaded model is made of: mesh objects, each with its vertices, normals, texture
// coordinates, optional colours and face groups; a face group is a list of vertex indices drawn
// with one material of a library. Drawing needs a current GL context; everything else does not.
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "mesh/export.h"
#include "engine/rendercontextinfo.h"
#include "engine/vectors.h"

namespace sauno {

class TLibMaterial;
class TMaterialLibrary;
class TMeshObject;
class TMeshObjectList;
class TFaceGroups;

struct SAUNO_MESH_EXPORT TTexPoint {
    float s = 0, t = 0;
};

// The growable lists of the mesh objects: 3-float, 4-float and 2-float vectors, 32-bit integers.
using TAffineVectorList = std::vector<TVector3>;
using TVectorList = std::vector<TVector4>;
using TTexPointList = std::vector<TTexPoint>;
using TIntegerList = std::vector<int32_t>;

// What a mesh object's face groups are drawn with while a build runs: the library materials
// cached per face group, or none.
struct SAUNO_MESH_EXPORT TMeshRenderInfo {
    bool useMaterials = false;  // a material library is in force
    TMaterialLibrary* lightmapLibrary = nullptr;
    bool hasMultitexture = false;
    bool hasCompiledArrays = false;
};

class SAUNO_MESH_EXPORT TFaceGroup {
public:
    // Appends itself to `owner`, which then owns it: create face groups with new.
    explicit TFaceGroup(TFaceGroups& owner);
    virtual ~TFaceGroup() = default;
    TFaceGroups& Owner() const { return owner_; }
    std::string MaterialName;
    TLibMaterial* MaterialCache = nullptr;  // not owned
    int32_t LightMapIndex = -1;
    int32_t RenderTag = 0;

    void PrepareMaterialCache(TMaterialLibrary* library);
    void DropMaterialCache() { MaterialCache = nullptr; }
    virtual void BuildList(TRenderContextInfo& rci, const TMeshRenderInfo& info) = 0;
    virtual int TriangleCount() const = 0;

private:
    TFaceGroups& owner_;
};

// The primitive a vertex-index face group draws.
enum TFaceGroupMeshMode : uint8_t { fgmmTriangles = 0, fgmmTriangleStrip = 1, fgmmFlatTriangles = 2, fgmmTriangleFan = 3, fgmmQuads = 4 };

class SAUNO_MESH_EXPORT TFGVertexIndexList : public TFaceGroup {
public:
    using TFaceGroup::TFaceGroup;
    TIntegerList VertexIndices;
    uint8_t Mode = fgmmTriangles;
    void BuildList(TRenderContextInfo& rci, const TMeshRenderInfo& info) override;
    int TriangleCount() const override;
};

class SAUNO_MESH_EXPORT TFaceGroups {
public:
    explicit TFaceGroups(TMeshObject& owner) : owner_(owner) {}
    TMeshObject& Owner() const { return owner_; }
    int Count() const { return static_cast<int>(items_.size()); }
    TFaceGroup& Items(int i) const { return *items_[static_cast<size_t>(i)]; }
    void Clear() { items_.clear(); }
    void PrepareMaterialLibraryCache(TMaterialLibrary* library);
    void DropMaterialLibraryCache();

private:
    friend class TFaceGroup;
    TMeshObject& owner_;
    std::vector<std::unique_ptr<TFaceGroup>> items_;
};

class SAUNO_MESH_EXPORT TBaseMeshObject {
public:
    virtual ~TBaseMeshObject() = default;
    std::string Name;
    TAffineVectorList Vertices;
    TAffineVectorList Normals;
    bool Visible = true;
    // Low and high corners over all vertices; (0,0,0) twice without vertices.
    void GetExtents(TVector3& low, TVector3& high) const;
    void Translate(const TVector3& delta);
};

// How a mesh object's vertices make primitives.
enum TMeshObjectMode : uint8_t { momTriangles = 0, momTriangleStrip = 1, momFaceGroups = 2 };

class SAUNO_MESH_EXPORT TMeshObject : public TBaseMeshObject {
public:
    // Joins `owner` (which then owns it) when one is given.
    explicit TMeshObject(TMeshObjectList* owner = nullptr);
    ~TMeshObject() override;
    TMeshObjectList* Owner() const { return owner_; }
    TAffineVectorList TexCoords;  // only x and y are used
    TTexPointList LightMapTexCoords;
    TVectorList Colors;
    TFaceGroups& FaceGroups() { return faceGroups_; }
    const TFaceGroups& FaceGroups() const { return faceGroups_; }
    uint8_t Mode = momTriangles;
    uint8_t RenderingOptions = 0;

    void BuildList(TRenderContextInfo& rci, const TMeshRenderInfo& info);
    int TriangleCount() const;

    // Used by the face groups while a build runs.
    void DeclareArraysToOpenGL(TRenderContextInfo& rci, const TMeshRenderInfo& info);
    void DisableOpenGLArrays(TRenderContextInfo& rci, const TMeshRenderInfo& info);
    void EnableLightMapArray(TRenderContextInfo& rci, const TMeshRenderInfo& info, int32_t index);

private:
    friend class TMeshObjectList;
    TMeshObjectList* owner_ = nullptr;
    TFaceGroups faceGroups_{*this};
    bool arraysDeclared_ = false;
    bool lightMapArrayEnabled_ = false;
    int32_t lastLightMapIndex_ = -1;
    bool arraysLocked_ = false;
    bool normalsEnabled_ = false, colorsEnabled_ = false, texCoordsEnabled_ = false, verticesEnabled_ = false;
};

class SAUNO_MESH_EXPORT TMeshObjectList {
public:
    TMeshObjectList() = default;
    ~TMeshObjectList();
    TMeshObjectList(const TMeshObjectList&) = delete;
    TMeshObjectList& operator=(const TMeshObjectList&) = delete;
    int Count() const { return static_cast<int>(items_.size()); }
    TMeshObject& Items(int i) const { return *items_[static_cast<size_t>(i)]; }
    // Frees every mesh object.
    void Clear();
    // Swaps two mesh objects in the drawing order (indices are checked); the owner's structure
    // change rebuilds what was compiled.
    void Exchange(int index1, int index2);
    void PrepareMaterialLibraryCache(TMaterialLibrary* library);
    void DropMaterialLibraryCache();
    void BuildList(TRenderContextInfo& rci, const TMeshRenderInfo& info);
    int TriangleCount() const;
    void GetExtents(TVector3& low, TVector3& high) const;

private:
    friend class TMeshObject;
    void Remove(TMeshObject* object);
    std::vector<TMeshObject*> items_;  // owned
};

}  // namespace sauno
