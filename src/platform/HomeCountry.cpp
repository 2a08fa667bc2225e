#include "HomeCountry.h"

#include "PhoneNumbers.h"

#include <QCoreApplication>
#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusObjectPath>
#include <QDBusPendingCallWatcher>
#include <QMap>
#include <QPointer>
#include <QThreadPool>

#include <algorithm>
#include <array>
#include <cctype>
#include <cstdio>
#include <utility>

namespace homecountry {

namespace {

// ITU-T E.212 mobile country codes and the one country each is assigned to.
// Codes shared by several countries (362, 340) name the largest; codes of
// test and international networks (001, 901, 999) name none.
struct Mcc {
    short code;
    char region[3];
};
// clang-format off
constexpr std::array kMccs = std::to_array<Mcc>({
    {202, "GR"}, {204, "NL"}, {206, "BE"}, {208, "FR"}, {212, "MC"}, {213, "AD"}, {214, "ES"}, {216, "HU"},
    {218, "BA"}, {219, "HR"}, {220, "RS"}, {221, "XK"}, {222, "IT"}, {225, "VA"}, {226, "RO"}, {228, "CH"},
    {230, "CZ"}, {231, "SK"}, {232, "AT"}, {234, "GB"}, {235, "GB"}, {238, "DK"}, {240, "SE"}, {242, "NO"},
    {244, "FI"}, {246, "LT"}, {247, "LV"}, {248, "EE"}, {250, "RU"}, {255, "UA"}, {257, "BY"}, {259, "MD"},
    {260, "PL"}, {262, "DE"}, {266, "GI"}, {268, "PT"}, {270, "LU"}, {272, "IE"}, {274, "IS"}, {276, "AL"},
    {278, "MT"}, {280, "CY"}, {282, "GE"}, {283, "AM"}, {284, "BG"}, {286, "TR"}, {288, "FO"}, {290, "GL"},
    {292, "SM"}, {293, "SI"}, {294, "MK"}, {295, "LI"}, {297, "ME"}, {302, "CA"}, {308, "PM"}, {310, "US"},
    {311, "US"}, {312, "US"}, {313, "US"}, {314, "US"}, {315, "US"}, {316, "US"}, {330, "PR"}, {332, "VI"},
    {334, "MX"}, {338, "JM"}, {340, "GP"}, {342, "BB"}, {344, "AG"}, {346, "KY"}, {348, "VG"}, {350, "BM"},
    {352, "GD"}, {354, "MS"}, {356, "KN"}, {358, "LC"}, {360, "VC"}, {362, "CW"}, {363, "AW"}, {364, "BS"},
    {365, "AI"}, {366, "DM"}, {368, "CU"}, {370, "DO"}, {372, "HT"}, {374, "TT"}, {376, "TC"}, {400, "AZ"},
    {401, "KZ"}, {402, "BT"}, {404, "IN"}, {405, "IN"}, {406, "IN"}, {410, "PK"}, {412, "AF"}, {413, "LK"},
    {414, "MM"}, {415, "LB"}, {416, "JO"}, {417, "SY"}, {418, "IQ"}, {419, "KW"}, {420, "SA"}, {421, "YE"},
    {422, "OM"}, {424, "AE"}, {425, "IL"}, {426, "BH"}, {427, "QA"}, {428, "MN"}, {429, "NP"}, {430, "AE"},
    {431, "AE"}, {432, "IR"}, {434, "UZ"}, {436, "TJ"}, {437, "KG"}, {438, "TM"}, {440, "JP"}, {441, "JP"},
    {450, "KR"}, {452, "VN"}, {454, "HK"}, {455, "MO"}, {456, "KH"}, {457, "LA"}, {460, "CN"}, {461, "CN"},
    {466, "TW"}, {467, "KP"}, {470, "BD"}, {472, "MV"}, {502, "MY"}, {505, "AU"}, {510, "ID"}, {514, "TL"},
    {515, "PH"}, {520, "TH"}, {525, "SG"}, {528, "BN"}, {530, "NZ"}, {536, "NR"}, {537, "PG"}, {539, "TO"},
    {540, "SB"}, {541, "VU"}, {542, "FJ"}, {543, "WF"}, {544, "AS"}, {545, "KI"}, {546, "NC"}, {547, "PF"},
    {548, "CK"}, {549, "WS"}, {550, "FM"}, {551, "MH"}, {552, "PW"}, {553, "TV"}, {554, "TK"}, {555, "NU"},
    {602, "EG"}, {603, "DZ"}, {604, "MA"}, {605, "TN"}, {606, "LY"}, {607, "GM"}, {608, "SN"}, {609, "MR"},
    {610, "ML"}, {611, "GN"}, {612, "CI"}, {613, "BF"}, {614, "NE"}, {615, "TG"}, {616, "BJ"}, {617, "MU"},
    {618, "LR"}, {619, "SL"}, {620, "GH"}, {621, "NG"}, {622, "TD"}, {623, "CF"}, {624, "CM"}, {625, "CV"},
    {626, "ST"}, {627, "GQ"}, {628, "GA"}, {629, "CG"}, {630, "CD"}, {631, "AO"}, {632, "GW"}, {633, "SC"},
    {634, "SD"}, {635, "RW"}, {636, "ET"}, {637, "SO"}, {638, "DJ"}, {639, "KE"}, {640, "TZ"}, {641, "UG"},
    {642, "BI"}, {643, "MZ"}, {645, "ZM"}, {646, "MG"}, {647, "RE"}, {648, "ZW"}, {649, "NA"}, {650, "MW"},
    {651, "LS"}, {652, "BW"}, {653, "SZ"}, {654, "KM"}, {655, "ZA"}, {657, "ER"}, {658, "SH"}, {659, "SS"},
    {702, "BZ"}, {704, "GT"}, {706, "SV"}, {708, "HN"}, {710, "NI"}, {712, "CR"}, {714, "PA"}, {716, "PE"},
    {722, "AR"}, {724, "BR"}, {730, "CL"}, {732, "CO"}, {734, "VE"}, {736, "BO"}, {738, "GY"}, {740, "EC"},
    {742, "GF"}, {744, "PY"}, {746, "SR"}, {748, "UY"}, {750, "FK"},
});
// clang-format on
static_assert(std::is_sorted(kMccs.begin(), kMccs.end(), [](const Mcc& a, const Mcc& b) { return a.code < b.code; }));

} // namespace

QByteArray telephoneLocale()
{
    for (const char* name : { "LC_ALL", "LC_TELEPHONE", "LANG" }) {
        const QByteArray value = qgetenv(name);
        if (!value.isEmpty())
            return value;
    }
    return {};
}

QString territoryOf(const QByteArray& locale)
{
    // language[_territory][.codeset][@modifier]
    const qsizetype underscore = locale.indexOf('_');
    if (underscore < 0)
        return {};
    QByteArray territory = locale.mid(underscore + 1);
    for (const char end : { '.', '@' })
        territory = territory.left(territory.indexOf(end) < 0 ? territory.size() : territory.indexOf(end));
    if (territory.size() != 2 || !std::all_of(territory.begin(), territory.end(), [](char c) {
            return std::isalpha(static_cast<unsigned char>(c));
        }))
        return {};
    return QString::fromLatin1(territory.toUpper());
}

QString countryOfOperator(const QString& code)
{
    if (code.size() < 5 || code.size() > 6
        || !std::all_of(code.begin(), code.end(), [](QChar c) { return c >= u'0' && c <= u'9'; }))
        return {};
    const int mcc = code.left(3).toInt();
    const auto it
        = std::lower_bound(kMccs.begin(), kMccs.end(), mcc, [](const Mcc& m, int wanted) { return m.code < wanted; });
    return it != kMccs.end() && it->code == mcc ? QString::fromLatin1(it->region) : QString();
}

} // namespace homecountry

namespace {

using InterfaceMap = QMap<QString, QVariantMap>;
using ManagedObjects = QMap<QDBusObjectPath, InterfaceMap>;

// GetManagedObjects is answered at once by a working ModemManager; a phone
// waking up may take a while, and nothing waits for it meanwhile.
constexpr int kReadTimeoutMs = 8000;

// Registered on a network: home or roaming, with SMS only, or with CSFB not
// preferred (MMModem3gppRegistrationState 1, 5, 6, 7, 9, 10).
bool registered(uint state)
{
    return state == 1 || state == 5 || state == 6 || state == 7 || state == 9 || state == 10;
}

// The country of the first modem, in object-path order, that is registered
// on a network whose country is known; nothing when there is none, or the
// reply cannot be read.
QString countryIn(const QDBusMessage& reply)
{
    if (reply.type() != QDBusMessage::ReplyMessage || reply.signature() != u"a{oa{sa{sv}}}")
        return {};
    const auto objects = qdbus_cast<ManagedObjects>(reply.arguments().constFirst());
    for (const InterfaceMap& interfaces : objects) {
        const QVariantMap modem = interfaces.value(QStringLiteral("org.freedesktop.ModemManager1.Modem.Modem3gpp"));
        const QVariant state = modem.value(QStringLiteral("RegistrationState"));
        const QVariant code = modem.value(QStringLiteral("OperatorCode"));
        if (state.metaType() != QMetaType::fromType<uint>() || code.metaType() != QMetaType::fromType<QString>()
            || !registered(state.toUInt()))
            continue;
        if (const QString country = homecountry::countryOfOperator(code.toString()); !country.isEmpty())
            return country;
    }
    return {};
}

QString overridden()
{
    const QString wanted = qEnvironmentVariable("DIALER_HOME_COUNTRY").trimmed().toUpper();
    if (wanted.isEmpty() || numbers::isKnownRegion(wanted))
        return wanted;
    static bool told = false;
    if (!std::exchange(told, true))
        std::fprintf(stderr, "dialer: DIALER_HOME_COUNTRY=%s is not a country code such as GB; ignored\n",
            qPrintable(wanted.left(16)));
    return {};
}

} // namespace

HomeCountry& HomeCountry::instance()
{
    static QPointer<HomeCountry> country;
    if (!country)
        country = new HomeCountry(QCoreApplication::instance());
    return *country;
}

HomeCountry::HomeCountry(QObject* parent)
    : QObject(parent)
{
}

QString HomeCountry::current() const
{
    if (const QString wanted = overridden(); !wanted.isEmpty())
        return wanted;
    if (!m_modem.isEmpty())
        return m_modem;
    const QString territory = homecountry::territoryOf(homecountry::telephoneLocale());
    return numbers::isKnownRegion(territory) ? territory : QString();
}

void HomeCountry::refresh()
{
    if (m_reading)
        return;
    m_reading = true;
    // Connecting to the bus waits for its answer: done on a pool thread, as
    // ModemManager's own answer comes asynchronously to this one.
    QPointer<HomeCountry> self(this);
    QThreadPool::globalInstance()->start([self] {
        const bool connected = QDBusConnection::systemBus().isConnected();
        QMetaObject::invokeMethod(QCoreApplication::instance(), [self, connected] {
            if (self)
                connected ? self->read() : self->learned({});
        });
    });
}

void HomeCountry::read()
{
    const QDBusMessage request = QDBusMessage::createMethodCall(QStringLiteral("org.freedesktop.ModemManager1"),
        QStringLiteral("/org/freedesktop/ModemManager1"), QStringLiteral("org.freedesktop.DBus.ObjectManager"),
        QStringLiteral("GetManagedObjects"));
    auto* watcher = new QDBusPendingCallWatcher(QDBusConnection::systemBus().asyncCall(request, kReadTimeoutMs), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this, [this](QDBusPendingCallWatcher* done) {
        done->deleteLater();
        learned(countryIn(done->reply()));
    });
}

void HomeCountry::learned(const QString& country)
{
    m_reading = false;
    if (country == m_modem)
        return;
    m_modem = country;
    emit changed();
}
