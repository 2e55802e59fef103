#pragma once
// Makes test JPEGs in memory with libjpeg's compressor.
#include <cstdint>
#include <cstdlib>
#include <functional>
#include <vector>

#include <cstdio>
#include <jpeglib.h>

namespace sauno::test {

struct Rgb {
    uint8_t r, g, b;
};

// colour(x, y) gives the pixel; a grey picture uses its red value.
inline std::vector<uint8_t> EncodeJPEG(int width, int height, bool grey, bool progressive,
                                       const std::function<Rgb(int, int)>& colour, int quality = 95)
{
    jpeg_compress_struct cinfo;
    jpeg_error_mgr errors;
    cinfo.err = jpeg_std_error(&errors);
    jpeg_create_compress(&cinfo);
    unsigned char* buffer = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&cinfo, &buffer, &size);
    cinfo.image_width = JDIMENSION(width);
    cinfo.image_height = JDIMENSION(height);
    cinfo.input_components = grey ? 1 : 3;
    cinfo.in_color_space = grey ? JCS_GRAYSCALE : JCS_RGB;
    jpeg_set_defaults(&cinfo);
    jpeg_set_quality(&cinfo, quality, TRUE);
    if (progressive) jpeg_simple_progression(&cinfo);
    jpeg_start_compress(&cinfo, TRUE);
    const int components = grey ? 1 : 3;
    std::vector<uint8_t> row(size_t(width) * size_t(components));
    while (cinfo.next_scanline < cinfo.image_height) {
        const int y = int(cinfo.next_scanline);
        for (int x = 0; x < width; ++x) {
            const Rgb c = colour(x, y);
            uint8_t* p = &row[size_t(x) * size_t(components)];
            p[0] = c.r;
            if (!grey) {
                p[1] = c.g;
                p[2] = c.b;
            }
        }
        JSAMPROW rows[1] = {row.data()};
        jpeg_write_scanlines(&cinfo, rows, 1);
    }
    jpeg_finish_compress(&cinfo);
    jpeg_destroy_compress(&cinfo);
    std::vector<uint8_t> out(buffer, buffer + size);
    std::free(buffer);
    return out;
}

// The embedded picture form of a JPEG file.
inline std::vector<uint8_t> EmbedJPEG(const std::vector<uint8_t>& jpeg)
{
    std::vector<uint8_t> data = {10, 'T', 'J', 'P', 'E', 'G', 'I', 'm', 'a', 'g', 'e'};
    const auto length = uint32_t(jpeg.size());
    for (int shift = 0; shift < 32; shift += 8) data.push_back(uint8_t(length >> shift));
    data.insert(data.end(), jpeg.begin(), jpeg.end());
    return data;
}

// A smooth pattern that survives JPEG compression closely.
inline Rgb Gradient(int x, int y) { return {uint8_t(x * 255 / 1000), uint8_t(y * 255 / 700), 128}; }

// A progressive picture whose later scan is unreadable: the header reads, decoding fails.
inline std::vector<uint8_t> BadScanJPEG()
{
    std::vector<uint8_t> jpeg = EncodeJPEG(300, 200, false, true, Gradient);
    int found = 0;
    for (size_t i = 2; i + 5 < jpeg.size(); ++i)
        if (jpeg[i] == 0xFF && jpeg[i + 1] == 0xDA && ++found == 2) {
            jpeg[i + 4] = 9;  // component count of the scan
            break;
        }
    return jpeg;
}

}  // namespace sauno::test
