#include "VCardReader.h"

#include "Windows1252.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <iterator>
#include <system_error>
#include <thread>

// One pass over the bytes, no regular expressions and no backtracking: address
// books of 100,000 cards are read on every pick. Work and memory grow with the
// bytes read, never faster: lines are kept only up to their limit, and a
// card's labels are looked up by group, not matched against every number.

namespace {

char lowerAscii(char c)
{
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

bool iequals(std::string_view a, std::string_view b)
{
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (lowerAscii(a[i]) != lowerAscii(b[i]))
            return false;
    }
    return true;
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

bool isBlank(char c)
{
    return c == ' ' || c == '\t';
}

std::string_view trimEnd(std::string_view s)
{
    while (!s.empty() && (isBlank(s.back()) || s.back() == '\r' || s.back() == '\n'))
        s.remove_suffix(1);
    return s;
}

std::string_view trim(std::string_view s)
{
    while (!s.empty() && (isBlank(s.front()) || s.front() == '\r' || s.front() == '\n'))
        s.remove_prefix(1);
    while (!s.empty() && (isBlank(s.back()) || s.back() == '\r' || s.back() == '\n'))
        s.remove_suffix(1);
    return s;
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

// Valid UTF-8 is kept; a byte that starts no valid sequence is read as
// Windows-1252, the usual origin of such bytes in address books.
void appendAsUtf8(std::string& out, std::string_view in)
{
    for (std::size_t i = 0; i < in.size();) {
        // Runs of ASCII, nearly all of an address book, go in whole.
        std::size_t ascii = i;
        while (ascii < in.size() && static_cast<unsigned char>(in[ascii]) < 0x80)
            ++ascii;
        out.append(in.substr(i, ascii - i));
        i = ascii;
        if (i == in.size())
            break;
        if (const std::size_t len = utf8SequenceAt(in, i); len != 0) {
            out.append(in.substr(i, len));
            i += len;
        } else {
            appendCp1252(out, static_cast<unsigned char>(in[i]));
            ++i;
        }
    }
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
        || iequals(charset, "iso-8859-15") || iequals(charset, "us-ascii");
}

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
std::string decodeQuotedPrintable(std::string_view in)
{
    std::string out;
    out.reserve(in.size());
    for (std::size_t i = 0; i < in.size(); ++i) {
        if (in[i] == '=' && i + 2 < in.size() && hexValue(in[i + 1]) >= 0 && hexValue(in[i + 2]) >= 0) {
            out += static_cast<char>(hexValue(in[i + 1]) * 16 + hexValue(in[i + 2]));
            i += 2;
        } else {
            out += in[i];
        }
    }
    return out;
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
    {
    }

    bool atEnd() const { return m_pos >= m_data.size(); }

    std::string_view peek(std::size_t* nextPos = nullptr) const
    {
        std::size_t end = m_pos;
        while (end < m_data.size() && m_data[end] != '\n' && m_data[end] != '\r')
            ++end;
        std::size_t next = end;
        if (next < m_data.size()) {
            if (m_data[next] == '\r' && next + 1 < m_data.size() && m_data[next + 1] == '\n')
                next += 2;
            else
                next += 1;
        }
        if (nextPos != nullptr)
            *nextPos = next;
        return m_data.substr(m_pos, end - m_pos);
    }

    std::string_view next()
    {
        std::size_t nextPos = 0;
        const std::string_view line = peek(&nextPos);
        m_pos = nextPos;
        return line;
    }

    bool nextIsFolded() const { return m_pos < m_data.size() && isBlank(m_data[m_pos]); }

private:
    std::string_view m_data;
    std::size_t m_pos = 0;
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

// Splits "group.NAME;param=a;BARE:value". False when the line has no colon;
// the group and name, all before the first ";" or ":", are set either way.
bool parseContentLine(std::string_view line, ContentLine& out)
{
    out.params.clear();
    std::size_t i = 0;
    while (i < line.size() && line[i] != ';' && line[i] != ':')
        ++i;
    std::string_view fullName = trim(line.substr(0, i));
    const std::size_t dot = fullName.rfind('.');
    out.group = dot == std::string_view::npos ? std::string_view {} : fullName.substr(0, dot);
    out.name = dot == std::string_view::npos ? fullName : fullName.substr(dot + 1);
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
// newline included) become spaces, and the ends are trimmed.
std::string tidy(std::string s)
{
    for (char& c : s) {
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F)
            c = ' ';
    }
    const std::string_view t = trim(s);
    return std::string(t);
}

// Type words are shown as labels: they get the same care as values.
std::string typeName(std::string_view raw)
{
    std::string utf8;
    appendAsUtf8(utf8, raw);
    return tidy(toLower(utf8));
}

std::string_view unquote(std::string_view v)
{
    if (v.size() >= 2 && v.front() == '"' && v.back() == '"')
        return v.substr(1, v.size() - 2);
    return v;
}

// Types are collected only where they are used: on TEL lines.
void readProps(const ContentLine& line, LineProps& props)
{
    props = {};
    const bool wantTypes = iequals(line.name, "TEL");
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
// 2.1 note keeps its backslashes.
std::string unescape(std::string_view in, bool v21)
{
    std::string out;
    out.reserve(in.size());
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
    return out;
}

// Splits on separators that are not escaped.
std::vector<std::string_view> splitUnescaped(std::string_view in, char sep)
{
    std::vector<std::string_view> parts;
    std::size_t start = 0;
    for (std::size_t i = 0; i < in.size(); ++i) {
        if (in[i] == '\\') {
            ++i;
        } else if (in[i] == sep) {
            parts.push_back(in.substr(start, i - start));
            start = i + 1;
        }
    }
    parts.push_back(in.substr(std::min(start, in.size())));
    return parts;
}

struct Decoder {
    bool v21 = false;

    // Raw (still escaped) bytes of the value after transfer decoding, in UTF-8.
    std::string bytes(std::string_view raw, const LineProps& props) const
    {
        std::string decoded;
        std::string_view src = raw;
        if (props.quotedPrintable) {
            decoded = decodeQuotedPrintable(raw);
            src = decoded;
        }
        std::string out;
        out.reserve(src.size());
        if (!props.charset.empty() && isSingleByteCharset(props.charset))
            appendSingleByteCharset(out, src);
        else
            appendAsUtf8(out, src);
        return out;
    }

    std::string text(std::string_view raw, const LineProps& props) const
    {
        return tidy(unescape(bytes(raw, props), v21));
    }

    std::vector<std::string> components(std::string_view raw, const LineProps& props) const
    {
        const std::string b = bytes(raw, props);
        std::vector<std::string> out;
        for (const std::string_view part : splitUnescaped(b, ';')) {
            // A component may itself be a list ("John,Jim" given names).
            std::string joined;
            for (const std::string_view item : splitUnescaped(part, ',')) {
                std::string one = tidy(unescape(item, v21));
                if (one.empty())
                    continue;
                if (!joined.empty())
                    joined += ' ';
                joined += one;
            }
            out.push_back(std::move(joined));
        }
        return out;
    }
};

std::string joinName(std::string_view family, std::string_view given)
{
    if (family.empty())
        return std::string(given);
    if (given.empty())
        return std::string(family);
    std::string out(family);
    out += ", ";
    out += given;
    return out;
}

// SORT-AS lists the sort strings of N's components: family first, then given.
std::string fileAsFromSortAs(std::string_view sortAs, const Decoder& decoder)
{
    std::vector<std::string> parts;
    LineProps plain;
    forEachListItem(sortAs, [&](std::string_view item) { parts.push_back(decoder.text(item, plain)); });
    if (parts.empty())
        return {};
    return joinName(parts[0], parts.size() > 1 ? parts[1] : std::string_view {});
}

std::string cleanNumber(std::string number, bool uri)
{
    std::string_view n = trim(number);
    if (uri || istartsWith(n, "tel:")) {
        if (istartsWith(n, "tel:"))
            n.remove_prefix(4);
        // "tel:+1-555-0100;ext=12": the parameters are no part of what is dialled.
        if (const std::size_t semi = n.find(';'); semi != std::string_view::npos)
            n = n.substr(0, semi);
        n = trim(n);
    }
    return std::string(n);
}

std::string labelText(std::string_view label)
{
    // Apple writes its stock labels as "_$!<Mobile>!$_".
    if (label.size() >= 8 && label.substr(0, 4) == "_$!<" && label.substr(label.size() - 4) == ">!$_")
        label = label.substr(4, label.size() - 8);
    return toLower(trim(label));
}

class CardBuilder {
public:
    void start()
    {
        *this = CardBuilder {};
        m_active = true;
    }

    bool active() const { return m_active; }

    // A line or the card itself went past its limit: the card will be left
    // out, so nothing more of it is kept.
    void spoil() { m_spoiled = true; }

    void add(const ContentLine& line, LineProps& props, std::size_t lineBytes, std::size_t cardLimit)
    {
        m_bytes += lineBytes;
        if (m_bytes > cardLimit)
            spoil();
        if (m_spoiled)
            return;
        const std::string_view name = line.name;
        if (iequals(name, "VERSION")) {
            m_decoder.v21 = trim(line.value).substr(0, 1) == "2";
        } else if (iequals(name, "TEL")) {
            Tel tel;
            tel.group = toLower(line.group);
            tel.phone.number = cleanNumber(m_decoder.text(line.value, props), props.uri);
            tel.phone.types = std::move(props.types);
            if (!tel.phone.number.empty())
                m_tels.push_back(std::move(tel));
        } else if (iequals(name, "X-ABLABEL")) {
            // A group has one label; a later one is a mistake and changes nothing.
            std::string label = labelText(m_decoder.text(line.value, props));
            if (!line.group.empty() && !label.empty())
                m_labels.emplace_back(toLower(line.group), std::move(label));
        } else if (iequals(name, "FN")) {
            m_fn = m_decoder.text(line.value, props);
        } else if (iequals(name, "N")) {
            std::vector<std::string> parts = m_decoder.components(line.value, props);
            m_family = parts.empty() ? std::string {} : std::move(parts[0]);
            m_given = parts.size() > 1 ? std::move(parts[1]) : std::string {};
            if (!props.sortAs.empty())
                m_sortAs = fileAsFromSortAs(props.sortAs, m_decoder);
        } else if (iequals(name, "X-EVOLUTION-FILE-AS")) {
            m_explicitFileAs = m_decoder.text(line.value, props);
        } else if (iequals(name, "ORG")) {
            std::vector<std::string> parts = m_decoder.components(line.value, props);
            if (!parts.empty())
                m_org = std::move(parts[0]);
        } else if (iequals(name, "UID")) {
            m_uid = m_decoder.text(line.value, props);
        }
    }

    void finish(VCardCards& out, std::size_t maxContacts)
    {
        m_active = false;
        if (m_spoiled) {
            ++out.tooLong;
            return;
        }
        VCardContact c;
        c.uid = std::move(m_uid);
        c.displayName = std::move(m_fn);
        if (!m_explicitFileAs.empty())
            c.fileAs = std::move(m_explicitFileAs);
        else if (!m_sortAs.empty())
            c.fileAs = std::move(m_sortAs);
        else if (!m_family.empty() || !m_given.empty())
            c.fileAs = joinName(m_family, m_given);
        else if (!c.displayName.empty())
            c.fileAs = c.displayName;
        else
            c.fileAs = m_org;

        // Looked up by group, the first label of each group first.
        if (m_labels.size() > 1)
            std::stable_sort(
                m_labels.begin(), m_labels.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
        c.phones.reserve(m_tels.size());
        for (Tel& tel : m_tels) {
            const auto label = std::lower_bound(m_labels.begin(), m_labels.end(), tel.group,
                [](const auto& entry, const std::string& group) { return entry.first < group; });
            if (!tel.group.empty() && label != m_labels.end() && label->first == tel.group)
                tel.phone.types.push_back(label->second);
            if (c.mobile.empty() && isMobilePhone(tel.phone))
                c.mobile = tel.phone.number;
            c.phones.push_back(std::move(tel.phone));
        }
        if (c.fileAs.empty() && c.phones.empty())
            return;
        if (out.contacts.size() >= maxContacts)
            ++out.tooMany;
        else
            out.contacts.push_back(std::move(c));
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
    std::vector<Tel> m_tels;
    std::vector<std::pair<std::string, std::string>> m_labels; // group, label
};

// The lines a contact is made of. Any other line, however long, is passed
// over without being kept.
bool isKeptProperty(std::string_view name)
{
    static constexpr std::array<std::string_view, 10> kKept
        = { "BEGIN", "END", "FN", "N", "ORG", "TEL", "UID", "VERSION", "X-ABLABEL", "X-EVOLUTION-FILE-AS" };
    return std::any_of(kKept.begin(), kKept.end(), [&](std::string_view kept) { return iequals(name, kept); });
}

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

// Where a file can be cut so that each piece parses as the whole would: before
// a line that is exactly "BEGIN:VCARD" and has no folded continuation. Such a
// line ends any card before it and starts one afresh, so no parsing state
// crosses it. UTF-16 files are never cut: their bytes are converted first.
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
        if (!endsThere || (next < bytes.size() && isBlank(bytes[next]))) {
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
        if (std::find(kNotLabels.begin(), kNotLabels.end(), t) == kNotLabels.end() && !istartsWith(t, "x-"))
            return t;
    }
    return {};
}

VCardCards parseVCards(std::string_view bytes, const VCardLimits& limits)
{
    std::string converted;
    if (isUtf16(bytes)) {
        converted = utf16ToUtf8(bytes.substr(2), bytes[0] == '\xFE');
        bytes = converted;
    } else if (bytes.substr(0, 3) == "\xEF\xBB\xBF") {
        bytes.remove_prefix(3);
    }

    VCardCards cards;
    LineCursor cursor(bytes);
    CardBuilder card;
    ContentLine line;
    LineProps props;
    std::string logical;
    const std::size_t limit = limits.propertyBytes;

    while (!cursor.atEnd()) {
        // A line longer than the limit is not kept whole, only read past. It
        // is still a line: its continuations are its own, not new lines.
        bool overlong = false;
        logical.clear();
        std::string_view last = cursor.next();
        appendCapped(logical, last, limit, overlong);
        while (cursor.nextIsFolded()) {
            last = cursor.next().substr(1);
            appendCapped(logical, last, limit, overlong);
        }
        const bool parsed = parseContentLine(logical, line);
        if (!overlong && !parsed)
            continue;

        if (!overlong && iequals(line.name, "BEGIN") && iequals(trim(line.value), "VCARD")) {
            if (card.active())
                card.finish(cards, limits.contacts);
            card.start();
            continue;
        }
        if (!card.active())
            continue;
        if (!overlong && iequals(line.name, "END") && iequals(trim(line.value), "VCARD")) {
            card.finish(cards, limits.contacts);
            continue;
        }

        if (parsed)
            readProps(line, props);
        if (parsed && props.quotedPrintable) {
            // A soft line break ("=" at the end) continues the value on the
            // next line, unindented. A broken value must not swallow the
            // card's end or the next card.
            std::string_view tail = trimEnd(overlong ? last : line.value);
            if (!tail.empty() && tail.back() == '=') {
                const std::size_t valueStart = static_cast<std::size_t>(line.value.data() - logical.data());
                std::string joined(
                    overlong ? std::string_view(logical) : std::string_view(logical).substr(0, valueStart));
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
                parseContentLine(logical, line);
                readProps(line, props);
            }
        }
        if (!isKeptProperty(line.name))
            continue;
        if (overlong)
            card.spoil();
        else
            card.add(line, props, logical.size(), limits.cardBytes);
    }
    if (card.active())
        card.finish(cards, limits.contacts);
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
