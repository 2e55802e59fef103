// A cursor on one table: the index it follows, its position (before the
// first record, on a record, after the last), a copy of the current record,
// and the operations that add, change and delete records.
//
// Contract: every change runs under the table's write lock and is committed
// before the lock goes; a failed change leaves the files and the caches as
// they were before it, and the cursor on the index it had. A record that
// another process removed is skipped: the position moves to where its key
// stood.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "StoreExport.h"
#include "BTree.h"
#include "DataTable.h"

namespace store {

class SAUNO_STORE_EXPORT TDataCursor {
 public:
  explicit TDataCursor(TDataDirectory& directory);
  ~TDataCursor();
  TDataCursor(const TDataCursor&) = delete;
  TDataCursor& operator=(const TDataCursor&) = delete;

  void Open(std::string_view tableName, bool exclusive, bool readOnly);
  void Close();
  bool IsOpen() const { return Table != nullptr; }

  // Index 0 answers to "" and "Primary"; STORE_INVALIDINDEXNAME otherwise.
  // The current record stays current.
  void SelectIndex(std::string_view name);
  int IndexSlot() const { return Slot; }
  std::string IndexName() const;

  TDataTable& DataTable() const { return *Table; }
  const std::vector<TFieldDesc>& Fields() const;
  std::size_t RecordSize() const;
  bool ReadOnly() const { return Table->ReadOnly(); }
  bool Exclusive() const { return Table->Exclusive(); }
  std::uint16_t LanguageId() const;
  std::int32_t RecordCount() const;

  // Zeros and the field defaults.
  void InitRecord(std::vector<std::uint8_t>& buffer) const;

  // Positions before the first / after the last record.
  void First();
  void Last();
  // Steps to the following / preceding record and copies it; false at the
  // end / beginning, where the cursor then stands after the last / before
  // the first record and the copy keeps the record it held.
  bool Next();
  bool Prior();
  bool Bof() const { return At == TPlace::BeforeFirst; }
  bool Eof() const { return At == TPlace::AfterLast; }
  bool OnRecord() const { return At == TPlace::OnRecord; }
  const std::vector<std::uint8_t>& CurrentRecord() const { return Current; }
  std::int32_t CurrentRecordNumber() const { return CurrentNumber; }

  // Adds the record (status, number and identifier are the engine's) and
  // makes it the current record.
  void AddRecord(std::vector<std::uint8_t> buffer);
  // Reads the current record again and, under the pessimistic protocol,
  // locks it; STORE_KEYORRECDELETED when it no longer equals `copy`.
  void BeginEdit(const std::vector<std::uint8_t>& copy);
  void CancelEdit();
  void ModifyRecord(std::vector<std::uint8_t> buffer, const std::vector<std::uint8_t>& copy);
  // Deletes the current record; the cursor stands where its key stood.
  void DeleteRecord(const std::vector<std::uint8_t>& copy);

 private:
  enum class TPlace { BeforeFirst, OnRecord, AfterLast };
  bool RecordOrder() const;
  template <typename Action>
  bool Navigate(Action&& step);
  bool Step(bool forward);
  // Runs a change of the files and commits it; whatever fails, the change is undone.
  void ChangeAndCommit(const std::function<void()>& change);
  bool Relocate(TIndexTree& tree, bool& exact);
  void TakeRecord(std::int32_t number, TConstBytes key, TDirection direction);
  void PlaceOn(std::int32_t number, const std::vector<std::uint8_t>& image);
  std::vector<std::uint8_t> KeyOf(const std::vector<std::uint8_t>& image) const;
  std::vector<std::uint8_t> StoredRecord(std::int32_t number);
  // The slot's bytes in the file now; empty when there is no such slot.
  std::vector<std::uint8_t> RecordOnDisk(std::int32_t number);
  void CheckFieldRules(const std::vector<std::uint8_t>& buffer) const;
  void RequireUnique(const std::vector<std::uint8_t>& image, const std::vector<std::uint8_t>* old) const;
  void RequireCurrent() const;
  [[noreturn]] void Fail(std::uint16_t code) const;

  TDataDirectory& Directory;
  TDataTable* Table = nullptr;
  int Slot = 0;
  TPlace At = TPlace::BeforeFirst;
  std::vector<std::uint8_t> Current;
  std::int32_t CurrentNumber = 0;
  std::vector<std::uint8_t> CurrentKey;
  std::vector<std::uint8_t> NextKey;  // the key being taken, kept apart until its record is read
  TTreePath Path;
  std::uint64_t PathGeneration = 0;  // the table's generation the path belongs to
  bool EditLocked = false;
};

}  // namespace store
