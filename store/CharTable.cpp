#include "CharTable.h"

namespace store {

unsigned char UpperChar(unsigned char c) {
  if (c >= 'a' && c <= 'z') return static_cast<unsigned char>(c - 32);
  if (c >= 0xE0 && c <= 0xFE && c != 0xF7) return static_cast<unsigned char>(c - 32);
  switch (c) {
    case 0x9A: return 0x8A;  // s with caron
    case 0x9C: return 0x8C;  // oe ligature
    case 0x9E: return 0x8E;  // z with caron
    case 0xFF: return 0x9F;  // y with diaeresis
    default: return c;
  }
}

unsigned char LowerChar(unsigned char c) {
  if (c >= 'A' && c <= 'Z') return static_cast<unsigned char>(c + 32);
  if (c >= 0xC0 && c <= 0xDE && c != 0xD7) return static_cast<unsigned char>(c + 32);
  switch (c) {
    case 0x8A: return 0x9A;
    case 0x8C: return 0x9C;
    case 0x8E: return 0x9E;
    case 0x9F: return 0xFF;
    default: return c;
  }
}

std::string UpperText(std::string_view text) {
  std::string out(text);
  for (char& c : out) c = static_cast<char>(UpperChar(static_cast<unsigned char>(c)));
  return out;
}

std::string LowerText(std::string_view text) {
  std::string out(text);
  for (char& c : out) c = static_cast<char>(LowerChar(static_cast<unsigned char>(c)));
  return out;
}

bool IsIdentifierStart(unsigned char c) {
  if (c == '_') return true;
  return UpperChar(c) != LowerChar(c) || c == 0xDF || c == 0xAA || c == 0xBA || c == 0xB5;
}

bool SameTextNoCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i)
    if (UpperChar(static_cast<unsigned char>(a[i])) != UpperChar(static_cast<unsigned char>(b[i]))) return false;
  return true;
}

std::string_view TrimText(std::string_view text) {
  std::size_t begin = 0, end = text.size();
  while (begin < end && static_cast<unsigned char>(text[begin]) <= ' ') ++begin;
  while (end > begin && static_cast<unsigned char>(text[end - 1]) <= ' ') --end;
  return text.substr(begin, end - begin);
}

}  // namespace store
