// Defining, adding and deleting indexes, with every refusal and its
// message, and the engine messages themselves.
#include <gtest/gtest.h>

#include <functional>

#include "BTree.h"
#include "StoreError.h"
#include "TableCheck.h"
#include "TestSupport.h"

using namespace store;
using namespace store_test;

namespace {

std::string MessageOf(const std::function<void()>& body, std::uint16_t* code = nullptr) {
  try {
    body();
  } catch (const EStoreEngineError& e) {
    if (code) *code = e.Code();
    return e.what();
  }
  return "";
}

class IndexDefinition : public ::testing::Test {
 protected:
  void SetUp() override {
    Fields = {Field("a", ftcInteger), Field("b", ftcString, 0, 250), Field("c", ftcString, 0, 250),
              Field("d", ftcString, 0, 250)};
    TDataFile::LayoutFields(Fields, "t");
    File.NewHeader();
  }
  std::vector<TFieldDesc> Fields;
  TIndexFile File{"t"};
};

TEST_F(IndexDefinition, PrimaryAndSecondaryRefusals) {
  std::uint16_t code = 0;
  TIndexDefinition tooMany = IndexOn("", std::vector<std::uint16_t>(17, 1));
  MessageOf([&] { File.DefinePrimaryIndex(tooMany, Fields); }, &code);
  EXPECT_EQ(code, STORE_INDEXLIMIT);
  File.DefinePrimaryIndex(IndexOn("", {1}), Fields);
  EXPECT_TRUE(File.Header().Desc(0).Unique());
  EXPECT_FALSE(File.Header().NoPrimaryFields());
  EXPECT_EQ(MessageOf([&] { File.DefinePrimaryIndex(IndexOn("", {1}), Fields); }),
            "Table Store Engine Error # 9993 The primary index is already defined for the table 't'");
  EXPECT_EQ(MessageOf([&] { File.AddSecondaryIndex(IndexOn("  ", {1}), Fields); }),
            "Table Store Engine Error # 10010 A name is required for the secondary index in the table 't'");
  EXPECT_EQ(MessageOf([&] { File.AddSecondaryIndex(IndexOn("9lives", {1}), Fields); }),
            "Table Store Engine Error # 10022 Invalid secondary index name '9lives' specified for the table 't'");
  File.AddSecondaryIndex(IndexOn("aika", {1}), Fields);
  EXPECT_EQ(MessageOf([&] { File.AddSecondaryIndex(IndexOn(" AIKA ", {2}), Fields); }),
            "Table Store Engine Error # 10027 The index 'AIKA' already exists in the table 't'");
  MessageOf([&] { File.AddSecondaryIndex(IndexOn("wide", {2, 3, 4}), Fields); }, &code);
  EXPECT_EQ(code, STORE_INDEXLIMIT);  // 3 × 252 + 4 bytes of key
  MessageOf([&] { File.AddSecondaryIndex(IndexOn("none", {}), Fields); }, &code);
  EXPECT_EQ(code, STORE_INDEXLIMIT);
  MessageOf([&] { File.AddSecondaryIndex(IndexOn("far", {9}), Fields); }, &code);
  EXPECT_EQ(code, STORE_OUTOFRANGE);
  for (int i = 2; i <= 30; ++i) File.AddSecondaryIndex(IndexOn("i" + std::to_string(i), {1}), Fields);
  MessageOf([&] { File.AddSecondaryIndex(IndexOn("more", {1}), Fields); }, &code);
  EXPECT_EQ(code, STORE_INDEXLIMIT);
  EXPECT_EQ(File.FindIndex("I30"), 30);
  EXPECT_EQ(File.FindIndex("primary"), 0);
  EXPECT_EQ(File.FindIndex("nothing"), -1);
}

TEST(IndexLifecycle, DeletingAnIndexKeepsItsPagesAndEmptyingResetsTheTrees) {
  TScratchDir dir;
  TTableDefinition def;
  def.Fields = {Field("n", ftcInteger), Field("s", ftcString, 0, 20)};
  TDataFile::LayoutFields(def.Fields, "t");
  def.Primary.Fields = {1};
  def.Secondaries = {IndexOn("byname", {2}, false, 2), IndexOn("bynumber", {1})};
  TTableFiles table;
  table.Create(dir.Path(), "t", def);
  TRecordWriter writer(table);
  for (int i = 0; i < 400; ++i) {
    auto b = writer.NewBuffer();
    writer.SetInt(b, "n", i);
    writer.SetText(b, "s", "name" + std::to_string(i * 7 % 400));
    writer.Add(b);
  }
  const std::int32_t pages = table.IndexFile().Header().NextPage();
  table.IndexFile().DeleteSecondaryIndex(1, table.DataFile().Fields());
  table.Commit();
  EXPECT_EQ(table.IndexFile().Header().SecondaryCount(), 1);
  EXPECT_EQ(table.IndexFile().FindIndex("bynumber"), 1);
  EXPECT_EQ(table.IndexFile().Header().NextPage(), pages);
  EXPECT_NE(table.IndexFile().Header().Desc(SysDeletedIndex).FreeHead(), 0);
  std::vector<std::string> problems = CheckTable(table);
  EXPECT_TRUE(problems.empty()) << problems.front();
  EXPECT_EQ(writer.Visit(1).size(), 400u);
  // Freed pages are taken again before the file grows.
  auto b = writer.NewBuffer();
  writer.SetInt(b, "n", 1000);
  writer.Add(b);
  EXPECT_EQ(table.IndexFile().Header().NextPage(), pages);
  EXPECT_TRUE(CheckTable(table).empty());

  // Uniqueness is tested before a change: the key of a unique index.
  std::vector<std::uint8_t> image = writer.Read(1);
  std::uint16_t code = 0;
  EXPECT_EQ(MessageOf([&] { TIndexTree(table.IndexFile(), 0).RequireAbsent(table.IndexFile().KeyDef(0).BuildKey(image)); },
                      &code),
            "Table Store Engine Error # 9729 Duplicate key found in the index 'Primary' of the table '" + dir.Path() +
                "/t.DAT'");
  PutI32(image, 10, 5000);
  EXPECT_NO_THROW(TIndexTree(table.IndexFile(), 0).RequireAbsent(table.IndexFile().KeyDef(0).BuildKey(image)));

  // Emptied, the index keeps its old pages in the file (a rebuild writes
  // over them) until its caller cuts them.
  const std::size_t length = ReadFileBytes(dir.File("t.IDX")).size();
  table.IndexFile().Empty();
  table.Commit();
  EXPECT_EQ(ReadFileBytes(dir.File("t.IDX")).size(), length);
  table.IndexFile().Truncate(PageSize);
  EXPECT_EQ(ReadFileBytes(dir.File("t.IDX")).size(), 4096u);
  EXPECT_EQ(table.IndexFile().Header().NextPage(), 1);
  EXPECT_EQ(table.IndexFile().Header().Desc(1).Root(), 0);
  EXPECT_EQ(table.IndexFile().Header().ActiveRecords(), 0);
}

TStoreErrorContext GameTableContext() {
  TStoreErrorContext context;
  context.Table = "/data/enkat.DAT";
  context.Index = "aika";
  context.Field = "nimi";
  context.OsError = 5;
  return context;
}

TEST(StoreErrors, MessagesNameWhatFailed) {
  const TStoreErrorContext context = GameTableContext();
  EXPECT_EQ(StoreErrorMessage(STORE_KEYVIOL, context),
            "Duplicate key found in the index 'aika' of the table '/data/enkat.DAT'");
  EXPECT_EQ(StoreErrorMessage(STORE_REQDERR, context),
            "A value must be provided for the field 'nimi' in the table '/data/enkat.DAT'");
  EXPECT_EQ(StoreErrorMessage(STORE_OSUNKNOWN, context),
            "An unknown operating system error 5 occurred with the table '/data/enkat.DAT'");
  EXPECT_EQ(StoreErrorMessage(STORE_SEARCHCOLREQD, context),
            "The field 'nimi' cannot be used in the index 'aika' of the table '/data/enkat.DAT'");
  EXPECT_EQ(StoreErrorMessage(12345, context), "An unknown error occurred");
  EXPECT_EQ(std::string(EStoreEngineError(STORE_LOCKTIMEOUT, context).what()),
            "Table Store Engine Error # 10249 General lock failure with the table '/data/enkat.DAT'");
}

// Every code the game's path and the engine raise, with its text and the
// places filled from the context.
TEST(StoreErrors, EveryCodeOfTheTableHasItsMessage) {
  const TStoreErrorContext context = GameTableContext();
  const std::pair<std::uint16_t, const char*> table[] = {
      {STORE_BOF, "Beginning of table '/data/enkat.DAT' unexpectedly encountered"},
      {STORE_EOF, "End of table '/data/enkat.DAT' unexpectedly encountered"},
      {STORE_KEYORRECDELETED, "Record has been changed or deleted by another user, session, or table cursor in the table '/data/enkat.DAT'"},
      {STORE_NOCURRREC, "No current record in the table '/data/enkat.DAT'"},
      {STORE_RECNOTFOUND, "Record not found in the table '/data/enkat.DAT'"},
      {STORE_HEADERCORRUPT, "Header information corrupt in the table '/data/enkat.DAT'"},
      {STORE_FILECORRUPT, "Data record buffers corrupt in the table '/data/enkat.DAT'"},
      {STORE_INDEXCORRUPT, "Index page buffers corrupt in the table '/data/enkat.DAT'"},
      {STORE_READERR, "Error reading from the table '/data/enkat.DAT'"},
      {STORE_WRITEERR, "Error writing to the table '/data/enkat.DAT'"},
      {STORE_RECTOOBIG, "Maximum record size exceeded in the table '/data/enkat.DAT'"},
      {STORE_TABLEFULL, "The table '/data/enkat.DAT' is full and cannot contain any more data"},
      {STORE_INDEXLIMIT, "Maximum or minimum limits on number of indexes or fields in an index exceeded in the table '/data/enkat.DAT'"},
      {STORE_FLDLIMIT, "Maximum or minimum limits on number of fields, auto-increment field value, or field size exceeded in the table '/data/enkat.DAT'"},
      {STORE_KEYVIOL, "Duplicate key found in the index 'aika' of the table '/data/enkat.DAT'"},
      {STORE_MINVALERR, "The value for the field 'nimi' in the table '/data/enkat.DAT' is below the minimum allowable value"},
      {STORE_MAXVALERR, "The value for the field 'nimi' in the table '/data/enkat.DAT' is above the maximum allowable value"},
      {STORE_REQDERR, "A value must be provided for the field 'nimi' in the table '/data/enkat.DAT'"},
      {STORE_OUTOFRANGE, "Invalid field number or name 'nimi' specified for the table '/data/enkat.DAT'"},
      {STORE_INVALIDINDEXNAME, "Invalid secondary index name 'aika' specified for the table '/data/enkat.DAT'"},
      {STORE_TABLEOPEN, "The table '/data/enkat.DAT' is already in use"},
      {STORE_LOCKED, "The table '/data/enkat.DAT' is already locked by another user"},
      {STORE_UNLOCKFAILED, "Cannot unlock table or record in the table '/data/enkat.DAT'"},
      {STORE_LOCKTIMEOUT, "General lock failure with the table '/data/enkat.DAT'"},
      {STORE_NEEDEXCLACCESS, "The table '/data/enkat.DAT' must be opened exclusively"},
      {STORE_RECLOCKFAILED, "Record in the table '/data/enkat.DAT' is in use by another user"},
      {STORE_NOTSUFFTABLERIGHTS, "Insufficient rights to the table '/data/enkat.DAT', a password is required"},
      {STORE_NOTINITIALIZED, "The database engine is not initialized"},
      {STORE_OSENOENT, "Table '/data/enkat.DAT' does not exist"},
      {STORE_OSEMFILE, "Too many operating system files open while attempting to open the table '/data/enkat.DAT'"},
      {STORE_OSEACCES, "Access denied to table '/data/enkat.DAT'"},
      {STORE_OSEBADF, "Invalid operating system file handle for the table '/data/enkat.DAT'"},
      {STORE_OSENOMEM, "There is insufficient operating system memory available for the current operation"},
      {STORE_OSENODEV, "Access denied to logical operating system device for the table '/data/enkat.DAT'"},
      {STORE_OSENOTSAM, "The table '/data/enkat.DAT' has been moved"},
      {STORE_OSUNKNOWN, "An unknown operating system error 5 occurred with the table '/data/enkat.DAT'"},
      {STORE_OLDVERSION, "The table '/data/enkat.DAT' is not the correct version"},
      {STORE_CANNOTLOADLDDRV, "The language driver for the table '/data/enkat.DAT' is not available or installed"},
  };
  for (const auto& [code, text] : table) EXPECT_EQ(StoreErrorMessage(code, context), text) << code;
}

}  // namespace
