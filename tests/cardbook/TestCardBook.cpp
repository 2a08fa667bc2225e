#include "CardBook.h"

#include <QTest>

// A book is written here as its slot names, "" for a free slot; every card
// also carries its name in the PIN so moved fields can be told apart.
namespace {

CardRecord card(const QString& name)
{
    CardRecord c;
    c.cardName = name.toStdU16String();
    if (!name.isEmpty()) {
        c.accessNumber = u"555";
        c.pin = (name + "-pin").toStdU16String();
        c.pauseBeforeNumber = u"1";
        c.prefix = u"00";
        c.pauseBeforePin = u"2";
    }
    return c;
}

CardBook bookOf(const QStringList& names)
{
    CardBook book;
    for (int i = 0; i < names.size(); ++i)
        book.slot(i) = card(names[i]);
    return book;
}

QStringList slotNames(const CardBook& book)
{
    QStringList names;
    for (int i = 0; i < CardBook::kSlots; ++i)
        names << QString::fromStdU16String(book.slot(i).cardName);
    while (!names.isEmpty() && names.last().isEmpty())
        names.removeLast();
    return names;
}

QStringList ten(const QString& stem)
{
    QStringList names;
    for (int i = 1; i <= 10; ++i)
        names << stem + QString::number(i);
    return names;
}

} // namespace

class TestCardBook : public QObject {
    Q_OBJECT

private slots:
    void count_data();
    void count();
    void find_data();
    void find();
    void append_data();
    void append();
    void appendToFullBookChangesNothing();
    void removeAt_data();
    void removeAt();
    void removeAtMovesEveryField();
    void removeAtPullsInKeptAsideCard_data();
    void removeAtPullsInKeptAsideCard();
};

void TestCardBook::count_data()
{
    QTest::addColumn<QStringList>("names");
    QTest::addColumn<int>("expected");
    QTest::newRow("new book") << QStringList {} << 0;
    QTest::newRow("one") << QStringList { "Home" } << 1;
    QTest::newRow("empty name cuts the book") << QStringList { "A", "B", "", "D", "E" } << 2;
    QTest::newRow("empty first slot") << QStringList { "", "B" } << 0;
    QTest::newRow("full") << ten("C") << 10;
}

void TestCardBook::count()
{
    QFETCH(QStringList, names);
    QFETCH(int, expected);
    QCOMPARE(bookOf(names).count(), expected);
}

void TestCardBook::find_data()
{
    QTest::addColumn<QStringList>("names");
    QTest::addColumn<QString>("name");
    QTest::addColumn<int>("slot"); // -1: none
    QTest::addColumn<int>("named");
    QTest::newRow("found") << QStringList { "A", "Home", "C" } << "Home" << 1 << 1;
    QTest::newRow("case differs") << QStringList { "home" } << "Home" << -1 << 0;
    QTest::newRow("trailing space differs") << QStringList { "Home " } << "Home" << -1 << 0;
    QTest::newRow("duplicates: lowest slot") << QStringList { "X", "Home", "Y", "Home" } << "Home" << 1 << 2;
    QTest::newRow("behind an empty name") << QStringList { "A", "", "Home" } << "Home" << -1 << 0;
    QTest::newRow("empty name is no card") << QStringList { "A", "" } << "" << -1 << 0;
    QTest::newRow("tenth slot") << ten("C") << "C10" << 9 << 1;
    QTest::newRow("empty book") << QStringList {} << "Home" << -1 << 0;
}

void TestCardBook::find()
{
    QFETCH(QStringList, names);
    QFETCH(QString, name);
    QFETCH(int, slot);
    QFETCH(int, named);
    const CardBook book = bookOf(names);
    const auto found = book.find(name.toStdU16String());
    QCOMPARE(found.value_or(-1), slot);
    QCOMPARE(book.countNamed(name.toStdU16String()), named);
}

void TestCardBook::append_data()
{
    QTest::addColumn<QStringList>("names");
    QTest::addColumn<QStringList>("expected");
    QTest::newRow("into new book") << QStringList {} << QStringList { "New" };
    QTest::newRow("after the last card") << QStringList { "A", "B" } << QStringList { "A", "B", "New" };
    QTest::newRow("into the slot that cuts the book")
        << QStringList { "A", "", "C" } << QStringList { "A", "New", "C" };
    QTest::newRow("ninth card to tenth slot") << ten("C").mid(0, 9) << ten("C").mid(0, 9) + QStringList { "New" };
}

void TestCardBook::append()
{
    QFETCH(QStringList, names);
    QFETCH(QStringList, expected);
    CardBook book = bookOf(names);
    QVERIFY(book.append(card("New")));
    QCOMPARE(slotNames(book), expected);
    QVERIFY(book.slot(*book.find(u"New")) == card("New"));
}

void TestCardBook::appendToFullBookChangesNothing()
{
    CardBook book = bookOf(ten("C"));
    book.overflow().push_back(card("Aside"));
    const CardBook before = book;
    QVERIFY(!book.append(card("New")));
    QVERIFY(book == before);
}

void TestCardBook::removeAt_data()
{
    QTest::addColumn<QStringList>("names");
    QTest::addColumn<int>("slot");
    QTest::addColumn<QStringList>("expected");
    QTest::newRow("first") << QStringList { "A", "B", "C" } << 0 << QStringList { "B", "C" };
    QTest::newRow("middle") << QStringList { "A", "B", "C" } << 1 << QStringList { "A", "C" };
    QTest::newRow("last") << QStringList { "A", "B", "C" } << 2 << QStringList { "A", "B" };
    QTest::newRow("only") << QStringList { "A" } << 0 << QStringList {};
    QTest::newRow("tenth of ten") << ten("C") << 9 << ten("C").mid(0, 9);
    QTest::newRow("first of ten") << ten("C") << 0 << ten("C").mid(1);
    // Slots behind the cut are not cards and are not moved.
    QTest::newRow("stops at the cut") << QStringList { "A", "B", "", "D" } << 0 << QStringList { "B", "", "", "D" };
    QTest::newRow("beyond the cards: no change") << QStringList { "A", "B" } << 2 << QStringList { "A", "B" };
    QTest::newRow("negative: no change") << QStringList { "A", "B" } << -1 << QStringList { "A", "B" };
}

void TestCardBook::removeAt()
{
    QFETCH(QStringList, names);
    QFETCH(int, slot);
    QFETCH(QStringList, expected);
    CardBook book = bookOf(names);
    book.removeAt(slot);
    QCOMPARE(slotNames(book), expected);
}

void TestCardBook::removeAtMovesEveryField()
{
    CardBook book = bookOf({ "A", "B", "C" });
    book.removeAt(0);
    QVERIFY(book.slot(0) == card("B"));
    QVERIFY(book.slot(1) == card("C"));
    // The former last slot is emptied in all six fields, not just its name.
    QVERIFY(book.slot(2) == CardRecord {});
}

void TestCardBook::removeAtPullsInKeptAsideCard_data()
{
    QTest::addColumn<QStringList>("names");
    QTest::addColumn<QStringList>("aside");
    QTest::addColumn<QStringList>("expectedSlots");
    QTest::addColumn<QStringList>("expectedAside");
    QTest::newRow("first kept card moves in")
        << ten("C") << QStringList { "K11", "K12" } << ten("C").mid(1) + QStringList { "K11" } << QStringList { "K12" };
    QTest::newRow("last kept card moves in")
        << ten("C") << QStringList { "K11" } << ten("C").mid(1) + QStringList { "K11" } << QStringList {};
    QTest::newRow("nameless records are skipped") << ten("C") << QStringList { "", "K12", "K13" }
                                                  << ten("C").mid(1) + QStringList { "K12" } << QStringList { "K13" };
    QTest::newRow("only nameless records") << ten("C") << QStringList { "" } << ten("C").mid(1) << QStringList {};
    QTest::newRow("book not full: kept cards stay aside")
        << QStringList { "A", "B" } << QStringList { "K" } << QStringList { "B" } << QStringList { "K" };
}

void TestCardBook::removeAtPullsInKeptAsideCard()
{
    QFETCH(QStringList, names);
    QFETCH(QStringList, aside);
    QFETCH(QStringList, expectedSlots);
    QFETCH(QStringList, expectedAside);
    CardBook book = bookOf(names);
    for (const QString& name : aside)
        book.overflow().push_back(card(name));
    book.removeAt(0);
    QCOMPARE(slotNames(book), expectedSlots);
    QStringList asideNames;
    for (const CardRecord& c : book.overflow())
        asideNames << QString::fromStdU16String(c.cardName);
    QCOMPARE(asideNames, expectedAside);
    if (!expectedSlots.isEmpty() && expectedSlots.last().startsWith('K'))
        QVERIFY(book.slot(9) == card(expectedSlots.last()));
}

QTEST_GUILESS_MAIN(TestCardBook)
#include "TestCardBook.moc"
