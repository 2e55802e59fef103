// A libFuzzer target for the chunk reader: any bytes give meshes and materials or an error.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "mesh/file3ds.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    sauno::TMemoryStream stream(std::vector<uint8_t>(data, data + size));
    sauno::TFile3DS file;
    try {
        file.LoadFromStream(stream);
        for (int i = 0; i < file.MeshCount(); ++i) file.Mesh(i);
        for (int i = 0; i < file.MaterialCount(); ++i) file.Material(i);
    } catch (const sauno::Exception&) {
    }
    return 0;
}
