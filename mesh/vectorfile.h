#pragma once
// Model file formats: the adapter base every format derives from and the process-wide registry
// that picks a format by the file name's extension.
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "mesh/export.h"
#include "mesh/stream.h"
#include "platform/exception.h"

namespace sauno {

class TBaseMesh;

class SAUNO_MESH_EXPORT EInvalidVectorFile : public Exception {
public:
    using Exception::Exception;
};

enum TMeshNormalsOrientation : uint8_t { mnoDefault = 0, mnoInvert = 1 };
enum TDataFileCapability : uint8_t { dfcRead = 1, dfcWrite = 2 };

// Reads a model into the mesh objects of its owner.
class SAUNO_MESH_EXPORT TVectorFile {
public:
    explicit TVectorFile(TBaseMesh& owner) : owner_(owner) {}
    virtual ~TVectorFile() = default;
    TBaseMesh& Owner() const { return owner_; }
    std::string ResourceName;  // the file it is loaded from
    TMeshNormalsOrientation NormalsOrientation = mnoDefault;
    virtual uint8_t Capabilities() const = 0;
    virtual void LoadFromStream(TStream& stream) = 0;
    // Only for formats that write; the others raise EInvalidVectorFile.
    virtual void SaveToStream(TStream& stream);

private:
    TBaseMesh& owner_;
};

using TVectorFileClass = std::function<std::unique_ptr<TVectorFile>(TBaseMesh& owner)>;

struct SAUNO_MESH_EXPORT TVectorFileFormat {
    std::string extension;  // lower case
    std::string description;
    int descResID = 0;
    TVectorFileClass vectorFileClass;
};

// Created on first use with "mesh", "3ds" and "prj" registered.
class SAUNO_MESH_EXPORT TVectorFileFormatsList {
public:
    static TVectorFileFormatsList& Instance();
    void Add(const std::string& extension, const std::string& description, int descResID, TVectorFileClass cls);
    // The latest registration of the extension, compared lower-cased; none when unknown.
    const TVectorFileClass* FindExt(const std::string& extension) const;
    // By the file name's extension; an unknown one raises EInvalidVectorFile.
    const TVectorFileClass& FindFromFileName(const std::string& fileName) const;
    const std::vector<TVectorFileFormat>& Formats() const { return formats_; }

private:
    TVectorFileFormatsList();
    std::vector<TVectorFileFormat> formats_;
};

SAUNO_MESH_EXPORT void RegisterVectorFileFormat(const std::string& extension, const std::string& description, TVectorFileClass cls);

}  // namespace sauno
