#include "CallPlacement.h"

#include "CallScreenDlg.h"
#include "HomeCountry.h"
#include "MessageBoxes.h"
#include "PhoneNumbers.h"

#include <QCoreApplication>
#include <QTimer>

namespace {

bool g_emergencyUnderWay = false;

} // namespace

std::int32_t PlaceCall(const std::u16string& dialString, const PHONECALLDISPLAY& display, CallRecord call)
{
    call.placedAt = QDateTime::currentDateTimeUtc();
    call.outcome = CallOutcome::Placed;
    PHONEMAKECALLINFO info {};
    info.cbSize = sizeof info;
    info.dwFlags = PMCF_DEFAULT;
    info.pszDestAddress = dialString.c_str();
    info.pszCalledParty = u"";
    info.pDisplay = &display;
    const std::int32_t status = PhoneMakeCall(&info);
    if (status != kPhoneCallPlaced)
        return status;
    const quint64 id = PhoneLastCallId();
    // The call has gone; whatever the history answers, the user learns it
    // here, before the screens move on.
    const HistoryResult recorded = history::runAndWait([call](CallHistory& h) { return h.record(call); });
    TellHistoryMovedAside(recorded);
    if (!recorded.ok())
        AppMessageBox(QCoreApplication::translate("Messages", "The call was placed, but not saved in Recent Calls: %1")
                          .arg(recorded.error));
    // From inside the loop of the screen the caller opens next (the fresh
    // home screen), for the call's life; nothing for a call handed on.
    QTimer::singleShot(0, qApp, [id] { ShowCallScreen(id); });
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
    // Dialled as digits alone; shown and kept as the number box showed it.
    QString digits = number;
    digits.removeIf([](QChar c) { return c < u'0' || c > u'9'; });
    const std::u16string shownNumber = number.toStdU16String(), shownContact = contact.toStdU16String();
    const PHONECALLDISPLAY display { nullptr, shownNumber.c_str(), shownContact.c_str(), 0, 0 };
    g_emergencyUnderWay = true;
    const std::int32_t status
        = PlaceCall(digits.toStdU16String(), display, { 0, {}, {}, number, contact, {}, {}, false });
    g_emergencyUnderWay = false;
    if (status < 0 && status != kPhoneCallCancelled)
        AppMessageBox(PhoneLastError());
    return status == kPhoneCallPlaced;
}

bool EmergencyCallUnderWay()
{
    return g_emergencyUnderWay;
}
