#include "CardFile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>
#include <cstdlib>
#include <filesystem>

#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

const QString kData = QStringLiteral(DIALER_TEST_DATA "/cardfile/");

QByteArray fixture(const char* name)
{
    QFile f(kData + QLatin1String(name));
    if (!f.open(QIODevice::ReadOnly))
        qFatal("missing fixture %s", name);
    return f.readAll();
}

QByteArray readBytes(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

void writeBytes(const QString& path, const QByteArray& bytes)
{
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    QCOMPARE(f.write(bytes), bytes.size());
}

fs::path fsPath(const QString& path)
{
    return fs::path(path.toStdString());
}

QByteArray le32(qint32 v)
{
    QByteArray b(4, '\0');
    for (int i = 0; i < 4; ++i)
        b[i] = char((quint32(v) >> (8 * i)) & 0xFF);
    return b;
}

// The writer's short wide form, built by hand to make input files.
QByteArray wide(const QString& s)
{
    Q_ASSERT(s.size() < 255);
    QByteArray b = QByteArray::fromHex("FFFEFF");
    b.append(char(s.size()));
    for (const QChar c : s) {
        b.append(char(c.unicode() & 0xFF));
        b.append(char(c.unicode() >> 8));
    }
    return b;
}

QByteArray cardBytes(const QStringList& fields)
{
    QByteArray b;
    for (const QString& f : fields)
        b += wide(f);
    return b;
}

QStringList namedCard(const QString& name)
{
    return { name, "5550100", "1234", "2", "00", "3" };
}

QByteArray fileOf(qint32 count, const QList<QStringList>& cards)
{
    QByteArray b = le32(count);
    for (const QStringList& c : cards)
        b += cardBytes(c);
    return b;
}

QStringList fields(const CardRecord& c)
{
    QStringList l;
    for (const auto* s : { &c.cardName, &c.accessNumber, &c.pin, &c.pauseBeforeNumber, &c.prefix, &c.pauseBeforePin })
        l << QString::fromStdU16String(*s);
    return l;
}

CardRecord record(const QStringList& f)
{
    return { f[0].toStdU16String(), f[1].toStdU16String(), f[2].toStdU16String(), f[3].toStdU16String(),
        f[4].toStdU16String(), f[5].toStdU16String() };
}

const QStringList kOld { "old0", "old1", "old2", "old3", "old4", "old5" };

// A book whose every field is set, to see which ones a load touches.
CardBook oldBook()
{
    CardBook book;
    for (int i = 0; i < CardBook::kSlots; ++i)
        book.slot(i) = record(kOld);
    book.overflow().push_back(record(namedCard("aside")));
    return book;
}

QList<QStringList> threeCards()
{
    return { { "Alpha", "111", "1234", "1", "00", "2" }, { "Beta", "222", "", "3", "", "" },
        { "Gamma", "333", "99", "4", "011", "5" } };
}

QList<QStringList> numberedCards(int n)
{
    QList<QStringList> cards;
    for (int i = 1; i <= n; ++i)
        cards << namedCard(QStringLiteral("N%1").arg(i));
    return cards;
}

// A book of ten cards with every field at the longest text the screens take.
CardBook fullBook()
{
    CardBook book;
    for (int i = 0; i < CardBook::kSlots; ++i) {
        const QChar d('0' + i);
        book.slot(i)
            = record({ QString(20, d), QString(15, d), QString(10, d), QString(1, d), QString(5, d), QString(1, d) });
    }
    return book;
}

QStringList folderEntries(const QString& dir)
{
    return QDir(dir).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
}

int modeOf(const QString& path)
{
    struct stat st { };
    return ::stat(path.toLocal8Bit().constData(), &st) == 0 ? int(st.st_mode & 07777) : -1;
}

class Umask {
public:
    explicit Umask(mode_t m)
        : m_old(::umask(m))
    {
    }
    ~Umask() { ::umask(m_old); }

private:
    mode_t m_old;
};

} // namespace

class TestCardFile : public QObject {
    Q_OBJECT

private slots:
    void init();

    // exact bytes
    void oneCardExample();
    void emptyBook();
    void fullBookSize();
    void fixturesRoundTrip_data();
    void fixturesRoundTrip();
    void readLengthForms_data();
    void readLengthForms();
    void writeLengthForms_data();
    void writeLengthForms();
    void narrowCodePage_data();
    void narrowCodePage();
    void narrowFixture();
    void oddSurrogatesSurvive();

    // load outcomes
    void cardCount_data();
    void cardCount();
    void truncation_data();
    void truncation();
    void hugeLengths_data();
    void hugeLengths();
    void shortOrMissingFile_data();
    void shortOrMissingFile();
    void notARegularFile_data();
    void notARegularFile();

    // more than ten cards
    void moreThanTenCards();
    void moreThanTenTruncated();
    void loadResetsKeptCards();
    void bookNotFullWritesOnlyItsCards();

    // save modes and safety
    void inPlaceLeavesOldTail();
    void inPlaceLongerThanOld();
    void inPlaceMissingFileCreatesNothing();
    void permissions();
    void failedSaveKeepsOldFile_data();
    void failedSaveKeepsOldFile();
    void crashDuringSave_data();
    void crashDuringSave();
    void symlinkStaysLink();
    void staleTempFilesCleared();

    // location
    void defaultPath_data();
    void defaultPath();
    void savesToDefaultPath();

private:
    QTemporaryDir m_dir;
    QString m_file;
};

void TestCardFile::init()
{
    QVERIFY(m_dir.isValid());
    for (const QString& e : folderEntries(m_dir.path()))
        QFileInfo(m_dir.filePath(e)).isDir() ? void(QDir(m_dir.filePath(e)).removeRecursively())
                                             : void(QFile::remove(m_dir.filePath(e)));
    m_file = m_dir.filePath("Card.bin");
}

void TestCardFile::staleTempFilesCleared()
{
    // Left by saves killed before their rename: the old ones go, a young one
    // may be another copy's save in progress and stays, and others' files stay.
    const QStringList names { ".Card.bin.old001", ".Card.bin.new001", ".Card.bin.toolong1", "notes.txt" };
    for (const QString& n : names) {
        QFile f(m_dir.filePath(n));
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write("1234");
        f.flush();
        if (n != ".Card.bin.new001")
            QVERIFY(f.setFileTime(QDateTime::currentDateTime().addSecs(-3600), QFileDevice::FileModificationTime));
        f.close();
    }
    CardBook book;
    QVERIFY(book.append(record({ "Home", "5550100", "", "2", "", "" })));
    QVERIFY(CardFile::save(book, SaveMode::Replace, fsPath(m_file)));
    QStringList left = folderEntries(m_dir.path());
    left.sort();
    QCOMPARE(left, (QStringList { ".Card.bin.new001", ".Card.bin.toolong1", "Card.bin", "notes.txt" }));
}

void TestCardFile::oneCardExample()
{
    CardBook book;
    QVERIFY(book.append(record({ "Home", "5550100", "", "2", "", "" })));
    QVERIFY(CardFile::save(book, SaveMode::Replace, fsPath(m_file)));
    const QByteArray expected = fixture("one_card.bin");
    QCOMPARE(expected.size(), 52);
    QCOMPARE(readBytes(m_file).toHex(' '), expected.toHex(' '));

    CardBook loaded;
    const LoadResult r = CardFile::load(loaded, fsPath(kData + "one_card.bin"));
    QCOMPARE(r.complete, 1);
    QVERIFY(r.ranToEnd);
    QVERIFY(loaded == book);
}

void TestCardFile::emptyBook()
{
    QVERIFY(CardFile::save(CardBook {}, SaveMode::Replace, fsPath(m_file)));
    QCOMPARE(readBytes(m_file), QByteArray::fromHex("00000000"));
    CardBook book;
    const LoadResult r = CardFile::load(book, fsPath(m_file));
    QCOMPARE(r.complete, 0);
    QVERIFY(r.ranToEnd);
    QCOMPARE(book.count(), 0);
}

void TestCardFile::fullBookSize()
{
    QVERIFY(CardFile::save(fullBook(), SaveMode::Replace, fsPath(m_file)));
    QCOMPARE(readBytes(m_file).size(), 1284);
    CardBook book;
    QCOMPARE(CardFile::load(book, fsPath(m_file)).complete, 10);
    QVERIFY(book == fullBook());
}

void TestCardFile::fixturesRoundTrip_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<int>("complete");
    QTest::newRow("one card") << "one_card.bin" << 1;
    QTest::newRow("three cards") << "three_cards.bin" << 3;
}

void TestCardFile::fixturesRoundTrip()
{
    QFETCH(QString, name);
    QFETCH(int, complete);
    CardBook book;
    const LoadResult r = CardFile::load(book, fsPath(kData + name));
    QCOMPARE(r.complete, complete);
    QVERIFY(r.ranToEnd);
    QVERIFY(CardFile::save(book, SaveMode::Replace, fsPath(m_file)));
    QCOMPARE(readBytes(m_file).toHex(' '), readBytes(kData + name).toHex(' '));
}

void TestCardFile::readLengthForms_data()
{
    QTest::addColumn<QByteArray>("encoded");
    QTest::addColumn<QString>("expected");
    const auto h = [](const char* hex) { return QByteArray::fromHex(hex); };
    QTest::newRow("narrow, byte") << h("03616263") << "abc";
    QTest::newRow("narrow, empty") << h("00") << "";
    QTest::newRow("narrow, 254") << h("FE") + QByteArray(254, 'n') << QString(254, 'n');
    QTest::newRow("narrow, FF + 16 bits") << h("FF0300616263") << "abc";
    QTest::newRow("narrow, FF + 16 bits, 300") << h("FF2C01") + QByteArray(300, 'n') << QString(300, 'n');
    QTest::newRow("narrow, FF FFFF + 32 bits") << h("FFFFFF03000000616263") << "abc";
    QTest::newRow("narrow, FF FFFF FFFFFFFF + 64 bits") << h("FFFFFFFFFFFFFF0300000000000000616263") << "abc";
    QTest::newRow("wide, byte") << h("FFFEFF0241004200") << "AB";
    QTest::newRow("wide, empty") << h("FFFEFF00") << "";
    QTest::newRow("wide, FF + 16 bits") << h("FFFEFFFF020041004200") << "AB";
    QTest::newRow("wide, FF FFFF + 32 bits") << h("FFFEFFFFFFFF0200000041004200") << "AB";
    QTest::newRow("wide, FF FFFF FFFFFFFF + 64 bits") << h("FFFEFFFFFFFFFFFFFFFF020000000000000041004200") << "AB";
    QTest::newRow("wide, 64-bit length at the limit form, zero") << h("FFFEFFFFFFFFFFFFFFFF0000000000000000") << "";
    QTest::newRow("wide, non-Latin units")
        << h("FFFEFF03AC2000D83D00") << QString(QChar(0x20AC)) + QChar(0xD800) + QChar(0x3D);
}

void TestCardFile::readLengthForms()
{
    QFETCH(QByteArray, encoded);
    QFETCH(QString, expected);
    // The second field proves the reader stopped exactly at the string's end.
    writeBytes(m_file, le32(1) + encoded + cardBytes({ "Z", "", "", "", "" }));
    CardBook book;
    const LoadResult r = CardFile::load(book, fsPath(m_file));
    QCOMPARE(r.complete, 1);
    QVERIFY(r.ranToEnd);
    QCOMPARE(fields(book.slot(0)), QStringList({ expected, "Z", "", "", "", "" }));
}

void TestCardFile::writeLengthForms_data()
{
    QTest::addColumn<int>("length");
    QTest::addColumn<QByteArray>("prefix");
    QTest::newRow("0") << 0 << QByteArray::fromHex("FFFEFF00");
    QTest::newRow("1") << 1 << QByteArray::fromHex("FFFEFF01");
    QTest::newRow("254") << 254 << QByteArray::fromHex("FFFEFFFE");
    QTest::newRow("255") << 255 << QByteArray::fromHex("FFFEFFFFFF00");
    QTest::newRow("0xFFFD") << 0xFFFD << QByteArray::fromHex("FFFEFFFFFDFF");
    QTest::newRow("0xFFFE") << 0xFFFE << QByteArray::fromHex("FFFEFFFFFFFFFEFF0000");
    QTest::newRow("0x10000") << 0x10000 << QByteArray::fromHex("FFFEFFFFFFFF00000100");
}

void TestCardFile::writeLengthForms()
{
    QFETCH(int, length);
    QFETCH(QByteArray, prefix);
    // The string under test sits in the second field: an empty name would not be a card.
    CardBook book;
    book.slot(0).cardName = u"N";
    book.slot(0).accessNumber = QString(length, QChar(0x263A)).toStdU16String();
    QVERIFY(CardFile::save(book, SaveMode::Replace, fsPath(m_file)));
    const QByteArray bytes = readBytes(m_file);
    const int at = 4 + wide("N").size();
    QCOMPARE(bytes.mid(at, prefix.size()).toHex(' '), prefix.toHex(' '));
    QCOMPARE(bytes.size(), at + prefix.size() + 2 * length + 4 * 4);
    if (length)
        QCOMPARE(bytes.mid(at + prefix.size(), 2), QByteArray::fromHex("3A26"));
    CardBook loaded;
    QVERIFY(CardFile::load(loaded, fsPath(m_file)).ranToEnd);
    QVERIFY(loaded == book);
}

void TestCardFile::narrowCodePage_data()
{
    QTest::addColumn<int>("byte");
    QTest::addColumn<int>("unit");
    QTest::newRow("0x41 A") << 0x41 << 0x41;
    QTest::newRow("0x80 euro") << 0x80 << 0x20AC;
    QTest::newRow("0x82") << 0x82 << 0x201A;
    QTest::newRow("0x8A S caron") << 0x8A << 0x0160;
    QTest::newRow("0x8C OE") << 0x8C << 0x0152;
    QTest::newRow("0x92 quote") << 0x92 << 0x2019;
    QTest::newRow("0x96 en dash") << 0x96 << 0x2013;
    QTest::newRow("0x99 trade mark") << 0x99 << 0x2122;
    QTest::newRow("0x9F Y diaeresis") << 0x9F << 0x0178;
    for (int undefined : { 0x81, 0x8D, 0x8F, 0x90, 0x9D })
        QTest::addRow("0x%X undefined", undefined) << undefined << undefined;
    QTest::newRow("0xA0") << 0xA0 << 0xA0;
    QTest::newRow("0xE9 e acute") << 0xE9 << 0xE9;
    QTest::newRow("0xFF") << 0xFF << 0xFF;
    QTest::newRow("0x00") << 0x00 << 0x00;
}

void TestCardFile::narrowCodePage()
{
    QFETCH(int, byte);
    QFETCH(int, unit);
    QByteArray name("\x03x");
    name += char(byte);
    name += 'y';
    writeBytes(m_file, le32(1) + name + cardBytes({ "", "", "", "", "" }));
    CardBook book;
    QVERIFY(CardFile::load(book, fsPath(m_file)).ranToEnd);
    QCOMPARE(QString::fromStdU16String(book.slot(0).cardName), QString("x") + QChar(unit) + "y");
}

void TestCardFile::narrowFixture()
{
    CardBook book;
    const LoadResult r = CardFile::load(book, fsPath(kData + "narrow.bin"));
    QCOMPARE(r.complete, 1);
    QVERIFY(r.ranToEnd);
    const QStringList expected { QString("Caf") + QChar(0xE9) + " " + QChar(0x20AC), "0800123456", "1234", "3", "00",
        "2" };
    QCOMPARE(fields(book.slot(0)), expected);
    // Saved again, the card comes out in the wide form.
    QVERIFY(CardFile::save(book, SaveMode::Replace, fsPath(m_file)));
    QCOMPARE(readBytes(m_file).toHex(' '), fileOf(1, { expected }).toHex(' '));
}

void TestCardFile::oddSurrogatesSurvive()
{
    CardBook book;
    const LoadResult r = CardFile::load(book, fsPath(kData + "surrogates.bin"));
    QCOMPARE(r.complete, 1);
    QCOMPARE(book.slot(0).cardName, (std::u16string { u'A', char16_t(0xD800), u'B' }));
    QCOMPARE(book.slot(0).accessNumber, (std::u16string { char16_t(0xDC00), char16_t(0xD800) }));
    QVERIFY(CardFile::save(book, SaveMode::Replace, fsPath(m_file)));
    QCOMPARE(readBytes(m_file).toHex(' '), fixture("surrogates.bin").toHex(' '));
}

void TestCardFile::cardCount_data()
{
    QTest::addColumn<qint32>("count");
    QTest::addColumn<int>("cardsInFile");
    QTest::addColumn<int>("complete");
    QTest::addColumn<bool>("ranToEnd");
    QTest::newRow("-1") << qint32(-1) << 1 << 0 << true;
    QTest::newRow("most negative") << qint32(INT32_MIN) << 1 << 0 << true;
    QTest::newRow("0, cards follow") << qint32(0) << 2 << 0 << true;
    QTest::newRow("fewer than in the file") << qint32(2) << 3 << 2 << true;
    QTest::newRow("exact") << qint32(3) << 3 << 3 << true;
    QTest::newRow("one more than in the file") << qint32(4) << 3 << 3 << false;
    QTest::newRow("2^31-1") << qint32(INT32_MAX) << 2 << 2 << false;
}

void TestCardFile::cardCount()
{
    QFETCH(qint32, count);
    QFETCH(int, cardsInFile);
    QFETCH(int, complete);
    QFETCH(bool, ranToEnd);
    const QList<QStringList> cards = threeCards().mid(0, cardsInFile);
    writeBytes(m_file, fileOf(count, cards));
    CardBook book = oldBook();
    QElapsedTimer timer;
    timer.start();
    const LoadResult r = CardFile::load(book, fsPath(m_file));
    QVERIFY2(timer.elapsed() < 1000, "a huge count must stop at the end of the file");
    QCOMPARE(r.complete, complete);
    QCOMPARE(r.ranToEnd, ranToEnd);
    for (int i = 0; i < CardBook::kSlots; ++i)
        QCOMPARE(fields(book.slot(i)), i < complete ? cards[i] : kOld);
}

void TestCardFile::truncation_data()
{
    QTest::addColumn<int>("keep");
    QTest::addColumn<int>("complete");
    QTest::addColumn<int>("fieldsOfPartial"); // fields stored into the next slot
    const QList<QStringList> cards = threeCards();
    const int third = 4 + cardBytes(cards[0]).size() + cardBytes(cards[1]).size();
    const auto upTo = [&](int field) { // end of field `field` (1-based) of the third card
        return third + cardBytes(cards[2].mid(0, field)).size();
    };
    QTest::newRow("count only") << 4 << 0 << 0;
    QTest::newRow("inside the first name") << 7 << 0 << 0;
    QTest::newRow("inside the third name's prefix") << third + 2 << 2 << 0;
    QTest::newRow("inside the third name's text") << third + 5 << 2 << 0;
    QTest::newRow("after the third name") << upTo(1) << 2 << 1;
    QTest::newRow("after the third PIN") << upTo(3) << 2 << 3;
    QTest::newRow("one byte short") << upTo(6) - 1 << 2 << 5;
}

void TestCardFile::truncation()
{
    QFETCH(int, keep);
    QFETCH(int, complete);
    QFETCH(int, fieldsOfPartial);
    const QList<QStringList> cards = threeCards();
    writeBytes(m_file, fileOf(3, cards).left(keep));
    CardBook book = oldBook();
    const LoadResult r = CardFile::load(book, fsPath(m_file));
    QCOMPARE(r.complete, complete);
    QVERIFY(!r.ranToEnd);
    for (int i = 0; i < complete; ++i)
        QCOMPARE(fields(book.slot(i)), cards[i]);
    // The slot being read holds what was read; its other fields are untouched.
    QCOMPARE(fields(book.slot(complete)), cards[complete].mid(0, fieldsOfPartial) + kOld.mid(fieldsOfPartial));
    for (int i = complete + 1; i < CardBook::kSlots; ++i)
        QCOMPARE(fields(book.slot(i)), kOld);
}

void TestCardFile::hugeLengths_data()
{
    QTest::addColumn<QByteArray>("encoded");
    const auto h = [](const char* hex) { return QByteArray::fromHex(hex); };
    QTest::newRow("64-bit length 0x80000000: damaged")
        << h("FFFEFFFFFFFFFFFFFFFF0000008000000000") + QByteArray(8, 'x');
    QTest::newRow("64-bit length all ones: damaged") << h("FFFEFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFF") + QByteArray(8, 'x');
    QTest::newRow("narrow 64-bit above 31 bits: damaged") << h("FFFFFFFFFFFFFF0100000001000000") + QByteArray(8, 'x');
    QTest::newRow("wide 64-bit 0x7FFFFFFF, tiny file") << h("FFFEFFFFFFFFFFFFFFFFFFFFFF7F00000000");
    QTest::newRow("narrow 64-bit 0x7FFFFFFF, tiny file") << h("FFFFFFFFFFFFFFFFFFFF7F00000000");
    QTest::newRow("wide 32-bit 0xFFFFFFFE, tiny file") << h("FFFEFFFFFFFFFEFFFFFF");
    QTest::newRow("narrow 32-bit 0xFFFFFFFE, tiny file") << h("FFFFFFFEFFFFFF") + QByteArray(20, 'x');
    QTest::newRow("wide 16-bit 0xFFFD, tiny file") << h("FFFEFFFFFDFF4100");
    QTest::newRow("wide, odd byte at the end") << h("FFFEFF02410042");
}

void TestCardFile::hugeLengths()
{
    QFETCH(QByteArray, encoded);
    const QList<QStringList> cards = threeCards();
    writeBytes(m_file, le32(3) + cardBytes(cards[0]) + encoded);
    CardBook book = oldBook();
    const LoadResult r = CardFile::load(book, fsPath(m_file));
    QCOMPARE(r.complete, 1);
    QVERIFY(!r.ranToEnd);
    QCOMPARE(fields(book.slot(0)), cards[0]);
    QCOMPARE(fields(book.slot(1)), kOld);
}

void TestCardFile::shortOrMissingFile_data()
{
    QTest::addColumn<bool>("exists");
    QTest::addColumn<QByteArray>("bytes");
    QTest::newRow("missing") << false << QByteArray();
    QTest::newRow("0 bytes") << true << QByteArray();
    QTest::newRow("1 byte") << true << QByteArray::fromHex("01");
    QTest::newRow("3 bytes") << true << QByteArray::fromHex("010000");
}

void TestCardFile::shortOrMissingFile()
{
    QFETCH(bool, exists);
    QFETCH(QByteArray, bytes);
    if (exists)
        writeBytes(m_file, bytes);
    CardBook book = oldBook();
    const LoadResult r = CardFile::load(book, fsPath(m_file));
    QCOMPARE(r.complete, 0);
    QVERIFY(!r.ranToEnd);
    for (int i = 0; i < CardBook::kSlots; ++i)
        QCOMPARE(fields(book.slot(i)), kOld);
    if (!exists) {
        QVERIFY(book == oldBook());
        QVERIFY(!QFile::exists(m_file));
    }
}

void TestCardFile::notARegularFile_data()
{
    QTest::addColumn<bool>("fifo");
    QTest::newRow("FIFO") << true;
    QTest::newRow("folder") << false;
}

void TestCardFile::notARegularFile()
{
    QFETCH(bool, fifo);
    if (fifo)
        QVERIFY(::mkfifo(m_file.toLocal8Bit().constData(), 0600) == 0);
    else
        QVERIFY(QDir().mkdir(m_file));
    // Neither may block or count as a card file.
    CardBook book = oldBook();
    const LoadResult r = CardFile::load(book, fsPath(m_file));
    QCOMPARE(r.complete, 0);
    QVERIFY(!r.ranToEnd);
    QVERIFY(book == oldBook());
    QVERIFY(!CardFile::save(book, SaveMode::InPlace, fsPath(m_file)));
    QCOMPARE(folderEntries(m_dir.path()), QStringList { "Card.bin" });
}

void TestCardFile::moreThanTenCards()
{
    const QList<QStringList> cards = numberedCards(12);
    const QByteArray original = fileOf(12, cards) + "junk after the cards";
    writeBytes(m_file, original);
    CardBook book;
    const LoadResult r = CardFile::load(book, fsPath(m_file));
    QCOMPARE(r.complete, 10);
    QVERIFY(r.ranToEnd);
    QCOMPARE(book.count(), 10);
    QCOMPARE(int(book.overflow().size()), 2);
    QCOMPARE(fields(book.overflow()[0]), cards[10]);
    QCOMPARE(fields(book.overflow()[1]), cards[11]);

    // Nothing is lost: all twelve go back, in order.
    QVERIFY(CardFile::save(book, SaveMode::Replace, fsPath(m_file)));
    QCOMPARE(readBytes(m_file).toHex(' '), fileOf(12, cards).toHex(' '));

    book.removeAt(0);
    QVERIFY(CardFile::save(book, SaveMode::Replace, fsPath(m_file)));
    QCOMPARE(readBytes(m_file).toHex(' '), fileOf(11, cards.mid(1)).toHex(' '));
    CardBook reloaded;
    QCOMPARE(CardFile::load(reloaded, fsPath(m_file)).complete, 10);
    QCOMPARE(fields(reloaded.slot(9)), cards[10]);
    QCOMPARE(int(reloaded.overflow().size()), 1);
    QCOMPARE(fields(reloaded.overflow()[0]), cards[11]);
}

void TestCardFile::moreThanTenTruncated()
{
    const QList<QStringList> cards = numberedCards(12);
    writeBytes(m_file, fileOf(12, cards).chopped(3));
    CardBook book;
    const LoadResult r = CardFile::load(book, fsPath(m_file));
    QCOMPARE(r.complete, 10);
    QVERIFY(!r.ranToEnd);
    // Only cards read whole are kept aside.
    QCOMPARE(int(book.overflow().size()), 1);
    QCOMPARE(fields(book.overflow()[0]), cards[10]);
}

void TestCardFile::loadResetsKeptCards()
{
    writeBytes(m_file, fileOf(12, numberedCards(12)));
    CardBook book;
    CardFile::load(book, fsPath(m_file));
    QCOMPARE(int(book.overflow().size()), 2);
    QCOMPARE(CardFile::load(book, fsPath(kData + "one_card.bin")).complete, 1);
    QVERIFY(book.overflow().empty());
    QCOMPARE(fields(book.slot(1)), numberedCards(2)[1]); // untouched slot
}

void TestCardFile::bookNotFullWritesOnlyItsCards()
{
    CardBook book;
    for (const QStringList& c : threeCards())
        book.append(record(c));
    book.overflow().push_back(record(namedCard("aside")));
    QVERIFY(CardFile::save(book, SaveMode::Replace, fsPath(m_file)));
    QCOMPARE(readBytes(m_file), fixture("three_cards.bin"));
}

void TestCardFile::inPlaceLeavesOldTail()
{
    const QByteArray three = fixture("three_cards.bin");
    writeBytes(m_file, three);
    CardBook book;
    CardFile::load(book, fsPath(m_file));
    book.removeAt(2);
    QVERIFY(CardFile::save(book, SaveMode::InPlace, fsPath(m_file)));

    const QByteArray two = fileOf(2, threeCards().mid(0, 2));
    const QByteArray bytes = readBytes(m_file);
    QCOMPARE(bytes.size(), three.size());
    QCOMPARE(bytes.left(two.size()).toHex(' '), two.toHex(' '));
    QCOMPARE(bytes.mid(two.size()).toHex(' '), three.mid(two.size()).toHex(' '));
    QCOMPARE(bytes.right(cardBytes(threeCards()[2]).size()), cardBytes(threeCards()[2]));

    CardBook loaded;
    const LoadResult r = CardFile::load(loaded, fsPath(m_file));
    QCOMPARE(r.complete, 2);
    QVERIFY(r.ranToEnd);
    QCOMPARE(loaded.count(), 2);
}

void TestCardFile::inPlaceLongerThanOld()
{
    QVERIFY(CardFile::save(CardBook {}, SaveMode::Replace, fsPath(m_file)));
    CardBook book;
    CardFile::load(book, fsPath(kData + "one_card.bin"));
    QVERIFY(CardFile::save(book, SaveMode::InPlace, fsPath(m_file)));
    QCOMPARE(readBytes(m_file), fixture("one_card.bin"));
}

void TestCardFile::inPlaceMissingFileCreatesNothing()
{
    CardBook book;
    CardFile::load(book, fsPath(kData + "one_card.bin"));
    QVERIFY(!CardFile::save(book, SaveMode::InPlace, fsPath(m_file)));
    QVERIFY(!CardFile::save(book, SaveMode::InPlace, fsPath(m_dir.filePath("sub/Card.bin"))));
    QCOMPARE(folderEntries(m_dir.path()), QStringList());
}

void TestCardFile::permissions()
{
    const Umask open(0); // the saver must not rely on the user's umask
    const QString nested = m_dir.filePath("a/b/Card.bin");
    QVERIFY(CardFile::save(fullBook(), SaveMode::Replace, fsPath(nested)));
    QCOMPARE(modeOf(m_dir.filePath("a")), 0700);
    QCOMPARE(modeOf(m_dir.filePath("a/b")), 0700);
    QCOMPARE(modeOf(nested), 0600);

    for (const SaveMode mode : { SaveMode::Replace, SaveMode::InPlace }) {
        QVERIFY(::chmod(nested.toLocal8Bit().constData(), 0644) == 0);
        QVERIFY(CardFile::save(CardBook {}, mode, fsPath(nested)));
        QCOMPARE(modeOf(nested), 0600);
    }
    // No temporary file is left behind.
    QCOMPARE(folderEntries(m_dir.filePath("a/b")), QStringList { "Card.bin" });
}

void TestCardFile::failedSaveKeepsOldFile_data()
{
    QTest::addColumn<QString>("how");
    QTest::addColumn<int>("mode");
    for (const char* how : { "folder is a file", "disk full", "Card.bin is a folder" }) {
        QTest::addRow("%s, Replace", how) << QString(how) << int(SaveMode::Replace);
        QTest::addRow("%s, InPlace", how) << QString(how) << int(SaveMode::InPlace);
    }
}

void TestCardFile::failedSaveKeepsOldFile()
{
    QFETCH(QString, how);
    QFETCH(int, mode);
    const QByteArray old = fixture("three_cards.bin");
    QString target = m_file;
    QString folder = m_dir.path();
    struct rlimit saved { };
    ::getrlimit(RLIMIT_FSIZE, &saved);
    const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);

    if (how == "folder is a file") {
        // Tests run as root, so a read-only folder would not stop the save;
        // a folder below a regular file cannot exist for anyone.
        writeBytes(m_file, old);
        target = m_dir.filePath("Card.bin/dialer/Card.bin");
    } else if (how == "disk full") {
        writeBytes(m_file, old);
        struct rlimit small = saved;
        small.rlim_cur = 600; // the new content, 1,284 bytes, does not fit
        QVERIFY(::setrlimit(RLIMIT_FSIZE, &small) == 0);
    } else {
        QVERIFY(QDir().mkdir(m_file));
        writeBytes(m_dir.filePath("Card.bin/inside"), old);
    }

    const bool ok = CardFile::save(fullBook(), SaveMode(mode), fsPath(target));
    ::setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, oldHandler);
    QVERIFY(!ok);

    if (how == "Card.bin is a folder") {
        QVERIFY(QFileInfo(m_file).isDir());
        QCOMPARE(readBytes(m_dir.filePath("Card.bin/inside")), old);
    } else {
        QCOMPARE(readBytes(m_file), old);
    }
    QCOMPARE(folderEntries(folder), QStringList { "Card.bin" });
}

void TestCardFile::crashDuringSave_data()
{
    QTest::addColumn<QString>("phase");
    QTest::addColumn<bool>("newContent");
    QTest::newRow("after-create") << "after-create" << false;
    QTest::newRow("mid-write") << "mid-write" << false;
    QTest::newRow("after-write") << "after-write" << false;
    QTest::newRow("before-rename") << "before-rename" << false;
    QTest::newRow("after-rename") << "after-rename" << true;
}

void TestCardFile::crashDuringSave()
{
    QFETCH(QString, phase);
    QFETCH(bool, newContent);
    const QByteArray old = fixture("three_cards.bin");
    writeBytes(m_file, old);
    const QByteArray phaseName = phase.toLatin1();

    const pid_t child = ::fork();
    QVERIFY(child >= 0);
    if (child == 0) {
        ::setenv("DIALER_TEST_SAVE_HOOK", phaseName.constData(), 1);
        CardFile::save(fullBook(), SaveMode::Replace, fsPath(m_file));
        ::_exit(0); // the hook did not fire
    }
    int status = 0;
    QCOMPARE(::waitpid(child, &status, 0), child);
    QVERIFY2(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL, "the save hook must kill the process");

    // Card.bin is either whole and old or whole and new, never in between.
    CardBook book;
    const LoadResult r = CardFile::load(book, fsPath(m_file));
    QVERIFY(r.ranToEnd);
    if (newContent) {
        QVERIFY(book == fullBook());
        QCOMPARE(readBytes(m_file).size(), 1284);
    } else {
        QCOMPARE(readBytes(m_file), old);
    }
}

void TestCardFile::symlinkStaysLink()
{
    const QString real = m_dir.filePath("real.bin");
    writeBytes(real, fixture("three_cards.bin"));
    QVERIFY(QFile::link(real, m_file));
    QVERIFY(CardFile::save(CardBook {}, SaveMode::Replace, fsPath(m_file)));
    QVERIFY(QFileInfo(m_file).isSymLink());
    QCOMPARE(readBytes(real), QByteArray::fromHex("00000000"));
}

void TestCardFile::defaultPath_data()
{
    QTest::addColumn<QByteArray>("xdg"); // null: unset
    QTest::addColumn<QString>("expected");
    QTest::newRow("XDG_DATA_HOME absolute") << QByteArray("/srv/data") << "/srv/data/dialer/Card.bin";
    QTest::newRow("XDG_DATA_HOME relative: ignored")
        << QByteArray("rel/data") << "/home/u/.local/share/dialer/Card.bin";
    QTest::newRow("XDG_DATA_HOME empty") << QByteArray("") << "/home/u/.local/share/dialer/Card.bin";
    QTest::newRow("XDG_DATA_HOME unset") << QByteArray() << "/home/u/.local/share/dialer/Card.bin";
}

void TestCardFile::defaultPath()
{
    QFETCH(QByteArray, xdg);
    QFETCH(QString, expected);
    const QByteArray oldXdg = qgetenv("XDG_DATA_HOME");
    const bool hadXdg = qEnvironmentVariableIsSet("XDG_DATA_HOME");
    const QByteArray oldHome = qgetenv("HOME");
    qputenv("HOME", "/home/u");
    if (xdg.isNull())
        qunsetenv("XDG_DATA_HOME");
    else
        qputenv("XDG_DATA_HOME", xdg);
    const QString actual = QString::fromStdString(CardFile::defaultPath().string());
    qputenv("HOME", oldHome);
    hadXdg ? void(qputenv("XDG_DATA_HOME", oldXdg)) : void(qunsetenv("XDG_DATA_HOME"));
    QCOMPARE(actual, expected);
}

void TestCardFile::savesToDefaultPath()
{
    const QByteArray oldXdg = qgetenv("XDG_DATA_HOME");
    const bool hadXdg = qEnvironmentVariableIsSet("XDG_DATA_HOME");
    qputenv("XDG_DATA_HOME", m_dir.path().toLocal8Bit());
    CardBook book;
    book.append(record({ "Home", "5550100", "", "2", "", "" }));
    const bool saved = CardFile::save(book, SaveMode::Replace);
    CardBook loaded;
    const LoadResult r = CardFile::load(loaded);
    hadXdg ? void(qputenv("XDG_DATA_HOME", oldXdg)) : void(qunsetenv("XDG_DATA_HOME"));
    QVERIFY(saved);
    QCOMPARE(readBytes(m_dir.filePath("dialer/Card.bin")), fixture("one_card.bin"));
    QCOMPARE(modeOf(m_dir.filePath("dialer")), 0700);
    QCOMPARE(r.complete, 1);
    QVERIFY(loaded == book);
}

QTEST_GUILESS_MAIN(TestCardFile)
#include "TestCardFile.moc"
