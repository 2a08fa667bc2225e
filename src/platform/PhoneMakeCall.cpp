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

std::int32_t fail(std::int32_t status, const QString& why)
{
    lastError() = why;
    return status;
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
    service.placeCall(dialString, [&](const phone::CallOutcome& o) {
        outcome = o;
        waiting.quit();
    });
    if (!outcome)
        waiting.exec();
    if (!outcome) // the application is quitting
        service.cancelPlacement();
    if (outcome->cancelled)
        return fail(kPhoneCallCancelled, {});
    if (!outcome->placed)
        return fail(kPhoneCallFailed, outcome->error);
    lastError().clear();
    return kPhoneCallPlaced;
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
