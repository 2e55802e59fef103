#include "TestSupport.h"

#include <fcntl.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>

#include "FieldValues.h"
#include "Key.h"
#include "StoreError.h"

namespace store_test {

using namespace store;

TScratchDir::TScratchDir() {
  std::string pattern = (std::filesystem::temp_directory_path() / "sauno-store-XXXXXX").string();
  std::vector<char> buffer(pattern.begin(), pattern.end());
  buffer.push_back('\0');
  if (!::mkdtemp(buffer.data())) throw std::runtime_error("cannot make a scratch directory");
  DirPath = buffer.data();
}

TScratchDir::~TScratchDir() {
  std::error_code ignored;
  std::filesystem::remove_all(DirPath, ignored);
}

std::vector<std::uint8_t> ReadFileBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::vector<std::uint8_t>(std::istreambuf_iterator<char>(in), {});
}

void WriteFileBytes(const std::string& path, const std::vector<std::uint8_t>& bytes) {
  // Overwritten in place and then cut: emptying a file first makes some file
  // systems flush it on close, which would slow tests that rewrite thousands.
  int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0644);
  if (fd < 0) throw std::runtime_error("cannot write " + path);
  bool ok = ::pwrite(fd, bytes.data(), bytes.size(), 0) == static_cast<ssize_t>(bytes.size()) &&
            ::ftruncate(fd, static_cast<off_t>(bytes.size())) == 0;
  ::close(fd);
  if (!ok) throw std::runtime_error("cannot write " + path);
}

TFieldDesc Field(const std::string& name, std::uint8_t type, std::uint8_t subtype, std::uint8_t size) {
  TFieldDesc f;
  f.SetName(name);
  f.SetType(type);
  f.SetSubtype(subtype);
  f.SetDeclaredSize(size);
  return f;
}

TIndexDefinition IndexOn(const std::string& name, std::vector<std::uint16_t> fields, bool unique,
                         std::uint8_t compression) {
  TIndexDefinition d;
  d.Name = name;
  d.Fields = std::move(fields);
  d.Unique = unique;
  d.Compression = compression;
  return d;
}

const TFieldDesc& TRecordWriter::FieldNamed(const std::string& name) const {
  std::uint16_t n = Table.DataFile().FieldNumber(name);
  if (n == 0) throw std::runtime_error("no field " + name);
  return Table.DataFile().Fields()[n - 1u];
}

std::vector<std::uint8_t> TRecordWriter::NewBuffer() const {
  std::vector<std::uint8_t> buffer(Table.DataFile().RecordSize());
  InitRecordBuffer(buffer, Table.DataFile().Fields(), "test");
  return buffer;
}

void TRecordWriter::SetInt(std::vector<std::uint8_t>& buffer, const std::string& field, std::int64_t value) const {
  const TFieldDesc& f = FieldNamed(field);
  std::uint8_t bytes[8];
  std::memcpy(bytes, &value, 8);
  PutFieldNative(buffer, f, std::span<const std::uint8_t>(bytes, 8), "test");
}

void TRecordWriter::SetFloat(std::vector<std::uint8_t>& buffer, const std::string& field, double value) const {
  std::uint8_t bytes[8];
  std::memcpy(bytes, &value, 8);
  PutFieldNative(buffer, FieldNamed(field), std::span<const std::uint8_t>(bytes, 8), "test");
}

void TRecordWriter::SetText(std::vector<std::uint8_t>& buffer, const std::string& field,
                            const std::string& value) const {
  PutFieldString(buffer, FieldNamed(field), value, "test");
}

void TRecordWriter::SetNull(std::vector<std::uint8_t>& buffer, const std::string& field) const {
  PutFieldNull(buffer, FieldNamed(field), "test");
}

std::int32_t TRecordWriter::Add(const std::vector<std::uint8_t>& buffer) {
  TDataFile& data = Table.DataFile();
  TIndexFile& index = Table.IndexFile();
  const bool reuse = Table.ReuseSlots();
  const bool reused = reuse && data.HeaderCopy().FirstDeleted() != 0;
  std::vector<std::uint8_t> oldDeletedKey;
  if (reused) {
    TRecord& old = data.GetRecord(data.HeaderCopy().FirstDeleted(), false, TDirection::drForward);
    oldDeletedKey = SysDeletedKey(old.Buffer[0], GetI32(old.Buffer, 5));
    data.ReleaseRecord(old);
  }
  TRecord& record = data.NewRecord(reuse);
  const std::int32_t number = record.RecordNumber;
  std::vector<std::uint8_t> image = buffer;
  image[0] = 0;
  PutI32(image, 1, number);
  std::memcpy(image.data() + 5, record.Buffer.data() + 5, 4);
  for (int slot = 0; slot <= MaxSecondaryIndexes; ++slot) {
    if (!index.SlotInUse(slot)) continue;
    TIndexTree(index, slot).Insert(index.KeyDef(slot).BuildKey(image), number);
  }
  TIndexTree deleted(index, SysDeletedIndex);
  std::vector<std::uint8_t> newDeletedKey = SysDeletedKey(0, GetI32(image, 5));
  if (reused) deleted.Replace(oldDeletedKey, number, newDeletedKey, number);
  else deleted.Insert(newDeletedKey, number);
  record.Buffer = image;
  data.ReleaseRecord(record);
  index.Header().SetActiveRecords(index.Header().ActiveRecords() + 1);
  index.MarkHeaderDirty();
  Table.Commit();
  return number;
}

void TRecordWriter::Modify(std::int32_t recordNumber, const std::vector<std::uint8_t>& buffer) {
  TDataFile& data = Table.DataFile();
  TIndexFile& index = Table.IndexFile();
  TRecord& record = data.GetRecord(recordNumber, false, TDirection::drForward);
  std::vector<std::uint8_t> image = buffer;
  std::memcpy(image.data(), record.Buffer.data(), 9);
  for (int slot = 0; slot <= MaxSecondaryIndexes; ++slot) {
    if (!index.SlotInUse(slot)) continue;
    auto oldKey = index.KeyDef(slot).BuildKey(record.Buffer);
    auto newKey = index.KeyDef(slot).BuildKey(image);
    if (oldKey != newKey) TIndexTree(index, slot).Replace(oldKey, recordNumber, newKey, recordNumber);
  }
  record.Buffer = image;
  data.MarkRecordDirty(record);
  data.ReleaseRecord(record);
  Table.Commit();
}

void TRecordWriter::Delete(std::int32_t recordNumber) {
  TDataFile& data = Table.DataFile();
  TIndexFile& index = Table.IndexFile();
  TRecord& record = data.GetRecord(recordNumber, false, TDirection::drForward);
  for (int slot = 0; slot <= MaxSecondaryIndexes; ++slot) {
    if (!index.SlotInUse(slot)) continue;
    TIndexTree(index, slot).Delete(index.KeyDef(slot).BuildKey(record.Buffer), recordNumber);
  }
  const std::int32_t identifier = GetI32(record.Buffer, 5);
  TIndexTree(index, SysDeletedIndex)
      .Replace(SysDeletedKey(0, identifier), recordNumber, SysDeletedKey(1, identifier), recordNumber);
  index.Header().SetActiveRecords(index.Header().ActiveRecords() - 1);
  index.MarkHeaderDirty();
  data.DeleteRecord(record, Table.ReuseSlots());
  data.ReleaseRecord(record);
  Table.Commit();
}

std::vector<std::uint8_t> TRecordWriter::Read(std::int32_t recordNumber) {
  TRecord& record = Table.DataFile().GetRecord(recordNumber, true, TDirection::drForward);
  std::vector<std::uint8_t> image = record.Buffer;
  Table.DataFile().ReleaseRecord(record);
  return image;
}

std::vector<std::int32_t> TRecordWriter::Visit(int slot) {
  std::vector<std::int32_t> order;
  TIndexTree tree(Table.IndexFile(), slot);
  TTreePath path;
  for (bool more = tree.First(path); more; more = tree.Next(path)) order.push_back(tree.RefAt(path));
  return order;
}

}  // namespace store_test
