#include "DataSet.h"

#include <charconv>
#include <climits>

#include "CharTable.h"

namespace sauno {

TField::TField(TDataSet& dataset, const TFieldDef& definition)
    : DisplayLabel(definition.Name), Owner(dataset), Definition(definition) {
  ReadOnly = definition.DataType == TFieldType::ftAutoInc;
}

bool TField::IsNull() const { return !Owner.GetFieldValue(*this).has_value(); }

std::string TField::AsString() const { return Owner.GetFieldValue(*this).value_or(""); }

std::int32_t TField::AsInteger() const {
  if (const auto native = Owner.GetFieldInteger(*this);
      native && *native >= INT32_MIN && *native <= INT32_MAX)
    return static_cast<std::int32_t>(*native);
  const std::string text = AsString();
  if (text.empty()) return 0;
  std::int32_t value = 0;
  auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (error != std::errc() || end != text.data() + text.size())
    throw EDatabaseError("'" + text + "' is not a valid integer value");
  return value;
}

void TField::SetAsString(std::string_view value) {
  if (Definition.DataType == TFieldType::ftString || Definition.DataType == TFieldType::ftFixedChar)
    value = value.substr(0, static_cast<std::size_t>(Definition.Size));
  Owner.SetFieldValue(*this, value.empty() ? std::nullopt : std::optional<std::string_view>(value));
}

void TField::SetAsInteger(std::int32_t value) { SetAsString(std::to_string(value)); }

void TField::Clear() { Owner.SetFieldValue(*this, std::nullopt); }

TDataSet::TDataSet(TComponent* owner) : TComponent(owner) {}

TDataSet::~TDataSet() = default;

void TDataSet::SetActive(bool value) {
  if (Loading()) {
    StreamedActive = value;
    return;
  }
  if (value == Active()) return;
  if (value) {
    InternalOpen();
    // Whatever fails from here on (memory too) closes what the open took.
    try {
      FieldList.clear();
      for (const TFieldDef& def : FieldDefs) {
        FieldList.push_back(std::make_unique<TField>(*this, def));
        FieldList.back()->DisplayLabel = DisplayLabelOf(def);
      }
      CurrentState = TDataSetState::dsBrowse;
      IsModified = false;
      Fetch(InternalFirst(), true);
      AtBeginning = true;
    } catch (...) {
      CurrentState = TDataSetState::dsInactive;
      InternalClose();
      throw;
    }
  } else {
    CurrentState = TDataSetState::dsInactive;
    HasRecord = false;
    AtBeginning = AtEnd = true;
    InternalClose();
  }
}

void TDataSet::Loaded() {
  TComponent::Loaded();
  if (StreamedActive) SetActive(true);
}

void TDataSet::CheckActive() const {
  if (!Active()) throw EDatabaseError("Cannot perform this operation on a closed dataset");
}

void TDataSet::CheckBrowseMode() {
  CheckActive();
  if (CurrentState == TDataSetState::dsEdit || CurrentState == TDataSetState::dsInsert) {
    if (IsModified) Post();
    else Cancel();
  }
}

void TDataSet::Insert() {
  CheckBrowseMode();
  if (!CanModify()) throw EDatabaseError("Cannot modify a read-only dataset");
  InternalInitRecord();
  CurrentState = TDataSetState::dsInsert;
  IsModified = false;
}

void TDataSet::Edit() {
  if (CurrentState == TDataSetState::dsEdit || CurrentState == TDataSetState::dsInsert) return;
  CheckBrowseMode();
  if (!CanModify()) throw EDatabaseError("Cannot modify a read-only dataset");
  if (!HasRecord) {
    Insert();
    return;
  }
  InternalEdit();
  CurrentState = TDataSetState::dsEdit;
  IsModified = false;
}

void TDataSet::Post() {
  if (CurrentState != TDataSetState::dsEdit && CurrentState != TDataSetState::dsInsert) {
    CheckActive();
    throw EDatabaseError("Dataset not in edit or insert mode");
  }
  for (const auto& field : FieldList)
    if (field->Required() && !field->ReadOnly && field->IsNull())
      throw EDatabaseError("Field '" + field->FieldName() + "' must have a value");
  const bool inserting = CurrentState == TDataSetState::dsInsert;
  InternalPost(inserting);  // on failure the state stays as it is
  CurrentState = TDataSetState::dsBrowse;
  IsModified = false;
  HasRecord = true;
  AtBeginning = AtEnd = false;
}

void TDataSet::Cancel() {
  if (CurrentState != TDataSetState::dsEdit && CurrentState != TDataSetState::dsInsert) return;
  const bool inserting = CurrentState == TDataSetState::dsInsert;
  InternalCancel(inserting);
  CurrentState = TDataSetState::dsBrowse;
  IsModified = false;
}

void TDataSet::Delete() {
  CheckActive();
  if (CurrentState == TDataSetState::dsInsert) {
    Cancel();
    return;
  }
  CheckBrowseMode();
  if (!CanModify()) throw EDatabaseError("Cannot modify a read-only dataset");
  if (!HasRecord) throw EDatabaseError("Cannot perform this operation on an empty dataset");
  InternalDelete();
  if (InternalNext()) {
    Fetch(true, true);
  } else {
    Fetch(InternalPrior(), false);
    AtEnd = true;
  }
}

void TDataSet::Fetch(bool found, bool forward) {
  if (found) {
    HasRecord = true;
    AtBeginning = AtEnd = false;
    return;
  }
  // Nothing there: the dataset stays on the record it had.
  if (forward) AtEnd = true;
  else AtBeginning = true;
  if (!HasRecord) AtBeginning = AtEnd = true;
}

void TDataSet::First() {
  CheckBrowseMode();
  HasRecord = false;
  Fetch(InternalFirst(), true);
  AtBeginning = true;
}

void TDataSet::Last() {
  CheckBrowseMode();
  HasRecord = false;
  Fetch(InternalLast(), false);
  AtEnd = true;
}

void TDataSet::Next() {
  CheckBrowseMode();
  if (AtEnd) return;
  const bool found = InternalNext();
  Fetch(found, true);
  if (found) AtBeginning = false;
}

void TDataSet::Prior() {
  CheckBrowseMode();
  if (AtBeginning) return;
  const bool found = InternalPrior();
  Fetch(found, false);
  if (found) AtEnd = false;
}

TField* TDataSet::FindField(std::string_view name) const {
  for (const auto& field : FieldList)
    if (store::SameTextNoCase(field->FieldName(), name)) return field.get();
  return nullptr;
}

TField* TDataSet::FieldByName(std::string_view name) const {
  TField* field = FindField(name);
  if (!field) throw EDatabaseError("Field '" + std::string(name) + "' not found");
  return field;
}

}  // namespace sauno
