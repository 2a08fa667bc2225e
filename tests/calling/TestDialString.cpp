#include "DialString.h"

#include <QTest>

// The dial string as Ok composes it from the card and the destination, and
// every way the composition fails.
class TestDialString : public QObject {
    Q_OBJECT
private slots:
    void compose_data()
    {
        QTest::addColumn<QString>("prefix");
        QTest::addColumn<QString>("number");
        QTest::addColumn<QString>("card"); // access number/PIN/pause before PIN/pause before number
        QTest::addColumn<QString>("outcome"); // the dial string, or the failure shown
        const auto digits = [](int n) { return QString("3074185296").repeated(26).left(n); };
        const QString a = "8005550100", d = "011442079460000", build = "BuildDialString failed";
        const QString length = "StringCchLength failed", fill = "1" + QString(254, u'p');
        const QString rows[][5] = {
            { "worked example", "011", "+44(20)7946-0000", a + "/4821/2/3", a + "pp4821ppp" + d },
            { "no prefix or number", "", "", a + "/4821/2/3", "Please Enter the Phone Number" },
            { "dial characters", "", "1p2w3,4P5W6+7*8#9." + QStringLiteral(u"\u0661\uFF12"), "///-1", "1p2w3,456789" },
            { "zero PIN, no pause before it", "011", "+44(20)7946-0000", a + "/0/2/0", a + "w" + d },
            { "PIN of 300 zeros", "", d, a + "/" + QString(300, u'0') + "/2/0", a + "w" + d },
            { "PIN with leading zero, whole", "", d, a + "/0123/1/2", a + "p0123pp" + d },
            { "negative pause before PIN", "", d, a + "/4821/-2/0", a + "4821w" + d },
            { "pause before number -1", "", d, a + "/4821/1/-1", a + "p4821" + d },
            // Counts are read as the C runtime reads numbers.
            { "blanks, sign, letters", "", "2", "1///\t\n\v\f\r +12ab", "1" + QString(12, u'p') + "2" },
            { "no-break space", "", "2", "1///" + QStringLiteral(u"\u00A05"), "1w2" },
            { "other script's digit", "", "2", "1///" + QStringLiteral(u"\u0665"), "1w2" },
            { "2^64 + 1 saturates", "", "(-)", "1///18446744073709551617", fill },
            { "far below the smallest", "", "2", "1///-99999999999", "12" },
            // Lengths: the destination is dialled whole or refused, never cut.
            { "255 characters, empty card", "", digits(255), "///-1", digits(255) },
            { "244 fill the dial string", "", digits(244), a + "///0", a + "w" + digits(244) },
            { "245 overflow it", "", digits(245), a + "///0", build },
            { "256 characters", "", digits(256), "///-1", length },
            { "256 separators", "", QString(256, u'-'), a + "///0", length },
            { "prefix makes 256", "011", digits(253), "///-1", length },
            { "access number of 255", "", "(-)", digits(255) + "///-1", digits(255) },
            { "no room for w after it", "", "(-)", digits(255) + "///0", build },
            { "access number of 256", "", "(-)", digits(256) + "///-1", build },
            { "PIN of 255 dialled", "", "(-)", "/1" + digits(254) + "//-1", "1" + digits(254) },
            { "PIN of 256 refused", "", "(-)", "/1" + digits(255) + "//-1", build },
            { "pauses before PIN fill it", "", "(-)", digits(250) + "/4821/9/0", build },
            { "huge pause count fills", "", "(-)", "12345///2147483647", "12345" + QString(250, u'p') },
        };
        for (const auto& r : rows)
            QTest::newRow(qPrintable(r[0])) << r[1] << r[2] << r[3] << r[4];
    }

    void compose()
    {
        QFETCH(QString, prefix);
        QFETCH(QString, number);
        QFETCH(QString, card);
        const QStringList c = card.split(u'/');
        // Left over from an earlier composition: every working value is set afresh.
        DialWorkingValues work { {}, {}, true, 77, 77 };
        const ComposeResult r = ComposeDialString(prefix.toStdU16String(), number.toStdU16String(),
            { c[0].toStdU16String(), c[1].toStdU16String(), c[2].toStdU16String(), c[3].toStdU16String() }, work);
        QCOMPARE(hr::failed(r.status), r.failureMessage != nullptr);
        QVERIFY(!r.failureMessage || r.dialString.empty());
        QTEST(r.failureMessage ? QString(r.failureMessage) : QString::fromStdU16String(r.dialString), "outcome");
    }
};

QTEST_APPLESS_MAIN(TestDialString)
#include "TestDialString.moc"
