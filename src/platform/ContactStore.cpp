#include "ContactStore.h"

#include "ContactFolders.h"

#include <QElapsedTimer>
#include <QStandardPaths>
#include <QThreadPool>

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

std::unique_ptr<ContactList> ContactStore::read(const QStringList& folders, const VCardLimits& limits,
    const std::atomic<bool>& cancel, const std::function<void(int, qsizetype)>& report)
{
    ContactBatch kept;
    ContactsLeftOut leftOut;
    leftOut.limits = limits;
    if (!readContactFolders(folders, limits, cancel, report, kept, leftOut))
        return nullptr;
    return ContactList::sorted(std::move(kept), leftOut);
}

std::unique_ptr<ContactStore> ContactStore::open(const QStringList& folders, const VCardLimits& limits)
{
    auto store = std::make_unique<ContactStore>();
    const std::atomic<bool> never { false };
    store->m_data = read(folders, limits, never, [](int, qsizetype) {});
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

void ContactStore::logon(const QStringList& folders, const VCardLimits& limits)
{
    if (m_job || m_ready)
        return;
    m_job = std::make_shared<Job>();
    m_job->receiver = this;
    QThreadPool::globalInstance()->start([job = m_job, folders, limits] {
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
        std::unique_ptr<ContactList> data = read(folders, limits, job->cancel, report);
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