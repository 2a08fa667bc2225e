#pragma once

#include <QCoreApplication>

// Every text the phone service gives the user, in one place. The service only
// hands them over (return values and callbacks); the screens show them.
namespace phone::messages {

inline constexpr char kNoPhoneService[] = QT_TRANSLATE_NOOP(
    "Messages", "No phone service is available: this device has no modem and no application for phone calls.");
inline constexpr char kInvalidRequest[] = QT_TRANSLATE_NOOP("Messages", "The call request is not valid.");
inline constexpr char kNoNumber[] = QT_TRANSLATE_NOOP("Messages", "There is no number to dial.");
inline constexpr char kModemRefusedCall[] = QT_TRANSLATE_NOOP("Messages", "The modem refused the call.");
// Polkit said no to CreateCall or Start; ModemManager's own text follows.
inline constexpr char kNotAllowedToCall[]
    = QT_TRANSLATE_NOOP("Messages", "Not allowed to place calls on this device: ");
// ModemManager is there but lets a request go unanswered past its time.
inline constexpr char kModemManagerSilent[] = QT_TRANSLATE_NOOP("Messages", "ModemManager does not answer.");
// The next line names the request and what came back.
inline constexpr char kModemManagerUnreadable[]
    = QT_TRANSLATE_NOOP("Messages", "ModemManager gave an answer that cannot be read.");
inline constexpr char kCallStateUnreadable[]
    = QT_TRANSLATE_NOOP("Messages", "The state of the call cannot be read, so the call was hung up.");
inline constexpr char kPlacingAnother[] = QT_TRANSLATE_NOOP("Messages", "Another call is being placed.");
inline constexpr char kTelHandlerFailed[]
    = QT_TRANSLATE_NOOP("Messages", "The application for phone calls could not be started.");
// The desktop sends tel: links to this program, and no other application takes them.
inline constexpr char kNoOtherTelHandler[] = QT_TRANSLATE_NOOP("Messages",
    "No phone service is available: this device has no modem, and no application for phone calls "
    "other than this dialer.");
inline constexpr char kCallEndedBeforeTones[]
    = QT_TRANSLATE_NOOP("Messages", "The call ended before the tones were sent.");
inline constexpr char kCallEndedMidTones[]
    = QT_TRANSLATE_NOOP("Messages", "The call ended before all the tones were sent.");
inline constexpr char kModemGone[]
    = QT_TRANSLATE_NOOP("Messages", "The modem went away during the call; the tones were not sent.");
inline constexpr char kTonesRefused[] = QT_TRANSLATE_NOOP("Messages", "The phone refused to send the tones.");
// After a refused tone: that tone and all after it, each run between pauses
// and waits apart, so that the user can tell the PIN from the number.
inline constexpr char kTonesNotSent[] = QT_TRANSLATE_NOOP("Messages", "Not sent: ");
inline constexpr char kHangUpFailed[] = QT_TRANSLATE_NOOP("Messages", "The call could not be hung up.");
// What logind shows for the sleep inhibitor held during a call.
inline constexpr char kCallInProgress[] = QT_TRANSLATE_NOOP("Messages", "A call is in progress");
// The question before the tones that follow a wait; the tones go on the next line.
inline constexpr char kSendTonesQuestion[] = QT_TRANSLATE_NOOP("Messages", "Send the following tones?");

// One of the texts above in the user's language.
inline QString text(const char* message)
{
    return QCoreApplication::translate("Messages", message);
}

} // namespace phone::messages
