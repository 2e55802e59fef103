#include "ComponentSupport.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <sstream>
#include <stdexcept>

namespace store_test {
namespace {

int StatusOf(int status) {
  if (WIFEXITED(status)) return WEXITSTATUS(status);
  if (WIFSIGNALED(status)) return 128 + WTERMSIG(status);
  return -1;
}

}  // namespace

TToolRun RunCommand(const std::string& line) {
  TToolRun run;
  if (FILE* pipe = ::popen(line.c_str(), "r")) {
    char buffer[4096];
    std::size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) run.Out.append(buffer, n);
    run.Status = StatusOf(::pclose(pipe));
  }
  return run;
}

TToolRun RunTool(const std::string& args, const std::string& environment) {
  return RunCommand(environment + " " + SAUNO_TABLE_TOOL + " " + args + " 2>&1");
}

void MakeScores(const std::string& dir) {
  TToolRun run = RunTool("create-scores " + dir);
  if (run.Status != 0) throw std::runtime_error("create-scores failed: " + run.Out);
}

TChild::TChild(const std::vector<std::string>& argv, const std::string& input) {
  int out[2], in[2];
  if (::pipe(out) != 0 || ::pipe(in) != 0) throw std::runtime_error("pipe");
  Pid = ::fork();
  if (Pid == 0) {
    ::dup2(out[1], 1);
    ::dup2(in[0], 0);
    ::close(out[0]);
    ::close(in[1]);
    std::vector<char*> args;
    for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    ::execv(args[0], args.data());
    ::_exit(127);
  }
  ::close(out[1]);
  ::close(in[0]);
  OutFd = out[0];
  std::size_t done = 0;
  while (done < input.size()) {
    ssize_t n = ::write(in[1], input.data() + done, input.size() - done);
    if (n <= 0) break;
    done += static_cast<std::size_t>(n);
  }
  ::close(in[1]);
}

TChild::~TChild() {
  if (Pid > 0 && Status < 0) {
    ::kill(Pid, SIGKILL);
    Wait();
  }
  if (OutFd >= 0) ::close(OutFd);
}

std::string TChild::ReadLine() {
  std::string line;
  char c;
  while (::read(OutFd, &c, 1) == 1 && c != '\n') line += c;
  return line;
}

bool TChild::Running() {
  if (Status >= 0) return false;
  int status = 0;
  if (::waitpid(Pid, &status, WNOHANG) == Pid) {
    Status = StatusOf(status);
    return false;
  }
  return true;
}

int TChild::Wait() {
  if (Status >= 0) return Status;
  int status = 0;
  ::waitpid(Pid, &status, 0);
  Status = StatusOf(status);
  return Status;
}

std::vector<std::string> ProbeArgs(const std::string& command, const std::string& dir, const std::string& what,
                                   int milliseconds) {
  return {STORE_LOCK_PROBE, command, dir, "enkat", what, std::to_string(milliseconds)};
}

std::string Lines(const std::string& name, int from, int count) {
  std::string text;
  for (int i = from; i < from + count; ++i) text += name + "\t" + std::to_string(i) + "\n";
  return text;
}

std::vector<std::unique_ptr<TChild>> StartWriters(const std::string& dir, int writers, int each,
                                                  const std::string& mode) {
  std::vector<std::unique_ptr<TChild>> children;
  for (int w = 0; w < writers; ++w)
    children.push_back(std::make_unique<TChild>(std::vector<std::string>{SAUNO_TABLE_TOOL, "insert", dir, "enkat", mode},
                                                Lines("w" + std::to_string(w), 0, each)));
  return children;
}

std::unique_ptr<sauno::TStoreTable> OpenScores(const std::string& dir, const std::string& index,
                                               const std::string& session) {
  auto table = std::make_unique<sauno::TStoreTable>(nullptr);
  table->DatabaseName = dir;
  table->SessionName = session;
  table->TableName = "enkat";
  table->IndexName = index;
  table->Open();
  return table;
}

std::vector<std::string> ListLines(const std::string& dir, const std::string& index) {
  TToolRun run = RunTool("list " + dir + " enkat" + (index.empty() ? "" : " --index " + index));
  std::vector<std::string> lines;
  std::istringstream in(run.Out);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

}  // namespace store_test
