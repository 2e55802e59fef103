#pragma once
// Pictures and their embedded form in the scene description.
//
// A picture holds one graphic of a registered class. Its embedded form is
//   1 byte  length n of the class name
//   n bytes the class name (8-bit characters)
//   rest    the data of that class.
// A class name that is not registered reads as an empty picture; a name running past the
// data is an error. Zero bytes read as an empty picture, and an empty picture writes zero
// bytes, so the two forms round-trip.
//
// These classes carry no change notices: the texture that owns the image marks its image
// changed whenever it gives the picture new data.
#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "material/export.h"
#include "runtime/component.h"

namespace sauno {

enum class TChannelOrder { coRGB, coBGR };

// Pixel rows of a picture: top row first, rows packed without padding.
struct SAUNO_MATERIAL_EXPORT TPixelRows {
    int Width = 0;
    int Height = 0;
    int BytesPerPixel = 3;  // 3, or 4 with alpha last
    TChannelOrder Order = TChannelOrder::coRGB;
    std::vector<uint8_t> Data;  // Width * Height * BytesPerPixel bytes
};

// A picture class: knows its size and supplies its pixels on demand.
class SAUNO_MATERIAL_EXPORT TGraphic : public TPersistent {
public:
    virtual std::string_view ClassName() const = 0;
    virtual int Width() const = 0;
    virtual int Height() const = 0;
    bool Empty() const { return Width() <= 0 || Height() <= 0; }

    // Reads the class data of the embedded form; throws Exception on malformed data.
    virtual void LoadFromData(std::span<const uint8_t> data) = 0;
    // Appends the class data of the embedded form.
    virtual void SaveToData(std::vector<uint8_t>& out) const = 0;
    // The pixels, produced on first need; throws Exception if they cannot be produced.
    virtual const TPixelRows& Pixels() = 0;
    // Forgets pixels that can be produced again; the next Pixels() does so.
    virtual void ReleasePixels() {}
    // A picture of the same class and content. By default through the embedded form, so a
    // class that is not registered cannot be copied (Exception).
    virtual std::unique_ptr<TGraphic> Clone() const;
};

using TGraphicFactory = std::function<std::unique_ptr<TGraphic>()>;

// Registry of picture classes by exact class name. "TJPEGImage" is registered from the start.
SAUNO_MATERIAL_EXPORT void RegisterPictureClass(std::string_view className, TGraphicFactory factory);
// A new graphic of that class, or nullptr when the name is not registered.
SAUNO_MATERIAL_EXPORT std::unique_ptr<TGraphic> CreatePictureClass(std::string_view className);

// Picture files. A file is read by the first registered format whose signature its bytes start
// with; JPEG (FF D8) is registered from the start.
using TPictureFileReader = std::function<std::unique_ptr<TGraphic>(std::span<const uint8_t> fileBytes)>;
SAUNO_MATERIAL_EXPORT void RegisterPictureFileFormat(std::vector<uint8_t> signature, TPictureFileReader reader);
// The picture in the file at `path`: "Could not open file: path" when it cannot be read, an
// Exception naming the file when no format reads it, the format's own error when it is damaged.
SAUNO_MATERIAL_EXPORT std::unique_ptr<TGraphic> LoadPictureFile(const std::string& path);
// The picture in `bytes` read from the file `name` (for messages), as LoadPictureFile reads it.
SAUNO_MATERIAL_EXPORT std::unique_ptr<TGraphic> DecodePictureFile(std::span<const uint8_t> bytes, const std::string& name);
// The file `name` in `folder`: as written, else the one entry whose name differs only in the
// case of ASCII letters (pictures named "IMAGE1.JPG" for "image1.jpg"); empty when none.
SAUNO_MATERIAL_EXPORT std::string FindPictureFile(const std::string& folder, const std::string& name);

class SAUNO_MATERIAL_EXPORT TPicture : public TPersistent {
public:
    TGraphic* Graphic() const { return graphic_.get(); }
    void SetGraphic(std::unique_ptr<TGraphic> graphic) { graphic_ = std::move(graphic); }
    // Takes a copy of `graphic`; none empties the picture.
    void Assign(const TGraphic* graphic) { graphic_ = graphic ? graphic->Clone() : nullptr; }
    void Assign(const TPicture& other)
    {
        if (&other != this) Assign(other.graphic_.get());
    }
    bool Empty() const { return !graphic_ || graphic_->Empty(); }
    int Width() const { return graphic_ ? graphic_->Width() : 0; }
    int Height() const { return graphic_ ? graphic_->Height() : 0; }

    // The embedded form ("Picture.Data"). On an error the picture keeps what it had.
    void ReadData(std::span<const uint8_t> data);
    std::vector<uint8_t> WriteData() const;

private:
    std::unique_ptr<TGraphic> graphic_;
};

}  // namespace sauno
