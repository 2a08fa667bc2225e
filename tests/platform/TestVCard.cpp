#include "VCardReader.h"

#include <QFile>
#include <QTest>

static QByteArray file(const char* name)
{
    QFile f(QStringLiteral(DIALER_TEST_DATA "/vcard/") + name);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("missing ") + name;
}

static QByteArray v3(const QByteArray& lines)
{
    return "BEGIN:VCARD\nVERSION:3.0\n" + lines + "END:VCARD\n";
}

// Contacts read from real exports and from cards written for one rule each.
class TestVCard : public QObject {
    Q_OBJECT
private slots:
    void contacts_data();
    void contacts();
};

Q_DECLARE_METATYPE(VCardLimits)

// One line per contact: file-as name|display name|mobile; then what was left out.
void TestVCard::contacts_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("contacts");
    QTest::addColumn<VCardLimits>("limits");
    const QByteArray good = v3("N:Last;Good;;;\r\nTEL;TYPE=CELL:555-9999\r\n");
    const struct {
        const char* tag;
        QByteArray bytes;
        QString contacts;
        VCardLimits limits = {};
    } rows[] = {
        { "android", file("android-2.1.vcf"),
            "Müller, Jürgen|Jürgen Müller|+49 (171) 555-0101\nИванова, Мария|Мария Иванова|555-0102\n"
            "Pizza Service|Pizza Service|\nSmith, John|John Smith|555-0105\nACME Corp.||555 0106" },
        { "ios", file("ios-3.0.vcf"),
            "Appleseed, Johnny|Johnny Appleseed|(555) 010-2001\nO'Neil, Mary Ann|Mary Ann O'Neil|555-010-2004\n"
            "Lee, Kim|Kim Lee|+1 (555) 010-2005\nDoe\\, Jane|Jane Doe|+1 555 010 2006\nDr. Who|Dr. Who|" },
        { "google", file("google-3.0.vcf"),
            "García, Ana|Ana García|+34 600 000 301\nBob|Bob|\nChen, Wei|Chen Wei|555-0304\nGoogle Inc.||" },
        { "nextcloud", file("nextcloud-4.0.vcf"),
            "Harten, Rene|Rene van Harten|+1-555-555-0402\nMüller, Zoë|Zoë Müller|+49 151 0404\nSam|Sam|555-0405\n"
            "City Library||" },
        { "evolution", file("evolution-3.0.vcf"), "Neo|Thomas Anderson|555-0501\nConnor, Sarah J.|Sarah Connor|" },
        { "8859-1", file("latin1.vcf"),
            "François, René|René François|555-0601\nJörgensen, €lse|€lse Jörgensen|555-0602" },
        { "utf16", file("utf16.vcf"), "Øster, Åse||555-1301\nПупкин, Василий|Вася|" },
        // Declared charsets; undeclared 8-bit text in the card's declared one.
        { "Shift_JIS, 0x5C second bytes", file("shift_jis-2.1.vcf"), "伊能, 圭一|安藤;ロイド|090-1234-5678" },
        { "windows-1251", file("windows-1251.vcf"), "Пупкин, Василий|Василий Пупкин|+7 495 000-00-00" },
        { "declared further on", file("greek-hint.vcf"),
            "Παπαθανασίου, Γιώργος|Γιώργος Παπαθανασίου|+30 690 000 0000\nJörg, Ölaf||" },
        { "ISO-2022-JP", v3("FN;CHARSET=ISO-2022-JP:\x1B$B0KG=\x1B(B\n"), "伊能|伊能|" },
        { "unknown, ASCII-changing", v3("N;CHARSET=x-nonsense:J\xF6rg;A\nFN;CHARSET=UTF-16:\xC5se\n"), "Jörg, A|Åse|" },
        { "truncated", file("truncated.vcf"), "First, Good||555-0701\nSecond, Cut||555-07" },
        { "junk", file("junk-between.vcf"), "Alpha, Anna||555-0801\nBeta, Ben||555-0802\nGamma, Gus||555-0803" },
        { "missing END", file("missing-end.vcf"), "One, Olga||555-0901\nTwo, Tom||555-0903\nThree, Tina||555-0904" },
        { "bad quoted-printable", file("bad-qp.vcf"),
            "=ZZBroken=4, éric=||\nNext, Nora||555-1001\nSoftBreak=|SoftBreak=|\nAfter, Al||555-1002" },
        { "overlong: notes passed over, a 60 KB name left out", file("overlong.vcf"),
            "Long, Lines||555-1101\n1 too long" },
        // Each limit, met and then passed by one byte or one card.
        { "line", v3("FN:12345678901234567\nNOTE:" + QByteArray(99, 'n') + "\n") + v3("FN:123456789012345678\n"),
            "12345678901234567|12345678901234567|\n1 too long", { .propertyBytes = 20 } },
        { "line folded", v3("FN:1234567890\n 12345678\n"), "1 too long", { .propertyBytes = 20 } },
        { "line soft-broken", v3("FN;QUOTED-PRINTABLE:123=\n45=\n678901\n"), "1 too long", { .propertyBytes = 30 } },
        { "card", v3("FN:a\nTEL:1\nTEL:2\nTEL:3\n") + v3("FN:bb\nTEL:1\nTEL:2\nTEL:3\n"), "a|a|\n1 too long",
            { .cardBytes = 30 } },
        { "contacts", v3("FN:a\n") + v3("") + v3("FN:b\n") + v3("FN:c\n"), "a|a|\nb|b|\n1 too many",
            { .contacts = 2 } },
        { "invalid UTF-8", file("invalid-utf8.vcf"), "Bad\u00C3, Byte\u00ED\u00A0\u20ACs|x|555-1201" },
        { "LF, tab folds", v3("FN:Ann\n\te Marie\nTEL;TY\n PE=CELL:555-2\n"), "Anne Marie|Anne Marie|555-2" },
        { "lone CR lines", "BEGIN:VCARD\rFN:Old Mac\rTEL;TYPE=CELL:555-3\rEND:VCARD\r", "Old Mac|Old Mac|555-3" },
        { "QP soft break before END", v3("FN;ENCODING=QUOTED-PRINTABLE:Cut=\r\n"), "Cut=|Cut=|" },
        { "byte order mark", "\xEF\xBB\xBF" + v3("FN:Bom\n"), "Bom|Bom|" },
        { "lower case", "begin:vcard\nfn:Lower\ntel;type=cell:555-8\nend:vcard\n", "Lower|Lower|555-8" },
        { "3.0 escapes", v3("N:S\\; Jr.;J\\, II;;;\nFN:A\\, B\\\\C\\nD\n"), "S; Jr., J, II|A, B\\C D|" },
        { "2.1 keeps backslashes", "BEGIN:VCARD\nVERSION:2.1\nFN:C:\\new\\; D\nEND:VCARD\n", "C:\\new; D|C:\\new; D|" },
        { "FILE-AS first", v3("X-EVOLUTION-FILE-AS:Boss\nN;SORT-AS=\"S,T\":F;G;;;\nFN:Full\nORG:O\n"), "Boss|Full|" },
        { "N family only", v3("N:Family;;;;\nFN:Full\n"), "Family|Full|" },
        { "N given only", v3("N:;Given;;;\nFN:Full\n"), "Given|Full|" },
        { "nothing but a number", v3("TEL:1\n"), "||" },
        { "no name nor number", v3("EMAIL:a@b\n") + "BEGIN:VCARD\nEND:VCARD\n" + v3("FN:Kept\n"), "Kept|Kept|" },
        // The mobile: the first number typed cell.
        { "repeated TYPE", v3("TEL;TYPE=voice;TYPE=cell:2\n"), "||2" },
        { "iPhone", v3("TEL;type=IPHONE:2\n"), "||2" },
        { "label of another group", v3("item1.TEL:1\nitem2.X-ABLabel:mobile\n"), "||" },
        { "tel: without VALUE", v3("TEL;TYPE=cell:TEL:+1-555-0101\n"), "||+1-555-0101" },
        { "blank cell skipped", v3("TEL;TYPE=cell: \nTEL;TYPE=cell:4\n"), "||4" },
        { "x-cellar is no cell", v3("TEL;TYPE=x-cellar:1\n"), "||" },
        { "no digit, a URI but tel:: no number",
            v3("TEL;CELL:Handy\nTEL;CELL:sip:1@x\nTEL:tel:sip:2\nTEL;VALUE=uri:xmpp:3@x\n")
                + v3("FN:a\nTEL;CELL:\x01\nTEL;CELL:2\n"),
            "a|a|2" },
        // Damage before a good card never hides it.
        { "NUL bytes", QByteArray(300, '\0') + "\n" + good, "Last, Good||555-9999" },
        { "unterminated quote", "BEGIN:VCARD\nTEL;TYPE=\"cell:1\n\n" + good, "Last, Good||555-9999" },
        { "lines without colon", "BEGIN:VCARD\nTEL;CELL\nFN\n;;;;\n\n" + good, "Last, Good||555-9999" },
        { "QP runaway", "BEGIN:VCARD\nFN;QUOTED-PRINTABLE:a=\nb=\nc=\n\n" + good, "abc|abc|\nLast, Good||555-9999" },
        { "BEGIN lines that start no card", "BEGIN:VCARD\nFN:a\nBEGIN:VCARDS\nBEGIN:VCARD\n X\nTEL;CELL:1\n", "a|a|1" },
        { "nested BEGIN", "BEGIN:VCARD\nBEGIN:VCARD\nBEGIN:VCARD\n\n" + good, "Last, Good||555-9999" },
        // A card nested without AGENT is a card of its own, and its parent keeps the lines after it. The parent's
        // charset, declared after its 8-bit text and after the nested card, reads it again without the nested card.
        { "nested 2.1 card, no AGENT",
            "BEGIN:VCARD\nN:Parent\nBEGIN:VCARD\nN:Nested\nTEL;CELL:2\nEND:VCARD\nTEL;CELL:1\nEND:VCARD\n",
            "Parent||1\nNested||2" },
        { "nested, charset after it",
            "BEGIN:VCARD\nN:\xCF\xF3\xEF\xEA\xE8\xED\nBEGIN:VCARD\nN;CHARSET=KOI8-R:\xF0\xD5\xD0\xCB\xC9\xCE\n"
            "END:VCARD\nORG;CHARSET=WINDOWS-1251:\xC0\nEND:VCARD\n",
            "Пупкин||\nПупкин||" },
        { "nested past 8 deep: the innermost ends at the next",
            QByteArray("BEGIN:VCARD\nN:a\nTEL:1\n").repeated(10) + "END:VCARD\nTEL;CELL:2\n",
            QString("a||\n").repeated(7) + "a||2\na||\na||" },
        // Cards nested in a 2.1 card's AGENT are passed over; so is a card nested too deep there.
        { "nested 2.1 cards",
            "BEGIN:VCARD\nN:A\nAGENT:\n" + v3("AGENT:BEGIN:VCARD\nEND:VCARD\nTEL:2\n") + "TEL;CELL:1\n"
                + "END:VCARD\nBEGIN:VCARD\nN:B\n" + QByteArray("AGENT:\nBEGIN:VCARD\n").repeated(8)
                + QByteArray("END:VCARD\n").repeated(9) + "BEGIN:VCARD\nN:C\n"
                + QByteArray("AGENT:\nBEGIN:VCARD\n").repeated(9) + QByteArray("END:VCARD\n").repeated(10) + good,
            "A||1\nB||\nLast, Good||555-9999\n1 too long" },
    };
    for (const auto& r : rows)
        QTest::newRow(r.tag) << r.bytes << r.contacts << r.limits;
}

void TestVCard::contacts()
{
    QFETCH(QByteArray, bytes);
    QFETCH(VCardLimits, limits);
    const std::string_view view(bytes.constData(), std::size_t(bytes.size()));
    const VCardCards cards = parseVCards(view, limits);
    QStringList lines; // bytes that are not UTF-8 would come out as U+FFFD, which no row expects
    for (const VCardContact& c : cards.contacts)
        lines << QString::fromStdString(c.fileAs + '|' + c.displayName + '|' + c.mobile);
    for (const auto& [count, why] : { std::pair(cards.tooLong, " too long"), std::pair(cards.tooMany, " too many") })
        lines << (count ? QString::number(count) + why : QString());
    lines.removeAll({});
    QTEST(lines.join(u'\n'), "contacts");
    // Cut before every card that can be cut at, the same cards.
    QVERIFY(parseVCardsInStretches(view, limits, 1, 2) == cards);
}

QTEST_APPLESS_MAIN(TestVCard)
#include "TestVCard.moc"
