#pragma once

#include <QString>

#include <optional>

// Numbers as libphonenumber knows them, for a home country given as its
// region code ("GB"). libphonenumber is loaded on first use; where it cannot
// be, no number is made international and only 112 and 911 count as
// emergency numbers.
namespace numbers {

// The longest number looked at: more than any real one with its separators.
inline constexpr qsizetype kMaxNumberLength = 64;

// "+" country code national number, for a number from a contact or a tel:
// link that libphonenumber reads as a whole number of `home` or of a country
// it names itself ("0044 ...", "+44 ..."). Nothing for short and service
// codes, numbers dialled only locally, letters, or no home country: those
// stay as they are.
std::optional<QString> internationalForm(const QString& number, const QString& home);

// What the number box shows for a number from a contact or a tel: link:
// its international form, or `cleaned` when it has none or is an emergency
// number, which is dialled as it is.
QString boxForm(const QString& number, const QString& cleaned, const QString& home);

// 112 and 911 anywhere, and the emergency numbers of `home`, as typed or
// with - . ( ) or blanks between the digits.
bool isEmergencyNumber(const QString& number, const QString& home);

// A two-letter region code that libphonenumber knows, in capitals.
bool isKnownRegion(const QString& region);

// Loads libphonenumber and its metadata on a worker thread, ahead of need.
void preload();

} // namespace numbers
