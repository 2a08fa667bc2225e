#include "CardFile.h"

#include "CardCodec.h"

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <string>
#include <string_view>
#include <system_error>

#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace CardFile {
namespace {

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

private:
    const char* m_phase;
};

struct ReadOutcome {
    Bytes bytes;
    bool complete = true; // false: a read error cut the bytes short
};

ReadOutcome readAll(int fd)
{
    ReadOutcome out;
    struct stat st { };
    if (::fstat(fd, &st) == 0 && st.st_size > 0)
        out.bytes.reserve(static_cast<std::size_t>(st.st_size));
    std::uint8_t buffer[4096];
    for (;;) {
        const ssize_t got = ::read(fd, buffer, sizeof buffer);
        if (got == 0)
            return out;
        if (got < 0) {
            if (errno == EINTR)
                continue;
            out.complete = false;
            return out;
        }
        out.bytes.insert(out.bytes.end(), buffer, buffer + got);
    }
}

bool writeAll(int fd, const std::uint8_t* data, std::size_t size)
{
    while (size > 0) {
        const ssize_t put = ::write(fd, data, size);
        if (put < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        data += put;
        size -= static_cast<std::size_t>(put);
    }
    return true;
}

// Creates `dir` and any missing parents, each owner-only: the file holds PINs.
bool makeFolders(const fs::path& dir)
{
    std::error_code ec;
    if (fs::is_directory(dir, ec))
        return true;
    const fs::path parent = dir.parent_path();
    if (!parent.empty() && parent != dir && !makeFolders(parent))
        return false;
    return ::mkdir(dir.c_str(), 0700) == 0 || (errno == EEXIST && fs::is_directory(dir, ec));
}

// Writes through a symbolic link to the file it names, so a link the user
// set up stays a link.
fs::path resolveTarget(const fs::path& path)
{
    std::error_code ec;
    if (fs::is_symlink(fs::symlink_status(path, ec))) {
        fs::path target = fs::canonical(path, ec);
        if (!ec)
            return target;
    }
    return path;
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

bool writeAtomically(const fs::path& target, const Bytes& bytes)
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
        return false;
    TempFile temp(pattern);
    if (::fchmod(fd.get(), 0600) != 0)
        return false;
    hook.at("after-create");

    const std::size_t half = bytes.size() / 2;
    if (!writeAll(fd.get(), bytes.data(), half))
        return false;
    hook.at("mid-write");
    if (!writeAll(fd.get(), bytes.data() + half, bytes.size() - half))
        return false;
    hook.at("after-write");
    if (::fsync(fd.get()) != 0 || !fd.close())
        return false;
    hook.at("before-rename");

    if (::rename(temp.path().c_str(), target.c_str()) != 0)
        return false;
    temp.release();
    hook.at("after-rename");
    removeStaleTemps(dir, name.substr(0, name.size() - 6));

    // The rename is done; flushing the folder makes it survive a power cut.
    // Some file systems refuse fsync on folders, which changes nothing here.
    UniqueFd folder(::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (folder)
        ::fsync(folder.get());
    return true;
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
        // Non-blocking so that a FIFO in the file's place cannot hang a screen;
        // it changes nothing for a regular file.
        UniqueFd fd(::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
        if (!fd)
            return {};
        struct stat st { };
        if (::fstat(fd.get(), &st) != 0 || !S_ISREG(st.st_mode))
            return {};
        // A read error midway counts as the end of the file: the cards before
        // it are kept, and the load did not run to its end.
        const ReadOutcome content = readAll(fd.get());
        return parse(content.bytes, book);
    } catch (...) {
        // Out of memory for a file far larger than any card file.
        return {};
    }
}

bool save(const CardBook& book, SaveMode mode, const fs::path& path)
{
    try {
        const fs::path target = resolveTarget(path);
        Bytes bytes = serialize(book);
        if (mode == SaveMode::InPlace) {
            // The old bytes past the new end stay, as writing over the start
            // of the file would leave them; an absent file is not created.
            UniqueFd old(::open(target.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
            if (!old)
                return false;
            struct stat st { };
            if (::fstat(old.get(), &st) != 0 || !S_ISREG(st.st_mode))
                return false;
            const ReadOutcome oldFile = readAll(old.get());
            if (!oldFile.complete)
                return false;
            const Bytes& oldBytes = oldFile.bytes;
            if (oldBytes.size() > bytes.size())
                bytes.insert(bytes.end(), oldBytes.begin() + static_cast<std::ptrdiff_t>(bytes.size()), oldBytes.end());
        } else {
            const fs::path dir = target.parent_path();
            if (!dir.empty() && !makeFolders(dir))
                return false;
        }
        return writeAtomically(target, bytes);
    } catch (...) {
        // Out of memory or a path the library rejects: nothing was written.
        return false;
    }
}

} // namespace CardFile
