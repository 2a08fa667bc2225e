#include "VCardCharsets.h"

#include "VCardAscii.h"
#include "Windows1252.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdint>
#include <cstring>

namespace vcard {

void appendUtf8(std::string& out, char32_t cp)
{
    if (cp < 0x80) {
        out += static_cast<char>(cp);
    } else if (cp < 0x800) {
        out += static_cast<char>(0xC0 | (cp >> 6));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        out += static_cast<char>(0xE0 | (cp >> 12));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (cp >> 18));
        out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    }
}

// Windows-1252 rather than plain Latin-1: old desktop exports labelled
// ISO-8859-1 routinely carry its quotes and euro sign in 0x80..0x9F. A byte
// the code page leaves undefined is no character at all in a name.

static void appendCp1252(std::string& out, unsigned char b)
{
    appendUtf8(out, windows1252::isUndefined(b) ? char16_t(0xFFFD) : windows1252::toUtf16(b));
}

// Length of the valid UTF-8 sequence at s[i], or 0 when there is none.
static std::size_t utf8SequenceAt(std::string_view s, std::size_t i)
{
    const auto b0 = static_cast<unsigned char>(s[i]);
    std::size_t len = 0;
    char32_t cp = 0;
    char32_t min = 0;
    if (b0 >= 0xC2 && b0 <= 0xDF) {
        len = 2, cp = b0 & 0x1F, min = 0x80;
    } else if (b0 >= 0xE0 && b0 <= 0xEF) {
        len = 3, cp = b0 & 0x0F, min = 0x800;
    } else if (b0 >= 0xF0 && b0 <= 0xF4) {
        len = 4, cp = b0 & 0x07, min = 0x10000;
    } else {
        return 0;
    }
    if (i + len > s.size())
        return 0;
    for (std::size_t k = 1; k < len; ++k) {
        const auto b = static_cast<unsigned char>(s[i + k]);
        if ((b & 0xC0) != 0x80)
            return 0;
        cp = (cp << 6) | (b & 0x3F);
    }
    if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF))
        return 0;
    return len;
}

// Names are mostly ASCII: that is passed over eight bytes at a time.
bool isUtf8(std::string_view s)
{
    for (std::size_t i = 0; i < s.size();) {
        std::uint64_t eight = 0;
        if (i + 8 <= s.size() && (std::memcpy(&eight, s.data() + i, 8), (eight & 0x8080808080808080u) == 0))
            i += 8;
        else if (static_cast<unsigned char>(s[i]) < 0x80)
            ++i;
        else if (const std::size_t len = utf8SequenceAt(s, i); len != 0)
            i += len;
        else
            return false;
    }
    return true;
}

// Valid UTF-8 is kept; a byte that starts no valid sequence is read as
// Windows-1252, the usual origin of such bytes in address books.
void appendAsUtf8(std::string& out, std::string_view in)
{
    // What is valid goes in by runs, up to the next byte that is not.
    std::size_t run = 0;
    for (std::size_t i = 0; i < in.size();) {
        if (static_cast<unsigned char>(in[i]) < 0x80) {
            ++i;
        } else if (const std::size_t len = utf8SequenceAt(in, i); len != 0) {
            i += len;
        } else {
            out.append(in.substr(run, i - run));
            appendCp1252(out, static_cast<unsigned char>(in[i]));
            run = ++i;
        }
    }
    out.append(in.substr(run));
}

void appendSingleByteCharset(std::string& out, std::string_view in)
{
    for (const char c : in)
        appendCp1252(out, static_cast<unsigned char>(c));
}

bool isSingleByteCharset(std::string_view charset)
{
    return iequals(charset, "iso-8859-1") || iequals(charset, "iso8859-1") || iequals(charset, "latin1")
        || iequals(charset, "latin-1") || iequals(charset, "windows-1252") || iequals(charset, "cp1252")
        || iequals(charset, "us-ascii");
}

bool isUtf8Charset(std::string_view charset)
{
    return iequals(charset, "utf-8") || iequals(charset, "utf8");
}

// Shift_JIS as phones and Windows write it. glibc's SHIFT_JIS reads 0x5C as
// a yen sign and 0x7E as an overline, which would turn every escape into a
// yen sign; its CP932 reads them as ASCII, and knows the vendor rows too.
static bool isShiftJis(std::string_view charset)
{
    return iequals(charset, "shift_jis") || iequals(charset, "shift-jis") || iequals(charset, "sjis")
        || iequals(charset, "x-sjis") || iequals(charset, "ms_kanji") || iequals(charset, "csshiftjis");
}

// Appends `in`, written in the charset of cd, as UTF-8. A byte that starts no
// character of that charset is one U+FFFD. The UTF-8 is at most four bytes
// for each byte read, plus a few: no charset glibc knows needs more for text,
// and a value that would is cut there.
void appendConverted(std::string& out, iconv_t cd, std::string_view in)
{
    iconv(cd, nullptr, nullptr, nullptr, nullptr); // back to the initial shift state
    const std::size_t start = out.size();
    out.resize(start + in.size() * 4 + 16);
    char* from = const_cast<char*>(in.data());
    std::size_t fromLeft = in.size();
    char* to = out.data() + start;
    std::size_t toLeft = out.size() - start;
    while (fromLeft > 0 && iconv(cd, &from, &fromLeft, &to, &toLeft) == static_cast<std::size_t>(-1)) {
        const int error = errno;
        if (error == E2BIG || toLeft < 3)
            break;
        std::memcpy(to, "\xEF\xBF\xBD", 3);
        to += 3;
        toLeft -= 3;
        // A sequence cut off by the value's end (EINVAL) ends the value.
        const std::size_t skip = error == EINVAL ? fromLeft : 1;
        from += skip;
        fromLeft -= skip;
    }
    iconv(cd, nullptr, nullptr, &to, &toLeft); // a stateful charset's closing shift
    out.resize(static_cast<std::size_t>(to - out.data()));
}

Charsets::~Charsets()
{
    for (const Entry& e : m_entries) {
        if (e.cd != kNoCharset)
            iconv_close(e.cd);
    }
}

iconv_t Charsets::find(std::string_view name)
{
    for (const Entry& e : m_entries) {
        if (iequals(e.name, name))
            return e.cd;
    }
    if (m_entries.size() < kKept) {
        m_entries.push_back({ std::string(name), open(name) });
        return m_entries.back().cd;
    }
    Entry& oldest = m_entries[m_next];
    m_next = (m_next + 1) % kKept;
    if (oldest.cd != kNoCharset)
        iconv_close(oldest.cd);
    oldest = { std::string(name), open(name) };
    return oldest.cd;
}

// kNoCharset for a name iconv does not know, and for a charset that does not
// keep printable ASCII as it is (UTF-16, EBCDIC, the national forms of ISO
// 646): the line around the value is ASCII, and its separators and escapes
// must mean in the value what they say.
iconv_t Charsets::open(std::string_view name)
{
    const bool named = !name.empty() && name.size() <= 40 && std::all_of(name.begin(), name.end(), [](char c) {
        return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9')
            || std::string_view("-_.:+()").find(c) != std::string_view::npos;
    });
    if (!named)
        return kNoCharset;
    const iconv_t cd = iconv_open("UTF-8", isShiftJis(name) ? "CP932" : std::string(name).c_str());
    if (cd == kNoCharset)
        return kNoCharset;
    std::array<char, 0x7F - 0x20> ascii {};
    for (std::size_t i = 0; i < ascii.size(); ++i)
        ascii[i] = static_cast<char>(0x20 + i);
    std::string read;
    appendConverted(read, cd, std::string_view(ascii.data(), ascii.size()));
    if (read == std::string_view(ascii.data(), ascii.size()))
        return cd;
    iconv_close(cd);
    return kNoCharset;
}

static int hexValue(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    c = lowerAscii(c);
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    return -1;
}

// A broken escape ("=G1", a lone "=") is kept as written: the rest of the
// value is still worth showing.
void decodeQuotedPrintable(std::string_view in, std::string& out)
{
    out.resize(in.size()); // what decoding never outgrows
    char* to = out.data();
    for (std::size_t i = 0; i < in.size(); ++i) {
        const int high = in[i] == '=' && i + 2 < in.size() ? hexValue(in[i + 1]) : -1;
        const int low = high >= 0 ? hexValue(in[i + 2]) : -1;
        if (low >= 0) {
            *to++ = static_cast<char>(high * 16 + low);
            i += 2;
        } else {
            *to++ = in[i];
        }
    }
    out.resize(static_cast<std::size_t>(to - out.data()));
}

// Files saved as UTF-16 with a byte order mark (some Windows tools do) are
// turned into UTF-8 before anything else looks at them.
std::string utf16ToUtf8(std::string_view bytes, bool bigEndian)
{
    std::string out;
    out.reserve(bytes.size() / 2);
    auto unitAt = [&](std::size_t i) -> char16_t {
        const auto a = static_cast<unsigned char>(bytes[i]);
        const auto b = static_cast<unsigned char>(bytes[i + 1]);
        return static_cast<char16_t>(bigEndian ? (a << 8) | b : (b << 8) | a);
    };
    for (std::size_t i = 0; i + 1 < bytes.size(); i += 2) {
        const char16_t u = unitAt(i);
        if (u >= 0xD800 && u <= 0xDBFF && i + 3 < bytes.size()) {
            const char16_t low = unitAt(i + 2);
            if (low >= 0xDC00 && low <= 0xDFFF) {
                appendUtf8(out, 0x10000 + ((char32_t(u) - 0xD800) << 10) + (low - 0xDC00));
                i += 2;
                continue;
            }
        }
        appendUtf8(out, (u >= 0xD800 && u <= 0xDFFF) ? char32_t(0xFFFD) : char32_t(u));
    }
    return out;
}

} // namespace vcard
