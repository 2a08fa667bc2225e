#include "PhoneMakeCall.h"

#include "PhoneService.h"
#include "PhoneServiceMessages.h"

#include <QCoreApplication>
#include <QEventLoop>

#include <cstddef>
#include <optional>

namespace {

// The dial string the screens compose is at most 255 characters.
constexpr std::size_t kMaxDialString = 255;

QString& lastError()
{
    static QString error;
    return error;
}

quint64& lastCallId()
{
    static quint64 id = 0;
    return id;
}

std::int32_t fail(std::int32_t status, const QString& why)
{
    lastError() = why;
    lastCallId() = 0;
    return status;
}

// A text of the display record: at most kMaxDisplayText characters are read.
QString displayText(const char16_t* text)
{
    constexpr qsizetype kMaxDisplayText = 256;
    if (text == nullptr)
        return {};
    qsizetype length = 0;
    while (length < kMaxDisplayText && text[length] != u'\0')
        ++length;
    return QString::fromUtf16(text, length);
}

std::optional<phone::CallDisplay> displayOf(const PHONEMAKECALLINFO& info, qsizetype dialLength)
{
    constexpr std::size_t covered = offsetof(PHONEMAKECALLINFO, pDisplay) + sizeof(const PHONECALLDISPLAY*);
    if (info.cbSize < covered || info.pDisplay == nullptr)
        return std::nullopt;
    const PHONECALLDISPLAY& d = *info.pDisplay;
    phone::CallDisplay display { displayText(d.pszCardName), displayText(d.pszNumber), displayText(d.pszContact), {} };
    // A PIN span that does not lie inside the dial string is no span at all;
    // the whole dial string is then hidden rather than a PIN shown.
    if (d.cchPin > 0
        && (d.dwPinOffset >= std::uint32_t(dialLength) || d.cchPin > std::uint32_t(dialLength) - d.dwPinOffset))
        display.pin = { 0, dialLength };
    else
        display.pin = { qsizetype(d.dwPinOffset), qsizetype(d.cchPin) };
    return display;
}

} // namespace

std::int32_t PhoneMakeCall(const PHONEMAKECALLINFO* info)
{
    const QString invalid = phone::messages::text(phone::messages::kInvalidRequest);
    constexpr std::size_t fieldsRead = offsetof(PHONEMAKECALLINFO, pszDestAddress) + sizeof(const char16_t*);
    if (info == nullptr || info->cbSize < fieldsRead || info->pszDestAddress == nullptr)
        return fail(kPhoneCallInvalidArg, invalid);

    std::size_t length = 0;
    while (info->pszDestAddress[length] != u'\0') {
        if (++length > kMaxDialString)
            return fail(kPhoneCallInvalidArg, invalid);
    }
    if (length == 0)
        return fail(kPhoneCallInvalidArg, phone::messages::text(phone::messages::kNoNumber));
    if (QCoreApplication::instance() == nullptr)
        return fail(kPhoneCallFailed, phone::messages::text(phone::messages::kNoPhoneService));

    const QString dialString = QString::fromUtf16(info->pszDestAddress, static_cast<qsizetype>(length));
    // The caller waits for the phone service in a loop of its own, so that
    // windows keep painting, timers keep firing and PhoneCancelMakeCall can
    // be called meanwhile.
    auto& service = phone::PhoneService::instance();
    std::optional<phone::CallOutcome> outcome;
    QEventLoop waiting;
    service.placeCall(
        dialString,
        [&](const phone::CallOutcome& o) {
            outcome = o;
            waiting.quit();
        },
        displayOf(*info, dialString.size()));
    if (!outcome)
        waiting.exec();
    if (!outcome) // the application is quitting
        service.cancelPlacement();
    if (outcome->cancelled)
        return fail(kPhoneCallCancelled, {});
    if (!outcome->placed)
        return fail(kPhoneCallFailed, outcome->error);
    lastError().clear();
    lastCallId() = outcome->id;
    return kPhoneCallPlaced;
}

quint64 PhoneLastCallId()
{
    return lastCallId();
}

QString PhoneLastError()
{
    return lastError();
}

void PhoneCancelMakeCall()
{
    if (QCoreApplication::instance() != nullptr)
        phone::PhoneService::instance().cancelPlacement();
}
