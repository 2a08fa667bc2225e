#pragma once

// ASCII helpers shared by the vCard reader's parts: vCard's names, parameters
// and markers are ASCII and compared without regard to case.

#include <algorithm>
#include <string>
#include <string_view>

namespace vcard {

inline char lowerAscii(char c)
{
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

inline bool iequalsSameSize(std::string_view a, std::string_view b)
{
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (lowerAscii(a[i]) != lowerAscii(b[i]))
            return false;
    }
    return true;
}

// Most comparisons are of words of other lengths: those cost no call.
inline bool iequals(std::string_view a, std::string_view b)
{
    return a.size() == b.size() && iequalsSameSize(a, b);
}

inline bool istartsWith(std::string_view s, std::string_view prefix)
{
    return s.size() >= prefix.size() && iequals(s.substr(0, prefix.size()), prefix);
}

inline std::string toLower(std::string_view s)
{
    std::string out(s);
    for (char& c : out)
        c = lowerAscii(c);
    return out;
}

inline bool isBlank(char c)
{
    return c == ' ' || c == '\t';
}

inline bool isTrimmed(char c)
{
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

inline std::string_view trimBoth(std::string_view s)
{
    while (!s.empty() && isTrimmed(s.front()))
        s.remove_prefix(1);
    while (!s.empty() && isTrimmed(s.back()))
        s.remove_suffix(1);
    return s;
}

// Most texts have nothing to trim: they cost no call.
inline std::string_view trim(std::string_view s)
{
    return s.empty() || (!isTrimmed(s.front()) && !isTrimmed(s.back())) ? s : trimBoth(s);
}

inline std::string_view trimEnd(std::string_view s)
{
    while (!s.empty() && isTrimmed(s.back()))
        s.remove_suffix(1);
    return s;
}

// No control character and no backslash: UTF-8 that reads as it is
// written, but for the spaces around it.
inline bool isPlainText(std::string_view s)
{
    return std::all_of(s.begin(), s.end(), [](char c) {
        const auto b = static_cast<unsigned char>(c);
        return b >= 0x20 && b != 0x7F && b != '\\';
    });
}

inline bool isAsciiText(std::string_view s)
{
    return std::all_of(s.begin(), s.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; });
}

} // namespace vcard
