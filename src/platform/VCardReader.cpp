#include "VCardReader.h"

#include "Windows1252.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <iterator>
#include <system_error>
#include <thread>

#include <iconv.h>

// One pass over the bytes, no regular expressions and no backtracking: address
// books of 100,000 cards are read on every pick. Work and memory grow with the
// bytes read, never faster: lines are kept only up to their limit, and a
// card's labels are looked up by group, not matched against every number.

namespace {

char lowerAscii(char c)
{
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

bool iequalsSameSize(std::string_view a, std::string_view b)
{
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (lowerAscii(a[i]) != lowerAscii(b[i]))
            return false;
    }
    return true;
}

// Most comparisons are of words of other lengths: those cost no call.
inline bool iequals(std::string_view a, std::string_view b)
{
    return a.size() == b.size() && iequalsSameSize(a, b);
}

bool istartsWith(std::string_view s, std::string_view prefix)
{
    return s.size() >= prefix.size() && iequals(s.substr(0, prefix.size()), prefix);
}

std::string toLower(std::string_view s)
{
    std::string out(s);
    for (char& c : out)
        c = lowerAscii(c);
    return out;
}

inline bool isBlank(char c)
{
    return c == ' ' || c == '\t';
}

inline bool isTrimmed(char c)
{
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

std::string_view trimBoth(std::string_view s)
{
    while (!s.empty() && isTrimmed(s.front()))
        s.remove_prefix(1);
    while (!s.empty() && isTrimmed(s.back()))
        s.remove_suffix(1);
    return s;
}

// Most texts have nothing to trim: they cost no call.
inline std::string_view trim(std::string_view s)
{
    return s.empty() || (!isTrimmed(s.front()) && !isTrimmed(s.back())) ? s : trimBoth(s);
}

inline std::string_view trimEnd(std::string_view s)
{
    while (!s.empty() && isTrimmed(s.back()))
        s.remove_suffix(1);
    return s;
}

// No control character and no backslash: UTF-8 that reads as it is
// written, but for the spaces around it.
bool isPlainText(std::string_view s)
{
    return std::all_of(s.begin(), s.end(), [](char c) {
        const auto b = static_cast<unsigned char>(c);
        return b >= 0x20 && b != 0x7F && b != '\\';
    });
}

bool isAsciiText(std::string_view s)
{
    return std::all_of(s.begin(), s.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; });
}

// ---- text encodings ------------------------------------------------------

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

void appendCp1252(std::string& out, unsigned char b)
{
    appendUtf8(out, windows1252::isUndefined(b) ? char16_t(0xFFFD) : windows1252::toUtf16(b));
}

// Length of the valid UTF-8 sequence at s[i], or 0 when there is none.
std::size_t utf8SequenceAt(std::string_view s, std::size_t i)
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
bool isShiftJis(std::string_view charset)
{
    return iequals(charset, "shift_jis") || iequals(charset, "shift-jis") || iequals(charset, "sjis")
        || iequals(charset, "x-sjis") || iequals(charset, "ms_kanji") || iequals(charset, "csshiftjis");
}

const iconv_t kNoCharset = reinterpret_cast<iconv_t>(-1);

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

// The charsets the cards declare, each opened once with iconv and kept for
// later cards and files read by the same parser. A parser reads on one
// thread, so a descriptor, which holds the state of a conversion, is never
// used by two threads. Files name one or two charsets; a few are kept, the
// oldest giving way, so a file of endless names costs no memory.
class Charsets {
public:
    Charsets() = default;
    Charsets(const Charsets&) = delete;
    Charsets& operator=(const Charsets&) = delete;
    ~Charsets()
    {
        for (const Entry& e : m_entries) {
            if (e.cd != kNoCharset)
                iconv_close(e.cd);
        }
    }

    // The descriptor that reads `name` into UTF-8, or kNoCharset.
    iconv_t find(std::string_view name)
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

private:
    static constexpr std::size_t kKept = 8;

    struct Entry {
        std::string name;
        iconv_t cd;
    };

    // kNoCharset for a name iconv does not know, and for a charset that
    // does not keep printable ASCII as it is (UTF-16, EBCDIC, the national
    // forms of ISO 646): the line around the value is ASCII, and its
    // separators and escapes must mean in the value what they say.
    static iconv_t open(std::string_view name)
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

    std::vector<Entry> m_entries;
    std::size_t m_next = 0;
};

int hexValue(char c)
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

// ---- content lines -------------------------------------------------------

// Physical lines end in CRLF, LF or a lone CR.
class LineCursor {
public:
    explicit LineCursor(std::string_view data)
        : m_data(data)
        , m_lf(find('\n', 0, data.size()))
    {
    }

    bool atEnd() const { return m_pos >= m_data.size(); }

    // These two are inlined: called for every line, they are much of the
    // reading, and the compiler does not see it in a parser this long.
    [[gnu::always_inline]] std::string_view peek(std::size_t* nextPos = nullptr) const
    {
        // memchr for LF, and for CR only up to it; the LF found is kept, so
        // that a file of lone CRs is not searched to its end for each line.
        if (m_lf < m_pos)
            m_lf = find('\n', m_pos, m_data.size());
        const std::size_t end = find('\r', m_pos, m_lf);
        std::size_t next = end;
        if (next < m_data.size()) {
            if (m_data[next] == '\r' && next + 1 < m_data.size() && m_data[next + 1] == '\n')
                next += 2;
            else
                next += 1;
        }
        if (nextPos != nullptr)
            *nextPos = next;
        return { m_data.data() + m_pos, end - m_pos }; // end is within m_data
    }

    [[gnu::always_inline]] std::string_view next()
    {
        std::size_t nextPos = 0;
        const std::string_view line = peek(&nextPos);
        m_pos = nextPos;
        return line;
    }

    std::size_t pos() const { return m_pos; }

    void seek(std::size_t pos)
    {
        m_pos = pos;
        m_lf = find('\n', m_pos, m_data.size());
    }

    bool nextIsFolded() const { return m_pos < m_data.size() && isBlank(m_data[m_pos]); }

private:
    // Where c first is in [from, to), or `to`.
    [[gnu::always_inline]] std::size_t find(char c, std::size_t from, std::size_t to) const
    {
        if (from >= to)
            return to;
        const void* at = std::memchr(m_data.data() + from, c, to - from);
        return at != nullptr ? static_cast<std::size_t>(static_cast<const char*>(at) - m_data.data()) : to;
    }

    std::string_view m_data;
    std::size_t m_pos = 0;
    mutable std::size_t m_lf = 0; // the first LF at or after m_pos, or the end, once m_pos has passed none
};

struct Param {
    std::string_view name; // empty for a vCard 2.1 bare parameter ("TEL;CELL:")
    std::string_view value; // quotes not yet removed
};

struct ContentLine {
    std::string_view group;
    std::string_view name;
    std::vector<Param> params;
    std::string_view value;
};

// Splits the group and name off "group.NAME;param=a;BARE:value": all before
// the first ";" or ":". Returns where that ends.
std::size_t splitName(std::string_view line, std::string_view& group, std::string_view& name)
{
    std::size_t i = 0;
    while (i < line.size() && line[i] != ';' && line[i] != ':')
        ++i;
    std::string_view fullName = trim(line.substr(0, i));
    const std::size_t dot = fullName.rfind('.');
    group = dot == std::string_view::npos ? std::string_view {} : fullName.substr(0, dot);
    name = dot == std::string_view::npos ? fullName : fullName.substr(dot + 1);
    return i;
}

// Splits "group.NAME;param=a;BARE:value" whose name splitName() has found to
// end at i. False when the line has no colon.
bool parseParams(std::string_view line, std::size_t i, ContentLine& out)
{
    out.params.clear();
    if (i == line.size())
        return false;

    while (i < line.size() && line[i] == ';') {
        ++i;
        const std::size_t start = i;
        std::size_t eq = std::string_view::npos;
        bool quoted = false;
        while (i < line.size()) {
            const char c = line[i];
            if (c == '"')
                quoted = !quoted;
            else if (!quoted && (c == ';' || c == ':'))
                break;
            else if (!quoted && c == '=' && eq == std::string_view::npos)
                eq = i;
            ++i;
        }
        const std::string_view token = line.substr(start, i - start);
        if (eq == std::string_view::npos)
            out.params.push_back({ {}, trim(token) });
        else
            out.params.push_back({ trim(line.substr(start, eq - start)), trim(line.substr(eq + 1, i - eq - 1)) });
    }
    if (i >= line.size() || line[i] != ':')
        return false;
    out.value = line.substr(i + 1);
    return true;
}

// The same, the group and name first; they are set either way.
bool parseContentLine(std::string_view line, ContentLine& out)
{
    return parseParams(line, splitName(line, out.group, out.name), out);
}

struct LineProps {
    bool quotedPrintable = false;
    bool uri = false;
    std::string_view charset;
    std::string_view sortAs;
    std::vector<std::string> types;
};

// Calls f for each comma-separated item of a parameter value, quotes removed.
template <typename F> void forEachListItem(std::string_view value, F&& f)
{
    std::size_t start = 0;
    for (std::size_t i = 0; i <= value.size(); ++i) {
        if (i == value.size() || value[i] == ',') {
            std::string_view item = value.substr(start, i - start);
            item = trim(item);
            while (!item.empty() && item.front() == '"')
                item.remove_prefix(1);
            while (!item.empty() && item.back() == '"')
                item.remove_suffix(1);
            item = trim(item);
            if (!item.empty())
                f(item);
            start = i + 1;
        }
    }
}

// Names and numbers are shown on one line: control characters (an escaped
// newline included) become spaces, and the ends are trimmed. Done to s from
// `from` on, in place.
void tidy(std::string& s, std::size_t from = 0)
{
    for (std::size_t i = from; i < s.size(); ++i) {
        if (static_cast<unsigned char>(s[i]) < 0x20 || s[i] == 0x7F)
            s[i] = ' ';
    }
    std::size_t end = s.size();
    while (end > from && s[end - 1] == ' ')
        --end;
    std::size_t start = from;
    while (start < end && s[start] == ' ')
        ++start;
    s.resize(end);
    s.erase(from, start - from);
}

// Type words are shown as labels: they get the same care as values.
std::string typeName(std::string_view raw)
{
    std::string name;
    if (isAsciiText(raw))
        name.assign(raw);
    else
        appendAsUtf8(name, raw);
    tidy(name);
    return name;
}

std::string_view unquote(std::string_view v)
{
    if (v.size() >= 2 && v.front() == '"' && v.back() == '"')
        return v.substr(1, v.size() - 2);
    return v;
}

// Types are collected only where they are used: on TEL lines.
void readProps(const ContentLine& line, bool wantTypes, LineProps& props)
{
    props.quotedPrintable = false;
    props.uri = false;
    props.charset = {};
    props.sortAs = {};
    props.types.clear();
    for (const Param& p : line.params) {
        if (p.name.empty()) {
            // vCard 2.1 writes encodings and types as bare words.
            if (iequals(p.value, "QUOTED-PRINTABLE"))
                props.quotedPrintable = true;
            else if (iequals(p.value, "BASE64") || iequals(p.value, "8BIT") || iequals(p.value, "7BIT"))
                continue;
            else if (wantTypes)
                forEachListItem(p.value, [&](std::string_view t) { props.types.push_back(typeName(t)); });
        } else if (iequals(p.name, "ENCODING")) {
            const std::string_view v = unquote(p.value);
            props.quotedPrintable = iequals(v, "QUOTED-PRINTABLE") || iequals(v, "QP");
        } else if (iequals(p.name, "CHARSET")) {
            props.charset = unquote(p.value);
        } else if (iequals(p.name, "VALUE")) {
            props.uri = iequals(unquote(p.value), "uri");
        } else if (iequals(p.name, "SORT-AS")) {
            props.sortAs = unquote(p.value);
        } else if (wantTypes && iequals(p.name, "TYPE")) {
            forEachListItem(p.value, [&](std::string_view t) { props.types.push_back(typeName(t)); });
        }
    }
}

// Escapes of 3.0 and 4.0; vCard 2.1 knows only "\;", so a Windows path in a
// 2.1 note keeps its backslashes. Appends to out.
void appendUnescaped(std::string& out, std::string_view in, bool v21)
{
    for (std::size_t i = 0; i < in.size();) {
        const std::size_t slash = std::min(in.find('\\', i), in.size());
        out.append(in.substr(i, slash - i));
        i = slash;
        if (i == in.size())
            break;
        const char n = i + 1 < in.size() ? in[i + 1] : '\\';
        if (i + 1 < in.size() && (n == ';' || (!v21 && (n == ',' || n == '\\' || n == ':')))) {
            out += n;
            i += 2;
        } else if (!v21 && (n == 'n' || n == 'N')) {
            out += '\n';
            i += 2;
        } else {
            out += '\\';
            ++i;
        }
    }
}

// Calls f for each part of `in` between separators that are not escaped,
// while f returns true.
template <typename F> void forEachUnescapedPart(std::string_view in, char sep, F&& f)
{
    std::size_t start = 0;
    for (std::size_t i = 0; i < in.size(); ++i) {
        if (in[i] == '\\') {
            ++i;
        } else if (in[i] == sep) {
            if (!f(in.substr(start, i - start)))
                return;
            start = i + 1;
        }
    }
    f(in.substr(std::min(start, in.size())));
}

struct Decoder {
    bool v21 = false;
    // The file was UTF-16: its text is Unicode whatever a card declares, but
    // for bytes written in quoted-printable.
    bool unicodeFile = false;
    // The first charset the card declares that is read other than as UTF-8:
    // what its undeclared 8-bit text is most likely written in too.
    std::string hint;
    // Undeclared text that is not UTF-8 was read before any hint.
    bool missedHint = false;

    // How a declared charset is read. An unknown one is read as undeclared
    // text was before hints: UTF-8, and Windows-1252 where it is not.
    struct Charset {
        enum Kind { Utf8, Windows1252, Converted } kind = Utf8;
        iconv_t cd = kNoCharset;
    };

    Charset charset(std::string_view name)
    {
        if (name.empty() || isUtf8Charset(name))
            return {};
        if (isSingleByteCharset(name))
            return { Charset::Windows1252 };
        const iconv_t cd = m_charsets.find(name);
        return cd == kNoCharset ? Charset {} : Charset { Charset::Converted, cd };
    }

    // Raw (still escaped) bytes of the value after transfer decoding, in
    // UTF-8; valid until the next call. The charset is applied first, so that
    // a byte of a character is never taken for a backslash or a separator.
    // Text that needs no conversion, UTF-8 read as UTF-8 or ASCII in a
    // charset that keeps it, is not copied.
    std::string_view bytes(std::string_view raw, const LineProps& props)
    {
        std::string_view src = raw;
        if (props.quotedPrintable) {
            decodeQuotedPrintable(raw, m_decoded);
            src = m_decoded;
        }
        Charset cs;
        if (props.charset.empty()) {
            if (isUtf8(src))
                return src;
            cs = charset(hint);
            missedHint = missedHint || hint.empty();
        } else {
            if (!unicodeFile || props.quotedPrintable)
                cs = charset(props.charset);
            if (cs.kind != Charset::Utf8 && hint.empty())
                hint.assign(props.charset);
            // ISO-2022 text is 7-bit, its shifts made with ESC, SO and SI.
            if (cs.kind == Charset::Utf8 ? isUtf8(src)
                                         : isAsciiText(src) && src.find_first_of("\x1B\x0E\x0F") == src.npos)
                return src;
        }
        m_bytes.clear();
        if (cs.kind == Charset::Windows1252)
            appendSingleByteCharset(m_bytes, src);
        else if (cs.kind == Charset::Converted)
            appendConverted(m_bytes, cs.cd, src);
        else
            appendAsUtf8(m_bytes, src);
        return m_bytes;
    }

    // The value as shown, into out.
    void text(std::string_view raw, const LineProps& props, std::string& out)
    {
        const std::string_view b = bytes(raw, props);
        if (isPlainText(b)) {
            std::size_t start = 0, end = b.size();
            while (start < end && b[start] == ' ')
                ++start;
            while (end > start && b[end - 1] == ' ')
                --end;
            out.assign(b.substr(start, end - start));
            return;
        }
        out.clear();
        appendUnescaped(out, b, v21);
        tidy(out);
    }

    std::string text(std::string_view raw, const LineProps& props)
    {
        std::string out;
        text(raw, props, out);
        return out;
    }

    // The first components of a structured value ("Family;Given;..."), as
    // many as `out` has room for; those missing are left empty.
    template <std::size_t N> void components(std::string_view raw, const LineProps& props, std::string* (&out)[N])
    {
        std::size_t k = 0;
        forEachUnescapedPart(bytes(raw, props), ';', [&](std::string_view part) {
            // A component may itself be a list ("John,Jim" given names).
            std::string& joined = *out[k++];
            joined.clear();
            forEachUnescapedPart(part, ',', [&](std::string_view item) {
                const std::size_t before = joined.size();
                if (before > 0)
                    joined += ' ';
                const std::size_t start = joined.size();
                appendUnescaped(joined, item, v21);
                tidy(joined, start);
                if (joined.size() == start)
                    joined.resize(before);
                return true;
            });
            return k < N;
        });
        for (; k < N; ++k)
            out[k]->clear();
    }

private:
    // Transfer decoding and charset conversion go through these, reused from
    // line to line.
    std::string m_decoded;
    std::string m_bytes;
    Charsets m_charsets;
};

void joinName(std::string& out, std::string_view family, std::string_view given)
{
    out.assign(family);
    if (!family.empty() && !given.empty())
        out += ", ";
    out += given;
}

// SORT-AS lists the sort strings of N's components: family first, then given.
std::string fileAsFromSortAs(std::string_view sortAs, Decoder& decoder)
{
    std::string parts[2];
    std::size_t count = 0;
    const LineProps plain;
    forEachListItem(sortAs, [&](std::string_view item) {
        if (count < 2)
            parts[count] = decoder.text(item, plain);
        ++count;
    });
    std::string out;
    if (count > 0)
        joinName(out, parts[0], parts[1]);
    return out;
}

// "sip:", "mailto:": the scheme of a URI.
bool hasScheme(std::string_view s)
{
    const std::size_t colon = s.find(':');
    const auto isLetter = [](char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); };
    return colon != std::string_view::npos && colon > 0 && isLetter(s[0])
        && std::all_of(s.begin(), s.begin() + static_cast<std::ptrdiff_t>(colon),
            [&](char c) { return isLetter(c) || (c >= '0' && c <= '9') || c == '+' || c == '-' || c == '.'; });
}

// In place. False when what is left is no number to dial: one without a
// digit ("Handy", a stray byte) would put no destination in the dial string,
// and TEL lines carry SIP addresses too, and other URIs.
bool cleanNumber(std::string& number, bool uri)
{
    std::string_view n = trim(number);
    const bool tel = istartsWith(n, "tel:");
    if (uri || tel) {
        if (tel)
            n.remove_prefix(4);
        // "tel:+1-555-0100;ext=12": the parameters are no part of what is dialled.
        if (const std::size_t semi = n.find(';'); semi != std::string_view::npos)
            n = n.substr(0, semi);
        n = trim(n);
    }
    const bool sip = n.size() > 4 && iequalsSameSize(n.substr(0, 3), "sip") && (n[3] == ':' || istartsWith(n, "sips:"));
    if (sip || ((uri || tel) && hasScheme(n)))
        return false;
    const auto start = static_cast<std::size_t>(n.data() - number.data());
    number.erase(start + n.size());
    number.erase(0, start);
    return std::any_of(number.begin(), number.end(), [](char c) { return c >= '0' && c <= '9'; });
}

std::string labelText(std::string_view label)
{
    // Apple writes its stock labels as "_$!<Mobile>!$_".
    if (label.size() >= 8 && label.substr(0, 4) == "_$!<" && label.substr(label.size() - 4) == ">!$_")
        label = label.substr(4, label.size() - 8);
    return std::string(trim(label));
}

// The lines a contact is made of. Any other line, however long, is passed
// over without being kept.
enum class Property { Other, Agent, Begin, End, Fn, N, Org, Tel, Uid, Version, XAbLabel, XEvolutionFileAs };

Property propertyOf(std::string_view name)
{
    const auto is = [&](std::string_view kept) { return iequalsSameSize(name, kept); };
    switch (name.size()) {
    case 1:
        return is("N") ? Property::N : Property::Other;
    case 2:
        return is("FN") ? Property::Fn : Property::Other;
    case 3:
        return is("TEL") ? Property::Tel
            : is("UID")  ? Property::Uid
            : is("ORG")  ? Property::Org
            : is("END")  ? Property::End
                         : Property::Other;
    case 5:
        return is("BEGIN") ? Property::Begin : is("AGENT") ? Property::Agent : Property::Other;
    case 7:
        return is("VERSION") ? Property::Version : Property::Other;
    case 9:
        return is("X-ABLABEL") ? Property::XAbLabel : Property::Other;
    case 19:
        return is("X-EVOLUTION-FILE-AS") ? Property::XEvolutionFileAs : Property::Other;
    default:
        return Property::Other;
    }
}

class CardBuilder {
public:
    // Strings and lists keep their room from card to card: the contact
    // handed out and these swap their buffers.
    void start(bool unicodeFile)
    {
        m_decoder.unicodeFile = unicodeFile;
        m_active = true;
        m_spoiled = false;
        m_bytes = 0;
        m_decoder.v21 = false;
        m_decoder.hint.clear();
        m_decoder.missedHint = false;
        for (std::string* s : { &m_uid, &m_fn, &m_family, &m_given, &m_sortAs, &m_explicitFileAs, &m_org })
            s->clear();
        m_telCount = 0;
        m_labels.clear();
    }

    bool active() const { return m_active; }

    // Undeclared text that is not UTF-8 was read before the card named a
    // charset: worth reading again if a line further on names one.
    bool wantsHint() const { return m_decoder.missedHint && !m_spoiled; }

    // Starts reading the card again, with `hint` for its undeclared text.
    void restart(std::string hint)
    {
        start(m_decoder.unicodeFile);
        m_decoder.hint = std::move(hint);
    }

    // The first charset `card`'s lines declare that tells more than UTF-8,
    // or empty. Any line counts, even those not kept, and the card's end.
    std::string hintIn(std::string_view card)
    {
        LineCursor lines(card);
        while (!lines.atEnd()) {
            if (!parseContentLine(lines.next(), m_scan))
                continue;
            for (const Param& p : m_scan.params) {
                if (iequals(p.name, "CHARSET") && m_decoder.charset(unquote(p.value)).kind != Decoder::Charset::Utf8)
                    return std::string(unquote(p.value));
            }
        }
        return {};
    }

    // A line or the card itself went past its limit: the card will be left
    // out, so nothing more of it is kept.
    void spoil() { m_spoiled = true; }

    void add(Property property, const ContentLine& line, LineProps& props, std::size_t lineBytes, std::size_t cardLimit)
    {
        m_bytes += lineBytes;
        if (m_bytes > cardLimit)
            spoil();
        if (m_spoiled)
            return;
        switch (property) {
        case Property::Version:
            m_decoder.v21 = trim(line.value).substr(0, 1) == "2";
            break;
        case Property::Tel: {
            if (m_telCount == m_tels.size())
                m_tels.emplace_back();
            Tel& tel = m_tels[m_telCount];
            tel.group.assign(line.group);
            for (char& c : tel.group)
                c = lowerAscii(c);
            m_decoder.text(line.value, props, tel.phone.number);
            if (!cleanNumber(tel.phone.number, props.uri))
                break;
            tel.phone.types.swap(props.types);
            ++m_telCount;
            break;
        }
        case Property::XAbLabel: {
            // A group has one label; a later one is a mistake and changes nothing.
            std::string label = labelText(m_decoder.text(line.value, props));
            if (!line.group.empty() && !label.empty())
                m_labels.emplace_back(toLower(line.group), std::move(label));
            break;
        }
        case Property::Fn:
            m_decoder.text(line.value, props, m_fn);
            break;
        case Property::N: {
            std::string* parts[] = { &m_family, &m_given };
            m_decoder.components(line.value, props, parts);
            if (!props.sortAs.empty())
                m_sortAs = fileAsFromSortAs(props.sortAs, m_decoder);
            break;
        }
        case Property::XEvolutionFileAs:
            m_decoder.text(line.value, props, m_explicitFileAs);
            break;
        case Property::Org: {
            std::string* parts[] = { &m_org };
            m_decoder.components(line.value, props, parts);
            break;
        }
        case Property::Uid:
            m_decoder.text(line.value, props, m_uid);
            break;
        case Property::Agent:
        case Property::Begin:
        case Property::End:
        case Property::Other:
            break;
        }
    }

    // The contact, or null when it is left out: spoiled (counted in out) or
    // with neither a name nor a number. Valid until the next card starts.
    VCardContact* finish(VCardCards& out)
    {
        m_active = false;
        if (m_spoiled) {
            ++out.tooLong;
            return nullptr;
        }
        VCardContact& c = m_contact;
        c.uid.swap(m_uid);
        c.displayName.swap(m_fn);
        if (!m_explicitFileAs.empty())
            c.fileAs.swap(m_explicitFileAs);
        else if (!m_sortAs.empty())
            c.fileAs.swap(m_sortAs);
        else if (!m_family.empty() || !m_given.empty())
            joinName(c.fileAs, m_family, m_given);
        else if (!c.displayName.empty())
            c.fileAs.assign(c.displayName);
        else
            c.fileAs.assign(m_org);

        // Looked up by group, the first label of each group first.
        if (m_labels.size() > 1)
            std::stable_sort(
                m_labels.begin(), m_labels.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
        c.mobile.clear();
        c.phones.resize(m_telCount);
        for (std::size_t k = 0; k < m_telCount; ++k) {
            Tel& tel = m_tels[k];
            const auto label = std::lower_bound(m_labels.begin(), m_labels.end(), tel.group,
                [](const auto& entry, const std::string& group) { return entry.first < group; });
            if (!tel.group.empty() && label != m_labels.end() && label->first == tel.group)
                tel.phone.types.push_back(label->second);
            if (c.mobile.empty() && isMobilePhone(tel.phone))
                c.mobile.assign(tel.phone.number);
            std::swap(c.phones[k], tel.phone);
        }
        if (c.fileAs.empty() && c.phones.empty())
            return nullptr;
        return &c;
    }

private:
    struct Tel {
        std::string group;
        VCardPhone phone;
    };

    bool m_active = false;
    bool m_spoiled = false;
    std::size_t m_bytes = 0;
    Decoder m_decoder;
    std::string m_uid, m_fn, m_family, m_given, m_sortAs, m_explicitFileAs, m_org;
    std::vector<Tel> m_tels; // the first m_telCount are this card's
    std::size_t m_telCount = 0;
    std::vector<std::pair<std::string, std::string>> m_labels; // group, label
    VCardContact m_contact;
    ContentLine m_scan;
};

// Appends while `out` stays within `limit`; past it, keeps the part that fits
// (enough to read the line's name) and notes that the line is too long.
void appendCapped(std::string& out, std::string_view piece, std::size_t limit, bool& overlong)
{
    if (overlong)
        return;
    if (piece.size() > limit - std::min(limit, out.size())) {
        out.append(piece.substr(0, limit - std::min(limit, out.size())));
        overlong = true;
        return;
    }
    out.append(piece);
}

bool isUtf16(std::string_view bytes)
{
    return bytes.size() >= 2 && (bytes.substr(0, 2) == "\xFF\xFE" || bytes.substr(0, 2) == "\xFE\xFF");
}

constexpr std::string_view kBeginLine = "BEGIN:VCARD";

// Cards nested in a card: past this depth the card is left out, counted as
// too long. vCard 2.1 nests one card for its AGENT, and that rarely has
// one of its own.
constexpr std::size_t kMaxNestedCards = 8;

// "AGENT:" with nothing after it (a group and parameters allowed): in vCard
// 2.1 the card it names begins on the next line and is nested in this one.
// Told from the physical line alone, so that where a file can be cut is seen
// without parsing it.
bool opensNestedCard(std::string_view physicalLine)
{
    const std::string_view t = trim(physicalLine);
    std::string_view group, name;
    splitName(t, group, name);
    return iequals(name, "AGENT") && !t.empty() && t.back() == ':';
}

// The physical line before the one at `lineStart`, as LineCursor reads them.
std::string_view physicalLineBefore(std::string_view bytes, std::size_t lineStart)
{
    std::size_t end = lineStart;
    if (end > 0 && bytes[end - 1] == '\n')
        --end;
    if (end > 0 && bytes[end - 1] == '\r')
        --end;
    std::size_t start = end;
    while (start > 0 && bytes[start - 1] != '\n' && bytes[start - 1] != '\r')
        --start;
    return bytes.substr(start, end - start);
}

// Where a file can be cut so that each piece parses as the whole would: before
// a line that is exactly "BEGIN:VCARD", has no folded continuation and opens
// no nested card. Such a line ends any card before it and starts one afresh,
// so no parsing state crosses it. UTF-16 files are never cut: their bytes are
// converted first.
std::vector<std::size_t> cutPoints(std::string_view bytes, std::size_t stretch, const VCardLimits& limits)
{
    std::vector<std::size_t> cuts { 0 };
    const bool cuttable = !isUtf16(bytes) && limits.propertyBytes >= kBeginLine.size();
    for (std::size_t from = std::max<std::size_t>(stretch, 1); cuttable && from < bytes.size();) {
        const std::size_t at = bytes.find("\nBEGIN:VCARD", from);
        if (at == std::string_view::npos)
            break;
        const std::size_t lineStart = at + 1;
        std::size_t next = lineStart + kBeginLine.size();
        const bool endsThere = next == bytes.size() || bytes[next] == '\r' || bytes[next] == '\n';
        if (endsThere && next < bytes.size())
            next += bytes.substr(next, 2) == "\r\n" ? 2 : 1;
        if (!endsThere || (next < bytes.size() && isBlank(bytes[next]))
            || opensNestedCard(physicalLineBefore(bytes, lineStart))) {
            from = lineStart;
            continue;
        }
        cuts.push_back(lineStart);
        from = lineStart + std::max<std::size_t>(stretch, 1);
    }
    cuts.push_back(bytes.size());
    return cuts;
}

bool isCardMarker(std::string_view physicalLine, std::string_view keyword)
{
    const std::string_view t = trim(physicalLine);
    const std::size_t colon = t.find(':');
    return colon != std::string_view::npos && iequals(trim(t.substr(0, colon)), keyword)
        && iequals(trim(t.substr(colon + 1)), "VCARD");
}

} // namespace

bool isMobilePhone(const VCardPhone& phone)
{
    return std::any_of(phone.types.begin(), phone.types.end(),
        [](const std::string& t) { return iequals(t, "cell") || iequals(t, "mobile") || iequals(t, "iphone"); });
}

std::string phoneLabel(const VCardPhone& phone)
{
    if (isMobilePhone(phone))
        return "mobile";
    auto has = [&](std::string_view word) {
        return std::any_of(
            phone.types.begin(), phone.types.end(), [&](const std::string& t) { return iequals(t, word); });
    };
    for (const std::string_view word : { "fax", "pager", "home", "work", "main", "car", "other" }) {
        if (has(word))
            return std::string(word);
    }
    static constexpr std::array<std::string_view, 10> kNotLabels
        = { "voice", "pref", "text", "msg", "internet", "x400", "video", "bbs", "modem", "isdn" };
    for (const std::string& t : phone.types) {
        if (!std::any_of(kNotLabels.begin(), kNotLabels.end(), [&](std::string_view word) { return iequals(t, word); })
            && !istartsWith(t, "x-"))
            return t;
    }
    return {};
}

namespace {

// What reading keeps from line to line, and from file to file when reused.
struct ParserState {
    CardBuilder card;
    ContentLine line;
    LineProps props;
    std::string logical;
    std::string converted;
};

// Reads the cards of `bytes` into `cards`' counts, handing each contact kept
// to take(VCardContact&).
template <typename Take>
void parseWith(ParserState& state, std::string_view bytes, const VCardLimits& limits, VCardCards& cards, Take&& take)
{
    const bool unicode = isUtf16(bytes);
    if (unicode) {
        state.converted = utf16ToUtf8(bytes.substr(2), bytes[0] == '\xFE');
        bytes = state.converted;
    } else if (bytes.substr(0, 3) == "\xEF\xBB\xBF") {
        bytes.remove_prefix(3);
    }

    LineCursor cursor(bytes);
    CardBuilder& card = state.card;
    ContentLine& line = state.line;
    LineProps& props = state.props;
    std::string& logical = state.logical;
    const std::size_t limit = limits.propertyBytes;
    std::size_t kept = 0;
    std::size_t cardStart = 0; // just after the card's BEGIN line
    std::size_t nested = 0; // depth in cards nested in the card, which are passed over
    // Ends the card before `end`; false when the card is to be read again
    // from its start instead, with a charset declared after its 8-bit text.
    // A card is read at most twice.
    const auto finish = [&](std::size_t end) {
        nested = 0;
        if (card.wantsHint()) {
            if (std::string hint = card.hintIn(bytes.substr(cardStart, end - cardStart)); !hint.empty()) {
                card.restart(std::move(hint));
                cursor.seek(cardStart);
                return false;
            }
        }
        if (VCardContact* contact = card.finish(cards)) {
            if (kept >= limits.contacts) {
                ++cards.tooMany;
            } else {
                ++kept;
                take(*contact);
            }
        }
        return true;
    };
    const auto nest = [&] {
        if (++nested > kMaxNestedCards)
            card.spoil();
    };

    for (;;) {
        if (cursor.atEnd()) {
            if (!card.active() || finish(bytes.size()))
                break;
            continue;
        }
        // A line longer than the limit is not kept whole, only read past. It
        // is still a line: its continuations are its own, not new lines. An
        // unfolded line, nearly every line, is looked at where it lies.
        const std::size_t lineStart = cursor.pos();
        bool overlong = false;
        std::string_view last = cursor.next();
        std::string_view logicalLine;
        if (!cursor.nextIsFolded()) {
            overlong = last.size() > limit;
            logicalLine = last.substr(0, limit);
        } else {
            logical.clear();
            appendCapped(logical, last, limit, overlong);
            while (cursor.nextIsFolded()) {
                last = cursor.next().substr(1);
                appendCapped(logical, last, limit, overlong);
            }
            logicalLine = logical;
        }
        // A line of a property not kept matters only when a quoted-printable
        // soft break ("=" at its end) carries it on over the next lines;
        // otherwise its parameters and value are not looked at.
        const std::size_t nameEnd = splitName(logicalLine, line.group, line.name);
        Property property = propertyOf(line.name);
        if (property == Property::Other) {
            const std::string_view end = trimEnd(overlong ? last : logicalLine);
            if (!card.active() || end.empty() || end.back() != '=')
                continue;
        }
        const bool parsed = parseParams(logicalLine, nameEnd, line);
        if (!overlong && !parsed)
            continue;

        if (!overlong && property == Property::Begin && iequals(trim(line.value), "VCARD")) {
            if (card.active() && opensNestedCard(physicalLineBefore(bytes, lineStart))) {
                nest();
            } else if (!card.active() || finish(lineStart)) {
                card.start(unicode);
                cardStart = cursor.pos();
            }
            continue;
        }
        if (!card.active())
            continue;
        if (!overlong && property == Property::End && iequals(trim(line.value), "VCARD")) {
            if (nested > 0)
                --nested;
            else
                finish(lineStart);
            continue;
        }
        // Some writers put the nested card's BEGIN on the AGENT line itself.
        if (!overlong && property == Property::Agent && iequals(trim(line.value), "BEGIN:VCARD"))
            nest();
        if (nested > 0)
            continue;

        if (parsed)
            readProps(line, property == Property::Tel, props);
        if (parsed && props.quotedPrintable) {
            // A soft line break ("=" at the end) continues the value on the
            // next line, unindented. A broken value must not swallow the
            // card's end or the next card.
            std::string_view tail = trimEnd(overlong ? last : line.value);
            if (!tail.empty() && tail.back() == '=') {
                const std::size_t valueStart = static_cast<std::size_t>(line.value.data() - logicalLine.data());
                std::string joined(overlong ? logicalLine : logicalLine.substr(0, valueStart));
                while (!tail.empty() && tail.back() == '=' && !cursor.atEnd()) {
                    const std::string_view next = cursor.peek();
                    if (isCardMarker(next, "END") || isCardMarker(next, "BEGIN"))
                        break;
                    tail.remove_suffix(1);
                    appendCapped(joined, tail, limit, overlong);
                    tail = trimEnd(cursor.next());
                }
                appendCapped(joined, tail, limit, overlong);
                logical = std::move(joined);
                logicalLine = logical;
                parseContentLine(logicalLine, line);
                property = propertyOf(line.name);
                readProps(line, property == Property::Tel, props);
            }
        }
        if (property == Property::Other || property == Property::Agent)
            continue;
        if (overlong)
            card.spoil();
        else
            card.add(property, line, props, logicalLine.size(), limits.cardBytes);
    }
}

} // namespace

VCardCards parseVCards(std::string_view bytes, const VCardLimits& limits)
{
    ParserState state;
    VCardCards cards;
    parseWith(state, bytes, limits, cards, [&](VCardContact& c) { cards.contacts.push_back(std::move(c)); });
    return cards;
}

struct VCardStream::State {
    ParserState parser;
};

VCardStream::VCardStream()
    : m_state(std::make_unique<State>())
{
}

VCardStream::~VCardStream() = default;

VCardCards VCardStream::read(
    std::string_view bytes, const VCardLimits& limits, const std::function<void(const VCardContact&)>& take)
{
    VCardCards cards;
    parseWith(m_state->parser, bytes, limits, cards, take);
    return cards;
}

void forEachOnThreads(std::size_t items, unsigned threads, const std::function<void(std::size_t)>& work)
{
    std::atomic<std::size_t> next { 0 };
    auto run = [&] {
        for (std::size_t i = next++; i < items; i = next++)
            work(i);
    };
    const std::size_t extra = items >= 2 ? std::min<std::size_t>(std::max(threads, 1u), items) - 1 : 0;
    std::vector<std::thread> pool;
    pool.reserve(extra);
    for (std::size_t t = 0; t < extra; ++t) {
        try {
            pool.emplace_back(run);
        } catch (const std::system_error&) {
            break; // the threads there are do the work
        }
    }
    run();
    for (std::thread& t : pool)
        t.join();
}

VCardCards parseVCardsInStretches(std::string_view bytes, const VCardLimits& limits, std::size_t stretch,
    unsigned threads, const std::atomic<bool>* cancel, const std::function<void(std::size_t)>& parsed)
{
    const std::vector<std::size_t> cuts = cutPoints(bytes, stretch, limits);
    const std::size_t stretches = cuts.size() - 1;
    auto cancelled = [cancel] { return cancel != nullptr && cancel->load(std::memory_order_relaxed); };
    // A few stretches per thread at a time: their cards wait in memory until
    // the ones before them are counted against the limit.
    const std::size_t window = std::size_t { std::max(threads, 1u) } * 4;
    VCardCards out;
    std::vector<VCardCards> parts;
    for (std::size_t first = 0; first < stretches && !cancelled(); first += window) {
        parts.assign(std::min(window, stretches - first), {});
        VCardLimits partLimits = limits;
        partLimits.contacts = limits.contacts - out.contacts.size();
        forEachOnThreads(parts.size(), threads, [&](std::size_t k) {
            if (!cancelled())
                parts[k]
                    = parseVCards(bytes.substr(cuts[first + k], cuts[first + k + 1] - cuts[first + k]), partLimits);
        });
        for (VCardCards& part : parts) {
            const std::size_t keep = std::min(limits.contacts - out.contacts.size(), part.contacts.size());
            out.tooLong += part.tooLong;
            out.tooMany += part.tooMany + (part.contacts.size() - keep);
            std::move(part.contacts.begin(), part.contacts.begin() + static_cast<std::ptrdiff_t>(keep),
                std::back_inserter(out.contacts));
        }
        if (parsed)
            parsed(cuts[first + parts.size()]);
    }
    return out;
}
