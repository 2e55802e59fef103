// The trees against a model: random inserts, deletes and changes of records
// with integer, text and float keys, in every leaf compression mode. After
// every step the whole table is checked (order, counts, links, free lists,
// page fit, "Sys Deleted") and every index is compared with a sorted
// multimap of what it should hold, and every page the file holds is byte
// for byte what its cached copy encodes to (commits write only the bytes of
// a page that changed).
#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <iterator>
#include <map>
#include <random>
#include <tuple>

#include "BTree.h"
#include "CharTable.h"
#include "TableCheck.h"
#include "TestSupport.h"

using namespace store;
using namespace store_test;

namespace {

struct TModelRecord {
  std::int32_t Identifier;
  std::optional<std::int32_t> Number;
  std::string Text;  // empty is NULL
  double Real;
  std::int32_t Unique;
};

// Ordering tuples built from the values, not from key bytes.
using TIntKey = std::tuple<bool, std::int32_t, std::int32_t>;       // has value, value, identifier
using TTextKey = std::tuple<bool, std::string, std::int32_t>;       // upper-cased text
using TFloatKey = std::tuple<double, std::int32_t>;                  // unique index: value only

class TreeModel : public ::testing::TestWithParam<int> {
 protected:
  void SetUp() override {
    const std::uint8_t mode = static_cast<std::uint8_t>(GetParam());
    TTableDefinition def;
    def.Fields = {Field("num", ftcInteger), Field("txt", ftcString, 0, 250), Field("real", ftcFloat),
                  Field("uniq", ftcInteger)};
    TDataFile::LayoutFields(def.Fields, "model");
    def.Primary.Fields = {4};
    TIndexDefinition text = IndexOn("bytext", {2}, false, mode);
    text.CaseInsensitive = true;
    def.Secondaries = {IndexOn("bynum", {1}, false, mode), text, IndexOn("byreal", {3}, true, mode)};
    TIndexDefinition downText = IndexOn("down", {2, 1}, false, mode);
    downText.FieldDescending = {true, false};
    def.Secondaries.push_back(downText);
    Table.Create(Dir.Path(), "model", def);
  }

  std::vector<std::uint8_t> Buffer(const TModelRecord& m) {
    TRecordWriter writer(Table);
    auto b = writer.NewBuffer();
    if (m.Number) writer.SetInt(b, "num", *m.Number);
    writer.SetText(b, "txt", m.Text);
    writer.SetFloat(b, "real", m.Real);
    writer.SetInt(b, "uniq", m.Unique);
    return b;
  }

  // Every page of every tree, as the cache has it, against the file.
  void CheckFileMatchesCache(const std::string& step) {
    TIndexFile& index = Table.IndexFile();
    std::ifstream in(index.Path(), std::ios::binary);
    const std::vector<char> file{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    std::vector<std::uint8_t> image(PageSize);
    for (int slot = 0; slot < IndexSlots; ++slot) {
      if (!index.SlotInUse(slot)) continue;
      std::vector<std::int32_t> pages{index.Header().Desc(slot).Root()};
      while (!pages.empty()) {
        const std::int32_t number = pages.back();
        pages.pop_back();
        if (number == 0) continue;
        TPage& page = index.GetPage(slot, number);
        page.Encode(image);
        const std::size_t at = static_cast<std::size_t>(number) * PageSize;
        const bool same = at + PageSize <= file.size() && std::memcmp(file.data() + at, image.data(), PageSize) == 0;
        if (!page.IsLeaf())
          for (std::size_t i = 0; i < page.Count(); ++i) pages.push_back(page.Ref(i));
        index.ReleasePage(page);
        ASSERT_TRUE(same) << step << ": page " << number << " of index " << slot << " differs from its cached copy";
      }
    }
  }

  void Check(const std::map<std::int32_t, TModelRecord>& live, const std::string& step) {
    std::vector<std::string> problems = CheckTable(Table);
    ASSERT_TRUE(problems.empty()) << step << ": " << problems.front();
    std::multimap<TIntKey, std::int32_t> byNum;
    std::multimap<TTextKey, std::int32_t> byText;
    std::multimap<TFloatKey, std::int32_t> byReal;
    std::multimap<std::int32_t, std::int32_t> byUnique;
    for (const auto& [slot, m] : live) {
      byNum.emplace(TIntKey{m.Number.has_value(), m.Number.value_or(0), m.Identifier}, slot);
      byText.emplace(TTextKey{!m.Text.empty(), UpperText(m.Text), m.Identifier}, slot);
      byReal.emplace(TFloatKey{m.Real, 0}, slot);
      byUnique.emplace(m.Unique, slot);
    }
    auto values = [](const auto& map) {
      std::vector<std::int32_t> out;
      for (const auto& [k, v] : map) out.push_back(v);
      return out;
    };
    TRecordWriter writer(Table);
    ASSERT_EQ(writer.Visit(0), values(byUnique)) << step;
    ASSERT_EQ(writer.Visit(1), values(byNum)) << step;
    ASSERT_EQ(writer.Visit(3), values(byReal)) << step;
    std::vector<std::int32_t> text = writer.Visit(2);
    std::vector<std::int32_t> textWanted = values(byText);
    ASSERT_EQ(text, textWanted) << step;
  }

  TScratchDir Dir;
  TTableFiles Table;
};

TEST_P(TreeModel, RandomChangesKeepEveryIndexInStepWithTheModel) {
  std::mt19937 random(1234 + static_cast<unsigned>(GetParam()));
  std::map<std::int32_t, TModelRecord> live;  // by record number
  std::int32_t nextIdentifier = 1;
  std::int32_t nextUnique = 1;
  TRecordWriter writer(Table);
  std::size_t maxDepth = 0;
  bool shrank = false;
  bool emptied = false;
  auto randomText = [&]() -> std::string {
    static const char* stems[] = {"sauna", "Sauna", "l\xF6yly", "L\xD6YLY", "kiuas", "", "a"};
    std::string s = stems[random() % 7];
    if (!s.empty() && random() % 3 != 0) s += std::to_string(random() % 50);
    // Long tails of letters keep compressed leaves from packing too tightly.
    if (random() % 3 == 0)
      for (unsigned n = random() % 240; n > 0; --n) s += static_cast<char>('a' + random() % 26);
    return s;
  };
  auto randomRecord = [&]() {
    TModelRecord m;
    m.Identifier = 0;
    if (random() % 8 != 0) m.Number = static_cast<std::int32_t>(random() % 200) - 100;
    m.Text = randomText();
    m.Real = (static_cast<double>(random() % 100000) - 50000.0) / 8.0 + nextUnique * 1e-7;
    m.Unique = nextUnique++;
    return m;
  };
#ifdef SAUNO_STORE_SANITIZED
  const int steps = 500;
#else
  const int steps = 1100;
#endif
  for (int step = 0; step < steps; ++step) {
    // Grow, shrink to nothing, grow again: splits, merges and both root changes.
    const bool shrinking = step >= steps * 2 / 5 && step < steps * 3 / 4;
    const int insertWeight = shrinking ? 0 : 80;
    const int deleteWeight = shrinking ? 90 : 13;
    const int choice = static_cast<int>(random() % 100);
    std::string what;
    if (live.empty() || choice < insertWeight) {
      TModelRecord m = randomRecord();
      std::int32_t slot = writer.Add(Buffer(m));
      m.Identifier = nextIdentifier++;
      ASSERT_FALSE(live.count(slot));
      live[slot] = m;
      what = "insert into " + std::to_string(slot);
    } else {
      auto it = live.begin();
      std::advance(it, static_cast<long>(random() % live.size()));
      if (choice < insertWeight + deleteWeight) {
        writer.Delete(it->first);
        what = "delete " + std::to_string(it->first);
        live.erase(it);
      } else {
        TModelRecord m = randomRecord();
        m.Identifier = it->second.Identifier;
        writer.Modify(it->first, Buffer(m));
        it->second = m;
        what = "change " + std::to_string(it->first);
      }
    }
    ASSERT_NO_FATAL_FAILURE(Check(live, "step " + std::to_string(step) + " " + what));
    if (step % 5 == 0) ASSERT_NO_FATAL_FAILURE(CheckFileMatchesCache("step " + std::to_string(step) + " " + what));
    TTreePath textPath;
    const std::size_t depth = TIndexTree(Table.IndexFile(), 2).First(textPath) ? textPath.size() : 0;
    if (depth > maxDepth) maxDepth = depth;
    if (maxDepth >= 2 && depth >= 1 && depth < maxDepth) shrank = true;  // the root gave way to its child
    if (live.empty()) {
      ASSERT_EQ(Table.IndexFile().Header().Desc(1).Root(), 0);
      emptied = true;
    }
  }
  // Trailing-zero compression packs these leaves so tightly that two levels suffice.
#ifndef SAUNO_STORE_SANITIZED
  EXPECT_GE(maxDepth, GetParam() >= 2 ? 2u : 3u);
#endif
  EXPECT_TRUE(shrank);
  EXPECT_TRUE(emptied);
  // Ordinal positions follow the counts.
  TIndexTree tree(Table.IndexFile(), 1);
  TTreePath path;
  std::int64_t expected = 0;
  for (bool more = tree.First(path); more; more = tree.Next(path)) ASSERT_EQ(tree.Ordinal(path), ++expected);
  EXPECT_EQ(expected, static_cast<std::int64_t>(live.size()));
}

INSTANTIATE_TEST_SUITE_P(Compression, TreeModel, ::testing::Values(0, 1, 2, 3));

}  // namespace
