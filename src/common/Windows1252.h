#pragma once

#include <array>
#include <cstdint>

// The Western Windows code page, 8-bit to UTF-16. Only 0x80..0x9F differ
// from Latin-1; the five bytes the code page leaves undefined (0x81, 0x8D,
// 0x8F, 0x90, 0x9D) pass through as C1 controls, as Windows converts them.
namespace windows1252 {

// clang-format off
inline constexpr std::array<char16_t, 32> kHigh = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,
    0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,
};
// clang-format on

constexpr char16_t toUtf16(std::uint8_t byte)
{
    return byte >= 0x80 && byte <= 0x9F ? kHigh[byte - 0x80] : byte;
}

// True for the five bytes the code page leaves undefined.
constexpr bool isUndefined(std::uint8_t byte)
{
    return byte >= 0x80 && byte <= 0x9F && toUtf16(byte) == byte;
}

} // namespace windows1252
