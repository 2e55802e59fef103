#include "platform/wavdecode.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <optional>
#include <string>

#include "platform/exception.h"
#include "platform/riffchunks.h"

namespace sauno::platform {

namespace {

uint32_t Le32(const uint8_t* p) { return p[0] | p[1] << 8 | p[2] << 16 | uint32_t(p[3]) << 24; }
uint16_t Le16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | p[1] << 8); }
int16_t S16(const uint8_t* p) { return static_cast<int16_t>(Le16(p)); }
int16_t Clamp16(int32_t v) { return static_cast<int16_t>(std::clamp(v, -32768, 32767)); }

struct Format {
    uint16_t tag = 0, channels = 0, blockAlign = 0, bits = 0;
    uint32_t rate = 0;
    std::span<const uint8_t> extra;  // the bytes after the 18-byte record, as far as the chunk has them
};

std::string TagText(uint16_t tag)
{
    char hex[16];
    std::snprintf(hex, sizeof hex, "0x%04X", tag);
    switch (tag) {
    case wavetag::Gsm610: return std::string("GSM 6.10 (format tag ") + hex + ")";
    case 0x50: return std::string("MPEG (format tag ") + hex + ")";
    case 0x55: return std::string("MPEG layer 3 (format tag ") + hex + ")";
    default: return std::string("format tag ") + hex;
    }
}

[[noreturn]] void Refuse(const std::string& why) { throw Exception(why); }

// ---- PCM and float ------------------------------------------------------------------------

void DecodePcm(const Format& f, std::span<const uint8_t> data, std::vector<int16_t>& out)
{
    const bool isFloat = f.tag == wavetag::Float;
    if (isFloat ? f.bits != 32 : (f.bits != 8 && f.bits != 16 && f.bits != 24 && f.bits != 32))
        Refuse(std::string(isFloat ? "float" : "PCM") + " samples of " + std::to_string(f.bits) +
               " bits are not supported");
    const size_t bytes = f.bits / 8;
    const size_t count = data.size() / bytes / f.channels * f.channels;
    out.resize(count);
    for (size_t i = 0; i < count; ++i) {
        const uint8_t* s = data.data() + i * bytes;
        if (isFloat) {
            float v;
            std::memcpy(&v, s, 4);
            if (!(v == v)) v = 0;
            out[i] = static_cast<int16_t>(std::lround(std::clamp(v, -1.0f, 1.0f) * 32767.0f));
        } else if (bytes == 1) {
            out[i] = static_cast<int16_t>((int32_t(s[0]) - 128) * 256);
        } else {
            out[i] = S16(s + bytes - 2);  // the two most significant bytes
        }
    }
}

// ---- Logarithmic 8-bit codes --------------------------------------------------------------

void DecodeLog(const Format& f, std::span<const uint8_t> data, std::vector<int16_t>& out)
{
    if (f.bits != 8) Refuse(TagText(f.tag) + " with " + std::to_string(f.bits) + " bits is not supported");
    const size_t count = data.size() / f.channels * f.channels;
    out.resize(count);
    for (size_t i = 0; i < count; ++i) out[i] = f.tag == wavetag::MuLaw ? MuLawToLinear(data[i]) : ALawToLinear(data[i]);
}

// ---- Block-coded ADPCM --------------------------------------------------------------------
// Each block starts every channel afresh from a header, so a damaged block stays local. The
// last block may be shorter than the block size: it holds as many samples as its bytes do.

constexpr std::array<int32_t, 16> MsAdaptation = {230, 230, 230, 230, 307, 409, 512, 614,
                                                  768, 614, 512, 409, 307, 230, 230, 230};
constexpr int64_t MsMaxDelta = 1 << 24;
constexpr std::array<std::array<int32_t, 2>, 7> MsStandardCoefficients = {
    {{256, 0}, {512, -256}, {0, 0}, {192, 64}, {240, 0}, {460, -208}, {392, -232}}};

void DecodeMsAdpcm(const Format& f, std::span<const uint8_t> data, std::vector<int16_t>& out)
{
    const size_t ch = f.channels, header = 7 * ch;
    if (f.blockAlign <= header) Refuse("MS ADPCM block size " + std::to_string(f.blockAlign) + " is too small");
    const size_t perBlock = (f.blockAlign - header) * 2 / ch + 2;
    size_t samplesPerBlock = perBlock;
    std::vector<std::array<int32_t, 2>> coefficients(MsStandardCoefficients.begin(), MsStandardCoefficients.end());
    if (f.extra.size() >= 4) {
        if (const uint16_t declared = Le16(f.extra.data()); declared > 0 && declared < perBlock) samplesPerBlock = declared;
        const size_t count = std::min<size_t>(Le16(f.extra.data() + 2), (f.extra.size() - 4) / 4);
        if (count > 0) {
            coefficients.resize(count);
            for (size_t i = 0; i < count; ++i)
                coefficients[i] = {S16(f.extra.data() + 4 + 4 * i), S16(f.extra.data() + 6 + 4 * i)};
        }
    }
    out.reserve(data.size() / f.blockAlign * samplesPerBlock * ch + samplesPerBlock * ch);
    for (size_t at = 0; at + header <= data.size(); at += f.blockAlign) {
        const uint8_t* b = data.data() + at;
        const size_t bytes = std::min<size_t>(f.blockAlign, data.size() - at);
        const size_t frames = std::min(samplesPerBlock, (bytes - header) * 2 / ch + 2);
        int32_t c1[2], c2[2], delta[2], s1[2], s2[2];
        for (size_t c = 0; c < ch; ++c) {
            if (b[c] >= coefficients.size()) Refuse("corrupt MS ADPCM block: predictor " + std::to_string(b[c]));
            c1[c] = coefficients[b[c]][0];
            c2[c] = coefficients[b[c]][1];
            delta[c] = S16(b + ch + 2 * c);
            s1[c] = S16(b + 3 * ch + 2 * c);
            s2[c] = S16(b + 5 * ch + 2 * c);
        }
        // The header holds the first two samples, the older one first.
        for (size_t c = 0; c < ch && frames > 0; ++c) out.push_back(static_cast<int16_t>(s2[c]));
        for (size_t c = 0; c < ch && frames > 1; ++c) out.push_back(static_cast<int16_t>(s1[c]));
        // Then nibbles, high one first, taking the channels in turn.
        const size_t nibbles = frames > 2 ? (frames - 2) * ch : 0;
        for (size_t i = 0; i < nibbles; ++i) {
            const uint8_t byte = b[header + i / 2];
            const int32_t code = (i % 2 == 0) ? byte >> 4 : byte & 0x0F;
            const size_t c = i % ch;
            const int32_t predicted = (s1[c] * c1[c] + s2[c] * c2[c]) >> 8;
            const int16_t sample = Clamp16(predicted + (code - ((code & 8) << 1)) * delta[c]);
            out.push_back(sample);
            s2[c] = s1[c];
            s1[c] = sample;
            // Bounded, so that a damaged stream cannot overflow it; real streams stay far below.
            delta[c] = static_cast<int32_t>(
                std::clamp<int64_t>((int64_t(MsAdaptation[size_t(code)]) * delta[c]) >> 8, 16, MsMaxDelta));
        }
    }
}

constexpr std::array<int32_t, 89> ImaSteps = {
    7,     8,     9,     10,    11,    12,    13,    14,    16,    17,    19,    21,    23,    25,    28,
    31,    34,    37,    41,    45,    50,    55,    60,    66,    73,    80,    88,    97,    107,   118,
    130,   143,   157,   173,   190,   209,   230,   253,   279,   307,   337,   371,   408,   449,   494,
    544,   598,   658,   724,   796,   876,   963,   1060,  1166,  1282,  1411,  1552,  1707,  1878,  2066,
    2272,  2499,  2749,  3024,  3327,  3660,  4026,  4428,  4871,  5358,  5894,  6484,  7132,  7845,  8630,
    9493,  10442, 11487, 12635, 13899, 15289, 16818, 18500, 20350, 22385, 24623, 27086, 29794, 32767};
constexpr std::array<int32_t, 8> ImaIndexSteps = {-1, -1, -1, -1, 2, 4, 6, 8};

void DecodeImaAdpcm(const Format& f, std::span<const uint8_t> data, std::vector<int16_t>& out)
{
    const size_t ch = f.channels, header = 4 * ch, group = 4 * ch;
    if (f.blockAlign < header + group || (f.blockAlign - header) % group != 0)
        Refuse("IMA ADPCM block size " + std::to_string(f.blockAlign) + " does not fit " + std::to_string(ch) +
               " channel(s)");
    size_t samplesPerBlock = (f.blockAlign - header) / group * 8 + 1;
    if (f.extra.size() >= 2)
        if (const uint16_t declared = Le16(f.extra.data()); declared > 0 && declared < samplesPerBlock)
            samplesPerBlock = declared;
    out.reserve(data.size() / f.blockAlign * samplesPerBlock * ch + samplesPerBlock * ch);
    std::vector<int16_t> block;
    for (size_t at = 0; at + header <= data.size(); at += f.blockAlign) {
        const uint8_t* b = data.data() + at;
        const size_t bytes = std::min<size_t>(f.blockAlign, data.size() - at);
        // Samples come in groups of eight per channel (four bytes each); a part group is not decoded.
        const size_t frames = std::min(samplesPerBlock, (bytes - header) / group * 8 + 1);
        block.assign(frames * ch, 0);
        for (size_t c = 0; c < ch; ++c) {
            int32_t sample = S16(b + 4 * c);
            int32_t index = b[4 * c + 2];
            if (index > 88) Refuse("corrupt IMA ADPCM block: step index " + std::to_string(index));
            block[c] = static_cast<int16_t>(sample);
            for (size_t n = 1; n < frames; ++n) {
                const size_t k = n - 1;  // the nibble's number within this channel
                const uint8_t byte = b[header + (k / 8) * group + 4 * c + (k % 8) / 2];
                const int32_t code = (k % 2 == 0) ? byte & 0x0F : byte >> 4;
                const int32_t step = ImaSteps[size_t(index)];
                int32_t diff = step >> 3;
                if (code & 4) diff += step;
                if (code & 2) diff += step >> 1;
                if (code & 1) diff += step >> 2;
                sample = Clamp16(code & 8 ? sample - diff : sample + diff);
                index = std::clamp(index + ImaIndexSteps[size_t(code & 7)], 0, 88);
                block[n * ch + c] = static_cast<int16_t>(sample);
            }
        }
        out.insert(out.end(), block.begin(), block.end());
    }
}

}  // namespace

int16_t MuLawToLinear(uint8_t code)
{
    const int32_t u = ~code & 0xFF;
    const int32_t magnitude = (((u & 0x0F) << 3) + 0x84) << ((u & 0x70) >> 4);
    return static_cast<int16_t>((u & 0x80) ? 0x84 - magnitude : magnitude - 0x84);
}

int16_t ALawToLinear(uint8_t code)
{
    const int32_t a = code ^ 0x55;
    const int32_t segment = (a & 0x70) >> 4;
    int32_t magnitude = (a & 0x0F) << 4;
    magnitude = segment == 0 ? magnitude + 8 : (magnitude + 0x108) << (segment - 1);
    return static_cast<int16_t>((a & 0x80) ? magnitude : -magnitude);
}

DecodedWav DecodeWav(std::span<const uint8_t> file)
{
    if (file.size() < 12 || std::memcmp(file.data(), "RIFF", 4) != 0 || std::memcmp(file.data() + 8, "WAVE", 4) != 0)
        Refuse("not a RIFF-WAVE file");
    std::optional<Format> format;
    std::optional<uint32_t> factFrames;
    std::span<const uint8_t> data;
    bool dataFound = false;
    RiffChunkWalker walker(file);
    RiffChunk chunk;
    while (walker.Next(chunk)) {
        const std::span<const uint8_t> body = chunk.Bytes(file);
        if (chunk.id == "fmt " && !format && body.size() >= 16) {
            Format f;
            f.tag = Le16(body.data());
            f.channels = Le16(body.data() + 2);
            f.rate = Le32(body.data() + 4);
            f.blockAlign = Le16(body.data() + 12);
            f.bits = Le16(body.data() + 14);
            if (body.size() > 18) f.extra = body.subspan(18, std::min<size_t>(Le16(body.data() + 16), body.size() - 18));
            if (f.tag == wavetag::Extensible && body.size() >= 40) f.tag = Le16(body.data() + 24);  // the sub-format's tag
            format = f;
        } else if (chunk.id == "fact" && !factFrames && body.size() >= 4) {
            factFrames = Le32(body.data());
        } else if (chunk.id == "data") {
            data = body;
            dataFound = true;
            break;
        }
    }
    if (!format) Refuse("no \"fmt \" chunk");
    if (!dataFound) Refuse("no \"data\" chunk");
    const Format& f = *format;
    if (f.rate == 0 || f.rate > 768000) Refuse("a rate of " + std::to_string(f.rate) + " Hz is not supported");
    if (f.channels != 1 && f.channels != 2)
        Refuse(std::to_string(f.channels) + " channels are not supported (mono or stereo only)");
    DecodedWav out;
    out.rate = static_cast<int32_t>(f.rate);
    out.channels = f.channels;
    switch (f.tag) {
    case wavetag::Pcm:
    case wavetag::Float: DecodePcm(f, data, out.samples); break;
    case wavetag::MuLaw:
    case wavetag::ALaw: DecodeLog(f, data, out.samples); break;
    case wavetag::MsAdpcm: DecodeMsAdpcm(f, data, out.samples); break;
    case wavetag::ImaAdpcm: DecodeImaAdpcm(f, data, out.samples); break;
    default: Refuse(TagText(f.tag) + " is not supported");
    }
    // Block-coded formats fill their last block up; the "fact" chunk tells where the sound ends.
    if (factFrames && (f.tag == wavetag::MsAdpcm || f.tag == wavetag::ImaAdpcm) && *factFrames < out.Frames())
        out.samples.resize(size_t(*factFrames) * f.channels);
    if (out.samples.empty()) Refuse("no samples");
    return out;
}

}  // namespace sauno::platform
