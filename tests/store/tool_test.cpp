// sauno-table as a user runs it: create, info and verify on real files.
#include <gtest/gtest.h>

#include <sys/wait.h>

#include <sys/stat.h>

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>

#include "TestSupport.h"

using namespace store_test;

namespace {

struct TRun {
  int Status;
  std::string Out;
  std::string Err;
};

// Runs the tool with `input` as its standard input.
TRun RunTool(const TScratchDir& dir, const std::string& args, const std::string& input = "") {
  const std::string err = dir.File("stderr.txt");
  const std::string in = dir.File("stdin.txt");
  WriteFileBytes(in, std::vector<std::uint8_t>(input.begin(), input.end()));
  const std::string line = std::string(SAUNO_TABLE_TOOL) + " " + args + " <" + in + " 2>" + err;
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

// The number after "NAME: " in the output of info.
long long InfoValue(const TScratchDir& dir, const std::string& table, const std::string& name) {
  const TRun info = RunTool(dir, "info " + dir.Path() + " " + table);
  const std::size_t at = info.Out.find(name + ": ");
  if (info.Status != 0 || at == std::string::npos) return -1;
  return std::stoll(info.Out.substr(at + name.size() + 2));
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
  // Checked at open, as any open checks it.
  EXPECT_NE(verified.Err.find("Header information corrupt in the table '" + dir.File("t.IDX") + "'"), std::string::npos)
      << verified.Err;

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

TEST(SaunoTable, HelpGoesToStandardOutput) {
  TScratchDir dir;
  for (const char* word : {"--help", "-h", "help"}) {
    const TRun help = RunTool(dir, word);
    EXPECT_EQ(help.Status, 0) << word;
    EXPECT_EQ(help.Out.rfind("usage: sauno-table create DIR TABLE", 0), 0u) << word;
    EXPECT_NE(help.Out.find("update DIR TABLE NAME=VALUE FIELD=VALUE..."), std::string::npos) << word;
    EXPECT_NE(help.Out.find("--each"), std::string::npos) << word;
    EXPECT_EQ(help.Err, "") << word;
  }
}

TEST(SaunoTable, InsertEachCommitsEveryLineOnItsOwn) {
  TScratchDir dir;
  const std::string d = dir.Path();
  ASSERT_EQ(RunTool(dir, "create-scores " + d).Status, 0);
  const long long start = InfoValue(dir, "enkat", "data.change_counter");
  TRun each = RunTool(dir, "insert " + d + " enkat --each", "a\t10\nb\t20\r\nc\t30\n");
  ASSERT_EQ(each.Status, 0) << each.Err;
  EXPECT_EQ(each.Out, "3 inserted\n");
  EXPECT_EQ(InfoValue(dir, "enkat", "data.change_counter"), start + 3);
  // A batch of the same lines is one commit.
  ASSERT_EQ(RunTool(dir, "insert " + d + " enkat --stdin", "d\t40\ne\t50\n").Status, 0);
  EXPECT_EQ(InfoValue(dir, "enkat", "data.change_counter"), start + 4);

  each = RunTool(dir, "insert " + d + " enkat --each", "f\t60\ng\tseventy\nh\t80\n");
  EXPECT_EQ(each.Status, 1);
  EXPECT_NE(each.Err.find("stopped at line 2; the first 1 lines are stored"), std::string::npos) << each.Err;
  EXPECT_EQ(InfoValue(dir, "enkat", "index.active_records"), 6);
  EXPECT_NE(RunTool(dir, "info " + d + " enkat").Out.find("pending_commit: no\n"), std::string::npos);
}

TEST(SaunoTable, UpdateChangesTheFirstMatchingRecordAndItsIndexPlace) {
  TScratchDir dir;
  const std::string d = dir.Path();
  ASSERT_EQ(RunTool(dir, "create-scores " + d).Status, 0);
  ASSERT_EQ(RunTool(dir, "insert " + d + " enkat --each", "a\t10\nb\t20\na\t30\n").Status, 0);
  TRun updated = RunTool(dir, "update " + d + " enkat nimi=a aika=25 nimi=z");
  ASSERT_EQ(updated.Status, 0) << updated.Err;
  EXPECT_EQ(updated.Out, "1 updated\n");
  EXPECT_EQ(RunTool(dir, "list " + d + " enkat --index aika").Out, "a\t30\nz\t25\nb\t20\n");
  EXPECT_EQ(RunTool(dir, "list " + d + " enkat").Out, "z\t25\nb\t20\na\t30\n");

  TRun missing = RunTool(dir, "update " + d + " enkat nimi=q aika=1");
  EXPECT_EQ(missing.Status, 1);
  EXPECT_NE(missing.Err.find("no record with nimi=q"), std::string::npos) << missing.Err;
  EXPECT_EQ(RunTool(dir, "verify " + d + " enkat").Out, "ok\n");
}

TEST(SaunoTable, APendingCommitOnReadOnlyFilesIsReportedNotCalledDamage) {
  TScratchDir dir;
  const std::string d = dir.Path();
  ASSERT_EQ(RunTool(dir, "create-scores " + d).Status, 0);
  ASSERT_EQ(RunTool(dir, "insert " + d + " enkat --stdin", "a\t10\nb\t20\n").Status, 0);
  // The data file one commit ahead of its index, as a writer that stopped
  // between the two leaves it.
  auto data = ReadFileBytes(dir.File("enkat.DAT"));
  store::PutU32(data, 0, store::GetU32(data, 0) + 1);
  WriteFileBytes(dir.File("enkat.DAT"), data);
  for (const char* name : {"enkat.DAT", "enkat.IDX"}) ASSERT_EQ(::chmod(dir.File(name).c_str(), 0444), 0);

  const TRun verified = RunTool(dir, "verify " + d + " enkat");
  EXPECT_EQ(verified.Status, 1);
  EXPECT_EQ(verified.Out,
            "a commit of a writer that stopped is pending; it is completed by the next process that opens the table "
            "with write access\n");
  EXPECT_NE(RunTool(dir, "info " + d + " enkat").Out.find("\npending_commit: yes\n"), std::string::npos);
  EXPECT_EQ(ReadFileBytes(dir.File("enkat.DAT")), data);

  // With write access the engine completes it on opening.
  for (const char* name : {"enkat.DAT", "enkat.IDX"}) ASSERT_EQ(::chmod(dir.File(name).c_str(), 0644), 0);
  EXPECT_EQ(RunTool(dir, "verify " + d + " enkat").Out, "ok\n");
  EXPECT_NE(RunTool(dir, "info " + d + " enkat").Out.find("\npending_commit: no\n"), std::string::npos);
}

TEST(SaunoTable, TheGamesIndexIsBuiltAgainAndRepairBuildsEverythingFromTheRecords) {
  TScratchDir dir;
  const std::string d = dir.Path();
  ASSERT_EQ(RunTool(dir, "create-scores " + d).Status, 0);
  ASSERT_EQ(RunTool(dir, "insert " + d + " enkat --stdin", "a\t10\nb\t40\nc\t20\nd\t30\n").Status, 0);
  ASSERT_EQ(RunTool(dir, "delete " + d + " enkat nimi=c").Status, 0);
  const std::string byTime = "b\t40\nd\t30\na\t10\n";
  const std::string stored = RunTool(dir, "list " + d + " enkat").Out;

  // A lost index file is made anew without "aika"; create-scores builds it
  // from the records and leaves them as they are.
  std::filesystem::remove(dir.File("enkat.IDX"));
  EXPECT_NE(RunTool(dir, "list " + d + " enkat --index aika").Err.find("Invalid secondary index name 'aika'"),
            std::string::npos);
  TRun made = RunTool(dir, "create-scores " + d);
  EXPECT_EQ(made.Status, 0) << made.Err;
  EXPECT_EQ(made.Out, "enkat: the index aika was missing; built again from 3 records\n");
  EXPECT_EQ(RunTool(dir, "list " + d + " enkat --index aika").Out, byTime);
  EXPECT_EQ(RunTool(dir, "list " + d + " enkat").Out, stored);
  EXPECT_EQ(RunTool(dir, "verify " + d + " enkat").Out, "ok\n");
  EXPECT_EQ(RunTool(dir, "create-scores " + d).Out, "enkat exists; left as it is\n");

  // A zeroed index header is the index file's fault, and says so.
  auto index = ReadFileBytes(dir.File("enkat.IDX"));
  std::fill(index.begin(), index.begin() + 4096, 0);
  WriteFileBytes(dir.File("enkat.IDX"), index);
  EXPECT_NE(RunTool(dir, "verify " + d + " enkat").Err.find("The table '" + dir.File("enkat.IDX") +
                                                             "' is not the correct version"),
            std::string::npos);
  made = RunTool(dir, "create-scores " + d);
  EXPECT_NE(made.Out.find("put aside as " + dir.File("enkat.IDX") + ".damaged"), std::string::npos) << made.Out;
  EXPECT_NE(made.Out.find("built again from 3 records"), std::string::npos) << made.Out;
  EXPECT_EQ(RunTool(dir, "list " + d + " enkat --index aika").Out, byTime);

  // Damaged trees and a lost deleted chain: repair builds both again.
  index = ReadFileBytes(dir.File("enkat.IDX"));
  for (std::size_t i = 4096 + 13; i < index.size(); ++i) index[i] ^= 0x5a;
  WriteFileBytes(dir.File("enkat.IDX"), index);
  auto data = ReadFileBytes(dir.File("enkat.DAT"));
  store::PutI32(data, 9, 0);  // the head of the deleted chain
  WriteFileBytes(dir.File("enkat.DAT"), data);
  EXPECT_EQ(RunTool(dir, "verify " + d + " enkat").Status, 1);
  const TRun repaired = RunTool(dir, "repair " + d + " enkat");
  EXPECT_EQ(repaired.Status, 0) << repaired.Err;
  EXPECT_EQ(repaired.Out, "repaired: 3 records; the deleted chain and every index built again\n");
  EXPECT_EQ(RunTool(dir, "verify " + d + " enkat").Out, "ok\n");
  EXPECT_EQ(RunTool(dir, "list " + d + " enkat --index aika").Out, byTime);
  EXPECT_EQ(InfoValue(dir, "enkat", "data.first_deleted"), 3);

  // A lowered identifier counter is damage before it hands an identifier out
  // twice; repair takes it from the records.
  data = ReadFileBytes(dir.File("enkat.DAT"));
  store::PutI32(data, 17, 2);
  WriteFileBytes(dir.File("enkat.DAT"), data);
  const TRun lowered = RunTool(dir, "verify " + d + " enkat");
  EXPECT_EQ(lowered.Out, "the data header's last identifier 2 is below the identifier 4 a record holds\n");
  EXPECT_EQ(RunTool(dir, "repair " + d + " enkat").Status, 0);
  EXPECT_EQ(InfoValue(dir, "enkat", "data.last_autoinc"), 4);
  ASSERT_EQ(RunTool(dir, "insert " + d + " enkat nimi=e aika=50").Status, 0);
  EXPECT_EQ(RunTool(dir, "list " + d + " enkat --index aika").Out, "e\t50\n" + byTime);
}

TEST(SaunoTable, ExportAndImportCarryEveryFieldTypeBetweenTables) {
  TScratchDir dir;
  const std::string d = dir.Path();
  const std::string fields =
      " s:string:20 f:fixedchar:5 d:date t:time ts:timestamp b:boolean si:smallint i:integer w:word li:largeint "
      "fl:float c:currency a:autoinc by:bytes:4 vb:varbytes:6";
  ASSERT_EQ(RunTool(dir, "create " + d + " src" + fields).Status, 0);
  ASSERT_EQ(RunTool(dir, "create " + d + " dst" + fields).Status, 0);
  ASSERT_EQ(RunTool(dir, "insert " + d + " src 's=he said \"hi\", ok' f=ab d=2026-12-10 t=12:34:56.789 "
                         "'ts=2026-12-10 01:02:03.004' b=True si=-5 i=123456 w=65535 li=-9000000000 fl=3.25 "
                         "c=12.5 by=0a0b0c0d vb=01020304")
                .Status,
            0);
  ASSERT_EQ(RunTool(dir, "insert " + d + " src i=7").Status, 0);
  const TRun csv = RunTool(dir, "export " + d + " src --csv");
  EXPECT_EQ(csv.Out,
            "s,f,d,t,ts,b,si,i,w,li,fl,c,a,by,vb\n"
            "\"he said \"\"hi\"\", ok\",ab,2026-12-10,12:34:56.789,2026-12-10 01:02:03.004,True,-5,123456,65535,"
            "-9000000000,3.25,12.5,1,0a0b0c0d,010203040000\n"
            ",,,,,,,7,,,,,2,,\n");
  EXPECT_EQ(RunTool(dir, "export " + d + " src --json").Out,
            "[\n"
            "  {\"s\": \"he said \\\"hi\\\", ok\", \"f\": \"ab\", \"d\": \"2026-12-10\", \"t\": \"12:34:56.789\", "
            "\"ts\": \"2026-12-10 01:02:03.004\", \"b\": true, \"si\": -5, \"i\": 123456, \"w\": 65535, "
            "\"li\": -9000000000, \"fl\": 3.25, \"c\": 12.5, \"a\": 1, \"by\": \"0a0b0c0d\", \"vb\": \"010203040000\"},\n"
            "  {\"s\": null, \"f\": null, \"d\": null, \"t\": null, \"ts\": null, \"b\": null, \"si\": null, \"i\": 7, "
            "\"w\": null, \"li\": null, \"fl\": null, \"c\": null, \"a\": 2, \"by\": null, \"vb\": null}\n"
            "]\n");
  const std::string file = dir.File("src.csv");
  WriteFileBytes(file, std::vector<std::uint8_t>(csv.Out.begin(), csv.Out.end()));
  const TRun imported = RunTool(dir, "import " + d + " dst --csv " + file);
  EXPECT_EQ(imported.Out, "2 imported\n") << imported.Err;
  EXPECT_EQ(RunTool(dir, "export " + d + " dst").Out, csv.Out);
}

TEST(SaunoTable, ImportStopsAtABadLineWithTheRecordsBeforeItStored) {
  TScratchDir dir;
  const std::string d = dir.Path();
  ASSERT_EQ(RunTool(dir, "create-scores " + d).Status, 0);
  // Columns in another order, a quoted name over two lines (lines 2 and 3),
  // a blank line, CRLF endings; line 7 holds a time that is no number.
  TRun run = RunTool(dir, "import " + d + " enkat --csv -",
                     "aika,nimi\r\n40,\"Matti\nM.\"\r\n30,\"Liisa, L\"\r\n\r\n20,Pekka\r\nlong,Kalle\r\n10,Aino\r\n");
  EXPECT_EQ(run.Status, 1);
  EXPECT_NE(run.Err.find("stopped at line 7; the first 3 records are stored"), std::string::npos) << run.Err;
  EXPECT_EQ(RunTool(dir, "list " + d + " enkat --index aika").Out, "Matti\nM.\t40\nLiisa, L\t30\nPekka\t20\n");
  run = RunTool(dir, "import " + d + " enkat --csv -", "nimi,pisteet\nx,1\n");
  EXPECT_EQ(run.Status, 1);
  EXPECT_NE(run.Err.find("no field named 'pisteet'"), std::string::npos) << run.Err;
  // Bad input gets one line, its bytes shown escaped, and no usage text.
  run = RunTool(dir, "import " + d + " enkat --csv -", std::string("nimi,\x01\x1b[2J\xff\n", 12) + "x,1\n");
  EXPECT_EQ(run.Status, 1);
  EXPECT_EQ(run.Err, "sauno-table: the table has no field named '\\x01\\x1b[2J\\xff' (line 1 of the CSV)\n");
  run = RunTool(dir, "import " + d + " enkat --csv -", "nimi,aika\nx,1,2\n");
  EXPECT_NE(run.Err.find("line 2 has 3 values for 2 columns"), std::string::npos) << run.Err;
  EXPECT_EQ(RunTool(dir, "verify " + d + " enkat").Out, "ok\n");
  // The refused imports stored nothing.
  EXPECT_EQ(RunTool(dir, "list " + d + " enkat --index aika").Out, "Matti\nM.\t40\nLiisa, L\t30\nPekka\t20\n");
}

}  // namespace

// What a power cut without flushes, a kill or a full disk can leave, each
// mended by repair from what the data file holds: records whose slots are
// whole stay, nothing that was there before goes.
TEST(SaunoTable, RepairMendsEveryStateAnUnfinishedCommitLeaves) {
  TScratchDir dir;
  const std::string d = dir.Path();
  ASSERT_EQ(RunTool(dir, "create-scores " + d).Status, 0);
  ASSERT_EQ(RunTool(dir, "insert " + d + " enkat --each", "a\t10\nb\t40\nc\t20\n").Status, 0);
  const auto data3 = ReadFileBytes(dir.File("enkat.DAT")), index3 = ReadFileBytes(dir.File("enkat.IDX"));
  ASSERT_EQ(RunTool(dir, "insert " + d + " enkat nimi=d aika=30").Status, 0);
  const auto data4 = ReadFileBytes(dir.File("enkat.DAT")), index4 = ReadFileBytes(dir.File("enkat.IDX"));
  const std::string three = "b\t40\nc\t20\na\t10\n", four = "b\t40\nd\t30\nc\t20\na\t10\n";
  auto lay = [&](std::vector<std::uint8_t> data, std::vector<std::uint8_t> index) {
    WriteFileBytes(dir.File("enkat.DAT"), data);
    WriteFileBytes(dir.File("enkat.IDX"), index);
  };
  auto mended = [&](const std::string& state, const std::string& records) {
    const TRun run = RunTool(dir, "repair " + d + " enkat");
    EXPECT_EQ(run.Status, 0) << state << ": " << run.Out << run.Err;
    EXPECT_EQ(RunTool(dir, "verify " + d + " enkat").Out, "ok\n") << state;
    EXPECT_EQ(RunTool(dir, "list " + d + " enkat --index aika").Out, records) << state;
  };

  // Both headers of the fourth insert reached the disk, its slot did not:
  // every command refused this table until repair took the slots from the
  // file. The game's own table is mended by create-scores too.
  auto shortData = data4;
  shortData.resize(shortData.size() - 56);
  lay(shortData, index4);
  EXPECT_NE(RunTool(dir, "list " + d + " enkat").Err.find("Header information corrupt"), std::string::npos);
  mended("both headers without the slot", three);
  lay(shortData, index4);
  const TRun scores = RunTool(dir, "create-scores " + d);
  EXPECT_EQ(scores.Status, 0) << scores.Err;
  EXPECT_NE(scores.Out.find("mended"), std::string::npos) << scores.Out;
  EXPECT_EQ(RunTool(dir, "list " + d + " enkat --index aika").Out, three);

  // The slot reached the disk whole and neither header did: repair keeps
  // the record (an open would cut it as an append in flight).
  auto slotOnly = data3;
  slotOnly.insert(slotOnly.end(), data4.begin() + static_cast<std::ptrdiff_t>(data3.size()), data4.end());
  lay(slotOnly, index3);
  mended("the slot without its headers", four);

  // A dead writer's mark over a short file (the data header went out, the
  // slot did not): repair opens it where the length check refused it.
  auto markShort = data4;
  markShort.resize(data3.size() + 20);
  lay(markShort, index3);
  mended("the mark and a piece of the slot", three);

  // A stray tail, and a file lengthened by a slot of zeros.
  auto stray = data4;
  stray.push_back(7);
  lay(stray, index4);
  mended("a stray byte", four);
  auto zeros = data4;
  zeros.resize(zeros.size() + 56, 0);
  lay(zeros, index4);
  mended("a slot of zeros", four);

  // Under equal counters: an index header half new, and a stale index page.
  auto halfHeader = index4;
  std::copy(index3.begin() + 2048, index3.begin() + 4096, halfHeader.begin() + 2048);
  lay(data4, halfHeader);
  EXPECT_EQ(RunTool(dir, "verify " + d + " enkat").Status, 1);
  mended("an index header half new", four);
  auto stalePage = index4;
  std::copy(index3.begin() + 4096, index3.begin() + 8192, stalePage.begin() + 4096);
  lay(data4, stalePage);
  EXPECT_EQ(RunTool(dir, "verify " + d + " enkat").Status, 1);
  mended("a stale index page", four);
}

// A full disk stops a repair before it writes anything: the table reads
// as before, and the repair goes through once there is room.
TEST(SaunoTable, ARepairOnAFullDiskLeavesTheTableReadable) {
  if (::geteuid() != 0) GTEST_SKIP() << "a small file system is mounted only as root";
  TScratchDir dir;
  const std::string small = dir.File("small");
  std::filesystem::create_directory(small);
  if (::system(("mount -t tmpfs -o size=512k tmpfs " + small).c_str()) != 0) GTEST_SKIP() << "cannot mount tmpfs";
  struct TUnmount {
    std::string Path;
    ~TUnmount() { (void)::system(("umount -l " + Path).c_str()); }
  } unmount{small};
  ASSERT_EQ(RunTool(dir, "create-scores " + small).Status, 0);
  std::string lines;
  // Times in no order: the index grown key by key is fuller than a rebuilt one.
  for (int i = 0; i < 1500; ++i) lines += "p" + std::to_string(i) + "\t" + std::to_string(i * 7919 % 10007) + "\n";
  ASSERT_EQ(RunTool(dir, "insert " + small + " enkat --stdin", lines).Status, 0);
  const std::string stored = RunTool(dir, "list " + small + " enkat --index aika").Out;
  const auto dataBefore = ReadFileBytes(small + "/enkat.DAT");
  const auto indexBefore = ReadFileBytes(small + "/enkat.IDX");
  // Every free block taken.
  (void)::system(("dd if=/dev/zero of=" + small + "/filler bs=4k 2>/dev/null").c_str());
  const TRun full = RunTool(dir, "repair " + small + " enkat");
  EXPECT_EQ(full.Status, 1);
  EXPECT_NE(full.Err.find("Error writing"), std::string::npos) << full.Err;
  EXPECT_EQ(ReadFileBytes(small + "/enkat.DAT"), dataBefore) << "nothing is written";
  EXPECT_EQ(ReadFileBytes(small + "/enkat.IDX"), indexBefore) << "nothing is written";
  EXPECT_EQ(RunTool(dir, "list " + small + " enkat --index aika").Out, stored);
  EXPECT_EQ(RunTool(dir, "verify " + small + " enkat").Out, "ok\n");
  std::filesystem::remove(small + "/filler");
  const TRun roomy = RunTool(dir, "repair " + small + " enkat");
  EXPECT_EQ(roomy.Status, 0) << roomy.Err;
  EXPECT_EQ(RunTool(dir, "list " + small + " enkat --index aika").Out, stored);
}

// The index file's length is held against its header at open, as verify
// holds it; and a unique index is never built over records whose keys
// clash: the rebuild stops before writing and names the records.
TEST(SaunoTable, OpeningChecksTheIndexLengthAndRebuildsKeepUniqueKeysUnique) {
  TScratchDir dir;
  const std::string d = dir.Path();
  ASSERT_EQ(RunTool(dir, "create " + d + " t nimi:string:20 aika:integer --primary nimi --index aika=aika").Status, 0);
  std::string lines;
  for (int i = 0; i < 400; ++i) lines += "n" + std::to_string(i) + "\t" + std::to_string(i) + "\n";
  ASSERT_EQ(RunTool(dir, "insert " + d + " t --stdin", lines).Status, 0);
  auto index = ReadFileBytes(dir.File("t.IDX"));
  ASSERT_GT(index.size(), 3u * 4096);
  auto cut = index;
  cut.resize(cut.size() - 4096);
  WriteFileBytes(dir.File("t.IDX"), cut);
  const TRun opened = RunTool(dir, "list " + d + " t");
  EXPECT_EQ(opened.Status, 1);
  EXPECT_NE(opened.Err.find("Header information corrupt"), std::string::npos) << opened.Err;
  EXPECT_NE(opened.Err.find(dir.File("t.IDX")), std::string::npos) << opened.Err;
  EXPECT_EQ(RunTool(dir, "repair " + d + " t").Status, 0);
  EXPECT_EQ(RunTool(dir, "verify " + d + " t").Out, "ok\n");

  // Record 2's name made equal to record 1's behind the table's back.
  auto data = ReadFileBytes(dir.File("t.DAT"));
  const std::size_t slots = 127 + 2 * 768, recordSize = 9 + 22 + 5;
  std::copy_n(data.begin() + static_cast<std::ptrdiff_t>(slots + 9), 22,
              data.begin() + static_cast<std::ptrdiff_t>(slots + recordSize + 9));
  WriteFileBytes(dir.File("t.DAT"), data);
  index = ReadFileBytes(dir.File("t.IDX"));
  const TRun clash = RunTool(dir, "repair " + d + " t");
  EXPECT_EQ(clash.Status, 1);
  EXPECT_NE(clash.Err.find("Duplicate key found in the index 'Primary'"), std::string::npos) << clash.Err;
  EXPECT_NE(clash.Err.find("the records 1 and 2 share a key of the unique index 'Primary'"), std::string::npos)
      << clash.Err;
  EXPECT_EQ(ReadFileBytes(dir.File("t.DAT")), data) << "nothing is written";
  EXPECT_EQ(ReadFileBytes(dir.File("t.IDX")), index) << "nothing is written";
  // Changed as the message says, the table is repaired.
  data[slots + recordSize + 9 + 2] = 'x';
  WriteFileBytes(dir.File("t.DAT"), data);
  EXPECT_EQ(RunTool(dir, "repair " + d + " t").Status, 0);
  EXPECT_EQ(RunTool(dir, "verify " + d + " t").Out, "ok\n");
}
