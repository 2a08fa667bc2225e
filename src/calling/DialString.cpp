#include "DialString.h"

#include <new>
#include <vector>

// The failure texts are marked for Qt's translation tools, and the screen
// that shows one translates it; this code stays free of Qt, so the marker is
// defined here as Qt defines it.
#ifndef QT_TRANSLATE_NOOP
#define QT_TRANSLATE_NOOP(context, text) text
#endif

namespace {

bool isDialCharacter(char16_t c)
{
    // Only ASCII digits count. The handset's digit class would also accept
    // other scripts' decimal digits, but the phone dials none of them, so
    // passing them on could only produce a dial string it rejects.
    return (c >= u'0' && c <= u'9') || c == u'p' || c == u'w' || c == u',';
}

// Pauses are bounded by the room left rather than by the count, so that a
// huge count from a card fills the buffer instead of overrunning it; the
// copy that follows always re-terminates the text.
void appendPauses(char16_t*& end, std::size_t& remaining, std::int32_t count)
{
    for (std::int32_t i = 0; i < count; ++i) {
        if (remaining <= 1)
            return;
        *end++ = u'p';
        --remaining;
    }
}

} // namespace

hr::HRESULT StripNonPhoneDigits(char16_t* dest, std::size_t destCch, const char16_t* src, std::size_t srcCount)
{
    // Written as destCch - 1 < srcCount so that a huge srcCount cannot wrap.
    if (dest == nullptr || src == nullptr || destCch == 0 || destCch - 1 < srcCount)
        return hr::E_FAIL;
    for (std::size_t i = 0; i < srcCount && src[i] != u'\0'; ++i) {
        if (isDialCharacter(src[i]))
            *dest++ = src[i];
    }
    *dest = u'\0';
    return hr::S_OK;
}

hr::HRESULT BuildDialString(
    char16_t* out, std::size_t outCch, const char16_t* destination, const DialCardTexts& card, DialWorkingValues& work)
{
    const std::int32_t pauseBeforeNumber = WToI(card.pauseBeforeNumber.c_str());
    const std::int32_t pauseBeforePin = WToI(card.pauseBeforePin.c_str());
    const std::int32_t pinValue = WToI(card.pin.c_str());

    const hr::HRESULT accessCopied
        = StringCchCopyW(work.accessNumber.data(), work.accessNumber.size(), card.accessNumber.c_str());
    const hr::HRESULT pinCopied = StringCchCopyW(work.pinCopy.data(), work.pinCopy.size(), card.pin.c_str());

    // A PIN whose value is zero (empty, all zeros, or not starting with a
    // number) is not dialled, and neither is the pause that would precede it.
    work.pinDialled = pinValue != 0;
    work.pauseBeforePinCount = work.pinDialled ? pauseBeforePin : 0;
    work.pauseBeforeNumberCount = pauseBeforeNumber;
    work.pinOffset = work.pinLength = 0;

    // The card screens never store texts longer than 255 characters, but a
    // hand-edited card file could. A cut access number or a cut PIN would
    // route the call wrongly without a word, so the copy's status is passed
    // on instead and the output is left empty. A cut PIN that is not dialled
    // does no harm.
    hr::HRESULT cut = hr::S_OK;
    if (hr::failed(accessCopied))
        cut = accessCopied;
    else if (work.pinDialled && hr::failed(pinCopied))
        cut = pinCopied;
    if (hr::failed(cut)) {
        if (out != nullptr && outCch != 0)
            *out = u'\0';
        return cut;
    }

    char16_t* end = nullptr;
    std::size_t remaining = 0;
    if (const auto s = StringCchCopyExW(out, outCch, work.accessNumber.data(), &end, &remaining); hr::failed(s))
        return s;

    appendPauses(end, remaining, work.pauseBeforePinCount);

    char16_t* const pinStart = end;
    if (const auto s = StringCchCopyExW(end, remaining, work.pinInUse(), &end, &remaining); hr::failed(s))
        return s;
    work.pinOffset = static_cast<std::size_t>(pinStart - out);
    work.pinLength = static_cast<std::size_t>(end - pinStart);

    if (work.pauseBeforeNumberCount > 0) {
        appendPauses(end, remaining, work.pauseBeforeNumberCount);
    } else if (work.pauseBeforeNumberCount == 0) {
        if (remaining <= 1)
            return hr::E_FAIL;
        *end++ = u'w';
        --remaining;
    }

    // The destination alone is cut to fit when it is too long; the caller
    // treats the negative status as a failed composition.
    if (const auto s = StringCchCopyW(end, remaining, destination); hr::failed(s))
        return s;
    return hr::S_OK;
}

ComposeResult ComposeDialString(
    const std::u16string& prefix, const std::u16string& number, const DialCardTexts& card, DialWorkingValues& work)
{
    const std::u16string destination = prefix + number;
    if (destination.empty())
        return { hr::E_FAIL, {}, QT_TRANSLATE_NOOP("Messages", "Please Enter the Phone Number") };

    // The destination is measured and stripped whole rather than first being
    // squeezed into a 64-character buffer: a contact's number is not bound by
    // the make-call screen's 20-character limit, and a number cut short would
    // ring someone else. It is either dialled whole or refused: 256 or more
    // characters fail the measure, and a destination that does not fit the
    // 256-character dial string fails the build.
    std::size_t length = 0;
    if (const auto s = StringCchLengthW(destination.c_str(), kDialTextCch, &length); hr::failed(s))
        return { s, {}, QT_TRANSLATE_NOOP("Messages", "StringCchLength failed") };

    std::vector<char16_t> stripped;
    try {
        stripped.assign(length + 1, u'\0');
    } catch (const std::bad_alloc&) {
        return { hr::E_FAIL, {}, QT_TRANSLATE_NOOP("Messages", "destination number is NULL") };
    }

    if (const auto s = StripNonPhoneDigits(stripped.data(), stripped.size(), destination.c_str(), length);
        hr::failed(s))
        return { s, {}, QT_TRANSLATE_NOOP("Messages", "StripNonPhoneDigits failed") };

    std::array<char16_t, kDialTextCch> dial {};
    if (const auto s = BuildDialString(dial.data(), dial.size(), stripped.data(), card, work); hr::failed(s))
        return { s, {}, QT_TRANSLATE_NOOP("Messages", "BuildDialString failed") };

    return { hr::S_OK, std::u16string(dial.data()), nullptr, work.pinOffset, work.pinLength };
}
