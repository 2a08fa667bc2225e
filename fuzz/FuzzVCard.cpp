#include "VCardReader.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

namespace {

// The reader promises UTF-8 whatever the input; the store hands its strings
// to code that trusts that.
bool validUtf8(std::string_view s)
{
    for (std::size_t i = 0; i < s.size();) {
        const auto b = static_cast<unsigned char>(s[i]);
        std::size_t len = b < 0x80     ? 1
            : (b >= 0xC2 && b <= 0xDF) ? 2
            : (b >= 0xE0 && b <= 0xEF) ? 3
            : (b >= 0xF0 && b <= 0xF4) ? 4
                                       : 0;
        if (len == 0 || i + len > s.size())
            return false;
        std::uint32_t cp = len == 1 ? b : b & (0x7F >> len);
        for (std::size_t k = 1; k < len; ++k) {
            const auto c = static_cast<unsigned char>(s[i + k]);
            if ((c & 0xC0) != 0x80)
                return false;
            cp = (cp << 6) | (c & 0x3F);
        }
        static constexpr std::uint32_t kMin[] = { 0, 0, 0x80, 0x800, 0x10000 };
        if (cp < kMin[len] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF))
            return false;
        i += len;
    }
    return true;
}

void check(bool ok)
{
    if (!ok)
        std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    for (const VCardContact& c : parseVCards(bytes).contacts) {
        check(validUtf8(c.uid) && validUtf8(c.fileAs) && validUtf8(c.displayName) && validUtf8(c.mobile));
        // Shown on one line each.
        check(c.fileAs.find('\n') == std::string::npos && c.mobile.find('\n') == std::string::npos);
        bool mobileListed = c.mobile.empty();
        for (const VCardPhone& p : c.phones) {
            // A number to dial: a digit in it, and no SIP address.
            check(validUtf8(p.number) && p.number.find_first_of("0123456789") != std::string::npos
                && p.number.compare(0, 4, "sip:") != 0);
            for (const std::string& t : p.types)
                check(validUtf8(t));
            check(validUtf8(phoneLabel(p)));
            mobileListed = mobileListed || (p.number == c.mobile && isMobilePhone(p));
        }
        check(mobileListed);
    }
    return 0;
}
