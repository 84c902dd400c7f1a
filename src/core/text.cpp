#include "text.h"

#include <limits>

namespace kestrune {

namespace {

unsigned char U(char c) { return static_cast<unsigned char>(c); }

bool IsLatinLower(unsigned char c)
{
    return (c >= 'a' && c <= 'z') || (c >= 0xE0 && c <= 0xFE && c != 0xF7);
}

bool IsLatinUpper(unsigned char c)
{
    return (c >= 'A' && c <= 'Z') || (c >= 0xC0 && c <= 0xDE && c != 0xD7);
}

bool IsLetter(unsigned char c) { return IsLatinLower(c) || IsLatinUpper(c) || c == 0xFF || c == 0xDF; }

// Primary sort class of a byte: symbols and controls, then digits, then letters.
int ClassOf(unsigned char c)
{
    if (c >= '0' && c <= '9')
        return 1;
    if (IsLetter(c))
        return 2;
    return 0;
}

} // namespace

char UpperChar(char c)
{
    const unsigned char u = U(c);
    return IsLatinLower(u) ? static_cast<char>(u - 0x20) : c;
}

char LowerChar(char c)
{
    const unsigned char u = U(c);
    return IsLatinUpper(u) ? static_cast<char>(u + 0x20) : c;
}

std::string UpperCase(std::string_view s)
{
    std::string r(s);
    for (char& c : r)
        c = UpperChar(c);
    return r;
}

std::string LowerCase(std::string_view s)
{
    std::string r(s);
    for (char& c : r)
        c = LowerChar(c);
    return r;
}

bool SameText(std::string_view a, std::string_view b)
{
    if (a.size() != b.size())
        return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (UpperChar(a[i]) != UpperChar(b[i]))
            return false;
    return true;
}

int CompareText(std::string_view a, std::string_view b)
{
    const size_t n = a.size() < b.size() ? a.size() : b.size();
    for (size_t i = 0; i < n; ++i) {
        const unsigned char x = U(UpperChar(a[i]));
        const unsigned char y = U(UpperChar(b[i]));
        if (x != y)
            return x < y ? -1 : 1;
    }
    if (a.size() == b.size())
        return 0;
    return a.size() < b.size() ? -1 : 1;
}

int LocaleCompare(std::string_view a, std::string_view b, bool caseSensitive)
{
    // First pass: letters without regard to case, by class then by value.
    const size_t n = a.size() < b.size() ? a.size() : b.size();
    for (size_t i = 0; i < n; ++i) {
        const unsigned char x = U(UpperChar(a[i]));
        const unsigned char y = U(UpperChar(b[i]));
        if (x == y)
            continue;
        const int cx = ClassOf(x), cy = ClassOf(y);
        if (cx != cy)
            return cx < cy ? -1 : 1;
        return x < y ? -1 : 1;
    }
    if (a.size() != b.size())
        return a.size() < b.size() ? -1 : 1;
    if (!caseSensitive)
        return 0;
    // Second pass: the first difference in case decides, small letters first.
    for (size_t i = 0; i < n; ++i) {
        if (a[i] == b[i])
            continue;
        const bool lowerA = IsLatinLower(U(a[i]));
        const bool lowerB = IsLatinLower(U(b[i]));
        if (lowerA != lowerB)
            return lowerA ? -1 : 1;
        return U(a[i]) < U(b[i]) ? -1 : 1;
    }
    return 0;
}

bool IsSpaceOrLine(char c) { return c == ' ' || c == '\r' || c == '\n'; }

std::string TrimLeft(std::string_view s)
{
    size_t i = 0;
    while (i < s.size() && U(s[i]) <= 0x20)
        ++i;
    return std::string(s.substr(i));
}

std::string TrimRight(std::string_view s)
{
    size_t n = s.size();
    while (n > 0 && U(s[n - 1]) <= 0x20)
        --n;
    return std::string(s.substr(0, n));
}

std::string Trim(std::string_view s) { return TrimLeft(TrimRight(s)); }

std::string TrimSpacesLines(std::string_view s)
{
    size_t i = 0, n = s.size();
    while (i < n && IsSpaceOrLine(s[i]))
        ++i;
    while (n > i && IsSpaceOrLine(s[n - 1]))
        --n;
    return std::string(s.substr(i, n - i));
}

bool StartsWith(std::string_view s, std::string_view prefix)
{
    return s.size() >= prefix.size() && s.compare(0, prefix.size(), prefix) == 0;
}

bool EndsWith(std::string_view s, std::string_view suffix)
{
    return s.size() >= suffix.size() && s.compare(s.size() - suffix.size(), suffix.size(), suffix) == 0;
}

bool EndsWithText(std::string_view s, std::string_view suffix)
{
    return s.size() >= suffix.size() && SameText(s.substr(s.size() - suffix.size()), suffix);
}

std::optional<int32_t> StrToInt32(std::string_view s)
{
    size_t i = 0;
    while (i < s.size() && s[i] == ' ')
        ++i;
    bool negative = false;
    if (i < s.size() && (s[i] == '+' || s[i] == '-')) {
        negative = s[i] == '-';
        ++i;
    }
    bool hex = false;
    if (i < s.size() && s[i] == '$') {
        hex = true;
        ++i;
    } else if (i + 1 < s.size() && s[i] == '0' && (s[i + 1] == 'x' || s[i + 1] == 'X')) {
        hex = true;
        i += 2;
    } else if (i < s.size() && (s[i] == 'x' || s[i] == 'X')) {
        hex = true;
        ++i;
    }
    if (i >= s.size())
        return std::nullopt;
    uint64_t value = 0;
    for (; i < s.size(); ++i) {
        const char c = s[i];
        int digit;
        if (c >= '0' && c <= '9')
            digit = c - '0';
        else if (hex && c >= 'a' && c <= 'f')
            digit = c - 'a' + 10;
        else if (hex && c >= 'A' && c <= 'F')
            digit = c - 'A' + 10;
        else
            return std::nullopt;
        value = value * (hex ? 16 : 10) + static_cast<uint64_t>(digit);
        if (value > 0xFFFFFFFFull)
            return std::nullopt;
    }
    if (hex) {
        // A 32-bit pattern; a sign applies to the pattern's value.
        const auto pattern = static_cast<int64_t>(static_cast<int32_t>(static_cast<uint32_t>(value)));
        const int64_t signedValue = negative ? -pattern : pattern;
        if (signedValue < std::numeric_limits<int32_t>::min() || signedValue > std::numeric_limits<int32_t>::max())
            return std::nullopt;
        return static_cast<int32_t>(signedValue);
    }
    const int64_t signedValue = negative ? -static_cast<int64_t>(value) : static_cast<int64_t>(value);
    if (signedValue < std::numeric_limits<int32_t>::min() || signedValue > std::numeric_limits<int32_t>::max())
        return std::nullopt;
    return static_cast<int32_t>(signedValue);
}

std::string JsonString(const std::string& bytes)
{
    static const char hex[] = "0123456789abcdef";
    std::string s = "\"";
    s.reserve(bytes.size() + 2);
    for (const char ch : bytes) {
        const auto c = static_cast<unsigned char>(ch);
        switch (c) {
        case '"': s += "\\\""; break;
        case '\\': s += "\\\\"; break;
        case '\n': s += "\\n"; break;
        case '\r': s += "\\r"; break;
        case '\t': s += "\\t"; break;
        default:
            if (c < 0x20 || c >= 0x7F) {
                s += "\\u00";
                s += hex[c >> 4];
                s += hex[c & 15];
            } else {
                s += ch;
            }
        }
    }
    s += '"';
    return s;
}

} // namespace kestrune
