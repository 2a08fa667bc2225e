#pragma once

#include <QString>
#include <QStringList>

#include <memory>
#include <vector>

struct Contact {
    int oid = 0; // valid while its store is open; never 0
    QString identifier; // the card's UID, else "<file>#<index in file>"
    QString fileAs;
    QString displayName; // FN, or the file-as name when the card has none
    QString foldedName; // displayName through foldForSearch: the sort and search key
    QString mobile; // empty when the card has no mobile number
    QStringList phones; // "mobile 555 0100", "home 555 0199": for showing only
    QStringList numbers; // the same numbers without their labels, for searching
};

// Lower case, accents removed: "María" sorts and searches as "maria".
QString foldForSearch(const QString& text);

// The user's vCard contacts, read once when opened. Read only.
class ContactStore {
public:
    // $XDG_DATA_HOME/kpeoplevcard (Plasma Mobile's folder, synced by tools
    // that write one card per file) and $XDG_DATA_HOME/dialer/contacts.
    static QStringList defaultFolders();

    // Reads every *.vcf and *.vcard file in the folders and in their direct
    // subfolders (one subfolder per address book, as vdirsyncer lays them
    // out). Missing folders and unreadable files count as empty. Contacts are
    // sorted by display name; oids are 1, 2, ... in that order.
    static std::unique_ptr<ContactStore> open(const QStringList& folders = defaultFolders());

    explicit ContactStore(std::vector<Contact> contacts);

    const std::vector<Contact>& contacts() const { return m_contacts; }
    const Contact* itemFromOid(int oid) const;

private:
    std::vector<Contact> m_contacts;
};
