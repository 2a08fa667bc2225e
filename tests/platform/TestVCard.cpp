#include "VCardReader.h"

#include <QFile>
#include <QTest>

namespace {

QByteArray readData(const QString& name)
{
    QFile file(QStringLiteral(DIALER_TEST_DATA "/vcard/") + name);
    if (!file.open(QIODevice::ReadOnly))
        qFatal("missing test file %s", qPrintable(name));
    return file.readAll();
}

std::vector<VCardContact> parse(const QByteArray& bytes)
{
    return parseVCards(std::string_view(bytes.constData(), static_cast<std::size_t>(bytes.size())));
}

QString q(const std::string& s)
{
    return QString::fromStdString(s);
}

bool isValidUtf8(const std::string& s)
{
    const QByteArray bytes(s.data(), static_cast<qsizetype>(s.size()));
    return QString::fromUtf8(bytes).toUtf8() == bytes;
}

} // namespace

class TestVCard : public QObject {
    Q_OBJECT
private slots:
    void exportFiles_data();
    void exportFiles();
    void contactCount_data();
    void contactCount();
    void everyStringIsUtf8_data();
    void everyStringIsUtf8();
    void numbersAndTypes();
    void uidOnlyWhenPresent();
    void folding_data();
    void folding();
    void escapes_data();
    void escapes();
    void fileAsFallbacks_data();
    void fileAsFallbacks();
    void mobileIsFirstCellNumber_data();
    void mobileIsFirstCellNumber();
    void labelAfterOrBeforeTel();
    void phoneLabels_data();
    void phoneLabels();
    void emptyCardsLeftOut();
    void damagedBytesNeverHideLaterCards_data();
    void damagedBytesNeverHideLaterCards();
};

// Each exported file, card by card: the two things a pick takes from a
// contact, and the name the chooser lists it under.
void TestVCard::exportFiles_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<int>("index");
    QTest::addColumn<QString>("fileAs");
    QTest::addColumn<QString>("displayName");
    QTest::addColumn<QString>("mobile");

    struct Row {
        const char* file;
        int index;
        const char* fileAs;
        const char* displayName;
        const char* mobile;
    };
    const Row rows[] = {
        { "android-2.1.vcf", 0, "Müller, Jürgen", "Jürgen Müller", "+49 (171) 555-0101" },
        { "android-2.1.vcf", 1, "Иванова, Мария", "Мария Иванова", "555-0102" },
        { "android-2.1.vcf", 2, "Pizza Service", "Pizza Service", "" },
        { "android-2.1.vcf", 3, "Smith, John", "John Smith", "555-0105" },
        { "android-2.1.vcf", 4, "ACME Corp.", "", "555 0106" },
        { "ios-3.0.vcf", 0, "Appleseed, Johnny", "Johnny Appleseed", "(555) 010-2001" },
        { "ios-3.0.vcf", 1, "O'Neil, Mary Ann", "Mary Ann O'Neil", "555-010-2004" },
        { "ios-3.0.vcf", 2, "Lee, Kim", "Kim Lee", "+1 (555) 010-2005" },
        { "ios-3.0.vcf", 3, "Doe\\, Jane", "Jane Doe", "+1 555 010 2006" },
        { "ios-3.0.vcf", 4, "Dr. Who", "Dr. Who", "" },
        { "google-3.0.vcf", 0, "García, Ana", "Ana García", "+34 600 000 301" },
        { "google-3.0.vcf", 1, "Bob", "Bob", "" },
        { "google-3.0.vcf", 2, "Chen, Wei", "Chen Wei", "555-0304" },
        { "google-3.0.vcf", 3, "Google Inc.", "", "" },
        { "nextcloud-4.0.vcf", 0, "Harten, Rene", "Rene van Harten", "+1-555-555-0402" },
        { "nextcloud-4.0.vcf", 1, "Müller, Zoë", "Zoë Müller", "+49 151 0404" },
        { "nextcloud-4.0.vcf", 2, "Sam", "Sam", "555-0405" },
        { "nextcloud-4.0.vcf", 3, "City Library", "", "" },
        { "evolution-3.0.vcf", 0, "Neo", "Thomas Anderson", "555-0501" },
        { "evolution-3.0.vcf", 1, "Connor, Sarah J.", "Sarah Connor", "" },
        { "latin1.vcf", 0, "François, René", "René François", "555-0601" },
        { "latin1.vcf", 1, "Jörgensen, €lse", "€lse Jörgensen", "555-0602" },
        { "utf16.vcf", 0, "Øster, Åse", "", "555-1301" },
        { "truncated.vcf", 0, "First, Good", "", "555-0701" },
        { "truncated.vcf", 1, "Second, Cut", "", "555-07" },
        { "junk-between.vcf", 0, "Alpha, Anna", "", "555-0801" },
        { "junk-between.vcf", 1, "Beta, Ben", "", "555-0802" },
        { "junk-between.vcf", 2, "Gamma, Gus", "", "555-0803" },
        { "missing-end.vcf", 0, "One, Olga", "", "555-0901" },
        { "missing-end.vcf", 1, "Two, Tom", "", "555-0903" },
        { "missing-end.vcf", 2, "Three, Tina", "", "555-0904" },
        { "bad-qp.vcf", 0, "=ZZBroken=4, éric=", "", "" },
        { "bad-qp.vcf", 1, "Next, Nora", "", "555-1001" },
        { "bad-qp.vcf", 2, "SoftBreak=", "SoftBreak=", "" },
        { "bad-qp.vcf", 3, "After, Al", "", "555-1002" },
        { "overlong.vcf", 0, "Long, Lines", "", "555-1101" },
        { "invalid-utf8.vcf", 0, "Bad\u00C3, Byte\u00ED\u00A0\u20ACs", "x", "555-1201" },
    };
    for (const Row& r : rows) {
        QTest::addRow("%s #%d", r.file, r.index)
            << QString::fromLatin1(r.file) << r.index << QString::fromUtf8(r.fileAs) << QString::fromUtf8(r.displayName)
            << QString::fromUtf8(r.mobile);
    }
}

void TestVCard::exportFiles()
{
    QFETCH(QString, file);
    QFETCH(int, index);
    const auto contacts = parse(readData(file));
    QVERIFY(static_cast<std::size_t>(index) < contacts.size());
    const VCardContact& c = contacts[static_cast<std::size_t>(index)];
    QTEST(q(c.fileAs), "fileAs");
    QTEST(q(c.displayName), "displayName");
    QTEST(q(c.mobile), "mobile");
}

void TestVCard::contactCount_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<int>("count");
    QTest::newRow("android") << "android-2.1.vcf" << 5;
    QTest::newRow("ios") << "ios-3.0.vcf" << 5;
    QTest::newRow("google") << "google-3.0.vcf" << 4;
    QTest::newRow("nextcloud") << "nextcloud-4.0.vcf" << 4;
    QTest::newRow("evolution") << "evolution-3.0.vcf" << 2;
    QTest::newRow("latin1") << "latin1.vcf" << 2;
    QTest::newRow("utf16") << "utf16.vcf" << 1;
    QTest::newRow("truncated") << "truncated.vcf" << 2;
    QTest::newRow("junk between cards") << "junk-between.vcf" << 3;
    QTest::newRow("missing END") << "missing-end.vcf" << 3;
    QTest::newRow("bad quoted-printable") << "bad-qp.vcf" << 4;
    QTest::newRow("overlong lines") << "overlong.vcf" << 2;
    QTest::newRow("invalid UTF-8") << "invalid-utf8.vcf" << 1;
}

void TestVCard::contactCount()
{
    QFETCH(QString, file);
    QTEST(static_cast<int>(parse(readData(file)).size()), "count");
}

void TestVCard::everyStringIsUtf8_data()
{
    contactCount_data();
}

void TestVCard::everyStringIsUtf8()
{
    QFETCH(QString, file);
    for (const VCardContact& c : parse(readData(file))) {
        QVERIFY(isValidUtf8(c.uid));
        QVERIFY(isValidUtf8(c.fileAs));
        QVERIFY(isValidUtf8(c.displayName));
        QVERIFY(isValidUtf8(c.mobile));
        for (const VCardPhone& p : c.phones) {
            QVERIFY(isValidUtf8(p.number));
            for (const std::string& t : p.types)
                QVERIFY(isValidUtf8(t));
        }
    }
}

void TestVCard::numbersAndTypes()
{
    const auto contacts = parse(readData(QStringLiteral("nextcloud-4.0.vcf")));
    QCOMPARE(contacts.size(), std::size_t(4));
    const VCardContact& rene = contacts[0];
    QCOMPARE(rene.phones.size(), std::size_t(2));
    // tel: URIs lose the scheme and the extension parameter.
    QCOMPARE(q(rene.phones[0].number), QStringLiteral("+1-555-555-0401"));
    QCOMPARE(rene.phones[0].types, (std::vector<std::string> { "voice", "home" }));
    QCOMPARE(q(rene.phones[1].number), QStringLiteral("+1-555-555-0402"));
    QCOMPARE(rene.phones[1].types, (std::vector<std::string> { "cell", "voice" }));

    const auto android = parse(readData(QStringLiteral("android-2.1.vcf")));
    QCOMPARE(android[0].phones.size(), std::size_t(3));
    QCOMPARE(q(android[0].phones[0].number), QStringLiteral("+49 30 1234567"));
    QCOMPARE(android[1].phones[0].types, (std::vector<std::string> { "cell", "pref" }));
}

void TestVCard::uidOnlyWhenPresent()
{
    const auto next = parse(readData(QStringLiteral("nextcloud-4.0.vcf")));
    QCOMPARE(q(next[0].uid), QStringLiteral("urn:uuid:4fbe8971-0bc3-424c-9c26-36c3e1eff6b1"));
    QCOMPARE(q(next[2].uid), QStringLiteral("only-fn"));
    const auto ios = parse(readData(QStringLiteral("ios-3.0.vcf")));
    QVERIFY(ios[0].uid.empty());
}

void TestVCard::folding_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("displayName");
    QTest::addColumn<QString>("mobile");

    QTest::newRow("CRLF + space") << QByteArray(
        "BEGIN:VCARD\r\nVERSION:3.0\r\nFN:Ann\r\n e Marie\r\nTEL;TYPE=CELL:55\r\n 5-1\r\nEND:VCARD\r\n")
                                  << "Anne Marie"
                                  << "555-1";
    QTest::newRow("LF + tab") << QByteArray(
        "BEGIN:VCARD\nVERSION:3.0\nFN:Ann\n\te Marie\nTEL;TY\n PE=CELL:555-2\nEND:VCARD\n")
                              << "Anne Marie"
                              << "555-2";
    QTest::newRow("lone CR lines") << QByteArray(
        "BEGIN:VCARD\rVERSION:3.0\rFN:Old Mac\rTEL;TYPE=CELL:555-3\rEND:VCARD\r")
                                   << "Old Mac"
                                   << "555-3";
    QTest::newRow("QP soft break") << QByteArray("BEGIN:VCARD\r\nVERSION:2.1\r\nFN;ENCODING=QUOTED-PRINTABLE:J=C3=BC="
                                                 "\r\nrgen=20M=\r\n=C3=BCller\r\nTEL;CELL:555-4\r\nEND:VCARD\r\n")
                                   << "Jürgen Müller"
                                   << "555-4";
    QTest::newRow("bare QUOTED-PRINTABLE") << QByteArray(
        "BEGIN:VCARD\r\nVERSION:2.1\r\nFN;CHARSET=UTF-8;QUOTED-PRINTABLE:=C3=89mile\r\nTEL;CELL:555-5\r\nEND:VCARD\r\n")
                                           << "Émile"
                                           << "555-5";
    QTest::newRow("QP soft break before END") << QByteArray(
        "BEGIN:VCARD\r\nVERSION:2.1\r\nTEL;CELL:555-6\r\nFN;ENCODING=QUOTED-PRINTABLE:Cut=\r\nEND:VCARD\r\n")
                                              << "Cut="
                                              << "555-6";
    QTest::newRow("byte order mark") << QByteArray("\xEF\xBB\xBF"
                                                   "BEGIN:VCARD\r\nFN:Bom\r\nTEL;TYPE=CELL:555-7\r\nEND:VCARD\r\n")
                                     << "Bom"
                                     << "555-7";
    QTest::newRow("lower-case keywords") << QByteArray(
        "begin:vcard\r\nversion:3.0\r\nfn:Lower\r\ntel;type=cell:555-8\r\nend:vcard\r\n")
                                         << "Lower"
                                         << "555-8";
}

void TestVCard::folding()
{
    QFETCH(QByteArray, bytes);
    const auto contacts = parse(bytes);
    QCOMPARE(contacts.size(), std::size_t(1));
    QTEST(q(contacts[0].displayName), "displayName");
    QTEST(q(contacts[0].mobile), "mobile");
}

void TestVCard::escapes_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("fileAs");
    QTest::addColumn<QString>("displayName");

    QTest::newRow("3.0 comma and semicolon")
        << QByteArray("BEGIN:VCARD\nVERSION:3.0\nN:Smith\\; Jr.;John\\, the second;;;\nFN:A\\, B\\\\C\nEND:VCARD\n")
        << "Smith; Jr., John, the second"
        << "A, B\\C";
    QTest::newRow("3.0 newline escape is a space")
        << QByteArray("BEGIN:VCARD\nVERSION:3.0\nFN:Two\\nLines\nEND:VCARD\n") << "Two Lines"
        << "Two Lines";
    QTest::newRow("2.1 keeps backslashes")
        << QByteArray("BEGIN:VCARD\nVERSION:2.1\nFN:C:\\new\\; D\nEND:VCARD\n") << "C:\\new; D"
        << "C:\\new; D";
    QTest::newRow("N given names list") << QByteArray(
        "BEGIN:VCARD\nVERSION:3.0\nN:Public;John,Quinlan;;Mr.;Esq.\nEND:VCARD\n")
                                        << "Public, John Quinlan"
                                        << "";
}

void TestVCard::escapes()
{
    QFETCH(QByteArray, bytes);
    const auto contacts = parse(bytes);
    QCOMPARE(contacts.size(), std::size_t(1));
    QTEST(q(contacts[0].fileAs), "fileAs");
    QTEST(q(contacts[0].displayName), "displayName");
}

void TestVCard::fileAsFallbacks_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("fileAs");

    const QByteArray head("BEGIN:VCARD\nVERSION:4.0\n");
    const QByteArray tail("TEL:1\nEND:VCARD\n");
    QTest::newRow("explicit beats all") << head
            + "X-EVOLUTION-FILE-AS:Boss\nN;SORT-AS=\"S,T\":F;G;;;\nFN:Full\nORG:Org\n"
            + tail << "Boss";
    QTest::newRow("SORT-AS beats N") << head + "N;SORT-AS=\"Harten,Rene\":van Harten;Rene;;;\nFN:Full\n" + tail
                                     << "Harten, Rene";
    QTest::newRow("SORT-AS family only") << head + "N;SORT-AS=Harten:van Harten;Rene;;;\n" + tail << "Harten";
    QTest::newRow("N family and given") << head + "N:Family;Given;;;\nFN:Full\nORG:Org\n" + tail << "Family, Given";
    QTest::newRow("N family only") << head + "N:Family;;;;\nFN:Full\n" + tail << "Family";
    QTest::newRow("N given only") << head + "N:;Given;;;\nFN:Full\n" + tail << "Given";
    QTest::newRow("empty N falls to FN") << head + "N:;;;;\nFN:Full Name\nORG:Org\n" + tail << "Full Name";
    QTest::newRow("ORG first component") << head + "FN:\nORG:Org;Unit;Sub\n" + tail << "Org";
    QTest::newRow("nothing but a number") << head + tail << "";
}

void TestVCard::fileAsFallbacks()
{
    QFETCH(QByteArray, bytes);
    const auto contacts = parse(bytes);
    QCOMPARE(contacts.size(), std::size_t(1));
    QTEST(q(contacts[0].fileAs), "fileAs");
}

void TestVCard::mobileIsFirstCellNumber_data()
{
    QTest::addColumn<QByteArray>("tels");
    QTest::addColumn<QString>("mobile");

    QTest::newRow("2.1 bare CELL") << QByteArray("TEL;HOME:1\nTEL;CELL:2\nTEL;CELL:3\n") << "2";
    QTest::newRow("3.0 TYPE any case") << QByteArray("TEL;TYPE=Home:1\nTEL;TYPE=cElL:2\n") << "2";
    QTest::newRow("repeated TYPE") << QByteArray("TEL;TYPE=voice;TYPE=cell:2\n") << "2";
    QTest::newRow("comma list") << QByteArray("TEL;TYPE=voice,CELL:2\n") << "2";
    QTest::newRow("quoted list") << QByteArray("TEL;TYPE=\"voice,cell\":2\n") << "2";
    QTest::newRow("MOBILE word") << QByteArray("TEL;TYPE=MOBILE:2\n") << "2";
    QTest::newRow("iPhone") << QByteArray("TEL;type=IPHONE:2\n") << "2";
    QTest::newRow("Apple label") << QByteArray("item1.TEL:2\nitem1.X-ABLabel:_$!<Mobile>!$_\n") << "2";
    QTest::newRow("plain label") << QByteArray("ITEM7.TEL:2\nitem7.X-ABLABEL:Mobile\n") << "2";
    QTest::newRow("label of another group") << QByteArray("item1.TEL:1\nitem2.X-ABLabel:mobile\n") << "";
    QTest::newRow("no cell at all") << QByteArray("TEL;TYPE=HOME:1\nTEL;TYPE=WORK:2\nTEL:3\n") << "";
    QTest::newRow("tel URI") << QByteArray("TEL;VALUE=uri;TYPE=cell:tel:+1-555-0100;ext=7\n") << "+1-555-0100";
    QTest::newRow("tel URI without VALUE") << QByteArray("TEL;TYPE=cell:TEL:+1-555-0101\n") << "+1-555-0101";
    QTest::newRow("blank cell skipped") << QByteArray("TEL;TYPE=cell: \nTEL;TYPE=cell:4\n") << "4";
    QTest::newRow("letters kept") << QByteArray("TEL;CELL:555-CALL-NOW\n") << "555-CALL-NOW";
    QTest::newRow("cellular in another word is not") << QByteArray("TEL;TYPE=x-cellar:1\n") << "";
}

void TestVCard::mobileIsFirstCellNumber()
{
    QFETCH(QByteArray, tels);
    const auto contacts = parse("BEGIN:VCARD\nVERSION:3.0\nFN:X\n" + tels + "END:VCARD\n");
    QCOMPARE(contacts.size(), std::size_t(1));
    QTEST(q(contacts[0].mobile), "mobile");
}

void TestVCard::labelAfterOrBeforeTel()
{
    const auto contacts = parse(readData(QStringLiteral("ios-3.0.vcf")));
    // Mary Ann's label comes before her number, Johnny's after it.
    QCOMPARE(q(contacts[1].mobile), QStringLiteral("555-010-2004"));
    QCOMPARE(q(contacts[0].mobile), QStringLiteral("(555) 010-2001"));
    QCOMPARE(q(phoneLabel(contacts[3].phones[1])), QStringLiteral("grandma's house"));
}

void TestVCard::phoneLabels_data()
{
    QTest::addColumn<QStringList>("types");
    QTest::addColumn<QString>("label");
    QTest::newRow("cell") << QStringList { "voice", "cell" } << "mobile";
    QTest::newRow("home voice") << QStringList { "home", "voice" } << "home";
    QTest::newRow("work fax") << QStringList { "work", "fax" } << "fax";
    QTest::newRow("custom") << QStringList { "grandma" } << "grandma";
    QTest::newRow("voice only") << QStringList { "voice", "pref" } << "";
    QTest::newRow("vendor extension") << QStringList { "x-whatever" } << "";
    QTest::newRow("none") << QStringList {} << "";
}

void TestVCard::phoneLabels()
{
    QFETCH(QStringList, types);
    VCardPhone phone;
    phone.number = "1";
    for (const QString& t : types)
        phone.types.push_back(t.toStdString());
    QTEST(q(phoneLabel(phone)), "label");
}

void TestVCard::emptyCardsLeftOut()
{
    const auto contacts = parse("BEGIN:VCARD\nVERSION:3.0\nEMAIL:a@b\nEND:VCARD\n"
                                "BEGIN:VCARD\nEND:VCARD\n"
                                "BEGIN:VCARD\nFN:Kept\nEND:VCARD\n");
    QCOMPARE(contacts.size(), std::size_t(1));
    QCOMPARE(q(contacts[0].displayName), QStringLiteral("Kept"));
}

void TestVCard::damagedBytesNeverHideLaterCards_data()
{
    QTest::addColumn<QByteArray>("damage");
    QTest::newRow("nothing") << QByteArray();
    QTest::newRow("NUL bytes") << QByteArray(300, '\0');
    QTest::newRow("unterminated quote") << QByteArray("BEGIN:VCARD\nTEL;TYPE=\"cell:1\n");
    QTest::newRow("line without colon") << QByteArray("BEGIN:VCARD\nTEL;CELL\nFN\n;;;;\n");
    QTest::newRow("QP runaway") << QByteArray("BEGIN:VCARD\nVERSION:2.1\nFN;ENCODING=QUOTED-PRINTABLE:a=\nb=\nc=\n");
    QTest::newRow("nested BEGIN") << QByteArray("BEGIN:VCARD\nBEGIN:VCARD\nBEGIN:VCARD\n");
    QTest::newRow("stray END") << QByteArray("END:VCARD\nEND:VCARD\n");
    QTest::newRow("lone fold") << QByteArray(" \n\t\n \r\n");
}

void TestVCard::damagedBytesNeverHideLaterCards()
{
    QFETCH(QByteArray, damage);
    const QByteArray good("BEGIN:VCARD\r\nVERSION:3.0\r\nN:Last;Good;;;\r\nTEL;TYPE=CELL:555-9999\r\nEND:VCARD\r\n");
    // The damage stands at the start of the file, so the good card has to be
    // found after it.
    const auto contacts = parse(damage + "\n" + good);
    QVERIFY(!contacts.empty());
    QCOMPARE(q(contacts.back().fileAs), QStringLiteral("Last, Good"));
    QCOMPARE(q(contacts.back().mobile), QStringLiteral("555-9999"));
}

QTEST_APPLESS_MAIN(TestVCard)
#include "TestVCard.moc"
