#include "PhoneNumbers.h"

#include <QLibrary>
#include <QThreadPool>

#include <array>
#include <cstdio>
#include <mutex>

namespace numbers {

namespace {

struct Module {
    void (*preload)() = nullptr;
    int (*knownRegion)(const char*) = nullptr;
    int (*international)(const char*, const char*, char*, std::size_t) = nullptr;
    int (*emergency)(const char*, const char*) = nullptr;
    bool loaded() const { return preload && knownRegion && international && emergency; }
};

// Loaded once, by whichever thread comes first; never unloaded.
const Module& module()
{
    static Module m;
    static std::once_flag once;
    std::call_once(once, [] {
        QLibrary library(QStringLiteral(DIALER_NUMBERS_MODULE));
        m.preload = reinterpret_cast<decltype(m.preload)>(library.resolve("dialer_numbers_preload"));
        m.knownRegion = reinterpret_cast<decltype(m.knownRegion)>(library.resolve("dialer_numbers_known_region"));
        m.international = reinterpret_cast<decltype(m.international)>(library.resolve("dialer_numbers_international"));
        m.emergency = reinterpret_cast<decltype(m.emergency)>(library.resolve("dialer_numbers_emergency"));
        if (!m.loaded()) {
            m = {};
            std::fprintf(stderr,
                "dialer: numbers are not made international, and only 112 and 911 are known as "
                "emergency numbers: %s\n",
                qPrintable(library.errorString()));
        }
    });
    return m;
}

bool isSeparator(QChar c)
{
    return c == u' ' || c == u'-' || c == u'.' || c == u'(' || c == u')' || c == u'/' || c == u'\u00A0';
}

// Digits and separators, with at most a leading +: nothing libphonenumber
// could read as letters or as a service code.
bool plainNumber(const QString& number)
{
    if (number.isEmpty() || number.size() > kMaxNumberLength)
        return false;
    for (qsizetype i = 0; i < number.size(); ++i) {
        const QChar c = number[i];
        if (!(c >= u'0' && c <= u'9') && !isSeparator(c) && !(c == u'+' && i == 0))
            return false;
    }
    return true;
}

} // namespace

bool isKnownRegion(const QString& region)
{
    if (region.size() != 2 || !region[0].isUpper() || !region[1].isUpper() || region[0].unicode() > 'Z'
        || region[1].unicode() > 'Z')
        return false;
    return module().loaded() && module().knownRegion(region.toLatin1().constData());
}

std::optional<QString> internationalForm(const QString& number, const QString& home)
{
    if (!plainNumber(number) || !isKnownRegion(home))
        return std::nullopt;
    std::array<char, 32> out {};
    if (!module().international(number.toLatin1().constData(), home.toLatin1().constData(), out.data(), out.size()))
        return std::nullopt;
    return QString::fromLatin1(out.data());
}

QString boxForm(const QString& number, const QString& cleaned, const QString& home)
{
    if (isEmergencyNumber(number, home))
        return cleaned;
    return internationalForm(number, home).value_or(cleaned);
}

bool isEmergencyNumber(const QString& number, const QString& home)
{
    if (!plainNumber(number) || number.startsWith(u'+'))
        return false;
    QString digits = number;
    digits.removeIf(isSeparator);
    if (digits == u"112" || digits == u"911")
        return true;
    return isKnownRegion(home) && module().emergency(digits.toLatin1().constData(), home.toLatin1().constData());
}

void preload()
{
    QThreadPool::globalInstance()->start([] {
        if (module().loaded())
            module().preload();
    });
}

} // namespace numbers
