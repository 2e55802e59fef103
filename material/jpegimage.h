#pragma once
// The JPEG picture class "TJPEGImage". Its class data is a 4-byte little-endian length L
// followed by L bytes of a complete JPEG file, kept unchanged. The header is read when the
// data is loaded; the pixels are decoded at full size on first need, into RGB rows (a
// grey-scale picture is widened to RGB). Bad data never ends the process: every failure of
// the decoder becomes an Exception.
#include <cstdint>
#include <future>
#include <optional>
#include <span>
#include <vector>

#include "material/export.h"
#include "material/picture.h"

namespace sauno {

class SAUNO_MATERIAL_EXPORT TJPEGImage : public TGraphic {
public:
    TJPEGImage() = default;
    ~TJPEGImage() override { StopDecodingAhead(); }

    std::string_view ClassName() const override { return "TJPEGImage"; }
    int Width() const override { return width_; }
    int Height() const override { return height_; }
    bool Grayscale() const { return grayscale_; }
    bool ProgressiveEncoding() const { return progressive_; }

    // Bytes after the L bytes of the JPEG file are not part of the picture and are dropped.
    void LoadFromData(std::span<const uint8_t> data) override;
    void SaveToData(std::vector<uint8_t>& out) const override;
    // Takes the bytes of a JPEG file and reads its header; on an error nothing changes.
    void LoadFromJPEG(std::span<const uint8_t> jpeg);
    std::span<const uint8_t> JPEGData() const { return jpeg_; }

    // The same file and header; the copy decodes on its own first need.
    std::unique_ptr<TGraphic> Clone() const override;

    bool Decoded() const { return pixels_.has_value(); }
    // RGB rows, top row first, Width * 3 bytes each. Decodes on the first call.
    const TPixelRows& Pixels() override;
    // Decodes the pictures not decoded yet one after another on one other thread, so that
    // their next Pixels() waits for it instead of decoding (and raises its error if it
    // failed). Without a thread to be had, each decodes on its own first need as before.
    static void DecodeAhead(std::span<TJPEGImage* const> images);
    // The pixels go; the file stays, and the next Pixels() decodes again.
    void ReleasePixels() override;

private:
    // Waits for a decoding started ahead and forgets it.
    void StopDecodingAhead();

    std::vector<uint8_t> jpeg_;
    int width_ = 0;
    int height_ = 0;
    bool grayscale_ = false;
    bool progressive_ = false;
    std::optional<TPixelRows> pixels_;
    // Last, so that it is waited for before the file it reads goes.
    std::future<TPixelRows> ahead_;
};

}  // namespace sauno
