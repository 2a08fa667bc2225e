#pragma once

#include <QObject>
#include <QString>

// The home country that numbers from contacts and tel: links are read
// against and whose emergency numbers are known, decided in one place:
// DIALER_HOME_COUNTRY when it names a country, else the country of the
// network the modem is registered on, else the territory of the locale the
// telephone category follows.
namespace homecountry {

// The locale that LC_TELEPHONE follows, as POSIX orders it: LC_ALL, then
// LC_TELEPHONE, then LANG, the first one set and not empty.
QByteArray telephoneLocale();
// The territory of a POSIX locale name ("en_GB.UTF-8@euro" gives "GB"), or
// nothing ("C", "POSIX", "en", "es_419").
QString territoryOf(const QByteArray& locale);
// The country of a 3GPP operator code ("23410", MCC then MNC), or nothing
// for a test network or a code that names no single country.
QString countryOfOperator(const QString& code);

} // namespace homecountry

class HomeCountry : public QObject {
    Q_OBJECT
public:
    // Lives as long as the application object.
    static HomeCountry& instance();

    // Empty when no source names a country libphonenumber knows.
    QString current() const;
    // Reads the modem's network again, on the event loop, unless a read is
    // under way; changed() follows when it gives another country.
    void refresh();
    bool reading() const { return m_reading; }

signals:
    void changed();

private:
    explicit HomeCountry(QObject* parent);
    void read();
    void learned(const QString& country);

    QString m_modem; // the modem's network's country, as last read
    bool m_reading = false;
};
