#pragma once

// A content line's parameters and value as a contact shows them: encodings,
// charsets, escapes and structured values decoded, and the properties a
// contact is made of told apart from the rest.

#include "VCardCharsets.h"
#include "VCardLines.h"

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace vcard {

struct LineProps {
    bool quotedPrintable = false;
    bool uri = false;
    std::string_view charset;
    std::string_view sortAs;
    std::vector<std::string> types;
};

// The parameters of `line` that decoding needs; types are collected only
// where they are used, on TEL lines (wantTypes).
void readProps(const ContentLine& line, bool wantTypes, LineProps& props);

std::string_view unquote(std::string_view v);

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

    Charset charset(std::string_view name);

    // Raw (still escaped) bytes of the value after transfer decoding, in
    // UTF-8; valid until the next call. The charset is applied first, so that
    // a byte of a character is never taken for a backslash or a separator.
    // Text that needs no conversion, UTF-8 read as UTF-8 or ASCII in a
    // charset that keeps it, is not copied.
    std::string_view bytes(std::string_view raw, const LineProps& props);

    // The value as shown, into out.
    void text(std::string_view raw, const LineProps& props, std::string& out);

    std::string text(std::string_view raw, const LineProps& props);

    // The first components of a structured value ("Family;Given;..."), as
    // many as `out` has room for; those missing are left empty.
    template <std::size_t N> void components(std::string_view raw, const LineProps& props, std::string* (&out)[N])
    {
        components(raw, props, out, N);
    }
    void components(std::string_view raw, const LineProps& props, std::string* const* out, std::size_t count);

private:
    // Transfer decoding and charset conversion go through these, reused from
    // line to line.
    std::string m_decoded;
    std::string m_bytes;
    Charsets m_charsets;
};

// "Family, Given", or the one of them there is.
void joinName(std::string& out, std::string_view family, std::string_view given);

// SORT-AS lists the sort strings of N's components: family first, then given.
std::string fileAsFromSortAs(std::string_view sortAs, Decoder& decoder);

// In place. False when what is left is no number to dial: one without a
// digit ("Handy", a stray byte) would put no destination in the dial string,
// and TEL lines carry SIP addresses too, and other URIs.
bool cleanNumber(std::string& number, bool uri);

// An X-ABLabel as shown: Apple's stock labels unwrapped.
std::string labelText(std::string_view label);

// The lines a contact is made of. Any other line, however long, is passed
// over without being kept.
enum class Property { Other, Agent, Begin, End, Fn, N, Org, Tel, Uid, Version, XAbLabel, XEvolutionFileAs };

inline Property propertyOf(std::string_view name)
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

} // namespace vcard
