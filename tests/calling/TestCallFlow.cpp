#include "CallAudioDaemon.h"
#include "CallHistory.h"
#include "CallScreenDlg.h"
#include "DialerDlg.h"
#include "ModemDouble.h"
#include "PhonecallDlg.h"
#include "PhoneService.h"
#include "PhoneServiceMessages.h"
#include "ResourceIds.h"
#include "ScreenScript.h"

#include <QLabel>
#include <QListView>

using namespace screentest;

// Calls placed as a user places them: home, Make Call, a card chosen, a number
// typed, Dial, Ok. What the screens hand the phone service, and show of it.
class TestCallFlow : public QObject {
    Q_OBJECT
    CallAudioDaemon m_audio; // first: the session bus is read once
    ModemDouble m_modem;
    QProcess m_display, m_gnomeCalls; // Xvfb, and GNOME Calls' daemon in it
    DataHome m_data;
    bool m_tel = false; // a stand-in tel: handler, used when there is no voice modem
    QStringList m_opened; // the URIs it was given
    bool m_pin = false; // the card dials a PIN
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
        for (QProcess* p : { &m_gnomeCalls, &m_display }) {
            p->kill();
            p->waitForFinished();
        }
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
        QVERIFY(history::waitForIdle(kPatienceMs));
        const QString history = m_data.dir.filePath("dialer/history.sqlite");
        for (const char* suffix : { "", "-wal", "-shm" })
            QFile::remove(history + suffix);
        QDir(history).removeRecursively();
    }

    void call_data()
    {
        QTest::addColumn<QString>("card");
        // "tel:" the stand-in handler, "{...}" the double's parameters; "|Cancel" or "|Escape": pressed, after Ok
        // again, while the double holds back its answer; "mm:" or "mm-denied:" (polkit says no) the real daemon,
        // then the fake modem's arguments, with the tel: handler there too; "mm-gnome-calls:" with GNOME Calls'
        // daemon beside it
        QTest::addColumn<QString>("service");
        // the windows after Ok, then what the tel: handler or modem got; "~s": about s seconds after the one before;
        // "call:a,b": the call screen, where the steps a, b are played (see onCallScreen); "exit:" a home screen
        // over it where Exit is pressed; "box!": a box answered Cancel
        QTest::addColumn<QStringList>("then");
        QTest::addColumn<QString>("number");
        const QString box = "box:", home = "screen:CDialerDlg", call = "CreateCall 8005550100", atd = "ATD8005550100;",
                      hangup = "AT+CHLD=11", notSent = phone::messages::kTonesNotSent;
        QStringList pin { "AT+VTS=1 ~6", "AT+VTS=2", "AT+VTS=3", "AT+VTS=4" }, destination { "AT+VTS=0 ~9" };
        for (const QChar tone : QString("11442079460000"))
            destination << QString("AT+VTS=") + tone;
        struct Row {
            const char *tag, *card, *service;
            QStringList then;
            const char* number = "+44(20)7946-0000"; // typed
        };
        const auto emergency = [](const char* n) {
            return QString("box:%1 is an emergency number: it is called directly, not through the card.").arg(n);
        };
        const QList<Row> rows = {
            { "Ok dials", "Intl", "tel:", { home, "tel:8005550100,,1234,,,011442079460000" } },
            { "no phone service: told, stays", "Intl", "", { box + phone::messages::kNoPhoneService } },
            { "composition fails: told, stays", "Long", "tel:", { "box:BuildDialString failed" } },
            { "Cancel before the call is created: home, deleted", "Intl", R"({"delay": {"CreateCall": 2000}}|Cancel)",
                { home, call, "DeleteCall /org/freedesktop/ModemManager1/Call/1" } },
            { "Escape while it starts: home, deleted", "Intl", R"({"delay": {"Start": 2000}}|Escape)",
                { home, call, "DeleteCall /org/freedesktop/ModemManager1/Call/1" } },
            { "emergency: the number alone, no card", "", "{}",
                { emergency("9-1-1"), "call:says Emergency call,says 9-1-1,says Connected,hangup", home,
                    "CreateCall 911" },
                "9-1-1" },
            { "emergency, no modem: tel: handler", "Intl", "tel:", { emergency("9-1-1"), home, "tel:911" }, "9-1-1" },
            { "history not written: the call goes, told", "Intl", "tel:|unwritable",
                { "box:The call was placed, but not saved in Recent Calls: unable to open database file", home,
                    "tel:8005550100,,1234,,,011442079460000" } },
        };
        const QString pinDots = "\u2022\u2022\u2022\u2022", endedMid = phone::messages::kCallEndedMidTones;
        const QList<Row> real = {
            { "worked example", "Intl", "mm:0 -1",
                QStringList { "call:tones,audio,hangup,says You hung up.", home, atd, "ACTIVE" } + pin + destination
                    + QStringList { hangup } },
            { "Pin Less: asked before any tone", "Pin Less", "mm:0 -1",
                QStringList { "call:send 011442079460000,tones,hangup", home, atd, "ACTIVE" }
                    + QStringList(destination).replaceInStrings(" ~9", "") + QStringList { hangup } },
            { "far end gone before the tones", "Intl", "mm:0 3",
                { "call:says The other side hung up.", box + phone::messages::kCallEndedBeforeTones, home, atd,
                    "ACTIVE", "NO CARRIER" } },
            { "far end gone mid-sequence: no tone after", "Intl", "mm:0 12",
                QStringList { "call:says The other side hung up.", box + endedMid + "\n" + notSent + "011442079460000",
                    home, atd, "ACTIVE" }
                    + pin + QStringList { "NO CARRIER" } },
            { "another program hangs up", "Intl", "mm:0 -1",
                QStringList { "call:pin,other,says Ended outside this program.",
                    box + endedMid + "\n" + notSent + "011442079460000", home, atd, "ACTIVE" }
                    + pin + QStringList { hangup } },
            { "keypad tones after the sequence's, Escape hangs up", "Intl", "mm:0 -1",
                QStringList { "call:keys 5#,tones,escape", box + "Hang up the call?", home, atd, "ACTIVE" } + pin
                    + destination + QStringList { "AT+VTS=5", "AT+VTS=#", hangup } },
            { "Exit with a call up asks to hang up first", "Intl", "mm:0 -1",
                QStringList { "call:tones,exit,hangup",
                    "exit:", box + "Are you sure you want to exit Application, Press OK to Quit",
                    "box!A call is in progress. Hang up and quit?", home, atd, "ACTIVE" }
                    + pin + destination + QStringList { hangup } },
            { "GNOME Calls beside it: it starts the call, every tone goes", "Intl", "mm-gnome-calls:0 -1",
                QStringList { "call:tones,hangup,deleted", home, atd, "ACTIVE" } + pin + destination
                    + QStringList { hangup } },
            { "polkit says no", "Intl", "mm-denied:0 -1",
                { box + phone::messages::kNotAllowedToCall + "PolicyKit authorization failed: not authorized for '"
                    + "org.freedesktop.ModemManager1.Voice'" } },
            { "a tone refused: the rest named, PIN as dots", "Intl", "mm:0 -1 3",
                { "call:refused,hangup",
                    box + phone::messages::kTonesRefused + "\nUnknown error\n" + notSent + pinDots.left(2)
                        + " 011442079460000",
                    home, atd, "ACTIVE", pin[0], pin[1], pin[2], hangup } },
            { "emergency: never through the card", "Intl", "mm:0 -1",
                { emergency("911"), "call:says Emergency call,says Connected,hangup", home, "ATD911;", "ACTIVE",
                    hangup },
                "911" },
        };
        for (const auto& r : ModemDouble::real() ? real : rows)
            QTest::newRow(r.tag) << r.card << r.service << r.then << QString(r.number);
    }

    void call()
    {
        QFETCH(QString, service);
        QFETCH(QStringList, then);
        QFETCH(QString, number);
        const QString press = service.section('|', 1);
        // An emergency number has no confirmation screen.
        const bool direct = then[0].contains("emergency");
        // The history's file cannot be made: a folder stands in its way.
        if (press == "unwritable")
            QDir().mkpath(m_data.dir.filePath("dialer/history.sqlite"));
        service = service.section('|', 0, 0);
        m_tel = service == "tel:" || service.startsWith("mm");
        if (service.startsWith('{'))
            m_modem.startMock(service);
        else if (service.startsWith("mm"))
            m_modem.startReal(service.section(':', 1).split(' '), !service.startsWith("mm-denied"));
        if (service.startsWith("mm-gnome-calls"))
            startGnomeCalls();
        QVERIFY(!QTest::currentTestFailed());
        Script s;
        QFETCH(QString, card);
        m_pin = card != "Pin Less";
        s.closeScreen("CDialerDlg", [](QWidget* home) {
             click(home, res::IDC_MAKECALL);
         }).closeScreen("Cphonecall", [&](QWidget* call) {
            QVERIFY(card.isEmpty() || choose(call, res::IDC_CALL_CARDLIST, card));
            type(call, res::IDC_CALL_NUMBER, number);
            click(call, res::IDC_CALL_DIAL);
        });
        if (!direct)
            s.closeScreen("CConfirmcall", [this, press](QWidget* confirm) {
                if (press == "Cancel" || press == "Escape")
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
            else if (e.startsWith("call:")) // the call screen, over the home screen, closes itself
                s.screen("CCallScreen", [this, steps = e.mid(5)](QWidget* w) { onCallScreen(w, steps); });
            else if (e == "exit:") // a home screen over the call screen, where Exit is pressed
                s.screen("CDialerDlg", [](QWidget* home) {
                    click(home, res::IDC_EXIT);
                    static_cast<QDialog*>(home)->reject();
                });
            else if (e.startsWith("box")) // "box!": answered Cancel
                s.box(e.startsWith("box!") ? QMessageBox::Cancel : QMessageBox::Ok,
                    [&] { boxNames << QApplication::activeModalWidget()->objectName(); });
        }
        CDialerDlg home;
        home.DoModal();
        QVERIFY2(s.errors().isEmpty() && s.finished(), qPrintable(s.report()));
        // Failures are told in the application's own box.
        QCOMPARE(boxNames.count("AppMessageBox"),
            then.filter(QRegularExpression("^box:(?!Hang up|Are you|A call|[-\\d]+ is an emer)")).size());
        const QStringList entries = QStringList(then)
                                        .replaceInStrings(QRegularExpression(" ~\\d+$"), QString())
                                        .replaceInStrings(QRegularExpression("^call:.*"), "screen:CCallScreen")
                                        .replaceInStrings(QRegularExpression("^exit:$"), "screen:CDialerDlg")
                                        .replaceInStrings(QRegularExpression("^box!"), "box:");
        QTRY_COMPARE_WITH_TIMEOUT(
            (s.log().mid(direct ? 2 : 3) + m_opened
                + m_modem.log().filter(QRegularExpression("^(CreateCall|SendDtmf|DeleteCall|A|NO)")))
                .join(" | "),
            entries.join(" | "), kPatienceMs);
        // An emergency call is kept with no card, as typed.
        const auto kept = history::runAndWait([](CallHistory& h) { return h.recent(); }).calls;
        QVERIFY(!direct || (!kept.empty() && kept[0].card.isEmpty() && kept[0].number == number));
        const QStringList timed = m_modem.log(true), expected = then.mid(then.size() - timed.size());
        for (qsizetype i = 1; ModemDouble::real() && i < timed.size(); ++i) {
            const double gap = timed[i].section(' ', 0, 0).toDouble() - timed[i - 1].section(' ', 0, 0).toDouble(),
                         about = expected[i].section('~', 1).toDouble();
            // The pause itself, not a speed: never short, and never so long that it was counted twice,
            // with room for a loaded machine under the sanitizers.
            QVERIFY2(about == 0 || (gap > about - 0.1 && gap < about * 1.9), qPrintable(expected[i]));
        }
    }

    // The worked example, then Phonebook > Recent Calls on a new make-call screen: the row names the card and
    // how the call ended, and choosing it fills the card, when the book still has it, and the number. The
    // history never holds the PIN.
    void recentCalls_data()
    {
        QTest::addColumn<QString>("service"); // "tel:", or the double's parameters
        QTest::addColumn<bool>("cardKept");
        QTest::addColumn<QString>("outcome"); // "Ended, ": the length the phone service told follows
        QTest::newRow("card still there, handed to tel:") << "tel:" << true << "Placed";
        QTest::newRow("hung up after a second: its length") << "{}" << true << "Ended, ";
        QTest::newRow("never answered, card gone: the list stays")
            << R"({"active": -1, "end": 300})" << false << "No answer";
    }
    void recentCalls()
    {
        QFETCH(QString, service);
        QFETCH(bool, cardKept);
        QFETCH(QString, outcome);
        const CardRecord worked = card(u"Worked", u"8005550100", u"9731", u"3", u"011", u"2");
        writeCards({ worked, card(u"Other") });
        m_tel = service == "tel:";
        if (!m_tel)
            m_modem.startMock(service);
        QSignalSpy ended(&phone::PhoneService::instance(), &phone::PhoneService::callEnded);
        Script s;
        s.closeScreen("Cphonecall", [](QWidget* call) {
             QVERIFY(choose(call, res::IDC_CALL_CARDLIST, "Worked"));
             type(call, res::IDC_CALL_NUMBER, "442079460000");
             click(call, res::IDC_CALL_DIAL);
         }).closeScreen("CConfirmcall", [](QWidget* confirm) { click(confirm, res::IDC_CONFIRM_OK); });
        if (outcome == "Ended, ")
            s.screen("CCallScreen", [](QWidget* call) {
                QTRY_VERIFY_WITH_TIMEOUT(ctl<QLabel>(call, res::IDC_CS_TIMER)->text() >= "0:01", kPatienceMs);
                click(call, res::IDC_CS_HANGUP);
            });
        else if (!m_tel) // the call screen closes itself, once the end of the call is told
            s.screen("CCallScreen", [](QWidget*) {}).box(QMessageBox::Ok);
        s.closeScreen("CDialerDlg");
        Cphonecall placing;
        QVERIFY2(s.run(placing), qPrintable(s.report()));
        s.stop();
        QTRY_COMPARE_WITH_TIMEOUT(ended.size(), 1, kPatienceMs);
        if (outcome == "Ended, ")
            outcome += callDuration(ended[0][2].value<std::optional<std::chrono::seconds>>().value());
        QVERIFY(history::waitForIdle(kPatienceMs));
        QByteArray kept;
        for (const char* suffix : { "", "-wal" }) {
            QFile file(m_data.dir.filePath(QString("dialer/history.sqlite") + suffix));
            kept += file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
        }
        QVERIFY(kept.contains("442079460000") && !kept.contains("9731"));
        if (!cardKept)
            writeCards({ card(u"Other") });

        QStringList row;
        Script recent;
        recent
            .closeScreen("Cphonecall",
                [](QWidget*) { QTest::keySequence(QApplication::focusWidget(), QKeySequence(Qt::CTRL | Qt::Key_R)); })
            .screen("RecentCalls", [&row](QWidget* list) {
                auto* view = list->findChild<QListView*>("calls");
                QTRY_COMPARE(view->model()->rowCount(), 1);
                const QModelIndex first = view->model()->index(0, 0);
                row << first.data().toString() << first.data(Qt::AccessibleTextRole).toString();
                QTest::keyClick(view, Qt::Key_Return);
            });
        Cphonecall call;
        QString filled;
        QObject::connect(&call, &QDialog::finished,
            [&] { filled = text(&call, res::IDC_CALL_CARDNAME) + "|" + text(&call, res::IDC_CALL_NUMBER); });
        QVERIFY2(recent.run(call), qPrintable(recent.report()));
        QCOMPARE(row.value(0), "442079460000");
        QVERIFY2(row.value(1).contains(
                     QRegularExpression("^442079460000, Worked, .+, " + QRegularExpression::escape(outcome) + "$")),
            qPrintable(row.value(1)));
        QCOMPARE(filled, (cardKept ? "Worked|" : "|") + QString("442079460000"));
        m_tel = false;
    }

private:
    static QList<QDBusObjectPath> voiceCalls()
    {
        const QString mm = "org.freedesktop.ModemManager1";
        QDBusMessage calls = QDBusMessage::createMethodCall(
            mm, "/org/freedesktop/ModemManager1/Modem/0", "org.freedesktop.DBus.Properties", "Get");
        calls << mm + ".Modem.Voice"
              << "Calls";
        return qdbus_cast<QList<QDBusObjectPath>>(
            QDBusConnection::systemBus().call(calls).arguments().value(0).value<QDBusVariant>().variant());
    }

    // GNOME Calls' daemon on the test's buses, in an Xvfb of its own, once it has taken up the modem.
    void startGnomeCalls()
    {
        endWithTest(m_display);
        endWithTest(m_gnomeCalls);
        m_display.start("Xvfb", { "-displayfd", "1", "-nolisten", "tcp", "-screen", "0", "720x720x24" });
        QVERIFY2(m_display.waitForReadyRead(15000), "no Xvfb: is xvfb installed?");
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("DISPLAY", ":" + m_display.readLine().trimmed());
        env.insert("GDK_BACKEND", "x11");
        env.insert("G_MESSAGES_DEBUG", "all");
        env.remove("QT_QPA_PLATFORM");
        m_gnomeCalls.setProcessEnvironment(env);
        m_gnomeCalls.setProcessChannelMode(QProcess::MergedChannels);
        m_gnomeCalls.start("gnome-calls", { "--daemon", "--verbose" });
        QString said;
        const bool ready = QTest::qWaitFor(
            [&] {
                said += QString::fromUtf8(m_gnomeCalls.readAll());
                return said.contains("Modem/0") || m_gnomeCalls.state() == QProcess::NotRunning;
            },
            30000);
        QVERIFY2(ready && m_gnomeCalls.state() == QProcess::Running, qPrintable(said.right(3000)));
    }

    // The call screen's steps: "exit" (a home screen over it), "tones" (the screen says all went out, and the keypad's)
    // or "pin" (the PIN's 4), "send <tones>" (the wait's button), "keys <keys>" (pressed on the keypad), "hangup",
    // "escape" (then OK to the question), "other" (a Hangup from another program), "refused" (the refused tone's box
    // has been answered), "says <text>" (the ended screen says it). Whatever it shows, no label shows the PIN.
    void onCallScreen(QWidget* screen, const QString& steps)
    {
        auto vts = [this] { return m_modem.log().filter("AT+VTS").size(); };
        auto shown = [screen] {
            QStringList texts;
            for (const QWidget* w : screen->findChildren<QWidget*>())
                if (w->isVisible())
                    texts << w->property("text").toString() << w->accessibleName();
            return texts.join(u'|');
        };
        const QDBusConnection system = QDBusConnection::systemBus();
        for (const QString& step : steps.split(u',')) {
            const QString arg = step.section(u' ', 1);
            if (step == "tones") // and the keypad's after them
                QTRY_VERIFY_WITH_TIMEOUT(shown().contains("All tones sent") && !shown().contains("Keypad"), 60000);
            if (step == "pin")
                QTRY_VERIFY_WITH_TIMEOUT(vts() >= 4, 60000);
            if (step == "pin") // the pause before the number has begun
                QTRY_VERIFY_WITH_TIMEOUT(shown().contains("Pause: "), 5000);
            if (step.startsWith("send ")) {
                QTRY_VERIFY_WITH_TIMEOUT(ctl(screen, res::IDC_CS_SEND)->isVisible(), 30000);
                QCOMPARE(ctl<QPushButton>(screen, res::IDC_CS_SEND)->text(), "Send " + arg);
                QCOMPARE(vts(), 0);
                click(screen, res::IDC_CS_SEND);
            } else if (step.startsWith("keys ")) {
                for (const QChar key : arg)
                    ctl<QPushButton>(screen, res::IDC_CS_KEY_FIRST + int(QString("123456789*0#").indexOf(key)))
                        ->click();
            } else if (step == "audio") { // callaudiod answers, so Speaker and Mute are there
                QTRY_VERIFY_WITH_TIMEOUT(ctl(screen, res::IDC_CS_SPEAKER)->isVisible(), 10000);
                click(screen, res::IDC_CS_SPEAKER);
                click(screen, res::IDC_CS_MUTE);
                QTRY_VERIFY_WITH_TIMEOUT(
                    m_audio.asked().contains("EnableSpeaker true") && m_audio.asked().contains("MuteMic true"), 10000);
            } else if (step == "deleted") {
                // GNOME Calls took the call up while it was UNKNOWN, which is when it calls Start (whichever
                // Start ModemManager took first), and removes the call it saw end.
                const QString said = QString::fromUtf8(m_gnomeCalls.readAll());
                QVERIFY2(said.contains("New outgoing call (/org/freedesktop/ModemManager1/Call/"), qPrintable(said));
                QTRY_VERIFY_WITH_TIMEOUT(voiceCalls().isEmpty(), 20000);
            } else if (step == "exit") {
                ShowHomeScreen();
            } else if (step == "hangup") {
                click(screen, res::IDC_CS_HANGUP);
            } else if (step == "escape") {
                QTest::keyClick(screen, Qt::Key_Escape);
            } else if (step == "other") {
                const QString mm = "org.freedesktop.ModemManager1";
                QDBusMessage calls = QDBusMessage::createMethodCall(
                    mm, "/org/freedesktop/ModemManager1/Modem/0", "org.freedesktop.DBus.Properties", "Get");
                calls << mm + ".Modem.Voice"
                      << "Calls";
                const auto paths = qdbus_cast<QList<QDBusObjectPath>>(
                    system.call(calls).arguments().value(0).value<QDBusVariant>().variant());
                QCOMPARE(paths.size(), 1);
                const QDBusMessage reply
                    = system.call(QDBusMessage::createMethodCall(mm, paths[0].path(), mm + ".Call", "Hangup"));
                QVERIFY2(reply.type() == QDBusMessage::ReplyMessage, qPrintable(reply.errorMessage()));
            } else if (step == "refused") {
                QTRY_VERIFY_WITH_TIMEOUT(shown().contains("Not sent: \u2022\u2022"), 30000);
            } else if (step.startsWith("says ")) {
                QTRY_VERIFY_WITH_TIMEOUT(shown().contains(arg), 30000);
            }
            QVERIFY2(!shown().contains("1234") && (vts() < 4 || !m_pin || shown().contains("\u2022\u2022\u2022\u2022")),
                qPrintable(shown()));
        }
    }
};

QTEST_MAIN(TestCallFlow)
#include "TestCallFlow.moc"
