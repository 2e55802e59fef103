#pragma once
// The chunk walk of a RIFF-WAVE file, shared by everything that reads one (the sample reader and
// the sound device's decoder), so that both find the same chunks in the same bytes.
#include <cstdint>
#include <span>
#include <string_view>

#include "platform/export.h"

namespace sauno::platform {

struct RiffChunk {
    std::string_view id;    // the four-character code
    uint32_t size = 0;      // as stored, possibly running past the file
    uint64_t body = 0;      // offset of the body from the start of the file
    uint64_t available = 0; // bytes of the body that lie within the file

    std::span<const uint8_t> Bytes(std::span<const uint8_t> file) const
    {
        return file.subspan(static_cast<size_t>(body), static_cast<size_t>(available));
    }
};

// Walks the chunks after the "RIFF" header and the "WAVE" code, within the RIFF size and the
// bytes present. Odd-sized chunks are followed by a pad byte. The walk gives up when the next
// chunk would start exactly at byte 2048 (`AtScanLimit` then tells); a chunk whose size runs past
// the file ends the walk. The caller checks the "RIFF" and "WAVE" codes.
class RiffChunkWalker {
public:
    static constexpr uint64_t ScanLimit = 2048;

    SAUNO_PLATFORM_EXPORT explicit RiffChunkWalker(std::span<const uint8_t> file);

    // The file as far as the RIFF size says, cut to the bytes present.
    uint64_t End() const { return end_; }
    // The next chunk, or false at the end of the walk.
    SAUNO_PLATFORM_EXPORT bool Next(RiffChunk& chunk);
    bool AtScanLimit() const { return atLimit_; }

private:
    std::span<const uint8_t> file_;
    uint64_t end_ = 0;
    uint64_t pos_ = 12;
    bool atLimit_ = false;
};

}  // namespace sauno::platform
