// The commands of sauno-table: each takes its arguments after the command
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

}  // namespace sauno_table
