// sauno-table as a user runs it: create, info and verify on real files.
#include <gtest/gtest.h>

#include <sys/wait.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "TestSupport.h"

using namespace store_test;

namespace {

struct TRun {
  int Status;
  std::string Out;
  std::string Err;
};

TRun RunTool(const TScratchDir& dir, const std::string& args) {
  const std::string err = dir.File("stderr.txt");
  const std::string line = std::string(SAUNO_TABLE_TOOL) + " " + args + " 2>" + err;
  TRun run{-1, {}, {}};
  if (FILE* pipe = ::popen(line.c_str(), "r")) {
    char buffer[4096];
    std::size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) run.Out.append(buffer, n);
    int status = ::pclose(pipe);
    run.Status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }
  auto bytes = ReadFileBytes(err);
  run.Err.assign(bytes.begin(), bytes.end());
  return run;
}

TEST(SaunoTable, CreateInfoAndVerify) {
  TScratchDir dir;
  const std::string d = dir.Path();
  TRun created = RunTool(dir, "create " + d + " enkat nimi:string:30 aika:integer id:autoinc --primary id "
                                 "--index aika=aika-,nimi:nocase:compress=3 --index Nimi2=nimi:unique");
  ASSERT_EQ(created.Status, 0) << created.Err;
  EXPECT_EQ(ReadFileBytes(dir.File("enkat.DAT")).size(), 127u + 3 * 768);
  EXPECT_EQ(ReadFileBytes(dir.File("enkat.IDX")).size(), 4096u);

  TRun info = RunTool(dir, "info " + d + " enkat");
  ASSERT_EQ(info.Status, 0) << info.Err;
  for (const char* line : {"data.version: 5\n", "data.next_record: 1\n", "data.record_size: 46\n",
                           "data.engine_version: 32700\n", "field.3.type: autoinc\n", "field.3.offset: 5\n",
                           "index.0.fields: id\n", "index.0.unique: 1\n", "index.1.name: aika\n",
                           "index.1.fields: aika-,nimi\n", "index.1.case_insensitive: 1\n", "index.1.compression: 3\n",
                           "index.1.key_length: 41\n", "index.2.unique: 1\n", "index.2.key_length: 32\n",
                           "index.31.name: Sys Deleted\n", "index.32.key_length: 68\n", "index.no_primary_fields: 0\n"})
    EXPECT_NE(info.Out.find(line), std::string::npos) << line;

  TRun verified = RunTool(dir, "verify " + d + " ENKAT");
  EXPECT_EQ(verified.Status, 0) << verified.Err;
  EXPECT_EQ(verified.Out, "ok\n");
}

TEST(SaunoTable, DamageAndMistakesAreReported) {
  TScratchDir dir;
  const std::string d = dir.Path();
  ASSERT_EQ(RunTool(dir, "create " + d + " t a:integer").Status, 0);
  auto data = ReadFileBytes(dir.File("t.DAT"));
  data.push_back(1);
  WriteFileBytes(dir.File("t.DAT"), data);
  TRun verified = RunTool(dir, "verify " + d + " t");
  EXPECT_EQ(verified.Status, 1);
  EXPECT_NE(verified.Err.find("Table Store Engine Error # 8961 Header information corrupt in the table '"),
            std::string::npos)
      << verified.Err;

  auto index = ReadFileBytes(dir.File("t.IDX"));
  data.pop_back();
  WriteFileBytes(dir.File("t.DAT"), data);
  index.resize(8192, 0);  // a page the header does not know
  WriteFileBytes(dir.File("t.IDX"), index);
  verified = RunTool(dir, "verify " + d + " t");
  EXPECT_EQ(verified.Status, 1);
  EXPECT_NE(verified.Out.find("index file is 8192 bytes, expected 4096"), std::string::npos) << verified.Out;

  EXPECT_NE(RunTool(dir, "info " + d + "/none t").Err.find("Error # 11010 Table '"), std::string::npos);
  TRun bad = RunTool(dir, "create " + d + " u a:integer --index x=a --index X=a");
  EXPECT_EQ(bad.Status, 1);
  EXPECT_NE(bad.Err.find("Error # 10027 The index 'X' already exists in the table '"), std::string::npos) << bad.Err;
  EXPECT_NE(RunTool(dir, "create " + d + " u a:text").Err.find("unknown field type 'text'"), std::string::npos);
  EXPECT_NE(RunTool(dir, "create " + d + " u s:string").Err.find("needs a size"), std::string::npos);
  EXPECT_NE(RunTool(dir, "create " + d + " u a:integer --primary b").Err.find("no field named 'b'"),
            std::string::npos);
  EXPECT_EQ(RunTool(dir, "frobnicate").Status, 1);
}

}  // namespace
