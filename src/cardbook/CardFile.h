#pragma once

#include "CardBook.h"

#include <filesystem>

enum class SaveMode {
    Replace, // the file becomes exactly the book's bytes
    InPlace, // the book's bytes overwrite the start; older bytes past them stay
};

struct LoadResult {
    int complete = 0; // cards read whole, in file order
    bool ranToEnd = false; // every announced card was read without failure
};

namespace CardFile {

// $XDG_DATA_HOME/dialer/Card.bin, or ~/.local/share/dialer/Card.bin.
std::filesystem::path defaultPath();

// Never throws. Fills `book` from slot 0; slots past the last card read keep
// what they held.
LoadResult load(CardBook& book, const std::filesystem::path& path = defaultPath());

// Never throws. Returns false when nothing could be written; the file on disk
// is then exactly as it was (saves are atomic).
bool save(const CardBook& book, SaveMode mode, const std::filesystem::path& path = defaultPath());

} // namespace CardFile
