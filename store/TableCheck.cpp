#include "TableCheck.h"

#include <algorithm>
#include <cstring>
#include <map>
#include <set>

#include "BTree.h"
#include "Key.h"
#include "StoreError.h"

namespace store {
namespace {

struct TEntry {
  std::vector<std::uint8_t> Key;
  std::int32_t Ref;
  bool operator<(const TEntry& o) const { return Key != o.Key ? Key < o.Key : Ref < o.Ref; }
  bool operator==(const TEntry& o) const { return Key == o.Key && Ref == o.Ref; }
};

class TChecker {
 public:
  explicit TChecker(TTableFiles& table) : Table(table), Index(table.IndexFile()), Data(table.DataFile()) {}

  std::vector<std::string> Run() {
    const std::int32_t nextPage = Index.Header().NextPage();
    const std::uint64_t length = Index.Size();
    if (length != static_cast<std::uint64_t>(nextPage) * PageSize)
      Problem("index file is " + std::to_string(length) + " bytes, expected " +
              std::to_string(static_cast<std::uint64_t>(nextPage) * PageSize));
    for (int slot = 0; slot < IndexSlots; ++slot) {
      const bool inUse = Index.SlotInUse(slot) || (slot == SysTextIndex && Index.Header().Desc(slot).Root() != 0);
      if (!inUse) continue;
      Guard("tree of " + Name(slot), [&] { CheckTree(slot); });
      Guard("free list of " + Name(slot), [&] { CheckFreeList(slot); });
    }
    if (static_cast<std::uint64_t>(length) == static_cast<std::uint64_t>(nextPage) * PageSize)
      for (std::int32_t p = 1; p < nextPage; ++p)
        if (!Owner.count(p)) Problem("page " + std::to_string(p) + " belongs to no index and no free list");
    Guard("records", [&] { CheckRecords(); });
    return Problems;
  }

 private:
  std::string Name(int slot) const {
    std::string name = Index.IndexDisplayName(slot);
    return "index '" + name + "'";
  }
  void Problem(const std::string& text) { Problems.push_back(text); }
  template <typename F>
  void Guard(const std::string& what, F&& body) {
    try {
      body();
    } catch (const EStoreEngineError& e) {
      Problem(what + ": " + e.what());
    }
  }
  bool Claim(std::int32_t page, int slot, const std::string& role) {
    auto [it, fresh] = Owner.emplace(page, slot);
    if (!fresh) {
      Problem("page " + std::to_string(page) + " of " + Name(slot) + " (" + role + ") is used twice");
      return false;
    }
    return true;
  }

  void CheckTree(int slot) {
    const TKeyDef& def = Index.KeyDef(slot);
    const std::int32_t root = Index.Header().Desc(slot).Root();
    std::vector<TEntry>& leafEntries = Entries[slot];
    if (root == 0) return;
    std::vector<std::int32_t> level{root};
    std::vector<std::vector<std::uint8_t>> expectedFirst{{}};
    std::vector<std::int64_t> expectedCount{-1};
    std::vector<std::uint8_t> previousKey;
    bool havePrevious = false;
    for (std::size_t depth = 0; !level.empty(); ++depth) {
      if (depth >= MaxTreeDepth) return Problem(Name(slot) + " is deeper than 64 levels");
      std::vector<std::int32_t> below;
      std::vector<std::vector<std::uint8_t>> belowFirst;
      std::vector<std::int64_t> belowCount;
      bool leafLevel = false;
      for (std::size_t i = 0; i < level.size(); ++i) {
        const std::int32_t number = level[i];
        const std::string where = Name(slot) + " page " + std::to_string(number);
        if (!Claim(number, slot, "tree")) return;
        TPageRef page(Index, Index.GetPage(slot, number));
        if (page->Free || page->Count() == 0) return Problem(where + " is empty inside the tree");
        const bool root = depth == 0;
        if (page->IsRoot() != root || page->Type > ptRootLeaf) Problem(where + " has page type " + std::to_string(page->Type));
        if (i == 0) leafLevel = page->IsLeaf();
        if (page->IsLeaf() != leafLevel) return Problem(where + ": leaves are not all at the same depth");
        if (!page->Fits() || (!page->Compressed() && page->Count() > page->Capacity()))
          Problem(where + " holds more than a page");
        const std::int32_t wantPrevious = i == 0 ? 0 : level[i - 1];
        const std::int32_t wantNext = i + 1 == level.size() ? 0 : level[i + 1];
        if (page->Previous != wantPrevious || page->Next != wantNext)
          Problem(where + " has sibling links " + std::to_string(page->Previous) + "/" + std::to_string(page->Next) +
                  ", expected " + std::to_string(wantPrevious) + "/" + std::to_string(wantNext));
        if (!expectedFirst[i].empty() && std::memcmp(expectedFirst[i].data(), page->Key(0).data(), def.KeyLength()) != 0)
          Problem(where + ": its parent's key is not its lowest key");
        if (expectedCount[i] >= 0 && def.HasCounts() && expectedCount[i] != page->SubtreeCount())
          Problem(where + ": its parent counts " + std::to_string(expectedCount[i]) + " keys, it holds " +
                  std::to_string(page->SubtreeCount()));
        for (std::size_t e = 0; e < page->Count(); ++e) {
          TConstBytes key = page->Key(e);
          if (page->IsLeaf()) {
            if (havePrevious) {
              int order = def.Compare(previousKey, key);
              if (order > 0 || (order == 0 && def.IsUnique()))
                Problem(where + ": keys out of order at entry " + std::to_string(e + 1));
            }
            previousKey.assign(key.begin(), key.end());
            havePrevious = true;
            leafEntries.push_back({previousKey, page->Ref(e)});
          } else {
            if (e > 0 && def.Compare(page->Key(e - 1), key) > 0)
              Problem(where + ": keys out of order at entry " + std::to_string(e + 1));
            below.push_back(page->Ref(e));
            belowFirst.emplace_back(key.begin(), key.end());
            belowCount.push_back(def.HasCounts() ? page->KeyCount(e) : -1);
          }
        }
      }
      for (std::int32_t child : below)
        if (child < 1 || child >= Index.Header().NextPage())
          return Problem(Name(slot) + " refers to page " + std::to_string(child) + " outside the file");
      level = std::move(below);
      expectedFirst = std::move(belowFirst);
      expectedCount = std::move(belowCount);
    }
  }

  void CheckFreeList(int slot) {
    std::int32_t number = Index.Header().Desc(slot).FreeHead();
    while (number != 0) {
      if (number < 1 || number >= Index.Header().NextPage())
        return Problem(Name(slot) + " free list refers to page " + std::to_string(number) + " outside the file");
      if (!Claim(number, slot, "free list")) return;
      TPageRef page(Index, Index.GetPage(slot, number));
      if (!page->Free) return Problem(Name(slot) + " free list holds page " + std::to_string(number) + " in use");
      number = page->Next;
    }
  }

  void CheckRecords() {
    const std::int32_t count = Data.RecordCount();
    std::vector<TEntry> sysDeleted;
    std::map<int, std::vector<TEntry>> expected;
    std::set<std::int32_t> deleted;
    std::set<std::int32_t> identifiers;
    std::int32_t active = 0;
    for (std::int32_t n = 1; n <= count; ++n) {
      TRecord& record = Data.GetRecord(n, true, TDirection::drForward);
      std::vector<std::uint8_t> image = record.Buffer;
      Data.ReleaseRecord(record);
      const std::uint8_t status = image[0];
      const std::int32_t identifier = GetI32(image, 5);
      if (status > 1) Problem("record " + std::to_string(n) + " has status " + std::to_string(status));
      if (!identifiers.insert(identifier).second)
        Problem("record " + std::to_string(n) + " repeats the identifier " + std::to_string(identifier));
      sysDeleted.push_back({SysDeletedKey(status, identifier), n});
      if (status != 0) {
        deleted.insert(n);
        continue;
      }
      ++active;
      for (int slot = 0; slot <= MaxSecondaryIndexes; ++slot)
        if (Index.SlotInUse(slot)) expected[slot].push_back({Index.KeyDef(slot).BuildKey(image), n});
    }
    // Identifiers are handed out from the header's counter: one below a
    // stored identifier would hand that identifier out again.
    if (!identifiers.empty() && *identifiers.rbegin() > Data.HeaderCopy().LastAutoInc())
      Problem("the data header's last identifier " + std::to_string(Data.HeaderCopy().LastAutoInc()) +
              " is below the identifier " + std::to_string(*identifiers.rbegin()) + " a record holds");
    if (active != Index.Header().ActiveRecords())
      Problem("the index header counts " + std::to_string(Index.Header().ActiveRecords()) + " active records, the data file holds " +
              std::to_string(active));
    Compare(SysDeletedIndex, sysDeleted);
    for (auto& [slot, entries] : expected) Compare(slot, entries);
    for (int slot = 0; slot <= MaxSecondaryIndexes; ++slot)
      if (Index.SlotInUse(slot) && !expected.count(slot)) {
        std::vector<TEntry> none;
        Compare(slot, none);
      }
    // The deleted-record chain.
    std::set<std::int32_t> chain;
    for (std::int32_t n = Data.HeaderCopy().FirstDeleted(); n != 0;) {
      if (n < 0 || n > count || !deleted.count(n) || !chain.insert(n).second)
        return Problem("the deleted-record chain reaches record " + std::to_string(n) + ", which is not a free slot");
      TRecord& record = Data.GetRecord(n, false, TDirection::drForward);
      n = GetI32(record.Buffer, 1);
      Data.ReleaseRecord(record);
    }
    if (Table.ReuseSlots() && chain.size() != deleted.size())
      Problem("the deleted-record chain holds " + std::to_string(chain.size()) + " of " + std::to_string(deleted.size()) +
              " deleted records");
  }

  void Compare(int slot, std::vector<TEntry>& wanted) {
    std::vector<TEntry>& have = Entries[slot];
    std::vector<TEntry> sortedHave = have;
    std::sort(sortedHave.begin(), sortedHave.end());
    std::sort(wanted.begin(), wanted.end());
    if (sortedHave != wanted)
      Problem(Name(slot) + " holds " + std::to_string(have.size()) + " keys that do not match the " +
              std::to_string(wanted.size()) + " records it should index");
    if (slot != SysDeletedIndex && Index.KeyDef(slot).IsUnique()) {
      const TKeyDef& def = Index.KeyDef(slot);
      for (std::size_t i = 1; i < have.size(); ++i)
        if (def.Compare(have[i - 1].Key, have[i].Key) == 0) {
          Problem(Name(slot) + " is unique but holds a key twice");
          break;
        }
    }
  }

  TTableFiles& Table;
  TIndexFile& Index;
  TDataFile& Data;
  std::map<std::int32_t, int> Owner;
  std::map<int, std::vector<TEntry>> Entries;
  std::vector<std::string> Problems;
};

}  // namespace

std::vector<std::string> CheckTable(TTableFiles& table) { return TChecker(table).Run(); }

}  // namespace store
