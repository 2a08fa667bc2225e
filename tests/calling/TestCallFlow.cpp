#include "DialerDlg.h"
#include "ModemDouble.h"
#include "PhoneService.h"
#include "PhoneServiceMessages.h"
#include "ResourceIds.h"
#include "ScreenScript.h"

using namespace screentest;

// Calls placed as a user places them: home, Make Call, a card chosen, a number
// typed, Dial, Ok. What the screens hand the phone service, and show of it.
class TestCallFlow : public QObject {
    Q_OBJECT
    ModemDouble m_modem;
    DataHome m_data;
    bool m_tel = false; // a stand-in tel: handler, used when there is no voice modem
    QStringList m_opened; // the URIs it was given
    std::function<void()> m_press; // a press while the double holds back an answer

public slots:
    // The double has a request and holds back its answer: the moment to press.
    void delaying()
    {
        if (m_press)
            std::exchange(m_press, {})();
    }

private slots:
    void initTestCase()
    {
        writeCards({ card(u"Intl", u"8005550100", u"1234", u"3", u"011", u"2"),
            card(u"Pin Less", u"8005550100", u"", u"0", u"011", u"2"),
            card(u"Long", std::u16string(254, u'8').c_str(), u"1234", u"3", u"011", u"2") });
        phone::PhoneService::instance().setTelHandlerForTesting([this](const QUrl& url, const auto& done) {
            m_tel ? void(m_opened << url.toString()) : void();
            done(m_tel ? "" : phone::messages::kNoPhoneService);
        });
        QDBusConnection::systemBus().connect({}, {}, "org.freedesktop.DBus.Mock", "Delaying", this, SLOT(delaying()));
    }

    void cleanup()
    {
        // After a failed row the call's end may still be told in a box, with nobody left to answer it.
        QTimer closer;
        connect(&closer, &QTimer::timeout, [] {
            if (QWidget* box = QApplication::activeModalWidget())
                box->close();
        });
        closer.start(100);
        m_modem.stopMock();
        QTRY_COMPARE_WITH_TIMEOUT(phone::PhoneService::instance().activeCalls(), 0u, kPatienceMs);
        m_opened.clear();
    }

    void call_data()
    {
        QTest::addColumn<QString>("card");
        // "tel:" the stand-in handler, "{...}" the double's parameters; "|Cancel" or "|Escape": pressed, after Ok
        // again, while the double holds back its answer; "mm:" or "mm-denied:" (polkit says no) the real daemon,
        // then the fake modem's arguments, with the tel: handler there too
        QTest::addColumn<QString>("service");
        // the windows after Ok, then what the tel: handler or modem got; "~s": about s seconds after the one before
        QTest::addColumn<QStringList>("then");
        const QString box = "box:", home = "screen:CDialerDlg", call = "CreateCall 8005550100", atd = "ATD8005550100;";
        QStringList pin { "AT+VTS=1 ~6", "AT+VTS=2", "AT+VTS=3", "AT+VTS=4" }, destination { "AT+VTS=0 ~9" };
        for (const QChar tone : QString("11442079460000"))
            destination << QString("AT+VTS=") + tone;
        struct Row {
            const char *tag, *card, *service;
            QStringList then;
        };
        const QList<Row> rows = {
            { "Ok dials", "Intl", "tel:", { home, "tel:8005550100,,1234,,,011442079460000" } },
            { "no phone service: told, stays", "Intl", "", { box + phone::messages::kNoPhoneService } },
            { "composition fails: told, stays", "Long", "tel:", { "box:BuildDialString failed" } },
            { "Cancel before the call is created: home, deleted", "Intl", R"({"delay": {"CreateCall": 2000}}|Cancel)",
                { home, call, "DeleteCall /org/freedesktop/ModemManager1/Call/1" } },
            { "Escape while it starts: home, deleted", "Intl", R"({"delay": {"Start": 2000}}|Escape)",
                { home, call, "DeleteCall /org/freedesktop/ModemManager1/Call/1" } },
        };
        const QList<Row> real = {
            { "worked example", "Intl", "mm:0 -1", QStringList { home, atd, "ACTIVE" } + pin + destination },
            { "Pin Less: asked before any tone", "Pin Less", "mm:0 -1",
                QStringList { home, box + phone::messages::kSendTonesQuestion + "\n011442079460000", atd, "ACTIVE" }
                    + QStringList(destination).replaceInStrings(" ~9", "") },
            { "far end gone before the tones", "Intl", "mm:0 3",
                { home, box + phone::messages::kCallEndedBeforeTones, atd, "ACTIVE", "NO CARRIER" } },
            { "polkit says no", "Intl", "mm-denied:0 -1",
                { box + phone::messages::kNotAllowedToCall + "PolicyKit authorization failed: not authorized for '"
                    + "org.freedesktop.ModemManager1.Voice'" } },
            { "a tone refused: the rest named", "Intl", "mm:0 -1 3",
                { home, box + phone::messages::kTonesRefused + "\nUnknown error\nNot sent: 34 011442079460000", atd,
                    "ACTIVE", pin[0], pin[1], pin[2] } },
        };
        for (const auto& r : ModemDouble::real() ? real : rows)
            QTest::newRow(r.tag) << r.card << r.service << r.then;
    }

    void call()
    {
        QFETCH(QString, service);
        QFETCH(QStringList, then);
        const QString press = service.section('|', 1);
        service = service.section('|', 0, 0);
        m_tel = service == "tel:" || service.startsWith("mm");
        if (service.startsWith('{'))
            m_modem.startMock(service);
        else if (service.startsWith("mm"))
            m_modem.startReal(service.section(':', 1).split(' '), !service.startsWith("mm-denied"));
        QVERIFY(!QTest::currentTestFailed());
        Script s;
        QFETCH(QString, card);
        s.closeScreen("CDialerDlg", [](QWidget* home) { click(home, res::IDC_MAKECALL); })
            .closeScreen("Cphonecall",
                [&](QWidget* call) {
                    QVERIFY(choose(call, res::IDC_CALL_CARDLIST, card));
                    type(call, res::IDC_CALL_NUMBER, "+44(20)7946-0000");
                    click(call, res::IDC_CALL_DIAL);
                })
            .closeScreen("CConfirmcall", [this, press](QWidget* confirm) {
                if (!press.isEmpty())
                    m_press = [confirm, press] {
                        click(confirm, res::IDC_CONFIRM_OK);
                        press == "Escape" ? QTest::keyClick(confirm, Qt::Key_Escape)
                                          : click(confirm, res::IDC_CONFIRM_CANCEL);
                    };
                click(confirm, res::IDC_CONFIRM_OK);
            });
        QStringList boxNames;
        for (const QString& e : then) {
            if (e == "screen:CDialerDlg") // up while the boxes that follow come and go
                s.closeScreen(
                    "CDialerDlg", [&s](QWidget*) { (void)QTest::qWaitFor([&] { return s.finished(); }, kPatienceMs); });
            else if (e.startsWith("box:")) {
                const bool question = e.contains(phone::messages::kSendTonesQuestion);
                s.box(question ? QMessageBox::Yes : QMessageBox::Ok, [&, question] {
                    boxNames << QApplication::activeModalWidget()->objectName();
                    // Asked before any tone goes out.
                    QVERIFY(!question || m_modem.log().filter(QRegularExpression("SendDtmf|VTS")).isEmpty());
                });
            }
        }
        CDialerDlg home;
        home.DoModal();
        QVERIFY2(s.errors().isEmpty() && s.finished(), qPrintable(s.report()));
        // Failures are told in the application's own box.
        QCOMPARE(boxNames.count("AppMessageBox"), then.filter(QRegularExpression("^box:(?!Send)")).size());
        const QStringList entries = QStringList(then).replaceInStrings(QRegularExpression(" ~\\d+$"), QString());
        QTRY_COMPARE_WITH_TIMEOUT(
            (s.log().mid(3) + m_opened
                + m_modem.log().filter(QRegularExpression("^(CreateCall|SendDtmf|DeleteCall|A|NO)")))
                .join(" | "),
            entries.join(" | "), kPatienceMs);
        const QStringList timed = m_modem.log(true), expected = then.mid(then.size() - timed.size());
        for (qsizetype i = 1; ModemDouble::real() && i < timed.size(); ++i) {
            const double gap = timed[i].section(' ', 0, 0).toDouble() - timed[i - 1].section(' ', 0, 0).toDouble(),
                         about = expected[i].section('~', 1).toDouble();
            // The pause itself, not a speed: never short, and never so long that it was counted twice,
            // with room for a loaded machine under the sanitizers.
            QVERIFY2(about == 0 || (gap > about - 0.1 && gap < about * 1.9), qPrintable(expected[i]));
        }
    }
};

QTEST_MAIN(TestCallFlow)
#include "TestCallFlow.moc"
