#include "PhoneNumbers.h"

#include <QtTest>

// Numbers from contacts and tel: links as the number box shows them, and the emergency numbers, at libphonenumber.
class TestPhoneNumbers : public QObject {
    Q_OBJECT

private slots:
    void numbers_data()
    {
        QTest::addColumn<QString>("home");
        QTest::addColumn<QString>("number");
        QTest::addColumn<QString>("shown"); // "=": as cleaned
        QTest::addColumn<bool>("emergency");
        const QString london = "+442079460001";
        const QString rows[][4] = {
            { "GB national", "GB", "020 7946 0001", london },
            { "GB international", "GB", "+44 20 7946 0001", london },
            { "GB 00", "GB", "0044 20 7946 0001", london },
            { "GB (0) kept by habit", "GB", "+44 (0)20 7946 0001", london },
            { "GB 011 is no prefix there", "GB", "011 44 20 7946 0001", "=" },
            { "GB another country's +", "GB", "+1 (555) 010-0200", "+15550100200" },
            { "US national", "US", "(202) 555-0143", "+12025550143" },
            { "US with its 1", "US", "1-202-555-0143", "+12025550143" },
            { "US 011", "US", "011 44 20 7946 0001", london },
            { "US local only", "US", "555-0143", "=" },
            { "DE national", "DE", "030 123456", "+4930123456" },
            { "DE 00", "DE", "00 44 20 7946 0001", london },
            { "JP national", "JP", "03-1234-5678", "+81312345678" },
            { "JP 010", "JP", "010 44 20 7946 0001", london },
            { "GB short code", "GB", "118 118", "=" },
            { "US short code", "US", "611", "=" },
            { "service code", "GB", "*100#", "=" },
            { "letters", "US", "555-CALL-NOW", "=" },
            { "extension", "GB", "020 7946 0001 ext 12", "=" },
            { "no number at all", "GB", "call me", "=" },
            { "no home country", "", "020 7946 0001", "=" },
            { "home not in capitals", "gb", "020 7946 0001", "=" },
            { "home unknown", "XX", "020 7946 0001", "=" },
            { "longer than any number", "GB", QString(65, u'1'), "=" },
            { "911 anywhere: emergency", "", "911", "=" },
            { "112 anywhere: emergency", "JP", "112", "=" },
            { "with separators: emergency", "US", "9-1-1", "=" },
            { "GB 999: emergency", "GB", "999", "=" },
            { "999 elsewhere", "US", "999", "=" },
            { "AU 000: emergency", "AU", "000", "=" },
            { "DE 110: emergency", "DE", "110", "=" },
            { "JP 119: emergency", "JP", "119", "=" },
            { "longer than 911", "US", "9110", "=" },
            { "911 in international form", "US", "+911", "=" },
            { "911 and a card's pause", "US", "911p", "=" },
        };
        for (const auto& r : rows)
            QTest::newRow(qPrintable(r[0])) << r[1] << r[2] << r[3] << r[0].endsWith("emergency");
    }
    void numbers()
    {
        QFETCH(QString, home);
        QFETCH(QString, number);
        QTEST(numbers::boxForm(number, "=", home), "shown");
        QTEST(numbers::isEmergencyNumber(number, home), "emergency");
    }
};

QTEST_GUILESS_MAIN(TestPhoneNumbers)
#include "TestPhoneNumbers.moc"
