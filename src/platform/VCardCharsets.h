#pragma once

// Text in the charsets vCards are written in, read into UTF-8: declared
// charsets through iconv, undeclared 8-bit text as Windows-1252, UTF-16
// files, and quoted-printable.

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include <iconv.h>

namespace vcard {

void appendUtf8(std::string& out, char32_t cp);

// Valid UTF-8 is kept; a byte that starts no valid sequence is read as
// Windows-1252, the usual origin of such bytes in address books.
void appendAsUtf8(std::string& out, std::string_view in);

// Each byte as Windows-1252.
void appendSingleByteCharset(std::string& out, std::string_view in);
bool isSingleByteCharset(std::string_view charset);
bool isUtf8Charset(std::string_view charset);
bool isUtf8(std::string_view s);

inline const iconv_t kNoCharset = reinterpret_cast<iconv_t>(-1);

// Appends `in`, written in the charset of cd, as UTF-8. A byte that starts no
// character of that charset is one U+FFFD.
void appendConverted(std::string& out, iconv_t cd, std::string_view in);

// A broken escape ("=G1", a lone "=") is kept as written.
void decodeQuotedPrintable(std::string_view in, std::string& out);

// Files saved as UTF-16 with a byte order mark, after the mark.
std::string utf16ToUtf8(std::string_view bytes, bool bigEndian);

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
    ~Charsets();

    // The descriptor that reads `name` into UTF-8, or kNoCharset.
    iconv_t find(std::string_view name);

private:
    static constexpr std::size_t kKept = 8;

    struct Entry {
        std::string name;
        iconv_t cd;
    };

    static iconv_t open(std::string_view name);

    std::vector<Entry> m_entries;
    std::size_t m_next = 0;
};

} // namespace vcard
