#pragma once

#include "CallHistory.h"

#include <QString>

#include <cstdint>
#include <string>

class QWidget;

// Places `dialString` through PhoneMakeCall and, once the phone service has
// placed it, keeps `call` in the history as placed. Every call the program
// places goes through here, so this is where a call is recorded. A history
// that cannot be written never stops the call: the user is told afterwards.
std::int32_t PlaceCall(const std::u16string& dialString, CallRecord call);

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
