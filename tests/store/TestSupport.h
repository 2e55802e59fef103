// Helpers of the store tests: scratch directories, field and table
// definitions, and a small writer that adds, changes and deletes records in
// the data file and every index the way a committing cursor does.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "BTree.h"
#include "DataFile.h"
#include "IndexFile.h"
#include "TableFiles.h"

namespace store_test {

// A fresh directory under the system's temporary directory, removed with
// everything in it when the object goes.
class TScratchDir {
 public:
  TScratchDir();
  ~TScratchDir();
  const std::string& Path() const { return DirPath; }
  std::string File(const std::string& name) const { return DirPath + "/" + name; }

 private:
  std::string DirPath;
};

std::vector<std::uint8_t> ReadFileBytes(const std::string& path);
void WriteFileBytes(const std::string& path, const std::vector<std::uint8_t>& bytes);

store::TFieldDesc Field(const std::string& name, std::uint8_t type, std::uint8_t subtype = 0, std::uint8_t size = 0);
store::TIndexDefinition IndexOn(const std::string& name, std::vector<std::uint16_t> fields, bool unique = false,
                                std::uint8_t compression = 0);

// Adds, changes and deletes records through the data file and the trees,
// keeping "Sys Deleted" and the active-record count, and commits after each.
class TRecordWriter {
 public:
  explicit TRecordWriter(store::TTableFiles& table) : Table(table) {}
  std::vector<std::uint8_t> NewBuffer() const;
  void SetInt(std::vector<std::uint8_t>& buffer, const std::string& field, std::int64_t value) const;
  void SetFloat(std::vector<std::uint8_t>& buffer, const std::string& field, double value) const;
  void SetText(std::vector<std::uint8_t>& buffer, const std::string& field, const std::string& value) const;
  void SetNull(std::vector<std::uint8_t>& buffer, const std::string& field) const;
  // Returns the record number of the new record.
  std::int32_t Add(const std::vector<std::uint8_t>& buffer);
  void Modify(std::int32_t recordNumber, const std::vector<std::uint8_t>& buffer);
  void Delete(std::int32_t recordNumber);
  std::vector<std::uint8_t> Read(std::int32_t recordNumber);
  // Record numbers in the order of an index.
  std::vector<std::int32_t> Visit(int slot);

 private:
  const store::TFieldDesc& FieldNamed(const std::string& name) const;
  store::TTableFiles& Table;
};

}  // namespace store_test
