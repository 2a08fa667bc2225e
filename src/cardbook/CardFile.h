#pragma once

#include "CardBook.h"

#include <chrono>
#include <cstddef>
#include <filesystem>
#include <system_error>

enum class SaveMode {
    Replace, // the file becomes exactly the book's bytes
    InPlace, // the book's bytes overwrite the start; older bytes past them stay
};

struct LoadResult {
    int complete = 0; // cards read whole, in file order
    bool ranToEnd = false; // every announced card was read without failure
    // The file is past kMaxFileBytes or holds more than kMaxAside cards past
    // the tenth: only what lies within those limits was read, and no screen
    // may rewrite the file, since the save would lose the rest.
    bool tooBig = false;

    // The cards read may be shown: the load ran to its end, or to the limits
    // of a file too big to read whole.
    bool trusted() const { return ranToEnd || tooBig; }
};

struct SaveResult {
    std::error_code error; // why nothing was written; the file is as it was
    explicit operator bool() const { return !error; }
};

namespace CardFile {

// Cards kept aside past the tenth. The screens never write more than ten
// cards, so only a file from elsewhere holds any; a file holding more counts
// as too big to rewrite.
inline constexpr std::size_t kMaxAside = 1000;

// The most bytes a load reads. Ten cards of the longest texts the screens
// accept take 1,284 bytes, and each card of that size 128; this leaves room
// for the ten cards and kMaxAside more eight times over (129,284 bytes).
inline constexpr std::size_t kMaxFileBytes = 1 << 20;

// $XDG_DATA_HOME/dialer/Card.bin, or ~/.local/share/dialer/Card.bin.
std::filesystem::path defaultPath();

// Never throws. Fills `book` from slot 0; slots past the last card read keep
// what they held. Follows a symbolic link at `path`, and reads at most
// kMaxFileBytes. A FIFO or a device in the file's place cannot block it: it
// reads what is there at once, as a card file.
LoadResult load(CardBook& book, const std::filesystem::path& path = defaultPath());

// Never throws. On failure nothing was written: the file on disk is exactly
// as it was (saves are atomic). A symbolic link at `path` is replaced by a
// regular file; the file it named is neither read nor written.
SaveResult save(const CardBook& book, SaveMode mode, const std::filesystem::path& path = defaultPath());

// Serialises load, change and save between running copies of the program:
// an advisory flock on "Card.bin.lock" beside the card file, never on the
// card file itself, which every save replaces by a rename. Released when the
// object goes or by release().
class Lock {
public:
    // How long a change waits for another copy's change to end. A change
    // holds the lock for a load and a save, a few milliseconds.
    static constexpr std::chrono::milliseconds kWait { 2500 };

    explicit Lock(const std::filesystem::path& cardFile = defaultPath(), std::chrono::milliseconds wait = kWait);
    Lock(const Lock&) = delete;
    Lock& operator=(const Lock&) = delete;
    ~Lock() { release(); }

    bool held() const { return m_fd >= 0; }
    // Why the lock is not held: std::errc::operation_would_block when another
    // copy kept it for the whole wait, else the failing step's error.
    std::error_code error() const { return m_error; }
    void release();

private:
    int m_fd = -1;
    std::error_code m_error;
};

} // namespace CardFile
