#include "mesh/vectorfile.h"

#include <algorithm>
#include <filesystem>

#include "mesh/vectorfile3ds.h"

namespace sauno {

namespace {

std::string LowerAscii(std::string text)
{
    for (char& c : text)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return text;
}

std::string UpperAscii(std::string text)
{
    for (char& c : text)
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    return text;
}

// The engine's own mesh format keeps its place in the registry; this build cannot read it.
class TMeshVectorFile : public TVectorFile {
public:
    using TVectorFile::TVectorFile;
    uint8_t Capabilities() const override { return 0; }
    void LoadFromStream(TStream&) override { throw EInvalidVectorFile("Mesh files cannot be read by this program"); }
};

template <class T>
TVectorFileClass VectorFileClass()
{
    return [](TBaseMesh& owner) -> std::unique_ptr<TVectorFile> { return std::make_unique<T>(owner); };
}

}  // namespace

void TVectorFile::SaveToStream(TStream&) { throw EInvalidVectorFile("This model format cannot be written"); }

TVectorFileFormatsList::TVectorFileFormatsList()
{
    Add("mesh", "Engine mesh files", 0, VectorFileClass<TMeshVectorFile>());
    Add("3ds", "3D Studio files", 0, VectorFileClass<T3DSVectorFile>());
    Add("prj", "3D Studio project files", 0, VectorFileClass<T3DSVectorFile>());
}

TVectorFileFormatsList& TVectorFileFormatsList::Instance()
{
    static TVectorFileFormatsList list;
    return list;
}

void TVectorFileFormatsList::Add(const std::string& extension, const std::string& description, int descResID,
                                 TVectorFileClass cls)
{
    formats_.push_back({LowerAscii(extension), description, descResID, std::move(cls)});
}

const TVectorFileClass* TVectorFileFormatsList::FindExt(const std::string& extension) const
{
    const std::string wanted = LowerAscii(extension);
    for (auto it = formats_.rbegin(); it != formats_.rend(); ++it)
        if (it->extension == wanted) return &it->vectorFileClass;
    return nullptr;
}

const TVectorFileClass& TVectorFileFormatsList::FindFromFileName(const std::string& fileName) const
{
    std::string extension = std::filesystem::path(fileName).extension().string();
    if (!extension.empty()) extension.erase(0, 1);
    if (const TVectorFileClass* cls = FindExt(extension)) return *cls;
    throw EInvalidVectorFile("Unknown file extension (" + extension +
                             "), maybe you forgot to add the support unit to your uses? (File" +
                             UpperAscii(extension) + "?)");
}

void RegisterVectorFileFormat(const std::string& extension, const std::string& description, TVectorFileClass cls)
{
    TVectorFileFormatsList::Instance().Add(extension, description, 0, std::move(cls));
}

}  // namespace sauno
