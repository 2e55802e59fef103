#pragma once
// The settings file: sections in square brackets holding key=value lines. Section and key names
// match without regard to case; a value counts up to 2047 characters. Lines starting with ';' or
// '#' are comments, blanks around keys and values are trimmed, a value in matching quotes loses
// them, and the first of duplicate keys wins. The file is only read.
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>

#include "runtime/export.h"

namespace sauno {

class SAUNO_RUNTIME_EXPORT TIniFile {
public:
    // A missing or unreadable file behaves as an empty one.
    explicit TIniFile(const std::string& path);
    static TIniFile FromText(std::string_view text);

    std::string ReadString(std::string_view section, std::string_view key, std::string_view defaultValue) const;
    int32_t ReadInteger(std::string_view section, std::string_view key, int32_t defaultValue) const;

    static constexpr size_t MaxValueLength = 2047;

private:
    TIniFile() = default;
    void Parse(std::string_view text);
    std::optional<std::string> Find(std::string_view section, std::string_view key) const;
    std::map<std::string, std::string> values_;  // "section\nkey", both lower-cased
};

// The integer a settings value stands for, or nothing when it does not convert completely:
// "0x"/"0X" with more after it is hexadecimal; otherwise optional leading blanks, a sign, then
// decimal digits or '$' and hexadecimal digits. Results are 32-bit; hexadecimal wraps.
SAUNO_RUNTIME_EXPORT std::optional<int32_t> ParseSettingsInteger(std::string_view text);

}  // namespace sauno
