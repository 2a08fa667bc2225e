#include "ContactFolders.h"

#include "VCardAscii.h"

#include <QFile>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdint>
#include <limits>
#include <optional>
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

// Sorts by componentLess through the first eight bytes of each path packed
// into a number ('/' as 0, which no name holds, and 0 past the end), which
// settles most comparisons without reading the strings.
template <typename T, typename Path> void sortByPath(std::vector<T>& items, Path&& path)
{
    struct Key {
        std::uint64_t prefix;
        std::size_t index;
    };
    std::vector<Key> keys;
    keys.reserve(items.size());
    for (std::size_t i = 0; i < items.size(); ++i) {
        const std::string_view p = path(items[i]);
        std::uint64_t prefix = 0;
        for (std::size_t k = 0; k < 8; ++k) {
            const auto c = k < p.size() ? static_cast<unsigned char>(p[k]) : 0;
            prefix = prefix << 8 | (c == '/' ? 0 : c);
        }
        keys.push_back({ prefix, i });
    }
    std::sort(keys.begin(), keys.end(), [&](const Key& a, const Key& b) {
        return a.prefix != b.prefix ? a.prefix < b.prefix : componentLess(path(items[a.index]), path(items[b.index]));
    });
    std::vector<T> sorted;
    sorted.reserve(items.size());
    for (const Key& key : keys)
        sorted.push_back(std::move(items[key.index]));
    items.swap(sorted);
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

// A card file as listed, named relative to its folder: "a.vcf", "book/b.vcf".
struct CardName {
    std::string name;
    bool viaLink = false; // a link, or of a type readdir did not tell
};

// A folder read: open while its files are.
struct Folder {
    Fd fd;
    std::string path; // as given, with a '/' to put a file name after
    QString decodedPath;
    std::vector<CardName> files; // in path order

    // The path of a card file, for contacts known by file and place.
    QString pathOf(const std::string& name) const
    {
        if (!vcard::isAsciiText(name))
            return decodedPath + QFile::decodeName(QByteArray::fromStdString(name));
        QString path(decodedPath.size() + static_cast<qsizetype>(name.size()), Qt::Uninitialized);
        std::copy(name.begin(), name.end(), std::copy_n(decodedPath.constData(), decodedPath.size(), path.data()));
        return path;
    }
};

// readdir and openat rather than QDir or std::filesystem: the entries' types
// come with readdir, so a folder of 100,000 cards is listed without a stat
// per file, and each file is opened beside its folder without walking the
// folder's path again. A folder is known by its device and inode, so one
// reached again through a link ("sync -> .", a loop of links) is not listed
// again.
void listCardFiles(int fd, const std::string& prefix, int depth, FolderIds& seen, std::vector<CardName>& out,
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
        const bool viaLink = type == DT_LNK || type == DT_UNKNOWN;
        if (viaLink) // what a link leads to counts
            type = ::fstatat(fd, entry->d_name, &st, 0) != 0 ? DT_UNKNOWN
                : S_ISREG(st.st_mode)                        ? DT_REG
                : S_ISDIR(st.st_mode)                        ? DT_DIR
                                                             : DT_UNKNOWN;
        if (type == DT_REG && isCardFile(name))
            out.push_back({ prefix + entry->d_name, viaLink });
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
// (not a pipe or a device that someone named .vcf), within the size limit
// when its size is known.
//
// A file that readdir listed as a regular file is opened with O_NOFOLLOW
// and read without a stat, unless `check` asks for one: the listing told
// its type, nothing put in its place since can be a link, and a pipe put
// there is opened and read without waiting and gives at most the bytes the
// read asks for. An fstat per file is a seventh of the CPU time of a folder
// of one-card files, its bare listing and reading included. A file reached
// through a link, or listed without a type, is always checked.
struct CardFile {
    int fd = -1;
    int error = 0; // errno of a failed open
    std::optional<std::size_t> size; // when checked
    bool tooBig = false;

    // noAtime: whether O_NOATIME is still worth trying. Reading does not
    // change a contact, and an access time written back per file is a cost
    // on every pick; the flag is allowed only on the user's own files, and
    // after one refusal the rest are opened plainly.
    CardFile(const Folder& folder, const CardName& file, bool check, std::size_t limit, bool& noAtime)
    {
        // O_NONBLOCK: a pipe put in place after listing must not hang the open.
        const int flags = O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY | (file.viaLink ? 0 : O_NOFOLLOW);
        const bool tryNoAtime = noAtime;
        fd = ::openat(folder.fd.get(), file.name.c_str(), tryNoAtime ? flags | O_NOATIME : flags);
        if (fd < 0 && tryNoAtime && errno == EPERM) {
            noAtime = false;
            fd = ::openat(folder.fd.get(), file.name.c_str(), flags);
        }
        error = fd < 0 ? errno : 0;
        if (fd < 0 || !(check || file.viaLink))
            return;
        struct stat st { };
        if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode))
            close();
        size = fd >= 0 ? std::optional(static_cast<std::size_t>(st.st_size)) : std::nullopt;
        tooBig = size && *size > limit;
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

    // A file of at most `limit` bytes read into buffer, which has room for
    // one byte more: one read() as a rule, as a regular file reads short only
    // at its end. Nothing when it is, or has grown, past the limit.
    std::optional<std::size_t> readSmall(char* buffer, std::size_t limit)
    {
        std::size_t got = 0;
        while (fd >= 0 && got <= limit) {
            const std::size_t want = limit + 1 - got;
            const ssize_t n = ::read(fd, buffer + got, want);
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0)
                break;
            got += static_cast<std::size_t>(n);
            if (static_cast<std::size_t>(n) < want)
                break;
        }
        return got <= limit ? std::optional(got) : std::nullopt;
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
        std::size_t want = std::min(size.value_or(limit), limit) + 1;
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

// The path of a card file, only made when some card of the file has no UID.
QString pathFor(const std::vector<VCardContact>& cards, const Folder& folder, const std::string& name)
{
    const bool needed = std::any_of(cards.begin(), cards.end(), [](const VCardContact& c) { return c.uid.empty(); });
    return needed ? folder.pathOf(name) : QString();
}

} // namespace

unsigned readingThreads()
{
    return std::clamp(std::thread::hardware_concurrency(), 1u, 8u);
}

bool readContactFolders(const QStringList& folders, const VCardLimits& limits, const std::atomic<bool>& cancel,
    const std::function<void(int, qsizetype)>& report, ContactBatch& kept, ContactsLeftOut& leftOut)
{
    std::vector<Folder> listed(static_cast<std::size_t>(folders.size()));
    std::vector<std::pair<const Folder*, const CardName*>> files;
    FolderIds seen;
    for (qsizetype k = 0; k < folders.size() && !cancel; ++k) {
        Folder& f = listed[static_cast<std::size_t>(k)];
        f.path = QFile::encodeName(folders[k]).toStdString();
        f.fd.reset(::open(f.path.c_str(), kFolderFlags));
        listCardFiles(f.fd.get(), {}, 1, seen, f.files, cancel);
        if (!f.path.empty() && f.path.back() != '/')
            f.path += '/';
        f.decodedPath = QFile::decodeName(QByteArray::fromStdString(f.path));
        sortByPath(f.files, [](const CardName& file) -> std::string_view { return file.name; });
        for (const CardName& file : f.files)
            files.emplace_back(&f, &file);
    }
    bool noAtime = true;

    kept.contacts.reserve(std::min(files.size(), limits.contacts)); // a card a file, as a rule
    const unsigned threads = readingThreads();
    auto permille = [&](double filesDone) { return static_cast<int>(1000 * filesDone / double(files.size())); };
    // The limits for the files still to read: the contacts kept count.
    auto left = [&] {
        VCardLimits l = limits;
        l.contacts -= std::min(l.contacts, kept.size());
        return l;
    };
    auto countLeftOut = [&](const VCardCards& cards) {
        leftOut.tooLong += static_cast<qsizetype>(cards.tooLong);
        leftOut.tooMany += static_cast<qsizetype>(cards.tooMany);
    };

    // Small files, nearly all there are, on this thread alone and straight
    // into the store in file order: a second thread halves the time a folder
    // of one card per file takes but costs a tenth more CPU (the descriptor
    // table and caches shared between threads), and what the store is held to
    // is the CPU time of a pick, on a phone's battery. Files larger than a
    // stretch are parsed in stretches on every thread.
    //
    // They are read some dozens at a time, then parsed: read and parsed in
    // turn, each file would find the caches full of the other's work.
    constexpr std::size_t kGroupBytes = 64 * 1024;
    const std::size_t smallLimit = std::min(kStretch, limits.fileBytes);
    const std::unique_ptr<char[]> buffer(new char[kGroupBytes + smallLimit + 1]);
    struct Read {
        std::size_t file;
        std::size_t offset;
        std::size_t size;
    };
    std::vector<Read> group;
    std::size_t groupBytes = 0;
    VCardStream stream;
    std::string scratch;
    const auto parseGroup = [&] {
        for (const Read& read : group) {
            const std::size_t first = kept.size();
            QString path;
            countLeftOut(stream.read({ buffer.get() + read.offset, read.size }, left(), [&](const VCardContact& card) {
                if (card.uid.empty() && path.isEmpty())
                    path = files[read.file].first->pathOf(files[read.file].second->name);
                kept.add(card, path, kept.size() - first, scratch);
            }));
        }
        group.clear();
        groupBytes = 0;
    };
    // A file larger than a stretch, after the files before it.
    const auto readLarge = [&](std::size_t i) {
        parseGroup();
        const Folder& folder = *files[i].first;
        CardFile file(folder, *files[i].second, true, limits.fileBytes, noAtime);
        std::string bytes;
        const bool tooBig = file.tooBig || (file.fd >= 0 && !file.read(limits.fileBytes, bytes));
        leftOut.bigFiles += tooBig ? 1 : 0;
        if (tooBig || bytes.empty())
            return;
        auto parsed = [&](std::size_t done) {
            report(permille(double(i) + double(done) / double(bytes.size())), qsizetype(kept.size()));
        };
        const VCardCards cards = parseVCardsInStretches(bytes, left(), kStretch, threads, &cancel, parsed);
        countLeftOut(cards);
        const QString path = pathFor(cards.contacts, folder, files[i].second->name);
        // The cards in blocks over every thread, each block a batch of its own.
        constexpr std::size_t kBlock = 4096;
        std::vector<ContactBatch> blocks((cards.contacts.size() + kBlock - 1) / kBlock);
        forEachOnThreads(blocks.size(), threads, [&](std::size_t block) {
            std::string blockScratch;
            for (std::size_t k = block * kBlock; k < std::min(cards.contacts.size(), (block + 1) * kBlock); ++k)
                blocks[block].add(cards.contacts[k], path, k, blockScratch);
        });
        for (ContactBatch& block : blocks)
            kept.take(block, 0, block.size());
    };

    // Files are opened a few dozen at a time, then read, then closed: the
    // kernel does each kind of call faster when it does them on end (a
    // tenth off the system time of a folder of small files). Should the
    // process run out of descriptors, fewer are opened at once.
    constexpr std::size_t kOpenAtOnce = 32;
    std::array<std::optional<CardFile>, kOpenAtOnce> opened;
    for (std::size_t first = 0; first < files.size() && !cancel;) {
        if (first % 256 < kOpenAtOnce)
            report(permille(double(first)), qsizetype(kept.size()));
        std::size_t count = 0;
        for (; count < kOpenAtOnce && first + count < files.size(); ++count) {
            const auto& [folder, name] = files[first + count];
            const CardFile& file = opened[count].emplace(*folder, *name, false, limits.fileBytes, noAtime);
            if (file.fd < 0 && (file.error == EMFILE || file.error == ENFILE) && count > 0) {
                opened[count].reset();
                break;
            }
        }
        for (std::size_t k = 0; k < count && !cancel; ++k) {
            const std::size_t i = first + k;
            CardFile& file = *opened[k];
            leftOut.bigFiles += file.tooBig ? 1 : 0;
            if (file.fd < 0 || file.tooBig)
                continue;
            if (file.size && *file.size > kStretch) {
                readLarge(i);
                continue;
            }
            if (groupBytes > kGroupBytes)
                parseGroup();
            const std::optional<std::size_t> bytes = file.readSmall(buffer.get() + groupBytes, smallLimit);
            if (!bytes) {
                readLarge(i); // it grew: read it again the careful way
                continue;
            }
            group.push_back({ i, groupBytes, *bytes });
            groupBytes += *bytes;
        }
        for (std::size_t k = 0; k < count; ++k)
            opened[k].reset();
        first += count;
    }
    if (cancel)
        return false;
    parseGroup();
    report(1000, qsizetype(kept.size()));
    return true;
}
