#include "StoreTable.h"

#include "CharTable.h"
#include "FieldValues.h"
#include "StoreDatabase.h"
#include "StoreSession.h"

namespace sauno {
namespace {

constexpr std::uint8_t BookmarkInserted = 3;

TFieldType FieldTypeOf(const store::TFieldDesc& d) {
  using namespace store;
  switch (d.Type()) {
    case ftcString: return d.Subtype() == SubtypeFixedChar ? TFieldType::ftFixedChar : TFieldType::ftString;
    case ftcDate: return TFieldType::ftDate;
    case ftcBlob:
      switch (d.Subtype()) {
        case 22: return TFieldType::ftMemo;
        case 24: return TFieldType::ftFmtMemo;
        case 26: return TFieldType::ftGraphic;
        case 28: return TFieldType::ftTypedBinary;
        default: return TFieldType::ftBlob;
      }
    case ftcBoolean: return TFieldType::ftBoolean;
    case ftcSmallint: return TFieldType::ftSmallint;
    case ftcInteger: return d.IsAutoInc() ? TFieldType::ftAutoInc : TFieldType::ftInteger;
    case ftcFloat: return d.Subtype() == SubtypeCurrency ? TFieldType::ftCurrency : TFieldType::ftFloat;
    case ftcBCD: return TFieldType::ftBCD;
    case ftcBytes: return TFieldType::ftBytes;
    case ftcTime: return TFieldType::ftTime;
    case ftcTimestamp: return TFieldType::ftDateTime;
    case ftcWord: return TFieldType::ftWord;
    case ftcRawInteger: return TFieldType::ftInteger;
    case ftcVarBytes: return TFieldType::ftVarBytes;
    case ftcLargeint: return TFieldType::ftLargeint;
    default: return TFieldType::ftUnknown;
  }
}

}  // namespace

TStoreTable::TStoreTable(TComponent* owner) : TDataSet(owner) {}

TStoreTable::~TStoreTable() {
  try {
    Close();
  } catch (...) {
  }
}

void TStoreTable::InternalOpen() {
  if (store::TrimText(TableName).empty()) throw EDatabaseError("Missing table name.");
  TStoreSession& session = TStoreSession::Named(SessionName);
  TStoreDatabase& database = session.OpenDatabase(DatabaseName);
  try {
    auto cursor = std::make_unique<store::TDataCursor>(database.EngineDirectory());
    cursor->Open(TableName, Exclusive, ReadOnly);
    EngineCursor = std::move(cursor);
    BuildIndexDefs();
    if (!IndexName.empty()) EngineCursor->SelectIndex(IndexName);
    else if (!IndexFieldNames.empty()) SelectIndexByFields();
    OpenedReadOnly = ReadOnly;
    if (EngineCursor->ReadOnly()) ReadOnly = true;
    BuildFieldDefs();
    Database = &database;
    FreeNotification(Database);
  } catch (...) {
    Database = nullptr;
    EngineCursor.reset();
    session.CloseDatabase(database);
    // The engine's and the dataset's own errors say what is wrong; anything else (memory,
    // the system) left the table without a cursor to work on.
    try {
      throw;
    } catch (const store::EStoreEngineError&) {
      throw;
    } catch (const EDatabaseError&) {
      throw;
    } catch (const std::exception&) {
      throw EDatabaseError("Error creating table handle.");
    }
  }
}

void TStoreTable::Notification(TComponent* component, TOperation operation) {
  TDataSet::Notification(component, operation);
  if (operation != TOperation::opRemove || component != Database) return;
  Database = nullptr;
  try {
    Close();
  } catch (...) {
  }
}

void TStoreTable::InternalClose() {
  std::unique_ptr<store::TDataCursor> cursor = std::move(EngineCursor);
  TStoreDatabase* database = Database;
  Database = nullptr;
  EditBuffer.clear();
  ReadOnly = OpenedReadOnly;
  if (cursor) cursor->Close();
  if (database) {
    RemoveFreeNotification(database);
    database->Session().CloseDatabase(*database);
  }
}

void TStoreTable::BuildIndexDefs() {
  IndexDefs.clear();
  store::TIndexFile& index = EngineCursor->DataTable().TableFiles().IndexFile();
  const auto& fields = EngineCursor->Fields();
  for (int slot = store::PrimaryIndex; slot <= index.Header().SecondaryCount(); ++slot) {
    if (!index.SlotInUse(slot)) continue;
    const store::TIndexDesc desc = index.Header().Desc(slot);
    TIndexDef def;
    def.Primary = slot == store::PrimaryIndex;
    if (!def.Primary) def.Name = std::string(store::TrimText(desc.Name()));
    for (int i = 0; i < desc.FieldCount(); ++i) {
      const std::uint16_t n = desc.FieldNumber(i);
      if (i) def.Fields += ';';
      if (n >= 1 && n <= fields.size()) def.Fields += fields[n - 1u].Name();
      def.FieldDescending.push_back(desc.FieldDescending(i));
    }
    def.Unique = desc.Unique();
    def.Descending = desc.Descending();
    def.CaseInsensitive = desc.CaseInsensitive();
    IndexDefs.push_back(std::move(def));
  }
}

void TStoreTable::SelectIndexByFields() {
  // Field lists compare name by name, without regard to case or blanks.
  auto names = [](std::string_view list) {
    std::vector<std::string> out;
    for (std::size_t start = 0; start <= list.size();) {
      std::size_t end = list.find(';', start);
      if (end == std::string_view::npos) end = list.size();
      out.emplace_back(store::UpperText(store::TrimText(list.substr(start, end - start))));
      start = end + 1;
    }
    return out;
  };
  const std::vector<std::string> wanted = names(IndexFieldNames);
  for (const TIndexDef& def : IndexDefs) {
    if (names(def.Fields) != wanted) continue;
    EngineCursor->SelectIndex(def.Name);
    return;
  }
  store::RaiseStoreError(store::STORE_INVALIDINDEXNAME, EngineCursor->DataTable().ErrorName(), IndexFieldNames, "");
}

std::string TStoreTable::DisplayLabelOf(const TFieldDef& definition) const {
  return AutoDisplayLabels && !definition.Description.empty() ? definition.Description : definition.Name;
}

void TStoreTable::BuildFieldDefs() {
  FieldDefs.clear();
  for (const store::TFieldDesc& d : EngineCursor->Fields()) {
    if (d.Hidden()) continue;
    TFieldDef def;
    const std::string base = d.Name();
    def.Name = base;
    for (int n = 1;; ++n) {
      bool used = false;
      for (const TFieldDef& other : FieldDefs) used = used || store::SameTextNoCase(other.Name, def.Name);
      if (!used) break;
      def.Name = base + "_" + std::to_string(n);
    }
    def.DataType = FieldTypeOf(d);
    if (store::TypeHasDeclaredSize(d.Type())) def.Size = d.DeclaredSize();
    if (d.Type() == store::ftcBCD) {
      def.Precision = 32;
      def.Size = d.Scale();
    }
    def.Required = d.Required() != 0;
    def.FieldNo = d.Number();
    def.Description = d.Description();
    FieldDefs.push_back(def);
  }
}

std::int32_t TStoreTable::RecordCount() {
  CheckActive();
  return EngineCursor->RecordCount();
}

const store::TFieldDesc& TStoreTable::Descriptor(const TField& field) const {
  return EngineCursor->Fields()[static_cast<std::size_t>(field.FieldNo() - 1)];
}

const std::vector<std::uint8_t>& TStoreTable::ActiveBuffer() const {
  if (State() == TDataSetState::dsInsert || State() == TDataSetState::dsEdit) return EditBuffer;
  return EngineCursor->CurrentRecord();
}

std::optional<std::string> TStoreTable::GetFieldValue(const TField& field) const {
  if (!EngineCursor) return std::nullopt;
  if (IsEmpty()) return std::nullopt;
  const std::vector<std::uint8_t>& buffer = ActiveBuffer();
  const store::TFieldDesc& desc = Descriptor(field);
  const std::string& table = EngineCursor->DataTable().ErrorName();
  if (!store::GetField(buffer, desc, {}, table)) return std::nullopt;
  return store::FieldAsText(buffer, desc, table);
}

std::optional<std::int64_t> TStoreTable::GetFieldInteger(const TField& field) const {
  if (!EngineCursor || IsEmpty()) return 0;
  const store::TFieldDesc& desc = Descriptor(field);
  const std::uint8_t type = desc.Type();
  if (type != store::ftcSmallint && type != store::ftcInteger && type != store::ftcWord &&
      type != store::ftcRawInteger && type != store::ftcLargeint)
    return std::nullopt;
  std::uint8_t bytes[8] = {};
  if (!store::GetField(ActiveBuffer(), desc, std::span(bytes, desc.PhysicalSize() <= 8 ? desc.PhysicalSize() : 8),
                       EngineCursor->DataTable().ErrorName()))
    return 0;
  switch (type) {
    case store::ftcSmallint:
      return store::GetLE<std::int16_t>(bytes, 0);
    case store::ftcWord:
      return store::GetLE<std::uint16_t>(bytes, 0);
    case store::ftcLargeint:
      return store::GetI64(bytes, 0);
    default:
      return store::GetI32(bytes, 0);
  }
}

void TStoreTable::SetFieldValue(const TField& field, std::optional<std::string_view> text) {
  if (State() != TDataSetState::dsInsert && State() != TDataSetState::dsEdit)
    throw EDatabaseError("Table is not in edit or insert mode.");
  if (field.ReadOnly) throw EDatabaseError("Field " + field.FieldName() + " cannot be modified.");
  const store::TFieldDesc& desc = Descriptor(field);
  const std::string& table = EngineCursor->DataTable().ErrorName();
  if (!text) {
    store::PutFieldNull(EditBuffer, desc, table);
  } else if (desc.IsString()) {
    store::PutFieldString(EditBuffer, desc, *text, table);
  } else if (!store::PutFieldText(EditBuffer, desc, *text, table)) {
    throw EDatabaseError("'" + std::string(*text) + "' is not a valid value for field '" + field.FieldName() + "'");
  }
  FieldChanged();
}

void TStoreTable::InternalInitRecord() {
  EngineCursor->InitRecord(EditBuffer);
  EditSequence = -1;
  EditBookmarkFlag = BookmarkInserted;
}

void TStoreTable::InternalEdit() {
  EngineCursor->BeginEdit(EngineCursor->CurrentRecord());
  EditBuffer = EngineCursor->CurrentRecord();
}

void TStoreTable::InternalPost(bool inserting) {
  if (inserting) EngineCursor->AddRecord(EditBuffer);
  else EngineCursor->ModifyRecord(EditBuffer, EngineCursor->CurrentRecord());
}

void TStoreTable::InternalCancel(bool inserting) {
  if (!inserting) EngineCursor->CancelEdit();
  EditBuffer.clear();
}

void TStoreTable::InternalDelete() { EngineCursor->DeleteRecord(EngineCursor->CurrentRecord()); }

bool TStoreTable::InternalFirst() {
  EngineCursor->First();
  return EngineCursor->Next();
}

bool TStoreTable::InternalLast() {
  EngineCursor->Last();
  return EngineCursor->Prior();
}

bool TStoreTable::InternalNext() { return EngineCursor->Next(); }
bool TStoreTable::InternalPrior() { return EngineCursor->Prior(); }

}  // namespace sauno
