#pragma once

#include <atomic>
#include <cstddef>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

// The reader's limits. Address books are written by other programs and sync
// tools, so a file may be of any size and shape; these bound what one pick
// can cost in memory and time. Each is far above what a real address book
// needs, and what goes past one is left out and counted, never read in part.

// One file, in bytes. An export of 100,000 contacts with names, numbers,
// addresses and notes takes about 30 MB; a file is read whole, so this is
// also the largest buffer a pick holds. Larger files are left out.
inline constexpr std::size_t kMaxFileBytes = 64u << 20;

// Contacts in all. Google allows 25,000 per account and iCloud 50,000; the
// chooser is built to search 100,000 within a keystroke. The first ones, in
// file order, are kept.
inline constexpr std::size_t kMaxContacts = 100'000;

// One name, number, label or identifier line as written, after its folded
// and soft-broken lines are joined. The longest real names are a few hundred
// characters; quoted-printable writes a Cyrillic letter in 6 bytes, so a
// 2,000-letter name still fits. A card with a longer one is left out. Lines
// the contact list does not use (photos, notes, keys) are passed over
// without being kept, so embedded photos of any size cost nothing.
inline constexpr std::size_t kMaxPropertyBytes = 16u << 10;

// All the kept lines of one card together: a card of 100 numbers with labels
// takes 5 KB. Bounds a card of endless TEL lines, which no single line limit
// catches. A card with more is left out, counted with the long lines.
inline constexpr std::size_t kMaxCardBytes = 64u << 10;

struct VCardLimits {
    std::size_t fileBytes = kMaxFileBytes;
    std::size_t contacts = kMaxContacts;
    std::size_t propertyBytes = kMaxPropertyBytes;
    std::size_t cardBytes = kMaxCardBytes;
};

struct VCardPhone {
    std::string number; // as written, with a digit; a tel: URI loses its scheme and parameters
    std::vector<std::string> types; // as written: "CELL", "home", "voice", ... or an X-ABLabel text

    bool operator==(const VCardPhone&) const = default;
};

struct VCardContact {
    std::string uid; // the UID property; empty when the card has none
    std::string fileAs; // X-EVOLUTION-FILE-AS, N's SORT-AS, "Family, Given", FN or ORG
    std::string displayName; // FN; empty when the card has none
    std::string mobile; // the first number typed cell or mobile
    std::vector<VCardPhone> phones;

    bool operator==(const VCardContact&) const = default;
};

struct VCardCards {
    std::vector<VCardContact> contacts;
    std::size_t tooLong = 0; // cards left out for a line or a card over its limit
    std::size_t tooMany = 0; // cards left out past limits.contacts

    bool operator==(const VCardCards&) const = default;
};

// Reads the cards of a vCard 2.1, 3.0 or 4.0 file, in the order of their
// BEGIN lines. Tolerant by design: junk between cards is skipped; a BEGIN
// inside a card opens a card nested in it, a card of its own, and an END
// closes the innermost card, so a card without END ends at its parent's END
// or at the end of the bytes, and the parent keeps the lines after its
// nested cards; a card nested in a 2.1 card's AGENT is passed over. A
// CHARSET is read with iconv when glibc knows it; text with none that is not
// UTF-8 is read in a charset the card declares elsewhere, else as
// Windows-1252, as is text in an unknown charset where it is not UTF-8. A TEL
// with no digit, or a SIP address, is no number. Cards with neither a name
// nor a number are left out unseen: nobody could pick them. Cards over the
// line or card limit, and those past the first limits.contacts, are left out
// and counted (limits.fileBytes is the caller's). Never throws; every string
// it returns is valid UTF-8.
VCardCards parseVCards(std::string_view bytes, const VCardLimits& limits = {});

// Reads file after file as parseVCards() does, but hands each card it keeps
// to `take` instead of keeping it, and keeps its buffers from card to card
// and file to file: reading thousands of small files then allocates next to
// nothing for the cards. One per thread.
class VCardStream {
public:
    VCardStream();
    ~VCardStream();
    VCardStream(const VCardStream&) = delete;
    VCardStream& operator=(const VCardStream&) = delete;

    // What parseVCards(bytes, limits) would return, but with no contacts:
    // each went to take(), valid during that call only.
    VCardCards read(
        std::string_view bytes, const VCardLimits& limits, const std::function<void(const VCardContact&)>& take);

private:
    struct State;
    std::unique_ptr<State> m_state;
};

// The same result as parseVCards, card for card, for a large file: the bytes
// are cut into stretches of about `stretch` bytes before lines that are just
// "BEGIN:VCARD", and the stretches are parsed on up to `threads` threads, a
// few at a time so that memory stays bounded however many cards are left
// out. Stops early, with what it has, once *cancel is set; tells `parsed`
// how many bytes are done after each few stretches.
VCardCards parseVCardsInStretches(std::string_view bytes, const VCardLimits& limits, std::size_t stretch,
    unsigned threads, const std::atomic<bool>* cancel = nullptr, const std::function<void(std::size_t)>& parsed = {});

// Calls work(i) for every i below `items` on up to `threads` threads, the
// calling one included; threads are started only for two items or more.
void forEachOnThreads(std::size_t items, unsigned threads, const std::function<void(std::size_t)>& work);

// True when the phone is the contact's mobile: typed CELL, MOBILE or IPHONE,
// or labelled mobile.
bool isMobilePhone(const VCardPhone& phone);

// The word a list shows in front of the number: "mobile", "home", "work",
// "fax", ... a custom label as written, or empty when the card says nothing.
std::string phoneLabel(const VCardPhone& phone);
