#include "mesh/vectorfile3ds.h"

#include <array>
#include <bit>
#include <cmath>
#include <filesystem>

#include "material/material.h"
#include "material/picture.h"
#include "mesh/basemesh.h"
#include "mesh/file3ds.h"
#include "mesh/stream.h"

namespace sauno {

namespace {

constexpr size_t MaxVertices = 65536;  // corner indices are 16-bit in the file's face array
constexpr int32_t NoVertex = -1;

std::string Trimmed(const std::string& text)
{
    const size_t first = text.find_first_not_of(' ');
    if (first == std::string::npos) return "";
    return text.substr(first, text.find_last_not_of(' ') - first + 1);
}

// The picture a model's texture name stands for, opened through the shared file-opening routine
// (an installed stream provider first): the file where the library finds it (its rewriting, its
// folders), else beside the model, letter case aside; found nowhere, "File not found: \"name\"".
// It is read and decoded here, in any format the library reads, so that a broken one fails
// here and not at the first frame.
void LoadTextureFile(TTexture& texture, TMaterialLibrary& library, const std::string& name,
                     const std::filesystem::path& modelDirectory)
{
    std::string path = library.ResolvePictureFileName(name);
    std::error_code error;
    if (!std::filesystem::is_regular_file(path, error) && std::filesystem::path(path).is_relative())
        if (std::string found = FindPictureFile(modelDirectory.string(), path); !found.empty()) path = found;
    std::unique_ptr<TStream> stream = CreateFileStream(path, TFileMode::fmOpenRead);
    std::vector<uint8_t> bytes(static_cast<size_t>(stream->Size()));
    stream->ReadBuffer(bytes);
    std::unique_ptr<TGraphic> graphic = DecodePictureFile(bytes, path);
    graphic->Pixels();
    texture.SetImageClassName("TPersistentImage");
    auto* image = dynamic_cast<TPersistentImage*>(&texture.Image());
    if (!image) throw EAssertionFailed();
    image->Picture().SetGraphic(std::move(graphic));
    image->Invalidate();
}

struct Builder {
    TFile3DS& file;
    TBaseMesh& owner;
    TMeshNormalsOrientation orientation;
    std::filesystem::path modelDirectory;

    // The face group's material name for the file's material `name`.
    std::string BindMaterial(const std::string& name, const TMesh3DS& mesh)
    {
        const TMaterial3DS* fileMaterial = file.MaterialByName(name);
        if (!fileMaterial)
            throw E3DSError("Material \"" + name + "\" of mesh \"" + mesh.name + "\" is not defined in the file");
        TMaterialLibrary* library = owner.MaterialLibrary();
        if (!library) return "";
        if (!library->MaterialByName(name)) AddLibraryMaterial(*library, name, *fileMaterial);
        return name;
    }

    void AddLibraryMaterial(TMaterialLibrary& library, const std::string& name, const TMaterial3DS& m)
    {
        TLibMaterial& lm = library.Add();
        lm.SetName(name);
        TFaceProperties& front = lm.Material().FrontProperties();
        front.Ambient().SetColor({m.ambient.r, m.ambient.g, m.ambient.b, 1});
        front.Diffuse().SetColor({m.diffuse.r, m.diffuse.g, m.diffuse.b, 1});
        const float keep = 1 - m.shininess;
        front.Specular().SetColor({m.specular.r * keep, m.specular.g * keep, m.specular.b * keep, keep});
        // Ties go to even in the default rounding mode; a damaged strength is held to GL's range.
        const float shininess = std::nearbyint((1 - m.shinStrength) * 128);
        front.SetShininess(static_cast<uint8_t>(std::isnan(shininess) ? 0 : std::clamp(shininess, 0.0f, 128.0f)));
        const std::string textureName = Trimmed(m.texture.name);
        if (textureName.empty()) return;
        TTexture& texture = lm.Material().Texture();
        try {
            LoadTextureFile(texture, library, textureName, modelDirectory);
        } catch (const Exception&) {
            if (!owner.TolerateMissingTextures) throw;
            return;
        }
        texture.SetDisabled(false);
        texture.SetTextureMode(TTextureMode::tmModulate);
    }

    void Build(TMesh3DS& mesh)
    {
        auto* object = new TMeshObject(&owner.MeshObjects());
        object->Name = mesh.name;
        object->Mode = momFaceGroups;
        const size_t n = mesh.nVertices;
        object->Vertices.reserve(n);
        object->Normals.assign(n, TVector3{});
        for (const TPoint3DS& p : mesh.vertexArray) object->Vertices.push_back({p.x, p.y, p.z});
        const bool hasTexCoords = !mesh.textArray.empty();
        if (hasTexCoords)
            for (size_t i = 0; i < n; ++i) object->TexCoords.push_back({mesh.textArray[i].u, mesh.textArray[i].v, 0});
        ComputeNormals(mesh, *object, hasTexCoords);
        BuildFaceGroups(mesh, *object);
    }

    void ComputeNormals(TMesh3DS& mesh, TMeshObject& object, bool hasTexCoords)
    {
        TAffineVectorList& vertices = object.Vertices;
        TAffineVectorList& normals = object.Normals;
        std::vector<bool> used(vertices.size(), false);
        std::vector<std::array<int32_t, 32>> slots(vertices.size());
        const bool smoothing = !mesh.smoothArray.empty();

        auto split = [&](uint16_t v, const TVector3& normal) -> uint16_t {
            if (vertices.size() >= MaxVertices)
                throw E3DSError("Chunk 0x4000 at offset " + std::to_string(mesh.position) + ": mesh \"" + mesh.name +
                                "\" has more than 65536 vertices after splitting");
            const TVector3 position = vertices[v];
            vertices.push_back(position);
            if (hasTexCoords) {
                const TVector3 uv = object.TexCoords[v];
                object.TexCoords.push_back(uv);
            }
            normals.push_back(normal);
            used.push_back(false);
            slots.emplace_back();
            slots.back().fill(NoVertex);
            return static_cast<uint16_t>(vertices.size() - 1);
        };

        for (size_t f = 0; f < mesh.faceArray.size(); ++f) {
            TFace3DS& face = mesh.faceArray[f];
            const TVector3 a = vertices[face.a], b = vertices[face.b], c = vertices[face.c];
            // Not normalised: a larger face weighs more in the vertex normal.
            const TVector3 n = orientation == mnoInvert ? Cross(Sub(a, b), Sub(c, b)) : Cross(Sub(c, b), Sub(a, b));
            const uint32_t group = smoothing ? mesh.smoothArray[f] : 0;
            const int bit = group ? std::countr_zero(group) : 0;
            for (uint16_t* corner : {&face.a, &face.b, &face.c}) {
                const uint16_t v = *corner;
                if (!used[v]) {
                    normals[v] = n;
                    used[v] = true;
                    if (smoothing) {
                        slots[v].fill(NoVertex);
                        if (group) slots[v][static_cast<size_t>(bit)] = v;
                    }
                } else if (!smoothing || group == 0) {
                    *corner = split(v, n);
                    used[*corner] = true;
                } else if (const int32_t w = slots[v][static_cast<size_t>(bit)]; w != NoVertex) {
                    normals[static_cast<size_t>(w)] = Add(normals[static_cast<size_t>(w)], n);
                    *corner = static_cast<uint16_t>(w);
                } else {
                    const uint16_t copy = split(v, n);
                    slots[v][static_cast<size_t>(bit)] = copy;
                    slots[copy][static_cast<size_t>(bit)] = copy;
                    used[copy] = true;
                    *corner = copy;
                }
            }
        }
        // A vertex no face uses keeps a zero normal rather than an undefined one.
        for (TVector3& normal : normals)
            if (Length3(normal) > 0) normal = Normalize(normal);
    }

    void BuildFaceGroups(const TMesh3DS& mesh, TMeshObject& object)
    {
        auto addFace = [&](TFGVertexIndexList& group, uint16_t f) {
            const TFace3DS& face = mesh.faceArray[f];
            group.VertexIndices.insert(group.VertexIndices.end(), {face.a, face.b, face.c});
        };
        if (mesh.matArray.empty()) {
            auto* group = new TFGVertexIndexList(object.FaceGroups());
            for (size_t f = 0; f < mesh.faceArray.size(); ++f) addFace(*group, static_cast<uint16_t>(f));
            return;
        }
        for (const TObjMat3DS& material : mesh.matArray) {
            auto* group = new TFGVertexIndexList(object.FaceGroups());
            group->MaterialName = BindMaterial(material.name, mesh);
            for (uint16_t f : material.faceIndex) addFace(*group, f);
        }
    }
};

}  // namespace

void T3DSVectorFile::LoadFromStream(TStream& stream)
{
    TFile3DS file;
    file.LoadFromStream(stream);
    Builder builder{file, Owner(), NormalsOrientation, std::filesystem::path(ResourceName).parent_path()};
    if (builder.modelDirectory.empty()) builder.modelDirectory = ".";
    for (int i = 0; i < file.MeshCount(); ++i) {
        TMesh3DS mesh = file.Mesh(i);
        if (mesh.isHidden || mesh.nVertices < 3) continue;
        builder.Build(mesh);
    }
}

}  // namespace sauno
