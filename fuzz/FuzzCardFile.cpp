// Feeds arbitrary bytes to the card file reader, then checks that what it
// read survives a write and a second read unchanged.

#include "CardCodec.h"

#include <cstdint>
#include <cstdlib>

namespace {

// What a save keeps of a book: its cards, and the kept-aside ones only when
// all ten slots hold cards.
bool sameSavedContent(const CardBook& a, const CardBook& b)
{
    if (a.count() != b.count())
        return false;
    for (int i = 0; i < a.count(); ++i) {
        if (!(a.slot(i) == b.slot(i)))
            return false;
    }
    return a.count() < CardBook::kSlots || a.overflow() == b.overflow();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    CardBook book;
    const LoadResult first = CardFile::parse({ data, size }, book);
    if (first.complete < 0 || first.complete > CardBook::kSlots)
        std::abort();

    const CardFile::Bytes written = CardFile::serialize(book);
    CardBook again;
    const LoadResult second = CardFile::parse(written, again);
    if (!second.ranToEnd || second.complete != again.count() || !sameSavedContent(book, again))
        std::abort();
    // Written once in the canonical form, the bytes no longer change.
    if (CardFile::serialize(again) != written)
        std::abort();
    return 0;
}
