#pragma once
// STAND-IN for the table store's components: the table keeps its records in memory, in the
// order of the index on `aika` (longest time first, equal times in the order stored), with the
// dataset behaviour the game relies on (insert, field access, implicit post on navigation,
// end-of-data flag). Nothing reaches the disk. The table-store issues replace this file.
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "runtime/component.h"

namespace sauno {

class TStoreTable;

class TField {
public:
    TField(TStoreTable& table, std::string name, int index) : table_(table), FieldName(std::move(name)), index_(index) {}
    std::string AsString() const;
    void SetAsString(const std::string& value);
    int32_t AsInteger() const;
    void SetAsInteger(int32_t value);

private:
    TStoreTable& table_;

public:
    const std::string FieldName;

private:
    int index_;
};

enum class TDataSetState { dsInactive, dsBrowse, dsInsert };

class TStoreDatabase : public TComponent {
public:
    using TComponent::TComponent;
    std::string DatabaseName, Directory, SessionName = "Default";
    bool Connected = false;
};

class TStoreTable : public TComponent {
public:
    explicit TStoreTable(TComponent* owner);
    std::string DatabaseName, TableName, IndexName;
    // Set by the engine for tables that cannot be written; tests set it to make inserts fail.
    bool ReadOnly = false;

    void Loaded() override;
    bool Active() const { return state_ != TDataSetState::dsInactive; }
    void SetActive(bool value);
    TDataSetState State() const { return state_; }

    void Insert();
    void Post();
    void Cancel();
    void First();
    void Next();
    bool Eof() const { return eof_; }
    TField* FieldByName(const std::string& name);
    int RecordCount() const { return static_cast<int>(records_.size()); }

private:
    friend class TField;
    struct Record {
        std::optional<std::string> nimi;
        std::optional<int32_t> aika;
    };
    void CheckBrowseMode();
    Record& CurrentBuffer();
    const Record* CurrentRecord() const;

    bool streamedActive_ = false;
    TDataSetState state_ = TDataSetState::dsInactive;
    std::vector<Record> records_;  // in index order
    Record insertBuffer_;
    bool modified_ = false;
    size_t current_ = 0;
    bool eof_ = true;
    std::vector<std::unique_ptr<TField>> fields_;
};

void RegisterStoreStandIns();

}  // namespace sauno
