#pragma once

#include <QString>

#include <cstdint>

// What the call screen shows of a call, and which characters of the dial
// string are the PIN (they show as dots, wherever a tone is shown). All texts
// may be null.
struct PHONECALLDISPLAY {
    const char16_t* pszCardName;
    const char16_t* pszNumber; // as the confirmation screen showed it
    const char16_t* pszContact;
    std::uint32_t dwPinOffset; // in pszDestAddress
    std::uint32_t cchPin; // 0: no PIN is dialled
};

// The call request the confirmation screen fills in. On the original handheld
// the record was 28 bytes (32-bit pointers); our callers set cbSize to
// sizeof(PHONEMAKECALLINFO), and any cbSize that covers the fields read here
// is accepted, the old 28 included. pDisplay is read only when cbSize covers
// it; with it, the caller shows the call (see PhoneService).
struct PHONEMAKECALLINFO {
    std::uint32_t cbSize;
    std::uint32_t dwFlags;
    const char16_t* pszDestAddress;
    const char16_t* pszAppName;
    const char16_t* pszCalledParty;
    const char16_t* pszComment;
    const PHONECALLDISPLAY* pDisplay;
};

constexpr std::uint32_t PMCF_DEFAULT = 1;

// Status values in the HRESULT convention: callers test only the sign.
constexpr std::int32_t kPhoneCallPlaced = 0;
constexpr std::int32_t kPhoneCallFailed = static_cast<std::int32_t>(0x80004005u);
constexpr std::int32_t kPhoneCallInvalidArg = static_cast<std::int32_t>(0x80070057u);
constexpr std::int32_t kPhoneCallCancelled = static_cast<std::int32_t>(0x800704C7u);

// Places the call through the phone service (see PhoneService); returns
// kPhoneCallPlaced or a negative status, never success for a call not placed.
// Events go on being handled until the phone service has answered.
std::int32_t PhoneMakeCall(const PHONEMAKECALLINFO* info);

// Makes the PhoneMakeCall under way return kPhoneCallCancelled, leaving no
// call behind; does nothing when none is under way.
void PhoneCancelMakeCall();

// Why the last PhoneMakeCall failed, for the user; empty after a success.
QString PhoneLastError();

// The id of the call the last PhoneMakeCall placed (PhoneService::callEnded
// names it), or 0 after a failure.
quint64 PhoneLastCallId();
