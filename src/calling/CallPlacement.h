#pragma once

#include "CallHistory.h"
#include "PhoneMakeCall.h"

#include <QString>

#include <cstdint>
#include <string>

class QWidget;

// Places `dialString` through PhoneMakeCall, with `display` for the call
// screen, and once the phone service has placed it keeps `call` in the
// history as placed, then how it ended when the phone service says so. Every
// call the program places goes through here, so this is where a call is
// recorded. A history that cannot be written never stops the call: the user
// is told afterwards. A call through the modem shows on the call screen over
// whatever screen the caller opens next.
std::int32_t PlaceCall(const std::u16string& dialString, const PHONECALLDISPLAY& display, CallRecord call);

// Tells the user that a damaged history was moved aside, when it was.
void TellHistoryMovedAside(const HistoryResult& result);
// Tells the user that a change to the history was not saved, and why.
void TellHistoryNotSaved(const HistoryResult& result);

// Whether `number` is an emergency number in the home country.
bool IsEmergencyNumber(const QString& number);

// Says that `number` is an emergency number, called directly and not through
// a card, and on OK places the number itself. True when it was placed.
bool OfferEmergencyCall(QWidget* screen, const QString& number, const QString& contact);

// An emergency number is being placed: PhoneMakeCall has not answered yet.
bool EmergencyCallUnderWay();
