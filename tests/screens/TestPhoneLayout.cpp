#include "DeletecardDlg.h"
#include "DialerDlg.h"
#include "EditcardDlg.h"
#include "MainCardDlg.h"
#include "PhonecallDlg.h"
#include "ResourceIds.h"
#include "ScreenScript.h"

#include <QDir>
#include <QLabel>
#include <QListView>
#include <QMenu>
#include <QMenuBar>

// Every screen on a 360 x 720 phone, and the desktop's template kept exactly.

using namespace screentest;
using Make = std::function<std::unique_ptr<CDialogBase>()>;
Q_DECLARE_METATYPE(Make)

namespace {

template <class S> Make make()
{
    return [] { return std::unique_ptr<CDialogBase>(new S); };
}

// One line per fault: something a finger presses under 40 px either way, an overlap, a control out of sight.
QStringList faults(QWidget* window)
{
    QStringList out;
    const auto check = [&out](const QString& name, const QRect& r, const QRect& within, bool pressed = true) {
        out << (pressed && (r.width() < 40 || r.height() < 40) ? name + " too small" : QString())
            << (within.isNull() || within.contains(r) ? QString() : name + " out of sight");
    };
    const auto rect = [window](QWidget* w) { return QRect(w->mapTo(window, QPoint()), w->size()); };
    QList<QWidget*> shown;
    for (QWidget* w : window->findChildren<QWidget*>())
        if (w->isVisibleTo(window) && !qobject_cast<QComboBox*>(w->parentWidget())
            && (w->objectName().startsWith("ctl") || w->inherits("QAbstractButton") || w->inherits("QLineEdit")
                || w->inherits("QMenuBar")))
            shown << w;
    for (qsizetype i = 0; i < shown.size(); ++i) {
        QWidget* w = shown[i];
        const QString name = w->objectName() + ':' + w->metaObject()->className();
        check(name, rect(w), window->rect(), !qobject_cast<QLabel*>(w));
        for (QWidget* other : shown.mid(i + 1))
            out << (rect(other).intersects(rect(w)) ? name + " overlaps " + other->objectName() : QString());
        if (auto* combo = qobject_cast<QComboBox*>(w)) {
            combo->showPopup();
            for (int row = 0; row < combo->count(); ++row)
                check(name + " row", combo->view()->visualRect(combo->model()->index(row, 0)), {});
            check(name + " list", combo->view()->window()->geometry(), QGuiApplication::primaryScreen()->geometry());
            combo->hidePopup();
        }
        for (QAction* menu : qobject_cast<QMenuBar*>(w) ? w->actions() : QList<QAction*>()) {
            check(menu->text(), static_cast<QMenuBar*>(w)->actionGeometry(menu), {});
            for (QAction* entry : menu->menu()->actions())
                check(entry->text(), menu->menu()->actionGeometry(entry), {});
        }
    }
    for (auto* list : window->findChildren<QListView*>(QStringLiteral("contacts")))
        if (QTest::qWaitFor([list] { return list->model()->rowCount() > 0; }))
            check("contact row", list->visualRect(list->model()->index(0, 0)), list->viewport()->rect());
    out.removeAll(QString());
    return out;
}

} // namespace

class TestPhoneLayout : public QObject {
    Q_OBJECT
    DataHome m_data;

public:
    static void initMain()
    {
        qputenv("QT_QPA_PLATFORM", "offscreen:configfile=" DIALER_TEST_DATA "/phone-360x720.json");
    }

private slots:
    void initTestCase()
    {
        setDeviceClassForTesting(DeviceClass::Professional);
        writeCardFile(fileBytes({ card(u"Home"), card(u"Work", u"5550100", u"1234") }));
        QDir().mkpath(m_data.dir.filePath("dialer/contacts"));
        QFile::copy(DIALER_TEST_DATA "/vcard/google-3.0.vcf", m_data.dir.filePath("dialer/contacts/a.vcf"));
    }

    void screens_data()
    {
        QTest::addColumn<Make>("make"); // the screen opened
        QTest::addColumn<QString>("steps"); // played on it, "menu" for Phonebook, Contacts
        QTest::addColumn<QString>("looked"); // the window measured: that screen, or one the steps open
        QTest::newRow("home") << make<CDialerDlg>() << ""
                              << "CDialerDlg";
        QTest::newRow("add, PIN shown") << make<CMainCardDlg>() << "1018>Pin~Base"
                                        << "CMainCardDlg";
        QTest::newRow("make call") << make<Cphonecall>() << ""
                                   << "Cphonecall";
        QTest::newRow("confirm") << make<Cphonecall>() << "1034>Home 1031=555 #1028"
                                 << "CConfirmcall";
        QTest::newRow("delete") << make<CDeletecard>() << ""
                                << "CDeletecard";
        QTest::newRow("edit, PIN shown") << make<CEditcard>() << "1048>Work"
                                         << "CEditcard";
        QTest::newRow("contact chooser") << make<Cphonecall>() << "menu"
                                         << "ContactChooser";
    }
    void screens()
    {
        QFETCH(Make, make);
        QFETCH(QString, steps);
        QFETCH(QString, looked);
        const std::unique_ptr<CDialogBase> screen = make();
        Script s;
        QStringList found { "not measured" };
        const auto measure = [&found](QWidget* w) { found = faults(w); };
        s.screen(screen->metaObject()->className(), [&](QWidget* w) {
            const bool self = looked == w->metaObject()->className();
            if (!self)
                s.closeScreen(qPrintable(looked), measure);
            steps == "menu" ? w->findChild<QMenuBar*>()->actions()[0]->menu()->actions()[0]->trigger()
                            : play(s, w, steps);
            self ? measure(w) : void();
            static_cast<QDialog*>(w)->reject();
        });
        QVERIFY2(s.run(*screen), qPrintable(s.report()));
        QCOMPARE(found, QStringList());
    }

    void desktopKeepsTheTemplate()
    {
        setDeviceClassForTesting(DeviceClass::Other);
        CDialogBase screen(res::IDD_EDITCARD);
        setDeviceClassForTesting(DeviceClass::Professional);
        const DialogUnits units = dialogUnitsFor(screen.font());
        QCOMPARE(screen.font().pointSizeF(), 8.0);
        for (const ControlTemplate& c : dialogTemplate(res::IDD_EDITCARD).controls) {
            const bool combo = qobject_cast<QComboBox*>(screen.GetDlgItem(c.id));
            QCOMPARE(screen.GetDlgItem(c.id)->geometry(),
                units.toPixels(combo ? QRect(c.rectDlu.topLeft(), QSize(c.rectDlu.width(), 14)) : c.rectDlu));
        }
    }
};

QTEST_MAIN(TestPhoneLayout)
#include "TestPhoneLayout.moc"
