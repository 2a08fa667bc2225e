#include "CallPlacement.h"

#include "HomeCountry.h"
#include "MessageBoxes.h"
#include "PhoneMakeCall.h"
#include "PhoneNumbers.h"

#include <QCoreApplication>

namespace {

bool g_emergencyUnderWay = false;

} // namespace

std::int32_t PlaceCall(const std::u16string& dialString, CallRecord call)
{
    call.placedAt = QDateTime::currentDateTimeUtc();
    call.outcome = CallOutcome::Placed;
    PHONEMAKECALLINFO info {};
    info.cbSize = sizeof info;
    info.dwFlags = PMCF_DEFAULT;
    info.pszDestAddress = dialString.c_str();
    info.pszCalledParty = u"";
    const std::int32_t status = PhoneMakeCall(&info);
    if (status != kPhoneCallPlaced)
        return status;
    // The call has gone; whatever the history answers, the user learns it
    // here, before the screens move on.
    const HistoryResult recorded = history::runAndWait([call](CallHistory& h) { return h.record(call); });
    TellHistoryMovedAside(recorded);
    if (!recorded.ok())
        AppMessageBox(QCoreApplication::translate("Messages", "The call was placed, but not saved in Recent Calls: %1")
                          .arg(recorded.error));
    return status;
}

void TellHistoryMovedAside(const HistoryResult& result)
{
    if (!result.movedAside.isEmpty())
        AppMessageBox(QCoreApplication::translate("Messages",
            "Recent Calls could not be read, and were moved aside to %1. A new list of recent calls was started.")
                          .arg(result.movedAside));
}

void TellHistoryNotSaved(const HistoryResult& result)
{
    AppMessageBox(
        QCoreApplication::translate("Messages", "Your change was not saved in Recent Calls: %1").arg(result.error));
}

bool IsEmergencyNumber(const QString& number)
{
    return numbers::isEmergencyNumber(number, HomeCountry::instance().current());
}

bool OfferEmergencyCall(QWidget* screen, const QString& number, const QString& contact)
{
    if (g_emergencyUnderWay)
        return false;
    if (!QuestionBox(screen,
            QCoreApplication::translate(
                "Messages", "%1 is an emergency number: it is called directly, not through the card.")
                .arg(number)))
        return false;
    // Dialled as digits alone; kept as the number box showed it.
    QString digits = number;
    digits.removeIf([](QChar c) { return c < u'0' || c > u'9'; });
    g_emergencyUnderWay = true;
    const std::int32_t status = PlaceCall(digits.toStdU16String(), { 0, {}, {}, number, contact, {}, {}, false });
    g_emergencyUnderWay = false;
    if (status < 0 && status != kPhoneCallCancelled)
        AppMessageBox(PhoneLastError());
    return status == kPhoneCallPlaced;
}

bool EmergencyCallUnderWay()
{
    return g_emergencyUnderWay;
}
