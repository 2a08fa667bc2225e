#include "CallPlacement.h"

#include "CallScreenDlg.h"
#include "ConfirmcallDlg.h"
#include "HomeCountry.h"
#include "MessageBoxes.h"
#include "PhoneNumbers.h"
#include "PhoneService.h"

#include <QCoreApplication>
#include <QPointer>
#include <QTimer>

#include <algorithm>
#include <climits>
#include <map>

namespace {

bool g_emergencyUnderWay = false;

struct KeptEnd {
    CallOutcome outcome;
    std::optional<int> seconds;
};

// What the history keeps of a call's end. Nothing for a call handed to the
// desktop's tel: handler: how it went is not known here, and it stays placed.
std::optional<KeptEnd> keptEnd(phone::CallEnd how, std::optional<std::chrono::seconds> connected)
{
    if (how == phone::CallEnd::HandedOff)
        return std::nullopt;
    if (!connected)
        return KeptEnd { CallOutcome::NotAnswered, std::nullopt };
    return KeptEnd { CallOutcome::Ended, int(std::min<long long>(connected->count(), INT_MAX)) };
}

// The history's row of each call placed, by the phone service's id for it,
// until its end is kept. The end can come while the row is still being
// written; it then waits here for the row.
struct Pairing {
    qint64 row = 0; // 0: not written yet
    std::optional<KeptEnd> end;
};
std::map<quint64, Pairing> g_pairings;

void keepEnd(qint64 row, const KeptEnd& end)
{
    history::runInBackground([row, end](CallHistory& h) { return h.setOutcome(row, end.outcome, end.seconds); },
        &phone::PhoneService::instance(),
        [](const HistoryResult& result) {
            TellHistoryMovedAside(result);
            if (!result.ok())
                AppMessageBox(
                    QCoreApplication::translate("Messages", "How the call ended was not saved in Recent Calls: %1")
                        .arg(result.error));
        });
}

void onCallEnded(quint64 id, phone::CallEnd how, std::optional<std::chrono::seconds> connected)
{
    const auto it = g_pairings.find(id);
    if (it == g_pairings.end())
        return;
    const std::optional<KeptEnd> end = keptEnd(how, connected);
    if (end && it->second.row == 0) {
        it->second.end = end;
        return;
    }
    if (end)
        keepEnd(it->second.row, *end);
    g_pairings.erase(it);
}

// Pairs the call `id` with the history's row once it is written, and keeps
// its end if that came first; `row` 0: the call was not kept.
void pair(quint64 id, qint64 row)
{
    const auto it = g_pairings.find(id);
    if (it == g_pairings.end())
        return;
    if (row != 0 && !it->second.end) {
        it->second.row = row;
        return;
    }
    if (row != 0)
        keepEnd(row, *it->second.end);
    g_pairings.erase(it);
}

void watchCallEnds()
{
    static QPointer<phone::PhoneService> watched;
    auto& service = phone::PhoneService::instance();
    if (watched == &service)
        return;
    watched = &service;
    QObject::connect(&service, &phone::PhoneService::callEnded, &service, &onCallEnded);
}

} // namespace

std::int32_t PlaceCall(const std::u16string& dialString, const PHONECALLDISPLAY& display, CallRecord call)
{
    watchCallEnds();
    // An emergency call opens no confirmation screen: its failures are told
    // in the program's own box all the same.
    InstallCallFailureNotice();
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
    // The call can end while its row is written.
    const quint64 id = PhoneLastCallId();
    g_pairings[id] = {};
    // The call has gone; whatever the history answers, the user learns it
    // here, before the screens move on.
    const HistoryResult recorded = history::runAndWait([call](CallHistory& h) { return h.record(call); });
    pair(id, recorded.ok() ? recorded.id : 0);
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
    // Dialled as digits alone; shown and kept as the number box showed it,
    // and kept with no card. On the call screen the card's line says what
    // the call is.
    QString digits = number;
    digits.removeIf([](QChar c) { return c < u'0' || c > u'9'; });
    const std::u16string line = QCoreApplication::translate("Messages", "Emergency call").toStdU16String(),
                         shownNumber = number.toStdU16String(), shownContact = contact.toStdU16String();
    const PHONECALLDISPLAY display { line.c_str(), shownNumber.c_str(), shownContact.c_str(), 0, 0 };
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
