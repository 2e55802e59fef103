// The table component: opens one table of its database through an engine
// cursor, builds its fields from the field descriptors and is the dataset
// of that table, in the order of the index named by IndexName.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "StoreExport.h"
#include "DataCursor.h"
#include "DataSet.h"

namespace sauno {

class TStoreDatabase;

// One index of an open table, as its index file describes it.
struct SAUNO_STORE_EXPORT TIndexDef {
  std::string Name;    // "" for the primary index
  std::string Fields;  // the key's field names in key order, separated by ';'
  std::vector<bool> FieldDescending;
  bool Primary = false;
  bool Unique = false;
  bool Descending = false;
  bool CaseInsensitive = false;
};

class SAUNO_STORE_EXPORT TStoreTable : public TDataSet {
 public:
  explicit TStoreTable(TComponent* owner);
  ~TStoreTable() override;

  std::string DatabaseName;
  std::string SessionName = "Default";
  std::string TableName;
  std::string IndexName;        // empty: the primary index
  std::string IndexFieldNames;  // instead of IndexName: the index on these fields, separated by ';'
  bool Exclusive = false;
  // Set when the engine opened the table's files read-only; a caller may set
  // it before opening to open read-only.
  bool ReadOnly = false;
  bool AutoDisplayLabels = false;
  bool CopyOnAppend = false;
  // Filled when the table opens: the primary index when it has fields, then
  // the secondary indexes in slot order.
  std::vector<TIndexDef> IndexDefs;
  static std::string EngineVersion() { return "3.27"; }

  bool CanModify() const override { return !ReadOnly; }
  std::int32_t RecordCount() override;
  store::TDataCursor& Cursor() const { return *EngineCursor; }

 protected:
  // With AutoDisplayLabels, a field's description when it has one.
  std::string DisplayLabelOf(const TFieldDef& definition) const override;
  void InternalOpen() override;
  void InternalClose() override;
  void InternalInitRecord() override;
  void InternalEdit() override;
  void InternalPost(bool inserting) override;
  void InternalCancel(bool inserting) override;
  void InternalDelete() override;
  bool InternalFirst() override;
  bool InternalLast() override;
  bool InternalNext() override;
  bool InternalPrior() override;
  // The database going first closes the table.
  void Notification(TComponent* component, TOperation operation) override;
  std::optional<std::string> GetFieldValue(const TField& field) const override;
  std::optional<std::int64_t> GetFieldInteger(const TField& field) const override;
  void SetFieldValue(const TField& field, std::optional<std::string_view> text) override;

 private:
  void BuildFieldDefs();
  void BuildIndexDefs();
  void SelectIndexByFields();
  const store::TFieldDesc& Descriptor(const TField& field) const;
  const std::vector<std::uint8_t>& ActiveBuffer() const;

  TStoreDatabase* Database = nullptr;
  std::unique_ptr<store::TDataCursor> EngineCursor;
  std::vector<std::uint8_t> EditBuffer;
  // Record information of the edit buffer: sequence number and bookmark flag.
  std::int32_t EditSequence = -1;
  std::uint8_t EditBookmarkFlag = 0;
  bool OpenedReadOnly = false;
};

}  // namespace sauno
