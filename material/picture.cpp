#include "material/picture.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>

#include "material/jpegimage.h"
#include "platform/exception.h"

namespace sauno {

namespace {

std::map<std::string, TGraphicFactory, std::less<>>& Registry()
{
    // Built in here rather than by static initialisers, which a static library may drop.
    static std::map<std::string, TGraphicFactory, std::less<>> registry = {
        {"TJPEGImage", [] { return std::unique_ptr<TGraphic>(new TJPEGImage()); }},
    };
    return registry;
}

}  // namespace

std::unique_ptr<TGraphic> TGraphic::Clone() const
{
    std::unique_ptr<TGraphic> copy = CreatePictureClass(ClassName());
    if (!copy) throw Exception("A picture of class " + std::string(ClassName()) + " cannot be copied");
    std::vector<uint8_t> data;
    SaveToData(data);
    copy->LoadFromData(data);
    return copy;
}

void RegisterPictureClass(std::string_view className, TGraphicFactory factory)
{
    Registry()[std::string(className)] = std::move(factory);
}

std::unique_ptr<TGraphic> CreatePictureClass(std::string_view className)
{
    auto& registry = Registry();
    auto found = registry.find(className);
    if (found == registry.end()) return nullptr;
    return found->second();
}

namespace {

struct PictureFileFormat {
    std::vector<uint8_t> signature;
    TPictureFileReader reader;
};

std::vector<PictureFileFormat>& FileFormats()
{
    static std::vector<PictureFileFormat> formats = {
        {{0xFF, 0xD8}, [](std::span<const uint8_t> bytes) {
             auto jpeg = std::make_unique<TJPEGImage>();
             jpeg->LoadFromJPEG(bytes);
             return std::unique_ptr<TGraphic>(std::move(jpeg));
         }},
    };
    return formats;
}

}  // namespace

void RegisterPictureFileFormat(std::vector<uint8_t> signature, TPictureFileReader reader)
{
    FileFormats().push_back({std::move(signature), std::move(reader)});
}

std::unique_ptr<TGraphic> LoadPictureFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    if (!in) throw Exception("Could not open file: " + path);
    const std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (in.bad()) throw Exception("Could not open file: " + path);
    return DecodePictureFile(bytes, path);
}

std::unique_ptr<TGraphic> DecodePictureFile(std::span<const uint8_t> bytes, const std::string& name)
{
    for (const PictureFileFormat& format : FileFormats())
        if (bytes.size() >= format.signature.size() &&
            std::equal(format.signature.begin(), format.signature.end(), bytes.begin()))
            return format.reader(bytes);
    throw Exception("Unsupported picture format: " + name);
}

std::string FindPictureFile(const std::string& folder, const std::string& name)
{
    namespace fs = std::filesystem;
    std::error_code error;
    const fs::path directory = folder.empty() ? fs::path(".") : fs::path(folder);
    const fs::path exact = directory / name;
    if (fs::is_regular_file(exact, error)) return exact.string();
    auto lower = [](unsigned char c) { return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : char(c); };
    auto sameText = [&](const std::string& a, const std::string& b) {
        return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [&](char x, char y) {
                   return lower(static_cast<unsigned char>(x)) == lower(static_cast<unsigned char>(y));
               });
    };
    for (fs::directory_iterator it(directory, error), end; !error && it != end; it.increment(error))
        if (sameText(it->path().filename().string(), name) && it->is_regular_file(error)) return it->path().string();
    return "";
}

void TPicture::ReadData(std::span<const uint8_t> data)
{
    if (data.empty()) {
        graphic_.reset();
        return;
    }
    const size_t nameLength = data[0];
    if (nameLength > data.size() - 1)
        throw Exception("Invalid picture data: class name of " + std::to_string(nameLength) +
                        " bytes runs past the " + std::to_string(data.size()) + " bytes of data");
    const std::string_view className(reinterpret_cast<const char*>(data.data() + 1), nameLength);
    std::unique_ptr<TGraphic> graphic = CreatePictureClass(className);
    if (graphic) graphic->LoadFromData(data.subspan(1 + nameLength));
    graphic_ = std::move(graphic);  // an unknown class leaves the picture empty
}

std::vector<uint8_t> TPicture::WriteData() const
{
    std::vector<uint8_t> out;
    if (!graphic_) return out;
    const std::string_view className = graphic_->ClassName();
    Assert(className.size() <= 255);
    out.push_back(static_cast<uint8_t>(className.size()));
    out.insert(out.end(), className.begin(), className.end());
    graphic_->SaveToData(out);
    return out;
}

}  // namespace sauno
