#pragma once
// Byte-string helpers shared by the data layer. Strings are 8-bit text in the
// single-byte code page (Latin-1 / Windows-1252 letters above 0x7F are folded
// too); nothing is transcoded.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace kestrune {

char UpperChar(char c);
char LowerChar(char c);
std::string UpperCase(std::string_view s);
std::string LowerCase(std::string_view s);

// Equality and ordering without regard to letter case (both sides upper-cased).
bool SameText(std::string_view a, std::string_view b);
int CompareText(std::string_view a, std::string_view b);

// The locale-aware comparison the tree and the property table sort with:
// symbols (such as "+") before digits, digits before letters, letters
// alphabetically without regard to case; letter case decides only between
// names that are otherwise equal (small letters first). With
// caseSensitive false, such names compare equal.
int LocaleCompare(std::string_view a, std::string_view b, bool caseSensitive = true);

// Trimming. Trim/TrimLeft/TrimRight remove bytes <= 0x20 (spaces and
// control characters); TrimSpacesLines removes only space, CR and LF.
std::string Trim(std::string_view s);
std::string TrimLeft(std::string_view s);
std::string TrimRight(std::string_view s);
std::string TrimSpacesLines(std::string_view s);
bool IsSpaceOrLine(char c); // space, CR, LF

bool StartsWith(std::string_view s, std::string_view prefix);
bool EndsWith(std::string_view s, std::string_view suffix);
bool EndsWithText(std::string_view s, std::string_view suffix); // no regard to case

// A 32-bit signed integer in the notation the game files use: leading spaces,
// an optional sign, then decimal digits or a hexadecimal number introduced by
// "$", "0x" or "x" (either case). Nothing may follow. Decimal values must lie
// in the 32-bit signed range; hexadecimal values are 32-bit patterns
// (up to FFFFFFFF, which is -1).
std::optional<int32_t> StrToInt32(std::string_view s);

// A JSON string literal of 8-bit text: bytes 0x80 to 0xFF become \u0080 to \u00ff.
std::string JsonString(const std::string& bytes);

} // namespace kestrune
