// A table of one's own with the Sauno table store: who sat how long.
//   sauno-visits DIR add NAME SECONDS   stores a visit (the table "visits" is made when missing)
//   sauno-visits DIR list               every visit, longest first, by the index "longest"
#include <charconv>
#include <cstdio>
#include <exception>
#include <filesystem>
#include <iostream>
#include <string>
#include <string_view>

#include "store/DataFile.h"
#include "store/IndexFile.h"
#include "store/StoreTable.h"
#include "store/TableFiles.h"

namespace {

constexpr std::string_view TableName = "visits";

// name string 30, seconds integer; the index "longest" on seconds, descending.
store::TTableDefinition VisitsDefinition(const std::string& dir) {
  store::TFieldDesc name;
  name.SetName("name");
  name.SetType(store::ftcString);
  name.SetDeclaredSize(30);
  store::TFieldDesc seconds;
  seconds.SetName("seconds");
  seconds.SetType(store::ftcInteger);
  store::TTableDefinition definition;
  definition.Fields = {name, seconds};
  store::TDataFile::LayoutFields(definition.Fields, store::TableFilePath(dir, TableName, store::DataExtension));
  store::TIndexDefinition longest;
  longest.Name = "longest";
  longest.Fields = {2};
  longest.FieldDescending = {true};
  definition.Secondaries = {longest};
  return definition;
}

void MakeTableIfMissing(const std::string& dir) {
  if (std::filesystem::exists(store::FindTableFile(dir, TableName, store::DataExtension))) return;
  store::TTableFiles files;
  files.Create(dir, TableName, VisitsDefinition(dir));
  files.Close();
  std::cout << "made the table " << TableName << " in " << dir << "\n";
}

void OpenTable(sauno::TStoreTable& table, const std::string& dir) {
  table.DatabaseName = dir;  // a directory stands for a database of its own
  table.TableName = std::string(TableName);
  table.IndexName = "longest";
  table.Open();
}

int Add(const std::string& dir, std::string_view name, std::string_view secondsText) {
  int seconds = 0;
  const auto [end, error] = std::from_chars(secondsText.data(), secondsText.data() + secondsText.size(), seconds);
  if (error != std::errc{} || end != secondsText.data() + secondsText.size() || seconds < 0) {
    std::cerr << "sauno-visits: \"" << secondsText << "\" is not a number of seconds\n";
    return 2;
  }
  MakeTableIfMissing(dir);
  sauno::TStoreTable table(nullptr);
  OpenTable(table, dir);
  table.Insert();
  table.FieldByName("name")->SetAsString(name);
  table.FieldByName("seconds")->SetAsInteger(seconds);
  table.Post();
  return 0;
}

int List(const std::string& dir) {
  sauno::TStoreTable table(nullptr);
  OpenTable(table, dir);
  for (table.First(); !table.Eof(); table.Next())
    std::cout << table.FieldByName("name")->AsString() << "\t" << table.FieldByName("seconds")->AsInteger() << "\n";
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  const std::string_view command = argc > 2 ? argv[2] : "";
  try {
    if (argc == 5 && command == "add") return Add(argv[1], argv[3], argv[4]);
    if (argc == 3 && command == "list") return List(argv[1]);
  } catch (const std::exception& e) {
    std::cerr << "sauno-visits: " << e.what() << "\n";
    return 1;
  }
  std::cerr << "usage: sauno-visits DIR add NAME SECONDS\n"
               "       sauno-visits DIR list\n";
  return 2;
}
