// The order keys give: encodings of every value type, NULL first, equal
// values by insertion, descending fields and indexes, case-insensitive text.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "Key.h"
#include "TestSupport.h"

using namespace store;
using namespace store_test;

namespace {

class KeyOrder : public ::testing::Test {
 protected:
  void Make(std::vector<TFieldDesc> fields, std::vector<TIndexDefinition> secondaries, TIndexDefinition primary = {}) {
    TTableDefinition def;
    def.Fields = std::move(fields);
    TDataFile::LayoutFields(def.Fields, "keys");
    def.Primary = std::move(primary);
    def.Secondaries = std::move(secondaries);
    Table.Create(Dir.Path(), "keys", def);
  }
  // Record numbers in index order after adding records with these setters.
  template <typename Setter>
  std::vector<std::int32_t> OrderOf(int slot, int count, Setter set) {
    TRecordWriter writer(Table);
    for (int i = 0; i < count; ++i) {
      auto b = writer.NewBuffer();
      set(writer, b, i);
      writer.Add(b);
    }
    return writer.Visit(slot);
  }
  TScratchDir Dir;
  TTableFiles Table;
};

TEST_F(KeyOrder, NumbersSortByValueWithNullFirst) {
  Make({Field("i", ftcInteger), Field("f", ftcFloat), Field("s", ftcSmallint), Field("l", ftcLargeint),
        Field("d", ftcDate), Field("b", ftcBoolean), Field("w", ftcWord), Field("t", ftcTimestamp)},
       {IndexOn("i", {1}), IndexOn("f", {2}), IndexOn("s", {3}), IndexOn("l", {4}), IndexOn("d", {5}),
        IndexOn("b", {6}), IndexOn("w", {7}), IndexOn("t", {8})});
  const std::int64_t ints[] = {1, -1, 0, 2147483647, -2147483647 - 1, 0};
  const double reals[] = {2.5, -0.5, 0.0, std::numeric_limits<double>::infinity(), -1e300, -0.0};
  const std::int64_t smalls[] = {1, -1, 0, 32767, -32768, 5};
  const std::int64_t larges[] = {1, -1, 0, INT64_MAX, INT64_MIN, 7};
  TRecordWriter writer(Table);
  for (int i = 0; i < 6; ++i) {
    auto b = writer.NewBuffer();
    if (i != 5) {  // the last record has NULL in every field but the small and large integers
      writer.SetInt(b, "i", ints[i]);
      writer.SetFloat(b, "f", reals[i]);
      writer.SetInt(b, "d", ints[i]);
      writer.SetInt(b, "b", i % 2);
      writer.SetInt(b, "w", static_cast<std::uint16_t>(smalls[i]));
      writer.SetFloat(b, "t", reals[i]);
    }
    writer.SetInt(b, "s", smalls[i]);
    writer.SetInt(b, "l", larges[i]);
    writer.Add(b);
  }
  EXPECT_EQ(writer.Visit(1), (std::vector<std::int32_t>{6, 5, 2, 3, 1, 4}));
  EXPECT_EQ(writer.Visit(2), (std::vector<std::int32_t>{6, 5, 2, 3, 1, 4}));  // -0.0 equals 0.0: insertion order
  EXPECT_EQ(writer.Visit(3), (std::vector<std::int32_t>{5, 2, 3, 1, 6, 4}));
  EXPECT_EQ(writer.Visit(4), (std::vector<std::int32_t>{5, 2, 3, 1, 6, 4}));
  EXPECT_EQ(writer.Visit(5), (std::vector<std::int32_t>{6, 5, 2, 3, 1, 4}));
  EXPECT_EQ(writer.Visit(6), (std::vector<std::int32_t>{6, 1, 3, 5, 2, 4}));
  EXPECT_EQ(writer.Visit(7), (std::vector<std::int32_t>{6, 3, 1, 4, 5, 2}));  // unsigned: 0,1,32767,32768,65535
  EXPECT_EQ(writer.Visit(8), (std::vector<std::int32_t>{6, 5, 2, 3, 1, 4}));
}

TEST_F(KeyOrder, EqualValuesFollowInsertionAndDescendingReverses) {
  TIndexDefinition downField = IndexOn("downfield", {1});
  downField.FieldDescending = {true};
  TIndexDefinition downIndex = IndexOn("downindex", {1});
  downIndex.Descending = true;
  TIndexDefinition mixed = IndexOn("mixed", {2, 1});
  mixed.FieldDescending = {false, true};
  Make({Field("n", ftcInteger), Field("g", ftcInteger)}, {IndexOn("n", {1}), downField, downIndex, mixed});
  const std::int64_t values[] = {3, 1, 3, 2, 1};
  auto order = OrderOf(1, 5, [&](TRecordWriter& w, std::vector<std::uint8_t>& b, int i) {
    w.SetInt(b, "n", values[i]);
    w.SetInt(b, "g", i % 2);
  });
  EXPECT_EQ(order, (std::vector<std::int32_t>{2, 5, 4, 1, 3}));
  TRecordWriter writer(Table);
  // A descending field inverts the value bytes only: equal values keep insertion order.
  EXPECT_EQ(writer.Visit(2), (std::vector<std::int32_t>{1, 3, 4, 2, 5}));
  // A descending index reverses the whole comparison, the identifier suffix too.
  EXPECT_EQ(writer.Visit(3), (std::vector<std::int32_t>{3, 1, 4, 5, 2}));
  EXPECT_EQ(writer.Visit(4), (std::vector<std::int32_t>{1, 3, 5, 4, 2}));
}

TEST_F(KeyOrder, TextSortsBytewiseAndCaseInsensitiveByUpperCase) {
  TIndexDefinition nocase = IndexOn("nocase", {1});
  nocase.CaseInsensitive = true;
  Make({Field("s", ftcString, 0, 10)}, {IndexOn("exact", {1}), nocase});
  const char* texts[] = {"b", "A", "a", "   ", "\xE4iti", "\xC4ITI", "ab"};
  auto order = OrderOf(1, 7, [&](TRecordWriter& w, std::vector<std::uint8_t>& b, int i) { w.SetText(b, "s", texts[i]); });
  EXPECT_EQ(order, (std::vector<std::int32_t>{4, 2, 3, 7, 1, 6, 5}));  // blanks are NULL and come first
  TRecordWriter writer(Table);
  EXPECT_EQ(writer.Visit(2), (std::vector<std::int32_t>{4, 2, 3, 7, 1, 5, 6}));
  TRecord& r = Table.DataFile().GetRecord(5, false, TDirection::drForward);
  std::vector<std::uint8_t> key = Table.IndexFile().KeyDef(2).BuildKey(r.Buffer);
  Table.DataFile().ReleaseRecord(r);
  EXPECT_EQ(key[0], 1);
  EXPECT_EQ(key[1], 0xC4);  // upper-cased by the built-in table
}

TEST(KeyEncoding, ValuesBecomeOrderedBigEndianBytes) {
  std::vector<std::uint8_t> b(8);
  EncodeInteger32(b, -1);
  EXPECT_EQ(std::vector<std::uint8_t>(b.begin(), b.begin() + 4), (std::vector<std::uint8_t>{0x7F, 0xFF, 0xFF, 0xFF}));
  EncodeInteger32(b, 1);
  EXPECT_EQ(std::vector<std::uint8_t>(b.begin(), b.begin() + 4), (std::vector<std::uint8_t>{0x80, 0x00, 0x00, 0x01}));
  EncodeDouble(b, 2.5);
  EXPECT_EQ(b, (std::vector<std::uint8_t>{0xC0, 0x04, 0, 0, 0, 0, 0, 0}));
  EncodeDouble(b, -0.5);
  EXPECT_EQ(b, (std::vector<std::uint8_t>{0x40, 0x1F, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}));
  EXPECT_EQ(SysDeletedKey(1, 7), (std::vector<std::uint8_t>{1, 0x80, 0, 0, 7}));
}

}  // namespace
