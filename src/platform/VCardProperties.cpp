#include "VCardProperties.h"

#include <algorithm>

namespace vcard {

namespace {

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

} // namespace

std::string_view unquote(std::string_view v)
{
    if (v.size() >= 2 && v.front() == '"' && v.back() == '"')
        return v.substr(1, v.size() - 2);
    return v;
}

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

namespace {

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

} // namespace

Decoder::Charset Decoder::charset(std::string_view name)
{
    if (name.empty() || isUtf8Charset(name))
        return {};
    if (isSingleByteCharset(name))
        return { Charset::Windows1252 };
    const iconv_t cd = m_charsets.find(name);
    return cd == kNoCharset ? Charset {} : Charset { Charset::Converted, cd };
}

std::string_view Decoder::bytes(std::string_view raw, const LineProps& props)
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
        if (cs.kind == Charset::Utf8 ? isUtf8(src) : isAsciiText(src) && src.find_first_of("\x1B\x0E\x0F") == src.npos)
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

void Decoder::text(std::string_view raw, const LineProps& props, std::string& out)
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

std::string Decoder::text(std::string_view raw, const LineProps& props)
{
    std::string out;
    text(raw, props, out);
    return out;
}

void Decoder::components(std::string_view raw, const LineProps& props, std::string* const* out, std::size_t count)
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
        return k < count;
    });
    for (; k < count; ++k)
        out[k]->clear();
}

void joinName(std::string& out, std::string_view family, std::string_view given)
{
    out.assign(family);
    if (!family.empty() && !given.empty())
        out += ", ";
    out += given;
}

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

namespace {

// "sip:", "mailto:": the scheme of a URI.
bool hasScheme(std::string_view s)
{
    const std::size_t colon = s.find(':');
    const auto isLetter = [](char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); };
    return colon != std::string_view::npos && colon > 0 && isLetter(s[0])
        && std::all_of(s.begin(), s.begin() + static_cast<std::ptrdiff_t>(colon),
            [&](char c) { return isLetter(c) || (c >= '0' && c <= '9') || c == '+' || c == '-' || c == '.'; });
}

} // namespace

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

} // namespace vcard
