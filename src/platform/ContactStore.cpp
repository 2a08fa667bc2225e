#include "ContactStore.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QStandardPaths>
#include <QThreadPool>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdint>
#include <iterator>
#include <limits>
#include <mutex>
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

unsigned threadCount()
{
    return std::clamp(std::thread::hardware_concurrency(), 1u, 8u);
}

bool isAscii(std::string_view s)
{
    return std::all_of(s.begin(), s.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; });
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
        if (!isAscii(name))
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

// ASCII, nearly every name and number, is widened straight into the new
// string: a third of what the UTF-8 decoder costs for a short text.
QString fromUtf8(std::string_view s)
{
    QString out(static_cast<qsizetype>(s.size()), Qt::Uninitialized);
    char16_t* to = reinterpret_cast<char16_t*>(out.data());
    for (const char c : s) {
        if (static_cast<unsigned char>(c) >= 0x80)
            return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size()));
        *to++ = static_cast<char16_t>(c);
    }
    return out;
}

// What foldForSearch() makes of one character, for the characters up to the
// end of Cyrillic: worked out the slow way the first time each is met, then
// looked up. Case folding and decomposition work on each character alone,
// and every combining mark up to there is a non-spacing one, which the fold
// drops; so a text of such characters folds as its characters do one by one.
class FoldTable {
public:
    static constexpr char16_t kEnd = 0x500;

    // Writes the fold of c at out, one character or none; -1 when c is past
    // the table or folds to more (none there does today).
    int fold(char16_t c, char16_t* out)
    {
        if (c < 0x80) {
            *out = c >= u'A' && c <= u'Z' ? char16_t(c - u'A' + u'a') : c;
            return 1;
        }
        if (c >= kEnd)
            return -1;
        std::uint32_t entry = m_entries[c].load(std::memory_order_relaxed);
        if (entry == 0) {
            const QString folded = foldSlowly(QString(QChar(c)));
            const auto length = static_cast<std::uint32_t>(folded.size());
            entry = length > 1 ? kLonger : kKnown | length << 16 | (length == 1 ? folded[0].unicode() : 0u);
            m_entries[c].store(entry, std::memory_order_relaxed);
        }
        if (entry == kLonger)
            return -1;
        *out = char16_t(entry);
        return static_cast<int>(entry >> 16 & 1);
    }

    static QString foldSlowly(const QString& text)
    {
        QString folded = text.toCaseFolded();
        const bool ascii = std::all_of(folded.cbegin(), folded.cend(), [](QChar c) { return c.unicode() < 0x80; });
        if (ascii)
            return folded;
        folded = folded.normalized(QString::NormalizationForm_D);
        folded.removeIf([](QChar c) { return c.category() == QChar::Mark_NonSpacing; });
        return folded;
    }

private:
    // An entry: kKnown, the length (0 or 1) at bit 16, the character below.
    static constexpr std::uint32_t kKnown = 1u << 31;
    static constexpr std::uint32_t kLonger = 1u << 30;
    std::array<std::atomic<std::uint32_t>, kEnd> m_entries {};
};

FoldTable& foldTable()
{
    static FoldTable table;
    return table;
}

// Appends to out what write(char16_t* at) writes, at most `most` characters;
// write returns how many it wrote, or -1 to leave out untouched. A character
// at a time through QString would cost a call and a check each.
template <typename Write> bool appendWritten(QString& out, qsizetype most, Write&& write)
{
    const qsizetype start = out.size();
    out.resize(start + most);
    const qsizetype written = write(reinterpret_cast<char16_t*>(out.data()) + start);
    out.resize(start + std::max<qsizetype>(written, 0));
    return written >= 0;
}

// Appends foldForSearch(text) to out.
void appendFolded(QString& out, QStringView text)
{
    if (std::all_of(text.begin(), text.end(), [](QChar c) { return c.unicode() < 0x80; })) {
        appendWritten(out, text.size(), [&](char16_t* at) {
            for (const QChar c : text)
                *at++ = c >= u'A' && c <= u'Z' ? char16_t(c.unicode() - u'A' + u'a') : c.unicode();
            return text.size();
        });
        return;
    }
    FoldTable& table = foldTable();
    const bool folded = appendWritten(out, text.size(), [&](char16_t* at) {
        char16_t* const start = at;
        for (const QChar c : text) {
            const int n = table.fold(c.unicode(), at);
            if (n < 0)
                return qsizetype(-1);
            at += n;
        }
        return qsizetype(at - start);
    });
    if (!folded)
        out += FoldTable::foldSlowly(text.toString());
}

// Appends QString::fromUtf8(utf8).toCaseFolded() to out.
void appendCaseFolded(QString& out, std::string_view utf8)
{
    if (!isAscii(utf8)) {
        out += fromUtf8(utf8).toCaseFolded();
        return;
    }
    appendWritten(out, static_cast<qsizetype>(utf8.size()), [&](char16_t* at) {
        for (const char c : utf8)
            *at++ = static_cast<char16_t>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
        return static_cast<qsizetype>(utf8.size());
    });
}

// Appends the digits of a number, as phoneDigits() finds them.
void appendDigits(QString& out, std::string_view utf8)
{
    appendWritten(out, static_cast<qsizetype>(utf8.size()), [&](char16_t* at) {
        char16_t* const start = at;
        for (const char c : utf8) {
            if (c >= '0' && c <= '9')
                *at++ = static_cast<char16_t>(c);
        }
        return static_cast<qsizetype>(at - start);
    });
}

// The words phoneLabel gives, in the user's language, looked up once for all
// the contacts; a label the card wrote itself stays as written.
void translateLabel(std::string& label)
{
    static const std::vector<std::pair<std::string, std::string>> words = [] {
        std::vector<std::pair<std::string, std::string>> out;
        for (const char* word :
            { QT_TRANSLATE_NOOP("ContactChooser", "mobile"), QT_TRANSLATE_NOOP("ContactChooser", "fax"),
                QT_TRANSLATE_NOOP("ContactChooser", "pager"), QT_TRANSLATE_NOOP("ContactChooser", "home"),
                QT_TRANSLATE_NOOP("ContactChooser", "work"), QT_TRANSLATE_NOOP("ContactChooser", "main"),
                QT_TRANSLATE_NOOP("ContactChooser", "car"), QT_TRANSLATE_NOOP("ContactChooser", "other") })
            out.emplace_back(word, QCoreApplication::translate("ContactChooser", word).toStdString());
        return out;
    }();
    for (const auto& [english, shown] : words)
        if (label == english) {
            label = shown;
            return;
        }
}

// Contacts with what a search looks in, one after the other: the folded
// name first, which is also the sort key, then the other texts and numbers
// (kSearchSeparator between them), and apart from them the digits of the
// numbers. Filled in file order without a buffer per contact; the cards of
// a large file a block at a time on every thread, then taken in order.
struct Batch {
    std::vector<Contact> contacts;
    QString text;
    QString digits;
    std::vector<qsizetype> textStart { 0 };
    std::vector<qsizetype> digitStart { 0 };

    std::size_t size() const { return contacts.size(); }

    QStringView sortKey(std::size_t i) const
    {
        const QStringView all = QStringView(text).sliced(textStart[i], textStart[i + 1] - textStart[i]);
        const qsizetype end = all.indexOf(ContactStore::kSearchSeparator);
        return end < 0 ? all : all.left(end);
    }

    void add(const VCardContact& card, const QString& path, std::size_t index, std::string& scratch)
    {
        Contact& c = contacts.emplace_back();
        c.indexInFile = card.uid.empty() ? static_cast<int>(index) : -1;
        c.uidOrFile = card.uid.empty() ? path : fromUtf8(card.uid);
        c.fileAs = fromUtf8(card.fileAs);
        const bool sameName = card.displayName.empty() || card.displayName == card.fileAs;
        c.displayName = sameName ? c.fileAs : fromUtf8(card.displayName);
        appendFolded(text, c.displayName);
        if (!sameName) {
            text += ContactStore::kSearchSeparator;
            appendFolded(text, c.fileAs);
        }
        c.phones.reserve(static_cast<qsizetype>(card.phones.size()));
        for (const VCardPhone& phone : card.phones) {
            const bool mobile = c.mobile.isEmpty() && phone.number == card.mobile;
            scratch = phoneLabel(phone);
            translateLabel(scratch);
            if (scratch.empty()) {
                c.phones.push_back(fromUtf8(phone.number));
                if (mobile)
                    c.mobile = c.phones.back(); // shared, not copied
            } else {
                scratch += ' ';
                scratch += phone.number;
                c.phones.push_back(fromUtf8(scratch));
                if (mobile)
                    c.mobile = fromUtf8(phone.number);
            }
            text += ContactStore::kSearchSeparator;
            appendCaseFolded(text, phone.number);
            digits += ContactStore::kSearchSeparator;
            appendDigits(digits, phone.number);
        }
        textStart.push_back(text.size());
        digitStart.push_back(digits.size());
    }

    // Moves `count` contacts from `from`, starting at its `first`.
    void take(Batch& from, std::size_t first, std::size_t count)
    {
        const auto at = [](std::size_t i) { return static_cast<std::ptrdiff_t>(i); };
        std::move(
            from.contacts.begin() + at(first), from.contacts.begin() + at(first + count), std::back_inserter(contacts));
        takeTexts(text, textStart, from.text, from.textStart, first, first + count);
        takeTexts(digits, digitStart, from.digits, from.digitStart, first, first + count);
    }

private:
    static void takeTexts(QString& to, std::vector<qsizetype>& toStart, const QString& from,
        const std::vector<qsizetype>& fromStart, std::size_t first, std::size_t last)
    {
        const qsizetype offset = to.size() - fromStart[first];
        to += QStringView(from).sliced(fromStart[first], fromStart[last] - fromStart[first]);
        for (std::size_t i = first + 1; i <= last; ++i)
            toStart.push_back(fromStart[i] + offset);
    }
};

// The path of a card file, only made when some card of the file has no UID.
QString pathFor(const std::vector<VCardContact>& cards, const Folder& folder, const std::string& name)
{
    const bool needed = std::any_of(cards.begin(), cards.end(), [](const VCardContact& c) { return c.uid.empty(); });
    return needed ? folder.pathOf(name) : QString();
}

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
    QString folded;
    folded.reserve(text.size());
    appendFolded(folded, text);
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

    auto data = std::make_unique<Data>();
    data->leftOut.limits = limits;
    Batch kept;
    kept.contacts.reserve(std::min(files.size(), limits.contacts)); // a card a file, as a rule
    const unsigned threads = threadCount();
    auto permille = [&](double filesDone) { return static_cast<int>(1000 * filesDone / double(files.size())); };
    // The limits for the files still to read: the contacts kept count.
    auto left = [&] {
        VCardLimits l = limits;
        l.contacts -= std::min(l.contacts, kept.size());
        return l;
    };
    auto countLeftOut = [&](const VCardCards& cards) {
        data->leftOut.tooLong += static_cast<qsizetype>(cards.tooLong);
        data->leftOut.tooMany += static_cast<qsizetype>(cards.tooMany);
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
        data->leftOut.bigFiles += tooBig ? 1 : 0;
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
        std::vector<Batch> blocks((cards.contacts.size() + kBlock - 1) / kBlock);
        forEachOnThreads(blocks.size(), threads, [&](std::size_t block) {
            std::string blockScratch;
            for (std::size_t k = block * kBlock; k < std::min(cards.contacts.size(), (block + 1) * kBlock); ++k)
                blocks[block].add(cards.contacts[k], path, k, blockScratch);
        });
        for (Batch& block : blocks)
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
            data->leftOut.bigFiles += file.tooBig ? 1 : 0;
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
        return nullptr;
    parseGroup();
    report(1000, qsizetype(kept.size()));

    // Sorted through precomputed keys: a locale-aware collator costs far more
    // per comparison than a list of 100,000 names can afford, and folded
    // names keep "María" among the other Marias. Nameless contacts (a number
    // only) go last. The first eight characters of each key, packed in order
    // into two numbers (0 past the end), settle most comparisons without a
    // call.
    struct SortKey {
        std::uint64_t prefix[2];
        QStringView key;
        std::size_t index;
    };
    std::vector<SortKey> order;
    order.reserve(kept.size());
    for (std::size_t i = 0; i < kept.size(); ++i) {
        SortKey& entry = order.emplace_back(SortKey { { 0, 0 }, kept.sortKey(i), i });
        for (qsizetype k = 0; k < 8; ++k)
            entry.prefix[k / 4] = entry.prefix[k / 4] << 16 | (k < entry.key.size() ? entry.key[k].unicode() : 0);
    }
    std::stable_sort(order.begin(), order.end(), [](const SortKey& a, const SortKey& b) {
        if (a.key.isEmpty() != b.key.isEmpty())
            return b.key.isEmpty();
        if (a.prefix[0] != b.prefix[0])
            return a.prefix[0] < b.prefix[0];
        if (a.prefix[1] != b.prefix[1])
            return a.prefix[1] < b.prefix[1];
        return a.key < b.key;
    });
    // The search texts of all contacts sit in two long buffers: a keystroke
    // over 100,000 contacts reads memory in order and allocates nothing.
    data->text.resize(kept.text.size());
    data->digits.resize(kept.digits.size());
    data->textStart.reserve(kept.size() + 1);
    data->digitStart.reserve(kept.size() + 1);
    const auto copySlice = [](QString& to, std::vector<qsizetype>& toStart, const QString& from,
                               const std::vector<qsizetype>& fromStart, std::size_t i) {
        const qsizetype size = fromStart[i + 1] - fromStart[i];
        std::copy_n(from.constData() + fromStart[i], size, to.data() + toStart.back());
        toStart.push_back(toStart.back() + size);
    };
    for (const SortKey& entry : order) {
        copySlice(data->text, data->textStart, kept.text, kept.textStart, entry.index);
        copySlice(data->digits, data->digitStart, kept.digits, kept.digitStart, entry.index);
    }
    // The contacts are put in order where they are, each moved once along
    // the cycles of the order.
    std::vector<Contact>& contacts = data->contacts = std::move(kept.contacts);
    std::vector<bool> placed(contacts.size());
    for (std::size_t start = 0; start < contacts.size(); ++start) {
        if (placed[start])
            continue;
        Contact first = std::move(contacts[start]);
        std::size_t to = start;
        for (std::size_t from = order[to].index; from != start; to = from, from = order[to].index) {
            contacts[to] = std::move(contacts[from]);
            placed[to] = true;
        }
        contacts[to] = std::move(first);
        placed[to] = true;
    }
    for (std::size_t i = 0; i < contacts.size(); ++i)
        contacts[i].oid = static_cast<int>(i + 1);
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
