#pragma once
// Byte streams the model readers work on: a stream over a file and one over bytes in memory,
// and the one routine through which model and texture files are opened by name.
#include <cstdint>
#include <cstdio>
#include <functional>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "mesh/export.h"
#include "platform/exception.h"

namespace sauno {

// A read that the stream cannot satisfy in full.
class SAUNO_MESH_EXPORT EReadError : public Exception {
public:
    EReadError() : Exception("Stream read error") {}
};

class SAUNO_MESH_EXPORT TStream {
public:
    virtual ~TStream() = default;
    // Fills `buffer` completely or raises EReadError.
    virtual void ReadBuffer(std::span<uint8_t> buffer) = 0;
    virtual uint64_t Position() const = 0;
    virtual void Seek(uint64_t position) = 0;
    virtual uint64_t Size() const = 0;

    uint8_t ReadU8();
    uint16_t ReadU16();
    uint32_t ReadU32();
    float ReadFloat();
};

class SAUNO_MESH_EXPORT TMemoryStream : public TStream {
public:
    TMemoryStream() = default;
    explicit TMemoryStream(std::vector<uint8_t> bytes) : bytes_(std::move(bytes)) {}
    void ReadBuffer(std::span<uint8_t> buffer) override;
    uint64_t Position() const override { return position_; }
    void Seek(uint64_t position) override { position_ = position; }
    uint64_t Size() const override { return bytes_.size(); }
    const std::vector<uint8_t>& Bytes() const { return bytes_; }

private:
    std::vector<uint8_t> bytes_;
    uint64_t position_ = 0;
};

enum class TFileMode { fmOpenRead, fmCreate };

class SAUNO_MESH_EXPORT TFileStream : public TStream {
public:
    // Raises Exception "Cannot open file \"name\"" when the file cannot be opened.
    TFileStream(const std::string& fileName, TFileMode mode);
    ~TFileStream() override;
    TFileStream(const TFileStream&) = delete;
    TFileStream& operator=(const TFileStream&) = delete;
    void ReadBuffer(std::span<uint8_t> buffer) override;
    uint64_t Position() const override { return position_; }
    void Seek(uint64_t position) override { position_ = position; }
    uint64_t Size() const override { return size_; }

private:
    std::FILE* file_ = nullptr;
    uint64_t position_ = 0;
    uint64_t filePosition_ = 0;  // where the C stream stands, to seek only when needed
    uint64_t size_ = 0;
};

// When set, asked first for every stream the routine below opens; nullptr means "not mine".
using TStreamProvider = std::function<std::unique_ptr<TStream>(const std::string& fileName, TFileMode mode)>;
SAUNO_MESH_EXPORT void SetStreamProvider(TStreamProvider provider);

// Opens `fileName`: through the provider when one answers, else as a file, which for reading
// must exist ("File not found: \"name\"").
SAUNO_MESH_EXPORT std::unique_ptr<TStream> CreateFileStream(const std::string& fileName, TFileMode mode);

}  // namespace sauno
