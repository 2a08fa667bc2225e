#pragma once

// Every text the phone service gives the user, in one place. The service only
// hands them over (return values and callbacks); the screens show them.
namespace phone::messages {

inline constexpr char kNoPhoneService[]
    = "No phone service is available: this device has no modem and no application for phone calls.";
inline constexpr char kInvalidRequest[] = "The call request is not valid.";
inline constexpr char kNoNumber[] = "There is no number to dial.";
inline constexpr char kModemRefusedCall[] = "The modem refused the call.";
// Polkit said no to CreateCall or Start; ModemManager's own text follows.
inline constexpr char kNotAllowedToCall[] = "Not allowed to place calls on this device: ";
// ModemManager is there but lets a request go unanswered past its time.
inline constexpr char kModemManagerSilent[] = "ModemManager does not answer.";
// The next line names the request and what came back.
inline constexpr char kModemManagerUnreadable[] = "ModemManager gave an answer that cannot be read.";
inline constexpr char kCallStateUnreadable[] = "The state of the call cannot be read, so the call was hung up.";
inline constexpr char kPlacingAnother[] = "Another call is being placed.";
inline constexpr char kTelHandlerFailed[] = "The application for phone calls could not be started.";
// The desktop sends tel: links to this program, and no other application takes them.
inline constexpr char kNoOtherTelHandler[]
    = "No phone service is available: this device has no modem, and no application for phone calls "
      "other than this dialer.";
inline constexpr char kCallEndedBeforeTones[] = "The call ended before the tones were sent.";
inline constexpr char kCallEndedMidTones[] = "The call ended before all the tones were sent.";
inline constexpr char kModemGone[] = "The modem went away during the call; the tones were not sent.";
inline constexpr char kTonesRefused[] = "The phone refused to send the tones.";
// After a refused tone: that tone and all after it, each run between pauses
// and waits apart, so that the user can tell the PIN from the number.
inline constexpr char kTonesNotSent[] = "Not sent: ";
// The question before the tones that follow a wait; the tones go on the next line.
inline constexpr char kSendTonesQuestion[] = "Send the following tones?";

} // namespace phone::messages
