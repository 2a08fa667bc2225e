// Every screen and message box under each shipped translation: no text the
// user sees is left in English (beyond a few kept terms), and none is wider
// than its control.
#include "DeletecardDlg.h"
#include "DialerDlg.h"
#include "EditcardDlg.h"
#include "MainCardDlg.h"
#include "MessageBoxes.h"
#include "PhonecallDlg.h"
#include "ScreenScript.h"
#include "Translations.h"

#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QStyleOptionComboBox>

using namespace screentest;

namespace {

// Names (the product's; the caption of the question boxes) and what German
// also writes as "OK".
const QStringList kKept { "Telvane", "Telvane  Dialer", "Quorin Dialer", "OK" };

// Every text each window shows as it opens, by window and child, with the
// controls whose text does not fit.
struct Seen {
    QMap<QString, QString> texts;
    QStringList tooWide;
};
struct Collector : QObject, Seen {
    bool eventFilter(QObject* o, QEvent* e) override
    {
        auto* win = qobject_cast<QDialog*>(o);
        if (e->type() != QEvent::Show || !win || win->property("seen").isValid())
            return false;
        win->setProperty("seen", true);
        const QString at = QStringLiteral("%1:%2/").arg(texts.size()).arg(win->metaObject()->className());
        texts[at] = win->windowTitle();
        const QList<QWidget*> children = win->findChildren<QWidget*>();
        for (int i = 0; i < children.size(); ++i) {
            QWidget* w = children[i];
            const QFontMetrics fm(w->font());
            const QRect cr = w->contentsRect();
            QStringList shown;
            bool fits = true;
            if (auto* l = qobject_cast<QLabel*>(w); l && w->isVisibleTo(win)) {
                // Wrapped at spaces; the last line's baseline within the
                // rectangle, as the templates' own two-line labels have it.
                const QRect br = fm.boundingRect(cr, Qt::TextWordWrap | l->alignment(), l->text());
                const int lines = qRound(double(br.height()) / fm.lineSpacing());
                shown << l->text();
                fits = br.width() <= cr.width() && (lines - 1) * fm.lineSpacing() + fm.ascent() <= cr.height();
            } else if (auto* b = qobject_cast<QAbstractButton*>(w); b && w->isVisibleTo(win)) {
                shown << b->text();
                fits = fm.horizontalAdvance(b->text()) + 2 * w->style()->pixelMetric(QStyle::PM_ButtonMargin)
                    <= cr.width();
            } else if (auto* c = qobject_cast<QComboBox*>(w); c && w->isVisibleTo(win)) {
                QStyleOptionComboBox opt;
                opt.initFrom(c);
                const int room
                    = c->style()->subControlRect(QStyle::CC_ComboBox, &opt, QStyle::SC_ComboBoxEditField, c).width();
                for (int k = 0; k < c->count(); ++k)
                    fits = fits && fm.horizontalAdvance(shown.emplace_back(c->itemText(k))) <= room;
            } else if (auto* bar = qobject_cast<QMenuBar*>(w)) {
                for (QAction* a : bar->actions()) {
                    shown << a->text() << a->menu()->actions().first()->text();
                    fits = fits && bar->actionGeometry(a).right() < bar->width();
                }
            }
            for (int k = 0; k < shown.size(); ++k)
                texts[at + QStringLiteral("%1.%2").arg(i).arg(k)] = shown[k];
            if (!fits && qobject_cast<CDialogBase*>(win))
                tooWide << shown.join(u'|');
        }
        return false;
    }
};

} // namespace

class TestTranslations : public QObject {
    Q_OBJECT
    DataHome m_data;

    Seen collect(const QLocale& locale, QStringList (*run)(const QString&, const std::function<void()>&), QString steps,
        bool cards)
    {
        installTranslations(locale);
        writeCards(cards ? std::vector<CardRecord> { card(u"7", u"5"), card(u"8", u"6") } : std::vector<CardRecord> {});
        Collector c;
        qApp->installEventFilter(&c);
        const QStringList log = run(
            steps.replace("PB", QCoreApplication::translate("DialogTemplates", "Pin Base").replace(' ', '~')), {});
        qApp->removeEventFilter(&c);
        for (const QString& line : log)
            if (line.startsWith("log:"))
                qWarning() << line;
        return c;
    }

private slots:
    void screens_data()
    {
        QTest::addColumn<QString>("language");
        QTest::addColumn<void*>("run");
        QTest::addColumn<QString>("steps");
        QTest::addColumn<bool>("cards");
        for (const char* lang : { "es", "de" }) {
            const auto row = [lang](const char* name, auto run, const char* steps, bool cards) {
                QTest::addRow("%s %s", lang, name)
                    << QString(lang) << reinterpret_cast<void*>(run) << QString(steps) << cards;
            };
            row("home", &run<CDialerDlg>, "#1006 ok #1007 ok #1008 ok #1039 cancel", false);
            row("add", &run<CMainCardDlg>,
                "#1022 ok 1016=7 #1022 ok 1017=5 1018>PB #1022 ok 1019=1 #1022 ok 1076=1 "
                "#1022 ok 1020=1 #1022 ok add 1016=9 #1022 cancel home",
                true);
            row("edit", &run<CEditcard>, "#1059 ok 1048>7 1054=8 #1059 ok home", true);
            row("edit saved", &run<CEditcard>, "1048>7 #1059 cancel home", true);
            row("delete", &run<CDeletecard>, "#1043 ok 1045>7 #1043 cancel home", true);
            row("make call", &run<Cphonecall>, "#1028 ok 1034>7 #1028 ok 1031=5550123 #1028 confirm", true);
        }
    }
    void screens()
    {
        QFETCH(QString, language);
        QFETCH(void*, run);
        QFETCH(QString, steps);
        QFETCH(bool, cards);
        const auto runner = reinterpret_cast<QStringList (*)(const QString&, const std::function<void()>&)>(run);
        const Seen english = collect(QLocale(QLocale::English), runner, steps, cards);
        const Seen shown = collect(QLocale(language), runner, steps, cards);
        installTranslations(QLocale(QLocale::English));
        QCOMPARE(shown.texts.keys(), english.texts.keys());
        QStringList untranslated;
        for (auto it = english.texts.begin(); it != english.texts.end(); ++it)
            if (it.value().contains(QRegularExpression("[A-Za-z]")) && shown.texts[it.key()] == it.value()
                && !kKept.contains(it.value()) && it.value() != applicationTitle())
                untranslated << it.key() + '=' + it.value();
        QVERIFY2(untranslated.isEmpty(), qPrintable(untranslated.join(", ")));
        QVERIFY2(shown.tooWide.isEmpty(),
            qPrintable("too wide: " + shown.tooWide.join(", ") + " (English: " + english.tooWide.join(", ") + ")"));
    }
};

QTEST_MAIN(TestTranslations)
#include "TestTranslations.moc"
