// The numbers module: what the program asks of libphonenumber, behind a C
// interface so that the program loads it, and libphonenumber with its
// protobuf and abseil, only when a number first needs it. Linked in, they
// would cost every start a tenth of its time to the home screen.
#include <phonenumbers/phonenumberutil.h>
#include <phonenumbers/shortnumberinfo.h>

#include <cstring>
#include <string>

using i18n::phonenumbers::PhoneNumber;
using i18n::phonenumbers::PhoneNumberUtil;
using i18n::phonenumbers::ShortNumberInfo;

namespace {

// Reads its metadata once, on first use, as PhoneNumberUtil does.
const ShortNumberInfo& shortNumbers()
{
    static const ShortNumberInfo info;
    return info;
}

} // namespace

extern "C" {

// Loads the metadata, so that the first number asked for does not wait for it.
__attribute__((visibility("default"))) void dialer_numbers_preload()
{
    PhoneNumberUtil::GetInstance();
    shortNumbers();
}

__attribute__((visibility("default"))) int dialer_numbers_known_region(const char* region)
{
    return PhoneNumberUtil::GetInstance()->GetCountryCodeForRegion(region) != 0;
}

// Writes "+" country code national number into `out` and answers 1 when
// `number` is a whole number of `region`, or of the country it names itself
// (+44, or the region's international prefix); 0 for anything less: short
// codes, numbers only dialled locally, extensions, text.
__attribute__((visibility("default"))) int dialer_numbers_international(
    const char* number, const char* region, char* out, std::size_t outSize)
{
    const PhoneNumberUtil& util = *PhoneNumberUtil::GetInstance();
    PhoneNumber parsed;
    if (util.Parse(number, region, &parsed) != PhoneNumberUtil::NO_PARSING_ERROR || parsed.has_extension()
        || util.IsPossibleNumberWithReason(parsed) != PhoneNumberUtil::IS_POSSIBLE
        || shortNumbers().IsValidShortNumberForRegion(parsed, region))
        return 0;
    std::string e164;
    util.Format(parsed, PhoneNumberUtil::E164, &e164);
    if (e164.size() >= outSize)
        return 0;
    std::memcpy(out, e164.c_str(), e164.size() + 1);
    return 1;
}

__attribute__((visibility("default"))) int dialer_numbers_emergency(const char* number, const char* region)
{
    return shortNumbers().IsEmergencyNumber(number, region);
}

} // extern "C"
