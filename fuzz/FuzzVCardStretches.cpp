// The contact store parses a large file in stretches on several threads and
// merges them against the contact limit. Whatever the bytes, the limits, the
// stretch size and the thread count, that must give the cards a whole-file
// parse gives, in the same order, with the same counts left out.
#include "VCardReader.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

namespace {

// The first bytes choose how the rest is read; a set high bit keeps a limit
// at its real value.
constexpr std::size_t kSettings = 5;

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size < kSettings)
        return 0;
    const std::uint8_t* s = data;
    // From 1 byte (a cut before every card) to half a megabyte (the store's own).
    const std::size_t stretch = std::size_t { 1u + (s[0] & 0x0Fu) } << (s[0] >> 4);
    const unsigned threads = 1 + (s[1] & 3u);
    VCardLimits limits;
    if (s[2] != 0xFF)
        limits.contacts = s[2];
    if (!(s[3] & 0x80))
        limits.propertyBytes = std::size_t { s[3] } * 4;
    if (!(s[4] & 0x80))
        limits.cardBytes = std::size_t { s[4] } * 32;
    const std::string_view bytes(reinterpret_cast<const char*>(data) + kSettings, size - kSettings);

    const VCardCards whole = parseVCards(bytes, limits);
    const VCardCards stretched = parseVCardsInStretches(bytes, limits, stretch, threads);
    if (!(stretched == whole) || whole.contacts.size() > limits.contacts
        || (whole.tooMany > 0 && whole.contacts.size() != limits.contacts))
        std::abort();
    return 0;
}
