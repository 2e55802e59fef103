#pragma once
// The 3DS chunk file reader. Loading reads the whole chunk tree (IDs, lengths and positions);
// the data of a chunk is read from the stream only when a mesh or a material asks for it, and
// copied straight into that record. The chunk layout this reader accepts is in FORMAT-3DS.md.
//
// A damaged file never makes the reader loop or read outside the file or a chunk: a chunk
// that is too short for its header or its data, that runs past its parent, a string without
// its zero, counts that do not fit their chunk and indices out of range are E3DSError naming
// the chunk ID and offset; a file that ends inside a chunk fails with "Stream read error".
#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "mesh/export.h"
#include "mesh/stream.h"
#include "platform/exception.h"

namespace sauno {

class SAUNO_MESH_EXPORT E3DSError : public Exception {
public:
    using Exception::Exception;
};

// The reader's own messages, as it shows them.
namespace msg3ds {
inline constexpr const char* InvalidChunk =
    "An invalid Chunk structure was encountered while reading\rthe database. Usually caused by a corrupt database "
    "or file.";
inline constexpr const char* NoDatabase = "The database passed as an argument has not be created yet.";
inline constexpr const char* WrongDatabase =
    "The database passed as an argument is the wrong kind of\rdatabase for this function.";
inline constexpr const char* WrongObject =
    "The Name passed to the functions exists but is not the type of object asked for.\rFor example asking for a "
    "mesh object with the GetCameraByName3DS function.";
inline constexpr const char* OutOfMemory = "Not enough memory to complete operation.";
}  // namespace msg3ds

struct SAUNO_MESH_EXPORT TChunk3DS {
    uint16_t id = 0;
    uint32_t length = 0;
    uint32_t position = 0;  // of its header in the stream
    std::vector<std::unique_ptr<TChunk3DS>> children;  // in file order
    uint32_t End() const { return position + length; }
};

struct SAUNO_MESH_EXPORT TPoint3DS {
    float x = 0, y = 0, z = 0;
};
struct SAUNO_MESH_EXPORT TTexVert3DS {
    float u = 0, v = 0;
};
struct SAUNO_MESH_EXPORT TFace3DS {
    uint16_t a = 0, b = 0, c = 0, flags = 0;
};
struct SAUNO_MESH_EXPORT TColor3DS {
    float r = 0, g = 0, b = 0;
};

struct SAUNO_MESH_EXPORT TMapInfo3DS {
    uint16_t type = 0;
    float tileX = 0, tileY = 0, posX = 0, posY = 0, posZ = 0, scale = 0;
    std::array<float, 12> matrix{};
    float planeWidth = 0, planeHeight = 0, cylinderHeight = 0;
};

struct SAUNO_MESH_EXPORT TObjMat3DS {
    std::string name;
    uint16_t nFaces = 0;
    std::vector<uint16_t> faceIndex;
};

struct SAUNO_MESH_EXPORT TMesh3DS {
    std::string name;
    bool isHidden = false, isVisLofter = false, isNoCast = false, isMatte = false, isFast = false,
         isProcedural = false, isFrozen = false, isNoRcvShad = false;
    uint16_t nVertices = 0;
    std::vector<TPoint3DS> vertexArray;
    uint16_t nVFlags = 0;
    std::vector<uint16_t> vFlagArray;
    uint16_t nTextVerts = 0;
    std::vector<TTexVert3DS> textArray;
    bool useMapInfo = false;
    TMapInfo3DS map;
    std::array<float, 12> locMatrix{};
    uint16_t nFaces = 0;
    std::vector<TFace3DS> faceArray;
    std::vector<uint32_t> smoothArray;  // empty when the file has none
    bool useBoxMap = false;
    std::array<std::string, 6> boxMap;
    uint8_t meshColor = 0;
    uint16_t nMats = 0;
    std::vector<TObjMat3DS> matArray;
    bool procedural = false;
    uint32_t procSize = 0;
    std::string procName;
    std::vector<uint8_t> procData;
    uint32_t position = 0;  // of its named-object chunk, for messages
};

struct SAUNO_MESH_EXPORT TBitmap3DS {
    std::string name;
    float percent = 0;
    uint16_t tiling = 0;
    float blur = 0, uScale = 0, vScale = 0, uOffset = 0, vOffset = 0, angle = 0;
    TColor3DS tint1, tint2, tintR, tintG, tintB;
};

struct SAUNO_MESH_EXPORT TMaterial3DS {
    std::string name;
    TColor3DS ambient, diffuse, specular;
    float shininess = 0, shinStrength = 0, transparency = 0, transFalloff = 0, reflectBlur = 0, selfIllum = 0;
    float wireSize = 1;
    uint16_t shading = 3;
    bool twoSided = false, additive = false, useWire = false, useWireAbs = false, faceMap = false, soften = false,
         useFall = false, useBlur = false, selfIllumFlag = false;
    TBitmap3DS texture, texture2, opacity, bump, specMap, shinMap, illumMap, reflect;
    TBitmap3DS textureMask, texture2Mask, opacityMask, bumpMask, specMask, shinMask, illumMask, reflectMask;
    std::string acubicMap;
    uint8_t acubicShadeLevel = 0, acubicAntiAlias = 0;
    uint16_t acubicFlags = 0;
    uint32_t acubicSize = 0, acubicFrameInterval = 0;
};

// A light of the scene (0x4600 in a named object); a spot light (with 0x4610) has a target.
struct SAUNO_MESH_EXPORT TLight3DS {
    std::string name;
    TPoint3DS position;
    TColor3DS color;
    bool off = false, attenuate = false;
    float innerRange = 0, outerRange = 0, multiplier = 1;
    bool spot = false;
    TPoint3DS target;
    float hotspot = 0, falloff = 0, roll = 0, aspect = 1;
    bool shadowed = false, showCone = false, rectangular = false, overshoot = false;
};

// A camera of the scene (0x4700 in a named object); the lens is its focal length in mm.
struct SAUNO_MESH_EXPORT TCamera3DS {
    std::string name;
    TPoint3DS position, target;
    float roll = 0, focalLength = 0;
    bool showCone = false;
    float nearRange = 0, farRange = 0;
};

// A keyframe node and the name of its parent node (empty at the top).
struct SAUNO_MESH_EXPORT TKFNode3DS {
    uint16_t tag = 0;
    std::string name;
    std::string parentName;
};

class SAUNO_MESH_EXPORT TFile3DS {
public:
    TFile3DS() = default;
    ~TFile3DS();
    TFile3DS(const TFile3DS&) = delete;
    TFile3DS& operator=(const TFile3DS&) = delete;

    // Drops what was loaded, keeps `stream` (not owned; it must outlive the reader's use) and
    // reads the chunk tree.
    void LoadFromStream(TStream& stream);
    void Clear();

    const TChunk3DS* Root() const { return root_.get(); }
    uint16_t RootId() const { return root_ ? root_->id : 0; }

    int MaterialCount();
    TMaterial3DS& Material(int index);
    // The first material whose name equals `name`, ASCII case ignored; nullptr if none.
    TMaterial3DS* MaterialByName(const std::string& name);

    int MeshCount();
    // Decoded anew on each call.
    TMesh3DS Mesh(int index);

    // The scene's lights and cameras in file order, decoded on the first request. They fail
    // like meshes: no tree, or a material library's root.
    const std::vector<TLight3DS>& OmniLights();
    const std::vector<TLight3DS>& SpotLights();
    const std::vector<TCamera3DS>& Cameras();

    // Empty when the file has no keyframe section or a damaged one.
    const std::vector<TKFNode3DS>& KeyFrameNodes() const { return keyFrameNodes_; }

private:
    struct MaterialEntry {
        const TChunk3DS* chunk = nullptr;
        std::string name;
        std::unique_ptr<TMaterial3DS> decoded;
    };

    std::unique_ptr<TChunk3DS> ReadChunk(uint32_t parentEnd, int depth);
    void ReadChildren(TChunk3DS& chunk, int depth);
    void ReadExtensionEntry(TChunk3DS& entry, int depth);
    uint32_t DataPartLength(const TChunk3DS& chunk);
    void ResolveKeyFrames();
    void BuildMaterialList();
    void BuildMeshList();
    TMaterial3DS DecodeMaterial(const TChunk3DS& entry);
    void BuildLightsAndCameras();
    TLight3DS DecodeLight(const TChunk3DS& object, const TChunk3DS& light);
    TCamera3DS DecodeCamera(const TChunk3DS& object, const TChunk3DS& camera);

    TStream* stream_ = nullptr;
    std::unique_ptr<TChunk3DS> root_;
    bool materialsListed_ = false;
    std::vector<MaterialEntry> materials_;
    bool meshesListed_ = false;
    std::vector<const TChunk3DS*> meshObjects_;  // the named objects with a triangle mesh
    bool lightsListed_ = false;
    std::vector<TLight3DS> omniLights_, spotLights_;
    std::vector<TCamera3DS> cameras_;
    std::vector<TKFNode3DS> keyFrameNodes_;
};

// ASCII letters compare without regard to case; other bytes compare as they are.
SAUNO_MESH_EXPORT bool SameTextAscii(const std::string& a, const std::string& b);

}  // namespace sauno
