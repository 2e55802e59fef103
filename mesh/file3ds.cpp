#include "mesh/file3ds.h"

#include <algorithm>
#include <bit>
#include <cstdio>
#include <cstring>
#include <new>

namespace sauno {

namespace {

// Deeper nesting than any real file has; it bounds the recursion on a damaged one.
constexpr int MaxChunkDepth = 32;
constexpr uint16_t HeaderSize = 6;

std::string Hex(uint16_t id)
{
    char text[8];
    std::snprintf(text, sizeof text, "0x%04X", id);
    return text;
}

std::string Where(uint16_t id, uint32_t position)
{
    return "Chunk " + Hex(id) + " at offset " + std::to_string(position) + ": ";
}

[[noreturn]] void Fail(const TChunk3DS& chunk, const std::string& what)
{
    throw E3DSError(Where(chunk.id, chunk.position) + what);
}

bool IsAcceptedRoot(uint16_t id) { return id == 0x4D4D || id == 0xC23D || id == 0x3DAA; }

// Containers: a chunk whose data part is followed by sub-chunks. Every other ID is a leaf whose
// whole body is data.
bool IsPureContainer(uint16_t id)
{
    switch (id) {
        case 0x1200: case 0x2100: case 0x2D2D: case 0x2D3D: case 0x3000: case 0x3D3D: case 0x3DAA:
        case 0x3DFF: case 0x4100: case 0x4D4D: case 0xC23D: case 0x8000: case 0x8001: case 0xA010:
        case 0xA020: case 0xA030: case 0xA040: case 0xA041: case 0xA042: case 0xA050: case 0xA052:
        case 0xA053: case 0xA084: case 0xA200: case 0xA204: case 0xA210: case 0xA220: case 0xA230:
        case 0xA33A: case 0xA33C: case 0xA33D: case 0xA33E: case 0xA340: case 0xA342: case 0xA344:
        case 0xA346: case 0xA348: case 0xA34A: case 0xA34C: case 0xAFFF:
            return true;
        default: return id >= 0xB000 && id <= 0xB007;
    }
}

// The fixed data-part length of a container with data, or -1.
int FixedDataLength(uint16_t id)
{
    switch (id) {
        case 0x0030: case 0x1420: case 0x1430: case 0xB030: return 2;
        case 0x0011: return 3;
        case 0x0002: case 0x0031: case 0x0100: case 0x1300: case 0x1400: case 0x1410: case 0x3D3E:
        case 0xB009: case 0xB015: case 0xD000: return 4;
        case 0xB008: return 8;
        case 0x4641: return 10;
        case 0x0010: case 0x1500: case 0x4600: case 0xA310: case 0xB013: return 12;
        case 0x7001: return 14;
        case 0x2200: case 0x2300: case 0x2302: case 0x3010: case 0x3020: case 0x3030: case 0x3040:
        case 0x3050: case 0x3060: return 16;
        case 0x4610: return 20;
        case 0xB014: return 24;
        case 0x3070: return 28;
        case 0x4700: return 32;
        case 0x4160: return 48;
        default: return -1;
    }
}

bool StartsWithString(uint16_t id)
{
    switch (id) {
        case 0x1100: case 0x3080: case 0x4000: case 0x4181: case 0xA000: case 0xA300: case 0xB011: return true;
        default: return false;
    }
}

// The data of one chunk, read at once and parsed with every read checked against its length.
class ChunkData {
public:
    ChunkData(TStream& stream, const TChunk3DS& chunk, uint32_t length) : chunk_(chunk)
    {
        if (length > chunk.length - HeaderSize) Fail(chunk, "its data runs past the chunk's end");
        bytes_.resize(length);
        stream.Seek(chunk.position + HeaderSize);
        stream.ReadBuffer(bytes_);
    }
    // The whole body of a leaf, or the body up to its first sub-chunk for a container.
    ChunkData(TStream& stream, const TChunk3DS& chunk) : ChunkData(stream, chunk, chunk.length - HeaderSize) {}

    size_t Remaining() const { return bytes_.size() - pos_; }
    void Need(size_t count, const char* what)
    {
        if (count > Remaining()) Fail(chunk_, std::string(what) + " run past the chunk's end");
    }
    uint8_t U8()
    {
        Need(1, "values");
        return bytes_[pos_++];
    }
    uint16_t U16()
    {
        Need(2, "values");
        uint16_t v = static_cast<uint16_t>(bytes_[pos_] | bytes_[pos_ + 1] << 8);
        pos_ += 2;
        return v;
    }
    uint32_t U32()
    {
        Need(4, "values");
        uint32_t v = 0;
        for (int i = 3; i >= 0; --i) v = v << 8 | bytes_[pos_ + static_cast<size_t>(i)];
        pos_ += 4;
        return v;
    }
    float F32() { return std::bit_cast<float>(U32()); }
    std::string String()
    {
        const auto begin = bytes_.begin() + static_cast<std::ptrdiff_t>(pos_);
        const auto zero = std::find(begin, bytes_.end(), uint8_t{0});
        if (zero == bytes_.end()) Fail(chunk_, "a string has no terminating zero");
        std::string text(begin, zero);
        pos_ += text.size() + 1;
        return text;
    }
    std::vector<uint8_t> Rest()
    {
        std::vector<uint8_t> rest(bytes_.begin() + static_cast<std::ptrdiff_t>(pos_), bytes_.end());
        pos_ = bytes_.size();
        return rest;
    }
    TColor3DS ByteColor()
    {
        TColor3DS c;
        c.r = U8() / 255.0f;
        c.g = U8() / 255.0f;
        c.b = U8() / 255.0f;
        return c;
    }
    TColor3DS FloatColor()
    {
        TColor3DS c;
        c.r = F32();
        c.g = F32();
        c.b = F32();
        return c;
    }

private:
    const TChunk3DS& chunk_;
    std::vector<uint8_t> bytes_;
    size_t pos_ = 0;
};

const TChunk3DS* FindDepthFirst(const TChunk3DS& from, uint16_t id)
{
    if (from.id == id) return &from;
    for (const auto& child : from.children)
        if (const TChunk3DS* found = FindDepthFirst(*child, id)) return found;
    return nullptr;
}

// The first chunk of `id` found depth first below `under`, and its later siblings of that ID.
std::vector<const TChunk3DS*> FindRun(const TChunk3DS& under, uint16_t id)
{
    std::vector<const TChunk3DS*> run;
    for (size_t i = 0; i < under.children.size(); ++i) {
        if (under.children[i]->id == id) {
            for (size_t j = i; j < under.children.size(); ++j)
                if (under.children[j]->id == id) run.push_back(under.children[j].get());
            return run;
        }
        run = FindRun(*under.children[i], id);
        if (!run.empty()) return run;
    }
    return run;
}

const TChunk3DS* DirectChild(const TChunk3DS& chunk, uint16_t id)
{
    for (const auto& child : chunk.children)
        if (child->id == id) return child.get();
    return nullptr;
}

bool HasBelow(const TChunk3DS& chunk, uint16_t id)
{
    for (const auto& child : chunk.children)
        if (child->id == id || HasBelow(*child, id)) return true;
    return false;
}

}  // namespace

bool SameTextAscii(const std::string& a, const std::string& b)
{
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; };
        if (lower(a[i]) != lower(b[i])) return false;
    }
    return true;
}

// ---- The chunk tree -----------------------------------------------------------------------

TFile3DS::~TFile3DS() = default;

void TFile3DS::Clear()
{
    root_.reset();
    materials_.clear();
    materialsListed_ = false;
    meshObjects_.clear();
    meshesListed_ = false;
    lightsListed_ = false;
    omniLights_.clear();
    spotLights_.clear();
    cameras_.clear();
    keyFrameNodes_.clear();
    stream_ = nullptr;
}

void TFile3DS::LoadFromStream(TStream& stream)
{
    Clear();
    stream_ = &stream;
    try {
        stream.Seek(0);
        auto root = std::make_unique<TChunk3DS>();
        root->id = stream.ReadU16();
        root->length = stream.ReadU32();
        if (!IsAcceptedRoot(root->id)) {
            root_ = std::move(root);
            return;
        }
        if (root->length < HeaderSize) Fail(*root, "its length is smaller than its header");
        if (root->length > stream.Size()) throw EReadError();
        ReadChildren(*root, 0);
        root_ = std::move(root);
        ResolveKeyFrames();
    } catch (const std::bad_alloc&) {
        Clear();
        throw E3DSError(msg3ds::OutOfMemory);
    } catch (...) {
        Clear();
        throw;
    }
}

uint32_t TFile3DS::DataPartLength(const TChunk3DS& chunk)
{
    const int fixed = FixedDataLength(chunk.id);
    if (fixed >= 0) return static_cast<uint32_t>(fixed);
    if (IsPureContainer(chunk.id)) return 0;
    TStream& s = *stream_;
    const uint32_t body = chunk.length - HeaderSize;
    s.Seek(chunk.position + HeaderSize);
    // The length of a zero-ended string starting `offset` bytes into the body.
    auto stringLength = [&](uint32_t offset) -> uint32_t {
        s.Seek(chunk.position + HeaderSize + offset);
        for (uint32_t n = offset; n < body; ++n)
            if (s.ReadU8() == 0) return n - offset + 1;
        Fail(chunk, "a string has no terminating zero");
    };
    switch (chunk.id) {
        case 0x4120: {
            if (body < 2) Fail(chunk, "its length is smaller than its data part");
            return 2 + 8u * s.ReadU16();
        }
        case 0xB00A: {
            if (body < 2) Fail(chunk, "its length is smaller than its data part");
            return 2 + stringLength(2) + 4;
        }
        case 0xB010: return stringLength(0) + 6;
        default:
            if (StartsWithString(chunk.id)) return stringLength(0);
            return body;  // a leaf
    }
}

static bool HasSubChunks(uint16_t id)
{
    return IsPureContainer(id) || FixedDataLength(id) >= 0 || StartsWithString(id) || id == 0x4120 || id == 0xB00A ||
           id == 0xB010;
}

std::unique_ptr<TChunk3DS> TFile3DS::ReadChunk(uint32_t parentEnd, int depth)
{
    TStream& s = *stream_;
    auto chunk = std::make_unique<TChunk3DS>();
    chunk->position = static_cast<uint32_t>(s.Position());
    chunk->id = s.ReadU16();
    chunk->length = s.ReadU32();
    if (chunk->length < HeaderSize) Fail(*chunk, "its length " + std::to_string(chunk->length) + " is smaller than its header");
    if (chunk->length > parentEnd - chunk->position)
        Fail(*chunk, "its length " + std::to_string(chunk->length) + " runs past its parent's end at offset " +
                         std::to_string(parentEnd));
    ReadChildren(*chunk, depth);
    return chunk;
}

void TFile3DS::ReadChildren(TChunk3DS& chunk, int depth)
{
    if (!HasSubChunks(chunk.id)) return;
    if (depth >= MaxChunkDepth) Fail(chunk, "chunks are nested more than " + std::to_string(MaxChunkDepth) + " deep");
    const uint32_t data = DataPartLength(chunk);
    if (data > chunk.length - HeaderSize) Fail(chunk, "its length " + std::to_string(chunk.length) +
                                                          " is smaller than its data part");
    if (chunk.id == 0x8001) {
        ReadExtensionEntry(chunk, depth);
        return;
    }
    auto readAll = [&] {
        uint32_t position = chunk.position + HeaderSize + data;
        while (position < chunk.End()) {
            stream_->Seek(position);
            chunk.children.push_back(ReadChunk(chunk.End(), depth + 1));
            position = chunk.children.back()->End();
        }
    };
    if (chunk.id != 0xB000) {
        readAll();
        return;
    }
    // Nothing here animates a model: a damaged keyframe section is dropped, the model is kept.
    try {
        readAll();
    } catch (const E3DSError&) {
        chunk.children.clear();
    }
}

void TFile3DS::ReadExtensionEntry(TChunk3DS& entry, int depth)
{
    TStream& s = *stream_;
    uint32_t position = entry.position + HeaderSize;
    while (position < entry.End()) {
        if (entry.End() - position < HeaderSize) return;
        s.Seek(position);
        const uint16_t id = s.ReadU16();
        const uint32_t length = s.ReadU32();
        // Anything but an extension item, or an item that does not fit, ends the entry here.
        if (id < 0x8002 || id > 0x800F || length < HeaderSize || length > entry.End() - position) return;
        auto item = std::make_unique<TChunk3DS>();
        item->id = id;
        item->length = length;
        item->position = position;
        ReadChildren(*item, depth + 1);
        entry.children.push_back(std::move(item));
        position += length;
    }
}

void TFile3DS::ResolveKeyFrames()
{
    const TChunk3DS* section = FindDepthFirst(*root_, 0xB000);
    if (!section) return;
    struct Node {
        uint16_t tag;
        std::string name;
        uint16_t parent;
    };
    std::vector<Node> nodes;
    for (const auto& child : section->children) {
        if (child->id < 0xB002 || child->id > 0xB007) continue;
        Node node{static_cast<uint16_t>(nodes.size()), "", 0xFFFF};
        if (const TChunk3DS* tag = DirectChild(*child, 0xB030)) node.tag = ChunkData(*stream_, *tag, 2).U16();
        if (const TChunk3DS* header = DirectChild(*child, 0xB010)) {
            ChunkData d(*stream_, *header);
            node.name = d.String();
            d.U16();
            d.U16();
            node.parent = d.U16();
        }
        nodes.push_back(std::move(node));
    }
    for (const Node& node : nodes) {
        TKFNode3DS resolved{node.tag, node.name, ""};
        for (const Node& other : nodes)
            if (node.parent != 0xFFFF && other.tag == node.parent) resolved.parentName = other.name;
        keyFrameNodes_.push_back(std::move(resolved));
    }
}

// ---- Materials ----------------------------------------------------------------------------

void TFile3DS::BuildMaterialList()
{
    if (!root_) throw E3DSError(msg3ds::NoDatabase);
    if (materialsListed_) return;
    const TChunk3DS* container = FindDepthFirst(*root_, 0x3D3D);
    if (!container) container = FindDepthFirst(*root_, 0x3DAA);
    std::vector<MaterialEntry> entries;
    if (container)
        for (const TChunk3DS* entry : FindRun(*container, 0xAFFF)) {
            MaterialEntry e;
            e.chunk = entry;
            if (const TChunk3DS* name = DirectChild(*entry, 0xA000)) e.name = ChunkData(*stream_, *name).String();
            entries.push_back(std::move(e));
        }
    materials_ = std::move(entries);
    materialsListed_ = true;
}

int TFile3DS::MaterialCount()
{
    BuildMaterialList();
    return static_cast<int>(materials_.size());
}

TMaterial3DS& TFile3DS::Material(int index)
{
    BuildMaterialList();
    if (index < 0 || index >= static_cast<int>(materials_.size()))
        throw E3DSError("Invalid index " + std::to_string(index) + ".");
    MaterialEntry& entry = materials_[static_cast<size_t>(index)];
    if (!entry.decoded) {
        try {
            entry.decoded = std::make_unique<TMaterial3DS>(DecodeMaterial(*entry.chunk));
        } catch (const std::bad_alloc&) {
            throw E3DSError(msg3ds::OutOfMemory);
        }
    }
    return *entry.decoded;
}

TMaterial3DS* TFile3DS::MaterialByName(const std::string& name)
{
    for (int i = 0; i < MaterialCount(); ++i) {
        TMaterial3DS& m = Material(i);
        if (SameTextAscii(m.name, name)) return &m;
    }
    return nullptr;
}

namespace {

bool IsRecognisedMaterialChunk(uint16_t id)
{
    switch (id) {
        case 0xA000: case 0xA010: case 0xA020: case 0xA030: case 0xA040: case 0xA041: case 0xA050: case 0xA052:
        case 0xA053: case 0xA080: case 0xA081: case 0xA083: case 0xA084: case 0xA085: case 0xA087: case 0xA088:
        case 0xA08A: case 0xA08C: case 0xA08E: case 0xA100: case 0xA200: case 0xA204: case 0xA210: case 0xA220:
        case 0xA230: case 0xA240: case 0xA250: case 0xA310: case 0xA320: case 0xA321: case 0xA322: case 0xA324:
        case 0xA325: case 0xA326: case 0xA328: case 0xA32A: case 0xA32C: case 0xA32E: case 0xA330: case 0xA332:
        case 0xA334: case 0xA336: case 0xA338: case 0xA33A: case 0xA33C: case 0xA33D: case 0xA33E:
            return true;
        default: return id >= 0xA340 && id <= 0xA34C && id % 2 == 0;
    }
}

}  // namespace

TMaterial3DS TFile3DS::DecodeMaterial(const TChunk3DS& entry)
{
    TStream& s = *stream_;
    TMaterial3DS m;
    auto colour = [&](const TChunk3DS& container) {
        TColor3DS c;
        // Later kinds win: linear bytes over floats over bytes.
        if (const TChunk3DS* b = FindDepthFirst(container, 0x0011)) c = ChunkData(s, *b, 3).ByteColor();
        if (const TChunk3DS* f = FindDepthFirst(container, 0x0010)) c = ChunkData(s, *f, 12).FloatColor();
        if (const TChunk3DS* l = FindDepthFirst(container, 0x0012)) c = ChunkData(s, *l).ByteColor();
        return c;
    };
    auto percent = [&](const TChunk3DS& container) -> float {
        if (const TChunk3DS* p = FindDepthFirst(container, 0x0030))
            return static_cast<int16_t>(ChunkData(s, *p, 2).U16()) / 100.0f;
        if (const TChunk3DS* p = FindDepthFirst(container, 0x0031)) return ChunkData(s, *p, 4).F32();
        return 0;
    };
    auto map = [&](const TChunk3DS& container) {
        TBitmap3DS b;
        for (const auto& c : container.children) {
            switch (c->id) {
                case 0xA300: b.name = ChunkData(s, *c).String(); break;
                case 0xA351: b.tiling = ChunkData(s, *c).U16(); break;
                case 0xA353: b.blur = ChunkData(s, *c).F32(); break;
                case 0xA354: b.uScale = ChunkData(s, *c).F32(); break;
                case 0xA356: b.vScale = ChunkData(s, *c).F32(); break;
                case 0xA358: b.uOffset = ChunkData(s, *c).F32(); break;
                case 0xA35A: b.vOffset = ChunkData(s, *c).F32(); break;
                case 0xA35C: b.angle = ChunkData(s, *c).F32(); break;
                case 0xA360: b.tint1 = ChunkData(s, *c).ByteColor(); break;
                case 0xA362: b.tint2 = ChunkData(s, *c).ByteColor(); break;
                case 0xA364: b.tintR = ChunkData(s, *c).ByteColor(); break;
                case 0xA366: b.tintG = ChunkData(s, *c).ByteColor(); break;
                case 0xA368: b.tintB = ChunkData(s, *c).ByteColor(); break;
                case 0x0030: case 0x0031: b.percent = percent(container); break;
                default: break;
            }
        }
        return b;
    };
    for (const auto& c : entry.children) {
        const uint16_t id = c->id;
        if ((id >= 0x8000 && id <= 0x80FF) || id == 0xA042 || id == 0xA082) continue;
        if (!IsRecognisedMaterialChunk(id)) throw E3DSError(msg3ds::InvalidChunk);
        switch (id) {
            case 0xA000: m.name = ChunkData(s, *c).String(); break;
            case 0xA010: m.ambient = colour(*c); break;
            case 0xA020: m.diffuse = colour(*c); break;
            case 0xA030: m.specular = colour(*c); break;
            case 0xA040: m.shininess = percent(*c); break;
            case 0xA041: m.shinStrength = percent(*c); break;
            case 0xA050: m.transparency = percent(*c); break;
            case 0xA052: m.transFalloff = percent(*c); break;
            case 0xA053: m.reflectBlur = percent(*c); break;
            case 0xA084: m.selfIllum = percent(*c); break;
            case 0xA080: m.selfIllumFlag = true; break;
            case 0xA081: m.twoSided = true; break;
            case 0xA083: m.additive = true; break;
            case 0xA085: m.useWire = true; break;
            case 0xA087: m.wireSize = ChunkData(s, *c).F32(); break;
            case 0xA088: m.faceMap = true; break;
            case 0xA08C: m.soften = true; break;
            case 0xA08E: m.useWireAbs = true; break;
            case 0xA100: m.shading = ChunkData(s, *c).U16(); break;
            case 0xA240: m.useFall = true; break;
            case 0xA250: m.useBlur = true; break;
            case 0xA200: m.texture = map(*c); break;
            case 0xA33A: m.texture2 = map(*c); break;
            case 0xA210: m.opacity = map(*c); break;
            case 0xA230: m.bump = map(*c); break;
            case 0xA204: m.specMap = map(*c); break;
            case 0xA33C: m.shinMap = map(*c); break;
            case 0xA33D: m.illumMap = map(*c); break;
            case 0xA220: m.reflect = map(*c); break;
            case 0xA33E: m.textureMask = map(*c); break;
            case 0xA340: m.texture2Mask = map(*c); break;
            case 0xA342: m.opacityMask = map(*c); break;
            case 0xA344: m.bumpMask = map(*c); break;
            case 0xA346: m.shinMask = map(*c); break;
            case 0xA348: m.specMask = map(*c); break;
            case 0xA34A: m.illumMask = map(*c); break;
            case 0xA34C: m.reflectMask = map(*c); break;
            case 0xA310: {
                ChunkData d(s, *c, 12);
                m.acubicShadeLevel = d.U8();
                m.acubicAntiAlias = d.U8();
                m.acubicFlags = d.U16();
                m.acubicSize = d.U32();
                m.acubicFrameInterval = d.U32();
                break;
            }
            default: break;  // recognised, not kept
        }
    }
    return m;
}

// ---- Meshes -------------------------------------------------------------------------------

void TFile3DS::BuildMeshList()
{
    if (!root_) throw E3DSError(msg3ds::NoDatabase);
    if (meshesListed_) return;
    meshObjects_.clear();
    if (const TChunk3DS* container = FindDepthFirst(*root_, 0x3D3D))
        for (const TChunk3DS* object : FindRun(*container, 0x4000))
            if (HasBelow(*object, 0x4100)) meshObjects_.push_back(object);
    meshesListed_ = true;
}

int TFile3DS::MeshCount()
{
    BuildMeshList();
    return static_cast<int>(meshObjects_.size());
}

TMesh3DS TFile3DS::Mesh(int index)
{
    BuildMeshList();
    if (root_->id != 0x4D4D && root_->id != 0xC23D) throw E3DSError(msg3ds::WrongDatabase);
    if (index < 0 || index >= static_cast<int>(meshObjects_.size()))
        throw E3DSError("Invalid index " + std::to_string(index) + ".");
    const TChunk3DS& object = *meshObjects_[static_cast<size_t>(index)];
    const TChunk3DS* triMesh = DirectChild(object, 0x4100);
    if (!triMesh) throw E3DSError(msg3ds::WrongObject);
    TStream& s = *stream_;
    try {
        TMesh3DS mesh;
        mesh.position = object.position;
        mesh.name = ChunkData(s, object, DataPartLength(object)).String();
        for (const auto& flag : object.children) {
            switch (flag->id) {
                case 0x4010: mesh.isHidden = true; break;
                case 0x4011: mesh.isVisLofter = true; break;
                case 0x4012: mesh.isNoCast = true; break;
                case 0x4013: mesh.isMatte = true; break;
                case 0x4014: mesh.isFast = true; break;
                case 0x4015: mesh.isProcedural = true; break;
                case 0x4016: mesh.isFrozen = true; break;
                case 0x4017: mesh.isNoRcvShad = true; break;
                default: break;
            }
        }
        const TChunk3DS* faceChunk = nullptr;
        const TChunk3DS* smoothChunk = nullptr;
        const TChunk3DS* texChunk = nullptr;
        std::vector<const TChunk3DS*> groupChunks;
        for (const auto& c : triMesh->children) {
            switch (c->id) {
                case 0x4110: {
                    ChunkData d(s, *c);
                    mesh.nVertices = d.U16();
                    d.Need(12u * mesh.nVertices, "vertices");
                    mesh.vertexArray.resize(mesh.nVertices);
                    for (TPoint3DS& p : mesh.vertexArray) p = {d.F32(), d.F32(), d.F32()};
                    break;
                }
                case 0x4111: {
                    ChunkData d(s, *c);
                    mesh.nVFlags = d.U16();
                    d.Need(2u * mesh.nVFlags, "vertex flags");
                    mesh.vFlagArray.resize(mesh.nVFlags);
                    for (uint16_t& f : mesh.vFlagArray) f = d.U16();
                    break;
                }
                case 0x4120: {
                    faceChunk = c.get();
                    ChunkData d(s, *c, DataPartLength(*c));
                    mesh.nFaces = d.U16();
                    mesh.faceArray.resize(mesh.nFaces);
                    for (TFace3DS& f : mesh.faceArray) f = {d.U16(), d.U16(), d.U16(), d.U16()};
                    groupChunks = FindRun(*c, 0x4130);
                    smoothChunk = DirectChild(*c, 0x4150);
                    mesh.matArray.clear();
                    for (const TChunk3DS* g : groupChunks) {
                        ChunkData gd(s, *g);
                        TObjMat3DS group;
                        group.name = gd.String();
                        group.nFaces = gd.U16();
                        gd.Need(2u * group.nFaces, "face indices");
                        group.faceIndex.resize(group.nFaces);
                        for (uint16_t& f : group.faceIndex) f = gd.U16();
                        mesh.matArray.push_back(std::move(group));
                    }
                    mesh.nMats = static_cast<uint16_t>(std::min<size_t>(mesh.matArray.size(), 0xFFFF));
                    mesh.smoothArray.clear();
                    if (smoothChunk) {
                        ChunkData sd(s, *smoothChunk);
                        mesh.smoothArray.resize(sd.Remaining() / 4);
                        for (uint32_t& g : mesh.smoothArray) g = sd.U32();
                    }
                    mesh.useBoxMap = false;
                    if (const TChunk3DS* box = DirectChild(*c, 0x4190)) {
                        ChunkData bd(s, *box);
                        for (std::string& name : mesh.boxMap) name = bd.String();
                        mesh.useBoxMap = true;
                    }
                    break;
                }
                case 0x4140: {
                    texChunk = c.get();
                    ChunkData d(s, *c);
                    mesh.nTextVerts = d.U16();
                    d.Need(8u * mesh.nTextVerts, "texture coordinates");
                    mesh.textArray.resize(mesh.nTextVerts);
                    for (TTexVert3DS& t : mesh.textArray) t = {d.F32(), d.F32()};
                    break;
                }
                case 0x4160: {
                    ChunkData d(s, *c, 48);
                    for (float& f : mesh.locMatrix) f = d.F32();
                    break;
                }
                case 0x4165: mesh.meshColor = ChunkData(s, *c).U8(); break;
                case 0x4170: {
                    ChunkData d(s, *c);
                    mesh.useMapInfo = true;
                    TMapInfo3DS& m = mesh.map;
                    m.type = d.U16();
                    for (float* f : {&m.tileX, &m.tileY, &m.posX, &m.posY, &m.posZ, &m.scale}) *f = d.F32();
                    for (float& f : m.matrix) f = d.F32();
                    m.planeWidth = d.F32();
                    m.planeHeight = d.F32();
                    m.cylinderHeight = d.F32();
                    break;
                }
                case 0x4181: mesh.procName = ChunkData(s, *c, DataPartLength(*c)).String(); mesh.procedural = true; break;
                case 0x4182: {
                    mesh.procData = ChunkData(s, *c).Rest();
                    mesh.procSize = static_cast<uint32_t>(mesh.procData.size());
                    break;
                }
                default: break;
            }
        }
        // Everything below indexes something else: check it all before anyone uses it.
        for (size_t i = 0; i < mesh.faceArray.size(); ++i) {
            const TFace3DS& f = mesh.faceArray[i];
            const uint16_t worst = std::max({f.a, f.b, f.c});
            if (worst >= mesh.nVertices)
                Fail(*faceChunk, "face " + std::to_string(i) + " refers to vertex " + std::to_string(worst) +
                                     " of a mesh with " + std::to_string(mesh.nVertices) + " vertices");
        }
        for (size_t g = 0; g < mesh.matArray.size(); ++g)
            for (uint16_t f : mesh.matArray[g].faceIndex)
                if (f >= mesh.nFaces)
                    Fail(*groupChunks[g], "material group \"" + mesh.matArray[g].name + "\" refers to face " +
                                              std::to_string(f) + " of " + std::to_string(mesh.nFaces));
        if (smoothChunk && mesh.smoothArray.size() < mesh.nFaces)
            Fail(*smoothChunk, "it holds " + std::to_string(mesh.smoothArray.size()) + " smoothing masks for " +
                                   std::to_string(mesh.nFaces) + " faces");
        if (texChunk && mesh.nTextVerts > 0 && mesh.nTextVerts < mesh.nVertices)
            Fail(*texChunk, "it holds " + std::to_string(mesh.nTextVerts) + " texture coordinates for " +
                                std::to_string(mesh.nVertices) + " vertices");
        return mesh;
    } catch (const std::bad_alloc&) {
        throw E3DSError(msg3ds::OutOfMemory);
    }
}

// ---- Lights and cameras -------------------------------------------------------------------

void TFile3DS::BuildLightsAndCameras()
{
    if (!root_) throw E3DSError(msg3ds::NoDatabase);
    if (lightsListed_) return;
    if (root_->id == 0x3DAA) throw E3DSError(msg3ds::WrongDatabase);
    std::vector<TLight3DS> omni, spot;
    std::vector<TCamera3DS> cameras;
    try {
        if (const TChunk3DS* container = FindDepthFirst(*root_, 0x3D3D))
            for (const TChunk3DS* object : FindRun(*container, 0x4000)) {
                if (const TChunk3DS* light = DirectChild(*object, 0x4600)) {
                    TLight3DS decoded = DecodeLight(*object, *light);
                    (decoded.spot ? spot : omni).push_back(std::move(decoded));
                }
                if (const TChunk3DS* camera = DirectChild(*object, 0x4700))
                    cameras.push_back(DecodeCamera(*object, *camera));
            }
    } catch (const std::bad_alloc&) {
        throw E3DSError(msg3ds::OutOfMemory);
    }
    omniLights_ = std::move(omni);
    spotLights_ = std::move(spot);
    cameras_ = std::move(cameras);
    lightsListed_ = true;
}

const std::vector<TLight3DS>& TFile3DS::OmniLights()
{
    BuildLightsAndCameras();
    return omniLights_;
}

const std::vector<TLight3DS>& TFile3DS::SpotLights()
{
    BuildLightsAndCameras();
    return spotLights_;
}

const std::vector<TCamera3DS>& TFile3DS::Cameras()
{
    BuildLightsAndCameras();
    return cameras_;
}

TLight3DS TFile3DS::DecodeLight(const TChunk3DS& object, const TChunk3DS& light)
{
    TStream& s = *stream_;
    TLight3DS l;
    l.name = ChunkData(s, object, DataPartLength(object)).String();
    ChunkData d(s, light, 12);
    l.position = {d.F32(), d.F32(), d.F32()};
    // As in materials: linear bytes over floats over bytes.
    if (const TChunk3DS* c = DirectChild(light, 0x0011)) l.color = ChunkData(s, *c, 3).ByteColor();
    if (const TChunk3DS* c = DirectChild(light, 0x0010)) l.color = ChunkData(s, *c, 12).FloatColor();
    if (const TChunk3DS* c = DirectChild(light, 0x0012)) l.color = ChunkData(s, *c).ByteColor();
    for (const auto& c : light.children) {
        switch (c->id) {
            case 0x4620: l.off = true; break;
            case 0x4625: l.attenuate = true; break;
            case 0x4659: l.innerRange = ChunkData(s, *c).F32(); break;
            case 0x465A: l.outerRange = ChunkData(s, *c).F32(); break;
            case 0x465B: l.multiplier = ChunkData(s, *c).F32(); break;
            default: break;
        }
    }
    if (const TChunk3DS* spot = DirectChild(light, 0x4610)) {
        l.spot = true;
        ChunkData sd(s, *spot, 20);
        l.target = {sd.F32(), sd.F32(), sd.F32()};
        l.hotspot = sd.F32();
        l.falloff = sd.F32();
        for (const auto& c : spot->children) {
            switch (c->id) {
                case 0x4630: l.shadowed = true; break;
                case 0x4650: l.showCone = true; break;
                case 0x4651: l.rectangular = true; break;
                case 0x4652: l.overshoot = true; break;
                case 0x4656: l.roll = ChunkData(s, *c).F32(); break;
                case 0x4657: l.aspect = ChunkData(s, *c).F32(); break;
                default: break;
            }
        }
    }
    return l;
}

TCamera3DS TFile3DS::DecodeCamera(const TChunk3DS& object, const TChunk3DS& camera)
{
    TStream& s = *stream_;
    TCamera3DS c;
    c.name = ChunkData(s, object, DataPartLength(object)).String();
    ChunkData d(s, camera, 32);
    c.position = {d.F32(), d.F32(), d.F32()};
    c.target = {d.F32(), d.F32(), d.F32()};
    c.roll = d.F32();
    c.focalLength = d.F32();
    if (DirectChild(camera, 0x4710)) c.showCone = true;
    if (const TChunk3DS* ranges = DirectChild(camera, 0x4720)) {
        ChunkData r(s, *ranges);
        c.nearRange = r.F32();
        c.farRange = r.F32();
    }
    return c;
}

}  // namespace sauno
