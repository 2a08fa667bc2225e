#pragma once

#include "ContactList.h"

#include <QObject>
#include <QString>
#include <QStringList>

#include <atomic>
#include <functional>
#include <memory>
#include <vector>

// The user's contacts, read once: the address books of Evolution Data Server
// where it is in use (GNOME, Phosh) and the vCard folders (Plasma Mobile,
// sync tools), in one list. Read only. Reading takes seconds for the largest
// address books, so logon() reads on worker threads while the GUI goes on;
// open() reads the folders alone, on the calling thread.
class ContactStore : public QObject {
    Q_OBJECT
public:
    // $XDG_DATA_HOME/kpeoplevcard (Plasma Mobile's folder, synced by tools
    // that write one card per file) and $XDG_DATA_HOME/dialer/contacts.
    static QStringList defaultFolders();

    // Reads every *.vcf and *.vcard file in the folders and in their direct
    // subfolders (one subfolder per address book, as vdirsyncer lays them
    // out); a folder reached twice through links is read once. Missing
    // folders and unreadable files count as empty. Contacts are sorted by
    // display name; oids are 1, 2, ... in that order.
    static std::unique_ptr<ContactStore> open(
        const QStringList& folders = defaultFolders(), const VCardLimits& limits = {});

    ContactStore(); // empty until logon() has read it
    ~ContactStore() override;

    enum class AddressBooks {
        None,
        IfInUse, // EDS's, where it is in use; see EdsContacts.h
    };

    // Starts reading the folders as open() does, and the address books, on
    // worker threads, and returns at once; progress() follows, then ready().
    // Once per store. A contact in both shows once, as the address book has
    // it; an address book that cannot be read is named in leftOut().
    void logon(const QStringList& folders = defaultFolders(), const VCardLimits& limits = {},
        AddressBooks books = AddressBooks::IfInUse);
    // Stops a reading under way; the store stays empty and not ready.
    void logoff();

    bool isReady() const { return m_ready; }
    const std::vector<Contact>& contacts() const;
    const Contact* itemFromOid(int oid) const;
    const ContactsLeftOut& leftOut() const;

    // What a search looks in, for contacts()[i]: its folded names and its
    // numbers as written, and the digits of its numbers; both separated by
    // kSearchSeparator.
    QStringView searchText(std::size_t i) const;
    QStringView searchDigits(std::size_t i) const;

signals:
    // How far reading has got, in thousandths, and the contacts found so far.
    void progress(int permille, qsizetype found);
    void ready();

private:
    struct Job;
    static std::unique_ptr<ContactList> read(const QStringList& folders, const VCardLimits& limits, AddressBooks books,
        const std::atomic<bool>& cancel, const std::function<void(int, qsizetype)>& report);
    void adopt();

    std::unique_ptr<ContactList> m_data;
    std::shared_ptr<Job> m_job;
    bool m_ready = false;
};
