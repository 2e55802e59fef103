// Damaged tables: every test of the open-time verification, files cut at
// every length, and random byte flips. Each must end in an engine error or
// a reported problem, never in a crash, a hang or a read outside a buffer.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <random>

#include "FieldValues.h"
#include "StoreError.h"
#include "TableCheck.h"
#include "TestSupport.h"

using namespace store;
using namespace store_test;

namespace {

constexpr std::size_t FieldAt(int i) { return 127 + 768 * static_cast<std::size_t>(i); }
constexpr std::size_t IndexAt(int slot) { return 14 + 120 * static_cast<std::size_t>(slot); }

class Damage : public ::testing::Test {
 protected:
  void SetUp() override {
    TTableDefinition def;
    def.Fields = {Field("nimi", ftcString, 0, 8), Field("aika", ftcInteger), Field("id", ftcInteger, SubtypeAutoInc),
                  Field("ok", ftcBoolean)};
    TDataFile::LayoutFields(def.Fields, "t");
    def.Fields[3].SetMinValue("False");
    def.Primary.Fields = {3};
    def.Secondaries = {IndexOn("aika", {2}, false, 3), IndexOn("nimi", {1}, false, 1)};
    TTableFiles table;
    table.Create(Dir.Path(), "t", def);
    TRecordWriter writer(table);
    for (int i = 0; i < 12; ++i) {
      auto b = writer.NewBuffer();
      writer.SetText(b, "nimi", "p" + std::to_string(i % 5));
      writer.SetInt(b, "aika", 100 - i);
      writer.Add(b);
    }
    writer.Delete(4);
    writer.Delete(9);
    table.Close();
    Data = ReadFileBytes(Dir.File("t.DAT"));
    Index = ReadFileBytes(Dir.File("t.IDX"));
  }

  // Writes the images, opens and checks the table: the engine error code, 1
  // for problems found by the full check, 0 when all is well.
  int Outcome(const std::vector<std::uint8_t>& data, const std::vector<std::uint8_t>& index, bool exercise = false) {
    WriteFileBytes(Dir.File("t.DAT"), data);
    WriteFileBytes(Dir.File("t.IDX"), index);
    try {
      TTableFiles table;
      table.Open(Dir.Path(), "t", TAccess::acReadWrite, false);
      int result = CheckTable(table).empty() ? 0 : 1;
      if (exercise) {
        // Changes on a damaged table may fail, but only with an engine error.
        TRecordWriter writer(table);
        for (int slot = 0; slot <= 2; ++slot) writer.Visit(slot);
        auto b = writer.NewBuffer();
        const std::uint8_t value[8] = {55};
        for (const TFieldDesc& f : table.DataFile().Fields()) PutFieldNative(b, f, value, "t");
        writer.Add(b);
        writer.Delete(1);
      }
      return result;
    } catch (const EStoreEngineError& e) {
      return e.Code();
    }
  }
  int DataMutated(const std::function<void(std::vector<std::uint8_t>&)>& change) {
    std::vector<std::uint8_t> d = Data;
    change(d);
    return Outcome(d, Index);
  }
  int IndexMutated(const std::function<void(std::vector<std::uint8_t>&)>& change) {
    std::vector<std::uint8_t> i = Index;
    change(i);
    return Outcome(Data, i);
  }

  TScratchDir Dir;
  std::vector<std::uint8_t> Data;
  std::vector<std::uint8_t> Index;
};

void Put16(std::vector<std::uint8_t>& b, std::size_t at, std::uint16_t v) { std::memcpy(b.data() + at, &v, 2); }
void Put32(std::vector<std::uint8_t>& b, std::size_t at, std::int32_t v) { std::memcpy(b.data() + at, &v, 4); }

TEST_F(Damage, PristineTablePasses) { EXPECT_EQ(Outcome(Data, Index), 0); }

TEST_F(Damage, EveryDataFileTestHasItsError) {
  const int corrupt = STORE_HEADERCORRUPT;
  EXPECT_EQ(DataMutated([](auto& d) { d[8] = 4; }), STORE_OLDVERSION);
  EXPECT_EQ(DataMutated([](auto& d) { Put16(d, 103, 9999); }), STORE_CANNOTLOADLDDRV);
  EXPECT_EQ(DataMutated([](auto& d) { Put16(d, 23, 1025); }), corrupt);
  EXPECT_EQ(DataMutated([](auto& d) { d[86] = 1; }), STORE_NOTSUFFTABLERIGHTS);
  EXPECT_EQ(DataMutated([](auto& d) { d[FieldAt(0) + 2] = 0; }), corrupt);            // empty name
  EXPECT_EQ(DataMutated([](auto& d) { d[FieldAt(0) + 3] = '1'; }), corrupt);          // not an identifier start
  EXPECT_EQ(DataMutated([](auto& d) { d[FieldAt(0) + 2] = 31; }), corrupt);           // longer than 30
  EXPECT_EQ(DataMutated([](auto& d) { std::memcpy(&d[FieldAt(1) + 2], "\x05" "NIMI ", 6); }), corrupt);
  EXPECT_EQ(DataMutated([](auto& d) { Put16(d, FieldAt(1), 1); }), corrupt);          // number repeated
  EXPECT_EQ(DataMutated([](auto& d) { d[FieldAt(1) + 84] = 0; }), corrupt);           // type 0
  EXPECT_EQ(DataMutated([](auto& d) { d[FieldAt(0) + 86] = 251; }), corrupt);         // size above 250
  EXPECT_EQ(DataMutated([](auto& d) { d[FieldAt(1) + 86] = 4; }), corrupt);           // size on an integer
  EXPECT_EQ(DataMutated([](auto& d) { std::memcpy(&d[FieldAt(1) + 94], "\x03" "abc", 4); }), corrupt);
  EXPECT_EQ(DataMutated([](auto& d) { std::memcpy(&d[FieldAt(1) + 145], "\x02" "1x", 3); }), corrupt);
  EXPECT_EQ(DataMutated([](auto& d) { std::memcpy(&d[FieldAt(3) + 196], "\x05" "maybe", 6); }), corrupt);
  EXPECT_EQ(DataMutated([](auto& d) { d[FieldAt(1) + 87] = 2; }), corrupt);           // scale on an integer
  EXPECT_EQ(DataMutated([](auto& d) { Put16(d, FieldAt(2) + 90, 9); }), corrupt);     // autoinc not at 5
  EXPECT_EQ(DataMutated([](auto& d) { Put16(d, FieldAt(1) + 90, 20); }), corrupt);    // offset not running
  EXPECT_EQ(DataMutated([](auto& d) { Put16(d, FieldAt(3), 7); }), corrupt);          // number not its place
  EXPECT_EQ(DataMutated([](auto& d) { Put16(d, 21, 28); }), corrupt);                 // record size
  EXPECT_EQ(DataMutated([](auto& d) { d.push_back(0); }), corrupt);
  EXPECT_EQ(DataMutated([](auto& d) { Put32(d, 13, 12); }), corrupt);                 // next record number
  EXPECT_EQ(DataMutated([](auto& d) { Put32(d, 9, -1); }), corrupt);
  EXPECT_EQ(DataMutated([](auto& d) { Put32(d, 9, 13); }), corrupt);
  // A whole slot more than the header says.
  EXPECT_EQ(DataMutated([](auto& d) { d.insert(d.end(), 27, 0); }), corrupt);
}

TEST_F(Damage, EveryIndexFileTestHasItsError) {
  const int corrupt = STORE_HEADERCORRUPT;
  EXPECT_EQ(IndexMutated([](auto& i) { i[8] = 6; }), STORE_OLDVERSION);
  EXPECT_EQ(IndexMutated([](auto& i) { i[13] = 31; }), corrupt);
  EXPECT_EQ(IndexMutated([](auto& i) { i[IndexAt(1)] = 0; }), corrupt);                  // empty name
  EXPECT_EQ(IndexMutated([](auto& i) { i[IndexAt(1) + 1] = '9'; }), corrupt);
  EXPECT_EQ(IndexMutated([](auto& i) { std::memcpy(&i[IndexAt(2)], "\x05" "AIKA ", 6); }), corrupt);
  EXPECT_EQ(IndexMutated([](auto& i) { std::memcpy(&i[IndexAt(0)], "\x01P", 2); }), corrupt);
  EXPECT_EQ(IndexMutated([](auto& i) { i[IndexAt(0) + 35] = 0; }), corrupt);             // primary not unique
  EXPECT_EQ(IndexMutated([](auto& i) { i[IndexAt(1) + 37] = 17; }), corrupt);            // too many fields
  EXPECT_EQ(IndexMutated([](auto& i) { Put16(i, IndexAt(1) + 54, 0); }), corrupt);       // field number 0
  EXPECT_EQ(IndexMutated([](auto& i) { Put16(i, IndexAt(1) + 54, 5); }), corrupt);       // no such field
  EXPECT_EQ(IndexMutated([](auto& i) { Put16(i, IndexAt(1) + 58, 1); }), corrupt);       // a gap
  EXPECT_EQ(IndexMutated([](auto& i) { i[IndexAt(2) + 37] = 0; }), corrupt);             // no fields
  EXPECT_EQ(IndexMutated([](auto& i) { Put16(i, IndexAt(1) + 31, 8); }), corrupt);       // key length
  EXPECT_EQ(IndexMutated([](auto& i) { i[IndexAt(1) + 36] = 4; }), corrupt);             // compression
  EXPECT_EQ(IndexMutated([](auto& i) { Put32(i, IndexAt(1) + 86, 99); }), corrupt);      // root past the end
  EXPECT_EQ(IndexMutated([](auto& i) { Put32(i, IndexAt(31) + 90, -3); }), corrupt);     // free list head
  EXPECT_EQ(IndexMutated([](auto& i) { Put32(i, IndexAt(32) + 96, 1000); }), corrupt);   // parameter page
  EXPECT_EQ(IndexMutated([](auto& i) { Put16(i, IndexAt(31) + 31, 9); }), corrupt);
  EXPECT_EQ(IndexMutated([](auto& i) { i[3978] = 1; }), corrupt);                        // flag against fields
  // Unused slots and the internal indexes may carry anything in their field lists.
  EXPECT_EQ(IndexMutated([](auto& i) { Put16(i, IndexAt(20) + 54, 77); }), 0);
}

TEST_F(Damage, CutsAtEveryLengthAreRefused) {
#ifdef SAUNO_STORE_SANITIZED
  const std::size_t step = 7;  // the unchecked build tries every length
#else
  const std::size_t step = 1;
#endif
  for (std::size_t length = 0; length < Data.size(); length += step) {
    std::vector<std::uint8_t> d(Data.begin(), Data.begin() + static_cast<long>(length));
    ASSERT_NE(Outcome(d, Index), 0) << "data file cut to " << length;
  }
  // An empty index file is what a process that died making it leaves: it is
  // made again, as a missing one is. Any other cut is damage.
  EXPECT_EQ(Outcome(Data, {}), 0);
  for (std::size_t length = 1; length < Index.size(); length += step) {
    std::vector<std::uint8_t> i(Index.begin(), Index.begin() + static_cast<long>(length));
    ASSERT_NE(Outcome(Data, i), 0) << "index file cut to " << length;
  }
}

TEST_F(Damage, RandomByteFlipsNeverCrash) {
  std::mt19937 random(99);
#ifdef SAUNO_STORE_SANITIZED
  const int rounds = 400;
#else
  const int rounds = 1500;
#endif
  int refused = 0;
  for (int round = 0; round < rounds; ++round) {
    std::vector<std::uint8_t> d = Data, i = Index;
    const int flips = 1 + static_cast<int>(random() % 3);
    for (int f = 0; f < flips; ++f) {
      std::vector<std::uint8_t>& target = random() % 2 ? d : i;
      // Mostly headers and page headers, where damage matters most.
      std::size_t at = random() % 2 ? random() % std::min<std::size_t>(target.size(), 4096) : random() % target.size();
      if (&target == &i && random() % 2) at = (random() % (target.size() / 4096)) * 4096 + random() % 32;
      target[at] ^= static_cast<std::uint8_t>(1u << (random() % 8));
    }
    if (Outcome(d, i, true) != 0) ++refused;
  }
  EXPECT_GT(refused, rounds / 4);
}

}  // namespace
