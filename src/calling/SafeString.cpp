#include "SafeString.h"

#include <limits>

namespace {

bool validCapacity(std::size_t cch)
{
    return cch != 0 && cch <= kStrSafeMaxCch;
}

bool isBlank(char16_t c)
{
    return c == u' ' || c == u'\t' || c == u'\n' || c == u'\v' || c == u'\f' || c == u'\r';
}

} // namespace

hr::HRESULT StringCchCopyExW(
    char16_t* dest, std::size_t cchDest, const char16_t* src, char16_t** destEnd, std::size_t* remaining)
{
    if (dest == nullptr || src == nullptr || !validCapacity(cchDest))
        return hr::STRSAFE_E_INVALID_PARAMETER;

    std::size_t left = cchDest;
    char16_t* end = dest;
    while (left != 0 && *src != u'\0') {
        *end++ = *src++;
        --left;
    }
    if (left == 0) {
        // Null on failure: a piece that does not fit is dropped, not cut, so
        // the caller's text stops where this piece would have started.
        *dest = u'\0';
        if (destEnd != nullptr)
            *destEnd = dest;
        if (remaining != nullptr)
            *remaining = cchDest;
        return hr::STRSAFE_E_INSUFFICIENT_BUFFER;
    }
    *end = u'\0';
    if (destEnd != nullptr)
        *destEnd = end;
    if (remaining != nullptr)
        *remaining = left;
    return hr::S_OK;
}

hr::HRESULT StringCchCopyW(char16_t* dest, std::size_t cchDest, const char16_t* src)
{
    if (dest == nullptr)
        return hr::STRSAFE_E_INVALID_PARAMETER;
    if (src == nullptr || !validCapacity(cchDest)) {
        if (cchDest != 0)
            *dest = u'\0';
        return hr::STRSAFE_E_INVALID_PARAMETER;
    }

    std::size_t left = cchDest;
    while (left > 1 && *src != u'\0') {
        *dest++ = *src++;
        --left;
    }
    const bool cut = *src != u'\0';
    *dest = u'\0';
    return cut ? hr::STRSAFE_E_INSUFFICIENT_BUFFER : hr::S_OK;
}

hr::HRESULT StringCchLengthW(const char16_t* psz, std::size_t cchMax, std::size_t* length)
{
    if (psz != nullptr && cchMax <= kStrSafeMaxCch) {
        for (std::size_t i = 0; i < cchMax; ++i) {
            if (psz[i] == u'\0') {
                if (length != nullptr)
                    *length = i;
                return hr::S_OK;
            }
        }
    }
    if (length != nullptr)
        *length = 0;
    return hr::STRSAFE_E_INVALID_PARAMETER;
}

std::int32_t WToI(const char16_t* text)
{
    if (text == nullptr)
        return 0;
    while (isBlank(*text))
        ++text;
    bool negative = false;
    if (*text == u'+' || *text == u'-')
        negative = *text++ == u'-';

    // Accumulate the magnitude in 64 bits and stop growing once it passes
    // the 32-bit range, so any number of digits saturates cleanly.
    constexpr std::int64_t limit = std::int64_t { std::numeric_limits<std::int32_t>::max() } + 1;
    std::int64_t magnitude = 0;
    for (; *text >= u'0' && *text <= u'9'; ++text) {
        if (magnitude <= limit)
            magnitude = magnitude * 10 + (*text - u'0');
    }
    if (negative)
        return magnitude >= limit ? std::numeric_limits<std::int32_t>::min() : static_cast<std::int32_t>(-magnitude);
    return magnitude >= limit ? std::numeric_limits<std::int32_t>::max() : static_cast<std::int32_t>(magnitude);
}
