#include "DataSession.h"

#include <unistd.h>

#include <algorithm>

#include "CharTable.h"
#include "DataTable.h"
#include "StoreError.h"
#include "TableFiles.h"

namespace store {

TDataDirectory::TDataDirectory(TDataSession& session, std::string path)
    : Owner(session), DirectoryPath(std::move(path)) {}

TDataDirectory::~TDataDirectory() {
  for (auto& table : Tables) table->Close();
}

TDataTable& TDataDirectory::AcquireTable(std::string_view tableName, bool exclusive, bool readOnly) {
  std::lock_guard guard(Owner.Lock());
  for (auto& table : Tables) {
    if (!SameTextNoCase(table->Name(), tableName)) continue;
    if (table->Exclusive() || exclusive) RaiseStoreError(STORE_OSEACCES, table->ErrorName());
    table->AddUser();
    return *table;
  }
  auto table = std::make_unique<TDataTable>(*this, std::string(tableName));
  table->Open(exclusive, readOnly);
  table->AddUser();
  Tables.push_back(std::move(table));
  return *Tables.back();
}

void TDataDirectory::ReleaseTable(TDataTable& table) {
  std::lock_guard guard(Owner.Lock());
  if (!table.RemoveUser()) return;
  auto at = std::find_if(Tables.begin(), Tables.end(), [&](const auto& t) { return t.get() == &table; });
  if (at == Tables.end()) return;
  std::unique_ptr<TDataTable> closing = std::move(*at);
  Tables.erase(at);
  closing->Close();
}

TDataSession::TDataSession() {
  std::vector<char> buffer(4096);
  if (::getcwd(buffer.data(), buffer.size())) DefaultPath = NormaliseDirectory(buffer.data());
  else DefaultPath = "./";
}

TDataSession::~TDataSession() { Directories.clear(); }

TDataDirectory& TDataSession::OpenDirectory(std::string_view path) {
  std::lock_guard guard(Guard);
  const std::string trimmed(TrimText(path));
  const std::string resolved = trimmed.empty() ? DefaultPath : NormaliseDirectory(trimmed);
  for (auto& directory : Directories)
    if (SameTextNoCase(directory->Path(), resolved)) return *directory;
  Directories.push_back(std::make_unique<TDataDirectory>(*this, resolved));
  return *Directories.back();
}

}  // namespace store
