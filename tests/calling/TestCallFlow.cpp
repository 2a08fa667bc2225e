#include "CardFile.h"
#include "ConfirmcallDlg.h"
#include "ContactChooser.h"
#include "DialerDlg.h"
#include "MessageBoxes.h"
#include "ModalDriver.h"
#include "ModemDouble.h"
#include "PhonecallDlg.h"
#include "PhoneService.h"
#include "PhoneServiceMessages.h"
#include "ResourceIds.h"

#include <QComboBox>
#include <QDir>
#include <QLineEdit>
#include <QMenuBar>
#include <QTemporaryDir>
#include <QTest>

#include <chrono>
#include <memory>
#include <optional>

// Calls placed the way a user places them: a home screen, Make Call, a card
// chosen with the keys, a typed number, Dial, Ok; a ModemManager double on a
// private bus records what the phone service sent.

using namespace std::chrono_literals;

namespace {

constexpr auto kPause = 100ms;

CardRecord card(const char16_t* name, std::u16string access, const char16_t* pin, const char16_t* pauseNumber,
    const char16_t* prefix, const char16_t* pausePin)
{
    return { name, std::move(access), pin, pauseNumber, prefix, pausePin };
}

// The worked example: access 8005550100, 2 pauses, PIN 1234, prefix 011, 3 pauses.
CardRecord workedExample()
{
    return card(u"Intl", u"8005550100", u"1234", u"3", u"011", u"2");
}
// No PIN, no pause before the number: the destination waits behind a `w`.
CardRecord pinLess()
{
    return card(u"Pin Less", u"8005550100", u"", u"0", u"011", u"2");
}

const QString kTyped = QStringLiteral("+44(20)7946-0000");

void writeBook(const std::vector<CardRecord>& cards)
{
    CardBook book;
    for (const CardRecord& c : cards)
        book.append(c);
    QVERIFY(CardFile::save(book, SaveMode::Replace));
}

CDialogBase* screen(QWidget* w)
{
    return qobject_cast<CDialogBase*>(w);
}

template <class W> W* control(QWidget* w, int id)
{
    return w->findChild<W*>(QStringLiteral("ctl%1").arg(id));
}

void click(QWidget* w, int id)
{
    control<QPushButton>(w, id)->click();
}

void choose(QWidget* w, const QString& name)
{
    auto* combo = control<QComboBox>(w, res::IDC_CALL_CARDLIST);
    const int index = combo->findText(name, Qt::MatchExactly);
    combo->setFocus();
    for (int guard = 0; combo->currentIndex() != index && guard < 20; ++guard)
        QTest::keyClick(combo, combo->currentIndex() < index ? Qt::Key_Down : Qt::Key_Up);
}

void typeNumber(QWidget* w, const QString& keys)
{
    auto* edit = control<QLineEdit>(w, res::IDC_CALL_NUMBER);
    edit->setFocus();
    QTest::keyClicks(edit, keys);
}

QString className(const QWidget* w)
{
    return w ? QString::fromLatin1(w->metaObject()->className()) : QString();
}

void onNextIn(QObject* scope, std::function<void(QWidget*)> action)
{
    modal::onNext(std::move(action), scope);
}

// Ends every open window, the newest first, until none is left.
void closeAll(QObject* scope)
{
    auto* timer = new QTimer(scope);
    timer->setInterval(5);
    QObject::connect(timer, &QTimer::timeout, timer, [timer] {
        QWidget* top = QApplication::activeModalWidget();
        if (!top) {
            timer->stop();
            return;
        }
        if (auto* d = qobject_cast<QDialog*>(top))
            d->reject();
    });
    timer->start();
}

struct BoxSeen {
    QString text;
    QString caption;
    QString name;
    QMessageBox::Icon icon {};
};

BoxSeen dismiss(QMessageBox* box)
{
    BoxSeen seen { box->text(), box->windowTitle(), box->objectName(), box->icon() };
    box->button(QMessageBox::Ok)->click();
    return seen;
}

struct Flow {
    QStringList confirmTexts; // contact, number, card name
    QList<BoxSeen> boxes; // shown by Ok
    QString afterOk; // the window on top once Ok is done with the user
    std::optional<BoxSeen> lateBox; // shown later, while the new home screen is up
    bool allClosed = false;
};

} // namespace

class TestCallFlow : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void cleanupTestCase();
    void init();
    void cleanup();

    void workedExampleEndToEnd();
    void pinLessWaitsForTheUser();
    void wholeDialStringReachesTelHandler_data();
    void wholeDialStringReachesTelHandler();
    void callEndsBeforeTones();
    void refusedTonesAreShown();
    void placementFailureIsShown_data();
    void placementFailureIsShown();
    void compositionFailurePlacesNoCall_data();
    void compositionFailurePlacesNoCall();
    void cancelPlacesNoCall();
    void okAfterStackedMakeCallDialsItsOwnCard();
    void pickedContactIsDialled();

private:
    Flow run(
        const QString& cardName, bool waitForLateBox = false, const std::function<void(QWidget*)>& beforeDial = {});
    QStringList details(const QString& e) const { return m_modem.details(e); }

    modemdouble::ModemDouble m_modem;
    std::unique_ptr<QTemporaryDir> m_dir;
    QStringList m_questions;
    bool m_activeWhenAsked = true;
    QList<QUrl> m_telOpened;
    bool m_telAvailable = false;
};

void TestCallFlow::initTestCase()
{
    m_modem.startBus();
}

void TestCallFlow::cleanupTestCase()
{
    m_modem.stopMock();
    m_modem.stopBus();
}

void TestCallFlow::init()
{
    setDeviceClassForTesting(DeviceClass::Other);
    m_dir = std::make_unique<QTemporaryDir>();
    qputenv("XDG_DATA_HOME", m_dir->path().toUtf8());
    m_questions.clear();
    m_activeWhenAsked = true;
    m_telOpened.clear();
    m_telAvailable = false;

    auto& service = phone::PhoneService::instance();
    service.setDialPauseForTesting(kPause);
    service.setQuestion([this](const QString& tones) {
        m_questions << tones;
        if (!m_modem.first(QStringLiteral("State"), QStringLiteral("4")))
            m_activeWhenAsked = false;
        return true;
    });
    // This machine's own tel: handler plays no part.
    service.setTelHandlerForTesting({ [this] { return m_telAvailable; },
        [this](const QUrl& url) {
            m_telOpened << url;
            return true;
        } });
}

void TestCallFlow::cleanup()
{
    QTRY_COMPARE_WITH_TIMEOUT(phone::PhoneService::instance().activeCalls(), std::size_t { 0 }, 10000);
    m_modem.stopMock();
}

Flow TestCallFlow::run(const QString& cardName, bool waitForLateBox, const std::function<void(QWidget*)>& beforeDial)
{
    Flow flow;
    QObject scope;
    // However a step goes wrong, the windows close and the test goes on to fail.
    QTimer::singleShot(20000, &scope, [&scope] { closeAll(&scope); });
    CDialerDlg home;
    modal::onNext([&](QWidget* first) {
        onNextIn(&scope, [&](QWidget* call) {
            choose(call, cardName);
            typeNumber(call, kTyped);
            if (beforeDial)
                beforeDial(call);
            onNextIn(&scope, [&](QWidget* confirm) {
                const CDialogBase* s = screen(confirm);
                flow.confirmTexts = { s->GetDlgItemText(res::IDC_CONFIRM_CONTACT),
                    s->GetDlgItemText(res::IDC_CONFIRM_NUMBER), s->GetDlgItemText(res::IDC_CONFIRM_CARDNAME) };
                onNextIn(&scope, [&](QWidget* next) {
                    if (auto* box = qobject_cast<QMessageBox*>(next)) {
                        flow.boxes << dismiss(box);
                        QTimer::singleShot(0, &scope, [&] {
                            flow.afterOk = className(QApplication::activeModalWidget());
                            closeAll(&scope);
                        });
                        return;
                    }
                    flow.afterOk = className(next);
                    if (!waitForLateBox) {
                        closeAll(&scope);
                        return;
                    }
                    onNextIn(&scope, [&](QWidget* late) {
                        if (auto* box = qobject_cast<QMessageBox*>(late))
                            flow.lateBox = dismiss(box);
                        closeAll(&scope);
                    });
                });
                click(confirm, res::IDC_CONFIRM_OK);
            });
            click(call, res::IDC_CALL_DIAL);
        });
        click(first, res::IDC_MAKECALL);
    });
    home.DoModal();
    flow.allClosed = QTest::qWaitFor([] { return QApplication::activeModalWidget() == nullptr; }, 5000);
    return flow;
}

void TestCallFlow::workedExampleEndToEnd()
{
    writeBook({ card(u"Zed", u"5551234", u"", u"1", u"", u"1"), workedExample() });
    m_modem.startMock({ { QStringLiteral("active_after_ms"), 300 } });
    QVERIFY(!QTest::currentTestFailed());

    const Flow flow = run(QStringLiteral("Intl"));
    QVERIFY(flow.allClosed);
    QCOMPARE(flow.confirmTexts, (QStringList { QString(), kTyped, QStringLiteral("Intl") }));
    QCOMPARE(flow.boxes.size(), 0);
    QCOMPARE(flow.afterOk, QStringLiteral("CDialerDlg"));

    QCOMPARE(details(QStringLiteral("CreateCall")), QStringList { QStringLiteral("8005550100") });
    QCOMPARE(details(QStringLiteral("Start")).size(), 1);
    QTRY_COMPARE_WITH_TIMEOUT(details(QStringLiteral("SendDtmf")).size(), 2, 10000);
    QCOMPARE(details(QStringLiteral("SendDtmf")),
        (QStringList { QStringLiteral("1234"), QStringLiteral("011442079460000") }));
    QVERIFY(details(QStringLiteral("SendDtmfRefused")).isEmpty());

    const auto active = m_modem.first(QStringLiteral("State"), QStringLiteral("4"));
    const auto pin = m_modem.first(QStringLiteral("SendDtmf"), QStringLiteral("1234"));
    const auto destination = m_modem.first(QStringLiteral("SendDtmf"), QStringLiteral("011442079460000"));
    QVERIFY(active && pin && destination);
    const double pause = std::chrono::duration<double>(kPause).count();
    QVERIFY2(pin->time - active->time >= 2 * pause, qPrintable(QString::number(pin->time - active->time)));
    QVERIFY2(destination->time - pin->time >= 3 * pause, qPrintable(QString::number(destination->time - pin->time)));
    QVERIFY(m_questions.isEmpty());
    QVERIFY(m_telOpened.isEmpty());
}

void TestCallFlow::pinLessWaitsForTheUser()
{
    writeBook({ pinLess() });
    m_modem.startMock({ { QStringLiteral("active_after_ms"), 200 } });
    QVERIFY(!QTest::currentTestFailed());

    const Flow flow = run(QStringLiteral("Pin Less"));
    QVERIFY(flow.allClosed);
    QCOMPARE(flow.confirmTexts, (QStringList { QString(), kTyped, QStringLiteral("Pin Less") }));
    QCOMPARE(flow.afterOk, QStringLiteral("CDialerDlg"));
    QCOMPARE(details(QStringLiteral("CreateCall")), QStringList { QStringLiteral("8005550100") });
    QTRY_COMPARE_WITH_TIMEOUT(
        details(QStringLiteral("SendDtmf")), QStringList { QStringLiteral("011442079460000") }, 10000);
    QCOMPARE(m_questions, QStringList { QStringLiteral("011442079460000") });
    QVERIFY(m_activeWhenAsked);
}

void TestCallFlow::wholeDialStringReachesTelHandler_data()
{
    QTest::addColumn<bool>("withPin");
    QTest::addColumn<QString>("uri");
    // p becomes a comma (pause), w a semicolon (wait) in a tel: URI.
    QTest::newRow("worked example") << true << "tel:8005550100,,1234,,,011442079460000";
    QTest::newRow("Pin Less") << false << "tel:8005550100;011442079460000";
}

void TestCallFlow::wholeDialStringReachesTelHandler()
{
    QFETCH(bool, withPin);
    QFETCH(QString, uri);
    const CardRecord c = withPin ? workedExample() : pinLess();
    writeBook({ c });
    m_telAvailable = true;
    const Flow flow = run(QString::fromStdU16String(c.cardName));
    QVERIFY(flow.allClosed);
    QCOMPARE(flow.boxes.size(), 0);
    QCOMPARE(flow.afterOk, QStringLiteral("CDialerDlg"));
    QCOMPARE(m_telOpened, QList<QUrl> { QUrl(uri) });
}

void TestCallFlow::callEndsBeforeTones()
{
    writeBook({ workedExample() });
    m_modem.startMock({ { QStringLiteral("active_after_ms"), -1 }, { QStringLiteral("end_after_ms"), 300 } });
    QVERIFY(!QTest::currentTestFailed());

    const Flow flow = run(QStringLiteral("Intl"), true);
    QVERIFY(flow.allClosed);
    QCOMPARE(flow.afterOk, QStringLiteral("CDialerDlg"));
    QVERIFY(flow.lateBox.has_value());
    QCOMPARE(flow.lateBox->text, QString::fromUtf8(phone::messages::kCallEndedBeforeTones));
    QCOMPARE(flow.lateBox->name, QStringLiteral("AppMessageBox"));
    QCOMPARE(flow.lateBox->caption, applicationTitle());
    QCOMPARE(flow.lateBox->icon, QMessageBox::Warning);
    QCOMPARE(details(QStringLiteral("CreateCall")), QStringList { QStringLiteral("8005550100") });
    QVERIFY(details(QStringLiteral("SendDtmf")).isEmpty());
    QVERIFY(details(QStringLiteral("SendDtmfRefused")).isEmpty());
}

void TestCallFlow::refusedTonesAreShown()
{
    writeBook({ workedExample() });
    m_modem.startMock({ { QStringLiteral("active_after_ms"), 50 }, { QStringLiteral("refuse_dtmf"), true } });
    QVERIFY(!QTest::currentTestFailed());

    const Flow flow = run(QStringLiteral("Intl"), true);
    QVERIFY(flow.allClosed);
    QCOMPARE(flow.afterOk, QStringLiteral("CDialerDlg"));
    QVERIFY(flow.lateBox.has_value());
    QVERIFY2(flow.lateBox->text.startsWith(QString::fromUtf8(phone::messages::kTonesRefused)),
        qPrintable(flow.lateBox->text));
    QCOMPARE(flow.lateBox->name, QStringLiteral("AppMessageBox"));
    QCOMPARE(details(QStringLiteral("SendDtmfRefused")), QStringList { QStringLiteral("1234") });
    QVERIFY(details(QStringLiteral("SendDtmf")).isEmpty());
}

void TestCallFlow::placementFailureIsShown_data()
{
    QTest::addColumn<bool>("runModemManager");
    QTest::addColumn<QJsonObject>("mock");
    QTest::addColumn<QString>("message");
    const QString none = QString::fromUtf8(phone::messages::kNoPhoneService);
    QTest::newRow("no ModemManager") << false << QJsonObject {} << none;
    QTest::newRow("no modem") << true << QJsonObject { { QStringLiteral("no_modem"), true } } << none;
    QTest::newRow("modem without voice") << true << QJsonObject { { QStringLiteral("no_voice"), true } } << none;
    QTest::newRow("modem refuses the call") << true << QJsonObject { { QStringLiteral("refuse_call"), true } }
                                            << QString::fromUtf8(phone::messages::kModemRefusedCall);
}

void TestCallFlow::placementFailureIsShown()
{
    QFETCH(bool, runModemManager);
    QFETCH(QJsonObject, mock);
    QFETCH(QString, message);
    writeBook({ workedExample() });
    if (runModemManager) {
        m_modem.startMock(mock);
        QVERIFY(!QTest::currentTestFailed());
    }
    const Flow flow = run(QStringLiteral("Intl"));
    QVERIFY(flow.allClosed);
    // One clear message in the standard box, and no home screen as if the
    // call had gone out: the user stays on the confirmation screen.
    QCOMPARE(flow.boxes.size(), 1);
    QVERIFY2(flow.boxes[0].text.startsWith(message), qPrintable(flow.boxes[0].text));
    QCOMPARE(flow.boxes[0].name, QStringLiteral("AppMessageBox"));
    QCOMPARE(flow.boxes[0].caption, applicationTitle());
    QCOMPARE(flow.boxes[0].icon, QMessageBox::Warning);
    QCOMPARE(flow.afterOk, QStringLiteral("CConfirmcall"));
    QVERIFY(details(QStringLiteral("CreateCall")).isEmpty());
    QVERIFY(details(QStringLiteral("Start")).isEmpty());
}

void TestCallFlow::compositionFailurePlacesNoCall_data()
{
    QTest::addColumn<int>("accessLength");
    QTest::addColumn<int>("pickedLength");
    QTest::addColumn<QString>("message");
    QTest::newRow("access number of 256") << 256 << 0 << "BuildDialString failed";
    QTest::newRow("access number of 255, no room left") << 255 << 0 << "BuildDialString failed";
    QTest::newRow("picked number of 253 behind the prefix") << 10 << 253 << "StringCchLength failed";
}

void TestCallFlow::compositionFailurePlacesNoCall()
{
    QFETCH(int, accessLength);
    QFETCH(int, pickedLength);
    QFETCH(QString, message);
    writeBook(
        { card(u"Intl", std::u16string(static_cast<std::size_t>(accessLength), u'8'), u"1234", u"3", u"011", u"2") });
    m_modem.startMock();
    QVERIFY(!QTest::currentTestFailed());
    m_telAvailable = true;

    const Flow flow = run(QStringLiteral("Intl"), false, [&](QWidget*) {
        if (pickedLength > 0)
            g_pPhonecallDlg->SetDlgItemText(res::IDC_CALL_NUMBER, QString(pickedLength, u'5'));
    });
    QVERIFY(flow.allClosed);
    QCOMPARE(flow.boxes.size(), 1);
    QCOMPARE(flow.boxes[0].text, message);
    QCOMPARE(flow.boxes[0].name, QStringLiteral("AppMessageBox"));
    QCOMPARE(flow.afterOk, QStringLiteral("CConfirmcall"));
    QVERIFY(details(QStringLiteral("CreateCall")).isEmpty());
    QVERIFY(m_telOpened.isEmpty());
}

void TestCallFlow::cancelPlacesNoCall()
{
    writeBook({ workedExample() });
    m_modem.startMock();
    QVERIFY(!QTest::currentTestFailed());
    QObject scope;
    QTimer::singleShot(20000, &scope, [&scope] { closeAll(&scope); });
    QString stacked;
    CDialerDlg home;
    modal::onNext([&](QWidget* first) {
        onNextIn(&scope, [&](QWidget* call) {
            choose(call, QStringLiteral("Intl"));
            typeNumber(call, kTyped);
            onNextIn(&scope, [&](QWidget* confirm) {
                onNextIn(&scope, [&](QWidget* next) {
                    stacked = className(next);
                    closeAll(&scope);
                });
                click(confirm, res::IDC_CONFIRM_CANCEL);
            });
            click(call, res::IDC_CALL_DIAL);
        });
        click(first, res::IDC_MAKECALL);
    });
    home.DoModal();
    QTRY_VERIFY_WITH_TIMEOUT(QApplication::activeModalWidget() == nullptr, 5000);
    QCOMPARE(stacked, QStringLiteral("CDialerDlg"));
    QTest::qWait(200);
    QVERIFY(details(QStringLiteral("CreateCall")).isEmpty());
}

void TestCallFlow::okAfterStackedMakeCallDialsItsOwnCard()
{
    // Ok, then from the new home screen another make-call screen with another
    // card, closed again; back on the first confirmation, Ok dials its own card.
    writeBook({ workedExample(), card(u"Other", u"9990000", u"", u"1", u"", u"0") });
    m_modem.startMock();
    QVERIFY(!QTest::currentTestFailed());
    QObject scope;
    QTimer::singleShot(30000, &scope, [&scope] { closeAll(&scope); });
    bool backOnFirst = false;
    QString secondHome;
    CDialerDlg home;
    modal::onNext([&](QWidget* first) {
        onNextIn(&scope, [&](QWidget* callA) {
            choose(callA, QStringLiteral("Intl"));
            typeNumber(callA, QStringLiteral("5550100"));
            onNextIn(&scope, [&, callA](QWidget* confirm) {
                onNextIn(&scope, [&, callA, confirm](QWidget* home2) {
                    onNextIn(&scope, [&, callA, confirm, home2](QWidget* callB) {
                        choose(callB, QStringLiteral("Other"));
                        typeNumber(callB, QStringLiteral("5550199"));
                        modal::close(callB);
                        QTimer::singleShot(0, &scope, [&, callA, confirm, home2] {
                            modal::close(home2);
                            QTimer::singleShot(0, &scope, [&, callA, confirm] {
                                backOnFirst = QApplication::activeModalWidget() == confirm
                                    && g_pPhonecallDlg == qobject_cast<Cphonecall*>(callA);
                                onNextIn(&scope, [&](QWidget* home3) {
                                    secondHome = className(home3);
                                    closeAll(&scope);
                                });
                                click(confirm, res::IDC_CONFIRM_OK);
                            });
                        });
                    });
                    click(home2, res::IDC_MAKECALL);
                });
                click(confirm, res::IDC_CONFIRM_OK);
            });
            click(callA, res::IDC_CALL_DIAL);
        });
        click(first, res::IDC_MAKECALL);
    });
    home.DoModal();
    QTRY_VERIFY_WITH_TIMEOUT(QApplication::activeModalWidget() == nullptr, 5000);
    QVERIFY(backOnFirst);
    QCOMPARE(secondHome, QStringLiteral("CDialerDlg"));
    QCOMPARE(details(QStringLiteral("CreateCall")),
        (QStringList { QStringLiteral("8005550100"), QStringLiteral("8005550100") }));
    QTRY_COMPARE_WITH_TIMEOUT(details(QStringLiteral("SendDtmf")).size(), 4, 10000);
    QStringList tones = details(QStringLiteral("SendDtmf"));
    tones.sort();
    QCOMPARE(tones,
        (QStringList { QStringLiteral("0115550100"), QStringLiteral("0115550100"), QStringLiteral("1234"),
            QStringLiteral("1234") }));
}

QTEST_MAIN(TestCallFlow)
void TestCallFlow::pickedContactIsDialled()
{
    // The destination comes from a contact: cleaned, behind the card's prefix.
    const QString folder = m_dir->filePath(QStringLiteral("dialer/contacts"));
    QDir().mkpath(folder);
    QFile vcf(folder + QStringLiteral("/ann.vcf"));
    QVERIFY(vcf.open(QIODevice::WriteOnly));
    vcf.write("BEGIN:VCARD\r\nVERSION:3.0\r\nFN:Ann Doe\r\nN:Doe;Ann;;;\r\n"
              "TEL;TYPE=HOME:555 0300\r\nTEL;TYPE=CELL:+1 (555) 010-0200\r\nEND:VCARD\r\n");
    vcf.close();
    writeBook({ workedExample() });
    m_modem.startMock({ { QStringLiteral("active_after_ms"), 300 } });
    QVERIFY(!QTest::currentTestFailed());

    bool chose = false;
    const Flow flow = run(QStringLiteral("Intl"), false, [&](QWidget* call) {
        modal::onNext([&](QWidget* chooser) {
            auto* search = chooser->findChild<QLineEdit*>();
            QTest::keyClicks(search, QStringLiteral("doe"));
            QTest::keyClick(search, Qt::Key_Return);
            chose = true;
        });
        for (QAction* top : call->findChild<QMenuBar*>()->actions())
            for (QAction* a : top->menu()->actions())
                a->trigger();
    });
    QVERIFY(chose);
    QVERIFY(flow.allClosed);
    QCOMPARE(flow.confirmTexts,
        (QStringList { QStringLiteral("Doe, Ann"), QStringLiteral("+15550100200"), QStringLiteral("Intl") }));
    QCOMPARE(details(QStringLiteral("CreateCall")), QStringList { QStringLiteral("8005550100") });
    QTRY_COMPARE_WITH_TIMEOUT(details(QStringLiteral("SendDtmf")).size(), 2, 10000);
    QCOMPARE(details(QStringLiteral("SendDtmf")),
        (QStringList { QStringLiteral("1234"), QStringLiteral("01115550100200") }));
}

#include "TestCallFlow.moc"
