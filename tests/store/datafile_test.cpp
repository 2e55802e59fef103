// Record slots, identifiers, the record cache and field values of the data
// file, and how a table's files are found and opened.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>

#include "FieldValues.h"
#include "StoreError.h"
#include "TableCheck.h"
#include "TestSupport.h"

using namespace store;
using namespace store_test;

namespace {

TTableDefinition Scores(bool withPrimary) {
  TTableDefinition def;
  def.Fields = {Field("nimi", ftcString, 0, 8), Field("aika", ftcInteger), Field("id", ftcInteger, SubtypeAutoInc),
                Field("ok", ftcBoolean)};
  TDataFile::LayoutFields(def.Fields, "t");
  if (withPrimary) def.Primary.Fields = {3};
  def.Secondaries = {IndexOn("aika", {2})};
  return def;
}

std::uint16_t ErrorOf(const std::function<void()>& body) {
  try {
    body();
  } catch (const EStoreEngineError& e) {
    return e.Code();
  }
  return 0;
}

void AddTimes(TTableFiles& table, int count) {
  TRecordWriter writer(table);
  for (int i = 1; i <= count; ++i) {
    auto b = writer.NewBuffer();
    writer.SetInt(b, "aika", i * 10);
    writer.Add(b);
  }
}

}  // namespace

TEST(DataFileSlots, DeletedSlotsAreReusedLastFirstOnlyWithPrimaryFields) {
  for (bool primary : {true, false}) {
    TScratchDir dir;
    TTableFiles table;
    table.Create(dir.Path(), "t", Scores(primary));
    AddTimes(table, 6);
    TRecordWriter writer(table);
    writer.Delete(3);
    writer.Delete(5);
    EXPECT_EQ(table.DataFile().HeaderCopy().FirstDeleted(), 5);
    const std::int32_t first = writer.Add(writer.NewBuffer());
    const std::int32_t second = writer.Add(writer.NewBuffer());
    if (primary) {
      EXPECT_EQ(first, 5);
      EXPECT_EQ(second, 3);
      EXPECT_EQ(table.DataFile().RecordCount(), 6);
    } else {
      EXPECT_EQ(first, 7);
      EXPECT_EQ(second, 8);
    }
    EXPECT_TRUE(CheckTable(table).empty()) << CheckTable(table).front();
    // Identifiers keep rising whatever slot a record takes.
    EXPECT_EQ(GetI32(writer.Read(first), 5), 7);
    EXPECT_EQ(GetI32(writer.Read(second), 5), 8);
  }
}

TEST(DataFileSlots, IdentifierAfterTheLargestIsOne) {
  TScratchDir dir;
  TTableFiles table;
  table.Create(dir.Path(), "t", Scores(true));
  table.DataFile().SetLastAutoInc(2147483646);
  EXPECT_EQ(table.DataFile().NextRecordIdentifier(), 2147483647);
  EXPECT_EQ(table.DataFile().NextRecordIdentifier(), 1);
  EXPECT_TRUE(table.DataFile().HeaderDirty());
}

TEST(DataFileCache, ReadAheadLeavesPinnedChangedRecordsAlone) {
  TScratchDir dir;
  TTableFiles table;
  table.Create(dir.Path(), "t", Scores(true));
  AddTimes(table, 20);
  table.Close();
  table.Open(dir.Path(), "t", TAccess::acReadWrite, false);
  TDataFile& data = table.DataFile();
  TRecord& pinned = data.GetRecord(5, false, TDirection::drForward);
  pinned.Buffer[20] = 0x77;  // a change not yet written
  data.MarkRecordDirty(pinned);
  TRecord& first = data.GetRecord(1, true, TDirection::drForward);  // reads 1 ... 20 in one go
  EXPECT_GE(data.CachedRecords(), 20u);
  EXPECT_EQ(pinned.Buffer[20], 0x77);
  TRecord& last = data.GetRecord(20, true, TDirection::drBackward);
  EXPECT_EQ(GetI32(last.Buffer, 20), 200);
  data.ReleaseRecord(last);
  data.ReleaseRecord(first);
  data.ReleaseRecord(pinned);
  EXPECT_EQ(ErrorOf([&] { data.GetRecord(21, false, TDirection::drForward); }), STORE_FILECORRUPT);
}

TEST(FieldValues, WritingFollowsTheFieldRules) {
  std::vector<TFieldDesc> fields = {Field("s", ftcString, 0, 5), Field("b", ftcBoolean), Field("a", ftcInteger, SubtypeAutoInc),
                                    Field("u", ftcString, 0, 5), Field("n", ftcInteger), Field("d", ftcDate),
                                    Field("x", ftcSmallint)};
  TDataFile::LayoutFields(fields, "t");
  fields[3].SetCaseOption(2);
  fields[4].SetDefaultValue("42");
  fields[5].SetDefaultValue("CURRENT_DATE");
  fields[6].SetDefaultValue("-7");
  EXPECT_EQ(fields[2].Offset(), 5);
  EXPECT_EQ(fields[3].Offset(), 9 + 7 + 3);
  std::vector<std::uint8_t> record(9 + 7 + 3 + 7 + 5 + 5 + 3);
  InitRecordBuffer(record, fields, "t");
  EXPECT_EQ(FieldAsText(record, fields[4], "t"), "42");
  EXPECT_EQ(FieldAsText(record, fields[6], "t"), "-7");
  EXPECT_FALSE(FieldAsText(record, fields[5], "t").empty());
  EXPECT_EQ(FieldAsText(record, fields[0], "t"), "");

  PutFieldString(record, fields[0], "   ", "t");
  EXPECT_EQ(record[9], 0);  // only blanks: NULL
  PutFieldString(record, fields[0], "kiuaskivi", "t");
  EXPECT_EQ(FieldAsText(record, fields[0], "t"), "kiuas");
  PutFieldString(record, fields[0], "ab  ", "t");
  EXPECT_EQ(std::vector<std::uint8_t>(record.begin() + 9, record.begin() + 16),
            (std::vector<std::uint8_t>{1, 'a', 'b', 0, 0, 0, 0}));
  PutFieldString(record, fields[3], "l\xF6yly", "t");
  EXPECT_EQ(FieldAsText(record, fields[3], "t"), "L\xD6YLY");
  const std::uint8_t seven[] = {7, 0};
  PutFieldNative(record, fields[1], seven, "t");
  EXPECT_EQ(FieldAsText(record, fields[1], "t"), "True");
  EXPECT_EQ(GetU16(record, fields[1].Offset() + 1u), 1);
  const std::uint8_t id[] = {0x39, 0x30, 0, 0};
  PutFieldNative(record, fields[2], id, "t");
  EXPECT_EQ(GetI32(record, 5), 12345);
  PutFieldNull(record, fields[2], "t");  // an autoinc field keeps its value
  EXPECT_EQ(GetI32(record, 5), 12345);
  EXPECT_FALSE(PutFieldText(record, fields[4], "12x", "t"));
  EXPECT_TRUE(PutFieldText(record, fields[5], "2024-02-29", "t"));
  EXPECT_EQ(FieldAsText(record, fields[5], "t"), "2024-02-29");
  EXPECT_EQ(GetI32(record, fields[5].Offset() + 1u), DayNumber(2024, 2, 29));
  EXPECT_EQ(DayNumber(1, 1, 1), 1);
  EXPECT_FALSE(TextValidForField(fields[5], "2023-02-29", false));
  EXPECT_FALSE(TextValidForField(fields[5], "CURRENT_DATE", false));
}

TEST(TableFilesNames, FilesAreMadeExactlyAndFoundWithoutRegardToCase) {
  TScratchDir dir;
  EXPECT_EQ(TableFilePath(dir.Path(), "enkat.dat", DataExtension), dir.Path() + "/enkat.DAT");
  { TTableFiles().Create(dir.Path(), "Enkat", Scores(true)); }
  EXPECT_TRUE(std::filesystem::exists(dir.File("Enkat.DAT")));
  EXPECT_TRUE(std::filesystem::exists(dir.File("Enkat.IDX")));
  std::filesystem::rename(dir.File("Enkat.DAT"), dir.File("ENKAT.dat"));
  TTableFiles table;
  EXPECT_NO_THROW(table.Open(dir.Path(), "enkat", TAccess::acReadWrite, false));
  table.Close();
  try {
    table.Open(dir.Path() + "/missing", "enkat", TAccess::acReadWrite, false);
    FAIL();
  } catch (const EStoreEngineError& e) {
    EXPECT_EQ(e.Code(), STORE_OSENOENT);
    EXPECT_NE(std::string(e.what()).find("Table '" + dir.Path() + "/missing/enkat.DAT' does not exist"),
              std::string::npos);
  }
}

TEST(TableFilesOpen, UnwritableFilesOpenReadOnlyAndAMissingIndexIsRebuilt) {
  TScratchDir dir;
  {
    TTableFiles table;
    table.Create(dir.Path(), "t", Scores(true));
    AddTimes(table, 5);
    TRecordWriter(table).Delete(2);
  }
  ::chmod(dir.File("t.DAT").c_str(), 0444);
  {
    TTableFiles table;
    table.Open(dir.Path(), "t", TAccess::acReadWrite, false);
    EXPECT_TRUE(table.ReadOnly());
  }
  ::chmod(dir.File("t.DAT").c_str(), 0644);
  std::filesystem::remove(dir.File("t.IDX"));
  TTableFiles table;
  table.Open(dir.Path(), "t", TAccess::acReadWrite, false);
  EXPECT_FALSE(table.ReadOnly());
  EXPECT_EQ(table.IndexFile().Header().ActiveRecords(), 4);
  EXPECT_EQ(table.IndexFile().Header().SecondaryCount(), 0);
  EXPECT_TRUE(CheckTable(table).empty()) << CheckTable(table).front();
  EXPECT_EQ(TRecordWriter(table).Visit(SysDeletedIndex), (std::vector<std::int32_t>{1, 3, 4, 5, 2}));
}

TEST(TableFilesOpen, ExclusiveUseShutsOutOtherOpensInTheProcess) {
  TScratchDir dir;
  { TTableFiles().Create(dir.Path(), "t", Scores(true)); }
  TTableFiles mine;
  mine.Open(dir.Path(), "t", TAccess::acReadWrite, true);
  EXPECT_EQ(ErrorOf([&] { TTableFiles().Open(dir.Path(), "t", TAccess::acReadWrite, false); }), STORE_OSEACCES);
  mine.Close();
  TTableFiles shared;
  shared.Open(dir.Path(), "t", TAccess::acReadWrite, false);
  TTableFiles second;
  EXPECT_NO_THROW(second.Open(dir.Path(), "t", TAccess::acReadWrite, false));
  EXPECT_EQ(ErrorOf([&] { TTableFiles().Open(dir.Path(), "t", TAccess::acReadWrite, true); }), STORE_OSEACCES);
}

TEST(FileList, HandlersShareOneOpenFileAndKeepTheirOwnPositions) {
  TScratchDir dir;
  const std::string path = dir.File("shared.bin");
  WriteFileBytes(path, {1, 2, 3, 4, 5, 6});
  const std::size_t before = TFileList::Instance().OpenFileCount();
  TFileHandler a("a"), b("b");
  a.Open(path, TAccess::acReadWrite, false);
  b.Open(path, TAccess::acReadWrite, false);
  EXPECT_EQ(TFileList::Instance().OpenFileCount(), before + 1);
  std::uint8_t one[2];
  a.Seek(4, TSeekOrigin::soBeginning);
  b.Read(one, false);
  EXPECT_EQ(one[0], 1);
  a.Read(one, false);
  EXPECT_EQ(one[0], 5);
  b.Read(one, false);
  EXPECT_EQ(one[0], 3);
  EXPECT_EQ(b.Seek(-1, TSeekOrigin::soEnd), 5u);
  EXPECT_EQ(ErrorOf([&] { a.Read(one, false); }), STORE_READERR);  // only 0 bytes left
  EXPECT_EQ(a.Read(one, true), 0u);
  a.Seek(3, TSeekOrigin::soBeginning);
  a.Write({});  // an empty write cuts the file here
  EXPECT_EQ(b.Size(), 3u);
  a.Close();
  b.Close();
  EXPECT_EQ(TFileList::Instance().OpenFileCount(), before);
}

TEST(DataFileDescriptors, ChangedDescriptorsAreWrittenWithTheHeader) {
  TScratchDir dir;
  {
    TTableFiles table;
    table.Create(dir.Path(), "t", Scores(true));
    TDataFile& data = table.DataFile();
    TFieldDesc f = data.FieldByNumber(2);
    f.SetDescription("Seconds in the sauna");
    f.SetDefaultValue("0");
    data.SetFieldDescriptor(2, f);
    TFieldDesc renamed = data.FieldByNumber(1);
    renamed.SetName("AIKA");
    EXPECT_EQ(ErrorOf([&] { data.SetFieldDescriptor(1, renamed); }), STORE_INVALIDFIELDNAME);
    TFieldDesc resized = data.FieldByNumber(1);
    resized.SetDeclaredSize(9);
    EXPECT_EQ(ErrorOf([&] { data.SetFieldDescriptor(1, resized); }), STORE_INVALIDFLDTYPE);
    TFieldDesc badDefault = data.FieldByNumber(2);
    badDefault.SetDefaultValue("soon");
    EXPECT_EQ(ErrorOf([&] { data.SetFieldDescriptor(2, badDefault); }), STORE_INVALIDVCHKSTRUCT);
    table.Commit();
  }
  auto bytes = ReadFileBytes(dir.File("t.DAT"));
  const std::size_t at = 127 + 768;
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(&bytes[at + 34]), bytes[at + 33]), "Seconds in the sauna");
  EXPECT_EQ(bytes[at + 196], 1);
  EXPECT_EQ(bytes[at + 197], '0');
  TTableFiles table;
  EXPECT_NO_THROW(table.Open(dir.Path(), "t", TAccess::acReadWrite, false));
}
