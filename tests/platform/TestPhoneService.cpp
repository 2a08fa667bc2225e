#include "PhoneMakeCall.h"
#include "PhoneService.h"
#include "PhoneServiceDialPlan.h"
#include "PhoneServiceMessages.h"

#include "ModemDouble.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDBusObjectPath>
#include <QJsonObject>
#include <QMessageBox>
#include <QTimer>
#include <QtTest>
#include <QUrl>

#include <chrono>
#include <cstddef>
#include <optional>
#include <string>

using namespace std::chrono_literals;

namespace {

using modemdouble::callPath;

std::int32_t dial(const QString& dialString, std::uint32_t cbSize = sizeof(PHONEMAKECALLINFO))
{
    const std::u16string text = dialString.toStdU16String();
    PHONEMAKECALLINFO info {};
    info.cbSize = cbSize;
    info.dwFlags = PMCF_DEFAULT;
    info.pszDestAddress = text.c_str();
    info.pszCalledParty = u"";
    return PhoneMakeCall(&info);
}

QString msg(const char* text)
{
    return QString::fromUtf8(text);
}

// Steps written compactly: "P" pause, "W:tones" wait, "T:tones" tones.
QString describe(const std::vector<phone::PostDialStep>& steps)
{
    QStringList parts;
    for (const auto& step : steps) {
        switch (step.kind) {
        case phone::PostDialStep::Kind::Pause:
            parts << QStringLiteral("P");
            break;
        case phone::PostDialStep::Kind::Wait:
            parts << QStringLiteral("W:") + step.tones;
            break;
        case phone::PostDialStep::Kind::Tones:
            parts << QStringLiteral("T:") + step.tones;
            break;
        }
    }
    return parts.join(u' ');
}

} // namespace

class TestPhoneService : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void init();
    void cleanup();

    void splitsDialString_data();
    void splitsDialString();
    void telUri_data();
    void telUri();

    void refusesInvalidRequests_data();
    void refusesInvalidRequests();
    void acceptsTheOldRecordSize();
    void playsTonesAfterActiveAndPauses();
    void asksAtWait_data();
    void asksAtWait();
    void defaultQuestionShowsTheTones();
    void callEndingStopsTheTones_data();
    void callEndingStopsTheTones();
    void heldCallKeepsTheTones();
    void refusedTonesAreReported();
    void vanishedCallStopsTheTones_data();
    void vanishedCallStopsTheTones();
    void modemRefusingTheCallFails();
    void noPhoneService_data();
    void noPhoneService();
    void telHandlerTakesTheCall_data();
    void telHandlerTakesTheCall();

private:
    void startMock(const QJsonObject& parameters = {}) { m_modem.startMock(parameters); }
    void stopMock() { m_modem.stopMock(); }
    QStringList details(const QString& event) const { return m_modem.details(event); }
    std::optional<modemdouble::Event> first(const QString& event, const QString& detail = {}) const
    {
        return m_modem.first(event, detail);
    }

    modemdouble::ModemDouble m_modem;
    QStringList m_failures;
    QStringList m_questions;
    bool m_answer = true;
    bool m_activeWhenAsked = true;
    bool m_telAvailable = false;
    bool m_telOpens = true;
    QList<QUrl> m_telOpened;
};

void TestPhoneService::initTestCase()
{
    m_modem.startBus();
}

void TestPhoneService::cleanupTestCase()
{
    m_modem.stopMock();
    m_modem.stopBus();
}

void TestPhoneService::init()
{
    m_failures.clear();
    m_questions.clear();
    m_answer = true;
    m_activeWhenAsked = true;
    m_telAvailable = false;
    m_telOpens = true;
    m_telOpened.clear();

    auto& service = phone::PhoneService::instance();
    service.setDialPauseForTesting(50ms);
    service.setFailureNotifier([this](const QString& message) { m_failures << message; });
    service.setQuestion([this](const QString& tones) {
        m_questions << tones;
        if (!first(QStringLiteral("State"), QStringLiteral("4")))
            m_activeWhenAsked = false;
        return m_answer;
    });
    service.setTelHandlerForTesting({ [this] { return m_telAvailable; },
        [this](const QUrl& url) {
            m_telOpened << url;
            return m_telOpens;
        } });
}

void TestPhoneService::cleanup()
{
    stopMock();
    QTRY_COMPARE_WITH_TIMEOUT(phone::PhoneService::instance().activeCalls(), std::size_t { 0 }, 5000);
}

void TestPhoneService::splitsDialString_data()
{
    QTest::addColumn<QString>("dialString");
    QTest::addColumn<QString>("number");
    QTest::addColumn<QString>("steps");

    QTest::newRow("pauses between runs") << "8005550100pp1234ppp011442079460000"
                                         << "8005550100"
                                         << "P P T:1234 P P P T:011442079460000";
    QTest::newRow("no post-dial") << "5550100"
                                  << "5550100"
                                  << "";
    QTest::newRow("comma pauses, wait shows its tones") << "18005550100,,9w1234#"
                                                        << "18005550100"
                                                        << "P P T:9 W:1234# T:1234#";
    QTest::newRow("wait shows tones up to the next wait") << "555w12p34w56"
                                                          << "555"
                                                          << "W:1234 T:12 P T:34 W:56 T:56";
    QTest::newRow("pause first leaves no number") << "p123"
                                                  << ""
                                                  << "P T:123";
    QTest::newRow("upper case, letters A-D") << "555PW*a9"
                                             << "555"
                                             << "P W:*A9 T:*A9";
    QTest::newRow("other characters dropped") << "555p1-2 3"
                                              << "555"
                                              << "P T:123";
    QTest::newRow("trailing pause") << "555,1p"
                                    << "555"
                                    << "P T:1 P";
}

void TestPhoneService::splitsDialString()
{
    QFETCH(QString, dialString);
    QFETCH(QString, number);
    QFETCH(QString, steps);

    const phone::DialSplit split = phone::splitDialString(dialString);
    QCOMPARE(split.number, number);
    QCOMPARE(split.number + split.postDial, dialString);
    QCOMPARE(describe(phone::postDialSteps(split.postDial)), steps);
}

void TestPhoneService::telUri_data()
{
    QTest::addColumn<QString>("dialString");
    QTest::addColumn<QString>("uri");

    QTest::newRow("plain") << "5550100"
                           << "tel:5550100";
    QTest::newRow("pauses and wait") << "8005550100pp1234w99"
                                     << "tel:8005550100,,1234;99";
    QTest::newRow("commas stay") << "800,1"
                                 << "tel:800,1";
}

void TestPhoneService::telUri()
{
    QFETCH(QString, dialString);
    QFETCH(QString, uri);
    QCOMPARE(phone::telUriFor(dialString), uri);
    QCOMPARE(QUrl(phone::telUriFor(dialString), QUrl::StrictMode).toString(), uri);
}

void TestPhoneService::refusesInvalidRequests_data()
{
    QTest::addColumn<int>("kind");
    QTest::newRow("no record") << 0;
    QTest::newRow("no address") << 1;
    QTest::newRow("cbSize too small for the address") << 2;
    QTest::newRow("empty dial string") << 3;
    QTest::newRow("longer than 255") << 4;
}

void TestPhoneService::refusesInvalidRequests()
{
    QFETCH(int, kind);
    startMock();
    QVERIFY(!QTest::currentTestFailed());
    m_telAvailable = true;

    std::int32_t status = 0;
    PHONEMAKECALLINFO info {};
    info.cbSize = sizeof info;
    info.dwFlags = PMCF_DEFAULT;
    switch (kind) {
    case 0:
        status = PhoneMakeCall(nullptr);
        break;
    case 1:
        status = PhoneMakeCall(&info);
        break;
    case 2:
        status = dial(QStringLiteral("5550100"), offsetof(PHONEMAKECALLINFO, pszDestAddress));
        break;
    case 3:
        status = dial(QString());
        break;
    case 4:
        status = dial(QString(256, u'5'));
        break;
    }
    QVERIFY(status < 0);
    QVERIFY(!PhoneLastError().isEmpty());
    QVERIFY(details(QStringLiteral("CreateCall")).isEmpty());
    QVERIFY(m_telOpened.isEmpty());
}

void TestPhoneService::acceptsTheOldRecordSize()
{
    startMock();
    QVERIFY(!QTest::currentTestFailed());
    QCOMPARE(dial(QStringLiteral("5550100"), 28), kPhoneCallPlaced);
    QCOMPARE(details(QStringLiteral("CreateCall")), QStringList { QStringLiteral("5550100") });
    QVERIFY(PhoneLastError().isEmpty());
}

void TestPhoneService::playsTonesAfterActiveAndPauses()
{
    constexpr double pause = 0.1;
    phone::PhoneService::instance().setDialPauseForTesting(100ms);
    startMock({ { QStringLiteral("active_after_ms"), 300 } });
    QVERIFY(!QTest::currentTestFailed());
    m_telAvailable = true; // a modem comes first

    QCOMPARE(dial(QStringLiteral("8005550100pp1234ppp011442079460000")), kPhoneCallPlaced);
    QVERIFY(PhoneLastError().isEmpty());
    QCOMPARE(details(QStringLiteral("CreateCall")), QStringList { QStringLiteral("8005550100") });
    QCOMPARE(details(QStringLiteral("Start")).size(), 1);
    QVERIFY(details(QStringLiteral("SendDtmf")).isEmpty());

    QTRY_COMPARE_WITH_TIMEOUT(details(QStringLiteral("SendDtmf")).size(), 2, 10000);
    QCOMPARE(details(QStringLiteral("SendDtmf")),
        (QStringList { QStringLiteral("1234"), QStringLiteral("011442079460000") }));
    QVERIFY(details(QStringLiteral("SendDtmfRefused")).isEmpty());

    const auto active = first(QStringLiteral("State"), QStringLiteral("4"));
    const auto tones1 = first(QStringLiteral("SendDtmf"), QStringLiteral("1234"));
    const auto tones2 = first(QStringLiteral("SendDtmf"), QStringLiteral("011442079460000"));
    QVERIFY(active && tones1 && tones2);
    QVERIFY2(tones1->time - active->time >= 2 * pause, qPrintable(QString::number(tones1->time - active->time)));
    QVERIFY2(tones2->time - tones1->time >= 3 * pause, qPrintable(QString::number(tones2->time - tones1->time)));
    QVERIFY(m_failures.isEmpty());
    QVERIFY(m_telOpened.isEmpty());
    QTRY_COMPARE(phone::PhoneService::instance().activeCalls(), std::size_t { 0 });
}

void TestPhoneService::asksAtWait_data()
{
    QTest::addColumn<bool>("answer");
    QTest::addColumn<QStringList>("sent");
    QTest::newRow("yes") << true << QStringList { QStringLiteral("1234"), QStringLiteral("5#") };
    QTest::newRow("no") << false << QStringList {};
}

void TestPhoneService::asksAtWait()
{
    QFETCH(bool, answer);
    QFETCH(QStringList, sent);
    m_answer = answer;
    startMock({ { QStringLiteral("active_after_ms"), 200 } });
    QVERIFY(!QTest::currentTestFailed());

    QCOMPARE(dial(QStringLiteral("5550100w1234p5#")), kPhoneCallPlaced);
    QVERIFY(m_questions.isEmpty()); // never from inside PhoneMakeCall
    QTRY_COMPARE_WITH_TIMEOUT(m_questions.size(), 1, 10000);
    QCOMPARE(m_questions.constFirst(), QStringLiteral("12345#"));
    QVERIFY(m_activeWhenAsked);
    QTRY_COMPARE_WITH_TIMEOUT(phone::PhoneService::instance().activeCalls(), std::size_t { 0 }, 10000);
    QCOMPARE(details(QStringLiteral("SendDtmf")), sent);
    QVERIFY(m_failures.isEmpty());
}

void TestPhoneService::defaultQuestionShowsTheTones()
{
    auto& service = phone::PhoneService::instance();
    service.setQuestion({});
    startMock({ { QStringLiteral("active_after_ms"), 50 } });
    QVERIFY(!QTest::currentTestFailed());

    QString shown;
    QTimer answerer;
    connect(&answerer, &QTimer::timeout, this, [&] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (!box)
            return;
        shown = box->text();
        answerer.stop();
        box->button(QMessageBox::Yes)->click();
    });
    answerer.start(20);

    QCOMPARE(dial(QStringLiteral("5550100w1234")), kPhoneCallPlaced);
    QTRY_COMPARE_WITH_TIMEOUT(details(QStringLiteral("SendDtmf")), QStringList { QStringLiteral("1234") }, 10000);
    QCOMPARE(shown, QStringLiteral("Send the following tones?\n1234"));
}

void TestPhoneService::callEndingStopsTheTones_data()
{
    QTest::addColumn<QJsonObject>("mock");
    QTest::addColumn<QString>("dialString");
    QTest::addColumn<QStringList>("failures");

    const QString ended = msg(phone::messages::kCallEndedBeforeTones);
    QTest::newRow("ends before it is answered")
        << QJsonObject { { QStringLiteral("active_after_ms"), -1 }, { QStringLiteral("end_after_ms"), 200 } }
        << "5550100p1234" << QStringList { ended };
    QTest::newRow("ends during the pauses")
        << QJsonObject { { QStringLiteral("active_after_ms"), 50 }, { QStringLiteral("end_after_ms"), 250 } }
        << "5550100pppppppp1234" << QStringList { ended };
    QTest::newRow("ends during a trailing pause, all tones sent")
        << QJsonObject { { QStringLiteral("active_after_ms"), 50 }, { QStringLiteral("end_after_ms"), 250 } }
        << "5550100pppppppp" << QStringList {};
    QTest::newRow("no tones to send") << QJsonObject { { QStringLiteral("active_after_ms"), 50 },
        { QStringLiteral("end_after_ms"), 150 } }
                                      << "5550100" << QStringList {};
}

void TestPhoneService::callEndingStopsTheTones()
{
    QFETCH(QJsonObject, mock);
    QFETCH(QString, dialString);
    QFETCH(QStringList, failures);
    startMock(mock);
    QVERIFY(!QTest::currentTestFailed());

    QCOMPARE(dial(dialString), kPhoneCallPlaced);
    QTRY_VERIFY_WITH_TIMEOUT(first(QStringLiteral("State"), QStringLiteral("7")).has_value(), 10000);
    QTRY_COMPARE_WITH_TIMEOUT(phone::PhoneService::instance().activeCalls(), std::size_t { 0 }, 5000);
    QTest::qWait(300); // nothing may follow the end
    QVERIFY(details(QStringLiteral("SendDtmf")).isEmpty());
    QVERIFY(details(QStringLiteral("SendDtmfRefused")).isEmpty());
    QCOMPARE(m_failures, failures);
}

void TestPhoneService::heldCallKeepsTheTones()
{
    phone::PhoneService::instance().setDialPauseForTesting(200ms);
    startMock({ { QStringLiteral("active_after_ms"), 50 } });
    QVERIFY(!QTest::currentTestFailed());
    const QVariant path = callPath(1);

    QCOMPARE(dial(QStringLiteral("5550100pp1234")), kPhoneCallPlaced);
    QTRY_VERIFY_WITH_TIMEOUT(first(QStringLiteral("State"), QStringLiteral("4")).has_value(), 10000);
    m_modem.control(QStringLiteral("SetCallState"), { path, 5 });
    QTest::qWait(800); // past both pauses, but the call is on hold
    QVERIFY(details(QStringLiteral("SendDtmf")).isEmpty());
    QVERIFY(details(QStringLiteral("SendDtmfRefused")).isEmpty());

    m_modem.control(QStringLiteral("SetCallState"), { path, 4 });
    QTRY_COMPARE_WITH_TIMEOUT(details(QStringLiteral("SendDtmf")), QStringList { QStringLiteral("1234") }, 5000);
    QVERIFY(details(QStringLiteral("SendDtmfRefused")).isEmpty());
    QVERIFY(m_failures.isEmpty());
}

void TestPhoneService::refusedTonesAreReported()
{
    startMock({ { QStringLiteral("active_after_ms"), 50 }, { QStringLiteral("refuse_dtmf"), true } });
    QVERIFY(!QTest::currentTestFailed());

    QCOMPARE(dial(QStringLiteral("5550100p1234p5678")), kPhoneCallPlaced);
    QTRY_COMPARE_WITH_TIMEOUT(m_failures.size(), 1, 10000);
    QVERIFY(m_failures.constFirst().startsWith(msg(phone::messages::kTonesRefused)));
    QTRY_COMPARE(phone::PhoneService::instance().activeCalls(), std::size_t { 0 });
    QTest::qWait(300);
    QCOMPARE(details(QStringLiteral("SendDtmfRefused")), QStringList { QStringLiteral("1234") });
    QCOMPARE(m_failures.size(), 1);
}

void TestPhoneService::vanishedCallStopsTheTones_data()
{
    QTest::addColumn<bool>("wholeService");
    QTest::addColumn<QString>("failure");
    QTest::newRow("call object removed") << false << msg(phone::messages::kCallEndedBeforeTones);
    QTest::newRow("ModemManager gone") << true << msg(phone::messages::kModemGone);
}

void TestPhoneService::vanishedCallStopsTheTones()
{
    QFETCH(bool, wholeService);
    QFETCH(QString, failure);
    phone::PhoneService::instance().setDialPauseForTesting(300ms);
    startMock({ { QStringLiteral("active_after_ms"), 50 } });
    QVERIFY(!QTest::currentTestFailed());

    QCOMPARE(dial(QStringLiteral("5550100pp1234")), kPhoneCallPlaced);
    QTRY_VERIFY_WITH_TIMEOUT(first(QStringLiteral("State"), QStringLiteral("4")).has_value(), 10000);
    QCOMPARE(phone::PhoneService::instance().activeCalls(), std::size_t { 1 });
    if (wholeService) {
        stopMock();
    } else {
        m_modem.control(QStringLiteral("RemoveCall"), { callPath(1) });
    }
    QTRY_COMPARE_WITH_TIMEOUT(m_failures, QStringList { failure }, 5000);
    QTRY_COMPARE(phone::PhoneService::instance().activeCalls(), std::size_t { 0 });
    if (!wholeService) {
        QTest::qWait(800); // past the pauses: no tones may go out
        QVERIFY(details(QStringLiteral("SendDtmf")).isEmpty());
        QVERIFY(details(QStringLiteral("SendDtmfRefused")).isEmpty());
    }
}

void TestPhoneService::modemRefusingTheCallFails()
{
    startMock({ { QStringLiteral("refuse_call"), true } });
    QVERIFY(!QTest::currentTestFailed());
    m_telAvailable = true;

    QVERIFY(dial(QStringLiteral("5550100p1234")) < 0);
    QVERIFY(PhoneLastError().startsWith(msg(phone::messages::kModemRefusedCall)));
    QVERIFY(details(QStringLiteral("Start")).isEmpty());
    QVERIFY(m_telOpened.isEmpty());
    QCOMPARE(phone::PhoneService::instance().activeCalls(), std::size_t { 0 });
}

void TestPhoneService::noPhoneService_data()
{
    QTest::addColumn<bool>("runModemManager");
    QTest::addColumn<QJsonObject>("mock");
    QTest::newRow("no ModemManager") << false << QJsonObject {};
    QTest::newRow("no modem") << true << QJsonObject { { QStringLiteral("no_modem"), true } };
    QTest::newRow("modem without voice") << true << QJsonObject { { QStringLiteral("no_voice"), true } };
}

void TestPhoneService::noPhoneService()
{
    QFETCH(bool, runModemManager);
    QFETCH(QJsonObject, mock);
    if (runModemManager) {
        startMock(mock);
        QVERIFY(!QTest::currentTestFailed());
    }
    QVERIFY(dial(QStringLiteral("5550100")) < 0);
    QCOMPARE(PhoneLastError(), msg(phone::messages::kNoPhoneService));
    QVERIFY(m_telOpened.isEmpty());
}

void TestPhoneService::telHandlerTakesTheCall_data()
{
    QTest::addColumn<bool>("opens");
    QTest::addColumn<int>("status");
    QTest::addColumn<QString>("error");
    QTest::newRow("handler opens") << true << int(kPhoneCallPlaced) << QString();
    QTest::newRow("handler fails") << false << int(kPhoneCallFailed) << msg(phone::messages::kTelHandlerFailed);
}

void TestPhoneService::telHandlerTakesTheCall()
{
    QFETCH(bool, opens);
    QFETCH(int, status);
    QFETCH(QString, error);
    startMock({ { QStringLiteral("no_modem"), true } });
    QVERIFY(!QTest::currentTestFailed());
    m_telAvailable = true;
    m_telOpens = opens;

    QCOMPARE(dial(QStringLiteral("8005550100pp1234w99")), status);
    QCOMPARE(PhoneLastError(), error);
    QCOMPARE(m_telOpened, QList<QUrl> { QUrl(QStringLiteral("tel:8005550100,,1234;99")) });
}

QTEST_MAIN(TestPhoneService)
#include "TestPhoneService.moc"
