#include "ContactStore.h"

#include "VCardReader.h"

#include <QFile>
#include <QStandardPaths>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <filesystem>
#include <thread>

#include <fcntl.h>
#include <unistd.h>

namespace {

namespace fs = std::filesystem;

bool isCardFile(const fs::path& path)
{
    std::string ext = path.extension().string();
    for (char& c : ext)
        c = static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
    return ext == ".vcf" || ext == ".vcard";
}

// std::filesystem rather than QDir: the directory entries' types come with
// readdir, so a folder of 100,000 cards is listed without a stat per file.
void listCardFiles(const fs::path& folder, int depth, std::vector<fs::path>& out)
{
    std::error_code ec;
    fs::directory_iterator it(folder, fs::directory_options::skip_permission_denied, ec);
    std::vector<fs::path> subfolders;
    for (; !ec && it != fs::directory_iterator(); it.increment(ec)) {
        const fs::directory_entry& entry = *it;
        std::error_code typeError;
        if (entry.is_regular_file(typeError) && isCardFile(entry.path()))
            out.push_back(entry.path());
        else if (depth > 0 && entry.is_directory(typeError))
            subfolders.push_back(entry.path());
    }
    for (const fs::path& sub : subfolders)
        listCardFiles(sub, depth - 1, out);
}

// open, read, close: on a phone the system calls, not the parsing, are what
// a folder of one card per file costs.
bool readWhole(const fs::path& path, std::string& out)
{
    out.clear();
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return false;
    constexpr std::size_t kChunk = 64 * 1024;
    for (;;) {
        const std::size_t old = out.size();
        out.resize(old + kChunk);
        const ssize_t n = ::read(fd, out.data() + old, kChunk);
        if (n < 0 && errno == EINTR) {
            out.resize(old);
            continue;
        }
        out.resize(old + static_cast<std::size_t>(std::max<ssize_t>(n, 0)));
        // A regular file reads short only at its end, which saves the
        // extra read that would return 0 for each of many small files.
        if (n < static_cast<ssize_t>(kChunk))
            break;
    }
    ::close(fd);
    return true;
}

// Runs `work` on up to `threads` threads (the calling one included) when
// there is enough of it to pay for starting them; each call of `work` pulls
// its own items until none are left.
template <typename F> void runOnThreads(unsigned threads, bool worthIt, F&& work)
{
    const unsigned extra = worthIt ? threads - 1 : 0;
    std::vector<std::thread> pool;
    pool.reserve(extra);
    for (unsigned t = 0; t < extra; ++t)
        pool.emplace_back(work);
    work();
    for (std::thread& t : pool)
        t.join();
}

QString fromUtf8(const std::string& s)
{
    return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size()));
}

Contact toContact(const VCardContact& card, const QString& path, int index)
{
    Contact c;
    c.identifier = card.uid.empty() ? path + QLatin1Char('#') + QString::number(index) : fromUtf8(card.uid);
    c.fileAs = fromUtf8(card.fileAs);
    c.displayName = card.displayName.empty() ? c.fileAs : fromUtf8(card.displayName);
    c.foldedName = foldForSearch(c.displayName);
    c.mobile = fromUtf8(card.mobile);
    c.phones.reserve(static_cast<qsizetype>(card.phones.size()));
    c.numbers.reserve(static_cast<qsizetype>(card.phones.size()));
    for (const VCardPhone& phone : card.phones) {
        const std::string label = phoneLabel(phone);
        const QString number = fromUtf8(phone.number);
        c.numbers.push_back(number);
        c.phones.push_back(label.empty() ? number : fromUtf8(label) + QLatin1Char(' ') + number);
    }
    return c;
}

// One piece of work for a reading thread: a whole file, or a stretch of a
// large one. A card never spans two stretches: they are cut where a line
// starts with BEGIN:VCARD, which ends any card before it anyway.
struct Job {
    std::size_t file = 0;
    std::size_t begin = 0;
    std::size_t end = std::string::npos;
    std::vector<VCardContact> cards;
};

constexpr std::size_t kStretch = 512 * 1024;

std::vector<std::size_t> cutPoints(std::string_view bytes)
{
    std::vector<std::size_t> cuts { 0 };
    std::size_t from = kStretch;
    while (from < bytes.size()) {
        const std::size_t at = bytes.find("\nBEGIN:VCARD", from);
        if (at == std::string_view::npos)
            break;
        cuts.push_back(at + 1);
        from = at + 1 + kStretch;
    }
    cuts.push_back(bytes.size());
    return cuts;
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

QStringList ContactStore::defaultFolders()
{
    // GenericDataLocation's first entry is $XDG_DATA_HOME, or ~/.local/share.
    const QString data = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation);
    return { data + QStringLiteral("/kpeoplevcard"), data + QStringLiteral("/dialer/contacts") };
}

std::unique_ptr<ContactStore> ContactStore::open(const QStringList& folders)
{
    std::vector<fs::path> files;
    for (const QString& folder : folders) {
        std::vector<fs::path> found;
        listCardFiles(fs::path(QFile::encodeName(folder).toStdString()), 1, found);
        std::sort(found.begin(), found.end());
        files.insert(files.end(), found.begin(), found.end());
    }

    // Files are read and parsed on every core: each thread takes the next
    // file, and a large file is parsed in stretches by all threads at once.
    std::vector<std::string> contents(files.size());
    std::vector<std::vector<Job>> jobs(files.size());
    std::atomic<std::size_t> nextFile { 0 };
    const unsigned threadCount = std::clamp(std::thread::hardware_concurrency(), 1u, 8u);
    auto readFiles = [&] {
        std::string buffer;
        for (std::size_t i = nextFile++; i < files.size(); i = nextFile++) {
            if (!readWhole(files[i], buffer))
                continue;
            const std::vector<std::size_t> cuts = cutPoints(buffer);
            for (std::size_t k = 0; k + 1 < cuts.size(); ++k)
                jobs[i].push_back({ i, cuts[k], cuts[k + 1], {} });
            if (cuts.size() == 2)
                jobs[i][0].cards = parseVCards(buffer);
            else
                contents[i] = std::move(buffer);
        }
    };
    runOnThreads(threadCount, files.size() >= 64, readFiles);

    // Stretches of large files, parsed in parallel.
    std::vector<Job*> stretches;
    for (auto& fileJobs : jobs) {
        if (fileJobs.size() > 1) {
            for (Job& job : fileJobs)
                stretches.push_back(&job);
        }
    }
    std::atomic<std::size_t> nextStretch { 0 };
    runOnThreads(threadCount, stretches.size() >= 2, [&] {
        for (std::size_t i = nextStretch++; i < stretches.size(); i = nextStretch++) {
            Job& job = *stretches[i];
            job.cards = parseVCards(std::string_view(contents[job.file]).substr(job.begin, job.end - job.begin));
        }
    });
    contents.clear();

    // Cards become Contacts in parallel too; the order stays that of the files.
    std::vector<std::pair<std::size_t, int>> firstIndex; // per job: output slot, index in its file
    std::vector<Job*> all;
    std::size_t total = 0;
    for (auto& fileJobs : jobs) {
        int indexInFile = 0;
        for (Job& job : fileJobs) {
            all.push_back(&job);
            firstIndex.emplace_back(total, indexInFile);
            total += job.cards.size();
            indexInFile += static_cast<int>(job.cards.size());
        }
    }
    std::vector<Contact> contacts(total);
    std::atomic<std::size_t> nextJob { 0 };
    runOnThreads(threadCount, all.size() >= 2 && total >= 2000, [&] {
        for (std::size_t j = nextJob++; j < all.size(); j = nextJob++) {
            const Job& job = *all[j];
            const QString path = QFile::decodeName(files[job.file].c_str());
            auto [slot, index] = firstIndex[j];
            for (const VCardContact& card : job.cards)
                contacts[slot++] = toContact(card, path, index++);
        }
    });
    return std::make_unique<ContactStore>(std::move(contacts));
}

ContactStore::ContactStore(std::vector<Contact> contacts)
{
    // Sort through precomputed keys: a locale-aware collator costs far more
    // per comparison than a list of 100,000 names can afford, and folded
    // names keep "María" among the other Marias.
    for (Contact& c : contacts) {
        if (c.foldedName.isEmpty() && !c.displayName.isEmpty())
            c.foldedName = foldForSearch(c.displayName);
    }
    std::vector<std::pair<QString, std::size_t>> keys;
    keys.reserve(contacts.size());
    for (std::size_t i = 0; i < contacts.size(); ++i)
        keys.emplace_back(contacts[i].foldedName, i);
    std::stable_sort(keys.begin(), keys.end(), [](const auto& a, const auto& b) {
        // Nameless contacts (a number only) go last.
        if (a.first.isEmpty() != b.first.isEmpty())
            return b.first.isEmpty();
        return a.first < b.first;
    });
    m_contacts.reserve(contacts.size());
    for (const auto& key : keys) {
        m_contacts.push_back(std::move(contacts[key.second]));
        m_contacts.back().oid = static_cast<int>(m_contacts.size());
    }
}

const Contact* ContactStore::itemFromOid(int oid) const
{
    if (oid < 1 || static_cast<std::size_t>(oid) > m_contacts.size())
        return nullptr;
    return &m_contacts[static_cast<std::size_t>(oid) - 1];
}
