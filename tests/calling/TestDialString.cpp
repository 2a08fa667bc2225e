#include "DialString.h"

#include <QString>
#include <QTest>

#include <limits>
#include <vector>

namespace {

// A buffer that starts with optional text, then `capacity` cells of 'x', then
// a guard of '#' and a final zero. Reading it as text stops at the first
// terminator written by the code under test, or shows the x's and the guard
// when none was written, so a missing terminator fails the comparison.
class GuardedBuffer {
public:
    explicit GuardedBuffer(qsizetype capacity, const QString& before = {})
        : m_start(before.size())
        , m_capacity(capacity)
    {
        const std::u16string initial = before.toStdU16String();
        m_cells.assign(initial.begin(), initial.end());
        m_cells.insert(m_cells.end(), capacity, u'x');
        m_cells.insert(m_cells.end(), kGuard, u'#');
        m_cells.push_back(u'\0');
        m_pristine = text();
    }

    char16_t* start() { return m_cells.data() + m_start; }
    QString text() const { return QString::fromUtf16(m_cells.data()); }
    const QString& pristine() const { return m_pristine; }

    bool guardIntact() const
    {
        for (qsizetype i = 0; i < kGuard; ++i) {
            if (m_cells[m_start + m_capacity + i] != u'#')
                return false;
        }
        return true;
    }

private:
    static constexpr qsizetype kGuard = 4;
    std::vector<char16_t> m_cells;
    qsizetype m_start;
    qsizetype m_capacity;
    QString m_pristine;
};

std::u16string u16(const QString& s)
{
    return s.toStdU16String();
}

QString repeated(char c, qsizetype n)
{
    return QString(n, QLatin1Char(c));
}

QString digits(qsizetype n)
{
    QString s;
    for (qsizetype i = 0; i < n; ++i)
        s += QLatin1Char(char('0' + (i * 7 + 3) % 10));
    return s;
}

DialCardTexts card(const QString& access, const QString& pin, const QString& pausePin, const QString& pauseNumber)
{
    return { u16(access), u16(pin), u16(pausePin), u16(pauseNumber) };
}

const QString kAccess = QStringLiteral("8005550100");
const QString kStripped = QStringLiteral("011442079460000");

constexpr int kOk = hr::S_OK;
constexpr int kFail = hr::E_FAIL;
constexpr int kShort = hr::STRSAFE_E_INSUFFICIENT_BUFFER;
constexpr int kInvalid = hr::STRSAFE_E_INVALID_PARAMETER;

} // namespace

class TestDialString : public QObject {
    Q_OBJECT

private slots:
    void copyWithEndReport_data();
    void copyWithEndReport();
    void plainCopy_data();
    void plainCopy();
    void length_data();
    void length();
    void primitivesRejectNullAndHugeCapacity();

    void wtoi_data();
    void wtoi();

    void strip_data();
    void strip();

    void build_data();
    void build();
    void workingValues_data();
    void workingValues();

    void compose_data();
    void compose();
};

void TestDialString::copyWithEndReport_data()
{
    QTest::addColumn<QString>("before");
    QTest::addColumn<QString>("source");
    QTest::addColumn<int>("capacity");
    QTest::addColumn<int>("status");
    QTest::addColumn<QString>("expected"); // null: nothing written
    QTest::addColumn<int>("endOffset"); // from the start position; -1: not reported
    QTest::addColumn<int>("remaining");

    QTest::newRow("fits") << ""
                          << "abc" << 10 << kOk << "abc" << 3 << 7;
    QTest::newRow("fits exactly") << ""
                                  << "abc" << 4 << kOk << "abc" << 3 << 1;
    QTest::newRow("empty source") << ""
                                  << "" << 1 << kOk << "" << 0 << 1;
    QTest::newRow("one too long: left out") << ""
                                            << "abcd" << 4 << kShort << "" << 0 << 4;
    QTest::newRow("far too long: left out") << "" << digits(300) << 256 << kShort << "" << 0 << 256;
    QTest::newRow("appended, fits") << "ab"
                                    << "cd" << 3 << kOk << "abcd" << 2 << 1;
    QTest::newRow("appended, left out") << "ab"
                                        << "cdef" << 3 << kShort << "ab" << 0 << 3;
    QTest::newRow("zero capacity, empty source") << "ab"
                                                 << "" << 0 << kInvalid << QString() << -1 << -1;
    QTest::newRow("zero capacity") << ""
                                   << "a" << 0 << kInvalid << QString() << -1 << -1;
}

void TestDialString::copyWithEndReport()
{
    QFETCH(QString, before);
    QFETCH(QString, source);
    QFETCH(int, capacity);
    QFETCH(int, status);
    QFETCH(QString, expected);
    QFETCH(int, endOffset);
    QFETCH(int, remaining);

    GuardedBuffer buffer(capacity, before);
    const std::u16string src = u16(source);
    char16_t* end = nullptr;
    std::size_t left = 999;

    QCOMPARE(int(StringCchCopyExW(buffer.start(), std::size_t(capacity), src.c_str(), &end, &left)), status);
    QCOMPARE(buffer.text(), expected.isNull() ? buffer.pristine() : expected);
    QVERIFY(buffer.guardIntact());
    if (endOffset < 0) {
        QVERIFY(end == nullptr);
        QCOMPARE(left, std::size_t(999));
    } else {
        QCOMPARE(end - buffer.start(), endOffset);
        QCOMPARE(left, std::size_t(remaining));
        QCOMPARE(*end, u'\0');
    }
}

void TestDialString::plainCopy_data()
{
    QTest::addColumn<QString>("source");
    QTest::addColumn<int>("capacity");
    QTest::addColumn<int>("status");
    QTest::addColumn<QString>("expected"); // null: nothing written

    QTest::newRow("fits") << "abc" << 10 << kOk << "abc";
    QTest::newRow("fits exactly") << "abc" << 4 << kOk << "abc";
    QTest::newRow("empty source") << "" << 1 << kOk << "";
    QTest::newRow("one too long: cut") << "abcd" << 4 << kShort << "abc";
    QTest::newRow("cut to nothing") << "abc" << 1 << kShort << "";
    QTest::newRow("long text cut to 255") << digits(300) << 256 << kShort << digits(255);
    QTest::newRow("zero capacity") << "abc" << 0 << kInvalid << QString();
}

void TestDialString::plainCopy()
{
    QFETCH(QString, source);
    QFETCH(int, capacity);
    QFETCH(int, status);
    QFETCH(QString, expected);

    GuardedBuffer buffer(capacity);
    const std::u16string src = u16(source);
    QCOMPARE(int(StringCchCopyW(buffer.start(), std::size_t(capacity), src.c_str())), status);
    QCOMPARE(buffer.text(), expected.isNull() ? buffer.pristine() : expected);
    QVERIFY(buffer.guardIntact());
}

void TestDialString::length_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("bound");
    QTest::addColumn<int>("status");
    QTest::addColumn<int>("length");

    QTest::newRow("terminator within bound") << "abc" << 10 << kOk << 3;
    QTest::newRow("terminator at last slot") << "abc" << 4 << kOk << 3;
    QTest::newRow("terminator just beyond") << "abc" << 3 << kInvalid << 0;
    QTest::newRow("empty") << "" << 1 << kOk << 0;
    QTest::newRow("zero bound") << "" << 0 << kInvalid << 0;
    QTest::newRow("255 within 256") << digits(255) << 256 << kOk << 255;
    QTest::newRow("256 within 256") << digits(256) << 256 << kInvalid << 0;
}

void TestDialString::length()
{
    QFETCH(QString, text);
    QFETCH(int, bound);
    QFETCH(int, status);
    QFETCH(int, length);

    const std::u16string s = u16(text);
    std::size_t measured = 999;
    QCOMPARE(int(StringCchLengthW(s.c_str(), std::size_t(bound), &measured)), status);
    QCOMPARE(measured, std::size_t(length));
}

void TestDialString::primitivesRejectNullAndHugeCapacity()
{
    char16_t cells[4] = { u'x', u'x', u'x', u'\0' };
    const std::size_t huge = kStrSafeMaxCch + 1;

    QCOMPARE(int(StringCchCopyExW(cells, huge, u"ab", nullptr, nullptr)), kInvalid);
    QCOMPARE(int(StringCchCopyExW(nullptr, 4, u"ab", nullptr, nullptr)), kInvalid);
    QCOMPARE(int(StringCchCopyExW(cells, 4, nullptr, nullptr, nullptr)), kInvalid);
    QCOMPARE(cells[0], u'x');
    QCOMPARE(int(StringCchCopyW(nullptr, 4, u"ab")), kInvalid);
    // A failing plain copy always leaves a terminator where it can.
    QCOMPARE(int(StringCchCopyW(cells, 4, nullptr)), kInvalid);
    QCOMPARE(cells[0], u'\0');

    std::size_t measured = 7;
    QCOMPARE(int(StringCchLengthW(nullptr, 4, &measured)), kInvalid);
    QCOMPARE(measured, std::size_t(0));
    measured = 7;
    QCOMPARE(int(StringCchLengthW(u"ab", huge, &measured)), kInvalid);
    QCOMPARE(measured, std::size_t(0));

    QCOMPARE(WToI(nullptr), 0);
}

void TestDialString::wtoi_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("value");

    QTest::newRow("blank, plus, digits, letters") << " +12ab" << 12;
    QTest::newRow("minus zero") << "-0" << 0;
    QTest::newRow("empty") << "" << 0;
    QTest::newRow("every blank kind") << "\t\n\v\f\r 7" << 7;
    QTest::newRow("leading zero") << "0123" << 123;
    QTest::newRow("negative") << "-5" << -5;
    QTest::newRow("stops at blank") << "12 34" << 12;
    QTest::newRow("hash first") << "#12" << 0;
    QTest::newRow("two signs") << "+-1" << 0;
    QTest::newRow("blank after sign") << "- 1" << 0;
    QTest::newRow("non-breaking space is no blank") << QString(QChar(0xA0)) + "5" << 0;
    QTest::newRow("other script digit") << QString(QChar(0x0661)) << 0;
    QTest::newRow("largest") << "2147483647" << std::numeric_limits<int>::max();
    QTest::newRow("one past largest saturates") << "2147483648" << std::numeric_limits<int>::max();
    QTest::newRow("far past largest saturates") << "99999999999" << std::numeric_limits<int>::max();
    QTest::newRow("many digits saturate") << digits(60) << std::numeric_limits<int>::max();
    // 2^64 + 1: an accumulator that wrapped instead of saturating would read 1.
    QTest::newRow("2^64 + 1 saturates") << "18446744073709551617" << std::numeric_limits<int>::max();
    QTest::newRow("-(2^64 + 1) saturates") << "-18446744073709551617" << std::numeric_limits<int>::min();
    QTest::newRow("smallest") << "-2147483648" << std::numeric_limits<int>::min();
    QTest::newRow("below smallest saturates") << "-99999999999" << std::numeric_limits<int>::min();
    QTest::newRow("many zeros then digit") << repeated('0', 40) + "9" << 9;
}

void TestDialString::wtoi()
{
    QFETCH(QString, text);
    QFETCH(int, value);
    QCOMPARE(WToI(u16(text).c_str()), value);
}

void TestDialString::strip_data()
{
    QTest::addColumn<QString>("source");
    QTest::addColumn<int>("count"); // -1: the whole source
    QTest::addColumn<int>("capacity"); // -1: count + 1
    QTest::addColumn<int>("status");
    QTest::addColumn<QString>("expected"); // null: destination untouched

    QTest::newRow("worked example") << "011+44(20)7946-0000" << -1 << -1 << kOk << kStripped;
    QTest::newRow("separators only") << "(-)" << -1 << -1 << kOk << "";
    QTest::newRow("prefix and hyphenated number") << "011555-0100" << -1 << -1 << kOk << "0115550100";
    QTest::newRow("p w comma survive") << "1p2w3,4" << -1 << -1 << kOk << "1p2w3,4";
    QTest::newRow("P W + * # dropped") << "P1W2+3*4#5" << -1 << -1 << kOk << "12345";
    QTest::newRow("blanks punctuation letters dropped") << " 1.2/3 a(b)c-4 xyz" << -1 << -1 << kOk << "1234";
    QTest::newRow("other scripts' digits dropped")
        << QString(QChar(0x0661)) + QChar(0xFF12) + "3" << -1 << -1 << kOk << "3";
    QTest::newRow("zero inside count ends walk")
        << QStringLiteral("12") + QChar(0) + QStringLiteral("34") << 5 << -1 << kOk << "12";
    QTest::newRow("count shorter than text") << "12345" << 3 << -1 << kOk << "123";
    QTest::newRow("capacity count + 1") << "123" << 3 << 4 << kOk << "123";
    QTest::newRow("capacity equal to count") << "123" << 3 << 3 << kFail << QString();
    QTest::newRow("capacity equal to count, all dropped") << "(-)" << 3 << 3 << kFail << QString();
    QTest::newRow("empty source") << "" << 0 << 1 << kOk << "";
    QTest::newRow("zero capacity") << "" << 0 << 0 << kFail << QString();
}

void TestDialString::strip()
{
    QFETCH(QString, source);
    QFETCH(int, count);
    QFETCH(int, capacity);
    QFETCH(int, status);
    QFETCH(QString, expected);

    if (count < 0)
        count = int(source.size());
    if (capacity < 0)
        capacity = count + 1;
    const std::u16string src = u16(source);
    GuardedBuffer buffer(capacity);

    QCOMPARE(int(StripNonPhoneDigits(buffer.start(), std::size_t(capacity), src.c_str(), std::size_t(count))), status);
    QCOMPARE(buffer.text(), expected.isNull() ? buffer.pristine() : expected);
    QVERIFY(buffer.guardIntact());
}

void TestDialString::build_data()
{
    QTest::addColumn<QString>("access");
    QTest::addColumn<QString>("pin");
    QTest::addColumn<QString>("pausePin");
    QTest::addColumn<QString>("pauseNumber");
    QTest::addColumn<QString>("destination");
    QTest::addColumn<int>("capacity");
    QTest::addColumn<int>("status");
    QTest::addColumn<QString>("expected");

    const QString d = kStripped;
    // 34 characters: access number, 2 pauses, PIN, 3 pauses, destination.
    QTest::newRow("worked example") << kAccess << "4821"
                                    << "2"
                                    << "3" << d << 256 << kOk << "8005550100pp4821ppp011442079460000";
    QTest::newRow("empty PIN, pause 0") << kAccess << ""
                                        << "2"
                                        << "0" << d << 256 << kOk << "8005550100w011442079460000";
    QTest::newRow("PIN of zeros") << kAccess << "0000"
                                  << "2"
                                  << "0" << d << 256 << kOk << "8005550100w011442079460000";
    QTest::newRow("PIN starting with #") << kAccess << "#12"
                                         << "2"
                                         << "0" << d << 256 << kOk << "8005550100w011442079460000";
    QTest::newRow("PIN with leading zero dialled whole") << kAccess << "0123"
                                                         << "1"
                                                         << "2" << d << 256 << kOk << "8005550100p0123pp" + d;
    QTest::newRow("PIN with leading blank dialled whole") << kAccess << " 12"
                                                          << "0"
                                                          << "0" << d << 256 << kOk << "8005550100 12w" + d;
    QTest::newRow("negative PIN dialled") << kAccess << "-5"
                                          << "1"
                                          << "0" << d << 256 << kOk << "8005550100p-5w" + d;
    QTest::newRow("pause before PIN 0") << kAccess << "4821"
                                        << "0"
                                        << "3" << d << 256 << kOk << "80055501004821ppp" + d;
    QTest::newRow("pause before PIN negative") << kAccess << "4821"
                                               << "-2"
                                               << "0" << d << 256 << kOk << "80055501004821w" + d;
    QTest::newRow("pause before number 0") << kAccess << "4821"
                                           << "1"
                                           << "0" << d << 256 << kOk << "8005550100p4821w" + d;
    QTest::newRow("pause before number empty") << kAccess << "4821"
                                               << "1"
                                               << "" << d << 256 << kOk << "8005550100p4821w" + d;
    QTest::newRow("pause before number 3") << kAccess << "4821"
                                           << "1"
                                           << "3" << d << 256 << kOk << "8005550100p4821ppp" + d;
    QTest::newRow("pause before number -1") << kAccess << "4821"
                                            << "1"
                                            << "-1" << d << 256 << kOk << "8005550100p4821" + d;
    QTest::newRow("no PIN, pause before number -1") << kAccess << ""
                                                    << "4"
                                                    << "-1" << d << 256 << kOk << kAccess + d;
    QTest::newRow("empty destination ends with w") << kAccess << "4821"
                                                   << "0"
                                                   << "0"
                                                   << "" << 256 << kOk << "80055501004821w";
    QTest::newRow("empty destination ends with pauses") << kAccess << "4821"
                                                        << "1"
                                                        << "2"
                                                        << "" << 256 << kOk << "8005550100p4821pp";
    QTest::newRow("empty access number") << ""
                                         << "4821"
                                         << "1"
                                         << "0" << d << 256 << kOk << "p4821w" + d;

    // Capacity edges of the output.
    QTest::newRow("C-1 characters") << kAccess << ""
                                    << ""
                                    << "0"
                                    << "12345678" << 20 << kOk << "8005550100w12345678";
    QTest::newRow("C characters: destination cut") << kAccess << ""
                                                   << ""
                                                   << "0"
                                                   << "123456789" << 20 << kShort << "8005550100w12345678";
    QTest::newRow("pauses then C-1 characters") << "12345"
                                                << ""
                                                << ""
                                                << "3"
                                                << "1234567" << 16 << kOk << "12345ppp1234567";
    QTest::newRow("huge pause count stops at one slot") << "12345"
                                                        << ""
                                                        << ""
                                                        << "2147483647"
                                                        << "" << 16 << kOk << "12345" + repeated('p', 10);
    QTest::newRow("huge pause count, destination fails") << "12345"
                                                         << ""
                                                         << ""
                                                         << "2147483647"
                                                         << "7" << 16 << kShort << "12345" + repeated('p', 10);
    QTest::newRow("pause before PIN beyond room, PIN fails") << kAccess << "4821"
                                                             << "9"
                                                             << "0" << d << 14 << kShort << "8005550100ppp";
    QTest::newRow("PIN does not fit") << kAccess << "48215"
                                      << "0"
                                      << "0" << d << 14 << kShort << kAccess;
    QTest::newRow("no room for w after PIN") << kAccess << "4821"
                                             << "0"
                                             << "0" << d << 15 << kFail << "80055501004821";
    QTest::newRow("no room for w after access number") << kAccess << ""
                                                       << ""
                                                       << "0"
                                                       << "" << 11 << kFail << kAccess;
    QTest::newRow("no room for pauses, empty destination") << kAccess << ""
                                                           << ""
                                                           << "5"
                                                           << "" << 11 << kOk << kAccess;
    QTest::newRow("access number does not fit") << kAccess << "4821"
                                                << "1"
                                                << "0" << d << 10 << kShort << "";
    QTest::newRow("access number fits exactly, destination fails") << kAccess << ""
                                                                   << ""
                                                                   << "-1"
                                                                   << "1" << 11 << kShort << kAccess;

    // Texts longer than the 256-character working buffers.
    QTest::newRow("access number of 255") << digits(255) << ""
                                          << ""
                                          << "-1"
                                          << "" << 256 << kOk << digits(255);
    QTest::newRow("access number of 256 refused") << digits(256) << ""
                                                  << ""
                                                  << "-1"
                                                  << "" << 256 << kShort << "";
    QTest::newRow("access number of 300 refused") << digits(300) << "4821"
                                                  << "1"
                                                  << "0" << d << 256 << kShort << "";
    QTest::newRow("PIN of 255 dialled") << ""
                                        << "1" + digits(254) << ""
                                        << "-1"
                                        << "" << 256 << kOk << "1" + digits(254);
    QTest::newRow("dialled PIN of 256 refused") << ""
                                                << "1" + digits(255) << ""
                                                << "-1"
                                                << "" << 256 << kShort << "";
    QTest::newRow("PIN of 300 zeros not dialled") << kAccess << repeated('0', 300) << "2"
                                                  << "0" << d << 256 << kOk << "8005550100w" + d;
}

void TestDialString::build()
{
    QFETCH(QString, access);
    QFETCH(QString, pin);
    QFETCH(QString, pausePin);
    QFETCH(QString, pauseNumber);
    QFETCH(QString, destination);
    QFETCH(int, capacity);
    QFETCH(int, status);
    QFETCH(QString, expected);

    GuardedBuffer out(capacity);
    const std::u16string dest = u16(destination);
    DialWorkingValues work;
    QCOMPARE(int(BuildDialString(
                 out.start(), std::size_t(capacity), dest.c_str(), card(access, pin, pausePin, pauseNumber), work)),
        status);
    QCOMPARE(out.text(), expected);
    QVERIFY(out.guardIntact());
}

void TestDialString::workingValues_data()
{
    QTest::addColumn<QString>("pin");
    QTest::addColumn<QString>("pausePin");
    QTest::addColumn<QString>("pauseNumber");
    QTest::addColumn<bool>("pinDialled");
    QTest::addColumn<QString>("pinInUse");
    QTest::addColumn<int>("pinCount");
    QTest::addColumn<int>("numberCount");

    QTest::newRow("PIN dialled") << "4821"
                                 << "2"
                                 << "3" << true << "4821" << 2 << 3;
    QTest::newRow("empty PIN") << ""
                               << "2"
                               << "3" << false << "" << 0 << 3;
    QTest::newRow("PIN of zeros") << "0000"
                                  << "5"
                                  << "" << false << "" << 0 << 0;
    QTest::newRow("PIN starting with #") << "#12"
                                         << "1"
                                         << "-1" << false << "" << 0 << -1;
    QTest::newRow("negative PIN, letter pause") << "-5"
                                                << "x"
                                                << "9" << true << "-5" << 0 << 9;
    QTest::newRow("leading zero, padded pauses") << "0123"
                                                 << " 4 "
                                                 << "+2" << true << "0123" << 4 << 2;
}

void TestDialString::workingValues()
{
    QFETCH(QString, pin);
    QFETCH(QString, pausePin);
    QFETCH(QString, pauseNumber);
    QFETCH(bool, pinDialled);
    QFETCH(QString, pinInUse);
    QFETCH(int, pinCount);
    QFETCH(int, numberCount);

    // Left over from an earlier composition: every value must be set afresh.
    DialWorkingValues work;
    work.pinDialled = !pinDialled;
    work.pauseBeforePinCount = 77;
    work.pauseBeforeNumberCount = 77;
    work.accessNumber.fill(u'9');
    work.pinCopy.fill(u'9');
    work.accessNumber.back() = work.pinCopy.back() = u'\0';

    char16_t out[kDialTextCch];
    QVERIFY(hr::succeeded(BuildDialString(out, kDialTextCch, u"123", card(kAccess, pin, pausePin, pauseNumber), work)));
    QCOMPARE(QString::fromUtf16(work.accessNumber.data()), kAccess);
    QCOMPARE(work.pinDialled, pinDialled);
    QCOMPARE(QString::fromUtf16(work.pinInUse()), pinInUse);
    QCOMPARE(work.pauseBeforePinCount, pinCount);
    QCOMPARE(work.pauseBeforeNumberCount, numberCount);
}

void TestDialString::compose_data()
{
    QTest::addColumn<QString>("prefix");
    QTest::addColumn<QString>("number");
    QTest::addColumn<QString>("access");
    QTest::addColumn<QString>("pin");
    QTest::addColumn<QString>("pausePin");
    QTest::addColumn<QString>("pauseNumber");
    QTest::addColumn<QString>("message"); // empty: success
    QTest::addColumn<QString>("dialString");

    QTest::newRow("worked example") << "011"
                                    << "+44(20)7946-0000" << kAccess << "4821"
                                    << "2"
                                    << "3"
                                    << ""
                                    << "8005550100pp4821ppp" + kStripped;
    QTest::newRow("zero PIN example") << "011"
                                      << "+44(20)7946-0000" << kAccess << "0"
                                      << "2"
                                      << "0"
                                      << ""
                                      << "8005550100w" + kStripped;
    QTest::newRow("555-0100 behind prefix 011") << "011"
                                                << "555-0100" << kAccess << ""
                                                << ""
                                                << "0"
                                                << ""
                                                << "8005550100w0115550100";
    QTest::newRow("prefix only") << "011"
                                 << "" << kAccess << ""
                                 << ""
                                 << "0"
                                 << ""
                                 << "8005550100w011";
    QTest::newRow("empty prefix and number") << ""
                                             << "" << kAccess << "4821"
                                             << "2"
                                             << "3"
                                             << "Please Enter the Phone Number"
                                             << "";
    QTest::newRow("separators only") << ""
                                     << "(-)" << kAccess << ""
                                     << ""
                                     << "0"
                                     << ""
                                     << "8005550100w";

    // Long destinations are dialled whole or refused, never cut.
    QTest::newRow("63 characters") << "" << digits(63) << kAccess << ""
                                   << ""
                                   << "0"
                                   << ""
                                   << "8005550100w" + digits(63);
    QTest::newRow("64 characters") << "" << digits(64) << kAccess << ""
                                   << ""
                                   << "0"
                                   << ""
                                   << "8005550100w" + digits(64);
    QTest::newRow("prefix and number 64") << "011" << digits(61) << kAccess << ""
                                          << ""
                                          << "0"
                                          << ""
                                          << "8005550100w011" + digits(61);
    QTest::newRow("long text stripping to fit") << "" << QString("1-").repeated(120) << kAccess << ""
                                                << ""
                                                << "0"
                                                << ""
                                                << "8005550100w" + repeated('1', 120);
    QTest::newRow("255 characters, empty card") << "" << digits(255) << ""
                                                << ""
                                                << ""
                                                << "-1"
                                                << "" << digits(255);
    QTest::newRow("255 characters behind access number") << "" << digits(255) << kAccess << ""
                                                         << ""
                                                         << "0"
                                                         << "BuildDialString failed"
                                                         << "";
    QTest::newRow("244 characters fill the dial string") << "" << digits(244) << kAccess << ""
                                                         << ""
                                                         << "0"
                                                         << ""
                                                         << "8005550100w" + digits(244);
    QTest::newRow("245 characters overflow it") << "" << digits(245) << kAccess << ""
                                                << ""
                                                << "0"
                                                << "BuildDialString failed"
                                                << "";
    QTest::newRow("256 characters") << "" << digits(256) << ""
                                    << ""
                                    << ""
                                    << "-1"
                                    << "StringCchLength failed"
                                    << "";
    QTest::newRow("256 separators") << "" << repeated('-', 256) << kAccess << ""
                                    << ""
                                    << "0"
                                    << "StringCchLength failed"
                                    << "";
    QTest::newRow("prefix makes 256") << "011" << digits(253) << ""
                                      << ""
                                      << ""
                                      << "-1"
                                      << "StringCchLength failed"
                                      << "";
    QTest::newRow("access number too long") << "011"
                                            << "5550100" << digits(300) << ""
                                            << ""
                                            << "0"
                                            << "BuildDialString failed"
                                            << "";
    QTest::newRow("PIN does not fit") << "011"
                                      << "5550100" << digits(200) << "1" + digits(60) << ""
                                      << "0"
                                      << "BuildDialString failed"
                                      << "";
}

void TestDialString::compose()
{
    QFETCH(QString, prefix);
    QFETCH(QString, number);
    QFETCH(QString, access);
    QFETCH(QString, pin);
    QFETCH(QString, pausePin);
    QFETCH(QString, pauseNumber);
    QFETCH(QString, message);
    QFETCH(QString, dialString);

    DialWorkingValues work;
    const ComposeResult result
        = ComposeDialString(u16(prefix), u16(number), card(access, pin, pausePin, pauseNumber), work);
    if (message.isEmpty()) {
        QCOMPARE(int(result.status), kOk);
        QVERIFY(result.failureMessage == nullptr);
    } else {
        QVERIFY(hr::failed(result.status));
        QVERIFY(result.failureMessage != nullptr);
        QCOMPARE(QString::fromLatin1(result.failureMessage), message);
    }
    QCOMPARE(QString::fromStdU16String(result.dialString), dialString);
}

QTEST_APPLESS_MAIN(TestDialString)
#include "TestDialString.moc"
