#pragma once

// The contacts of a store as the chooser lists and searches them: each
// contact with its numbers, and what a search looks in kept beside them.

#include "VCardReader.h"

#include <QString>
#include <QStringList>

#include <memory>
#include <string>
#include <vector>

// A store holds up to 100,000 of these: what is only searched lives in the
// store's search texts, and a file's path is shared by its contacts.
struct Contact {
    int oid = 0; // valid while its store is open; never 0
    int indexInFile = -1; // -1 when the card has a UID
    QString uidOrFile; // the card's UID, else the path of its file
    QString fileAs;
    QString displayName; // FN, or the file-as name when the card has none
    QString mobile; // empty when the card has no mobile number
    QStringList phones; // "mobile 555 0100", "home 555 0199": for showing only

    // The card's UID, else "<file>#<index in file>".
    QString identifier() const
    {
        return indexInFile < 0 ? uidOrFile : uidOrFile + QLatin1Char('#') + QString::number(indexInFile);
    }
};

// What reading left out: contacts past the limits in VCardReader.h, and
// address books that could not be read.
struct ContactsLeftOut {
    qsizetype tooMany = 0; // contacts past kMaxContacts
    qsizetype tooLong = 0; // contacts with a line or a card past its limit
    qsizetype bigFiles = 0; // files past kMaxFileBytes, not read
    VCardLimits limits; // the limits they were read with
    QStringList unreadBooks; // by name
    QStringList whyUnread; // "name: why", a line each

    bool any() const { return tooMany + tooLong + bigFiles > 0 || !unreadBooks.isEmpty(); }
};

// Lower case, accents removed: "María" sorts and searches as "maria".
QString foldForSearch(const QString& text);

// The digits of a number alone: "555 01" finds "(555) 0123".
QString phoneDigits(QStringView number);

// Separates the texts a search looks in, one contact's from the next's.
inline constexpr QChar kSearchSeparator { u'\x1' };

// Contacts with what a search looks in, one after the other: the folded
// name first, which is also the sort key, then the other texts and numbers
// (kSearchSeparator between them), and apart from them the digits of the
// numbers. Filled in the order the contacts are read, without a buffer per
// contact; the cards of a large file a block at a time on every thread, then
// taken in order.
struct ContactBatch {
    std::vector<Contact> contacts;
    QString text;
    QString digits;
    std::vector<qsizetype> textStart { 0 };
    std::vector<qsizetype> digitStart { 0 };

    std::size_t size() const { return contacts.size(); }
    QStringView sortKey(std::size_t i) const;
    // What a search looks in, for contacts[i].
    QStringView searchText(std::size_t i) const;
    QStringView searchDigits(std::size_t i) const;

    // The card as a contact, known by its UID, else by `path` and its index there.
    void add(const VCardContact& card, const QString& path, std::size_t index, std::string& scratch);
    // Moves `count` contacts from `from`, starting at its `first`.
    void take(ContactBatch& from, std::size_t first, std::size_t count);
    // Keeps the first `count` contacts.
    void truncate(std::size_t count);
};

// The contacts sorted by name, numbered 1, 2, ... in that order.
struct ContactList : ContactBatch {
    ContactsLeftOut leftOut;

    static std::unique_ptr<ContactList> sorted(ContactBatch batch, const ContactsLeftOut& leftOut);

    // The contacts of the sources, in their order, as one list: a contact of a
    // later source that an earlier one has too (the same UID, or the same
    // name and the same numbers) shows once, as the earlier one has it. Past
    // leftOut.limits.contacts the rest are left out; then sorted.
    static std::unique_ptr<ContactList> merged(std::vector<ContactBatch> sources, ContactsLeftOut leftOut);
};
