// The commands of sauno-table (records go through the table component): each takes its arguments after the command
// word, writes its report to `out`, and raises EStoreEngineError,
// std::invalid_argument for a wrong command line (the usage text follows
// its message) or TInputError for bad input. Returns the exit status.
#pragma once

#include <ostream>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace sauno_table {

// Input that cannot be taken (a CSV file, a line of records): one line of
// message, no usage text.
class TInputError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Input bytes as a terminal can show them: printable ASCII as it is, the
// rest as \xNN.
std::string Escaped(std::string_view bytes);

int CreateCommand(const std::vector<std::string>& args, std::ostream& out);
int InfoCommand(const std::vector<std::string>& args, std::ostream& out);
int VerifyCommand(const std::vector<std::string>& args, std::ostream& out);
int InsertCommand(const std::vector<std::string>& args, std::ostream& out);
int ListCommand(const std::vector<std::string>& args, std::ostream& out);
int DeleteCommand(const std::vector<std::string>& args, std::ostream& out);
// Changes the first record, in record order, whose field reads as the value;
// exit status 1, reported on standard error, when there is none.
int UpdateCommand(const std::vector<std::string>& args, std::ostream& out);
// Makes the game's high-score table `enkat` unless it exists; stored scores
// are never touched. An existing table whose index file lost the index
// "aika" (a missing or damaged index file is made anew without it) gets it
// back, built from the records; needs the table to itself.
int CreateScoresCommand(const std::vector<std::string>& args, std::ostream& out);
// Mends what a power cut, a kill or a full disk left (the slots taken from
// the data file), then builds the deleted chain and every index its index
// file describes again from the records (a damaged index header: see
// CreateScoresCommand); needs the table to itself. Exit 1 when the check
// after it finds damage.
int RepairCommand(const std::vector<std::string>& args, std::ostream& out);
// Every record, in record order, as CSV (a header line of the field names)
// or as a JSON array of objects (numbers, true/false and null as such).
int ExportCommand(const std::vector<std::string>& args, std::ostream& out);
// CSV as export writes it (columns matched to fields by the header's names,
// in any order; read-only fields skipped), in batches of up to 4,096 records
// under one write lock. A bad line stops it with the records before it
// stored, and it says which line.
int ImportCommand(const std::vector<std::string>& args, std::ostream& out);

}  // namespace sauno_table
