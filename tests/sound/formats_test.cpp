// The sample formats the device decodes, each against sox's own decode of the same file, and
// what happens to a sample it cannot play.
#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <string>
#include <vector>

#include "platform/exception.h"
#include "platform/wavdecode.h"
#include "runtime/application.h"
#include "sound/smfmod.h"
#include "tests/sound/soxfiles.h"

namespace sauno {
namespace {

using platform::DecodedWav;
using platform::DecodeWav;
using testing::Channel;
using testing::Correlation;
using testing::SoxFiles;

// Compares a decode with sox's: same shape, every sample the same. Sox decodes a block-coded
// file's last block whole, past the end that its "fact" chunk gives; those samples are the
// encoder's fill and are left out of ours.
void ExpectSameSamples(const DecodedWav& ours, const DecodedWav& sox, const std::string& what)
{
    ASSERT_EQ(ours.channels, sox.channels) << what;
    ASSERT_EQ(ours.rate, sox.rate) << what;
    ASSERT_LE(ours.samples.size(), sox.samples.size()) << what;
    ASSERT_GT(ours.samples.size(), sox.samples.size() * 9 / 10) << what;
    for (size_t i = 0; i < ours.samples.size(); ++i)
        if (ours.samples[i] != sox.samples[i]) {
            ADD_FAILURE() << what << ": sample " << i << " is " << ours.samples[i] << ", sox says " << sox.samples[i];
            return;
        }
}

// The sources: a sweep in mono, two tones in stereo, at rates whose default block sizes differ.
struct Source {
    const char* name;
    const char* make;
};
constexpr std::array<Source, 3> Sources = {{
    {"mono8k.wav", "-n -r 8000 -c 1 -b 16 mono8k.wav synth 0.71 sine 300:1200 vol 0.6"},
    {"stereo22k.wav", "-n -r 22050 -c 2 -b 16 stereo22k.wav synth 0.43 sine 440 sine 660 vol 0.5"},
    {"mono44k.wav", "-n -r 44100 -c 1 -b 16 mono44k.wav synth 0.3 sine 1000 vol 0.8"},
}};

TEST(SampleFormats, EachEncodingDecodesAsSoxDecodesIt)
{
    SoxFiles files;
    for (const Source& source : Sources) {
        files.Sox(source.make);
        const DecodedWav original = DecodeWav(files.Read(source.name));
        for (const char* encoding : {"ms-adpcm", "ima-adpcm", "u-law", "a-law"}) {
            const std::string what = std::string(source.name) + " as " + encoding;
            files.Sox(std::string(source.name) + " -e " + encoding + " enc.wav");
            files.Sox("enc.wav -e signed-integer -b 16 ref.wav");
            const DecodedWav ours = DecodeWav(files.Read("enc.wav"));
            ExpectSameSamples(ours, DecodeWav(files.Read("ref.wav")), what);
            // And it still sounds like the source.
            ASSERT_EQ(ours.samples.size(), original.samples.size()) << what;
            for (int c = 0; c < ours.channels; ++c)
                EXPECT_GT(Correlation(Channel(ours, c), Channel(original, c)), 0.99) << what << ", channel " << c;
        }
    }
}

// Cuts a block-coded file's "data" chunk to `bytes`, keeping everything before it as it was.
std::vector<uint8_t> CutData(std::vector<uint8_t> file, uint32_t bytes)
{
    for (size_t at = 12; at + 8 <= file.size();) {
        const uint32_t size = file[at + 4] | file[at + 5] << 8 | file[at + 6] << 16 | uint32_t(file[at + 7]) << 24;
        if (std::string(file.begin() + long(at), file.begin() + long(at) + 4) == "data") {
            file.resize(at + 8 + bytes);
            for (int i = 0; i < 4; ++i) file[at + 4 + i] = uint8_t(bytes >> (8 * i));
            const uint32_t riff = uint32_t(file.size() - 8);
            for (int i = 0; i < 4; ++i) file[4 + i] = uint8_t(riff >> (8 * i));
            return file;
        }
        at += 8 + size + (size & 1);
    }
    return file;
}

TEST(SampleFormats, ALastBlockShorterThanTheBlockSize)
{
    SoxFiles files;
    files.Sox(Sources[0].make);  // mono, 256-byte blocks
    files.Sox(Sources[1].make);  // stereo, 1024-byte blocks
    for (const char* source : {"mono8k.wav", "stereo22k.wav"})
        for (const char* encoding : {"ms-adpcm", "ima-adpcm"}) {
            files.Sox(std::string(source) + " -e " + encoding + " full.wav");
            const std::vector<uint8_t> full = files.Read("full.wav");
            const uint16_t blockAlign = uint16_t(full[32] | full[33] << 8);
            const size_t perBlock = size_t(full[38] | full[39] << 8);
            // Two whole blocks and part of a third, cut in the middle of a group of samples.
            const uint32_t cut = 2u * blockAlign + blockAlign / 3 + 5;
            files.Write("short.wav", CutData(full, cut));
            files.Sox("short.wav -e signed-integer -b 16 ref.wav");
            const std::string what = std::string(source) + " as " + encoding + ", cut to " + std::to_string(cut);
            const DecodedWav ours = DecodeWav(files.Read("short.wav"));
            ExpectSameSamples(ours, DecodeWav(files.Read("ref.wav")), what);
            EXPECT_GT(ours.Frames(), 2 * perBlock) << what;  // the part block counts
            EXPECT_LT(ours.Frames(), 3 * perBlock) << what;
        }
}

// Encoders of our own, for block sizes sox never picks. Their quality is beside the point: sox
// decodes what they write, and the two decodes must agree.
void Put16(std::vector<uint8_t>& b, int v) { b.push_back(uint8_t(v)), b.push_back(uint8_t(v >> 8)); }
void Put32(std::vector<uint8_t>& b, uint32_t v) { Put16(b, int(v & 0xFFFF)), Put16(b, int(v >> 16)); }

std::vector<uint8_t> WavFile(uint16_t tag, const DecodedWav& pcm, uint16_t blockAlign, const std::vector<uint8_t>& extra,
                             const std::vector<uint8_t>& data, uint32_t frames)
{
    std::vector<uint8_t> fmt;
    Put16(fmt, tag), Put16(fmt, pcm.channels), Put32(fmt, uint32_t(pcm.rate)), Put32(fmt, uint32_t(pcm.rate) * blockAlign / 256);
    Put16(fmt, blockAlign), Put16(fmt, 4), Put16(fmt, int(extra.size()));
    fmt.insert(fmt.end(), extra.begin(), extra.end());
    std::vector<uint8_t> b = {'R', 'I', 'F', 'F', 0, 0, 0, 0, 'W', 'A', 'V', 'E', 'f', 'm', 't', ' '};
    Put32(b, uint32_t(fmt.size())), b.insert(b.end(), fmt.begin(), fmt.end());
    b.insert(b.end(), {'f', 'a', 'c', 't'}), Put32(b, 4), Put32(b, frames);
    b.insert(b.end(), {'d', 'a', 't', 'a'}), Put32(b, uint32_t(data.size())), b.insert(b.end(), data.begin(), data.end());
    if (data.size() & 1) b.push_back(0);
    const uint32_t riff = uint32_t(b.size() - 8);
    for (int i = 0; i < 4; ++i) b[4 + i] = uint8_t(riff >> (8 * i));
    return b;
}

int16_t Clamp16(int v) { return int16_t(std::clamp(v, -32768, 32767)); }

std::vector<uint8_t> EncodeIma(const DecodedWav& pcm, uint16_t blockAlign)
{
    static constexpr int Steps[89] = {
        7,    8,    9,    10,   11,   12,   13,   14,   16,   17,   19,   21,    23,    25,    28,    31,    34,    37,
        41,   45,   50,   55,   60,   66,   73,   80,   88,   97,   107,  118,   130,   143,   157,   173,   190,   209,
        230,  253,  279,  307,  337,  371,  408,  449,  494,  544,  598,  658,   724,   796,   876,   963,   1060,  1166,
        1282, 1411, 1552, 1707, 1878, 2066, 2272, 2499, 2749, 3024, 3327, 3660, 4026,  4428,  4871,  5358,  5894,  6484,
        7132, 7845, 8630, 9493, 10442, 11487, 12635, 13899, 15289, 16818, 18500, 20350, 22385, 24623, 27086, 29794, 32767};
    static constexpr int IndexSteps[8] = {-1, -1, -1, -1, 2, 4, 6, 8};
    const size_t ch = size_t(pcm.channels), perBlock = (blockAlign - 4 * ch) / (4 * ch) * 8 + 1;
    std::vector<uint8_t> data;
    for (size_t start = 0; start < pcm.Frames(); start += perBlock) {
        std::vector<uint8_t> block(blockAlign, 0);
        for (size_t c = 0; c < ch; ++c) {
            int predicted = pcm.samples[start * ch + c], index = 20;
            block[4 * c] = uint8_t(predicted), block[4 * c + 1] = uint8_t(predicted >> 8), block[4 * c + 2] = uint8_t(index);
            for (size_t k = 0; k + 1 < perBlock; ++k) {
                const size_t frame = std::min(start + k + 1, pcm.Frames() - 1);
                const int step = Steps[index];
                int diff = pcm.samples[frame * ch + c] - predicted, code = 0;
                if (diff < 0) code = 8, diff = -diff;
                int delta = step >> 3;
                if (diff >= step) code |= 4, diff -= step, delta += step;
                if (diff >= step >> 1) code |= 2, diff -= step >> 1, delta += step >> 1;
                if (diff >= step >> 2) code |= 1, delta += step >> 2;
                predicted = Clamp16(code & 8 ? predicted - delta : predicted + delta);
                index = std::clamp(index + IndexSteps[code & 7], 0, 88);
                uint8_t& byte = block[4 * ch + (k / 8) * 4 * ch + 4 * c + (k % 8) / 2];
                byte |= uint8_t(k % 2 == 0 ? code : code << 4);
            }
        }
        data.insert(data.end(), block.begin(), block.end());
    }
    std::vector<uint8_t> extra;
    Put16(extra, int(perBlock));
    return WavFile(platform::wavetag::ImaAdpcm, pcm, blockAlign, extra, data, uint32_t(pcm.Frames()));
}

std::vector<uint8_t> EncodeMs(const DecodedWav& pcm, uint16_t blockAlign)
{
    static constexpr int Adaptation[16] = {230, 230, 230, 230, 307, 409, 512, 614, 768, 614, 512, 409, 307, 230, 230, 230};
    static constexpr int Coefficients[7][2] = {{256, 0}, {512, -256}, {0, 0}, {192, 64}, {240, 0}, {460, -208}, {392, -232}};
    const size_t ch = size_t(pcm.channels), perBlock = (blockAlign - 7 * ch) * 2 / ch + 2;
    auto at = [&](size_t frame, size_t c) { return int(pcm.samples[std::min(frame, pcm.Frames() - 1) * ch + c]); };
    std::vector<uint8_t> data;
    for (size_t start = 0; start < pcm.Frames(); start += perBlock) {
        std::vector<uint8_t> block(blockAlign, 0);
        std::vector<int> delta(ch, 16), s1(ch), s2(ch), predictor(ch);
        for (size_t c = 0; c < ch; ++c) {
            predictor[c] = int((start / perBlock + c) % 7);  // every predictor gets its turn
            s2[c] = at(start, c), s1[c] = at(start + 1, c);
            block[c] = uint8_t(predictor[c]);
            block[ch + 2 * c] = uint8_t(delta[c]), block[ch + 2 * c + 1] = 0;
            block[3 * ch + 2 * c] = uint8_t(s1[c]), block[3 * ch + 2 * c + 1] = uint8_t(s1[c] >> 8);
            block[5 * ch + 2 * c] = uint8_t(s2[c]), block[5 * ch + 2 * c + 1] = uint8_t(s2[c] >> 8);
        }
        for (size_t i = 0; i < (perBlock - 2) * ch; ++i) {
            const size_t c = i % ch;
            const int predicted = (s1[c] * Coefficients[predictor[c]][0] + s2[c] * Coefficients[predictor[c]][1]) >> 8;
            const int code = std::clamp(int(std::lround(double(at(start + 2 + i / ch, c) - predicted) / delta[c])), -8, 7);
            const int16_t sample = Clamp16(predicted + code * delta[c]);
            s2[c] = s1[c], s1[c] = sample;
            delta[c] = std::max(Adaptation[code & 15] * delta[c] >> 8, 16);
            block[7 * ch + i / 2] |= uint8_t(i % 2 == 0 ? (code & 15) << 4 : code & 15);
        }
        data.insert(data.end(), block.begin(), block.end());
    }
    std::vector<uint8_t> extra;
    Put16(extra, int(perBlock)), Put16(extra, 7);
    for (const auto& pair : Coefficients) Put16(extra, pair[0]), Put16(extra, pair[1]);
    return WavFile(platform::wavetag::MsAdpcm, pcm, blockAlign, extra, data, uint32_t(pcm.Frames()));
}

TEST(SampleFormats, BlockSizesSoxNeverPicks)
{
    SoxFiles files;
    files.Sox(Sources[0].make);
    files.Sox(Sources[1].make);
    const DecodedWav mono = DecodeWav(files.Read("mono8k.wav")), stereo = DecodeWav(files.Read("stereo22k.wav"));
    struct Case {
        const char* what;
        std::vector<uint8_t> file;
    };
    const std::vector<Case> cases = {
        {"IMA mono, 36-byte blocks", EncodeIma(mono, 36)},  {"IMA stereo, 72-byte blocks", EncodeIma(stereo, 72)},
        {"IMA mono, 100-byte blocks", EncodeIma(mono, 100)}, {"MS mono, 39-byte blocks", EncodeMs(mono, 39)},
        {"MS stereo, 64-byte blocks", EncodeMs(stereo, 64)}, {"MS mono, 333-byte blocks", EncodeMs(mono, 333)},
    };
    for (const Case& c : cases) {
        files.Write("ours.wav", c.file);
        files.Sox("ours.wav -e signed-integer -b 16 ref.wav");
        const DecodedWav ours = DecodeWav(c.file);
        ExpectSameSamples(ours, DecodeWav(files.Read("ref.wav")), c.what);
        EXPECT_EQ(ours.Frames(), ours.channels == 1 ? mono.Frames() : stereo.Frames()) << c.what;
    }
}

std::string Refusal(const std::vector<uint8_t>& file)
{
    try {
        DecodeWav(file);
    } catch (const Exception& e) {
        return e.what();
    }
    return "";
}

TEST(SampleFormats, WhatTheDeviceCannotPlayIsNamedAndKeptSafe)
{
    SoxFiles files;
    files.Sox(Sources[0].make);
    files.Sox("mono8k.wav -e gsm-full-rate gsm.wav");
    EXPECT_EQ(Refusal(files.Read("gsm.wav")), "GSM 6.10 (format tag 0x0031) is not supported");
    std::vector<uint8_t> unknown = files.Read("mono8k.wav");
    unknown[20] = 0x34, unknown[21] = 0x12;
    EXPECT_EQ(Refusal(unknown), "format tag 0x1234 is not supported");

    // Damaged block-coded headers and sizes: refused, never read outside the bytes.
    files.Sox("mono8k.wav -e ms-adpcm ms.wav");
    files.Sox("mono8k.wav -e ima-adpcm ima.wav");
    std::vector<uint8_t> ms = files.Read("ms.wav"), ima = files.Read("ima.wav");
    std::vector<uint8_t> badPredictor = ms;
    badPredictor[90] = 7;  // the first block's predictor, past the seven coefficient pairs
    EXPECT_EQ(Refusal(badPredictor), "corrupt MS ADPCM block: predictor 7");
    std::vector<uint8_t> badIndex = ima;
    badIndex[62] = 89;  // the first block's step index
    EXPECT_EQ(Refusal(badIndex), "corrupt IMA ADPCM block: step index 89");
    std::vector<uint8_t> tinyBlocks = ms;
    tinyBlocks[32] = 7, tinyBlocks[33] = 0;
    EXPECT_EQ(Refusal(tinyBlocks), "MS ADPCM block size 7 is too small");
    std::vector<uint8_t> oddBlocks = ima;
    oddBlocks[32] = 6, oddBlocks[33] = 0;
    EXPECT_EQ(Refusal(oddBlocks), "IMA ADPCM block size 6 does not fit 1 channel(s)");
    // Cut anywhere: samples as far as the bytes go, or a refusal.
    for (size_t keep = 12; keep < 120; keep += 3) Refusal(std::vector<uint8_t>(ms.begin(), ms.begin() + long(keep)));
}

// GSM 6.10 as sox writes it has no bits per sample: its length comes from the "fact" chunk.
TEST(SampleFormats, AFormatWithoutBitsTakesItsLengthFromTheFactChunk)
{
    SoxFiles files;
    files.Sox(Sources[0].make);
    files.Sox("mono8k.wav -e gsm-full-rate gsm.wav");
    TWAVFile gsm;
    gsm.LoadFromStream(files.Read("gsm.wav"));
    EXPECT_EQ(gsm.Sampling().BitsPerSample, 0);
    EXPECT_EQ(gsm.FactSampleCount(), 5680);
    EXPECT_NEAR(gsm.Duration(), 0.71, 1e-6);
    TSoundSample sample;
    sample.Name = "gsm.wav";
    sample.SetData(&gsm);
    EXPECT_EQ(sample.DisplayName(), "gsm.wav (8000 Hz, 0 bits, 1 channel, 0.71 sec)");
    // Where there are bits, they decide, "fact" or not.
    files.Sox("mono8k.wav -e u-law ulaw.wav");
    TWAVFile ulaw;
    ulaw.LoadFromStream(files.Read("ulaw.wav"));
    EXPECT_EQ(ulaw.FactSampleCount(), 5680);
    EXPECT_FLOAT_EQ(ulaw.Duration(), float(ulaw.SampleDataSize()) / 8000.0f);
}

// A sample the device cannot play is reported once, however often it is asked for, and its
// sources go; a playable one beside it plays on.
TEST(SampleFormats, AnUnplayableSampleIsReportedOnceOnStandardErrorWithoutADialog)
{
    SoxFiles files;
    files.Sox(Sources[0].make);
    files.Sox("mono8k.wav -e gsm-full-rate gsm.wav");
    files.Sox("mono8k.wav -e ima-adpcm ima.wav");
    std::vector<std::string> errors;
    Application().OnException = [&](const std::string& text) { errors.push_back(text); };
    SetSoundDeviceFactory([] { return std::make_unique<platform::OpenALSoundDevice>(platform::OpenALSoundDevice::Output::Loopback); });
    {
        TComponent root(nullptr);
        auto* library = new TSoundLibrary(&root);
        for (const char* name : {"gsm.wav", "ima.wav"}) {
            TWAVFile wav;
            wav.LoadFromStream(files.Read(name));
            TSoundSample& s = library->Samples().Add();
            s.Name = name;
            s.SetData(&wav);
        }
        auto* where = new TDummyCube(&root);
        auto* manager = new TSMFMOD(&root);
        manager->SetActive(true);
        ASSERT_TRUE(manager->Active());
        auto emit = [&](const char* name) {
            auto* e = where->Behaviours().Add<TBSoundEmitter>();
            e->Source().SetSoundLibrary(library);
            e->Source().SetSoundName(name);
            e->Source().SetNbLoops(2);
            e->SetPlaying(true);
            return e;
        };
        TBSoundEmitter* gsm = emit("gsm.wav");
        TBSoundEmitter* ima = emit("ima.wav");
        double time = 0;
        ::testing::internal::CaptureStderr();
        for (int step = 0; step < 5; ++step) manager->DoProgress({0.2, time += 0.2});
        // No dialog during play: one line on standard error.
        EXPECT_TRUE(errors.empty());
        EXPECT_EQ(::testing::internal::GetCapturedStderr(),
                  "Cannot play the sound \"gsm.wav\": GSM 6.10 (format tag 0x0031) is not supported\n");
        EXPECT_FALSE(gsm->Playing());
        EXPECT_TRUE(ima->Playing());
        EXPECT_EQ(manager->Sources().Count(), 1);
        // Asked for again, by the same emitter and by a new one: no second report.
        gsm->SetPlaying(true);
        emit("GSM.WAV");
        ::testing::internal::CaptureStderr();
        for (int step = 0; step < 5; ++step) manager->DoProgress({0.2, time += 0.2});
        EXPECT_EQ(::testing::internal::GetCapturedStderr(), "");
        EXPECT_TRUE(errors.empty());
        EXPECT_EQ(manager->Sources().Count(), 1);
        manager->SetActive(false);
    }
    SetSoundDeviceFactory(nullptr);
    Application().OnException = nullptr;
}

}  // namespace
}  // namespace sauno
