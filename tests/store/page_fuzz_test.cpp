// Page images of every layout with random contents: decoding never reads
// outside the image, and what decodes encodes back to the same entries.
// Writes that the system refuses (a file-size limit) end in STORE_WRITEERR.
#include <gtest/gtest.h>

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <cstring>
#include <random>

#include "Page.h"
#include "StoreError.h"
#include "TestSupport.h"

using namespace store;
using namespace store_test;

TEST(PageFuzz, RandomImagesDecodeSafely) {
  std::mt19937 random(5);
  std::vector<std::uint8_t> image(PageSize), again(PageSize);
#ifdef SAUNO_STORE_SANITIZED
  const int rounds = 1000;
#else
  const int rounds = 4000;
#endif
  int decoded = 0;
  for (int round = 0; round < rounds; ++round) {
    TPageLayout layout;
    layout.KeyLength = 5 + random() % 200;
    layout.ProperLength = random() % 2 ? layout.KeyLength : layout.KeyLength - 4;
    layout.Compression = static_cast<std::uint8_t>(random() % 4);
    layout.Counts = random() % 2;
    // A sound page of similar keys, then a few damaged bytes.
    TPage sound;
    sound.Reset(1, layout);
    sound.Type = static_cast<std::uint8_t>(random() % 4);
    std::vector<std::uint8_t> key(layout.KeyLength, 0);
    for (std::size_t n = 0; n < 2 + random() % 80; ++n) {
      for (std::size_t i = random() % layout.KeyLength; i < layout.KeyLength; ++i)
        key[i] = random() % 3 ? 0 : static_cast<std::uint8_t>(random());
      sound.Insert(sound.Count(), key, static_cast<std::int32_t>(random()), 1);
      if (!sound.Fits() || (!sound.Compressed() && sound.Count() > sound.Capacity())) {
        sound.Erase(sound.Count() - 1);
        break;
      }
    }
    sound.Encode(image);
    const std::size_t used = 13 + sound.EncodedSize();
    for (unsigned f = random() % 4; f > 0; --f) image[random() % used] ^= static_cast<std::uint8_t>(1u << (random() % 8));
    TPage page;
    page.Reset(1, layout);
    if (!page.Decode(image) || page.Free || page.Type == ptParameters) continue;
    ++decoded;
    ASSERT_TRUE(page.Fits());
    page.Encode(again);
    TPage back;
    back.Reset(1, layout);
    ASSERT_TRUE(back.Decode(again));
    ASSERT_EQ(back.Count(), page.Count());
    for (std::size_t i = 0; i < page.Count(); ++i) {
      ASSERT_EQ(std::memcmp(back.Key(i).data(), page.Key(i).data(), layout.KeyLength), 0);
      ASSERT_EQ(back.Ref(i), page.Ref(i));
    }
  }
  EXPECT_GT(decoded, rounds / 20);
}

TEST(WriteFailures, AFullDiskIsAWriteErrorNotACrash) {
  TScratchDir dir;
  const pid_t child = fork();
  if (child == 0) {
    int result = 1;
    try {
      std::signal(SIGXFSZ, SIG_IGN);
      TTableDefinition def;
      def.Fields = {Field("n", ftcInteger), Field("s", ftcString, 0, 200)};
      TDataFile::LayoutFields(def.Fields, "t");
      TTableFiles table;
      table.Create(dir.Path(), "t", def);
      struct rlimit limit {20000, 20000};
      setrlimit(RLIMIT_FSIZE, &limit);
      TRecordWriter writer(table);
      for (int i = 0; i < 1000; ++i) {
        auto b = writer.NewBuffer();
        writer.SetText(b, "s", std::string(150, 'q'));
        writer.Add(b);
      }
    } catch (const EStoreEngineError& e) {
      result = e.Code() == STORE_WRITEERR ? 0 : 2;
    } catch (...) {
      result = 3;
    }
    _exit(result);
  }
  int status = -1;
  waitpid(child, &status, 0);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0);
}
