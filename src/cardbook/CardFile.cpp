#include "CardFile.h"

#include "CardCodec.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <optional>
#include <string>
#include <string_view>
#include <system_error>
#include <thread>

#include <fcntl.h>
#include <pwd.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace CardFile {
namespace {

// The error of the call that just failed, taken before anything can change errno.
std::error_code lastError()
{
    return { errno, std::generic_category() };
}

class UniqueFd {
public:
    explicit UniqueFd(int fd = -1)
        : m_fd(fd)
    {
    }
    UniqueFd(const UniqueFd&) = delete;
    UniqueFd& operator=(const UniqueFd&) = delete;
    ~UniqueFd()
    {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    int get() const { return m_fd; }
    explicit operator bool() const { return m_fd >= 0; }
    void release() { m_fd = -1; }
    // Closes now so that a failing close (a delayed write error) is seen.
    bool close()
    {
        const int fd = m_fd;
        m_fd = -1;
        return ::close(fd) == 0;
    }

private:
    int m_fd;
};

// Removes the temporary file on every way out but a successful rename.
class TempFile {
public:
    explicit TempFile(std::string path)
        : m_path(std::move(path))
    {
    }
    TempFile(const TempFile&) = delete;
    TempFile& operator=(const TempFile&) = delete;
    ~TempFile()
    {
        if (!m_path.empty())
            ::unlink(m_path.c_str());
    }
    const std::string& path() const { return m_path; }
    void release() { m_path.clear(); }

private:
    std::string m_path;
};

// Test seam for crash safety: when DIALER_TEST_SAVE_HOOK names one of the
// phases below, the saving process kills itself with SIGKILL right there, so a
// test can look at the disk as a crash would leave it.
//   after-create   the temporary file exists and is empty
//   mid-write      half of the new bytes are in the temporary file
//   after-write    all bytes written, not yet flushed to disk
//   before-rename  flushed; Card.bin itself not yet touched
//   after-rename   Card.bin replaced; folder not yet flushed
// The value disk-full instead fails the second half of the writing with
// ENOSPC, as a full disk would, so that tests can see how a screen tells it.
class SaveHook {
public:
    SaveHook()
        : m_phase(std::getenv("DIALER_TEST_SAVE_HOOK"))
    {
    }
    void at(std::string_view phase) const
    {
        if (m_phase && phase == m_phase)
            std::raise(SIGKILL);
    }
    bool diskFull() const { return m_phase && std::string_view(m_phase) == "disk-full"; }

private:
    const char* m_phase;
};

// A file's bytes: on the stack while they fit, as ten cards always do (1,284
// bytes at most), so that a load costs no allocation of its own; on the heap
// past that.
class FileBytes {
public:
    // Room for `n` more bytes after the first `have`, which it keeps.
    std::uint8_t* room(std::size_t have, std::size_t n)
    {
        if (!m_onHeap && have + n <= m_stack.size())
            return m_stack.data() + have;
        if (!m_onHeap)
            m_heap.assign(m_stack.begin(), m_stack.begin() + static_cast<std::ptrdiff_t>(have));
        m_onHeap = true;
        m_heap.resize(have + n);
        return m_heap.data() + have;
    }
    void keep(std::size_t n) { m_size = n; }
    std::span<const std::uint8_t> view() const { return { m_onHeap ? m_heap.data() : m_stack.data(), m_size }; }

private:
    std::array<std::uint8_t, 4096> m_stack; // only the first m_size bytes are ever read
    Bytes m_heap;
    std::size_t m_size = 0;
    bool m_onHeap = false;
};

struct ReadOutcome {
    FileBytes bytes;
    std::error_code error; // a read error cut the bytes short
    bool tooBig = false; // the file goes on past kMaxFileBytes, which were kept
};

// Reads at most kMaxFileBytes of a file's bytes. `announced` is the size
// fstat gave when the caller asked, and then the first read asks for one byte
// more: when it comes back short, the end is reached and no further read is
// spent to see it; a file that grew since, or one that announces no size (as
// the kernel's pseudo files do), is read on in chunks up to the same limit.
// Without it, a read that comes back short of what was asked ends the bytes.
// That is the end of a regular file, which the kernel fills a read of up to
// its end; of anything else opened non-blocking it is what was there at once.
ReadOutcome readAll(int fd, std::optional<std::size_t> announced = std::nullopt)
{
    constexpr std::size_t kChunk = 4096;
    ReadOutcome out;
    const std::size_t size = announced ? std::min(*announced, kMaxFileBytes) : 0;
    std::size_t have = 0;
    while (have <= kMaxFileBytes) {
        const std::size_t ask = std::min(have < size ? size + 1 - have : kChunk, kMaxFileBytes + 1 - have);
        const ssize_t got = ::read(fd, out.bytes.room(have, ask), ask);
        if (got < 0) {
            if (errno == EINTR)
                continue;
            out.error = lastError();
            break;
        }
        have += static_cast<std::size_t>(got);
        // Short of what was asked, with all that fstat announced: the end as
        // of this read, which a further read could only confirm.
        const bool shortRead = static_cast<std::size_t>(got) < ask;
        if (got == 0 || (shortRead && (!announced || (size > 0 && have >= size))))
            break;
    }
    out.tooBig = have > kMaxFileBytes;
    out.bytes.keep(std::min(have, kMaxFileBytes));
    return out;
}

std::error_code writeAll(int fd, const std::uint8_t* data, std::size_t size)
{
    while (size > 0) {
        const ssize_t put = ::write(fd, data, size);
        if (put < 0) {
            if (errno == EINTR)
                continue;
            return lastError();
        }
        data += put;
        size -= static_cast<std::size_t>(put);
    }
    return {};
}

// Creates `dir` and any missing parents, each owner-only: the file holds PINs.
std::error_code makeFolders(const fs::path& dir)
{
    std::error_code ec;
    if (fs::is_directory(dir, ec))
        return {};
    const fs::path parent = dir.parent_path();
    if (!parent.empty() && parent != dir) {
        if (const std::error_code failed = makeFolders(parent))
            return failed;
    }
    if (::mkdir(dir.c_str(), 0700) == 0)
        return {};
    const std::error_code failed = lastError();
    return failed == std::errc::file_exists && fs::is_directory(dir, ec) ? std::error_code() : failed;
}

// The bytes a save in place keeps past the new ones. A link at the card
// file's place is not followed: it names some other file, perhaps a device,
// and the save replaces the link itself, so it brings no old bytes.
ReadOutcome oldBytes(const fs::path& path)
{
    UniqueFd old(::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOFOLLOW | O_CLOEXEC));
    if (!old) // an absent file is not created
        return { .bytes = {}, .error = errno == ELOOP ? std::error_code() : lastError() };
    // A save replaces whatever is at the path, so it must be a card file
    // before its bytes are kept: not a FIFO or a device.
    struct stat st { };
    if (::fstat(old.get(), &st) != 0)
        return { .bytes = {}, .error = lastError() };
    if (!S_ISREG(st.st_mode))
        return { .bytes = {}, .error = std::make_error_code(std::errc::invalid_argument) };
    return readAll(old.get(), st.st_size > 0 ? static_cast<std::size_t>(st.st_size) : 0);
}

// A save killed before its rename leaves its temporary file behind, and it
// holds PINs. The next save clears those; a young one may belong to another
// copy of the program saving right now, so only old ones go.
void removeStaleTemps(const fs::path& dir, const std::string& tempPrefix)
{
    constexpr auto kStale = std::chrono::minutes(1);
    std::error_code ec;
    const auto now = fs::file_time_type::clock::now();
    for (fs::directory_iterator it(dir, ec), end; !ec && it != end; it.increment(ec)) {
        const std::string name = it->path().filename().string();
        if (name.size() != tempPrefix.size() + 6 || name.compare(0, tempPrefix.size(), tempPrefix) != 0)
            continue;
        std::error_code timeError;
        const auto written = fs::last_write_time(it->path(), timeError);
        if (!timeError && now - written > kStale && it->is_regular_file(timeError))
            ::unlink(it->path().c_str());
    }
}

std::error_code writeAtomically(const fs::path& target, const Bytes& bytes)
{
    const SaveHook hook;
    fs::path dir = target.parent_path();
    if (dir.empty())
        dir = ".";

    // Hidden, next to Card.bin so the rename stays within one file system.
    std::string name = target.filename().string();
    name.insert(0, 1, '.');
    name.append(".XXXXXX");
    std::string pattern = (dir / name).string();
    UniqueFd fd(::mkstemp(pattern.data()));
    if (!fd)
        return lastError();
    TempFile temp(pattern);
    if (::fchmod(fd.get(), 0600) != 0)
        return lastError();
    hook.at("after-create");

    const std::size_t half = bytes.size() / 2;
    if (const std::error_code failed = writeAll(fd.get(), bytes.data(), half))
        return failed;
    hook.at("mid-write");
    if (hook.diskFull())
        return std::make_error_code(std::errc::no_space_on_device);
    if (const std::error_code failed = writeAll(fd.get(), bytes.data() + half, bytes.size() - half))
        return failed;
    hook.at("after-write");
    if (::fsync(fd.get()) != 0 || !fd.close())
        return lastError();
    hook.at("before-rename");

    // rename() replaces the name itself: a symbolic link there goes, and the
    // file it named stays untouched.
    if (::rename(temp.path().c_str(), target.c_str()) != 0)
        return lastError();
    temp.release();
    hook.at("after-rename");
    removeStaleTemps(dir, name.substr(0, name.size() - 6));

    // The rename is done; flushing the folder makes it survive a power cut.
    // Some file systems refuse fsync on folders, which changes nothing here.
    UniqueFd folder(::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (folder)
        ::fsync(folder.get());
    return {};
}

} // namespace

fs::path defaultPath()
{
    const char* data = std::getenv("XDG_DATA_HOME");
    fs::path base;
    if (data && fs::path(data).is_absolute()) {
        base = data;
    } else {
        const char* home = std::getenv("HOME");
        if (!home || !*home) {
            const passwd* pw = ::getpwuid(::getuid());
            home = pw ? pw->pw_dir : "";
        }
        base = fs::path(home) / ".local" / "share";
    }
    return base / "dialer" / "Card.bin";
}

LoadResult load(CardBook& book, const fs::path& path)
{
    try {
        // Non-blocking so that a FIFO or a device in the file's place cannot
        // hang a screen; it changes nothing for a regular file. What such a
        // thing holds at once is read as a card file would be, bounded by
        // kMaxFileBytes. No fstat first: on the path every screen takes, that
        // one call cost a fifth of the load.
        UniqueFd fd(::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
        if (!fd)
            return {};
        // A read error midway counts as the end of the file: the cards before
        // it are kept, and the load did not run to its end.
        const ReadOutcome content = readAll(fd.get());
        if (content.error && content.bytes.view().empty())
            return {};
        LoadResult result = parse(content.bytes.view(), book);
        if (content.tooBig) {
            result.tooBig = true;
            result.ranToEnd = false;
        }
        return result;
    } catch (...) {
        // Out of memory for a file far larger than any card file.
        return {};
    }
}

SaveResult save(const CardBook& book, SaveMode mode, const fs::path& path)
{
    try {
        Bytes bytes = serialize(book);
        if (mode == SaveMode::InPlace) {
            // The old bytes past the new end stay, as writing over the start
            // of the file would leave them.
            const ReadOutcome old = oldBytes(path);
            if (old.error || old.tooBig)
                return { old.tooBig ? std::make_error_code(std::errc::file_too_large) : old.error };
            if (const auto kept = old.bytes.view(); kept.size() > bytes.size())
                bytes.insert(bytes.end(), kept.begin() + static_cast<std::ptrdiff_t>(bytes.size()), kept.end());
        } else {
            const fs::path dir = path.parent_path();
            if (!dir.empty()) {
                if (const std::error_code failed = makeFolders(dir))
                    return { failed };
            }
        }
        return { writeAtomically(path, bytes) };
    } catch (...) {
        // Out of memory before anything was written.
        return { std::make_error_code(std::errc::not_enough_memory) };
    }
}

Lock::Lock(const fs::path& cardFile, std::chrono::milliseconds wait)
{
    try {
        const fs::path dir = cardFile.parent_path();
        if (!dir.empty()) {
            if ((m_error = makeFolders(dir)))
                return;
        }
        fs::path lockPath = cardFile;
        lockPath += ".lock";
        // Not following a link keeps a planted one from creating or opening
        // a file elsewhere; non-blocking, a FIFO there cannot hang the screen.
        UniqueFd fd(::open(lockPath.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0600));
        struct stat st { };
        if (!fd || ::fstat(fd.get(), &st) != 0) {
            m_error = lastError();
            return;
        }
        if (!S_ISREG(st.st_mode)) {
            m_error = std::make_error_code(std::errc::invalid_argument);
            return;
        }
        // Polled rather than waited for, since flock cannot time out. The
        // holder keeps it for milliseconds, so a short step loses little.
        const auto deadline = std::chrono::steady_clock::now() + wait;
        while (::flock(fd.get(), LOCK_EX | LOCK_NB) != 0) {
            if (errno != EWOULDBLOCK && errno != EINTR) {
                m_error = lastError();
                return;
            }
            if (std::chrono::steady_clock::now() >= deadline) {
                m_error = std::make_error_code(std::errc::operation_would_block);
                return;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
        m_fd = fd.get();
        fd.release();
    } catch (...) {
        m_error = std::make_error_code(std::errc::not_enough_memory);
    }
}

void Lock::release()
{
    if (m_fd >= 0)
        ::close(m_fd); // closing the last descriptor ends the flock
    m_fd = -1;
}

} // namespace CardFile
