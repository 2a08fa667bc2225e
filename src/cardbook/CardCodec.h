#pragma once

// The card file's bytes, without any file: the loader and the saver use these,
// and the fuzz target drives them directly in memory.

#include "CardFile.h"

#include <cstdint>
#include <span>
#include <vector>

namespace CardFile {

using Bytes = std::vector<std::uint8_t>;

// Reads `bytes` as a whole card file into `book`, exactly as `load` does once
// the file is open: overflow is cleared, slots past the last card read keep
// what they held, and a file announcing more than kMaxAside cards past the
// tenth is read up to that cap and reported too big.
LoadResult parse(std::span<const std::uint8_t> bytes, CardBook& book);

// The bytes `save` writes in Replace mode.
Bytes serialize(const CardBook& book);

// One byte of the Western Windows code page as a UTF-16 code unit.
char16_t fromWindows1252(std::uint8_t byte);

} // namespace CardFile
