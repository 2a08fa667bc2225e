#include "DialogBase.h"
#include "DialogTemplates.h"
#include "KeyFilter.h"
#include "ResourceIds.h"
#include "ScrollRules.h"

#include <QLineEdit>
#include <QScrollBar>
#include <QTest>
#include <QTimer>

#include <set>

namespace {

// A screen on the add-card template with the scrolling handler and the key
// filter on the PIN field, to drive the shared machinery on real controls.
class ScrollingScreen : public CDialogBase {
public:
    ScrollingScreen()
        : CDialogBase(res::IDD_MAINCARD)
    {
    }
    void setExtent(int extent) { SetScrollInfo(extent); }
    void setPos(int pos) { m_scrollPos = pos; }

protected:
    VScroll vscrollMode() const override { return VScroll::Handler; }
    int keyFilterId() const override { return res::IDC_ADD_PIN; }
};

} // namespace

class TestScreenRules : public QObject {
    Q_OBJECT
private slots:
    void scrollingDownStepByStep();
    void scrollSteps_data();
    void scrollSteps();
    void scrollExtentFromHeights();
    void scrollMovesControls();
    void keyFilterRule_data();
    void keyFilterRule();
    void keyFilterOnRealControls_data();
    void keyFilterOnRealControls();
    void typingLimitsLeaveProgramTextWhole();
    void templatesKeepControlsInside_data();
    void templatesKeepControlsInside();
    void dialogUnitsFollowFont();
};

void TestScreenRules::scrollingDownStepByStep()
{
    int pos = 0;
    QList<int> seen;
    for (int i = 0; i < 20; ++i) {
        const ScrollStep s = vscrollStep(SB_LINEDOWN, pos, 78, 0);
        if (s.kind == ScrollStep::Ignore)
            break;
        QCOMPARE(s.kind, ScrollStep::Move);
        pos += s.delta;
        seen << pos;
    }
    const QList<int> expected { 7, 14, 21, 28, 35, 42, 49, 56, 63, 70, 77, 78 };
    QCOMPARE(seen, expected);
}

void TestScreenRules::scrollSteps_data()
{
    QTest::addColumn<int>("code");
    QTest::addColumn<int>("pos");
    QTest::addColumn<int>("extent");
    QTest::addColumn<uint>("thumb");
    QTest::addColumn<int>("kind");
    QTest::addColumn<int>("delta");
    const int M = ScrollStep::Move, I = ScrollStep::Ignore, C = ScrollStep::ClampToExtent;
    QTest::newRow("up from 3 reaches 0") << int(SB_LINEUP) << 3 << 78 << 0u << M << -3;
    QTest::newRow("page up from 20") << int(SB_PAGEUP) << 20 << 78 << 0u << M << -7;
    QTest::newRow("up at 0 stops") << int(SB_LINEUP) << 0 << 78 << 0u << I << 0;
    QTest::newRow("up from exactly one step") << int(SB_LINEUP) << 7 << 78 << 0u << M << -7;
    QTest::newRow("page down uses the line step") << int(SB_PAGEDOWN) << 0 << 78 << 0u << M << 7;
    QTest::newRow("down at extent stops") << int(SB_LINEDOWN) << 78 << 78 << 0u << I << 0;
    QTest::newRow("last step is one pixel") << int(SB_LINEDOWN) << 77 << 78 << 0u << M << 1;
    QTest::newRow("thumb 10 to 40") << int(SB_THUMBTRACK) << 10 << 78 << 40u << M << 30;
    QTest::newRow("thumb position back up") << int(SB_THUMBPOSITION) << 40 << 78 << 5u << M << -35;
    QTest::newRow("thumb at end from end clamps") << int(SB_THUMBTRACK) << 78 << 78 << 90u << C << 0;
    QTest::newRow("thumb below end from end moves") << int(SB_THUMBTRACK) << 78 << 78 << 60u << M << -18;
    QTest::newRow("top does nothing") << int(SB_TOP) << 30 << 78 << 0u << I << 0;
    QTest::newRow("bottom does nothing") << int(SB_BOTTOM) << 30 << 78 << 0u << I << 0;
    QTest::newRow("end scroll does nothing") << int(SB_ENDSCROLL) << 30 << 78 << 0u << I << 0;
    QTest::newRow("extent 0 never moves down") << int(SB_LINEDOWN) << 0 << 0 << 0u << I << 0;
    QTest::newRow("extent 0 never moves up") << int(SB_LINEUP) << 0 << 0 << 0u << I << 0;
    QTest::newRow("small extent has step 0") << int(SB_LINEDOWN) << 0 << 9 << 0u << M << 0;
    // A negative extent compares as a huge unsigned thumb bound.
    QTest::newRow("negative extent thumb") << int(SB_THUMBTRACK) << 0 << -5 << 3u << M << 3;
}

void TestScreenRules::scrollSteps()
{
    QFETCH(int, code);
    QFETCH(int, pos);
    QFETCH(int, extent);
    QFETCH(uint, thumb);
    QFETCH(int, kind);
    QFETCH(int, delta);
    const ScrollStep s = vscrollStep(code, pos, extent, thumb);
    QCOMPARE(int(s.kind), kind);
    QCOMPARE(s.delta, delta);
}

void TestScreenRules::scrollExtentFromHeights()
{
    // A 320-pixel display that leaves the screen 268 pixels.
    QCOMPARE(scrollExtentFor(320, 268), 78);
    QCOMPARE(scrollExtentFor(320, 268) / 10, 7);
}

void TestScreenRules::scrollMovesControls()
{
    setDeviceClassForTesting(DeviceClass::Professional);
    ScrollingScreen screen;
    screen.setExtent(78);
    QWidget* name = screen.GetDlgItem(res::IDC_ADD_CARDNAME);
    const int y0 = name->y();
    screen.OnVScroll(SB_THUMBTRACK, 40);
    QCOMPARE(screen.scrollPos(), 40);
    QCOMPARE(name->y(), y0 - 40);
    QCOMPARE(screen.scrollBar()->value(), 40);
    screen.OnVScroll(SB_TOP, 0);
    QCOMPARE(screen.scrollPos(), 40);
    screen.OnVScroll(SB_LINEUP, 0);
    QCOMPARE(screen.scrollPos(), 33);
    QCOMPARE(name->y(), y0 - 33);
    // The bar's own arrows come through the same rules.
    screen.scrollBar()->triggerAction(QAbstractSlider::SliderSingleStepAdd);
    QCOMPARE(screen.scrollPos(), 40);
    QCOMPARE(screen.scrollBar()->value(), 40);
    screen.scrollBar()->triggerAction(QAbstractSlider::SliderToMaximum);
    QCOMPARE(screen.scrollPos(), 40);
    QCOMPARE(name->y(), y0 - 40);

    // A desktop gets no scroll bar at all.
    setDeviceClassForTesting(DeviceClass::Other);
    ScrollingScreen desktop;
    desktop.setExtent(500);
    QVERIFY(!desktop.scrollBar());
}

void TestScreenRules::keyFilterRule_data()
{
    QTest::addColumn<int>("focused");
    QTest::addColumn<int>("key");
    QTest::addColumn<bool>("dropped");
    QTest::newRow("A") << 1019 << 0x41 << true;
    QTest::newRow("Z") << 1019 << 0x5A << true;
    QTest::newRow("space") << 1019 << 0x20 << true;
    QTest::newRow("digit") << 1019 << 0x31 << false;
    QTest::newRow("hash") << 1019 << int('#') << false;
    QTest::newRow("before A") << 1019 << 0x40 << false;
    QTest::newRow("after Z") << 1019 << 0x5B << false;
    QTest::newRow("other field") << 1016 << 0x41 << false;
    QTest::newRow("no focus") << 0 << 0x41 << false;
}

void TestScreenRules::keyFilterRule()
{
    QFETCH(int, focused);
    QFETCH(int, key);
    QFETCH(bool, dropped);
    QCOMPARE(keyFilterDrops(focused, 1019, key), dropped);
}

void TestScreenRules::keyFilterOnRealControls_data()
{
    QTest::addColumn<int>("id");
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("shown");
    QTest::newRow("PIN drops letters and space") << int(res::IDC_ADD_PIN) << "A1z 2#B"
                                                 << "12#";
    QTest::newRow("card name takes letters") << int(res::IDC_ADD_CARDNAME) << "Az 1"
                                             << "Az 1";
    QTest::newRow("digits-only field") << int(res::IDC_ADD_ACCESS) << "12a-3"
                                       << "123";
}

void TestScreenRules::keyFilterOnRealControls()
{
    QFETCH(int, id);
    QFETCH(QString, typed);
    QFETCH(QString, shown);
    setDeviceClassForTesting(DeviceClass::Other);
    ScrollingScreen screen;
    QTimer::singleShot(0, &screen, [&] {
        auto* edit = screen.item<QLineEdit>(id);
        edit->show();
        edit->setFocus();
        QTest::keyClicks(edit, typed);
        screen.reject();
    });
    screen.DoModal();
    QCOMPARE(screen.GetDlgItemText(id), shown);
}

void TestScreenRules::typingLimitsLeaveProgramTextWhole()
{
    setDeviceClassForTesting(DeviceClass::Other);
    ScrollingScreen screen;
    screen.LimitText(res::IDC_ADD_PREFIX, 5);
    QString typed, shortened, refused;
    QTimer::singleShot(0, &screen, [&] {
        auto* edit = screen.item<QLineEdit>(res::IDC_ADD_PREFIX);
        edit->setFocus();
        QTest::keyClicks(edit, "1234567");
        typed = edit->text();
        // Text the program sets stays whole and can still be shortened.
        screen.SetDlgItemText(res::IDC_ADD_PREFIX, QStringLiteral("123456789"));
        edit->end(false);
        QTest::keyClick(edit, Qt::Key_Backspace);
        shortened = edit->text();
        QTest::keyClick(edit, Qt::Key_1);
        refused = edit->text();
        screen.reject();
    });
    screen.DoModal();
    QCOMPARE(typed, QStringLiteral("12345"));
    QCOMPARE(shortened, QStringLiteral("12345678"));
    QCOMPARE(refused, QStringLiteral("12345678"));
}

void TestScreenRules::templatesKeepControlsInside_data()
{
    QTest::addColumn<int>("id");
    for (int id : dialogTemplateIds())
        QTest::newRow(QByteArray::number(id)) << id;
}

void TestScreenRules::templatesKeepControlsInside()
{
    QFETCH(int, id);
    const DialogTemplate& t = dialogTemplate(id);
    const QRect bounds(0, 0, t.widthDlu, t.heightDlu);
    std::set<int> ids;
    for (const ControlTemplate& c : t.controls) {
        QVERIFY2(ids.insert(c.id).second, qPrintable(QString("duplicate id %1").arg(c.id)));
        QVERIFY2(bounds.contains(c.rectDlu), qPrintable(QString("control %1 outside").arg(c.id)));
    }
}

void TestScreenRules::dialogUnitsFollowFont()
{
    const DialogUnits u { 6, 13 };
    QCOMPARE(u.toPixels(QRect(30, 26, 100, 14)), QRect(45, 42, 150, 23));
    QFont big(QStringLiteral("DejaVu Sans"));
    big.setPixelSize(30);
    QFont small(QStringLiteral("DejaVu Sans"));
    small.setPixelSize(10);
    QVERIFY(dialogUnitsFor(big).baseX > dialogUnitsFor(small).baseX);
    QVERIFY(dialogUnitsFor(big).baseY > dialogUnitsFor(small).baseY);
}

QTEST_MAIN(TestScreenRules)
#include "TestScreenRules.moc"
