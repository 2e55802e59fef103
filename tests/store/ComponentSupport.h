// Helpers of the component and process tests: the game's table made by the
// real tool, child processes of the tool and the lock probe, and a table
// component opened on a directory.
#pragma once

#include <sys/types.h>

#include <memory>
#include <string>
#include <vector>

#include "StoreTable.h"
#include "TestSupport.h"

namespace store_test {

struct TToolRun {
  int Status = -1;  // exit status, or 128 + signal
  std::string Out;
};

// Runs a shell command line and collects its standard output.
TToolRun RunCommand(const std::string& line);
TToolRun RunTool(const std::string& args, const std::string& environment = "");
void MakeScores(const std::string& dir);

// A child process whose standard output can be waited for line by line.
class TChild {
 public:
  explicit TChild(const std::vector<std::string>& argv, const std::string& input = "");
  ~TChild();
  std::string ReadLine();
  bool Running();
  int Wait();  // exit status, or 128 + signal

 private:
  pid_t Pid = -1;
  int OutFd = -1;
  int Status = -1;
};

// Lines "NAME\tI" for I = from ... from + count - 1, as insert --stdin reads them.
std::string Lines(const std::string& name, int from, int count);
// `writers` processes of `sauno-table insert DIR enkat MODE` (--stdin or
// --each), writer w inserting Lines("w<w>", 0, each).
std::vector<std::unique_ptr<TChild>> StartWriters(const std::string& dir, int writers, int each,
                                                  const std::string& mode);

std::vector<std::string> ProbeArgs(const std::string& command, const std::string& dir, const std::string& what,
                                   int milliseconds);

std::unique_ptr<sauno::TStoreTable> OpenScores(const std::string& dir, const std::string& index = "aika",
                                               const std::string& session = "Default");
std::vector<std::string> ListLines(const std::string& dir, const std::string& index = "aika");

}  // namespace store_test
