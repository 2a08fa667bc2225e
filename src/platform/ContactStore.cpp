#include "ContactStore.h"

#include "ContactFolders.h"
#include "EdsContacts.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QStandardPaths>
#include <QThreadPool>

#include <algorithm>
#include <mutex>

struct ContactStore::Job {
    std::atomic<bool> cancel { false };
    std::mutex mutex;
    ContactStore* receiver = nullptr; // null once the store has let go
    std::unique_ptr<ContactList> result;
};

namespace {

// A large store takes tens of milliseconds to free: that is done on a pool
// thread, not on the GUI thread that lets it go.
template <typename T> void freeElsewhere(std::unique_ptr<T> data)
{
    if (!data)
        return;
    std::function<void()> task = [owned = std::shared_ptr<T>(std::move(data))]() mutable { owned.reset(); };
    QThreadPool::globalInstance()->start(std::move(task));
}

} // namespace

QStringList ContactStore::defaultFolders()
{
    // GenericDataLocation's first entry is $XDG_DATA_HOME, or ~/.local/share.
    const QString data = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation);
    return { data + QStringLiteral("/kpeoplevcard"), data + QStringLiteral("/dialer/contacts") };
}

namespace {

QString whyUnread(const EdsBook& book)
{
    switch (book.status) {
    case EdsBook::Status::TimedOut:
        return QCoreApplication::translate("ContactChooser", "did not answer in time");
    case EdsBook::Status::NotReached:
        return QCoreApplication::translate("ContactChooser", "not reached: the one before did not answer");
    case EdsBook::Status::Failed:
    case EdsBook::Status::Read:
        break;
    }
    return QString::fromStdString(book.detail);
}

// The cards of the books as contacts, read by the same reader as the
// folders' cards, a block at a time on every thread. The books that could
// not be read are named in `leftOut`.
ContactBatch contactsOf(const std::vector<EdsBook>& books, VCardLimits limits, ContactsLeftOut& leftOut)
{
    struct Card {
        std::size_t book;
        std::size_t index;
    };
    std::vector<Card> cards;
    // EDS gives every card a UID; one without is known by its book and place.
    QStringList places;
    for (std::size_t b = 0; b < books.size(); ++b) {
        const EdsBook& book = books[b];
        const QString name
            = book.name.empty() ? QStringLiteral("Evolution Data Server") : QString::fromStdString(book.name);
        places << QStringLiteral("evolution:") + name;
        if (book.status != EdsBook::Status::Read) {
            leftOut.unreadBooks << name;
            leftOut.whyUnread << name + QStringLiteral(": ") + whyUnread(book);
        }
        for (std::size_t i = 0; i < book.cards.size(); ++i)
            cards.push_back({ b, i });
    }
    limits.contacts = cards.size(); // the limit is the merged list's
    constexpr std::size_t kBlock = 1024;
    std::vector<ContactBatch> blocks((cards.size() + kBlock - 1) / kBlock);
    std::vector<std::size_t> tooLong(blocks.size());
    forEachOnThreads(blocks.size(), readingThreads(), [&](std::size_t block) {
        VCardStream stream;
        std::string scratch;
        for (std::size_t k = block * kBlock; k < std::min(cards.size(), (block + 1) * kBlock); ++k) {
            const auto [book, index] = cards[k];
            const auto take
                = [&](const VCardContact& c) { blocks[block].add(c, places[qsizetype(book)], index, scratch); };
            tooLong[block] += stream.read(books[book].cards[index], limits, take).tooLong;
        }
    });
    ContactBatch all;
    for (std::size_t block = 0; block < blocks.size(); ++block) {
        all.take(blocks[block], 0, blocks[block].size());
        leftOut.tooLong += static_cast<qsizetype>(tooLong[block]);
    }
    return all;
}

} // namespace

std::unique_ptr<ContactList> ContactStore::read(const QStringList& folders, const VCardLimits& limits,
    AddressBooks books, const std::atomic<bool>& cancel, const std::function<void(int, qsizetype)>& report)
{
    // The address books are read on a thread of their own while the folders
    // are read here; each counts for half of the progress.
    const std::unique_ptr<EdsReading> eds = books == AddressBooks::IfInUse ? EdsReading::start() : nullptr;
    const auto half = [&](int permille) { return eds ? permille / 2 : permille; };
    ContactBatch fromFolders;
    ContactsLeftOut leftOut;
    leftOut.limits = limits;
    const auto folderProgress = [&](int permille, qsizetype found) { report(half(permille), found); };
    if (!readContactFolders(folders, limits, cancel, folderProgress, fromFolders, leftOut))
        return nullptr;
    std::vector<EdsBook> read;
    if (eds) {
        const qsizetype inFolders = qsizetype(fromFolders.size());
        read = eds->wait(
            cancel, [&](int permille, std::size_t found) { report(500 + permille / 2, inFolders + qsizetype(found)); });
    }
    if (cancel)
        return nullptr;
    // The phone's own address books come first: a contact in a folder as
    // well shows as they have it.
    std::vector<ContactBatch> sources;
    sources.push_back(contactsOf(read, limits, leftOut));
    sources.push_back(std::move(fromFolders));
    std::unique_ptr<ContactList> list = ContactList::merged(std::move(sources), leftOut);
    // EDS's own cards and their text go while the list is shown.
    freeElsewhere(std::make_unique<std::vector<EdsBook>>(std::move(read)));
    return list;
}

std::unique_ptr<ContactStore> ContactStore::open(const QStringList& folders, const VCardLimits& limits)
{
    auto store = std::make_unique<ContactStore>();
    const std::atomic<bool> never { false };
    store->m_data = read(folders, limits, AddressBooks::None, never, [](int, qsizetype) {});
    store->m_ready = true;
    return store;
}

ContactStore::ContactStore()
    : m_data(std::make_unique<ContactList>())
{
}

ContactStore::~ContactStore()
{
    logoff();
}

void ContactStore::logon(const QStringList& folders, const VCardLimits& limits, AddressBooks books)
{
    if (m_job || m_ready)
        return;
    m_job = std::make_shared<Job>();
    m_job->receiver = this;
    QThreadPool::globalInstance()->start([job = m_job, folders, limits, books] {
        QElapsedTimer sinceReport;
        auto report = [&](int permille, qsizetype found) {
            // A few reports a second are enough for a progress bar.
            if (sinceReport.isValid() && sinceReport.elapsed() < 50)
                return;
            sinceReport.start();
            std::lock_guard lock(job->mutex);
            if (ContactStore* store = job->receiver)
                QMetaObject::invokeMethod(
                    store, [store, permille, found] { emit store->progress(permille, found); }, Qt::QueuedConnection);
        };
        std::unique_ptr<ContactList> data = read(folders, limits, books, job->cancel, report);
        std::lock_guard lock(job->mutex);
        if (ContactStore* store = job->receiver; store && data) {
            job->result = std::move(data);
            QMetaObject::invokeMethod(
                store, [store] { store->adopt(); }, Qt::QueuedConnection);
        }
    });
}

void ContactStore::adopt()
{
    std::unique_ptr<ContactList> data;
    if (m_job) {
        std::lock_guard lock(m_job->mutex);
        data = std::move(m_job->result);
    }
    if (!data)
        return;
    freeElsewhere(std::exchange(m_data, std::move(data)));
    m_ready = true;
    emit ready();
}

void ContactStore::logoff()
{
    if (m_job) {
        m_job->cancel = true;
        std::lock_guard lock(m_job->mutex);
        m_job->receiver = nullptr;
        freeElsewhere(std::move(m_job->result));
    }
    m_job.reset();
    freeElsewhere(std::exchange(m_data, std::make_unique<ContactList>()));
    m_ready = false;
}

const std::vector<Contact>& ContactStore::contacts() const
{
    return m_data->contacts;
}

const ContactsLeftOut& ContactStore::leftOut() const
{
    return m_data->leftOut;
}

const Contact* ContactStore::itemFromOid(int oid) const
{
    if (oid < 1 || static_cast<std::size_t>(oid) > m_data->contacts.size())
        return nullptr;
    return &m_data->contacts[static_cast<std::size_t>(oid) - 1];
}

QStringView ContactStore::searchText(std::size_t i) const
{
    return m_data->searchText(i);
}

QStringView ContactStore::searchDigits(std::size_t i) const
{
    return m_data->searchDigits(i);
}