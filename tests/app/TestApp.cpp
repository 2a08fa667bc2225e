#include "AppInstance.h"
#include "ApplicationId.h"
#include "AppStart.h"
#include "DeletecardDlg.h"
#include "DialerDlg.h"
#include "EditcardDlg.h"
#include "MainCardDlg.h"
#include "MessageBoxes.h"
#include "PhonecallDlg.h"
#include "PhoneLayout.h"
#include "ResourceIds.h"
#include "ScreenScript.h"
#include "ScrollRules.h"
#include "TelLink.h"
#include "TestProcesses.h"

#include <QAccessible>
#include <QComboBox>
#include <QDBusConnectionInterface>
#include <QFile>
#include <QLineEdit>
#include <QListView>
#include <QMenu>
#include <QMenuBar>
#include <QProcess>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QWheelEvent>

#include <sys/resource.h>
#include <sys/stat.h>

#include <cstdlib>

// The home screen, the program's start with tel: links and numbers, and the
// rules every screen shares: typing, scrolling, the limit on stacked screens,
// the phone layout. The display is a phone's, 360 x 720.

using namespace screentest;

Q_DECLARE_METATYPE(LogFont)
using Make = std::function<std::unique_ptr<CDialogBase>()>;
Q_DECLARE_METATYPE(Make)

namespace {

const rlimit kSmallStack { 4u << 20, 4u << 20 };

template <class S> Make make()
{
    return [] { return std::unique_ptr<CDialogBase>(new S); };
}

// One line per fault: what a finger presses under 40 px either way, an overlap, a control out of sight.
QStringList faults(QWidget* window)
{
    QStringList out;
    const auto check = [&out](const QString& name, const QRect& r, const QRect& within, bool pressed = true) {
        out << (pressed && qMin(r.width(), r.height()) < 40 ? name + " small" : "")
            << (within.contains(r) ? "" : name + " out of sight");
    };
    const QRect display = QGuiApplication::primaryScreen()->geometry();
    QList<QRect> placed; // the screen's controls and menu bar, the chooser's search field and buttons
    for (QWidget* w : window->findChildren<QWidget*>()) {
        const QString name = w->objectName() + w->metaObject()->className();
        const QRect r(w->mapTo(window, QPoint()), w->size());
        if (!w->isVisibleTo(window) || w->parentWidget()->inherits("QComboBox")
            || !name.contains(QRegularExpression("^(ctl|search)|Button$|MenuBar$")))
            continue;
        check(name, r, window->rect(), !w->inherits("QLabel"));
        for (const QRect& other : std::as_const(placed))
            out << (other.intersects(r) ? name + " overlaps" : "");
        placed << r;
        if (auto* combo = qobject_cast<QComboBox*>(w)) {
            combo->showPopup();
            for (int row = 0; row < combo->count(); ++row)
                check(name + " row", combo->view()->visualRect(combo->model()->index(row, 0)), display);
            combo->hidePopup();
        }
        if (auto* bar = qobject_cast<QMenuBar*>(w); QMenu* menu = bar ? bar->actions()[0]->menu() : nullptr)
            for (QAction* entry : bar->actions() + menu->actions())
                check(entry->text(), entry->menu() ? bar->actionGeometry(entry) : menu->actionGeometry(entry), display);
    }
    if (auto* list = window->findChild<QListView*>("contacts");
        list && QTest::qWaitFor([list] { return list->model()->rowCount(); }, kPatienceMs))
        check("contact row", list->visualRect(list->model()->index(0, 0)), display);
    out.removeAll("");
    return out;
}

// A real screen whose scroll extent the test sets.
template <class S> struct Scrolling : S {
    using CDialogBase::SetScrollInfo;
};

QString accessible(QObject* o, QAccessible::Text t = QAccessible::Name)
{
    return QAccessible::queryAccessibleInterface(o)->text(t);
}

// This program again, as a child: the real start-up, home screens stacked till one is refused, then from the
// deepest Exit answered Cancel, then OK. Ends with status 0 only when all went so.
[[noreturn]] void runChild()
{
    stackdepth::recordStackBase();
    static int argc = 1;
    static char name[] = "child", *argv[] = { name, nullptr };
    QApplication app(argc, argv);
    static bool answeredOk = false; // the only way out with status 0
    std::atexit([] { answeredOk ? void() : std::_Exit(6); });
    Script s;
    int depth = 0;
    std::function<void(QWidget*)> stack = [&](QWidget*) {
        ++depth;
        s.screen("CDialerDlg", stack);
        ShowHomeScreen();
        // Refused: a message came up instead of the next screen.
        if (depth > 50 && s.errors().join(',').contains("Too many screens are open")) {
            s.stop();
            // From the deepest screen, on top again: Exit answered Cancel keeps it, OK ends the program. The
            // script takes that screen first, so that it is never mistaken for a window coming up in between.
            static Script leave;
            leave
                .screen("CDialerDlg",
                    [](QWidget* home) {
                        click(home, res::IDC_EXIT);
                        answeredOk = leave.log()
                            == QStringList { "screen:CDialerDlg",
                                   "box:Are you sure you want to exit Application, Press OK to Quit" };
                        click(home, res::IDC_EXIT);
                        std::_Exit(4); // Exit must not come back
                    })
                .box(QMessageBox::Cancel)
                .box(QMessageBox::Ok);
            return;
        }
        std::_Exit(4); // nor a screen stacked over this one
    };
    s.screen("CDialerDlg", stack);
    theApp.InitInstance();
    std::_Exit(3); // nor the first home screen
}

// The dialer, given DIALER_TEST_START split at |. Prints what the user sees: a box, or a make-call screen's number.
[[noreturn]] void startChild()
{
    static QList<QByteArray> args = qgetenv("DIALER_TEST_START").split('|');
    static char name[] = "dialer";
    static std::vector<char*> argv { name };
    for (QByteArray& arg : args)
        arg.isEmpty() ? void() : argv.push_back(arg.data());
    int argc = int(argv.size());
    struct User : QObject {
        bool eventFilter(QObject*, QEvent*) override
        {
            const bool home = std::ranges::any_of(
                QApplication::allWidgets(), [](QWidget* w) { return qobject_cast<CDialerDlg*>(w); });
            auto* box = qobject_cast<QMessageBox*>(topWindow());
            const QString seen = box ? "box:" + box->text()
                : qobject_cast<Cphonecall*>(topWindow())
                ? (home ? "home+" : "") + text(topWindow(), res::IDC_CALL_NUMBER)
                : QString();
            return !seen.isEmpty() && (std::printf("%s", qPrintable(seen)), std::fflush(stdout), std::_Exit(0), true);
        }
    } user;
    const int status = runDialer(argc, argv.data(), &user);
    std::fflush(stdout);
    std::_Exit(status);
}

// The children's runtime folder, where the copy that runs holds its lock.
QString runtimeDir()
{
    static const QTemporaryDir dir;
    return dir.path();
}

// Runs that child on the session bus `bus`, or on none; `wait`s for its end.
bool startDialer(
    QProcess& p, const QString& args, const QString& bus = {}, const QString& platform = "offscreen", bool wait = true)
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("DIALER_TEST_START", args);
    env.insert("DBUS_SESSION_BUS_ADDRESS", bus.isEmpty() ? "unix:path=/nonexistent" : bus);
    env.insert("QT_QPA_PLATFORM", platform);
    env.insert("XDG_RUNTIME_DIR", runtimeDir());
    // At home in Britain, with no modem to say otherwise.
    env.insert("LANG", "en_GB.UTF-8");
    for (const char* name : { "LC_ALL", "LC_TELEPHONE", "DIALER_HOME_COUNTRY" })
        env.remove(name);
    env.insert("DBUS_SYSTEM_BUS_ADDRESS", "unix:path=/nonexistent");
    p.setProcessEnvironment(env);
    endWithTest(p);
    p.start(QCoreApplication::applicationFilePath(), {});
    return p.waitForStarted() && (!wait || (p.waitForFinished(kPatienceMs) && p.exitStatus() == QProcess::NormalExit));
}

// What a user sees of a screen: its fields, the focus, the scroll position
// and where its window is.
QString looks(QWidget* w)
{
    QStringList out { QString::number(static_cast<CDialogBase*>(w)->scrollPos()) };
    for (auto* e : w->findChildren<QLineEdit*>())
        out << e->text();
    for (auto* c : w->findChildren<QComboBox*>())
        out << c->currentText();
    QWidget* focus = QApplication::focusWidget();
    const QRect r = w->window()->geometry();
    out << (focus ? focus->objectName() : "no focus") << QStringLiteral("%1,%2").arg(r.x()).arg(r.y());
    return out.join(u'|');
}

} // namespace

class TestApp : public QObject {
    Q_OBJECT
    DataHome m_data;

public:
    static void initMain()
    {
        qEnvironmentVariableIsSet("DIALER_TEST_START")       ? startChild()
            : qEnvironmentVariableIsSet("DIALER_TEST_CHILD") ? runChild()
                                                             : void();
        qputenv("QT_QPA_PLATFORM", "offscreen:configfile=" DIALER_TEST_DATA "/phone-360x720.json");
    }

private slots:
    void initTestCase() { phonelayout::touchMessageBoxes(); }
    void init() { writeCardFile(fileBytes({ card(u"Home") })); }
    void homeButtons_data()
    {
        QTest::addColumn<QByteArray>("file"); // null: no file
        QTest::addColumn<bool>("late"); // the file is written once the screen is open
        QTest::addColumn<int>("button");
        QTest::addColumn<QString>("next");
        const QByteArray one = fileBytes({ card(u"Home") }), none;
        const QString refused = QStringLiteral("box:Card is not Available");
        QTest::newRow("Add, no card") << none << false << int(res::IDC_ADD) << "screen:CMainCardDlg";
        QTest::newRow("Make Call") << one << false << int(res::IDC_MAKECALL) << "screen:Cphonecall";
        QTest::newRow("Edit") << one << false << int(res::IDC_EDIT) << "screen:CEditcard";
        QTest::newRow("Delete") << one << false << int(res::IDC_DELETE) << "screen:CDeletecard";
        QTest::newRow("Make Call, no card") << none << false << int(res::IDC_MAKECALL) << refused;
        QTest::newRow("Edit, no card") << none << false << int(res::IDC_EDIT) << refused;
        QTest::newRow("Delete, no card") << none << false << int(res::IDC_DELETE) << refused;
        QTest::newRow("unnamed first card") << fileBytes({ card(u"") }) << false << int(res::IDC_MAKECALL) << refused;
        QTest::newRow("card added since opening") << one << true << int(res::IDC_MAKECALL) << refused;
    }
    void homeButtons()
    {
        QFETCH(QByteArray, file);
        QFETCH(bool, late);
        QFETCH(int, button);
        QFETCH(QString, next);
        late || file.isNull() ? void(QFile::remove(cardPath())) : writeCardFile(file);
        Script s;
        s.screen("CDialerDlg", [&](QWidget* w) {
            if (late)
                writeCardFile(file);
            click(w, button);
            static_cast<QDialog*>(w)->reject();
        });
        next.startsWith(QLatin1String("box:")) ? void(s.box(QMessageBox::Ok))
                                               : void(s.closeScreen(qPrintable(next.mid(7))));
        CDialerDlg home;
        QVERIFY2(s.run(home), qPrintable(s.report()));
        QCOMPARE(s.log(), (QStringList { "screen:CDialerDlg", next }));
    }

    // Down the stack and back: each screen, uncovered, is as it was left,
    // and only the one on top is ever shown (the script checks that at
    // every window). A message box comes over the screen on top.
    void uncoveredScreensAsTheyWere()
    {
        writeCardFile(fileBytes({ card(u"Home") }));
        Script s;
        QStringList changed;
        // Plays `steps` on the screen, then clicks `button`, which opens the
        // next screen, and compares the screen after the click with before.
        auto at = [&](const char* cls, QString steps, int button) {
            s.screen(cls, [&, cls, steps, button](QWidget* w) {
                play(s, w, steps);
                const QString before = looks(w);
                click(w, button);
                QCoreApplication::processEvents(); // the window system's answers
                if (looks(w) != before)
                    changed << QStringLiteral("%1: %2 / %3").arg(cls, before, looks(w));
                static_cast<QDialog*>(w)->reject();
            });
        };
        at("CDialerDlg", "", res::IDC_ADD);
        at("CMainCardDlg", "1016=Kept 1017=5550100 1018>Pin~Base", res::IDC_ADD_CANCEL);
        at("CDialerDlg", "", res::IDC_MAKECALL);
        at("Cphonecall", "1034>Home 1031=442079460000", res::IDC_CALL_DIAL);
        at("CConfirmcall", "", res::IDC_CONFIRM_CANCEL);
        at("CDialerDlg", "", res::IDC_EDIT);
        at("CEditcard", "1048>Home", res::IDC_EDIT_SAVE);
        s.box(QMessageBox::Cancel); // not saved: home
        at("CDialerDlg", "", res::IDC_DELETE);
        s.screen("CDeletecard", [&](QWidget* w) {
            s.box(QMessageBox::Ok, [&] {
                const QWidget* box = QApplication::activeModalWidget();
                s.note(box->parentWidget() == w && w->window()->geometry().contains(box->geometry().center())
                        ? "box over the delete screen"
                        : "box elsewhere");
            });
            click(w, res::IDC_DEL_DELETE); // no card chosen
            QTest::keyClick(w, Qt::Key_Escape);
        });
        CDialerDlg home;
        QVERIFY2(s.run(home), qPrintable(s.report()));
        QVERIFY2(changed.isEmpty(), qPrintable(changed.join("\n")));
        QVERIFY(s.log().contains("box over the delete screen"));
        const QWidgetList windows = QApplication::topLevelWidgets(); // the program's window went with its last screen
        QVERIFY(std::none_of(windows.begin(), windows.end(), [](QWidget* w) { return w->isVisible(); }));
    }

    // A font asked for by its cell height and average character width is
    // sized by what the font's metrics say, at every weight: the em square
    // scaled so that the cell fits, then stretched to the width.
    void fontByCellAndWidth_data()
    {
        QTest::addColumn<LogFont>("asked");
        const QString face = QStringLiteral("MS Sans Serif");
        QTest::newRow("product label") << LogFont { 16, 8, 1, face };
        QTest::newRow("bold, natural width") << LogFont { 13, 0, 700, face };
        QTest::newRow("large, wide") << LogFont { 30, 20, 400, face };
        QTest::newRow("small, narrow") << LogFont { 9, 3, 400, face };
    }
    void fontByCellAndWidth()
    {
        QFETCH(LogFont, asked);
        const CDialogBase screen(res::IDD_DIALER); // the faces that stand in for the handheld's
        QFont measured(asked.face);
        measured.setPixelSize(asked.height);
        measured.setWeight(QFont::Weight(asked.weight));
        measured.setPixelSize(qRound(double(asked.height) * asked.height / QFontMetrics(measured).height()));
        const int stretch = asked.width ? qRound(100.0 * asked.width / QFontMetrics(measured).averageCharWidth()) : 0;
        const QFont got = fontFromLogFont(asked);
        QCOMPARE((QList { got.pixelSize(), got.stretch() }), (QList { measured.pixelSize(), stretch }));
    }

    // The logo kept scaled ahead in the resources is what the screens would
    // make of the original: it has not gone stale.
    void logoScaledAhead()
    {
        const CDialogBase screen(res::IDD_DIALER); // registers the resources
        const QImage ahead = resourcePng(QStringLiteral(":/res/logo-100x30.png")).toImage();
        const QPixmap original = resourcePng(QStringLiteral(":/res/logo.png"));
        QVERIFY(!ahead.isNull());
        QVERIFY(original.scaled(ahead.size(), Qt::KeepAspectRatio, Qt::SmoothTransformation).toImage() == ahead);
    }

    // Under a hard limit of 4 MiB the program cannot raise its stack.
    void deepStackRefusedAndExitFromIt()
    {
        QProcess p;
        p.setEnvironment(QProcess::systemEnvironment() << "DIALER_TEST_CHILD=1");
        endWithTest(p, [] { setrlimit(RLIMIT_STACK, &kSmallStack); });
        p.start(QCoreApplication::applicationFilePath(), {});
        QVERIFY(p.waitForFinished(120000));
        QCOMPARE(p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1, 0);
    }

    // A digits-only field: no other key goes in. Text the program sets may be
    // longer than the limit: it stays whole, and can shorten but not grow.
    void typingRules()
    {
        CDialogBase screen(res::IDD_MAINCARD);
        screen.LimitText(res::IDC_ADD_ACCESS, 8);
        screen.SetDlgItemText(res::IDC_ADD_ACCESS, QStringLiteral("1234567890"));
        ctl<QLineEdit>(&screen, res::IDC_ADD_ACCESS)->end(false);
        type(&screen, res::IDC_ADD_ACCESS, QStringLiteral("\b0"));
        const QString shortened = text(&screen, res::IDC_ADD_ACCESS);
        type(&screen, res::IDC_ADD_ACCESS, QStringLiteral("\b\ba -89"));
        QCOMPARE(shortened + " " + text(&screen, res::IDC_ADD_ACCESS), QStringLiteral("123456789 12345678"));
    }

    // What a screen reader finds: each field and list named by its label ("<": as its buddy; "=": named
    // only), the format under the number field ("~"), the logo named by the caption; each field's keyboard
    // (t: text, d: digits, p: dial pad); Tab through the tab stops in template order; a message box's text.
    void accessibleScreens_data()
    {
        QTest::addColumn<int>("id");
        QTest::addColumn<QString>("pairs");
        QTest::addRow("home") << res::IDD_DIALER << "";
        QTest::addRow("add") << res::IDD_MAINCARD
                             << "1016<1010t 1017<1011d 1018<1012 1019=1012p 1020<1013d 1021<1014d 1076<1077d";
        QTest::addRow("make call") << res::IDD_PHONECALL << "1031<1030p 1031~1080 1034<1036 1035<1037";
        QTest::addRow("confirm") << res::IDD_CONFIRMCALL << "";
        QTest::addRow("delete") << res::IDD_DELETECARD << "1045<1041 1046<1042";
        QTest::addRow("edit")
            << res::IDD_EDITCARD
            << "1048<1047 1054<1049t 1055<1050d 1081<1051 1056=1051p 1079<1052d 1058<1053d 1057<1078d";
    }
    void accessibleScreens()
    {
        QFETCH(int, id);
        QFETCH(QString, pairs);
        const Qt::InputMethodHint hints[] { Qt::ImhNoPredictiveText, Qt::ImhDigitsOnly, Qt::ImhDialableCharactersOnly };
        QStringList wrong, order, tabs, read;
        Script s;
        s.screen("CDialogBase", [&](QWidget* w) {
            for (const QString& p : pairs.split(u' ', Qt::SkipEmptyParts)) {
                QWidget* field = ctl(w, p.left(4).toInt());
                QObject* label = ctl(w, p.mid(5, 4).toInt());
                const auto by = QAccessible::queryAccessibleInterface(field)->relations(QAccessible::Label);
                if (accessible(field, p[4] == u'~' ? QAccessible::Description : QAccessible::Name)
                        != label->property("text")
                    || (p[4] == u'<') != (by.size() == 1 && by[0].first->object() == label)
                    || (p.size() > 9 && field->inputMethodHints() != hints[QStringLiteral("tdp").indexOf(p[9])]))
                    wrong << p;
            }
            for (const ControlTemplate& c : dialogTemplate(id).controls) {
                QWidget* control = ctl(w, c.id);
                const bool field = qobject_cast<QLineEdit*>(control) || qobject_cast<QComboBox*>(control);
                if ((field && control->isVisible() && !pairs.contains(QString::number(c.id)))
                    || (c.kind == ControlKind::Picture && accessible(control) != w->windowTitle()))
                    wrong << control->objectName();
                if ((c.style & cs::TabStop) && control->isVisible())
                    order << QString::number(c.id);
            }
            ctl(w, order[0].toInt())->setFocus();
            for (int i = 0; i <= order.size(); ++i, QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab))
                tabs << QString::number(static_cast<CDialogBase*>(w)->GetDlgCtrlID(QApplication::focusWidget()));
            if (id == res::IDD_DIALER) {
                s.box(QMessageBox::Ok, [&] {
                    auto* box = QAccessible::queryAccessibleInterface(QApplication::activeModalWidget());
                    for (int i = 0; i < box->childCount(); ++i)
                        read << box->child(i)->text(QAccessible::Name);
                });
                AppMessageBox(QStringLiteral("Please select card"));
                wrong << (read.contains("Please select card") ? "" : "box unread");
            }
            static_cast<QDialog*>(w)->reject();
        });
        CDialogBase screen(id);
        QVERIFY2(s.run(screen), qPrintable(s.report()));
        QCOMPARE(wrong.join(' ').trimmed(), QString());
        QCOMPARE(tabs, order << order.value(0)); // and round to the first
    }

    void scrollStep_data()
    {
        QTest::addColumn<QList<int>>("request"); // code, position, extent, thumb
        QTest::addColumn<int>("moved"); // the position after
        using L = QList<int>;
        QTest::newRow("line down: a tenth of the extent") << L { SB_LINEDOWN, 0, 78, 0 } << 7;
        QTest::newRow("page down: the same") << L { SB_PAGEDOWN, 14, 78, 0 } << 21;
        QTest::newRow("last step: what is left") << L { SB_LINEDOWN, 77, 78, 0 } << 78;
        QTest::newRow("down at the extent stops") << L { SB_LINEDOWN, 78, 78, 0 } << 78;
        QTest::newRow("line up") << L { SB_LINEUP, 20, 78, 0 } << 13;
        QTest::newRow("page up: to 0, not past") << L { SB_PAGEUP, 3, 78, 0 } << 0;
        QTest::newRow("thumb track") << L { SB_THUMBTRACK, 10, 78, 40 } << 40;
        QTest::newRow("thumb position") << L { SB_THUMBPOSITION, 40, 78, 5 } << 5;
        QTest::newRow("thumb past the end, from the end: clamped") << L { SB_THUMBTRACK, 78, 78, 90 } << 78;
        QTest::newRow("thumb back, from the end") << L { SB_THUMBTRACK, 78, 78, 60 } << 60;
        QTest::newRow("top and bottom do nothing") << L { SB_TOP, 30, 78, 0 } << 30;
        QTest::newRow("negative extent: thumb bound unsigned") << L { SB_THUMBTRACK, 0, -5, 3 } << 3;
    }
    void scrollStep()
    {
        QFETCH(QList<int>, request);
        QFETCH(int, moved);
        const ScrollStep s = vscrollStep(request[0], request[1], request[2], std::uint32_t(request[3]));
        QCOMPARE(s.kind == ScrollStep::ClampToExtent ? request[2] : request[1] + s.delta, moved);
    }

    void scrollingMovesControlsAndBar()
    {
        setDeviceClassForTesting(DeviceClass::Professional);
        Scrolling<CDialerDlg> home;
        setDeviceClassForTesting(DeviceClass::Other);
        Scrolling<CDialerDlg> desktop; // a desktop gets no bar
        home.SetScrollInfo(78);
        desktop.SetScrollInfo(78);
        QWidget* add = home.GetDlgItem(res::IDC_ADD);
        const int y0 = add->y();
        home.OnVScroll(SB_THUMBTRACK, 40);
        // The bar's own actions and the wheel come through the same rules.
        home.scrollBar()->triggerAction(QAbstractSlider::SliderSingleStepAdd);
        QWheelEvent down({ 5, 5 }, { 5, 5 }, {}, { 0, -120 }, Qt::NoButton, {}, Qt::NoScrollPhase, false);
        QApplication::sendEvent(&home, &down);
        QCOMPARE((QList { home.scrollPos(), home.scrollBar()->value(), y0 - add->y() }), (QList { 54, 54, 54 }));
        QVERIFY(!desktop.scrollBar());
    }
    void phoneLayout_data()
    {
        QTest::addColumn<Make>("make"); // the screen opened
        QTest::addColumn<QStringList>("row"); // steps played on it ("menu": Phonebook, Contacts), the window measured
        QTest::newRow("home") << make<CDialerDlg>() << QStringList { "", "CDialerDlg" };
        QTest::newRow("add, PIN shown") << make<CMainCardDlg>() << QStringList { "1018>Pin~Base", "CMainCardDlg" };
        QTest::newRow("make call") << make<Cphonecall>() << QStringList { "", "Cphonecall" };
        QTest::newRow("confirm") << make<Cphonecall>() << QStringList { "1034>Home 1031=555 #1028", "CConfirmcall" };
        QTest::newRow("delete") << make<CDeletecard>() << QStringList { "", "CDeletecard" };
        QTest::newRow("message box") << make<CDeletecard>() << QStringList { "#1043", "QMessageBox" };
        QTest::newRow("edit, PIN shown") << make<CEditcard>() << QStringList { "1048>Work", "CEditcard" };
        QTest::newRow("contact chooser") << make<Cphonecall>() << QStringList { "menu0", "ContactChooser" };
        QTest::newRow("recent calls") << make<Cphonecall>() << QStringList { "menu1", "RecentCalls" };
    }
    void phoneLayout()
    {
        QFETCH(Make, make);
        QFETCH(QStringList, row);
        writeCardFile(fileBytes({ card(u"Home"), card(u"Work", u"5550100", u"1234") }));
        QDir().mkpath(m_data.dir.filePath("dialer/contacts"));
        QFile::copy(DIALER_TEST_DATA "/vcard/google-3.0.vcf", m_data.dir.filePath("dialer/contacts/a.vcf"));
        setDeviceClassForTesting(DeviceClass::Professional);
        const std::unique_ptr<CDialogBase> screen = make();
        Script s;
        QStringList found { "not measured" };
        const auto measure = [&found](QWidget* w) { found = faults(w); };
        s.screen(screen->metaObject()->className(), [&](QWidget* w) {
            const bool self = row[1] == w->metaObject()->className();
            self ? void() : void(s.closeScreen(qPrintable(row[1]), measure));
            row[0].startsWith("menu") ? w->findChild<QMenu*>()->actions()[row[0].mid(4).toInt()]->trigger()
                                      : play(s, w, row[0]);
            self ? measure(w) : void();
            static_cast<QDialog*>(w)->reject();
        });
        const bool ran = s.run(*screen);
        setDeviceClassForTesting(DeviceClass::Other);
        QVERIFY2(ran, qPrintable(s.report()));
        QCOMPARE(found.join(", "), QString());
    }
    // The desktop class keeps the template's places.
    void desktopKeepsTheTemplate()
    {
        CDialogBase screen(res::IDD_EDITCARD);
        for (ControlTemplate c : dialogTemplate(res::IDD_EDITCARD).controls) {
            c.rectDlu.setHeight(screen.item<QComboBox>(c.id) ? 14 : c.rectDlu.height());
            QCOMPARE(screen.GetDlgItem(c.id)->geometry(), dialogUnitsFor(screen.font()).toPixels(c.rectDlu));
        }
    }

    // The real start, on no bus. Where no screen is due, a window would abort: there is no platform.
    void commandLine_data()
    {
        QTest::addColumn<QString>("args"); // separated by |
        QTest::addColumn<QString>("seen"); // exit status, stdout, stderr
        auto no = [](const QString& why) { return "2 dialer: " + why + "\n"; };
        const QString bad = "not a valid tel: link: ", call = "0 home++15550100200";
        const QString rows[][3] = {
            { "separators, escapes, parameters", "TEL:%2B1-555.(010)-020%30;ext=12;isub=1411;x-y=%41", call },
            { "local, context dropped", "tel:*21%23;phone-context=+1-555", "0 home+*21#" },
            { "bare number", "+1-555-010-0200", call },
            { "no card", "tel:+15550100200", "0 box:Card is not Available" },
            { "no card, emergency", "tel:911",
                "0 box:911 is an emergency number: it is called directly, not through the card." },
            { "national: international", "tel:020-7946-0001", "0 home++442079460001" },
            { "--help", "--help", "0 " + tellink::helpText() },
            { "--version", "--version", "0 dialer 1.0\n" },
            { "unknown option", "--dial", no("unknown option --dial (see --help)") },
            { "device class and link", "--device-class|phone|tel:+15550100200", call },
            { "device class unknown", "--device-class=tablet",
                no("--device-class=tablet is not a device class (phone or desktop)") },
            { "two", "1|2", no("give one tel: link or number, not 2") },
            { "letters", "tel:+1-555-CALL-NOW", no(bad + "it has letters, which cannot be dialled") },
            { "no digits", "(-)", no("not a valid phone number: it has no digits") },
            { "+ inside", "tel:1+2", no(bad + "a + may only come first") },
            { "escaped ;", "tel:12%3B34", no(bad + "';' is not part of a phone number") },
            { "other digits", "tel:\u0661\u0662", no(bad + "'\u0661' is not part of a phone number") },
            { "control", "tel:+1555\x1b[2J", no(bad + "it has a control character") },
            { "escaped control", "tel:+1555%0A", no(bad + "it has a control character") },
            { "broken escape", "tel:%2G1", no(bad + "it has a broken percent escape") },
            { "bad parameter value", "tel:+1555;ext=1%", no(bad + "it has a malformed parameter") },
            { "21 characters", "tel:+" + QString(20, u'1'), no(bad + "it is longer than 20 characters") },
            { "257 characters", "tel:" + QString(253, u'1'), no(bad + "it is longer than 256 characters") },
        };
        for (const auto& r : rows)
            QTest::newRow(qPrintable(r[0])) << r[1] << r[2];
    }
    void commandLine()
    {
        QFETCH(QString, args);
        QFETCH(QString, seen);
        const bool window = seen.startsWith("0 home+") || seen.startsWith("0 box:");
        if (QByteArray(QTest::currentDataTag()).startsWith("no card"))
            QFile::remove(cardPath());
        QProcess p;
        QVERIFY(startDialer(p, args, {}, window ? "offscreen" : "no-such-platform"));
        // The offscreen platform has warnings of its own.
        QCOMPARE(
            QString::number(p.exitCode()) + " " + p.readAllStandardOutput() + (window ? "" : p.readAllStandardError()),
            seen);
    }

    // The option wins over the environment, and both over detection (no touch screen here: a desktop).
    void deviceClassChosen_data()
    {
        QTest::addColumn<QStringList>("row"); // option, environment, the class chosen or the refusal
        const QString bad = "DIALER_DEVICE_CLASS=%1 is not a device class (phone or desktop)";
        for (const QStringList& row : QList<QStringList> { { "phone", "desktop", "phone" },
                 { "desktop", "x", "desktop" }, { "", "phone", "phone" }, { "", "", "desktop" },
                 { "", "Phone", bad.arg("Phone") }, { "", "\x1b[2J", bad.arg("...") } })
            QTest::newRow(qPrintable(row.mid(0, 2).join(" over "))) << row;
    }
    void deviceClassChosen()
    {
        QFETCH(QStringList, row);
        const QString refused = chooseDeviceClass(row[0], row[1]);
        const QString seen = refused.isEmpty() && deviceClass() == DeviceClass::Professional ? "phone" : "desktop";
        setDeviceClassForTesting(DeviceClass::Other);
        QCOMPARE(refused.isEmpty() ? seen : refused, row[2]);
    }

    // Second launches reach the dialer running; a link refused over D-Bus opens nothing there.
    void running()
    {
        QProcess bus, first, second; // first: the dialer running
        endWithTest(bus);
        bus.start("dbus-daemon",
            { "--config-file=" DIALER_SOURCE_DIR "/tests/platform/phone-test-bus.conf", "--nofork",
                "--print-address=1" });
        QVERIFY2(bus.waitForReadyRead(kPatienceMs), "no address from dbus-daemon");
        const QString address = bus.readLine().trimmed();
        QDBusConnection session = QDBusConnection::connectToBus(address, address);
        QVERIFY(startDialer(first, {}, address, "offscreen", false));
        // Once it holds its lock, but before it need own the name: the second waits for that.
        const auto locked = [] {
            struct stat st { };
            const QString inode = ::stat(QFile::encodeName(runtimeDir() + "/org.quorin.Dialer.lock"), &st) == 0
                ? QString(":%1 ").arg(st.st_ino)
                : "none";
            QFile locks("/proc/locks");
            return locks.open(QIODevice::ReadOnly) && locks.readAll().contains(inode.toLatin1());
        };
        QVERIFY2(QTest::qWaitFor(locked, kPatienceMs), "the first dialer never took its lock");
        QVERIFY(startDialer(second, {}, address) && second.exitCode() == 0); // Activate
        QDBusMessage open = QDBusMessage::createMethodCall(
            kApplicationId, kApplicationObjectPath, "org.freedesktop.Application", "Open");
        open << QStringList { "tel:" + QString(10 << 20, u'1') } << QVariantMap();
        QCOMPARE(session.call(open).errorMessage(), "not a valid tel: link: it is longer than 256 characters");
        QVERIFY(startDialer(second, "tel:+1-555-010-0200", address) && second.exitCode() == 0
            && first.waitForFinished(kPatienceMs));
        QCOMPARE(first.readAllStandardOutput(), "home++15550100200");
        bus.kill(), bus.waitForFinished();
    }

    // A link that comes while a box is open waits for its answer.
    void linkWaitsForTheBox()
    {
        Script s;
        s.screen("CDialerDlg", [](QWidget* w) { click(w, res::IDC_EXIT); });
        s.box(
            QMessageBox::Cancel, [] { appinstance::requestMakeCall("+15550100"), QCoreApplication::processEvents(); });
        s.closeScreen("Cphonecall", [&](QWidget* w) {
            s.note(text(w, res::IDC_CALL_NUMBER));
            QTimer::singleShot(0, [] { CDialogBase::topScreen()->reject(); }); // the home screen, after
        });
        CDialerDlg home;
        QVERIFY2(s.run(home), qPrintable(s.report()));
        QCOMPARE(s.log().last(), "+15550100");
    }
};

QTEST_MAIN(TestApp)
#include "TestApp.moc"
