#pragma once
// Writes 3DS chunk files: scene, named triangle meshes with texture coordinates, smoothing
// masks and material groups, and material entries with a texture map. Used by make_model and
// by the tests that need hand-made files.
#include <cstdint>
#include <string>
#include <vector>

namespace sauno::model {

class ChunkWriter {
public:
    // Opens a chunk; its length is filled in when it is closed.
    void Begin(uint16_t id);
    void End();
    void U8(uint8_t v) { bytes_.push_back(v); }
    void U16(uint16_t v);
    void U32(uint32_t v);
    void Float(float v);
    void String(const std::string& text);
    // A whole leaf chunk.
    void Leaf(uint16_t id, const std::vector<uint8_t>& data);
    const std::vector<uint8_t>& Bytes() const { return bytes_; }

private:
    std::vector<uint8_t> bytes_;
    std::vector<size_t> open_;
};

struct Vertex {
    float x = 0, y = 0, z = 0, u = 0, v = 0;
};
struct Face {
    uint16_t a = 0, b = 0, c = 0;
    uint32_t smoothing = 0;
    std::string material;
};

struct Mesh {
    std::string name;
    std::vector<Vertex> vertices;
    std::vector<Face> faces;
    bool hidden = false;
    bool writeTexCoords = true;
    bool writeSmoothing = true;
};

struct Material {
    std::string name;
    uint8_t r = 200, g = 200, b = 200;
    std::string textureFile;
    // The ambient colour as a share of the colour: a warm glow for the room's own materials.
    float ambient = 0.3f;
};

// The whole file: materials first, then the meshes, each mesh's material groups in the order
// their names first appear among its faces.
std::vector<uint8_t> WriteScene(const std::vector<Material>& materials, const std::vector<Mesh>& meshes);

}  // namespace sauno::model
