// The commands of sauno-table (records go through the table component): each takes its arguments after the command
// word, writes its report to `out`, and raises EStoreEngineError or
// std::invalid_argument on failure. Returns the exit status.
#pragma once

#include <ostream>
#include <string>
#include <vector>

namespace sauno_table {

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
// Builds a table's deleted chain and every index its index file describes
// again from the records (a damaged index header: see CreateScoresCommand);
// needs the table to itself. Exit 1 when the check after it finds damage.
int RepairCommand(const std::vector<std::string>& args, std::ostream& out);

}  // namespace sauno_table
