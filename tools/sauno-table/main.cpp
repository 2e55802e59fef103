// sauno-table: makes and inspects the files of a table.
#include <iostream>
#include <stdexcept>
#include <string>
#include <vector>

#include "StoreError.h"
#include "StoreSession.h"
#include "TableCommands.h"

namespace {
constexpr const char* Usage =
    "usage: sauno-table create DIR TABLE FIELD... [--primary F[,F...]] "
    "[--index NAME=F[-][,F[-]...][:unique][:nocase][:compress=N]]...\n"
    "       sauno-table info DIR TABLE\n"
    "       sauno-table verify DIR TABLE   (exit 1 on damage, or on a commit a stopped writer left pending)\n"
    "       sauno-table insert DIR TABLE NAME=VALUE...\n"
    "       sauno-table insert DIR TABLE --stdin   (one record per line, values tab-separated in field order)\n"
    "       sauno-table insert DIR TABLE --each    (as --stdin, but each line is committed on its own)\n"
    "       sauno-table list DIR TABLE [--index NAME]\n"
    "       sauno-table delete DIR TABLE NAME=VALUE\n"
    "       sauno-table update DIR TABLE NAME=VALUE FIELD=VALUE...   (the first record whose NAME is VALUE)\n"
    "       sauno-table create-scores DIR   (the game's table enkat, unless it exists; an existing one\n"
    "                                        whose index file lost the index aika gets it back)\n"
    "       sauno-table repair DIR TABLE   (the deleted chain and every index built again from the records)\n"
    "       sauno-table export DIR TABLE [--csv|--json]   (every record, to standard output)\n"
    "       sauno-table import DIR TABLE --csv FILE   (as export writes it; FILE - is standard input)\n"
    "       sauno-table --help | -h | help   (this text)\n"
    "FIELD is name:type[:size]; types: string fixedchar date time timestamp boolean smallint integer word\n"
    "largeint float currency autoinc bytes varbytes\n";
}

int main(int argc, char** argv) {
  // Buffered standard input: line-by-line reads need no system call each.
  std::ios::sync_with_stdio(false);
  std::vector<std::string> args(argv + 1, argv + argc);
  if (args.empty()) {
    std::cerr << Usage;
    return 1;
  }
  const std::string command = args.front();
  args.erase(args.begin());
  if (command == "--help" || command == "-h" || command == "help") {
    std::cout << Usage;
    return 0;
  }
  // Every change the tool commits is flushed in the order that survives a
  // power cut: a table it wrote holds the change or not, never half of it.
  sauno::TStoreSession::Default().ForceBufferFlush = true;
  try {
    if (command == "create") return sauno_table::CreateCommand(args, std::cout);
    if (command == "info") return sauno_table::InfoCommand(args, std::cout);
    if (command == "verify") return sauno_table::VerifyCommand(args, std::cout);
    if (command == "insert") return sauno_table::InsertCommand(args, std::cout);
    if (command == "list") return sauno_table::ListCommand(args, std::cout);
    if (command == "delete") return sauno_table::DeleteCommand(args, std::cout);
    if (command == "update") return sauno_table::UpdateCommand(args, std::cout);
    if (command == "create-scores") return sauno_table::CreateScoresCommand(args, std::cout);
    if (command == "repair") return sauno_table::RepairCommand(args, std::cout);
    if (command == "export") return sauno_table::ExportCommand(args, std::cout);
    if (command == "import") return sauno_table::ImportCommand(args, std::cout);
    std::cerr << "unknown command '" << command << "'\n" << Usage;
    return 1;
  } catch (const store::EStoreEngineError& e) {
    std::cerr << e.what() << "\n";
    // A rebuild refused for clashing keys names the records to change.
    if (e.Code() == store::STORE_KEYVIOL && !e.Context().Extra.empty())
      std::cerr << "the " << e.Context().Extra << " share a key of the unique index '" << e.Context().Index
                << "'; change or delete one of them, then repair again\n";
    return 1;
  } catch (const sauno_table::TInputError& e) {
    std::cerr << "sauno-table: " << e.what() << "\n";
    return 1;
  } catch (const std::invalid_argument& e) {
    std::cerr << e.what() << "\n" << Usage;
    return 1;
  } catch (const std::exception& e) {
    std::cerr << e.what() << "\n";
    return 1;
  }
}
