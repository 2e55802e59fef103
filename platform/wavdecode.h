#pragma once
// The sound device's decoder of RIFF-WAVE files: every sample format it plays, turned into
// interleaved 16-bit PCM. It finds "fmt ", "fact" and "data" by the shared chunk walk.
#include <cstdint>
#include <span>
#include <vector>

namespace sauno::platform {

namespace wavetag {
constexpr uint16_t Pcm = 1;
constexpr uint16_t MsAdpcm = 2;
constexpr uint16_t Float = 3;
constexpr uint16_t ALaw = 6;
constexpr uint16_t MuLaw = 7;
constexpr uint16_t ImaAdpcm = 0x11;
constexpr uint16_t Gsm610 = 0x31;
constexpr uint16_t Extensible = 0xFFFE;
}  // namespace wavetag

struct DecodedWav {
    int32_t rate = 0;
    int32_t channels = 0;
    std::vector<int16_t> samples;  // interleaved, channels per frame

    size_t Frames() const { return channels > 0 ? samples.size() / static_cast<size_t>(channels) : 0; }
};

// Raises an Exception that says why a file cannot be played: not RIFF-WAVE, no "fmt " or
// "data", more than two channels, or a sample format it does not decode (named in the text).
DecodedWav DecodeWav(std::span<const uint8_t> file);

// One 8-bit logarithmic code as a 16-bit sample.
int16_t MuLawToLinear(uint8_t code);
int16_t ALawToLinear(uint8_t code);

}  // namespace sauno::platform
