// Renders the three card screens, with cards loaded and a selection made, to
// PNG files for people to look at, and checks what a look would catch: every
// shown control inside the screen, no label's text cut off, no two shown
// controls on top of each other.
#include "DeletecardDlg.h"
#include "EditcardDlg.h"
#include "MainCardDlg.h"
#include "ResourceIds.h"
#include "ScreenScript.h"

#include <QDir>
#include <QLabel>
#include <QTemporaryDir>

using namespace screentest;

namespace {

// The templates let the boxes of two-line labels reach into each other's
// blank margins; only controls the user works with must stay apart.
bool mayOverlap(QWidget* a, QWidget* b)
{
    return qobject_cast<QLabel*>(a) && qobject_cast<QLabel*>(b);
}

// A line box is a pixel or two taller than its letters, so the label's own
// size hint says too little: draw the label again with room below and look
// for ink where the real label ends.
bool inkCutOff(QLabel* label)
{
    const QSize real = label->size();
    const int room = std::max(real.height(), label->heightForWidth(real.width())) + 8;
    label->resize(real.width(), room);
    const QImage tall = label->grab().toImage();
    label->resize(real);
    const QRgb background = tall.pixel(tall.width() - 1, tall.height() - 1);
    for (int y = real.height(); y < tall.height(); ++y)
        for (int x = 0; x < tall.width(); ++x)
            if (tall.pixel(x, y) != background)
                return true;
    return false;
}

QStringList layoutProblems(QWidget* screen)
{
    QStringList problems;
    const QRect client = screen->rect();
    std::vector<std::pair<int, QWidget*>> shownControls;
    for (QWidget* w : screen->findChildren<QWidget*>(QRegularExpression(QStringLiteral("^ctl\\d+$")))) {
        if (w->isHidden())
            continue;
        const int id = w->objectName().mid(3).toInt();
        if (!client.contains(w->geometry()))
            problems << QStringLiteral("%1 outside the screen").arg(id);
        if (auto* label = qobject_cast<QLabel*>(w); label && !label->text().isEmpty() && inkCutOff(label))
            problems << QStringLiteral("label %1 \"%2\" cut off").arg(id).arg(label->text());
        for (const auto& [otherId, other] : shownControls)
            if (other->geometry().intersects(w->geometry()) && !mayOverlap(w, other))
                problems << QStringLiteral("%1 overlaps %2").arg(id).arg(otherId);
        shownControls.emplace_back(id, w);
    }
    return problems;
}

} // namespace

class TestCardScreenShots : public QObject {
    Q_OBJECT
private slots:
    void init();
    void screens_data();
    void screens();
    void cutLabelIsSeen();

private:
    std::unique_ptr<QTemporaryDir> m_dir;
};

void TestCardScreenShots::init()
{
    setDeviceClassForTesting(DeviceClass::Other);
    m_dir = std::make_unique<QTemporaryDir>();
    qputenv("XDG_DATA_HOME", m_dir->path().toUtf8());
    writeCards({ card(u"Home"), card(u"Work", u"18005551234", u"4321", u"3", u"011", u"1"),
        card(u"Calling Card Twenty", u"180099900001234", u"", u"5", u"99999", u"") });
}

void TestCardScreenShots::screens_data()
{
    QTest::addColumn<QString>("file");
    QTest::newRow("add") << "add-card.png";
    QTest::newRow("edit") << "edit-card.png";
    QTest::newRow("delete, nothing selected") << "delete-card-opened.png";
    QTest::newRow("delete") << "delete-card.png";
}

void TestCardScreenShots::screens()
{
    QFETCH(QString, file);
    QImage shot;
    QStringList problems;
    auto look = [&](QWidget* w) {
        problems = layoutProblems(w);
        shot = w->grab().toImage();
    };
    Script s;
    std::unique_ptr<CDialogBase> screen;
    if (file.startsWith(u"add")) {
        s.closeScreen("CMainCardDlg", [&](QWidget* w) {
            type(w, res::IDC_ADD_CARDNAME, QStringLiteral("Calling Card Twenty"));
            type(w, res::IDC_ADD_ACCESS, QStringLiteral("180099900001234"));
            choose(w, res::IDC_ADD_PINOPTION, QStringLiteral("Pin Base"));
            type(w, res::IDC_ADD_PIN, QStringLiteral("1234567890"));
            type(w, res::IDC_ADD_PAUSEPIN, QStringLiteral("3"));
            type(w, res::IDC_ADD_PREFIX, QStringLiteral("00011"));
            type(w, res::IDC_ADD_PAUSENUMBER, QStringLiteral("2"));
            look(w);
        });
        screen = std::make_unique<CMainCardDlg>();
    } else if (file.startsWith(u"edit")) {
        s.closeScreen("CEditcard", [&](QWidget* w) {
            choose(w, res::IDC_EDIT_CARDLIST, QStringLiteral("Work"));
            look(w);
        });
        screen = std::make_unique<CEditcard>();
    } else {
        const bool select = file == u"delete-card.png";
        s.closeScreen("CDeletecard", [&](QWidget* w) {
            if (select)
                choose(w, res::IDC_DEL_CARDLIST, QStringLiteral("Calling Card Twenty"));
            look(w);
        });
        screen = std::make_unique<CDeletecard>();
    }
    screen->DoModal();
    QVERIFY2(s.errors().isEmpty() && s.finished(), qPrintable(s.report()));
    QVERIFY(!shot.isNull());
    QVERIFY(QDir().mkpath(QStringLiteral(SHOTS_DIR)));
    QVERIFY(shot.save(QStringLiteral(SHOTS_DIR "/") + file));
    QVERIFY2(problems.isEmpty(), qPrintable(problems.join(QStringLiteral("; "))));
}

// The look must be able to fail: a two-line label given one line's height.
void TestCardScreenShots::cutLabelIsSeen()
{
    QLabel label(QStringLiteral("Pause Before Number"));
    label.setAlignment(Qt::AlignLeft | Qt::AlignTop); // as the templates place labels
    label.setWordWrap(true);
    const QFontMetrics fm(label.font());
    label.resize(fm.horizontalAdvance(QStringLiteral("Number ")), fm.height());
    QVERIFY(inkCutOff(&label));
    label.resize(label.width(), 3 * fm.height());
    QVERIFY(!inkCutOff(&label));
}

QTEST_MAIN(TestCardScreenShots)
#include "TestCardScreenShots.moc"
