#pragma once

#include "SafeString.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>

// Capacity of every working text of the composition and of the dial string
// itself, terminator included: a dial string has at most 255 characters.
inline constexpr std::size_t kDialTextCch = 256;

// The card texts the dial string is made of, as the card stores them.
struct DialCardTexts {
    std::u16string accessNumber;
    std::u16string pin;
    std::u16string pauseBeforePin;
    std::u16string pauseBeforeNumber;
};

// The confirmation screen's working values, set afresh by every BuildDialString.
struct DialWorkingValues {
    std::array<char16_t, kDialTextCch> accessNumber {};
    std::array<char16_t, kDialTextCch> pinCopy {};
    bool pinDialled = false; // the PIN in use is pinCopy, otherwise the empty text
    std::int32_t pauseBeforePinCount = 0;
    std::int32_t pauseBeforeNumberCount = 0;
    // Where the PIN landed in the dial string (length 0: no PIN dialled), so
    // that the PIN's tones can be shown as dots.
    std::size_t pinOffset = 0;
    std::size_t pinLength = 0;

    const char16_t* pinInUse() const { return pinDialled ? pinCopy.data() : u""; }
};

// Keeps the characters the phone dials (0-9 and lower-case p, w and comma)
// of the first srcCount code units of src, stopping early at a zero.
// E_FAIL, with dest untouched, when destCch < srcCount + 1.
hr::HRESULT StripNonPhoneDigits(char16_t* dest, std::size_t destCch, const char16_t* src, std::size_t srcCount);

// Lays out access number, pauses before the PIN, PIN, pauses or one `w`, and
// destination in out (capacity outCch). On failure out holds the pieces that
// were complete before the failing step, zero-terminated.
hr::HRESULT BuildDialString(
    char16_t* out, std::size_t outCch, const char16_t* destination, const DialCardTexts& card, DialWorkingValues& work);

struct ComposeResult {
    hr::HRESULT status = hr::S_OK;
    std::u16string dialString; // empty unless status succeeded
    const char* failureMessage = nullptr; // the text to show; null on success
    // Where the PIN is in dialString; length 0 when none is dialled.
    std::size_t pinOffset = 0;
    std::size_t pinLength = 0;
};

// What Ok does before placing the call: join prefix and number, measure,
// strip, build. Stops at the first failing step; a dial string that failed
// to compose is never returned.
// `work` receives the working values of the composition.
ComposeResult ComposeDialString(
    const std::u16string& prefix, const std::u16string& number, const DialCardTexts& card, DialWorkingValues& work);
