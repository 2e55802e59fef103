#include "material/jpegimage.h"

#include <csetjmp>
#include <future>
#include <thread>
#include <vector>
#include <memory>
#include <cstdio>
#include <string>

#include <jpeglib.h>

#include "platform/exception.h"
#include "platform/startup_report.h"

namespace sauno {

namespace {

// Decoded pictures larger than this are refused before any pixel memory is taken, so that a
// damaged header cannot ask for gigabytes.
constexpr uint64_t kMaxPixels = uint64_t{1} << 26;
// A damaged progressive file can announce scan after scan; no sound picture has this many.
constexpr int kMaxScans = 1000;

// Everything the guarded decoder touches lives here, outside the frame that calls setjmp,
// so no value is lost when the decoder jumps back.
struct DecodeJob {
    jpeg_decompress_struct cinfo;
    jpeg_error_mgr errorManager;
    jpeg_progress_mgr progress;
    std::jmp_buf jumpBack;
    const unsigned char* input = nullptr;
    unsigned long inputSize = 0;
    bool decodePixels = false;
    unsigned char* output = nullptr;  // decodePixels: expectedWidth * expectedHeight * 3 bytes
    unsigned long expectedWidth = 0;
    unsigned long expectedHeight = 0;
    // Results.
    unsigned long width = 0;
    unsigned long height = 0;
    bool grayscale = false;
    bool progressive = false;
    char message[JMSG_LENGTH_MAX] = {};
};

extern "C" void ReturnOnError(j_common_ptr cinfo)
{
    DecodeJob* job = static_cast<DecodeJob*>(cinfo->client_data);
    (*cinfo->err->format_message)(cinfo, job->message);
    std::longjmp(job->jumpBack, 1);
}

// Warnings (damaged data that the decoder works around) are not printed.
extern "C" void IgnoreMessage(j_common_ptr, int) {}

extern "C" void LimitScans(j_common_ptr cinfo)
{
    if (cinfo->is_decompressor &&
        reinterpret_cast<j_decompress_ptr>(cinfo)->input_scan_number > kMaxScans) {
        DecodeJob* job = static_cast<DecodeJob*>(cinfo->client_data);
        std::snprintf(job->message, sizeof job->message, "more than %d scans", kMaxScans);
        std::longjmp(job->jumpBack, 1);
    }
}

// The one function that calls setjmp. It holds no objects with destructors, and libjpeg's
// frames are the only ones the jump leaves. Returns false with job->message on failure.
bool RunDecoder(DecodeJob* job)
{
    jpeg_decompress_struct* cinfo = &job->cinfo;
    cinfo->err = jpeg_std_error(&job->errorManager);
    job->errorManager.error_exit = ReturnOnError;
    job->errorManager.emit_message = IgnoreMessage;
    cinfo->client_data = job;
    if (setjmp(job->jumpBack)) {
        jpeg_destroy_decompress(cinfo);
        return false;
    }
    jpeg_create_decompress(cinfo);
    job->progress.progress_monitor = LimitScans;
    cinfo->progress = &job->progress;
    jpeg_mem_src(cinfo, job->input, job->inputSize);
    jpeg_read_header(cinfo, TRUE);
    job->width = cinfo->image_width;
    job->height = cinfo->image_height;
    job->grayscale = cinfo->jpeg_color_space == JCS_GRAYSCALE || cinfo->num_components == 1;
    job->progressive = cinfo->progressive_mode != 0;
    if (job->decodePixels) {
        cinfo->out_color_space = JCS_RGB;
        cinfo->scale_num = 1;
        cinfo->scale_denom = 1;
        jpeg_start_decompress(cinfo);
        if (cinfo->output_width != job->expectedWidth || cinfo->output_height != job->expectedHeight ||
            cinfo->output_components != 3) {
            std::snprintf(job->message, sizeof job->message, "unexpected output format");
            jpeg_destroy_decompress(cinfo);
            return false;
        }
        const unsigned long rowBytes = job->expectedWidth * 3;
        while (cinfo->output_scanline < cinfo->output_height) {
            JSAMPROW row = job->output + cinfo->output_scanline * rowBytes;
            jpeg_read_scanlines(cinfo, &row, 1);
        }
        jpeg_finish_decompress(cinfo);
    }
    jpeg_destroy_decompress(cinfo);
    return true;
}

struct Header {
    int width, height;
    bool grayscale, progressive;
};

Header ReadHeader(std::span<const uint8_t> jpeg, DecodeJob& job)
{
    job.input = jpeg.data();
    job.inputSize = static_cast<unsigned long>(jpeg.size());
    if (jpeg.empty()) throw Exception("Invalid JPEG picture: no data");
    if (!RunDecoder(&job)) throw Exception(std::string("Invalid JPEG picture: ") + job.message);
    if (job.width == 0 || job.height == 0 || uint64_t{job.width} * job.height > kMaxPixels)
        throw Exception("Invalid JPEG picture: size " + std::to_string(job.width) + " x " +
                        std::to_string(job.height) + " is out of range");
    return {static_cast<int>(job.width), static_cast<int>(job.height), job.grayscale, job.progressive};
}

}  // namespace

void TJPEGImage::LoadFromData(std::span<const uint8_t> data)
{
    if (data.size() < 4)
        throw Exception("Invalid JPEG picture data: " + std::to_string(data.size()) +
                        " bytes, too short for its length field");
    const uint32_t length = uint32_t{data[0]} | uint32_t{data[1]} << 8 | uint32_t{data[2]} << 16 |
                            uint32_t{data[3]} << 24;
    if (length > data.size() - 4)
        throw Exception("Invalid JPEG picture data: length " + std::to_string(length) +
                        " runs past the " + std::to_string(data.size() - 4) + " bytes that follow it");
    LoadFromJPEG(data.subspan(4, length));
}

void TJPEGImage::SaveToData(std::vector<uint8_t>& out) const
{
    const auto length = static_cast<uint32_t>(jpeg_.size());
    for (int shift = 0; shift < 32; shift += 8) out.push_back(static_cast<uint8_t>(length >> shift));
    out.insert(out.end(), jpeg_.begin(), jpeg_.end());
}

void TJPEGImage::LoadFromJPEG(std::span<const uint8_t> jpeg)
{
    StopDecodingAhead();
    auto job = std::make_unique<DecodeJob>();
    const Header header = ReadHeader(jpeg, *job);
    jpeg_.assign(jpeg.begin(), jpeg.end());
    width_ = header.width;
    height_ = header.height;
    grayscale_ = header.grayscale;
    progressive_ = header.progressive;
    pixels_.reset();
}

std::unique_ptr<TGraphic> TJPEGImage::Clone() const
{
    auto copy = std::make_unique<TJPEGImage>();
    copy->jpeg_ = jpeg_;
    copy->width_ = width_;
    copy->height_ = height_;
    copy->grayscale_ = grayscale_;
    copy->progressive_ = progressive_;
    return copy;
}

namespace {

TPixelRows Decode(std::span<const uint8_t> jpeg, int width, int height)
{
    platform::StartupPhase phase("textures: decode");
    TPixelRows rows;
    if (jpeg.empty()) return rows;
    rows.Width = width;
    rows.Height = height;
    rows.BytesPerPixel = 3;
    rows.Order = TChannelOrder::coRGB;
    rows.Data.assign(size_t(width) * size_t(height) * 3, 0);
    auto job = std::make_unique<DecodeJob>();
    job->decodePixels = true;
    job->output = rows.Data.data();
    job->expectedWidth = static_cast<unsigned long>(width);
    job->expectedHeight = static_cast<unsigned long>(height);
    ReadHeader(jpeg, *job);
    return rows;
}

}  // namespace

const TPixelRows& TJPEGImage::Pixels()
{
    if (pixels_) return *pixels_;
    if (ahead_.valid()) {
        pixels_ = ahead_.get();
        return *pixels_;
    }
    pixels_ = Decode(jpeg_, width_, height_);
    return *pixels_;
}

void TJPEGImage::DecodeAhead(std::span<TJPEGImage* const> images)
{
    struct Order {
        TJPEGImage* image;
        std::promise<TPixelRows> pixels;
    };
    std::vector<Order> orders;
    for (TJPEGImage* image : images)
        if (image && !image->pixels_ && !image->ahead_.valid()) orders.push_back({image, {}});
    if (orders.empty()) return;
    std::vector<TJPEGImage*> ordered;
    for (Order& order : orders) {
        order.image->ahead_ = order.pixels.get_future();
        ordered.push_back(order.image);
    }
    try {
        // Each image waits for its own promise before it lets its file go, and the thread
        // touches an image only until that promise is kept: it may safely outlive the call.
        std::thread([orders = std::move(orders)]() mutable {
            for (Order& order : orders) {
                try {
                    order.pixels.set_value(Decode(order.image->jpeg_, order.image->width_, order.image->height_));
                } catch (...) {
                    order.pixels.set_exception(std::current_exception());
                }
            }
        }).detach();
    } catch (const std::system_error&) {
        for (TJPEGImage* image : ordered) image->ahead_ = {};
    }
}

void TJPEGImage::StopDecodingAhead()
{
    if (!ahead_.valid()) return;
    try {
        ahead_.get();
    } catch (...) {
        // Its error is the next decoding's to raise.
    }
}

void TJPEGImage::ReleasePixels()
{
    StopDecodingAhead();
    pixels_.reset();
}

}  // namespace sauno
