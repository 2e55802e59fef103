#include "platform/riffchunks.h"

#include <algorithm>

namespace sauno::platform {

namespace {
uint32_t Le32(const uint8_t* p) { return p[0] | p[1] << 8 | p[2] << 16 | uint32_t(p[3]) << 24; }
}  // namespace

RiffChunkWalker::RiffChunkWalker(std::span<const uint8_t> file) : file_(file)
{
    end_ = file.size() < 8 ? file.size() : std::min<uint64_t>(file.size(), uint64_t(Le32(file.data() + 4)) + 8);
}

bool RiffChunkWalker::Next(RiffChunk& chunk)
{
    if (atLimit_ || pos_ + 8 > end_) return false;
    const uint8_t* header = file_.data() + pos_;
    chunk.id = std::string_view(reinterpret_cast<const char*>(header), 4);
    chunk.size = Le32(header + 4);
    chunk.body = pos_ + 8;
    chunk.available = std::min<uint64_t>(chunk.size, end_ - chunk.body);
    // 64-bit offsets, so that no stored size can wrap the position back into the file.
    pos_ = chunk.body + chunk.size + (chunk.size & 1);
    atLimit_ = pos_ == ScanLimit;
    return true;
}

}  // namespace sauno::platform
