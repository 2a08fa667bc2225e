#pragma once

#include <cstddef>
#include <cstdint>

// Status values in the phone platform's HRESULT convention: 0 for success,
// negative for failure. Callers test only the sign.
namespace hr {
using HRESULT = std::int32_t;
inline constexpr HRESULT S_OK = 0;
inline constexpr HRESULT E_FAIL = static_cast<HRESULT>(0x80004005u);
inline constexpr HRESULT STRSAFE_E_INSUFFICIENT_BUFFER = static_cast<HRESULT>(0x8007007Au);
inline constexpr HRESULT STRSAFE_E_INVALID_PARAMETER = static_cast<HRESULT>(0x80070057u);

constexpr bool succeeded(HRESULT status)
{
    return status >= 0;
}
constexpr bool failed(HRESULT status)
{
    return status < 0;
}
} // namespace hr

// Bounded copies over zero-terminated UTF-16 buffers, behaving like the
// platform's safe-string functions the dial string was designed around.
// Capacities count code units and include the terminator; a capacity of 0 or
// above kStrSafeMaxCch is an invalid parameter, as is a null pointer.
inline constexpr std::size_t kStrSafeMaxCch = 2147483647;

// Copy with end report (the platform's Ex copy with NULL_ON_FAILURE).
// Success: source and terminator copied, *destEnd = the terminator,
// *remaining = cchDest minus the characters copied.
// Source too long: a terminator at dest (the piece is left out entirely),
// *destEnd = dest, *remaining = cchDest, STRSAFE_E_INSUFFICIENT_BUFFER.
// Invalid parameter: nothing written, destEnd and remaining untouched.
// destEnd and remaining may be null.
hr::HRESULT StringCchCopyExW(
    char16_t* dest, std::size_t cchDest, const char16_t* src, char16_t** destEnd, std::size_t* remaining);

// Plain copy: when the source does not fit, cchDest - 1 characters and a
// terminator are written (the text is cut) and the status is negative.
hr::HRESULT StringCchCopyW(char16_t* dest, std::size_t cchDest, const char16_t* src);

// Length of psz, which must have its terminator within the first cchMax
// code units; otherwise STRSAFE_E_INVALID_PARAMETER and *length = 0.
hr::HRESULT StringCchLengthW(const char16_t* psz, std::size_t cchMax, std::size_t* length);

// The C runtime's _wtoi reading: blanks (space, \t \n \v \f \r) skipped, an
// optional sign, decimal digits up to the first other character, 0 when there
// are none. Out-of-range values saturate at INT32_MIN / INT32_MAX, as the
// runtime's wcstol-based conversion does. A null text reads as 0.
std::int32_t WToI(const char16_t* text);
