// Damaged files through the device's decoder, built with address and undefined-behaviour checks:
// each one decodes or is refused, and nothing is read outside the bytes.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "platform/exception.h"
#include "platform/wavdecode.h"
#include "tests/sound/soxfiles.h"

namespace sauno {
namespace {

void DecodeOrRefuse(const std::vector<uint8_t>& damaged)
{
    const std::vector<uint8_t> file(damaged.begin(), damaged.end());  // no spare capacity to hide a stray read
    try {
        const platform::DecodedWav w = platform::DecodeWav(file);
        ASSERT_TRUE(w.channels == 1 || w.channels == 2);
        ASSERT_EQ(w.samples.size() % size_t(w.channels), 0u);
        ASSERT_FALSE(w.samples.empty());
    } catch (const Exception&) {
    }
}

TEST(DecodeDamage, AnyByteOfAnyFormatChangedOrCutOff)
{
    testing::SoxFiles files;
    files.Sox("-n -r 8000 -c 2 -b 16 src.wav synth 0.2 sine 300 sine 500");
    std::vector<std::vector<uint8_t>> originals;
    for (const char* encoding : {"-e ms-adpcm", "-e ima-adpcm", "-e u-law", "-e a-law", "-b 24", "-e float"}) {
        files.Sox(std::string("src.wav ") + encoding + " enc.wav");
        originals.push_back(files.Read("enc.wav"));
        files.Sox(std::string("src.wav -c 1 ") + encoding + " enc.wav");
        originals.push_back(files.Read("enc.wav"));
    }
    std::mt19937 random(20261210);
    for (int round = 0; round < 3000; ++round) {
        std::vector<uint8_t> file = originals[random() % originals.size()];
        // Mostly the header and the first block's header, where sizes and indexes live.
        for (int n = 1 + int(random() % 4); n > 0; --n) {
            const size_t at = random() % 2 ? random() % std::min<size_t>(file.size(), 120) : random() % file.size();
            file[at] = uint8_t(random());
        }
        if (random() % 3 == 0) file.resize(random() % file.size());
        DecodeOrRefuse(file);
    }
}

// Codes that push the MS ADPCM delta up at every step, block after block.
TEST(DecodeDamage, AnMsAdpcmDeltaThatOnlyGrows)
{
    testing::SoxFiles files;
    files.Sox("-n -r 8000 -c 1 -b 16 src.wav synth 0.5 sine 300");
    files.Sox("src.wav -e ms-adpcm enc.wav");
    std::vector<uint8_t> file = files.Read("enc.wav");
    const size_t data = 90, block = size_t(file[32] | file[33] << 8);
    for (uint8_t code : {0x88, 0x77}) {
        for (size_t b = data; b + block <= file.size(); b += block)
            for (size_t i = b + 7; i < b + block; ++i) file[i] = code;
        const platform::DecodedWav w = platform::DecodeWav(file);
        EXPECT_EQ(w.samples.back(), code == 0x77 ? 32767 : -32768);
    }
}

}  // namespace
}  // namespace sauno
