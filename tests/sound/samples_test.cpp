// Sound files, samples and libraries, on the samples the build synthesises and on files made here.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "platform/exception.h"
#include "platform/sounddevice.h"
#include "sound/soundlibrary.h"

namespace sauno {
namespace {

std::vector<uint8_t> ReadFile(const std::string& name)
{
    std::ifstream in(std::string(SAUNO_SAMPLE_DIR) + "/" + name, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void Put32(std::vector<uint8_t>& b, uint32_t v)
{
    for (int s = 0; s < 32; s += 8) b.push_back(uint8_t(v >> s));
}
void Chunk(std::vector<uint8_t>& b, const char* tag, std::vector<uint8_t> body, uint32_t size = ~0u)
{
    b.insert(b.end(), tag, tag + 4);
    Put32(b, size == ~0u ? uint32_t(body.size()) : size);
    b.insert(b.end(), body.begin(), body.end());
}
std::vector<uint8_t> Fmt16(uint16_t channels, uint32_t rate, uint16_t bits)
{
    std::vector<uint8_t> f;
    auto p16 = [&](uint16_t v) { f.push_back(uint8_t(v)), f.push_back(uint8_t(v >> 8)); };
    p16(1), p16(channels), Put32(f, rate), Put32(f, rate * channels * bits / 8), p16(uint16_t(channels * bits / 8)), p16(bits);
    return f;
}
// A RIFF-WAVE file of the given chunks; the RIFF size is the true one unless given.
std::vector<uint8_t> Riff(const std::vector<uint8_t>& chunks, uint32_t riffSize = ~0u)
{
    std::vector<uint8_t> b;
    Chunk(b, "RIFF", {}, riffSize == ~0u ? uint32_t(chunks.size() + 4) : riffSize);
    b.insert(b.end(), {'W', 'A', 'V', 'E'});
    b.insert(b.end(), chunks.begin(), chunks.end());
    return b;
}

std::string LoadError(const std::vector<uint8_t>& bytes)
{
    TWAVFile wav;
    try {
        wav.LoadFromStream(bytes);
    } catch (const Exception& e) {
        EXPECT_EQ(wav.FileSize(), 0u);
        return e.what();
    }
    return "";
}

TEST(SoundSamples, FireBinDataReadsBackAsStored)
{
    const std::vector<uint8_t> riff = ReadFile("tuli2.wav");
    ASSERT_EQ(riff.size(), 912928u);
    TWAVFile wav;
    wav.LoadFromStream(riff);
    TSoundSample sample;
    sample.Name = "tuli2.wav";
    sample.SetData(&wav);
    const std::vector<uint8_t> bin = sample.WriteBinData();
    ASSERT_EQ(bin.size(), 912940u);
    EXPECT_EQ(std::string(bin.begin() + 4, bin.begin() + 12), "TWAVFile");
    EXPECT_EQ(bin[0], 8);

    TSoundSample back;
    back.ReadBinData(bin);
    auto* file = dynamic_cast<TWAVFile*>(back.Data());
    ASSERT_NE(file, nullptr);
    EXPECT_EQ(file->SampleDataOffset(), 58);
    EXPECT_EQ(file->SampleDataSize(), 912870u);
    EXPECT_EQ(file->SampleCount(), 456435);
    EXPECT_EQ(std::lround(file->Duration() * 100), 1035);
    EXPECT_TRUE(std::equal(riff.begin(), riff.end(), file->FileBytes().begin()));
}

TEST(SoundSamples, DisplayNamesAndLookup)
{
    TSoundLibrary library(nullptr);
    TSoundSample& fire = library.Samples().Add();
    fire.Name = "tuli2.wav";
    TSoundSample& hiss = library.Samples().Add();
    hiss.Name = "sihahdus2.wav";
    TWAVFile wav;
    wav.LoadFromStream(ReadFile("sihahdus2.wav"));
    hiss.SetData(&wav);
    EXPECT_EQ(hiss.DisplayName(), "sihahdus2.wav (44100 Hz, 16 bits, 1 channel, 1.58 sec)");
    EXPECT_EQ(fire.DisplayName(), "tuli2.wav (empty)");
    EXPECT_FALSE(fire.HasBinData());
    EXPECT_TRUE(fire.WriteBinData().empty());
    EXPECT_EQ(library.Samples().GetByName("TULI2.WAV"), &fire);
    EXPECT_EQ(library.Samples().GetByName("tuli2"), nullptr);

    // Libraries by component name match exactly; a destroyed one leaves the list.
    library.SetName("SoundLibrary1");
    EXPECT_EQ(GetSoundLibraryByName("SoundLibrary1"), &library);
    EXPECT_EQ(GetSoundLibraryByName("soundlibrary1"), nullptr);
    {
        TSoundLibrary other(nullptr);
        other.SetName("Other");
        other.SetSamples(library.Samples());
        EXPECT_EQ(other.Samples().Count(), 2);
        EXPECT_NE(other.Samples().Items(1).Data(), hiss.Data());  // a copy, not shared
    }
    EXPECT_EQ(GetSoundLibraryByName("Other"), nullptr);
}

TEST(SoundSamples, ChunksAfterDataCountAsSampleData)
{
    std::vector<uint8_t> chunks;
    Chunk(chunks, "fmt ", Fmt16(2, 8000, 16));
    Chunk(chunks, "data", std::vector<uint8_t>(400, 0));
    Chunk(chunks, "LIST", std::vector<uint8_t>(20, 'x'));
    TWAVFile wav;
    wav.LoadFromStream(Riff(chunks));
    EXPECT_EQ(wav.SampleDataOffset(), 44);
    EXPECT_EQ(wav.SampleDataSize(), 428u);
    EXPECT_EQ(wav.SampleCount(), 107);
    EXPECT_EQ(wav.Sampling().NbChannels, 2);
    EXPECT_EQ(wav.Sampling().Frequency, 8000);
}

TEST(SoundSamples, BrokenFilesAreRefusedWithoutReadingPastTheBytes)
{
    EXPECT_EQ(LoadError({}), "RIFF required");
    EXPECT_EQ(LoadError({'R', 'I', 'F', 'X', 0, 0, 0, 0, 'W', 'A', 'V', 'E'}), "RIFF required");
    EXPECT_EQ(LoadError({'R', 'I', 'F', 'F', 4, 0, 0, 0, 'A', 'V', 'I', ' '}), "RIFF-WAVE required");
    EXPECT_EQ(LoadError({'R', 'I', 'F', 'F', 4, 0, 0, 0, 'W', 'A'}), "RIFF-WAVE required");

    std::vector<uint8_t> noData;
    Chunk(noData, "fmt ", Fmt16(1, 44100, 16));
    Chunk(noData, "LIST", std::vector<uint8_t>(10, 0));
    EXPECT_EQ(LoadError(Riff(noData)), "WAV file without a data chunk");

    std::vector<uint8_t> pastEnd;
    Chunk(pastEnd, "fmt ", Fmt16(1, 44100, 16));
    Chunk(pastEnd, "junk", std::vector<uint8_t>(8, 0), 0xFFFFFFF0u);
    Chunk(pastEnd, "data", std::vector<uint8_t>(8, 0));
    EXPECT_EQ(LoadError(Riff(pastEnd)), "WAV file without a data chunk");

    // A truncated "fmt " chunk is read only as far as the bytes go.
    std::vector<uint8_t> shortFmt = Riff({}, 40);
    shortFmt.insert(shortFmt.end(), {'f', 'm', 't', ' ', 18, 0, 0, 0, 1, 0});
    EXPECT_EQ(LoadError(shortFmt), "WAV file without a data chunk");

    // A RIFF size beyond the file keeps the bytes that are there.
    std::vector<uint8_t> chunks;
    Chunk(chunks, "fmt ", Fmt16(1, 22050, 8));
    Chunk(chunks, "data", std::vector<uint8_t>(100, 128));
    const std::vector<uint8_t> longer = Riff(chunks, 1'000'000);
    TWAVFile wav;
    EXPECT_EQ(wav.LoadFromStream(longer), longer.size());
    EXPECT_EQ(wav.SampleDataSize(), 100u);

    // Bytes after the RIFF size are not part of the file.
    std::vector<uint8_t> trailing = Riff(chunks);
    trailing.insert(trailing.end(), 50, 0xEE);
    EXPECT_EQ(wav.LoadFromStream(trailing), trailing.size() - 50);
}

// The sample reader and the device's decoder walk the chunks alike: pad bytes, the scan limit and
// sizes running past the file.
class BothWavReaders : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(device.Init(44100, 8, 0)); }
    bool DevicePlays(const std::vector<uint8_t>& file)
    {
        namespace sd = platform::sound;
        return device.SampleLoad(sd::Free, file, sd::LoadFromMemory, 0) != sd::None;
    }
    platform::OpenALSoundDevice device{platform::OpenALSoundDevice::Output::Loopback};
};

TEST_F(BothWavReaders, AnOddChunkBeforeDataIsFollowedByItsPadByte)
{
    std::vector<uint8_t> chunks;
    Chunk(chunks, "fmt ", Fmt16(1, 8000, 16));
    Chunk(chunks, "LIST", {'a', 'b', 'c', 'd', 'e', 0}, 5);
    Chunk(chunks, "data", std::vector<uint8_t>(200, 0));
    const std::vector<uint8_t> file = Riff(chunks);
    TWAVFile wav;
    wav.LoadFromStream(file);
    EXPECT_EQ(wav.SampleDataOffset(), 12 + 24 + 14 + 8);
    EXPECT_EQ(wav.SampleDataSize(), 200u);
    EXPECT_EQ(wav.Sampling().Frequency, 8000);
    EXPECT_TRUE(DevicePlays(file));
}

TEST_F(BothWavReaders, TheScanGivesUpWhenASkipLandsOnByte2048)
{
    // An odd-sized chunk whose pad byte ends at 2048 stops the scan before "data".
    std::vector<uint8_t> chunks;
    Chunk(chunks, "fmt ", Fmt16(1, 8000, 16));
    Chunk(chunks, "junk", std::vector<uint8_t>(2004, 0), 2003);
    ASSERT_EQ(chunks.size() + 12, 2048u);
    Chunk(chunks, "data", std::vector<uint8_t>(100, 0));
    const std::vector<uint8_t> file = Riff(chunks);
    TWAVFile wav;
    wav.LoadFromStream(file);
    EXPECT_EQ(wav.SampleDataOffset(), 0);
    EXPECT_EQ(wav.SampleDataSize(), file.size());
    EXPECT_FALSE(DevicePlays(file));

    // One byte further on, the scan reaches "data".
    std::vector<uint8_t> past;
    Chunk(past, "fmt ", Fmt16(1, 8000, 16));
    Chunk(past, "junk", std::vector<uint8_t>(2006, 0), 2005);
    Chunk(past, "data", std::vector<uint8_t>(100, 0));
    const std::vector<uint8_t> found = Riff(past);
    wav.LoadFromStream(found);
    EXPECT_EQ(wav.SampleDataOffset(), 2058);
    EXPECT_TRUE(DevicePlays(found));
}

TEST_F(BothWavReaders, ChunkSizesRunningPastTheFile)
{
    // A skipped chunk that runs past the file hides the "data" after it, for both.
    for (uint32_t size : {0xFFFFFFF0u, 0xFFFFFFFDu, 30u}) {
        std::vector<uint8_t> chunks;
        Chunk(chunks, "fmt ", Fmt16(1, 8000, 16));
        Chunk(chunks, "junk", std::vector<uint8_t>(8, 0), size);
        Chunk(chunks, "data", std::vector<uint8_t>(8, 0));
        EXPECT_EQ(LoadError(Riff(chunks)), "WAV file without a data chunk") << size;
        EXPECT_FALSE(DevicePlays(Riff(chunks))) << size;
    }
    // A "data" chunk longer than the file gives the samples that are there.
    std::vector<uint8_t> chunks;
    Chunk(chunks, "fmt ", Fmt16(1, 8000, 16));
    Chunk(chunks, "data", std::vector<uint8_t>(64, 0), 100000);
    TWAVFile wav;
    wav.LoadFromStream(Riff(chunks));
    EXPECT_EQ(wav.SampleDataSize(), 64u);
    EXPECT_TRUE(DevicePlays(Riff(chunks)));
}

TEST(SoundSamples, BinDataErrorsAndOtherFormats)
{
    TSoundSample s;
    std::vector<uint8_t> bin = {5, 0, 0, 0, 'T', 'F', 'o', 'o', 'X', 1, 2};
    try {
        s.ReadBinData(bin);
        FAIL();
    } catch (const Exception& e) {
        EXPECT_STREQ(e.what(), "Class TFooX not found");
    }
    EXPECT_EQ(s.Data(), nullptr);
    EXPECT_THROW(s.ReadBinData(std::vector<uint8_t>{200, 0, 0, 0, 'T'}), Exception);
    EXPECT_THROW(s.ReadBinData(std::vector<uint8_t>{0, 1, 0, 0}), Exception);

    std::vector<uint8_t> mp3 = {8, 0, 0, 0, 'T', 'M', 'P', '3', 'F', 'i', 'l', 'e', 0xFF, 0xFB, 0x90, 0x00};
    s.ReadBinData(mp3);
    ASSERT_NE(s.Data(), nullptr);
    EXPECT_EQ(s.Data()->FileSize(), 4u);
    EXPECT_EQ(s.Data()->SampleDataSize(), 0u);
    EXPECT_EQ(s.Data()->Sampling().Frequency, 22050);
    EXPECT_EQ(s.WriteBinData(), mp3);
    try {
        s.Data()->PlayOnWaveOut();
        FAIL();
    } catch (const Exception& e) {
        EXPECT_STREQ(e.what(), "MP3 playback on WaveOut not supported.");
    }

    const TSoundFileFormat* wav = TSoundFileFormatsList::Instance().FindExt("WAV");
    ASSERT_NE(wav, nullptr);
    EXPECT_EQ(wav->Description, "Windows WAV files");
    EXPECT_EQ(TSoundFileFormatsList::Instance().FindExt("mp3")->ClassName, "TMP3File");
    EXPECT_EQ(TSoundFileFormatsList::Instance().FindExt("ogg"), nullptr);
}

// The synthesised fire: full length, crackles throughout, a roar underneath, no click where it loops.
TEST(SoundSamples, FireLoopsWithoutAClickAndCrackles)
{
    const std::vector<uint8_t> riff = ReadFile("tuli2.wav");
    ASSERT_EQ(riff.size(), 912928u);
    EXPECT_EQ(std::memcmp(riff.data() + 38, "fact", 4), 0);
    EXPECT_EQ(std::memcmp(riff.data() + 50, "data", 4), 0);
    std::vector<double> s;
    for (size_t i = 58; i + 1 < riff.size(); i += 2) s.push_back(int16_t(riff[i] | riff[i + 1] << 8) / 32768.0);
    ASSERT_EQ(s.size(), 456435u);
    double stepSum = 0;
    for (size_t i = 1; i < s.size(); ++i) stepSum += std::abs(s[i] - s[i - 1]);
    const double meanStep = stepSum / double(s.size() - 1);
    EXPECT_LT(std::abs(s.front() - s.back()), 6 * meanStep) << "a click at the loop seam";
    // Every 0.5 s has at least one crackle well above the roar, and the roar never falls silent.
    for (size_t start = 0; start + 22050 <= s.size(); start += 22050) {
        double peak = 0, energy = 0;
        for (size_t i = start; i < start + 22050; ++i) peak = std::max(peak, std::abs(s[i])), energy += s[i] * s[i];
        const double rms = std::sqrt(energy / 22050);
        EXPECT_GT(peak, 4 * rms) << "no crackle at " << start;
        EXPECT_GT(rms, 0.01) << "silence at " << start;
    }
}

}  // namespace
}  // namespace sauno
