// Required fields and minimum and maximum values, checked by value when a
// cursor adds or changes a record.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <functional>
#include <memory>

#include "DataCursor.h"
#include "FieldValues.h"
#include "StoreError.h"
#include "TestSupport.h"

using namespace store;
using namespace store_test;

namespace {

std::uint16_t ErrorOf(const std::function<void()>& action) {
  try {
    action();
  } catch (const EStoreEngineError& e) {
    return e.Code();
  }
  return 0;
}

class FieldRules : public ::testing::Test {
 protected:
  void SetUp() override {
    TTableDefinition def;
    def.Fields = {Field("hetki", ftcTime),    Field("paiva", ftcDate),  Field("iso", ftcLargeint),
                  Field("summa", ftcBCD),     Field("kerroin", ftcFloat), Field("nimi", ftcString, 0, 10),
                  Field("maara", ftcInteger)};
    TDataFile::LayoutFields(def.Fields, "t");
    def.Fields[0].SetMaxValue("12:00");
    def.Fields[1].SetMinValue("2020-1-5");
    def.Fields[2].SetMaxValue("9007199254740992");
    def.Fields[3].SetScale(2);
    def.Fields[3].SetMinValue("-1.5");
    def.Fields[3].SetMaxValue("12345678901234567890.12");
    def.Fields[4].SetMaxValue("2.5");
    def.Fields[5].SetMinValue("b");
    def.Fields[5].SetMaxValue("bob");
    def.Fields[6].SetRequired(1);
    def.Fields[6].SetMinValue("10");
    TTableFiles files;
    files.Create(Dir.Path(), "t", def);
    files.Close();
    Cursor = std::make_unique<TDataCursor>(Session.OpenDirectory(Dir.Path()));
    Cursor->Open("t", false, false);
  }

  const TFieldDesc& Named(const std::string& name) const {
    for (const TFieldDesc& f : Cursor->Fields())
      if (f.Name() == name) return f;
    throw std::runtime_error("no field " + name);
  }

  // A record that passes every rule but for the fields given (an empty text is NULL).
  std::vector<std::uint8_t> Record(std::initializer_list<std::pair<const char*, const char*>> values) const {
    std::vector<std::uint8_t> buffer;
    Cursor->InitRecord(buffer);
    PutFieldText(buffer, Named("maara"), "10", "t");
    for (const auto& [field, text] : values) {
      if (*text == '\0') PutFieldNull(buffer, Named(field), "t");
      else EXPECT_TRUE(PutFieldText(buffer, Named(field), text, "t")) << field << " " << text;
    }
    return buffer;
  }

  std::uint16_t AddError(std::initializer_list<std::pair<const char*, const char*>> values) {
    return ErrorOf([&] { Cursor->AddRecord(Record(values)); });
  }

  TScratchDir Dir;
  TDataSession Session;
  std::unique_ptr<TDataCursor> Cursor;
};

TEST_F(FieldRules, TimesDatesAndLargeIntegersCompareByValue) {
  EXPECT_EQ(AddError({{"hetki", "12:00"}}), 0);
  EXPECT_EQ(AddError({{"hetki", "12:00:00.001"}}), STORE_MAXVALERR);
  EXPECT_EQ(AddError({{"paiva", "2020-01-05"}}), 0);
  EXPECT_EQ(AddError({{"paiva", "2020-01-10"}}), 0);
  EXPECT_EQ(AddError({{"paiva", "2020-01-04"}}), STORE_MINVALERR);
  // Both sides of 2^53 are one double.
  EXPECT_EQ(AddError({{"iso", "9007199254740992"}}), 0);
  EXPECT_EQ(AddError({{"iso", "9007199254740993"}}), STORE_MAXVALERR);
  EXPECT_EQ(Cursor->RecordCount(), 4);
}

TEST_F(FieldRules, DecimalsFloatsAndStrings) {
  EXPECT_EQ(AddError({{"summa", "12345678901234567890.12"}}), 0);
  EXPECT_EQ(AddError({{"summa", "12345678901234567890.13"}}), STORE_MAXVALERR);
  EXPECT_EQ(AddError({{"summa", "-1.5"}}), 0);
  EXPECT_EQ(AddError({{"summa", "-1.51"}}), STORE_MINVALERR);
  EXPECT_EQ(AddError({{"kerroin", "2.5"}}), 0);
  EXPECT_EQ(AddError({{"kerroin", "2.5000000000000004"}}), STORE_MAXVALERR);
  // A value outside the order passes no limit.
  std::vector<std::uint8_t> nan = Record({});
  const double notANumber = std::nan("");
  PutFieldNative(nan, Named("kerroin"), {reinterpret_cast<const std::uint8_t*>(&notANumber), 8}, "t");
  EXPECT_EQ(ErrorOf([&] { Cursor->AddRecord(nan); }), STORE_MAXVALERR);
  EXPECT_EQ(AddError({{"nimi", "b"}}), 0);
  EXPECT_EQ(AddError({{"nimi", "a"}}), STORE_MINVALERR);
  EXPECT_EQ(AddError({{"nimi", "boba"}}), STORE_MAXVALERR);
}

TEST_F(FieldRules, RulesGoByFieldNumberAndARefusalChangesNothing) {
  EXPECT_EQ(AddError({{"maara", ""}}), STORE_REQDERR);
  EXPECT_EQ(AddError({{"maara", "9"}}), STORE_MINVALERR);
  // Field 1 above its maximum is found before field 7 without a value, and
  // field 6 below its minimum before field 7 too.
  EXPECT_EQ(AddError({{"hetki", "13:00"}, {"maara", ""}}), STORE_MAXVALERR);
  EXPECT_EQ(AddError({{"nimi", "a"}, {"maara", ""}}), STORE_MINVALERR);

  Cursor->AddRecord(Record({{"hetki", "10:00"}}));
  const auto stored = Cursor->CurrentRecord();
  const auto data = ReadFileBytes(Dir.File("t.DAT"));
  const auto index = ReadFileBytes(Dir.File("t.IDX"));
  EXPECT_EQ(AddError({{"hetki", "12:00:00.001"}}), STORE_MAXVALERR);
  EXPECT_EQ(ErrorOf([&] { Cursor->ModifyRecord(Record({{"summa", "-2"}}), stored); }), STORE_MINVALERR);
  EXPECT_EQ(ReadFileBytes(Dir.File("t.DAT")), data);
  EXPECT_EQ(ReadFileBytes(Dir.File("t.IDX")), index);
  EXPECT_EQ(Cursor->RecordCount(), 1);
}

// A BCD value laid out by hand: digits most significant first.
std::vector<std::uint8_t> Bcd(const std::string& digits, int scale, bool negative) {
  std::vector<std::uint8_t> value(34, 0);
  value[0] = static_cast<std::uint8_t>(digits.size());
  value[1] = static_cast<std::uint8_t>((negative ? 0x80 : 0) | scale);
  for (std::size_t i = 0; i < digits.size(); ++i)
    value[2 + i / 2] |= static_cast<std::uint8_t>(i % 2 == 0 ? (digits[i] - '0') << 4 : digits[i] - '0');
  return value;
}

TEST(FieldLimits, OrderOfStoredValuesAgainstLimitTexts) {
  std::vector<TFieldDesc> fields = {Field("d", ftcBCD), Field("f", ftcFloat), Field("p", ftcDate)};
  TDataFile::LayoutFields(fields, "t");
  fields[0].SetScale(2);
  std::vector<std::uint8_t> record(fields.back().Offset() + 1u + fields.back().PhysicalSize(), 0);
  auto order = [&](const TFieldDesc& f, const std::vector<std::uint8_t>& native, const char* limit) {
    PutFieldNative(record, f, native, "t");
    return CompareFieldWithLimit(record, f, limit, "t");
  };
  // A value stored with another scale compares by what it is worth.
  EXPECT_EQ(order(fields[0], Bcd("015000", 4, false), "1.50"), std::partial_ordering::equivalent);
  EXPECT_EQ(order(fields[0], Bcd("0", 0, true), "0"), std::partial_ordering::equivalent);
  EXPECT_EQ(order(fields[0], Bcd("2", 0, true), "-1.5"), std::partial_ordering::less);
  EXPECT_EQ(order(fields[0], Bcd("9", 0, false), "10"), std::partial_ordering::less);
  std::vector<std::uint8_t> notDecimal = Bcd("15", 0, false);
  notDecimal[2] = 0x1A;
  EXPECT_EQ(order(fields[0], notDecimal, "1"), std::partial_ordering::unordered);
  std::vector<std::uint8_t> nan(8);
  const double notANumber = std::nan("");
  std::memcpy(nan.data(), &notANumber, 8);
  EXPECT_EQ(order(fields[1], nan, "0"), std::partial_ordering::unordered);
  // A text the field's reader refuses is no limit.
  EXPECT_FALSE(order(fields[2], std::vector<std::uint8_t>(4, 1), "someday").has_value());
}

}  // namespace
