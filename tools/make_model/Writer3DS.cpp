#include "Writer3DS.h"

#include <algorithm>
#include <bit>
#include <stdexcept>

namespace sauno::model {

void ChunkWriter::Begin(uint16_t id)
{
    open_.push_back(bytes_.size());
    U16(id);
    U32(0);
}

void ChunkWriter::End()
{
    const size_t start = open_.back();
    open_.pop_back();
    const auto length = static_cast<uint32_t>(bytes_.size() - start);
    for (int i = 0; i < 4; ++i) bytes_[start + 2 + static_cast<size_t>(i)] = static_cast<uint8_t>(length >> (8 * i));
}

void ChunkWriter::U16(uint16_t v)
{
    bytes_.push_back(static_cast<uint8_t>(v));
    bytes_.push_back(static_cast<uint8_t>(v >> 8));
}

void ChunkWriter::U32(uint32_t v)
{
    for (int i = 0; i < 4; ++i) bytes_.push_back(static_cast<uint8_t>(v >> (8 * i)));
}

void ChunkWriter::Float(float v) { U32(std::bit_cast<uint32_t>(v)); }

void ChunkWriter::String(const std::string& text)
{
    bytes_.insert(bytes_.end(), text.begin(), text.end());
    bytes_.push_back(0);
}

void ChunkWriter::Leaf(uint16_t id, const std::vector<uint8_t>& data)
{
    Begin(id);
    bytes_.insert(bytes_.end(), data.begin(), data.end());
    End();
}

namespace {

void WriteMaterial(ChunkWriter& w, const Material& m)
{
    auto colour = [&](uint16_t id, float scale) {
        w.Begin(id);
        w.Begin(0x0011);
        w.U8(static_cast<uint8_t>(m.r * scale));
        w.U8(static_cast<uint8_t>(m.g * scale));
        w.U8(static_cast<uint8_t>(m.b * scale));
        w.End();
        w.End();
    };
    auto percent = [&](uint16_t id, uint16_t value) {
        w.Begin(id);
        w.Begin(0x0030);
        w.U16(value);
        w.End();
        w.End();
    };
    w.Begin(0xAFFF);
    w.Begin(0xA000);
    w.String(m.name);
    w.End();
    colour(0xA010, m.ambient);
    colour(0xA020, 1.0f);
    colour(0xA030, 0.2f);
    percent(0xA040, 10);
    percent(0xA041, 5);
    if (!m.textureFile.empty()) {
        w.Begin(0xA200);
        w.Begin(0x0030);
        w.U16(100);
        w.End();
        w.Begin(0xA300);
        w.String(m.textureFile);
        w.End();
        w.End();
    }
    w.End();
}

void WriteMesh(ChunkWriter& w, const Mesh& mesh)
{
    if (mesh.vertices.size() > 0xFFFF || mesh.faces.size() > 0xFFFF) throw std::runtime_error("mesh too large");
    w.Begin(0x4000);
    w.String(mesh.name);
    if (mesh.hidden) w.Leaf(0x4010, {});
    w.Begin(0x4100);
    w.Begin(0x4110);
    w.U16(static_cast<uint16_t>(mesh.vertices.size()));
    for (const Vertex& v : mesh.vertices) {
        w.Float(v.x);
        w.Float(v.y);
        w.Float(v.z);
    }
    w.End();
    if (mesh.writeTexCoords) {
        w.Begin(0x4140);
        w.U16(static_cast<uint16_t>(mesh.vertices.size()));
        for (const Vertex& v : mesh.vertices) {
            w.Float(v.u);
            w.Float(v.v);
        }
        w.End();
    }
    w.Begin(0x4160);
    for (float f : {1.f, 0.f, 0.f, 0.f, 1.f, 0.f, 0.f, 0.f, 1.f, 0.f, 0.f, 0.f}) w.Float(f);
    w.End();
    w.Begin(0x4120);
    w.U16(static_cast<uint16_t>(mesh.faces.size()));
    for (const Face& f : mesh.faces) {
        w.U16(f.a);
        w.U16(f.b);
        w.U16(f.c);
        w.U16(7);
    }
    std::vector<std::string> names;
    for (const Face& f : mesh.faces)
        if (!f.material.empty() && std::find(names.begin(), names.end(), f.material) == names.end())
            names.push_back(f.material);
    for (const std::string& name : names) {
        std::vector<uint16_t> faces;
        for (size_t i = 0; i < mesh.faces.size(); ++i)
            if (mesh.faces[i].material == name) faces.push_back(static_cast<uint16_t>(i));
        w.Begin(0x4130);
        w.String(name);
        w.U16(static_cast<uint16_t>(faces.size()));
        for (uint16_t f : faces) w.U16(f);
        w.End();
    }
    if (mesh.writeSmoothing) {
        w.Begin(0x4150);
        for (const Face& f : mesh.faces) w.U32(f.smoothing);
        w.End();
    }
    w.End();  // faces
    w.End();  // triangle mesh
    w.End();  // named object
}

}  // namespace

std::vector<uint8_t> WriteScene(const std::vector<Material>& materials, const std::vector<Mesh>& meshes)
{
    ChunkWriter w;
    w.Begin(0x4D4D);
    w.Begin(0x0002);
    w.U32(3);
    w.End();
    w.Begin(0x3D3D);
    w.Begin(0x3D3E);
    w.U32(3);
    w.End();
    for (const Material& m : materials) WriteMaterial(w, m);
    for (const Mesh& m : meshes) WriteMesh(w, m);
    w.End();
    w.End();
    return w.Bytes();
}

}  // namespace sauno::model
