#pragma once
// The 3DS format in the registry: builds one mesh object per visible mesh of the file, splits
// vertices at smoothing-group borders for per-vertex normals, makes one face group per material
// group and binds it to the owner's material library by name, adding library materials made
// from the file's definitions where the library has none of that name.
#include "mesh/vectorfile.h"

namespace sauno {

class T3DSVectorFile : public TVectorFile {
public:
    using TVectorFile::TVectorFile;
    uint8_t Capabilities() const override { return dfcRead; }
    void LoadFromStream(TStream& stream) override;
};

}  // namespace sauno
