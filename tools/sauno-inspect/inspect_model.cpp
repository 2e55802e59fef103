// sauno-inspect model FILE: loads FILE into a free-form with a material library, as the game
// does, and prints its mesh objects and face groups.
#include <cstdio>
#include <string>

#include "material/material.h"
#include "mesh/basemesh.h"
#include "tools/sauno-inspect/inspect.h"

namespace sauno::inspect {

int Model(std::string_view fileName)
{
    try {
        TComponent owner(nullptr);
        auto* library = new TMaterialLibrary(&owner);
        auto* freeForm = new TFreeForm(&owner);
        freeForm->SetMaterialLibrary(library);
        // A model whose texture files lie elsewhere still loads.
        freeForm->TolerateMissingTextures = true;
        freeForm->LoadFromFile(std::string(fileName));
        const TMeshObjectList& meshes = freeForm->MeshObjects();
        size_t vertices = 0;
        for (int i = 0; i < meshes.Count(); ++i) {
            const TMeshObject& m = meshes.Items(i);
            vertices += m.Vertices.size();
            std::printf("mesh %s vertices %zu normals %zu texcoords %zu groups %d\n", m.Name.c_str(),
                        m.Vertices.size(), m.Normals.size(), m.TexCoords.size(), m.FaceGroups().Count());
            for (int g = 0; g < m.FaceGroups().Count(); ++g) {
                const TFaceGroup& group = m.FaceGroups().Items(g);
                const auto* list = dynamic_cast<const TFGVertexIndexList*>(&group);
                std::printf("  group \"%s\" mode %d indices %zu\n", group.MaterialName.c_str(), list ? list->Mode : 0,
                            list ? list->VertexIndices.size() : size_t{0});
            }
        }
        std::printf("meshes %d vertices %zu triangles %d\n", meshes.Count(), vertices, freeForm->TriangleCount());
        return 0;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "%s\n", e.what());
        return 1;
    }
}

}  // namespace sauno::inspect
