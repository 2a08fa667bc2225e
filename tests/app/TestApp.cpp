#include "CardFile.h"
#include "DialerDlg.h"
#include "MessageBoxes.h"
#include "ModalDriver.h"
#include "ResourceIds.h"

#include <QLabel>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <sys/resource.h>

namespace {

CardRecord card(const char16_t* name)
{
    return { name, u"5550100", u"", u"2", u"", u"" };
}

QPushButton* button(QWidget* screen, int id)
{
    return screen->findChild<QPushButton*>(QStringLiteral("ctl%1").arg(id));
}

} // namespace

class TestHomeScreen : public QObject {
    Q_OBJECT
private slots:
    void init();
    void noCardRefusesScreens_data();
    void noCardRefusesScreens();
    void cardOpensScreens_data();
    void cardOpensScreens();
    void addOpensWithoutCards();
    void firstCardWithEmptyNameIsNoCard();
    void stackedHomeScreensLoadAfresh();
    void exitCancelKeepsScreen();
    void exitOkEndsProcessFromStack();
    void deepStackIsRefusedNotCrashed();
    void openingState();

private:
    void writeBook(const std::vector<CardRecord>& cards);
    std::unique_ptr<QTemporaryDir> m_dir;
};

void TestHomeScreen::init()
{
    setDeviceClassForTesting(DeviceClass::Other);
    m_dir = std::make_unique<QTemporaryDir>();
    qputenv("XDG_DATA_HOME", m_dir->path().toUtf8());
}

void TestHomeScreen::writeBook(const std::vector<CardRecord>& cards)
{
    CardBook book;
    for (const CardRecord& c : cards)
        book.append(c);
    QVERIFY(CardFile::save(book, SaveMode::Replace));
}

void TestHomeScreen::noCardRefusesScreens_data()
{
    QTest::addColumn<int>("id");
    QTest::newRow("Make Call") << int(res::IDC_MAKECALL);
    QTest::newRow("Edit Telvane") << int(res::IDC_EDIT);
    QTest::newRow("Delete Telvane") << int(res::IDC_DELETE);
}

void TestHomeScreen::noCardRefusesScreens()
{
    QFETCH(int, id);
    CDialerDlg home;
    QString text, caption;
    QMessageBox::Icon icon {};
    bool opened = false;
    modal::onNext([&](QWidget* w) {
        modal::onNext([&](QWidget* next) {
            // Either the refusal, or (wrongly) a screen.
            if (auto* box = qobject_cast<QMessageBox*>(next)) {
                text = box->text();
                caption = box->windowTitle();
                icon = box->icon();
                box->button(QMessageBox::Ok)->click();
            } else {
                opened = true;
                modal::close(next);
            }
            QTimer::singleShot(0, w, [w] {
                QCOMPARE(QApplication::activeModalWidget(), w);
                modal::close(w);
            });
        });
        button(w, id)->click();
    });
    home.DoModal();
    QVERIFY(!opened);
    QCOMPARE(text, QStringLiteral("Card is not Available"));
    QCOMPARE(caption, applicationTitle());
    QCOMPARE(caption, QStringLiteral("test_homescreen"));
    QCOMPARE(icon, QMessageBox::Warning);
}

void TestHomeScreen::cardOpensScreens_data()
{
    QTest::addColumn<int>("id");
    QTest::addColumn<QString>("screenClass");
    QTest::newRow("Make Call") << int(res::IDC_MAKECALL) << "Cphonecall";
    QTest::newRow("Edit Telvane") << int(res::IDC_EDIT) << "CEditcard";
    QTest::newRow("Delete Telvane") << int(res::IDC_DELETE) << "CDeletecard";
}

void TestHomeScreen::cardOpensScreens()
{
    QFETCH(int, id);
    QFETCH(QString, screenClass);
    writeBook({ card(u"Home") });
    CDialerDlg home;
    QString opened;
    modal::onNext([&](QWidget* w) {
        modal::onNext([&, w](QWidget* next) {
            opened = QString::fromLatin1(next->metaObject()->className());
            if (auto* box = qobject_cast<QMessageBox*>(next))
                box->button(QMessageBox::Ok)->click();
            else
                modal::close(next);
            QTimer::singleShot(0, w, [w] { modal::close(w); });
        });
        button(w, id)->click();
    });
    home.DoModal();
    QCOMPARE(opened, screenClass);
}

void TestHomeScreen::addOpensWithoutCards()
{
    CDialerDlg home;
    QString opened;
    modal::onNext([&](QWidget* w) {
        modal::onNext([&, w](QWidget* next) {
            opened = QString::fromLatin1(next->metaObject()->className());
            modal::close(next);
            QTimer::singleShot(0, w, [w] { modal::close(w); });
        });
        button(w, res::IDC_ADD)->click();
    });
    home.DoModal();
    QCOMPARE(opened, QStringLiteral("CMainCardDlg"));
}

void TestHomeScreen::firstCardWithEmptyNameIsNoCard()
{
    // Count 1, one card whose six strings are all empty.
    QFile f(QString::fromStdString(CardFile::defaultPath().string()));
    QDir().mkpath(QFileInfo(f).absolutePath());
    QVERIFY(f.open(QIODevice::WriteOnly));
    QByteArray bytes("\x01\x00\x00\x00", 4);
    for (int i = 0; i < 6; ++i)
        bytes += QByteArray("\xFF\xFE\xFF\x00", 4);
    f.write(bytes);
    f.close();
    CDialerDlg home;
    QString text;
    modal::onNext([&](QWidget* w) {
        modal::answerNextBox(QMessageBox::Ok, &text);
        button(w, res::IDC_MAKECALL)->click();
        modal::close(w);
    });
    home.DoModal();
    QCOMPARE(home.book().count(), 0);
    QCOMPARE(text, QStringLiteral("Card is not Available"));
}

void TestHomeScreen::stackedHomeScreensLoadAfresh()
{
    CDialerDlg first;
    int secondCount = -1;
    QString laterText;
    modal::onNext([&](QWidget* w) {
        writeBook({ card(u"Home"), card(u"Work") });
        modal::onNext([&](QWidget* second) {
            secondCount = static_cast<CDialerDlg*>(second)->book().count();
            modal::close(second);
        });
        ShowHomeScreen();
        // Back on the first screen: it keeps the book it opened with.
        QCOMPARE(QApplication::activeModalWidget(), w);
        modal::answerNextBox(QMessageBox::Ok, &laterText);
        button(w, res::IDC_MAKECALL)->click();
        modal::close(w);
    });
    first.DoModal();
    QCOMPARE(secondCount, 2);
    QCOMPARE(first.book().count(), 0);
    QCOMPARE(laterText, QStringLiteral("Card is not Available"));
}

void TestHomeScreen::exitCancelKeepsScreen()
{
    CDialerDlg home;
    QString text, caption;
    QMessageBox::Icon icon {};
    bool stillOpen = false;
    modal::onNext([&](QWidget* w) {
        modal::answerNextBox(QMessageBox::Cancel, &text, &caption, &icon);
        button(w, res::IDC_EXIT)->click();
        stillOpen = w->isVisible() && QApplication::activeModalWidget() == w;
        modal::close(w);
    });
    home.DoModal();
    QVERIFY(stillOpen);
    QCOMPARE(text, QStringLiteral("Are you sure you want to exit Application, Press OK to Quit"));
    QCOMPARE(caption, QStringLiteral("Telvane"));
    QCOMPARE(icon, QMessageBox::NoIcon);
}

void TestHomeScreen::exitOkEndsProcessFromStack()
{
    QProcess child;
    child.setProgram(QStringLiteral(HOME_EXIT_CHILD));
    child.start();
    QVERIFY(child.waitForFinished(30000));
    const QByteArray out = child.readAllStandardOutput();
    QCOMPARE(child.exitStatus(), QProcess::NormalExit);
    QVERIFY2(out.contains("depth 3"), out.constData());
    QVERIFY2(!out.contains("returned"), out.constData());
    QCOMPARE(child.exitCode(), 0);
}

void TestHomeScreen::deepStackIsRefusedNotCrashed()
{
    // With a hard stack limit of 4 MiB the program cannot raise its stack;
    // stacking on and on must end in a message, not a crash.
    QProcess child;
    child.setProgram(QStringLiteral(STACK_GUARD_CHILD));
    child.setChildProcessModifier([] {
        rlimit rl { 4u * 1024 * 1024, 4u * 1024 * 1024 };
        setrlimit(RLIMIT_STACK, &rl);
    });
    child.start();
    QVERIFY(child.waitForFinished(120000));
    const QByteArray out = child.readAllStandardOutput();
    QCOMPARE(child.exitStatus(), QProcess::NormalExit);
    QCOMPARE(child.exitCode(), 0);
    QVERIFY2(out.contains("refused at depth"), out.constData());
    QVERIFY2(out.contains("Too many screens are open"), out.constData());
    const int depth = out.mid(out.indexOf("depth ") + 6).split(':').first().toInt();
    QVERIFY2(depth > 50, out.constData());
}

void TestHomeScreen::openingState()
{
    CDialerDlg home;
    QWidget* focused = nullptr;
    QFont labelFont;
    modal::onNext([&](QWidget* w) {
        focused = QApplication::focusWidget();
        labelFont = w->findChild<QLabel*>(QStringLiteral("ctl1073"))->font();
        modal::close(w);
    });
    home.DoModal();
    QCOMPARE(focused, button(&home, res::IDC_ADD));
    QCOMPARE(home.windowTitle(), QStringLiteral("Quorin Dialer"));
    // The product label's own font: a 16-pixel cell, 8 pixels a character.
    const QFontMetrics fm(labelFont);
    QVERIFY2(qAbs(fm.height() - 16) <= 1, qPrintable(QString::number(fm.height())));
    QVERIFY2(qAbs(fm.averageCharWidth() - 8) <= 1, qPrintable(QString::number(fm.averageCharWidth())));
    QVERIFY(labelFont != home.font());
}

QTEST_MAIN(TestHomeScreen)
#include "TestHomeScreen.moc"
