// Every screen and message box in each language: nothing left in English, nothing too wide.
#include "CardScreens.h"
#include "DeletecardDlg.h"
#include "DialerDlg.h"
#include "EditcardDlg.h"
#include "MainCardDlg.h"
#include "PhonecallDlg.h"
#include "ScreenScript.h"
#include "Translations.h"

#include <QMenu>
#include <QMenuBar>
#include <QStyleOptionComboBox>

using namespace screentest;
using Runner = QStringList (*)(const QString&, const std::function<void()>&);

namespace {

bool fits(QWidget* w, const QString& text)
{
    QRect room = w->contentsRect();
    QStyleOptionComboBox opt;
    opt.initFrom(w);
    if (qobject_cast<QComboBox*>(w)) // less a pixel each side, as the style draws the entry
        room = w->style()->subControlRect(QStyle::CC_ComboBox, &opt, QStyle::SC_ComboBoxEditField, w)
            - QMargins(1, 0, 1, 0);
    else if (qobject_cast<QAbstractButton*>(w))
        room -= QMargins(0, 0, 2 * w->style()->pixelMetric(QStyle::PM_ButtonMargin), 0);
    // Labels wrap at spaces, the last baseline inside as in the templates' own two-line labels.
    const QFontMetrics fm(w->font());
    const QRect br = fm.boundingRect(room, Qt::TextWordWrap, text);
    const int lines = qRound(double(br.height()) / fm.lineSpacing());
    return br.width() <= room.width() && (lines - 1) * fm.lineSpacing() + fm.ascent() <= room.height();
}

// Every text each window shows as it opens, by window and child, and the screens' texts too wide.
struct Collector : QObject {
    QMap<QString, QString> texts;
    QStringList tooWide;
    bool eventFilter(QObject* o, QEvent* e) override
    {
        auto* win = qobject_cast<QDialog*>(o);
        if (e->type() != QEvent::Show || !win)
            return false;
        const QString at = QStringLiteral("%1:%2/").arg(texts.size()).arg(o->metaObject()->className());
        const QList<QWidget*> all = QList<QWidget*> { win } + win->findChildren<QWidget*>();
        for (int i = 0; i < all.size(); ++i) {
            QStringList shown { all[i]->property(i ? "text" : "windowTitle").toString() };
            if (auto* c = qobject_cast<QComboBox*>(all[i]))
                for (int k = -1; k < c->count(); ++k)
                    shown << (k < 0 ? c->placeholderText() : c->itemText(k));
            if (auto* bar = qobject_cast<QMenuBar*>(all[i]))
                for (QAction* a : bar->actions() + bar->actions()[0]->menu()->actions())
                    shown << a->text();
            for (int k = 0; k < shown.size() && all[i]->isVisibleTo(win); ++k) {
                texts[at + QStringLiteral("%1.%2").arg(i).arg(k)] = shown[k];
                if (i && qobject_cast<CDialogBase*>(win) && !fits(all[i], shown[k]))
                    tooWide << shown[k];
            }
        }
        return false;
    }
};

struct Flow {
    const char* name;
    Runner run;
    const char* steps;
};
const Flow kFlows[] = {
    { "home, no card", &run<CDialerDlg>, "#1006 ok #1007 ok #1008 ok #1039 cancel" },
    { "add", &run<CMainCardDlg>,
        "#1022 ok 1016=7 #1022 ok 1017=5 1018>PB #1022 ok 1019=1 #1022 ok 1076=1 #1022 ok "
        "1020=1 #1022 ok add 1016=9 #1022 cancel home" },
    { "edit", &run<CEditcard>, "#1059 ok 1048>7 1054=8 #1059 ok home 1054=9 #1059 cancel home" },
    { "delete", &run<CDeletecard>, "#1043 ok 1045>7 #1043 cancel home" },
    { "make call", &run<Cphonecall>, "#1028 ok 1034>7 #1028 ok 1031=5550123 #1028 confirm &1 recent" },
};

} // namespace

class TestTranslations : public QObject {
    Q_OBJECT
    DataHome m_data;

public:
    // A phone's display, for the rows on the phone class.
    static void initMain()
    {
        qputenv("QT_QPA_PLATFORM", "offscreen:configfile=" DIALER_TEST_DATA "/phone-360x720.json");
    }

    // Plays the steps in `locale` ("PB": the shown "Pin Base"); returns the script's faults.
    QStringList play(Collector& seen, const QLocale& locale, Runner run, QString steps)
    {
        installTranslations(locale);
        writeCards(steps.startsWith("#1006") ? std::vector<CardRecord> {}
                                             : std::vector { card(u"7"), card(u"8"), card(u"8") });
        qApp->installEventFilter(&seen);
        const QString pinBase = cardscreens::pinBaseText();
        const QStringList log = run(steps.replace("PB", QString(pinBase).replace(' ', '~')), {});
        qApp->removeEventFilter(&seen);
        return log.filter(QRegularExpression("^log:"));
    }

private slots:
    void screens_data()
    {
        QTest::addColumn<QString>("language");
        QTest::addColumn<int>("flow");
        QTest::addColumn<DeviceClass>("device"); // the phone grows texts and controls apart
        for (const auto& [device, name] :
            { std::pair { DeviceClass::Other, "" }, { DeviceClass::Professional, ", phone" } })
            for (const char* lang : { "es", "de" })
                for (int f = 0; f < int(std::size(kFlows)); ++f)
                    QTest::addRow("%s %s%s", lang, kFlows[f].name, name) << QString(lang) << f << device;
    }
    void screens()
    {
        QFETCH(QString, language);
        QFETCH(int, flow);
        QFETCH(DeviceClass, device);
        setDeviceClassForTesting(device);
        const Flow& f = kFlows[flow];
        Collector english, shown;
        QCOMPARE(
            play(english, QLocale(QLocale::English), f.run, f.steps) + play(shown, QLocale(language), f.run, f.steps),
            QStringList());
        QCOMPARE(shown.texts.keys(), english.texts.keys());
        // The product's names, the question boxes' caption, German's "OK", and
        // the message boxes' caption: the executable's name.
        const QStringList kept { "Telvane", "Telvane  Dialer", "Quorin Dialer", "OK", qApp->applicationName() };
        QStringList untranslated;
        for (auto it = english.texts.begin(); it != english.texts.end(); ++it)
            if (it->contains(QRegularExpression("[A-Za-z]")) && shown.texts[it.key()] == *it && !kept.contains(*it))
                untranslated << it.key() + '=' + *it;
        QCOMPARE(untranslated, QStringList());
        QVERIFY2((english.tooWide + shown.tooWide).isEmpty(), qPrintable((english.tooWide + shown.tooWide).join(", ")));
    }
};

QTEST_MAIN(TestTranslations)
#include "TestTranslations.moc"
