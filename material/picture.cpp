#include "material/picture.h"

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
