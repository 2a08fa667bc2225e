// Renders every screen, in the state a user would see it, to PNG files, so
// the screens can be looked at without a display. Usage:
//   render_screens OUT_DIR [phone]
// "phone" renders them as on a 360 x 720 phone (the phone layout: full
// screen, grown to the width, touch-sized, with the scroll bar where there
// is one), and also the make-call screen's open card list and open menu.
#include "CallAudioDaemon.h"
#include "CallHistory.h"
#include "CallScreenDlg.h"
#include "CardFile.h"
#include "CardScreens.h"
#include "ContactChooser.h"
#include "ContactStore.h"
#include "DeletecardDlg.h"
#include "DialerDlg.h"
#include "EditcardDlg.h"
#include "MainCardDlg.h"
#include "PhonecallDlg.h"
#include "PhoneLayout.h"
#include "PhoneService.h"
#include "RecentCalls.h"
#include "ResourceIds.h"
#include "ScreenScript.h"
#include "Translations.h"

#include <QComboBox>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QMenu>
#include <QMenuBar>
#include <QPainter>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>

#include <cstdio>

namespace {

using screentest::choose;
using screentest::type;

QString g_out;
bool g_phone = false;

void save(QWidget* w, const QString& name)
{
    const QString path = QDir(g_out).filePath(name + (g_phone ? "-phone" : "") + ".png");
    if (!w->grab().save(path))
        std::fprintf(stderr, "could not write %s\n", qPrintable(path));
    else
        std::printf("%s\n", qPrintable(path));
}

// The whole display, with the pop-ups over the window.
void saveScreen(const QString& name)
{
    const QString path = QDir(g_out).filePath(name + "-phone.png");
    QImage shot(QGuiApplication::primaryScreen()->size(), QImage::Format_RGB32);
    shot.fill(Qt::black);
    QPainter painter(&shot);
    for (const bool popups : { false, true })
        for (QWidget* w : QApplication::topLevelWidgets())
            if (w->isVisible() && (w->windowType() == Qt::Popup) == popups)
                painter.drawPixmap(w->geometry().topLeft(), w->grab());
    painter.end();
    std::printf("%s\n", qPrintable(path));
    shot.save(path);
}

// Each window on top is taken in turn from the script, from inside its own loop.
screentest::Script* g_script = nullptr;

template <class Screen> void render(const QString& name, std::function<void(QWidget*)> prepare = {})
{
    screentest::Script script;
    g_script = &script;
    script.closeScreen(Screen::staticMetaObject.className(), [&](QWidget* w) {
        if (prepare)
            prepare(w);
        QTest::qWait(30);
        if (!name.isEmpty())
            save(w, name);
    });
    Screen screen;
    screen.DoModal();
}

// A modem to call through: the tests' ModemManager double (python3-dbusmock)
// on a private system bus, its call answered at once. The bus comes before
// the application object, which settles the system bus's address.
bool startBus(QProcess& bus)
{
    bus.start("dbus-daemon",
        { "--config-file=" DIALER_SOURCE_DIR "/tests/platform/phone-test-bus.conf", "--nofork", "--print-address=1" });
    if (!bus.waitForReadyRead(10000))
        return false;
    qputenv("DBUS_SYSTEM_BUS_ADDRESS", bus.readLine().trimmed());
    return true;
}

bool startModem(QProcess& modem)
{
    modem.start("/usr/bin/python3",
        { "-m", "dbusmock", "--system", "--template", DIALER_SOURCE_DIR "/tests/platform/modemmanager_template.py",
            "-p", R"({"active": 50})" });
    return QTest::qWaitFor(
        [] { return QDBusConnection::systemBus().interface()->isServiceRegistered("org.freedesktop.ModemManager1"); },
        15000);
}

// The call screen over the home screen that Ok stacked, the PIN sent and the
// pause before the number counting down; then Hang up, and the ended call.
void renderCallScreen()
{
    render<Cphonecall>(QString(), [](QWidget* w) {
        choose(w, res::IDC_CALL_CARDLIST, QStringLiteral("Europe Saver"));
        type(w, res::IDC_CALL_NUMBER, QStringLiteral("+44(20)7946-0000"));
        // Ok returns once the home screen it stacked has closed.
        g_script->closeScreen(
            "CConfirmcall", [](QWidget* confirm) { confirm->findChild<QPushButton*>("ctl1032")->click(); });
        g_script->screen("CCallScreen", [](QWidget* call) {
            auto* progress = call->findChild<QLabel*>(QStringLiteral("ctl%1").arg(res::IDC_CS_PROGRESS));
            const bool paused = QTest::qWaitFor(
                [&] {
                    return progress->text().contains(QChar(0x2022)) && call->findChild<QWidget*>("ctl1124")->isVisible()
                        && progress->text().count(u'\n') == 2;
                },
                20000);
            if (!paused)
                std::fprintf(stderr, "the call screen never reached the pause after the PIN\n");
            QTest::qWait(1100); // a second on the clock
            save(call, QStringLiteral("call-screen"));
            auto* hangUp = call->findChild<QPushButton*>(QStringLiteral("ctl%1").arg(res::IDC_CS_HANGUP));
            hangUp->click();
            // The ended call, for the moment it stays in sight.
            if (QTest::qWaitFor([&] { return !call->findChild<QWidget*>("ctl1112")->isEnabled(); }, 5000))
                save(call, QStringLiteral("call-screen-ended"));
        });
        g_script->closeScreen("CDialerDlg");
        w->findChild<QPushButton*>(QStringLiteral("ctl1028"))->click();
    });
}

// The question for an emergency number typed with a card chosen, then the
// call on the call screen, with no card.
void renderEmergencyCall()
{
    render<Cphonecall>(QString(), [](QWidget* w) {
        choose(w, res::IDC_CALL_CARDLIST, QStringLiteral("Europe Saver"));
        type(w, res::IDC_CALL_NUMBER, QStringLiteral("112"));
        g_script->box(QMessageBox::Ok, [] {
            QTest::qWait(30);
            save(QApplication::activeModalWidget(), QStringLiteral("emergency-question"));
        });
        g_script->screen("CCallScreen", [](QWidget* call) {
            // A second on the clock.
            auto* timer = call->findChild<QLabel*>(QStringLiteral("ctl%1").arg(res::IDC_CS_TIMER));
            if (!QTest::qWaitFor([&] { return timer->text() == u"0:01"; }, 20000))
                std::fprintf(stderr, "the emergency call never connected\n");
            save(call, QStringLiteral("call-screen-emergency"));
            call->findChild<QPushButton*>(QStringLiteral("ctl%1").arg(res::IDC_CS_HANGUP))->click();
        });
        g_script->closeScreen("CDialerDlg");
        w->findChild<QPushButton*>(QStringLiteral("ctl1028"))->click();
    });
}

void writeCards()
{
    CardBook book;
    book.append({ u"Europe Saver", u"8005550100", u"1234", u"3", u"011", u"2" });
    book.append({ u"Home", u"5550100", u"", u"2", u"", u"" });
    book.append({ u"World Talk", u"18885550123", u"987654", u"2", u"00", u"1" });
    CardFile::save(book, SaveMode::Replace);
}

} // namespace

int main(int argc, char* argv[])
{
    // Before anything opens a bus: callaudiod on a private session bus, so
    // that the call screen shows Speaker and Mute, and a system bus.
    CallAudioDaemon audio;
    QProcess bus, modem;
    const bool busUp = startBus(bus);
    g_phone = argc > 2 && qstrcmp(argv[2], "phone") == 0;
    if (g_phone) // the offscreen platform with one screen the size of a phone's
        qputenv("QT_QPA_PLATFORM", "offscreen:configfile=" DIALER_TEST_DATA "/phone-360x720.json");
    QApplication app(argc, argv);
    phonelayout::touchMessageBoxes();
    installTranslations(QLocale::system()); // as the program does: LANG=es_ES.UTF-8 renders Spanish
    if (argc < 2) {
        std::fprintf(stderr, "usage: render_screens OUT_DIR [phone]\n");
        return 2;
    }
    g_out = QString::fromLocal8Bit(argv[1]);
    QDir().mkpath(g_out);
    setDeviceClassForTesting(g_phone ? DeviceClass::Professional : DeviceClass::Other);
    QTemporaryDir data;
    qputenv("XDG_DATA_HOME", data.path().toUtf8());

    render<CDialerDlg>(QStringLiteral("home-no-card"), [](QWidget* home) {
        g_script->box(QMessageBox::Ok, [] {
            QTest::qWait(30);
            save(QApplication::activeModalWidget(), QStringLiteral("message-box"));
        });
        home->findChild<QPushButton*>(QStringLiteral("ctl1006"))->click();
    });
    writeCards();
    // Calls of the days before, one a favourite; the calls placed below come after them.
    const auto history = CallHistory::open();
    const QDateTime now = QDateTime::currentDateTimeUtc();
    const CallRecord calls[] = {
        { 0, now.addDays(-3), QStringLiteral("Europe Saver"), QStringLiteral("+442079460001"),
            QStringLiteral("Doe, Ann"), CallOutcome::Ended, 754, false },
        { 0, now.addDays(-1), QStringLiteral("World Talk"), QStringLiteral("+81312345678"), {},
            CallOutcome::NotAnswered, {}, false },
        { 0, now.addSecs(-60), QStringLiteral("Europe Saver"), QStringLiteral("+4930123456"),
            QStringLiteral("Weber, Jürgen"), CallOutcome::Placed, {}, false },
    };
    for (const CallRecord& c : calls)
        history->setFavourite(history->record(c).id, c.contact == u"Doe, Ann");
    render<CDialerDlg>(QStringLiteral("home"));
    render<CMainCardDlg>(QStringLiteral("add-card"), [](QWidget* w) {
        type(w, res::IDC_ADD_CARDNAME, QStringLiteral("Night Owl"));
        type(w, res::IDC_ADD_ACCESS, QStringLiteral("8005550199"));
        choose(w, res::IDC_ADD_PINOPTION, cardscreens::pinBaseText());
        type(w, res::IDC_ADD_PIN, QStringLiteral("4321"));
        type(w, res::IDC_ADD_PREFIX, QStringLiteral("011"));
        type(w, res::IDC_ADD_PAUSEPIN, QStringLiteral("2"));
        type(w, res::IDC_ADD_PAUSENUMBER, QStringLiteral("3"));
    });
    render<CEditcard>(QStringLiteral("edit-card"),
        [](QWidget* w) { choose(w, res::IDC_EDIT_CARDLIST, QStringLiteral("Europe Saver")); });
    render<CDeletecard>(QStringLiteral("delete-card-opened"));
    render<CDeletecard>(QStringLiteral("delete-card"),
        [](QWidget* w) { choose(w, res::IDC_DEL_CARDLIST, QStringLiteral("World Talk")); });
    render<Cphonecall>(QStringLiteral("make-call"), [](QWidget* w) {
        choose(w, res::IDC_CALL_CARDLIST, QStringLiteral("Europe Saver"));
        type(w, res::IDC_CALL_NUMBER, QStringLiteral("+44(20)7946-0000"));
    });
    if (g_phone) // the open list and the open menu, taken with the window they are over
        render<Cphonecall>(QString(), [](QWidget* w) {
            auto* list = w->findChild<QComboBox*>(QStringLiteral("ctl1034"));
            list->showPopup();
            QTest::qWait(300);
            saveScreen(QStringLiteral("make-call-list"));
            list->hidePopup();
            auto* bar = w->findChild<QMenuBar*>();
            bar->setActiveAction(bar->actions().front());
            QTest::qWait(300);
            saveScreen(QStringLiteral("make-call-menu"));
            bar->actions().front()->menu()->hide();
        });
    // Saved from inside: the confirmation screen, over the make-call screen.
    render<Cphonecall>(QString(), [](QWidget* w) {
        choose(w, res::IDC_CALL_CARDLIST, QStringLiteral("Europe Saver"));
        type(w, res::IDC_CALL_NUMBER, QStringLiteral("+44(20)7946-0000"));
        g_script->closeScreen("CConfirmcall", [](QWidget* confirm) {
            QTest::qWait(30);
            save(confirm, QStringLiteral("confirm-call"));
        });
        w->findChild<QPushButton*>(QStringLiteral("ctl1028"))->click();
    });

    if (busUp && startModem(modem)) {
        renderCallScreen();
        renderEmergencyCall();
    } else
        std::fprintf(stderr, "no ModemManager double: the call screen is not rendered\n");
    for (QProcess* p : { &modem, &bus }) {
        p->kill();
        p->waitForFinished();
    }

    // The contact chooser over a few real-shaped exports.
    const QString contacts = data.filePath(QStringLiteral("dialer/contacts"));
    QDir().mkpath(contacts);
    for (const QString& f : QDir(QStringLiteral(DIALER_TEST_DATA "/vcard")).entryList({ "*.vcf" }))
        QFile::copy(QStringLiteral(DIALER_TEST_DATA "/vcard/") + f, contacts + "/" + f);
    const auto store = ContactStore::open();
    CHOOSECONTACT cc {};
    cc.cbSize = sizeof cc;
    screentest::Script script;
    script.closeScreen("ContactChooser", [](QWidget* chooser) {
        QTest::qWait(30);
        save(chooser, QStringLiteral("contact-chooser"));
        QTest::keyClicks(QApplication::focusWidget(), QStringLiteral("an"));
        QTest::qWait(30);
        save(chooser, QStringLiteral("contact-chooser-search"));
    });
    ChooseContact(&cc, *store);
    script.stop();

    screentest::Script recent;
    recent.closeScreen("RecentCalls", [](QWidget* list) {
        QTest::qWait(300);
        save(list, QStringLiteral("recent-calls"));
    });
    ChooseRecentCall(nullptr);
    return 0;
}
