#include "mesh/stream.h"

#include <sys/stat.h>

#include <bit>
#include <cstring>
#include <filesystem>

namespace sauno {

uint8_t TStream::ReadU8()
{
    uint8_t b[1];
    ReadBuffer(b);
    return b[0];
}

uint16_t TStream::ReadU16()
{
    uint8_t b[2];
    ReadBuffer(b);
    return static_cast<uint16_t>(b[0] | b[1] << 8);
}

uint32_t TStream::ReadU32()
{
    uint8_t b[4];
    ReadBuffer(b);
    return static_cast<uint32_t>(b[0]) | static_cast<uint32_t>(b[1]) << 8 | static_cast<uint32_t>(b[2]) << 16 |
           static_cast<uint32_t>(b[3]) << 24;
}

float TStream::ReadFloat() { return std::bit_cast<float>(ReadU32()); }

void TMemoryStream::ReadBuffer(std::span<uint8_t> buffer)
{
    if (position_ > bytes_.size() || buffer.size() > bytes_.size() - position_) throw EReadError();
    if (!buffer.empty()) std::memcpy(buffer.data(), bytes_.data() + position_, buffer.size());
    position_ += buffer.size();
}

TFileStream::TFileStream(const std::string& fileName, TFileMode mode)
{
    file_ = std::fopen(fileName.c_str(), mode == TFileMode::fmCreate ? "w+b" : "rb");
    if (!file_) throw Exception("Cannot open file \"" + fileName + "\"");
    struct stat info {};
    if (fstat(fileno(file_), &info) == 0 && S_ISREG(info.st_mode)) size_ = static_cast<uint64_t>(info.st_size);
}

TFileStream::~TFileStream()
{
    if (file_) std::fclose(file_);
}

void TFileStream::ReadBuffer(std::span<uint8_t> buffer)
{
    if (buffer.empty()) return;
    if (position_ > size_ || buffer.size() > size_ - position_) throw EReadError();
    if (filePosition_ != position_) {
        if (fseeko(file_, static_cast<off_t>(position_), SEEK_SET) != 0) throw EReadError();
        filePosition_ = position_;
    }
    const size_t got = std::fread(buffer.data(), 1, buffer.size(), file_);
    filePosition_ += got;
    if (got != buffer.size()) throw EReadError();
    position_ += buffer.size();
}

namespace {
TStreamProvider& Provider()
{
    static TStreamProvider provider;
    return provider;
}
}  // namespace

void SetStreamProvider(TStreamProvider provider) { Provider() = std::move(provider); }

std::unique_ptr<TStream> CreateFileStream(const std::string& fileName, TFileMode mode)
{
    if (Provider())
        if (auto stream = Provider()(fileName, mode)) return stream;
    std::error_code error;
    if (mode == TFileMode::fmCreate || std::filesystem::is_regular_file(fileName, error))
        return std::make_unique<TFileStream>(fileName, mode);
    throw Exception("File not found: \"" + fileName + "\"");
}

}  // namespace sauno
