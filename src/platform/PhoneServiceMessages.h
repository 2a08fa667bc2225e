#pragma once

// Every text the phone service gives the user, in one place. The service only
// hands them over (return values and callbacks); the screens show them.
namespace phone::messages {

inline constexpr char kNoPhoneService[]
    = "No phone service is available: this device has no modem and no application for phone calls.";
inline constexpr char kInvalidRequest[] = "The call request is not valid.";
inline constexpr char kNoNumber[] = "There is no number to dial.";
inline constexpr char kModemRefusedCall[] = "The modem refused the call.";
inline constexpr char kTelHandlerFailed[] = "The application for phone calls could not be started.";
inline constexpr char kCallEndedBeforeTones[] = "The call ended before the tones were sent.";
inline constexpr char kModemGone[] = "The modem went away during the call; the tones were not sent.";
inline constexpr char kTonesRefused[] = "The phone refused to send the tones.";
// The question before the tones that follow a wait; the tones go on the next line.
inline constexpr char kSendTonesQuestion[] = "Send the following tones?";

} // namespace phone::messages
