#include "runtime/settings.h"

#include <cctype>
#include <fstream>
#include <sstream>

namespace sauno {

namespace {

std::string Lower(std::string_view s)
{
    std::string out(s);
    for (char& c : out) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return out;
}

std::string_view Trim(std::string_view s)
{
    size_t b = 0, e = s.size();
    while (b < e && std::isspace(static_cast<unsigned char>(s[b]))) ++b;
    while (e > b && std::isspace(static_cast<unsigned char>(s[e - 1]))) --e;
    return s.substr(b, e - b);
}

int HexValue(char c)
{
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

}  // namespace

TIniFile::TIniFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    if (!in) return;
    std::ostringstream text;
    text << in.rdbuf();
    Parse(text.str());
}

TIniFile TIniFile::FromText(std::string_view text)
{
    TIniFile ini;
    ini.Parse(text);
    return ini;
}

void TIniFile::Parse(std::string_view text)
{
    // Some editors begin a UTF-8 file with a byte-order mark; it is not part
    // of the first line.
    if (text.starts_with("\xEF\xBB\xBF")) text.remove_prefix(3);
    std::string section;
    bool inSection = false;
    size_t pos = 0;
    while (pos <= text.size()) {
        size_t end = text.find('\n', pos);
        if (end == std::string_view::npos) end = text.size();
        std::string_view line = Trim(text.substr(pos, end - pos));
        pos = end + 1;
        if (line.empty() || line[0] == ';' || line[0] == '#') continue;
        if (line[0] == '[') {
            size_t close = line.find(']');
            if (close == std::string_view::npos) continue;
            section = Lower(Trim(line.substr(1, close - 1)));
            inSection = true;
            continue;
        }
        size_t eq = line.find('=');
        if (!inSection || eq == std::string_view::npos) continue;
        std::string key = Lower(Trim(line.substr(0, eq)));
        if (key.empty()) continue;
        std::string_view value = Trim(line.substr(eq + 1));
        if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') && value.back() == value.front())
            value = value.substr(1, value.size() - 2);
        if (value.size() > MaxValueLength) value = value.substr(0, MaxValueLength);
        values_.emplace(section + '\n' + key, std::string(value));  // emplace keeps the first
    }
}

std::optional<std::string> TIniFile::Find(std::string_view section, std::string_view key) const
{
    auto it = values_.find(Lower(section) + '\n' + Lower(key));
    if (it == values_.end()) return std::nullopt;
    return it->second;
}

std::string TIniFile::ReadString(std::string_view section, std::string_view key, std::string_view defaultValue) const
{
    auto value = Find(section, key);
    return value ? *value : std::string(defaultValue);
}

int32_t TIniFile::ReadInteger(std::string_view section, std::string_view key, int32_t defaultValue) const
{
    auto value = Find(section, key);
    if (!value) return defaultValue;
    return ParseSettingsInteger(*value).value_or(defaultValue);
}

std::optional<int32_t> ParseSettingsInteger(std::string_view text)
{
    std::string s(text);
    if (s.size() > 2 && s[0] == '0' && (s[1] == 'x' || s[1] == 'X')) s = "$" + s.substr(2);
    size_t i = 0;
    while (i < s.size() && s[i] == ' ') ++i;
    bool negative = false;
    if (i < s.size() && (s[i] == '+' || s[i] == '-')) negative = s[i++] == '-';
    if (i >= s.size()) return std::nullopt;
    if (s[i] == '$') {
        ++i;
        if (i >= s.size()) return std::nullopt;
        uint64_t v = 0;
        for (; i < s.size(); ++i) {
            int d = HexValue(s[i]);
            if (d < 0) return std::nullopt;
            v = v * 16 + static_cast<uint64_t>(d);
            if (v > 0xFFFFFFFFull) return std::nullopt;
        }
        uint32_t bits = static_cast<uint32_t>(v);
        if (negative) bits = 0u - bits;
        return static_cast<int32_t>(bits);
    }
    int64_t v = 0;
    for (; i < s.size(); ++i) {
        if (!std::isdigit(static_cast<unsigned char>(s[i]))) return std::nullopt;
        v = v * 10 + (s[i] - '0');
        if (v > 2147483648LL) return std::nullopt;
    }
    if (negative) v = -v;
    if (v > 2147483647LL || v < -2147483648LL) return std::nullopt;
    return static_cast<int32_t>(v);
}

}  // namespace sauno
