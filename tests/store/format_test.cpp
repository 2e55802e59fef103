// The bytes of a table's files, checked against images assembled here by
// hand from the documented layout.
#include <gtest/gtest.h>

#include <cstring>

#include "BTree.h"
#include "Page.h"
#include "StoreError.h"
#include "TableFiles.h"
#include "TestSupport.h"

using namespace store;
using namespace store_test;

namespace {

void Put16(std::vector<std::uint8_t>& b, std::size_t at, std::uint16_t v) {
  b[at] = static_cast<std::uint8_t>(v);
  b[at + 1] = static_cast<std::uint8_t>(v >> 8);
}
void Put32(std::vector<std::uint8_t>& b, std::size_t at, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) b[at + static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(v >> (8 * i));
}
void PutText(std::vector<std::uint8_t>& b, std::size_t at, const std::string& s) {
  b[at] = static_cast<std::uint8_t>(s.size());
  std::memcpy(b.data() + at + 1, s.data(), s.size());
}

TTableDefinition ScoreTable() {
  TTableDefinition def;
  def.Fields = {Field("nimi", ftcString, 0, 30), Field("aika", ftcInteger)};
  TDataFile::LayoutFields(def.Fields, "enkat");
  TIndexDefinition aika = IndexOn("aika", {2});
  aika.FieldDescending = {true};
  def.Secondaries.push_back(aika);
  return def;
}

std::vector<std::uint8_t> ExpectedEmptyData() {
  std::vector<std::uint8_t> b(127 + 2 * 768, 0);
  Put32(b, 0, 1);  // written once
  b[8] = 5;
  Put32(b, 13, 1);
  Put16(b, 21, 9 + 32 + 5);
  Put16(b, 23, 2);
  Put32(b, 116, 32700);
  std::size_t f = 127;
  Put16(b, f, 1);
  PutText(b, f + 2, "nimi");
  b[f + 84] = 1;
  b[f + 86] = 30;
  b[f + 88] = 31;
  Put16(b, f + 90, 9);
  f += 768;
  Put16(b, f, 2);
  PutText(b, f + 2, "aika");
  b[f + 84] = 6;
  b[f + 88] = 4;
  Put16(b, f + 90, 41);
  return b;
}

std::vector<std::uint8_t> ExpectedEmptyIndex() {
  std::vector<std::uint8_t> b(4096, 0);
  Put32(b, 0, 1);
  b[8] = 5;
  Put32(b, 9, 1);
  b[13] = 1;
  std::size_t d = 14 + 120;
  PutText(b, d, "aika");
  Put16(b, d + 31, 9);
  b[d + 37] = 1;
  b[d + 38] = 1;
  Put16(b, d + 54, 2);
  d = 14 + 31 * 120;
  PutText(b, d, "Sys Deleted");
  Put16(b, d + 31, 5);
  d = 14 + 32 * 120;
  PutText(b, d, "Sys Text");
  Put16(b, d + 31, 68);
  b[d + 36] = 3;
  b[3978] = 1;
  return b;
}

}  // namespace

TEST(StoreFormat, EmptyTableFilesAreExactAndVerify) {
  TScratchDir dir;
  {
    TTableFiles table;
    table.Create(dir.Path(), "enkat", ScoreTable());
  }
  std::vector<std::uint8_t> data = ReadFileBytes(dir.File("enkat.DAT"));
  ASSERT_EQ(data.size(), 127u + 2 * 768);
  std::vector<std::uint8_t> expected = ExpectedEmptyData();
  // The last-update stamp is the local time less 693594 days: far below zero.
  double stamp;
  std::memcpy(&stamp, data.data() + 27, 8);
  EXPECT_LT(stamp, -600000.0);
  EXPECT_GT(stamp, -693594.0);
  std::memcpy(expected.data() + 27, data.data() + 27, 8);
  EXPECT_EQ(data, expected);
  EXPECT_EQ(ReadFileBytes(dir.File("enkat.IDX")), ExpectedEmptyIndex());

  TTableFiles table;
  EXPECT_NO_THROW(table.Open(dir.Path(), "enkat", TAccess::acReadWrite, false));
}

TEST(StoreFormat, OneByteMoreIsAHeaderFault) {
  TScratchDir dir;
  { TTableFiles().Create(dir.Path(), "enkat", ScoreTable()); }
  std::vector<std::uint8_t> data = ReadFileBytes(dir.File("enkat.DAT"));
  data.push_back(0);
  WriteFileBytes(dir.File("enkat.DAT"), data);
  TTableFiles table;
  try {
    table.Open(dir.Path(), "enkat", TAccess::acReadWrite, false);
    FAIL() << "opened";
  } catch (const EStoreEngineError& e) {
    EXPECT_EQ(e.Code(), STORE_HEADERCORRUPT);
    EXPECT_NE(std::string(e.what()).find("Table Store Engine Error # 8961 Header information corrupt in the table '"),
              std::string::npos);
  }
}

TEST(StoreFormat, FirstRecordMakesPageOneARootLeafAndASlot) {
  TScratchDir dir;
  {
    TTableFiles table;
    table.Create(dir.Path(), "enkat", ScoreTable());
    TRecordWriter writer(table);
    auto buffer = writer.NewBuffer();
    writer.SetText(buffer, "nimi", "Ville  ");
    writer.SetInt(buffer, "aika", 42);
    EXPECT_EQ(writer.Add(buffer), 1);
  }
  std::vector<std::uint8_t> data = ReadFileBytes(dir.File("enkat.DAT"));
  ASSERT_EQ(data.size(), 127u + 2 * 768 + 46);
  std::vector<std::uint8_t> slot(data.begin() + 127 + 2 * 768, data.end());
  std::vector<std::uint8_t> want(46, 0);
  Put32(want, 1, 1);  // own record number
  Put32(want, 5, 1);  // identifier
  want[9] = 1;
  std::memcpy(want.data() + 10, "Ville", 5);
  want[41] = 1;
  Put32(want, 42, 42);
  EXPECT_EQ(slot, want);

  std::vector<std::uint8_t> index = ReadFileBytes(dir.File("enkat.IDX"));
  ASSERT_EQ(index.size(), 3u * 4096);  // header, the "aika" root, the "Sys Deleted" root
  const std::uint8_t* page = index.data() + 4096;
  EXPECT_EQ(page[0], 3);
  EXPECT_EQ(page[1] | page[2] << 8, 1);
  // The descending field inverts indicator and value: ~(01 80 00 00 2A).
  const std::uint8_t key[] = {0xFE, 0x7F, 0xFF, 0xFF, 0xD5, 0x80, 0x00, 0x00, 0x01, 1, 0, 0, 0};
  EXPECT_EQ(std::memcmp(page + 13, key, sizeof key), 0);
  EXPECT_EQ(index[14 + 120 + 86], 1);  // "aika" root is page 1
  const std::uint8_t* deleted = index.data() + 2 * 4096;
  const std::uint8_t deletedEntry[] = {0x00, 0x80, 0x00, 0x00, 0x01, 1, 0, 0, 0};
  EXPECT_EQ(deleted[0], 3);
  EXPECT_EQ(std::memcmp(deleted + 13, deletedEntry, sizeof deletedEntry), 0);
  EXPECT_EQ(index[3974], 1);  // one active record
}

TEST(StoreFormat, CompressedLeafEncodesPrefixesZerosAndSuffix) {
  TPageLayout layout{9, 5, 3, true};
  TPage page;
  page.Reset(7, layout);
  page.Type = ptRootLeaf;
  const std::vector<std::vector<std::uint8_t>> keys = {
      {0x01, 0x80, 0x00, 0x00, 0x05, 0x80, 0x00, 0x00, 0x01},
      {0x01, 0x80, 0x00, 0x00, 0x07, 0x80, 0x00, 0x00, 0x02},
      {0x01, 0x80, 0x00, 0x01, 0x00, 0x80, 0x00, 0x00, 0x03},
      {0x01, 0x80, 0x00, 0x01, 0x00, 0x80, 0x00, 0x00, 0x04},
  };
  for (std::size_t i = 0; i < keys.size(); ++i) page.Insert(i, keys[i], static_cast<std::int32_t>(i + 10), 0);
  std::vector<std::uint8_t> image(4096);
  page.Encode(image);
  const std::vector<std::uint8_t> entries = {
      0, 0, 0x01, 0x80, 0x00, 0x00, 0x05, 0x80, 0x00, 0x00, 0x01, 10, 0, 0, 0,  // whole key
      4, 0, 0x07, 0x80, 0x00, 0x00, 0x02, 11, 0, 0, 0,                          // shares 4 bytes
      3, 1, 0x01, 0x80, 0x00, 0x00, 0x03, 12, 0, 0, 0,                          // one trailing zero
      8, 0, 0x04, 13, 0, 0, 0,                                                  // prefix reaches the suffix
  };
  EXPECT_EQ(image[0], 3);
  EXPECT_EQ(image[1], 4);
  EXPECT_EQ(image[11] | image[12] << 8, static_cast<int>(entries.size()));
  EXPECT_EQ(std::vector<std::uint8_t>(image.begin() + 13, image.begin() + 13 + static_cast<long>(entries.size())), entries);
  EXPECT_EQ(page.EncodedSize(), entries.size());

  for (std::uint8_t mode = 0; mode <= 3; ++mode) {
    TPageLayout l{9, 5, mode, true};
    TPage a, b;
    a.Reset(1, l);
    b.Reset(1, l);
    a.Type = ptLeaf;
    for (std::size_t i = 0; i < keys.size(); ++i) a.Insert(i, keys[i], static_cast<std::int32_t>(i), 0);
    a.Encode(image);
    ASSERT_TRUE(b.Decode(image)) << int(mode);
    ASSERT_EQ(b.Count(), keys.size());
    for (std::size_t i = 0; i < keys.size(); ++i)
      EXPECT_EQ(std::vector<std::uint8_t>(b.Key(i).begin(), b.Key(i).end()), keys[i]) << int(mode) << " " << i;
  }
}

TEST(StoreFormat, SplitAt315EntriesMakesTwoLeavesUnderATypeZeroRoot) {
  TScratchDir dir;
  TTableFiles table;
  TTableDefinition def = ScoreTable();
  def.Secondaries[0].FieldDescending = {false};
  table.Create(dir.Path(), "t", def);
  TIndexFile& index = table.IndexFile();
  TIndexTree tree(index, 1);
  for (std::int32_t i = 0; i < 315; ++i) {
    std::vector<std::uint8_t> record(46, 0);
    PutI32(record, 5, i + 1);
    record[41] = 1;
    PutI32(record, 42, i);
    tree.Insert(index.KeyDef(1).BuildKey(record), i + 1);
    if (i == 313) {
      table.Commit();
      EXPECT_EQ(index.Header().Desc(1).Root(), 1);
    }
  }
  table.Commit();
  std::vector<std::uint8_t> bytes = ReadFileBytes(dir.File("t.IDX"));
  ASSERT_EQ(bytes.size(), 4u * 4096);
  auto count = [&](int page) { return bytes[4096u * page + 1] | bytes[4096u * page + 2] << 8; };
  EXPECT_EQ(bytes[4096 * 1], 2);
  EXPECT_EQ(count(1), 158);
  EXPECT_EQ(bytes[4096 * 2], 2);
  EXPECT_EQ(count(2), 157);
  EXPECT_EQ(bytes[4096 * 3], 0);
  EXPECT_EQ(count(3), 2);
  EXPECT_EQ(index.Header().Desc(1).Root(), 3);
  // Root entries: key (9) + child + count.
  const std::uint8_t* root = bytes.data() + 3 * 4096 + 13;
  EXPECT_EQ(GetI32(std::span<const std::uint8_t>(root, 34), 9), 1);
  EXPECT_EQ(GetI32(std::span<const std::uint8_t>(root, 34), 13), 158);
  EXPECT_EQ(GetI32(std::span<const std::uint8_t>(root, 34), 26), 2);
  EXPECT_EQ(GetI32(std::span<const std::uint8_t>(root, 34), 30), 157);
  // Sibling links.
  EXPECT_EQ(GetI32(std::span<const std::uint8_t>(bytes.data() + 4096, 13), 7), 2);
  EXPECT_EQ(GetI32(std::span<const std::uint8_t>(bytes.data() + 8192, 13), 3), 1);
}
