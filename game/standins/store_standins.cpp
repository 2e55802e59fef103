#include "game/standins/store_standins.h"

#include <algorithm>

#include "platform/exception.h"
#include "runtime/reader.h"

namespace sauno {

namespace {
constexpr size_t NameSize = 40;
}

std::string TField::AsString() const
{
    const TStoreTable::Record* r =
        table_.state_ == TDataSetState::dsInsert ? &table_.insertBuffer_ : table_.CurrentRecord();
    if (!r) return "";
    if (index_ == 0) return r->nimi.value_or("");
    return r->aika ? std::to_string(*r->aika) : "";
}

int32_t TField::AsInteger() const
{
    const TStoreTable::Record* r =
        table_.state_ == TDataSetState::dsInsert ? &table_.insertBuffer_ : table_.CurrentRecord();
    if (!r) return 0;
    if (index_ == 1) return r->aika.value_or(0);
    const std::string s = r->nimi.value_or("");
    try {
        return s.empty() ? 0 : std::stoi(s);
    } catch (const std::exception&) {
        throw Exception("'" + s + "' is not a valid integer value");
    }
}

void TField::SetAsString(const std::string& value)
{
    TStoreTable::Record& r = table_.CurrentBuffer();
    if (index_ == 0) {
        std::string v = value.substr(0, NameSize);
        while (!v.empty() && v.back() == ' ') v.pop_back();
        r.nimi = v.empty() ? std::nullopt : std::optional<std::string>(v);
    } else {
        try {
            r.aika = value.empty() ? std::nullopt : std::optional<int32_t>(std::stoi(value));
        } catch (const std::exception&) {
            throw Exception("'" + value + "' is not a valid integer value");
        }
    }
    table_.modified_ = true;
}

void TField::SetAsInteger(int32_t value)
{
    if (index_ == 0) {
        SetAsString(std::to_string(value));
        return;
    }
    table_.CurrentBuffer().aika = value;
    table_.modified_ = true;
}

TStoreTable::TStoreTable(TComponent* owner) : TComponent(owner)
{
    fields_.push_back(std::make_unique<TField>(*this, "nimi", 0));
    fields_.push_back(std::make_unique<TField>(*this, "aika", 1));
}

void TStoreTable::Loaded()
{
    TComponent::Loaded();
    if (streamedActive_) SetActive(true);
}

void TStoreTable::SetActive(bool value)
{
    if (Loading()) {
        streamedActive_ = value;
        return;
    }
    if (value == Active()) return;
    if (value) {
        if (TableName.empty()) throw Exception("Missing table name.");
        state_ = TDataSetState::dsBrowse;
        current_ = 0;
        eof_ = records_.empty();
    } else {
        state_ = TDataSetState::dsInactive;
    }
}

TStoreTable::Record& TStoreTable::CurrentBuffer()
{
    if (state_ != TDataSetState::dsInsert) throw Exception("Table is not in edit or insert mode.");
    return insertBuffer_;
}

const TStoreTable::Record* TStoreTable::CurrentRecord() const
{
    return current_ < records_.size() ? &records_[current_] : nullptr;
}

void TStoreTable::CheckBrowseMode()
{
    if (state_ == TDataSetState::dsInactive) throw Exception("Cannot perform this operation on a closed dataset");
    if (state_ == TDataSetState::dsInsert) {
        if (modified_) Post();
        else Cancel();
    }
}

void TStoreTable::Insert()
{
    CheckBrowseMode();
    if (ReadOnly) throw Exception("Cannot modify a read-only dataset");
    insertBuffer_ = Record{};
    modified_ = false;
    state_ = TDataSetState::dsInsert;
}

void TStoreTable::Post()
{
    if (state_ != TDataSetState::dsInsert) return;
    // Descending on aika; a record goes after every record with an equal or longer time.
    auto key = [](const Record& r) { return r.aika ? int64_t(*r.aika) : INT64_MIN; };
    auto at = std::find_if(records_.begin(), records_.end(),
                           [&](const Record& r) { return key(r) < key(insertBuffer_); });
    at = records_.insert(at, insertBuffer_);
    current_ = static_cast<size_t>(at - records_.begin());
    state_ = TDataSetState::dsBrowse;
    modified_ = false;
}

void TStoreTable::Cancel()
{
    if (state_ == TDataSetState::dsInsert) state_ = TDataSetState::dsBrowse;
    modified_ = false;
}

void TStoreTable::First()
{
    CheckBrowseMode();
    current_ = 0;
    eof_ = records_.empty();
}

void TStoreTable::Next()
{
    CheckBrowseMode();
    if (current_ + 1 < records_.size()) ++current_;
    else eof_ = true;  // stays on the last record
}

TField* TStoreTable::FieldByName(const std::string& name)
{
    for (auto& f : fields_)
        if (f->FieldName.size() == name.size() &&
            std::equal(name.begin(), name.end(), f->FieldName.begin(),
                       [](char a, char b) { return std::tolower((unsigned char)a) == std::tolower((unsigned char)b); }))
            return f.get();
    throw Exception("Field '" + name + "' not found");
}

void RegisterStoreStandIns()
{
    using namespace describe;
    ClassRegistry& r = ClassRegistry::Instance();
    ClassInfo& table = r.Register("TStoreTable", "TComponent", [](TComponent* o) { return new TStoreTable(o); });
    Bool<TStoreTable>(table, "Active", [](TStoreTable& t, bool v) { t.SetActive(v); });
    String<TStoreTable>(table, "DatabaseName", [](TStoreTable& t, const std::string& v) { t.DatabaseName = v; });
    String<TStoreTable>(table, "TableName", [](TStoreTable& t, const std::string& v) { t.TableName = v; });
    String<TStoreTable>(table, "IndexName", [](TStoreTable& t, const std::string& v) { t.IndexName = v; });
    Ignored(table, {"AutoDisplayLabels", "CopyOnAppend", "EngineVersion"});

    ClassInfo& db = r.Register("TStoreDatabase", "TComponent", [](TComponent* o) { return new TStoreDatabase(o); });
    String<TStoreDatabase>(db, "DatabaseName", [](TStoreDatabase& d, const std::string& v) { d.DatabaseName = v; });
    String<TStoreDatabase>(db, "Directory", [](TStoreDatabase& d, const std::string& v) { d.Directory = v; });
    String<TStoreDatabase>(db, "SessionName", [](TStoreDatabase& d, const std::string& v) { d.SessionName = v; });
    Bool<TStoreDatabase>(db, "Connected", [](TStoreDatabase& d, bool v) { d.Connected = v; });
    Ignored(db, {"EngineVersion"});
}

}  // namespace sauno
