#include "CardCodec.h"

#include "Windows1252.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstring>
#include <limits>
#include <optional>

namespace CardFile {
namespace {

constexpr std::array kFields {
    &CardRecord::cardName,
    &CardRecord::accessNumber,
    &CardRecord::pin,
    &CardRecord::pauseBeforeNumber,
    &CardRecord::prefix,
    &CardRecord::pauseBeforePin,
};

// Little-endian reads that fail, rather than run past the end, when the
// bytes run out.
class Reader {
public:
    explicit Reader(std::span<const std::uint8_t> bytes)
        : m_bytes(bytes)
    {
    }

    std::size_t remaining() const { return m_bytes.size() - m_pos; }
    // The next bytes without taking them; only remaining() of them are there.
    const std::uint8_t* peek() const { return m_bytes.data() + m_pos; }
    void skip(std::size_t n) { m_pos += n; }

    template <typename T> std::optional<T> integer()
    {
        if (remaining() < sizeof(T))
            return std::nullopt;
        std::uint64_t value = 0;
        for (std::size_t i = 0; i < sizeof(T); ++i)
            value |= std::uint64_t { m_bytes[m_pos + i] } << (8 * i);
        m_pos += sizeof(T);
        return static_cast<T>(value);
    }

    // The next `n` bytes, or nothing when fewer remain. The check comes before
    // any use, so a huge length in a small file costs nothing.
    std::optional<std::span<const std::uint8_t>> take(std::uint64_t n)
    {
        if (n > remaining())
            return std::nullopt;
        auto part = m_bytes.subspan(m_pos, static_cast<std::size_t>(n));
        m_pos += static_cast<std::size_t>(n);
        return part;
    }

private:
    std::span<const std::uint8_t> m_bytes;
    std::size_t m_pos = 0;
};

// The escalating forms after a 16-bit value `w`: 0xFFFF announces 32 bits,
// 0xFFFFFFFF announces 64 bits, and a 64-bit length beyond 31 bits marks a
// damaged file.
std::optional<std::uint64_t> lengthFrom16(Reader& in, std::uint16_t w)
{
    if (w < 0xFFFF)
        return w;
    const auto d = in.integer<std::uint32_t>();
    if (!d)
        return std::nullopt;
    if (*d < 0xFFFFFFFFu)
        return *d;
    const auto q = in.integer<std::uint64_t>();
    if (!q || *q > 0x7FFFFFFFu)
        return std::nullopt;
    return *q;
}

struct Prefix {
    bool wide = false;
    std::uint64_t length = 0;
};

std::optional<Prefix> readPrefix(Reader& in)
{
    // Nearly every string is short: one length byte, or the wide marker and
    // one length byte. Those are read in one look.
    if (in.remaining() >= 4) {
        const std::uint8_t* p = in.peek();
        if (p[0] < 0xFF) {
            in.skip(1);
            return Prefix { false, p[0] };
        }
        if (p[1] == 0xFE && p[2] == 0xFF && p[3] < 0xFF) {
            in.skip(4);
            return Prefix { true, p[3] };
        }
    }
    const auto b = in.integer<std::uint8_t>();
    if (!b)
        return std::nullopt;
    if (*b < 0xFF)
        return Prefix { false, *b };
    auto w = in.integer<std::uint16_t>();
    if (!w)
        return std::nullopt;
    const bool wide = *w == 0xFFFE;
    if (wide) {
        const auto b2 = in.integer<std::uint8_t>();
        if (!b2)
            return std::nullopt;
        if (*b2 < 0xFF)
            return Prefix { true, *b2 };
        w = in.integer<std::uint16_t>();
        if (!w)
            return std::nullopt;
    }
    const auto length = lengthFrom16(in, *w);
    if (!length)
        return std::nullopt;
    return Prefix { wide, *length };
}

// Decodes the next string straight into `out`, whose buffer a reload reuses;
// `out` is left as it was when the bytes run out before the string's end.
bool readString(Reader& in, std::u16string& out)
{
    const auto prefix = readPrefix(in);
    if (!prefix)
        return false;
    // A 64-bit length is at most 0x7FFFFFFF and a 32-bit one below 2^32, so
    // doubling it cannot overflow.
    const auto text = in.take(prefix->wide ? prefix->length * 2 : prefix->length);
    if (!text)
        return false;
    // Every character is written below: a reused string of the same length
    // is neither emptied nor filled first.
    if (prefix->wide) {
        out.resize(text->size() / 2);
        if constexpr (std::endian::native == std::endian::little) {
            std::memcpy(out.data(), text->data(), out.size() * 2);
        } else {
            for (std::size_t i = 0; i < out.size(); ++i)
                out[i] = static_cast<char16_t>((*text)[2 * i] | ((*text)[2 * i + 1] << 8));
        }
    } else {
        out.resize(text->size());
        for (std::size_t i = 0; i < out.size(); ++i)
            out[i] = fromWindows1252((*text)[i]);
    }
    return true;
}

void putInteger(Bytes& out, std::uint64_t value, int size)
{
    for (int i = 0; i < size; ++i)
        out.push_back(static_cast<std::uint8_t>(value >> (8 * i)));
}

void putString(Bytes& out, const std::u16string& s)
{
    const std::uint64_t n = s.size();
    out.insert(out.end(), { 0xFF, 0xFE, 0xFF });
    if (n < 0xFF) {
        putInteger(out, n, 1);
    } else if (n < 0xFFFE) {
        out.push_back(0xFF);
        putInteger(out, n, 2);
    } else if (n < 0xFFFFFFFFu) {
        out.insert(out.end(), { 0xFF, 0xFF, 0xFF });
        putInteger(out, n, 4);
    } else {
        // Needs 8 GB of text in memory; written in the form readers know.
        out.insert(out.end(), { 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF });
        putInteger(out, n, 8);
    }
    for (const char16_t unit : s)
        putInteger(out, unit, 2);
}

} // namespace

char16_t fromWindows1252(std::uint8_t byte)
{
    return windows1252::toUtf16(byte);
}

LoadResult parse(std::span<const std::uint8_t> bytes, CardBook& book)
{
    book.overflow().clear();
    LoadResult result;
    Reader in(bytes);
    const auto count = in.integer<std::int32_t>();
    if (!count)
        return result;
    // Every card takes at least six bytes, so even a count near 2^31 ends at
    // the end of the bytes after a bounded number of rounds.
    for (std::int32_t i = 0; i < *count; ++i) {
        if (static_cast<std::size_t>(i) == CardBook::kSlots + kMaxAside) {
            result.tooBig = true;
            return result;
        }
        CardRecord beyond;
        CardRecord& card = i < CardBook::kSlots ? book.slot(i) : beyond;
        for (const auto field : kFields) {
            if (!readString(in, card.*field))
                return result;
        }
        if (i < CardBook::kSlots)
            ++result.complete;
        else
            book.overflow().push_back(std::move(beyond));
    }
    result.ranToEnd = true;
    return result;
}

Bytes serialize(const CardBook& book)
{
    const int n = book.count();
    std::size_t extra = 0;
    if (n == CardBook::kSlots)
        extra = std::min<std::size_t>(book.overflow().size(), std::numeric_limits<std::int32_t>::max() - n);

    std::size_t size = 4;
    const auto measure = [&size](const CardRecord& card) {
        for (const auto field : kFields)
            size += 4 + 2 * (card.*field).size();
    };
    for (int i = 0; i < n; ++i)
        measure(book.slot(i));
    for (std::size_t i = 0; i < extra; ++i)
        measure(book.overflow()[i]);

    Bytes out;
    out.reserve(size);
    putInteger(out, static_cast<std::uint64_t>(n + static_cast<std::int64_t>(extra)), 4);
    const auto put = [&out](const CardRecord& card) {
        for (const auto field : kFields)
            putString(out, card.*field);
    };
    for (int i = 0; i < n; ++i)
        put(book.slot(i));
    for (std::size_t i = 0; i < extra; ++i)
        put(book.overflow()[i]);
    return out;
}

} // namespace CardFile
