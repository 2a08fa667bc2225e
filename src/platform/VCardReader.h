#pragma once

#include <string>
#include <string_view>
#include <vector>

struct VCardPhone {
    std::string number; // as written; a tel: URI loses its scheme and parameters
    std::vector<std::string> types; // lower case: "cell", "home", "voice", ... or an X-ABLabel text
};

struct VCardContact {
    std::string uid; // the UID property; empty when the card has none
    std::string fileAs; // X-EVOLUTION-FILE-AS, N's SORT-AS, "Family, Given", FN or ORG
    std::string displayName; // FN; empty when the card has none
    std::string mobile; // the first number typed cell or mobile
    std::vector<VCardPhone> phones;
};

// Reads every card of a vCard 2.1, 3.0 or 4.0 file, in file order. Tolerant by
// design: junk between cards is skipped, a card without END ends at the next
// BEGIN or at the end of the bytes, bytes that are not UTF-8 are read as
// Windows-1252. Cards with neither a name nor a number are left out: nobody
// could pick them. Never throws; every string it returns is valid UTF-8.
std::vector<VCardContact> parseVCards(std::string_view bytes);

// True when the phone is the contact's mobile: typed CELL, MOBILE or IPHONE,
// or labelled mobile.
bool isMobilePhone(const VCardPhone& phone);

// The word a list shows in front of the number: "mobile", "home", "work",
// "fax", ... a custom label as written, or empty when the card says nothing.
std::string phoneLabel(const VCardPhone& phone);
