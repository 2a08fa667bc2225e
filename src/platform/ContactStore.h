#pragma once

#include "VCardReader.h"

#include <QObject>
#include <QString>
#include <QStringList>

#include <atomic>
#include <functional>
#include <memory>
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

// What reading left out because of the limits in VCardReader.h.
struct ContactsLeftOut {
    qsizetype tooMany = 0; // contacts past kMaxContacts
    qsizetype tooLong = 0; // contacts with a line or a card past its limit
    qsizetype bigFiles = 0; // files past kMaxFileBytes, not read
    VCardLimits limits; // the limits they were read with

    bool any() const { return tooMany + tooLong + bigFiles > 0; }
};

// Lower case, accents removed: "María" sorts and searches as "maria".
QString foldForSearch(const QString& text);

// The digits of a number alone: "555 01" finds "(555) 0123".
QString phoneDigits(QStringView number);

// The user's vCard contacts, read once. Read only. Reading takes seconds for
// the largest address books, so logon() reads on a worker thread while the
// GUI goes on; open() reads on the calling thread.
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

    // Starts reading the folders as open() does, on a worker thread, and
    // returns at once; progress() follows, then ready(). Once per store.
    void logon(const QStringList& folders = defaultFolders(), const VCardLimits& limits = {});
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
    static constexpr QChar kSearchSeparator { u'\x1' };

signals:
    // How far reading has got, in thousandths, and the contacts found so far.
    void progress(int permille, qsizetype found);
    void ready();

private:
    struct Data;
    struct Job;
    static std::unique_ptr<Data> read(const QStringList& folders, const VCardLimits& limits,
        const std::atomic<bool>& cancel, const std::function<void(int, qsizetype)>& report);
    void adopt();

    std::unique_ptr<Data> m_data;
    std::shared_ptr<Job> m_job;
    bool m_ready = false;
};
