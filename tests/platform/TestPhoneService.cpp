#include "CallAudioDaemon.h"
#include "HomeCountry.h"
#include "ModemDouble.h"
#include "PhoneMakeCall.h"
#include "PhoneService.h"
#include "PhoneServiceMessages.h"

using namespace phone::messages;

// The phone service through PhoneMakeCall, against the ModemManager double.
class TestPhoneService : public QObject {
    Q_OBJECT
    CallAudioDaemon m_audio; // first: the session bus is read once
    ModemDouble m_modem;
    QStringList m_told; // in order: "error <PhoneLastError>", "ask <tones>", "fail <message>", "open <tel: URI>"
    bool m_answer = true;
    int m_tel = 0; // the stand-in tel: handler: 0 none, 1 opens the URI, 2 fails to

private slots:
    void initTestCase()
    {
        auto& service = phone::PhoneService::instance();
        service.setDialPauseForTesting(std::chrono::milliseconds(100));
        service.setFailureNotifier([this](const QString& message) { m_told << "fail " + message; });
        service.setQuestion([this](const QString& tones) {
            m_told << "ask " + tones + (m_modem.log().contains("State 4") ? "" : " before ACTIVE");
            return m_answer;
        });
        service.setTelHandlerForTesting([this](const QUrl& url, const auto& done) {
            m_tel ? void(m_told << "open " + url.toString()) : void();
            done(m_tel == 1 ? "" : m_tel ? kTelHandlerFailed : kNoPhoneService);
        });
    }

    void cleanup()
    {
        m_modem.stopMock();
        QTRY_COMPARE_WITH_TIMEOUT(phone::PhoneService::instance().activeCalls(), 0u, kPatienceMs);
        m_told.clear();
    }

    // The home country: DIALER_HOME_COUNTRY, else the modem's network, else the locale.
    void homeCountry_data()
    {
        QTest::addColumn<QString>("mock"); // the double's parameters; empty: no ModemManager
        QTest::addColumn<QStringList>("env"); // LC_ALL, LC_TELEPHONE, LANG, DIALER_HOME_COUNTRY
        QTest::addColumn<QString>("home");
        const QString gb = R"({"operator": [1, "23410"]})";
        const QStringList de { "", "", "de_DE.UTF-8", "" };
        QTest::newRow("LANG") << "" << QStringList { "", "", "en_GB.UTF-8", "" } << "GB";
        QTest::newRow("LC_TELEPHONE before LANG") << "" << QStringList { "", "de_AT@euro", "en_GB", "" } << "AT";
        QTest::newRow("LC_ALL before both") << "" << QStringList { "ja_JP.eucJP", "de_DE", "en_GB", "" } << "JP";
        QTest::newRow("C: none") << "" << QStringList { "", "", "C.UTF-8", "" } << "";
        QTest::newRow("no territory: none") << "" << QStringList { "", "", "es_419.UTF-8", "" } << "";
        QTest::newRow("the modem's network first") << gb << de << "GB";
        QTest::newRow("roaming") << R"({"operator": [5, "310260"]})" << de << "US";
        QTest::newRow("searching: the locale") << R"({"operator": [2, "23410"]})" << de << "DE";
        QTest::newRow("test network: the locale") << R"({"operator": [1, "00101"]})" << de << "DE";
        QTest::newRow("state unreadable: the locale") << R"({"operator": ["1", "23410"]})" << de << "DE";
        QTest::newRow("no 3GPP modem: the locale") << "{}" << de << "DE";
        QTest::newRow("the variable first") << gb << QStringList { "", "", "de_DE", " jp" } << "JP";
        QTest::newRow("the variable no country: passed over") << gb << QStringList { "", "", "de_DE", "XX" } << "GB";
    }
    void homeCountry()
    {
        QFETCH(QString, mock);
        QFETCH(QStringList, env);
        const char* names[] = { "LC_ALL", "LC_TELEPHONE", "LANG", "DIALER_HOME_COUNTRY" };
        for (int i = 0; i < 4; ++i)
            qputenv(names[i], env[i].toUtf8());
        if (!mock.isEmpty())
            m_modem.startMock(mock);
        HomeCountry::instance().refresh();
        QTRY_VERIFY_WITH_TIMEOUT(!HomeCountry::instance().reading(), kPatienceMs);
        QTEST(HomeCountry::instance().current(), "home");
        for (const char* name : names)
            qunsetenv(name);
    }

    // A call from the request to its end: what the double was sent, in order
    // and with the pauses between, and what the user was asked and told.
    void calls_data()
    {
        QTest::addColumn<QString>("mock"); // the double's parameters; empty: no ModemManager
        // a tel: handler that opens or fails, an odd request, "no" to questions, "short" timeouts (1 s),
        // "pin <from> <length>": a display record with the PIN there
        QTest::addColumn<QString>("setup");
        QTest::addColumn<QString>("dialString");
        QTest::addColumn<QString>("log"); // after CreateCall, Start, ringing; "entry >s": s seconds after the last
        QTest::addColumn<QString>("told");
        const QString error = "error ", fail = "fail ", ended = fail + kCallEndedBeforeTones, d255(255, u'5');
        const char* a50 = R"("active": 50)";
        // A hold, removal or quit comes in the double's tick that makes the call ACTIVE: before any of our pauses
        // can end, however late a loaded machine runs the double's timers.
        const QString call1 = "/org/freedesktop/ModemManager1/Call/1",
                      slow = R"("delay": {"GetManagedObjects": 4000, )";
        const QString rows[][6] = {
            { "no record", "", "tel no record", "555", "", error + kInvalidRequest },
            { "cbSize short of the address", "", "tel cbSize 15", "555", "", error + kInvalidRequest },
            { "the old 28-byte record", "", "tel cbSize 28", "555", "", "open tel:555" },
            { "empty", "", "tel", "", "", error + kNoNumber },
            { "255 characters", "", "tel", d255, "", "open tel:" + d255 },
            { "256 characters", "", "tel", d255 + "5", "", error + kInvalidRequest },
            { "no ModemManager", "", "", "555", "", error + kNoPhoneService },
            { "no modem", R"("no_modem": true)", "", "555", "", error + kNoPhoneService },
            { "modem without voice", R"("no_voice": true)", "", "555", "", error + kNoPhoneService },
            { "tel: handler", R"("no_voice": true)", "tel", "800,1Pp12a4W9w9#", "", "open tel:800,1,,12a4;9;9%23" },
            { "tel fails", R"("no_modem": true)", "tel fails", "555", "",
                "open tel:555 / " + error + kTelHandlerFailed },
            { "Start refused while dialling: a started call", R"("start_race": true, "active": 50)", "", "555p1",
                "StartRefused / State 4 / SendDtmf 1", "" },
            { "PIN never in the number", a50, "pin 3 4", "5551234p9",
                "State 4 / SendDtmf 1 / SendDtmf 2 / SendDtmf 3 / SendDtmf 4 / SendDtmf 9", "" },
            { "PIN as dots in what was not sent", R"("active": 50, "hold": [220, -1], "end": 450)", "pin 6 4",
                "555p1p2345", "State 4 / SendDtmf 1 / State 5 / State 7",
                fail + kCallEndedMidTones + "\n" + kTonesNotSent + "\u2022\u2022\u2022\u2022" },
            { "Start refused: call deleted", R"("refuse_start": true)", "", "555",
                "CreateCall 555 / StartRefused / DeleteCall /org/freedesktop/ModemManager1/Call/1",
                error + kModemRefusedCall + "\nno line" },
            { "pause first, no number", a50, "", "p123", "", error + kNoNumber },
            { "waits, yes", a50, "", "555w1-2p3aW4,",
                "State 4 / SendDtmf 1 / SendDtmf 2 / SendDtmf 3 >0.1 / SendDtmf A / SendDtmf 4", "ask 123A / ask 4" },
            { "waits, no", a50, "no", "555w1-2p3aW4,", "State 4", "ask 123A" },
            { "ends unanswered", R"("active": -1, "end": 200)", "", "555p1234", "State 7", ended },
            { "ends in a trailing pause", R"("active": 50, "end": 250)", "", "555pppppppp", "State 4 / State 7", "" },
            { "held call keeps its tones", R"("active": 50, "hold": [50, 600])", "", "555pp12",
                "State 4 / State 5 / State 4 / SendDtmf 1 / SendDtmf 2", "" },
            { "call removed", R"("active": 50, "remove": 50)", "", "555pp1234",
                "State 4 / CallDeleted /org/freedesktop/ModemManager1/Call/1", ended },
            { "ModemManager quits", R"("active": 50, "quit": 50)", "", "555pp1234", "", fail + kModemGone },
            { "lookup unanswered: not 'no modem'", R"("delay": {"GetManagedObjects": 3000})", "short", "555", "",
                error + kModemManagerSilent },
            { "Start unanswered: call deleted", R"("delay": {"Start": 3000})", "short", "555", "DeleteCall " + call1,
                error + kModemManagerSilent },
            { "4 s a step, loop turning", slow + R"("CreateCall": 4000, "Start": 4000, "Get": 4000}, "active": 50)", "",
                "555p1", "State 4 / SendDtmf 1", "" },
            { "modems as a{sv}, before tel:", R"("objects_as_map": true)", "tel", "555", "",
                error + kModemManagerUnreadable + "\nGetManagedObjects: a{sv}" },
            { "State a string: hung up", R"("state_as_string": true, "active": -1)", "", "555p1", "Hangup / State 7",
                error + kCallStateUnreadable + "\nState: s" },
            { "StateChanged uuu: hung up", R"("active": 50, "active_signature": "uuu")", "", "555p1",
                "State 4 / Hangup / State 7", fail + kCallStateUnreadable + "\nStateChanged: uuu" },
        };
        for (const auto& r : rows)
            QTest::newRow(qPrintable(r[0])) << r[1] << r[2] << r[3] << r[4] << r[5];
    }

    void calls()
    {
        QFETCH(QString, mock);
        QFETCH(QString, setup);
        QFETCH(QString, dialString);
        QFETCH(QString, log);
        if (!mock.isEmpty())
            m_modem.startMock("{" + mock + "}");
        m_tel = setup.startsWith("tel fails") ? 2 : setup.startsWith("tel");
        m_answer = setup != "no";
        const std::u16string text = dialString.toStdU16String();
        const auto size = setup.contains("cbSize") ? setup.section(' ', 2).toUInt() : sizeof(PHONEMAKECALLINFO);
        const PHONECALLDISPLAY display { u"Card", u"555", nullptr, setup.section(' ', 1, 1).toUInt(),
            setup.section(' ', 2, 2).toUInt() };
        const PHONEMAKECALLINFO info { std::uint32_t(size), PMCF_DEFAULT, text.c_str(), nullptr, u"", nullptr,
            setup.startsWith("pin") ? &display : nullptr };
        const std::chrono::milliseconds second(1000);
        phone::PhoneService::instance().setTimeoutsForTesting(
            setup == "short" ? phone::ReplyTimeouts { second, second, second } : phone::ReplyTimeouts {});
        // The event loop turns all along: a timer never misses a second.
        QElapsedTimer beat;
        qint64 longest = 0;
        QTimer ticks;
        connect(&ticks, &QTimer::timeout, [&] { longest = std::max(longest, beat.restart()); });
        beat.start();
        ticks.start(50);
        if (PhoneMakeCall(setup.contains("no record") ? nullptr : &info) < 0 || !PhoneLastError().isEmpty())
            m_told << "error " + PhoneLastError();
        // A request waited for in place would stall it for the double's 3 or 4 s; a busy machine, never so long.
        QVERIFY2(std::max(longest, beat.elapsed()) < 2500, qPrintable(QString::number(longest)));
        // Nothing is played, and nobody asked, from inside PhoneMakeCall.
        QVERIFY(m_told.filter("ask").isEmpty() && m_modem.log().filter("SendDtmf").isEmpty());
        if (!log.isEmpty() && !log.startsWith("CreateCall"))
            log = "CreateCall 555 / Start / State 1 / State 2 / " + log;
        const QString entries = QString(log).remove(QRegularExpression(" >[0-9.]+"));
        QTRY_COMPARE_WITH_TIMEOUT(m_modem.log().join(" / "), entries, kPatienceMs);
        QTRY_COMPARE_WITH_TIMEOUT(phone::PhoneService::instance().callsPlaying(), 0u, kPatienceMs);
        QTEST(m_told.join(" / "), "told");
        const QStringList expected = log.split(" / "), timed = m_modem.log(true);
        for (qsizetype i = 1; i < expected.size(); ++i) {
            const double gap = timed[i].section(u' ', 0, 0).toDouble() - timed[i - 1].section(u' ', 0, 0).toDouble();
            QVERIFY2(gap >= expected[i].section(" >", 1).toDouble(), qPrintable(expected[i]));
        }
    }
    // Audio, sleep and the end of a call follow its state, whoever ends it: callaudiod (the real daemon) gets
    // the call mode from dialling to the end, logind (python3-dbusmock's) a sleep inhibitor for as long, and
    // callEnded() says how the call ended and how long it was connected.
    void callLife_data()
    {
        QTest::addColumn<QString>("mock");
        QTest::addColumn<QString>("end"); // "hangup" here, "other" (Hangup from another client), or the double's
        QTest::addColumn<int>("how");
        QTest::addColumn<bool>("connected");
        const char* far = R"("active": 50, "end": 1200)";
        QTest::newRow("hung up here") << R"("active": 50)"
                                      << "hangup" << int(phone::CallEnd::HungUpHere) << true;
        QTest::newRow("far end") << far << "" << int(phone::CallEnd::HungUpFarEnd) << true;
        QTest::newRow("never answered") << R"("active": -1, "end": 1200)"
                                        << "" << int(phone::CallEnd::NotConnected) << false;
        QTest::newRow("removed by another application") << R"("active": 50, "remove": 1200)"
                                                        << "" << int(phone::CallEnd::HungUpElsewhere) << true;
        QTest::newRow("ModemManager gone") << R"("active": 50, "quit": 1200)"
                                           << "" << int(phone::CallEnd::HungUpElsewhere) << true;
    }
    void callLife()
    {
        QFETCH(QString, mock);
        QFETCH(QString, end);
        QProcess logind;
        endWithTest(logind);
        logind.start("/usr/bin/python3", { "-m", "dbusmock", "--system", "--template", "logind" });
        const auto inhibitors = [] {
            const QDBusMessage reply
                = QDBusConnection::systemBus().call(QDBusMessage::createMethodCall("org.freedesktop.login1",
                    "/org/freedesktop/login1", "org.freedesktop.login1.Manager", "ListInhibitors"));
            QStringList out;
            const QDBusArgument list = reply.arguments().value(0).value<QDBusArgument>();
            list.beginArray();
            while (!list.atEnd()) {
                QString what, who, why, mode;
                uint uid, pid;
                list.beginStructure();
                list >> what >> who >> why >> mode >> uid >> pid;
                list.endStructure();
                out << QStringList { what, who, why, mode }.join(u',');
            }
            list.endArray();
            return reply.type() == QDBusMessage::ReplyMessage ? out.join(u';') : reply.errorName();
        };
        QTRY_COMPARE_WITH_TIMEOUT(inhibitors(), QString(), 15000);
        m_modem.startMock("{" + mock + "}");
        m_audio.clear();
        auto& service = phone::PhoneService::instance();
        QSignalSpy ended(&service, &phone::PhoneService::callEnded);
        const PHONECALLDISPLAY display { u"Card", u"555", nullptr, 0, 0 };
        const PHONEMAKECALLINFO info { sizeof(PHONEMAKECALLINFO), PMCF_DEFAULT, u"555", nullptr, u"", nullptr,
            &display };
        QCOMPARE(PhoneMakeCall(&info), kPhoneCallPlaced);
        const quint64 id = PhoneLastCallId();
        QVERIFY(id != 0 && service.call(id));
        QTRY_COMPARE_WITH_TIMEOUT(
            inhibitors(), "sleep,test_phoneservice," + QString(kCallInProgress) + ",block", 10000);
        QTRY_COMPARE_WITH_TIMEOUT(m_audio.asked(), QStringList { "SelectMode 1" }, 10000);
        if (end == "hangup") {
            // A connected second to count.
            QTRY_VERIFY_WITH_TIMEOUT(service.call(id)->connectedFor() >= std::chrono::seconds(1), 5000);
            service.call(id)->hangUp();
        }
        QTRY_COMPARE_WITH_TIMEOUT(ended.size(), 1, 10000);
        QCOMPARE(ended[0][0].toULongLong(), id);
        QTEST(int(ended[0][1].value<phone::CallEnd>()), "how");
        const auto connected = ended[0][2].value<std::optional<std::chrono::seconds>>();
        QTEST(connected.has_value(), "connected");
        QVERIFY(!connected || connected->count() >= 1);
        QTRY_COMPARE_WITH_TIMEOUT(inhibitors(), QString(), 10000);
        QTRY_COMPARE_WITH_TIMEOUT(m_audio.asked(), (QStringList { "SelectMode 1", "SelectMode 0" }), 10000);
        logind.kill();
        logind.waitForFinished();
    }

    // With no modem, calls go to the desktop's tel: handler, found as xdg-mime
    // finds it, and never to this program under either of its ids.
    void telHandoff_data()
    {
        QTest::addColumn<QString>("handlers"); // in mimeinfo.cache: the first is the default
        QTest::addColumn<QString>("told"); // what the handler was given, or the error
        QTest::newRow("this program, by both ids: the next one")
            << "org.quorin.Dialer.desktop;dialer.desktop;other.desktop"
            << "other.desktop tel:555";
        QTest::newRow("no other") << "org.quorin.Dialer.desktop;dialer.desktop" << kNoOtherTelHandler;
    }
    void telHandoff()
    {
        QFETCH(QString, handlers);
        QTemporaryDir home;
        const QString apps = home.filePath("applications/"), log = home.filePath("log");
        auto write = [](const QString& path, const QString& text) {
            QFile f(path);
            return f.open(QIODevice::WriteOnly) && f.write(text.toUtf8()) > 0;
        };
        QVERIFY(
            QDir().mkpath(apps) && write(apps + "mimeinfo.cache", "[MIME Cache]\nx-scheme-handler/tel=" + handlers));
        for (const QString& id : handlers.split(u';')) // quoted as the Desktop Entry rules want
            QVERIFY(write(apps + id, "[Desktop Entry]\nExec=sh -c \"echo \\\\$0 \\\\$1 > " + log + "\" " + id + " %u"));
        for (const char* name : { "XDG_DATA_HOME", "XDG_CONFIG_HOME", "XDG_DATA_DIRS", "XDG_CONFIG_DIRS" })
            qputenv(name, home.path().toUtf8());
        phone::PhoneService::instance().desktopTelHandler()(
            QUrl("tel:555"), [&](const QString& error) { m_told << error; });
        QTRY_VERIFY_WITH_TIMEOUT(!m_told.isEmpty() && (!m_told[0].isEmpty() || QFileInfo(log).size() > 0), kPatienceMs);
        QFile file(log);
        QTEST(m_told[0] + (file.open(QIODevice::ReadOnly) ? file.readAll().trimmed() : ""), "told");
    }
};

QTEST_MAIN(TestPhoneService)
#include "TestPhoneService.moc"
