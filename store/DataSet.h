// A record-at-a-time dataset: states, field objects found by name, insert,
// edit, post and cancel (implicitly, on every move), first, last, next and
// prior with the beginning- and end-of-data flags. The storage below is left
// to a derived class through the Internal operations.
//
// Contract: a move in insert or edit state first posts a modified record and
// cancels an unmodified one. At the end the dataset stays on the last record
// and sets its end-of-data flag; at the beginning likewise. Errors of misuse
// are EDatabaseError with the plain messages below.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "StoreExport.h"
#include "StoreError.h"
#include "runtime/component.h"

namespace sauno {

using store::EDatabaseError;

enum class TDataSetState { dsInactive, dsBrowse, dsEdit, dsInsert };

enum class TFieldType {
  ftUnknown, ftString, ftFixedChar, ftSmallint, ftInteger, ftWord, ftBoolean, ftFloat, ftCurrency, ftBCD,
  ftDate, ftTime, ftDateTime, ftBytes, ftVarBytes, ftAutoInc, ftLargeint, ftBlob, ftMemo, ftFmtMemo,
  ftGraphic, ftTypedBinary
};

struct SAUNO_STORE_EXPORT TFieldDef {
  std::string Name;
  TFieldType DataType = TFieldType::ftUnknown;
  int Size = 0;
  int Precision = 0;
  bool Required = false;
  int FieldNo = 0;  // 1-based position among the table's fields
  std::string Description;
};

class TDataSet;

class SAUNO_STORE_EXPORT TField {
 public:
  TField(TDataSet& dataset, const TFieldDef& definition);

  const std::string& FieldName() const { return Definition.Name; }
  TFieldType DataType() const { return Definition.DataType; }
  int Size() const { return Definition.Size; }
  int FieldNo() const { return Definition.FieldNo; }
  bool Required() const { return Definition.Required; }
  bool ReadOnly = false;
  std::string DisplayLabel;

  bool IsNull() const;
  // NULL reads as "" and as 0.
  std::string AsString() const;
  std::int32_t AsInteger() const;
  // A string field keeps at most its size in characters; "" is NULL.
  void SetAsString(std::string_view value);
  void SetAsInteger(std::int32_t value);
  void Clear();

 private:
  TDataSet& Owner;
  TFieldDef Definition;
};

class SAUNO_STORE_EXPORT TDataSet : public TComponent {
 public:
  explicit TDataSet(TComponent* owner);
  ~TDataSet() override;

  TDataSetState State() const { return CurrentState; }
  bool Active() const { return CurrentState != TDataSetState::dsInactive; }
  // While loading, the value waits for Loaded.
  void SetActive(bool value);
  void Open() { SetActive(true); }
  void Close() { SetActive(false); }
  void Loaded() override;

  void Insert();
  void Append() { Insert(); }
  void Edit();
  void Post();
  void Cancel();
  void Delete();
  void First();
  void Last();
  void Next();
  void Prior();
  bool Bof() const { return AtBeginning; }
  bool Eof() const { return AtEnd; }
  bool IsEmpty() const { return !HasRecord && CurrentState != TDataSetState::dsInsert; }
  bool Modified() const { return IsModified; }
  virtual bool CanModify() const = 0;
  virtual std::int32_t RecordCount() = 0;

  // "Field '%s' not found" for a name the dataset lacks (compared without regard to case).
  TField* FieldByName(std::string_view name) const;
  TField* FindField(std::string_view name) const;
  int FieldCount() const { return static_cast<int>(FieldList.size()); }
  TField& Fields(int i) const { return *FieldList[static_cast<std::size_t>(i)]; }
  std::vector<TFieldDef> FieldDefs;

 protected:
  // The storage: open fills FieldDefs; first / next / prior fetch into
  // the current record and report whether there was one.
  virtual void InternalOpen() = 0;
  virtual void InternalClose() = 0;
  virtual void InternalInitRecord() = 0;
  virtual void InternalEdit() = 0;
  virtual void InternalPost(bool inserting) = 0;
  virtual void InternalCancel(bool inserting) = 0;
  virtual void InternalDelete() = 0;
  virtual bool InternalFirst() = 0;
  virtual bool InternalLast() = 0;
  virtual bool InternalNext() = 0;
  virtual bool InternalPrior() = 0;
  // The label a field of this definition starts with: its name.
  virtual std::string DisplayLabelOf(const TFieldDef& definition) const { return definition.Name; }

  friend class TField;
  // Field values of the active record (the edit buffer in insert and edit state).
  virtual std::optional<std::string> GetFieldValue(const TField& field) const = 0;
  // An integer field's value read as a number, 0 for NULL; nothing when the
  // field is no integer, whose text is then converted.
  virtual std::optional<std::int64_t> GetFieldInteger(const TField&) const { return std::nullopt; }
  virtual void SetFieldValue(const TField& field, std::optional<std::string_view> text) = 0;
  // Called by the fields after their checks; the derived class stores the value.
  void FieldChanged() { IsModified = true; }
  void CheckBrowseMode();
  void CheckActive() const;
  void SetBrowseRecord(bool hasRecord) { HasRecord = hasRecord; }

 private:
  void Fetch(bool found, bool forward);

  TDataSetState CurrentState = TDataSetState::dsInactive;
  bool StreamedActive = false;
  bool IsModified = false;
  bool AtBeginning = true;
  bool AtEnd = true;
  bool HasRecord = false;
  std::vector<std::unique_ptr<TField>> FieldList;
};

}  // namespace sauno
