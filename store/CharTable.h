// Letter case and identifier rules of the 8-bit character set the game's
// texts use (the Western European ANSI code page). Built in, so that no
// installed locale is needed.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace store {

unsigned char UpperChar(unsigned char c);
unsigned char LowerChar(unsigned char c);
std::string UpperText(std::string_view text);
std::string LowerText(std::string_view text);
// A letter or an underscore.
bool IsIdentifierStart(unsigned char c);
// Compares without regard to letter case.
bool SameTextNoCase(std::string_view a, std::string_view b);
// Removes blanks (and control characters) at both ends.
std::string_view TrimText(std::string_view text);

}  // namespace store
