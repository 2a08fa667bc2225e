#include "ContactStore.h"

#include <QElapsedTimer>
#include <QFile>
#include <QStandardPaths>
#include <QThreadPool>

#include <algorithm>
#include <cerrno>
#include <iterator>
#include <limits>
#include <mutex>
#include <set>
#include <thread>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// Files up to this size are read and parsed whole by one thread; larger ones
// are cut into stretches of it and parsed by all threads.
constexpr std::size_t kStretch = 512 * 1024;

// Small files are read a few megabytes at a time, so that their cards wait in
// memory only until the ones before them are counted against the limit.
constexpr std::size_t kWindowBytes = 8u << 20;
constexpr std::size_t kBytesPerFile = 4096; // what a file counts in a window, beyond its bytes

unsigned threadCount()
{
    return std::clamp(std::thread::hardware_concurrency(), 1u, 8u);
}

bool isCardFile(std::string_view name)
{
    // The extension as std::filesystem sees it: ".vcf" alone is a hidden
    // file without one.
    const std::size_t dot = name.rfind('.');
    if (dot == 0 || dot == std::string_view::npos)
        return false;
    std::string ext(name.substr(dot));
    for (char& c : ext)
        c = static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
    return ext == ".vcf" || ext == ".vcard";
}

// Paths in the order of their components, as std::filesystem::path orders
// them: "a/z.vcf" before "a-b.vcf" and "a.vcf", and bytes unsigned. The same
// as comparing the strings with '/' below every other byte.
bool componentLess(std::string_view a, std::string_view b)
{
    const std::size_t n = std::min(a.size(), b.size());
    std::size_t i = 0;
    while (i < n && a[i] == b[i])
        ++i;
    if (i == n)
        return a.size() < b.size();
    const auto rank = [](char c) { return c == '/' ? 0 : static_cast<unsigned char>(c) + 1; };
    return rank(a[i]) < rank(b[i]);
}

class Fd {
public:
    explicit Fd(int fd = -1)
        : m_fd(fd)
    {
    }
    ~Fd() { reset(); }
    Fd(Fd&& other) noexcept
        : m_fd(std::exchange(other.m_fd, -1))
    {
    }
    Fd& operator=(Fd&& other) noexcept
    {
        reset(std::exchange(other.m_fd, -1));
        return *this;
    }
    int get() const { return m_fd; }
    void reset(int fd = -1)
    {
        if (m_fd >= 0)
            ::close(m_fd);
        m_fd = fd;
    }

private:
    int m_fd;
};

using FolderIds = std::set<std::pair<dev_t, ino_t>>;
constexpr int kFolderFlags = O_RDONLY | O_DIRECTORY | O_CLOEXEC | O_NONBLOCK;

// A folder read: open while its files are, which are named relative to it.
struct Folder {
    Fd fd;
    std::string path; // as given, with a '/' to put a file name after
    std::vector<std::string> files; // "a.vcf", "book/b.vcf": in path order
};

// readdir and openat rather than QDir or std::filesystem: the entries' types
// come with readdir, so a folder of 100,000 cards is listed without a stat
// per file, and each file is opened beside its folder without walking the
// folder's path again. A folder is known by its device and inode, so one
// reached again through a link ("sync -> .", a loop of links) is not listed
// again.
void listCardFiles(int fd, const std::string& prefix, int depth, FolderIds& seen, std::vector<std::string>& out,
    const std::atomic<bool>& cancel)
{
    struct stat st { };
    if (cancel || fd < 0 || ::fstat(fd, &st) != 0 || !S_ISDIR(st.st_mode) || !seen.emplace(st.st_dev, st.st_ino).second)
        return;
    DIR* dir = ::fdopendir(::dup(fd)); // closedir closes the copy
    if (dir == nullptr)
        return;
    std::vector<std::string> subfolders;
    while (const dirent* entry = cancel ? nullptr : ::readdir(dir)) {
        const std::string_view name = entry->d_name;
        if (name == "." || name == "..")
            continue;
        unsigned char type = entry->d_type;
        if (type == DT_LNK || type == DT_UNKNOWN) // what a link leads to counts
            type = ::fstatat(fd, entry->d_name, &st, 0) != 0 ? DT_UNKNOWN
                : S_ISREG(st.st_mode)                        ? DT_REG
                : S_ISDIR(st.st_mode)                        ? DT_DIR
                                                             : DT_UNKNOWN;
        if (type == DT_REG && isCardFile(name))
            out.push_back(prefix + entry->d_name);
        else if (depth > 0 && type == DT_DIR)
            subfolders.emplace_back(name);
    }
    ::closedir(dir);
    std::sort(subfolders.begin(), subfolders.end());
    for (const std::string& sub : subfolders) {
        const Fd subFd(::openat(fd, sub.c_str(), kFolderFlags));
        listCardFiles(subFd.get(), prefix + sub + '/', depth - 1, seen, out, cancel);
    }
}

// A card file opened for reading, once it has proved to be a regular file
// (not a pipe or a device that someone named .vcf) within the size limit.
struct CardFile {
    int fd = -1;
    std::size_t size = 0;
    bool tooBig = false;

    // noAtime: whether O_NOATIME is still worth trying. Reading does not
    // change a contact, and an access time written back per file is a cost
    // on every pick; the flag is allowed only on the user's own files, and
    // after one refusal the rest are opened plainly.
    CardFile(const Folder& folder, const std::string& name, std::size_t limit, std::atomic<bool>& noAtime)
    {
        // O_NONBLOCK: a pipe put in place after listing must not hang the open.
        constexpr int flags = O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY;
        const bool tryNoAtime = noAtime.load(std::memory_order_relaxed);
        fd = ::openat(folder.fd.get(), name.c_str(), tryNoAtime ? flags | O_NOATIME : flags);
        if (fd < 0 && tryNoAtime && errno == EPERM) {
            noAtime.store(false, std::memory_order_relaxed);
            fd = ::openat(folder.fd.get(), name.c_str(), flags);
        }
        struct stat st { };
        if (fd >= 0 && (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)))
            close();
        size = fd >= 0 ? static_cast<std::size_t>(st.st_size) : 0;
        tooBig = fd >= 0 && size > limit;
    }
    ~CardFile() { close(); }
    CardFile(const CardFile&) = delete;
    CardFile& operator=(const CardFile&) = delete;

    void close()
    {
        if (fd >= 0)
            ::close(fd);
        fd = -1;
    }

    // open, read, close: on a phone the system calls, not the parsing, are
    // what a folder of one card per file costs. At most limit bytes are kept;
    // false when the file grew past them since it was opened.
    bool read(std::size_t limit, std::string& out)
    {
        out.clear();
        // One byte past the limit tells a file that grew; keep limit + 1 and
        // the doublings below from wrapping.
        limit = std::min(limit, std::numeric_limits<std::size_t>::max() / 4);
        std::size_t want = std::min(size, limit) + 1;
        while (fd >= 0) {
            const std::size_t old = out.size();
            out.resize(want);
            const ssize_t n = ::read(fd, out.data() + old, want - old);
            if (n < 0 && errno == EINTR) {
                out.resize(old);
                continue;
            }
            out.resize(old + static_cast<std::size_t>(std::max<ssize_t>(n, 0)));
            // A regular file reads short only at its end, which saves the
            // extra read that would return 0 for each of many small files.
            if (n < static_cast<ssize_t>(want - old) || out.size() > limit)
                break;
            want = std::min(want * 2, limit + 1);
        }
        close();
        return out.size() <= limit;
    }
};

QString fromUtf8(const std::string& s)
{
    return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size()));
}

// A contact with what a search looks in; the folded name comes first and is
// also the sort key.
struct Entry {
    Contact contact;
    QString search;
    QString digits;

    QStringView sortKey() const
    {
        const qsizetype end = search.indexOf(ContactStore::kSearchSeparator);
        return end < 0 ? QStringView(search) : QStringView(search).left(end);
    }
};

Entry toEntry(const VCardContact& card, const QString& path, std::size_t index)
{
    Entry e;
    Contact& c = e.contact;
    c.indexInFile = card.uid.empty() ? static_cast<int>(index) : -1;
    c.uidOrFile = card.uid.empty() ? path : fromUtf8(card.uid);
    c.fileAs = fromUtf8(card.fileAs);
    c.displayName = card.displayName.empty() ? c.fileAs : fromUtf8(card.displayName);
    qsizetype searchSize = c.displayName.size() + c.fileAs.size() + 1, digitSize = 0;
    for (const VCardPhone& phone : card.phones) {
        searchSize += qsizetype(phone.number.size()) + 1;
        digitSize += qsizetype(phone.number.size()) + 1;
    }
    e.search.reserve(searchSize);
    e.digits.reserve(digitSize);
    e.search += foldForSearch(c.displayName);
    if (c.fileAs != c.displayName) {
        e.search += ContactStore::kSearchSeparator;
        e.search += foldForSearch(c.fileAs);
    }
    c.phones.reserve(static_cast<qsizetype>(card.phones.size()));
    for (const VCardPhone& phone : card.phones) {
        const std::string label = phoneLabel(phone);
        const QString number = fromUtf8(phone.number);
        if (c.mobile.isEmpty() && phone.number == card.mobile)
            c.mobile = number; // shared, not copied
        c.phones.push_back(label.empty() ? number : fromUtf8(label) + QLatin1Char(' ') + number);
        e.search += ContactStore::kSearchSeparator;
        e.search += number.toCaseFolded();
        e.digits += ContactStore::kSearchSeparator;
        e.digits += phoneDigits(number);
    }
    return e;
}

std::vector<Entry> toEntries(const std::vector<VCardContact>& cards, const QString& path, unsigned threads)
{
    std::vector<Entry> entries(cards.size());
    constexpr std::size_t kBlock = 4096;
    forEachOnThreads((cards.size() + kBlock - 1) / kBlock, threads, [&](std::size_t block) {
        for (std::size_t i = block * kBlock; i < std::min(cards.size(), (block + 1) * kBlock); ++i)
            entries[i] = toEntry(cards[i], path, i);
    });
    return entries;
}

// What one small file gave, or that it is to be read in stretches.
struct FileResult {
    std::vector<Entry> entries;
    std::size_t tooLong = 0;
    std::size_t tooMany = 0;
    bool stretched = false;
    bool tooBig = false;

    void take(const VCardCards& cards, const Folder& folder, const std::string& name, unsigned threads)
    {
        entries = toEntries(cards.contacts, QFile::decodeName(QByteArray::fromStdString(folder.path + name)), threads);
        tooLong = cards.tooLong;
        tooMany = cards.tooMany;
    }
};

} // namespace

struct ContactStore::Data {
    std::vector<Contact> contacts;
    QString text;
    QString digits;
    std::vector<qsizetype> textStart { 0 };
    std::vector<qsizetype> digitStart { 0 };
    ContactsLeftOut leftOut;
};

struct ContactStore::Job {
    std::atomic<bool> cancel { false };
    std::mutex mutex;
    ContactStore* receiver = nullptr; // null once the store has let go
    std::unique_ptr<Data> result;
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

QString foldForSearch(const QString& text)
{
    QString folded = text.toCaseFolded();
    const bool ascii = std::all_of(folded.cbegin(), folded.cend(), [](QChar c) { return c.unicode() < 0x80; });
    if (ascii)
        return folded;
    folded = folded.normalized(QString::NormalizationForm_D);
    folded.removeIf([](QChar c) { return c.category() == QChar::Mark_NonSpacing; });
    return folded;
}

QString phoneDigits(QStringView number)
{
    QString out;
    for (const QChar c : number) {
        if (c >= u'0' && c <= u'9')
            out += c;
    }
    return out;
}

QStringList ContactStore::defaultFolders()
{
    // GenericDataLocation's first entry is $XDG_DATA_HOME, or ~/.local/share.
    const QString data = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation);
    return { data + QStringLiteral("/kpeoplevcard"), data + QStringLiteral("/dialer/contacts") };
}

std::unique_ptr<ContactStore::Data> ContactStore::read(const QStringList& folders, const VCardLimits& limits,
    const std::atomic<bool>& cancel, const std::function<void(int, qsizetype)>& report)
{
    std::vector<Folder> listed(static_cast<std::size_t>(folders.size()));
    std::vector<std::pair<const Folder*, const std::string*>> files;
    FolderIds seen;
    for (qsizetype k = 0; k < folders.size() && !cancel; ++k) {
        Folder& f = listed[static_cast<std::size_t>(k)];
        f.path = QFile::encodeName(folders[k]).toStdString();
        f.fd.reset(::open(f.path.c_str(), kFolderFlags));
        listCardFiles(f.fd.get(), {}, 1, seen, f.files, cancel);
        if (!f.path.empty() && f.path.back() != '/')
            f.path += '/';
        std::sort(f.files.begin(), f.files.end(), componentLess);
        for (const std::string& name : f.files)
            files.emplace_back(&f, &name);
    }
    std::atomic<bool> noAtime { true };

    auto data = std::make_unique<Data>();
    data->leftOut.limits = limits;
    std::vector<Entry> kept;
    kept.reserve(std::min<std::size_t>(limits.contacts, 4096));
    const unsigned threads = threadCount();
    auto permille = [&](double filesDone) { return static_cast<int>(1000 * filesDone / double(files.size())); };
    // The limits for the files still to read: the contacts kept count.
    auto left = [&] {
        VCardLimits l = limits;
        l.contacts -= std::min(l.contacts, kept.size());
        return l;
    };
    // Cards are kept in file order up to the limit, whichever thread read them.
    auto keep = [&](std::vector<Entry>& entries, std::size_t tooLong, std::size_t tooMany) {
        const std::size_t count = std::min(left().contacts, entries.size());
        data->leftOut.tooLong += static_cast<qsizetype>(tooLong);
        data->leftOut.tooMany += static_cast<qsizetype>(tooMany + entries.size() - count);
        kept.insert(kept.end(), std::make_move_iterator(entries.begin()),
            std::make_move_iterator(entries.begin() + static_cast<std::ptrdiff_t>(count)));
        std::vector<Entry>().swap(entries);
    };

    std::vector<FileResult> results(files.size());
    for (std::size_t start = 0; start < files.size() && !cancel;) {
        // Each thread takes the next file until the window is full.
        std::atomic<std::size_t> next { start };
        std::atomic<std::size_t> windowBytes { 0 };
        const VCardLimits fileLimits = left();
        const unsigned windowThreads = files.size() - start >= 32 ? threads : 1;
        forEachOnThreads(windowThreads, windowThreads, [&](std::size_t) {
            std::string bytes;
            while (windowBytes < kWindowBytes && !cancel) {
                const std::size_t i = next++;
                if (i >= files.size())
                    return;
                FileResult& r = results[i];
                CardFile file(*files[i].first, *files[i].second, limits.fileBytes, noAtime);
                r.tooBig = file.tooBig;
                r.stretched = !file.tooBig && file.size > kStretch;
                if (file.fd < 0 || r.tooBig || r.stretched)
                    continue;
                windowBytes += file.size + kBytesPerFile;
                if (!file.read(std::min(kStretch, limits.fileBytes), bytes)) {
                    r.stretched = true; // it grew: read it again the careful way
                    continue;
                }
                r.take(parseVCards(bytes, fileLimits), *files[i].first, *files[i].second, 1);
            }
        });
        const std::size_t end = std::min(next.load(), files.size());

        // In file order: large files, in stretches over every thread.
        for (std::size_t i = start; i < end && !cancel; ++i) {
            FileResult& r = results[i];
            if (r.stretched) {
                CardFile file(*files[i].first, *files[i].second, limits.fileBytes, noAtime);
                std::string bytes;
                r.tooBig = file.tooBig || (file.fd >= 0 && !file.read(limits.fileBytes, bytes));
                if (!r.tooBig && !bytes.empty()) {
                    auto parsed = [&](std::size_t done) {
                        report(permille(double(i) + double(done) / double(bytes.size())), qsizetype(kept.size()));
                    };
                    r.take(parseVCardsInStretches(bytes, left(), kStretch, threads, &cancel, parsed), *files[i].first,
                        *files[i].second, threads);
                }
            }
            data->leftOut.bigFiles += r.tooBig ? 1 : 0;
            keep(r.entries, r.tooLong, r.tooMany);
        }
        start = end;
        report(permille(double(end)), qsizetype(kept.size()));
    }
    if (cancel)
        return nullptr;

    // Sorted through precomputed keys: a locale-aware collator costs far more
    // per comparison than a list of 100,000 names can afford, and folded
    // names keep "María" among the other Marias. Nameless contacts (a number
    // only) go last.
    std::vector<std::pair<QStringView, std::size_t>> order;
    order.reserve(kept.size());
    for (std::size_t i = 0; i < kept.size(); ++i)
        order.emplace_back(kept[i].sortKey(), i);
    std::stable_sort(order.begin(), order.end(), [](const auto& a, const auto& b) {
        if (a.first.isEmpty() != b.first.isEmpty())
            return b.first.isEmpty();
        return a.first < b.first;
    });
    // The search texts of all contacts sit in two long buffers: a keystroke
    // over 100,000 contacts reads memory in order and allocates nothing.
    qsizetype textSize = 0, digitSize = 0;
    for (const Entry& e : kept) {
        textSize += e.search.size();
        digitSize += e.digits.size();
    }
    data->text.reserve(textSize);
    data->digits.reserve(digitSize);
    data->contacts.reserve(kept.size());
    data->textStart.reserve(kept.size() + 1);
    data->digitStart.reserve(kept.size() + 1);
    for (const auto& [key, i] : order) {
        Entry& e = kept[i];
        data->contacts.push_back(std::move(e.contact));
        data->contacts.back().oid = static_cast<int>(data->contacts.size());
        data->text += e.search;
        data->digits += e.digits;
        data->textStart.push_back(data->text.size());
        data->digitStart.push_back(data->digits.size());
        e = Entry {};
    }
    return data;
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
    : m_data(std::make_unique<Data>())
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
        std::unique_ptr<Data> data = read(folders, limits, job->cancel, report);
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
    std::unique_ptr<Data> data;
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
    freeElsewhere(std::exchange(m_data, std::make_unique<Data>()));
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
    const auto& s = m_data->textStart;
    return i + 1 < s.size() ? QStringView(m_data->text).sliced(s[i], s[i + 1] - s[i]) : QStringView();
}

QStringView ContactStore::searchDigits(std::size_t i) const
{
    const auto& s = m_data->digitStart;
    return i + 1 < s.size() ? QStringView(m_data->digits).sliced(s[i], s[i + 1] - s[i]) : QStringView();
}
