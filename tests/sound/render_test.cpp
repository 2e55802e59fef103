// sauno-inspect's render: sox-made sounds played through the sound device into a file, and the
// file measured.
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/wavdecode.h"
#include "tests/sound/soxfiles.h"

namespace sauno {
namespace {

using platform::DecodedWav;
using testing::Channel;
using testing::Correlation;

class InspectRender : public ::testing::Test {
protected:
    int Render(const std::string& in, const std::string& out)
    {
        return files.Run(std::string("'") + SAUNO_INSPECT + "' sound " + in + " --render " + out +
                         " > report.txt 2> errors.txt");
    }
    testing::SoxFiles files;
};

double Rms(const std::vector<double>& s)
{
    double e = 0;
    for (double v : s) e += v * v;
    return std::sqrt(e / double(s.size()));
}
// Upward zero crossings per second.
double Frequency(const std::vector<double>& s, int rate)
{
    int crossings = 0;
    for (size_t i = 1; i < s.size(); ++i) crossings += s[i - 1] < 0 && s[i] >= 0;
    return crossings * double(rate) / double(s.size());
}

// A sound at the listener comes out alike on both sides, at the panning gain of the centre; it
// is the same for every sound, so both tones keep their energies' ratio.
TEST_F(InspectRender, AToneComesOutAsLongAsItIsAtItsPitchAndLoudness)
{
    files.Sox("-n -r 22050 -c 1 -b 16 a.wav synth 0.75 sine 523 vol 0.5");
    files.Sox("-n -r 44100 -c 1 -b 16 b.wav synth 0.4 sine 2000 vol 0.25");
    double gain[2] = {};
    int n = 0;
    for (const char* name : {"a", "b"}) {
        const std::string in = std::string(name) + ".wav", out = std::string(name) + "-out.wav";
        ASSERT_EQ(Render(in, out), 0) << files.Text("errors.txt");
        const DecodedWav source = files.Wav(in), heard = files.Wav(out);
        EXPECT_NE(files.Text("report.txt").find("render " + out + " (" + std::to_string(source.Frames()) + " frames, " +
                                            std::to_string(source.rate) + " Hz, 16 bits, 2 channels)\n"),
                  std::string::npos)
            << files.Text("report.txt");
        EXPECT_EQ(heard.rate, source.rate) << name;
        ASSERT_EQ(heard.channels, 2);
        EXPECT_EQ(heard.Frames(), source.Frames()) << name;
        const std::vector<double> original = Channel(source, 0), left = Channel(heard, 0), right = Channel(heard, 1);
        EXPECT_GT(Correlation(left, original), 0.999) << name;  // in time, not a sample late
        EXPECT_NEAR(Rms(left) / Rms(right), 1, 0.01) << name;
        EXPECT_NEAR(Frequency(left, heard.rate), Frequency(original, source.rate), 2) << name;
        gain[n++] = Rms(left) / Rms(original);
    }
    EXPECT_GT(gain[0], 0.5);
    EXPECT_LT(gain[0], 1.0);
    EXPECT_NEAR(gain[1] / gain[0], 1, 0.02);
}

// Block-coded ADPCM heard through the device still sounds like its PCM original.
TEST_F(InspectRender, AnAdpcmFileSoundsLikeItsOriginal)
{
    files.Sox("-n -r 8000 -c 1 -b 16 pcm.wav synth 0.6 sine 200:1500 vol 0.7");
    for (const char* encoding : {"ms-adpcm", "ima-adpcm"}) {
        files.Sox(std::string("pcm.wav -e ") + encoding + " adpcm.wav");
        ASSERT_EQ(Render("adpcm.wav", "out.wav"), 0) << files.Text("errors.txt");
        const DecodedWav original = files.Wav("pcm.wav"), heard = files.Wav("out.wav");
        EXPECT_EQ(heard.Frames(), original.Frames()) << encoding;
        EXPECT_GT(Correlation(Channel(heard, 0), Channel(original, 0)), 0.99) << encoding;
    }
}

TEST_F(InspectRender, GsmShowsItsLengthAndIsRefusedWithoutAFile)
{
    files.Sox("-n -r 8000 -c 1 -b 16 pcm.wav synth 1.5 sine 440");
    files.Sox("pcm.wav -e gsm-full-rate gsm.wav");
    EXPECT_EQ(Render("gsm.wav", "out.wav"), 1);
    EXPECT_NE(files.Text("report.txt").find("duration 1.50\nname gsm.wav (8000 Hz, 0 bits, 1 channel, 1.50 sec)\n"),
              std::string::npos)
        << files.Text("report.txt");
    EXPECT_EQ(files.Text("errors.txt"), "GSM 6.10 (format tag 0x0031) is not supported\n");
    EXPECT_FALSE(std::filesystem::exists(files.Path("out.wav")));
    EXPECT_FALSE(std::filesystem::exists(files.Path("out.wav.partial")));
    // A destination that cannot be written is an error too.
    EXPECT_EQ(Render("pcm.wav", "no/such/folder/out.wav"), 1);
    EXPECT_EQ(files.Text("errors.txt"), "Cannot write no/such/folder/out.wav\n");
}

}  // namespace
}  // namespace sauno
