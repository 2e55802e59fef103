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

TEST(IndexLifecycle, DeletingAnIndexKeepsItsPagesAndEmptyingResetsTheFile) {
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

  table.IndexFile().Empty();
  table.Commit();
  EXPECT_EQ(ReadFileBytes(dir.File("t.IDX")).size(), 4096u);
  EXPECT_EQ(table.IndexFile().Header().NextPage(), 1);
  EXPECT_EQ(table.IndexFile().Header().Desc(1).Root(), 0);
  EXPECT_EQ(table.IndexFile().Header().ActiveRecords(), 0);
}

TEST(StoreErrors, MessagesNameWhatFailed) {
  TStoreErrorContext context;
  context.Table = "/data/enkat.DAT";
  context.Index = "aika";
  context.Field = "nimi";
  context.OsError = 5;
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

}  // namespace
