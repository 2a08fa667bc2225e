#include "DialerDlg.h"
#include "MainCardDlg.h"
#include "MessageBoxes.h"
#include "ResourceIds.h"
#include "ScreenScript.h"

#include <QTemporaryDir>

using namespace screentest;

namespace {

const QString kAsk = QStringLiteral("Are you sure you want to add this Telvane?");
const QString kDuplicate = QStringLiteral("Card name exist.Please add card with different name");
const QString kFull = QStringLiteral("The card book is full: delete a card before adding another.");

// The add form as a user fills it, top to bottom.
struct Form {
    QString name, access, pin, pausePin, pauseNumber, prefix;
    bool pinBase = false;
};

void fill(QWidget* w, const Form& f)
{
    type(w, res::IDC_ADD_CARDNAME, f.name);
    type(w, res::IDC_ADD_ACCESS, f.access);
    if (f.pinBase) {
        choose(w, res::IDC_ADD_PINOPTION, QStringLiteral("Pin Base"));
        type(w, res::IDC_ADD_PIN, f.pin);
        type(w, res::IDC_ADD_PAUSEPIN, f.pausePin);
    }
    type(w, res::IDC_ADD_PAUSENUMBER, f.pauseNumber);
    type(w, res::IDC_ADD_PREFIX, f.prefix);
}

Form simple(const QString& name)
{
    return { name, QStringLiteral("5550100"), {}, {}, QStringLiteral("2"), {} };
}

// Adds a card on a screen that is on top, answering the question with OK;
// the home screen stacked after it is closed at once.
void addOn(Script& s, QWidget* w, const Form& f)
{
    fill(w, f);
    s.box(QMessageBox::Ok).closeScreen("CDialerDlg");
    click(w, res::IDC_ADD_ADD);
}

} // namespace

Q_DECLARE_METATYPE(Form)

class TestAddCard : public QObject {
    Q_OBJECT
private slots:
    void init();
    void openingState();
    void validationOrder_data();
    void validationOrder();
    void pinLessRefusalKeepsPinHidden();
    void answers_data();
    void answers();
    void firstCardIntoMissingFile();
    void pinOptionRules();
    void hiddenPinIsStored();
    void duplicateOpensFreshScreen();
    void nameDifferingInCaseIsNew();
    void eleventhCardRefused();
    void cancelOnlyStacksHome();
    void keyFilter_data();
    void keyFilter();
    void staleBook();
    void fileChangedDuringQuestion();
    void boxesLookRight();

private:
    std::unique_ptr<QTemporaryDir> m_dir;
};

void TestAddCard::init()
{
    setDeviceClassForTesting(DeviceClass::Other);
    m_dir = std::make_unique<QTemporaryDir>();
    qputenv("XDG_DATA_HOME", m_dir->path().toUtf8());
}

void TestAddCard::openingState()
{
    writeCards({ card(u"Home") });
    QStringList options;
    int option = -2;
    bool pinShown = true, pausePinReadOnly = false;
    QWidget* focused = nullptr;
    QString name21;
    Script s;
    s.screen("CMainCardDlg", [&](QWidget* w) {
        options = entries(w, res::IDC_ADD_PINOPTION);
        option = ctl<QComboBox>(w, res::IDC_ADD_PINOPTION)->currentIndex();
        pinShown = shown(w, res::IDC_ADD_PIN);
        pausePinReadOnly = readOnly(w, res::IDC_ADD_PAUSEPIN);
        focused = QApplication::focusWidget();
        type(w, res::IDC_ADD_CARDNAME, QStringLiteral("abcdefghijklmnopqrstuvwxyz"));
        name21 = text(w, res::IDC_ADD_CARDNAME);
        static_cast<QDialog*>(w)->reject();
    });
    CMainCardDlg screen;
    screen.DoModal();
    QVERIFY2(s.errors().isEmpty() && s.finished(), qPrintable(s.report()));
    QCOMPARE(options, (QStringList { QStringLiteral("Pin Base"), QStringLiteral("Pin Less") }));
    QCOMPARE(option, 1);
    QVERIFY(!pinShown);
    QVERIFY(pausePinReadOnly);
    QCOMPARE(focused, ctl(&screen, res::IDC_ADD_CARDNAME));
    QCOMPARE(name21, QStringLiteral("abcdefghijklmnopqrst"));
    QCOMPARE(screen.book().count(), 1);
    QCOMPARE(screen.windowTitle(), QStringLiteral("Quorin Dialer"));
}

void TestAddCard::validationOrder_data()
{
    QTest::addColumn<Form>("form");
    QTest::addColumn<QString>("message");
    const QString n = QStringLiteral("Work"), a = QStringLiteral("5550100"), one = QStringLiteral("1");
    QTest::newRow("all empty") << Form {} << "Card Name must not be blank";
    QTest::newRow("all but name") << Form { {}, a, {}, {}, one, one } << "Card Name must not be blank";
    QTest::newRow("no access") << Form { n, {}, {}, {}, one, {} } << "Access Number must not be blank";
    QTest::newRow("pin less, no pause") << Form { n, a, {}, {}, {}, {} } << "Pause Before Number must not be blank";
    QTest::newRow("pin base, nothing") << Form { n, a, {}, {}, {}, {}, true } << "Pin Option field must not be blank";
    QTest::newRow("pin base, no pin") << Form { n, a, {}, one, one, {}, true } << "Pin Option field must not be blank";
    QTest::newRow("pin base, no pause pin")
        << Form { n, a, QStringLiteral("1234"), {}, {}, {}, true } << "Pause Before Pin must not be blank";
    QTest::newRow("pin base, no pause number")
        << Form { n, a, QStringLiteral("1234"), one, {}, {}, true } << "Pause Before Number must not be blank";
}

void TestAddCard::validationOrder()
{
    QFETCH(Form, form);
    QFETCH(QString, message);
    const QByteArray before = fileBytes({ card(u"Home") });
    writeCardFile(before);
    const quint64 inode = cardFileInode();
    Script::Box seen;
    QString nameAfter, accessAfter, pauseAfter;
    bool stillTop = false;
    Script s;
    s.screen("CMainCardDlg", [&](QWidget* w) {
        fill(w, form);
        s.box(QMessageBox::Ok, &seen);
        click(w, res::IDC_ADD_ADD);
        stillTop = QApplication::activeModalWidget() == w;
        nameAfter = text(w, res::IDC_ADD_CARDNAME);
        accessAfter = text(w, res::IDC_ADD_ACCESS);
        pauseAfter = text(w, res::IDC_ADD_PAUSENUMBER);
        static_cast<QDialog*>(w)->reject();
    });
    CMainCardDlg screen;
    screen.DoModal();
    QVERIFY2(s.errors().isEmpty() && s.finished(), qPrintable(s.report()));
    QCOMPARE(seen.text, message);
    QVERIFY(stillTop);
    QCOMPARE(nameAfter, form.name);
    QCOMPARE(accessAfter, form.access);
    QCOMPARE(pauseAfter, form.pauseNumber);
    QCOMPARE(readCardFile(), before);
    QCOMPARE(cardFileInode(), inode);
}

void TestAddCard::pinLessRefusalKeepsPinHidden()
{
    Script s;
    bool pinShown = true;
    s.screen("CMainCardDlg", [&](QWidget* w) {
        fill(w, Form { QStringLiteral("Work"), QStringLiteral("555"), {}, {}, {}, {} });
        s.box(QMessageBox::Ok);
        click(w, res::IDC_ADD_ADD);
        pinShown = shown(w, res::IDC_ADD_PIN);
        type(w, res::IDC_ADD_PAUSENUMBER, QStringLiteral("3"));
        // No PIN asked for: straight to the question.
        s.box(QMessageBox::Cancel).closeScreen("CDialerDlg");
        click(w, res::IDC_ADD_ADD);
        static_cast<QDialog*>(w)->reject();
    });
    CMainCardDlg screen;
    screen.DoModal();
    QVERIFY2(s.errors().isEmpty() && s.finished(), qPrintable(s.report()));
    QVERIFY(!pinShown);
    QCOMPARE(s.log(),
        (QStringList {
            "screen:CMainCardDlg", "box:Pause Before Number must not be blank", "box:" + kAsk, "screen:CDialerDlg" }));
}

void TestAddCard::answers_data()
{
    QTest::addColumn<bool>("yes");
    QTest::newRow("OK adds") << true;
    QTest::newRow("Cancel adds nothing") << false;
}

void TestAddCard::answers()
{
    QFETCH(bool, yes);
    const std::vector<CardRecord> old { card(u"Home"), card(u"Work", u"18005551234", u"4321", u"3", u"011", u"1") };
    const QByteArray before = fileBytes(old);
    writeCardFile(before);
    const quint64 inode = cardFileInode();
    int homeCards = -1;
    bool backOnScreen = false;
    QString nameAfter;
    Script s;
    s.screen("CMainCardDlg", [&](QWidget* w) {
        fill(w,
            Form { QStringLiteral("Calling Card"), QStringLiteral("18007770000"), QStringLiteral("98765"),
                QStringLiteral("4"), QStringLiteral("1"), QStringLiteral("00"), true });
        s.box(yes ? QMessageBox::Ok : QMessageBox::Cancel).closeScreen("CDialerDlg", [&](QWidget* home) {
            homeCards = static_cast<CDialerDlg*>(home)->book().count();
        });
        click(w, res::IDC_ADD_ADD);
        // The screen stays open beneath the home screen, its fields kept.
        backOnScreen = QApplication::activeModalWidget() == w;
        nameAfter = text(w, res::IDC_ADD_CARDNAME);
        static_cast<QDialog*>(w)->reject();
    });
    CMainCardDlg screen;
    screen.DoModal();
    QVERIFY2(s.errors().isEmpty() && s.finished(), qPrintable(s.report()));
    QCOMPARE(s.log(), (QStringList { "screen:CMainCardDlg", "box:" + kAsk, "screen:CDialerDlg" }));
    QVERIFY(backOnScreen);
    QCOMPARE(nameAfter, QStringLiteral("Calling Card"));
    if (yes) {
        auto now = old;
        now.push_back(card(u"Calling Card", u"18007770000", u"98765", u"1", u"00", u"4"));
        QCOMPARE(readCardFile(), fileBytes(now));
        QCOMPARE(homeCards, 3);
        QCOMPARE(screen.book().count(), 3);
        struct stat st { };
        QCOMPARE(::stat(CardFile::defaultPath().c_str(), &st), 0);
        QCOMPARE(st.st_mode & 0777, 0600u); // it holds PINs
    } else {
        QCOMPARE(readCardFile(), before);
        QCOMPARE(cardFileInode(), inode);
        QCOMPARE(homeCards, 2);
    }
}

void TestAddCard::firstCardIntoMissingFile()
{
    QVERIFY(!QFile::exists(cardPath()));
    Script s;
    s.screen("CMainCardDlg", [&](QWidget* w) {
        addOn(s, w, simple(QStringLiteral("Home")));
        static_cast<QDialog*>(w)->reject();
    });
    CMainCardDlg screen;
    screen.DoModal();
    QVERIFY2(s.errors().isEmpty() && s.finished(), qPrintable(s.report()));
    QCOMPARE(readCardFile(), fileBytes({ card(u"Home") }));
}

void TestAddCard::pinOptionRules()
{
    bool baseShown = false, baseEditable = false, lessShown = true, lessReadOnly = false;
    QString pinKept, pausePinKept;
    Script s;
    s.screen("CMainCardDlg", [&](QWidget* w) {
        choose(w, res::IDC_ADD_PINOPTION, QStringLiteral("Pin Base"));
        baseShown = shown(w, res::IDC_ADD_PIN);
        baseEditable = !readOnly(w, res::IDC_ADD_PAUSEPIN);
        type(w, res::IDC_ADD_PIN, QStringLiteral("777"));
        type(w, res::IDC_ADD_PAUSEPIN, QStringLiteral("5"));
        choose(w, res::IDC_ADD_PINOPTION, QStringLiteral("Pin Less"));
        lessShown = shown(w, res::IDC_ADD_PIN);
        lessReadOnly = readOnly(w, res::IDC_ADD_PAUSEPIN);
        pinKept = text(w, res::IDC_ADD_PIN);
        pausePinKept = text(w, res::IDC_ADD_PAUSEPIN);
        static_cast<QDialog*>(w)->reject();
    });
    CMainCardDlg screen;
    screen.DoModal();
    QVERIFY2(s.errors().isEmpty() && s.finished(), qPrintable(s.report()));
    QVERIFY(baseShown);
    QVERIFY(baseEditable);
    QVERIFY(!lessShown);
    QVERIFY(lessReadOnly);
    QCOMPARE(pinKept, QStringLiteral("777"));
    QCOMPARE(pausePinKept, QStringLiteral("5"));
}

void TestAddCard::hiddenPinIsStored()
{
    Script s;
    s.screen("CMainCardDlg", [&](QWidget* w) {
        Form f { QStringLiteral("Work"), QStringLiteral("555"), QStringLiteral("12"), QStringLiteral("3"),
            QStringLiteral("4"), {}, true };
        fill(w, f);
        choose(w, res::IDC_ADD_PINOPTION, QStringLiteral("Pin Less"));
        s.box(QMessageBox::Ok).closeScreen("CDialerDlg");
        click(w, res::IDC_ADD_ADD);
        static_cast<QDialog*>(w)->reject();
    });
    CMainCardDlg screen;
    screen.DoModal();
    QVERIFY2(s.errors().isEmpty() && s.finished(), qPrintable(s.report()));
    QCOMPARE(readCardFile(), fileBytes({ card(u"Work", u"555", u"12", u"4", u"", u"3") }));
}

void TestAddCard::duplicateOpensFreshScreen()
{
    const QByteArray before = fileBytes({ card(u"Home"), card(u"Work") });
    writeCardFile(before);
    const quint64 inode = cardFileInode();
    QString freshName = QStringLiteral("<unset>");
    int freshCards = -1;
    bool backOnFirst = false;
    Script s;
    s.screen("CMainCardDlg", [&](QWidget* w) {
        fill(w, simple(QStringLiteral("Work")));
        s.box(QMessageBox::Ok).closeScreen("CMainCardDlg", [&](QWidget* fresh) {
            freshName = text(fresh, res::IDC_ADD_CARDNAME);
            freshCards = static_cast<CMainCardDlg*>(fresh)->book().count();
        });
        click(w, res::IDC_ADD_ADD);
        backOnFirst = QApplication::activeModalWidget() == w;
        static_cast<QDialog*>(w)->reject();
    });
    CMainCardDlg screen;
    screen.DoModal();
    QVERIFY2(s.errors().isEmpty() && s.finished(), qPrintable(s.report()));
    QCOMPARE(s.log(), (QStringList { "screen:CMainCardDlg", "box:" + kDuplicate, "screen:CMainCardDlg" }));
    QCOMPARE(freshName, QString());
    QCOMPARE(freshCards, 2);
    QVERIFY(backOnFirst);
    QCOMPARE(readCardFile(), before);
    QCOMPARE(cardFileInode(), inode);
}

void TestAddCard::nameDifferingInCaseIsNew()
{
    writeCards({ card(u"Work") });
    Script s;
    s.screen("CMainCardDlg", [&](QWidget* w) {
        addOn(s, w, simple(QStringLiteral("work")));
        static_cast<QDialog*>(w)->reject();
    });
    CMainCardDlg screen;
    screen.DoModal();
    QVERIFY2(s.errors().isEmpty() && s.finished(), qPrintable(s.report()));
    QCOMPARE(readCardFile(), fileBytes({ card(u"Work"), card(u"work") }));
}

void TestAddCard::eleventhCardRefused()
{
    std::vector<CardRecord> ten;
    for (int i = 0; i < 10; ++i)
        ten.push_back(card(QStringLiteral("Card %1").arg(i).toStdU16String().c_str()));
    const QByteArray before = fileBytes(ten);
    writeCardFile(before);
    const quint64 inode = cardFileInode();
    Script::Box seen;
    Script s;
    s.screen("CMainCardDlg", [&](QWidget* w) {
        fill(w, simple(QStringLiteral("Eleventh")));
        s.box(QMessageBox::Ok, &seen);
        click(w, res::IDC_ADD_ADD);
        static_cast<QDialog*>(w)->reject();
    });
    CMainCardDlg screen;
    screen.DoModal();
    QVERIFY2(s.errors().isEmpty() && s.finished(), qPrintable(s.report()));
    // Refused before the question; no home screen, nothing written.
    QCOMPARE(s.log(), (QStringList { "screen:CMainCardDlg", "box:" + kFull }));
    QCOMPARE(seen.caption, applicationTitle());
    QCOMPARE(seen.icon, QMessageBox::Warning);
    QCOMPARE(readCardFile(), before);
    QCOMPARE(cardFileInode(), inode);
}

void TestAddCard::cancelOnlyStacksHome()
{
    Script s;
    bool backOnScreen = false;
    s.screen("CMainCardDlg", [&](QWidget* w) {
        fill(w, simple(QStringLiteral("Home")));
        s.closeScreen("CDialerDlg");
        click(w, res::IDC_ADD_CANCEL);
        backOnScreen = QApplication::activeModalWidget() == w && w->isVisible();
        static_cast<QDialog*>(w)->reject();
    });
    CMainCardDlg screen;
    screen.DoModal();
    QVERIFY2(s.errors().isEmpty() && s.finished(), qPrintable(s.report()));
    QVERIFY(backOnScreen);
    QVERIFY(!QFile::exists(cardPath()));
}

void TestAddCard::keyFilter_data()
{
    QTest::addColumn<int>("field");
    QTest::addColumn<QString>("keys");
    QTest::addColumn<QString>("typed");
    QTest::newRow("pin: letters and space dropped") << int(res::IDC_ADD_PIN) << "1A2z #b*"
                                                    << "12#*";
    QTest::newRow("card name: letters typed") << int(res::IDC_ADD_CARDNAME) << "Ab c1"
                                              << "Ab c1";
}

void TestAddCard::keyFilter()
{
    QFETCH(int, field);
    QFETCH(QString, keys);
    QFETCH(QString, typed);
    QString result;
    bool focusWasThere = false;
    Script s;
    s.screen("CMainCardDlg", [&](QWidget* w) {
        choose(w, res::IDC_ADD_PINOPTION, QStringLiteral("Pin Base"));
        auto* edit = ctl<QLineEdit>(w, field);
        edit->setFocus(Qt::OtherFocusReason);
        focusWasThere = QApplication::focusWidget() == edit;
        QTest::keyClicks(edit, keys);
        result = edit->text();
        static_cast<QDialog*>(w)->reject();
    });
    CMainCardDlg screen;
    screen.DoModal();
    QVERIFY2(s.errors().isEmpty() && s.finished(), qPrintable(s.report()));
    QVERIFY(focusWasThere);
    QCOMPARE(result, typed);
}

// Home, Add card A; on the stacked home, Add card B; back on the first add
// screen, Add card C: no card may be lost to the first screen's old book.
void TestAddCard::staleBook()
{
    Script s;
    s.screen("CDialerDlg", [&](QWidget* home) {
        s.screen("CMainCardDlg", [&](QWidget* first) {
            fill(first, simple(QStringLiteral("A")));
            s.box(QMessageBox::Ok).screen("CDialerDlg", [&](QWidget* stackedHome) {
                s.screen("CMainCardDlg", [&](QWidget* second) {
                    addOn(s, second, simple(QStringLiteral("B")));
                    static_cast<QDialog*>(second)->reject();
                });
                click(stackedHome, res::IDC_ADD);
                static_cast<QDialog*>(stackedHome)->reject();
            });
            click(first, res::IDC_ADD_ADD);
            // The screen keeps its fields: only the name changes.
            clear(first, res::IDC_ADD_CARDNAME);
            type(first, res::IDC_ADD_CARDNAME, QStringLiteral("C"));
            s.box(QMessageBox::Ok).closeScreen("CDialerDlg");
            click(first, res::IDC_ADD_ADD);
            static_cast<QDialog*>(first)->reject();
        });
        click(home, res::IDC_ADD);
        static_cast<QDialog*>(home)->reject();
    });
    CDialerDlg home;
    home.DoModal();
    QVERIFY2(s.errors().isEmpty() && s.finished(), qPrintable(s.report()));
    QCOMPARE(readCardFile(), fileBytes({ card(u"A"), card(u"B"), card(u"C") }));
}

// Another copy of the program may write the file while the question is up.
void TestAddCard::fileChangedDuringQuestion()
{
    writeCards({ card(u"Home") });
    Script s;
    s.screen("CMainCardDlg", [&](QWidget* w) {
        fill(w, simple(QStringLiteral("Mine")));
        s.box(QMessageBox::Ok, nullptr, [] {
             writeCards({ card(u"Home"), card(u"Theirs") });
         }).closeScreen("CDialerDlg");
        click(w, res::IDC_ADD_ADD);
        static_cast<QDialog*>(w)->reject();
    });
    CMainCardDlg screen;
    screen.DoModal();
    QVERIFY2(s.errors().isEmpty() && s.finished(), qPrintable(s.report()));
    QCOMPARE(readCardFile(), fileBytes({ card(u"Home"), card(u"Theirs"), card(u"Mine") }));
}

void TestAddCard::boxesLookRight()
{
    Script::Box refusal, question;
    Script s;
    s.screen("CMainCardDlg", [&](QWidget* w) {
        s.box(QMessageBox::Ok, &refusal);
        click(w, res::IDC_ADD_ADD);
        fill(w, simple(QStringLiteral("Home")));
        s.box(QMessageBox::Cancel, &question).closeScreen("CDialerDlg");
        click(w, res::IDC_ADD_ADD);
        static_cast<QDialog*>(w)->reject();
    });
    CMainCardDlg screen;
    screen.DoModal();
    QVERIFY2(s.errors().isEmpty() && s.finished(), qPrintable(s.report()));
    QCOMPARE(refusal.caption, QStringLiteral("test_addcard"));
    QCOMPARE(refusal.icon, QMessageBox::Warning);
    QCOMPARE(refusal.buttons, QMessageBox::StandardButtons(QMessageBox::Ok));
    QCOMPARE(question.text, kAsk);
    QCOMPARE(question.caption, QStringLiteral("Telvane"));
    QCOMPARE(question.icon, QMessageBox::NoIcon);
    QCOMPARE(question.buttons, QMessageBox::Ok | QMessageBox::Cancel);
}

QTEST_MAIN(TestAddCard)
#include "TestAddCard.moc"
