// Field values in a record buffer: writing and reading them by the rules of
// the data file, converting the texts of descriptors (minimum, maximum and
// default values) to stored values, and initialising a new record.
//
// Text forms: integers in decimal; floats as decimal numbers; booleans
// "True"/"False" (or 1/0, any case); dates "YYYY-MM-DD"; times
// "HH:MM[:SS[.mmm]]"; timestamps "YYYY-MM-DD[ HH:MM[:SS[.mmm]]]". The words
// CURRENT_DATE, CURRENT_TIME and CURRENT_TIMESTAMP are accepted as defaults.
#pragma once

#include <compare>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "Bytes.h"
#include "DataFormat.h"

namespace store {

constexpr std::size_t RecordIdentifierOffset = 5;

// The stored bytes (physical size, little-endian) for a text, or nothing
// when the text is not valid for the field's type. Strings are returned as
// their characters. `defaultWords` admits the CURRENT_* words.
std::optional<std::vector<std::uint8_t>> NativeFromText(const TFieldDesc& field, std::string_view text,
                                                        bool defaultWords);
bool TextValidForField(const TFieldDesc& field, std::string_view text, bool defaultWords);

// Each writer checks that the field lies inside the record and raises
// STORE_FILECORRUPT (naming `table`) otherwise.
void PutFieldNull(TBytes record, const TFieldDesc& field, const std::string& table);
void PutFieldString(TBytes record, const TFieldDesc& field, std::string_view text, const std::string& table);
// `native` holds the physical-size bytes of the value.
void PutFieldNative(TBytes record, const TFieldDesc& field, TConstBytes native, const std::string& table);
// Converts the text (strings as they stand) and stores it; false when the
// text is not valid for the type (the record is then unchanged).
bool PutFieldText(TBytes record, const TFieldDesc& field, std::string_view text, const std::string& table);

// Whether the field has a value; copies its physical-size bytes into `out`
// when given (out must be at least that long).
bool GetField(TConstBytes record, const TFieldDesc& field, std::span<std::uint8_t> out, const std::string& table);
// The value as text in the forms above; empty for NULL.
std::string FieldAsText(TConstBytes record, const TFieldDesc& field, const std::string& table);

// How the field's value in the record orders against a limit text (a
// minimum or maximum) read by the field's own reader: integers, floats,
// dates, times, timestamps and booleans by number, BCD by its exact decimal
// value, strings and raw bytes by their bytes. Unordered when the value has
// no place in the order (a float that is not a number, BCD digits that are
// not decimal), so that it lies outside every limit; nothing when the text
// is not a value of the field's type. The field must have a value.
std::optional<std::partial_ordering> CompareFieldWithLimit(TConstBytes record, const TFieldDesc& field,
                                                           std::string_view limitText, const std::string& table);

// Zero-fills the record and stores every field's default value.
void InitRecordBuffer(TBytes record, std::span<const TFieldDesc> fields, const std::string& table);

// Day number with day 1 = 1 January of year 1, for a proleptic calendar date.
std::int32_t DayNumber(int year, int month, int day);

}  // namespace store
