#include "DialerDlg.h"
#include "EditcardDlg.h"
#include "MessageBoxes.h"
#include "ResourceIds.h"
#include "ScreenScript.h"

#include <QTemporaryDir>

using namespace screentest;

namespace {

const QString kAsk = QStringLiteral("Telvane information updated sucessfully!!");
const QString kDuplicate = QStringLiteral("Card name exist.Please Edit card with different name");
const QString kPinBase = QStringLiteral("Pin Base");
const QString kPinLess = QStringLiteral("Pin Less");

// Three cards: one without PIN, one with, one more without.
const CardRecord kHome = card(u"Home", u"5550100", u"", u"2", u"", u"");
const CardRecord kWork = card(u"Work", u"18005551234", u"4321", u"3", u"011", u"1");
const CardRecord kAway = card(u"Away", u"18009990000", u"", u"5", u"9", u"");

void replaceText(QWidget* w, int id, const QString& t)
{
    clear(w, id);
    type(w, id, t);
}

// What the six fields and the option box show.
struct Shown {
    QString name, access, pin, pauseNumber, prefix, pausePin, option;
    bool pinShown = false, pausePinReadOnly = false;
};

Shown shownOn(QWidget* w)
{
    return { text(w, res::IDC_EDIT_CARDNAME), text(w, res::IDC_EDIT_ACCESS), text(w, res::IDC_EDIT_PIN),
        text(w, res::IDC_EDIT_PAUSENUMBER), text(w, res::IDC_EDIT_PREFIX), text(w, res::IDC_EDIT_PAUSEPIN),
        text(w, res::IDC_EDIT_PINOPTION), shown(w, res::IDC_EDIT_PIN), readOnly(w, res::IDC_EDIT_PAUSEPIN) };
}

// Emptying a field, or another action on the selected card, before Save.
using Change = std::function<void(QWidget*)>;

} // namespace

Q_DECLARE_METATYPE(Change)

class TestEditCard : public QObject {
    Q_OBJECT
private slots:
    void init();
    void openingState();
    void selectionFillsFields();
    void pinOptionChange();
    void validationOrder_data();
    void validationOrder();
    void saveAnswers_data();
    void saveAnswers();
    void pinLessSavesEmptyPin();
    void typedOptionSavesWithoutPin();
    void renames_data();
    void renames();
    void duplicateStacksHome_data();
    void duplicateStacksHome();
    void everyCardOfOldNameReplaced();
    void cancelCloses();
    void keyFilter();
    void staleBook();
    void fileChangedDuringQuestion();

private:
    std::unique_ptr<QTemporaryDir> m_dir;
};

void TestEditCard::init()
{
    setDeviceClassForTesting(DeviceClass::Other);
    m_dir = std::make_unique<QTemporaryDir>();
    qputenv("XDG_DATA_HOME", m_dir->path().toUtf8());
}

void TestEditCard::openingState()
{
    writeCards({ kHome, kWork, kAway });
    QStringList names, options;
    int selected = -2;
    Shown opened;
    QWidget* focused = nullptr;
    Script s;
    s.screen("CEditcard", [&](QWidget* w) {
        names = entries(w, res::IDC_EDIT_CARDLIST);
        selected = ctl<QComboBox>(w, res::IDC_EDIT_CARDLIST)->currentIndex();
        options = entries(w, res::IDC_EDIT_PINOPTION);
        opened = shownOn(w);
        focused = QApplication::focusWidget();
        static_cast<QDialog*>(w)->reject();
    });
    CEditcard screen;
    screen.DoModal();
    QVERIFY2(s.errors().isEmpty() && s.finished(), qPrintable(s.report()));
    QCOMPARE(names, (QStringList { "Away", "Home", "Work" }));
    QCOMPARE(selected, -1);
    QCOMPARE(options, (QStringList { kPinBase, kPinLess }));
    QCOMPARE(opened.option, QString());
    QCOMPARE(
        opened.name + opened.access + opened.pin + opened.pauseNumber + opened.prefix + opened.pausePin, QString());
    QVERIFY(!opened.pinShown);
    QVERIFY(opened.pausePinReadOnly);
    QCOMPARE(focused, ctl(&screen, res::IDC_EDIT_CARDLIST));
}

void TestEditCard::selectionFillsFields()
{
    writeCards({ kHome, kWork, kAway });
    Shown work, away;
    Script s;
    s.screen("CEditcard", [&](QWidget* w) {
        choose(w, res::IDC_EDIT_CARDLIST, QStringLiteral("Work"));
        work = shownOn(w);
        choose(w, res::IDC_EDIT_CARDLIST, QStringLiteral("Away"));
        away = shownOn(w);
        static_cast<QDialog*>(w)->reject();
    });
    CEditcard screen;
    screen.DoModal();
    QVERIFY2(s.errors().isEmpty() && s.finished(), qPrintable(s.report()));
    QCOMPARE(work.name, QStringLiteral("Work"));
    QCOMPARE(work.access, QStringLiteral("18005551234"));
    QCOMPARE(work.pin, QStringLiteral("4321"));
    QCOMPARE(work.pauseNumber, QStringLiteral("3"));
    QCOMPARE(work.prefix, QStringLiteral("011"));
    QCOMPARE(work.pausePin, QStringLiteral("1"));
    QCOMPARE(work.option, kPinBase);
    QVERIFY(work.pinShown);
    QVERIFY(!work.pausePinReadOnly);
    QCOMPARE(away.name, QStringLiteral("Away"));
    QCOMPARE(away.pin, QString());
    QCOMPARE(away.prefix, QStringLiteral("9"));
    QCOMPARE(away.pausePin, QStringLiteral("0"));
    QCOMPARE(away.option, kPinLess);
    QVERIFY(!away.pinShown);
    QVERIFY(away.pausePinReadOnly);
}

void TestEditCard::pinOptionChange()
{
    writeCards({ kHome, kWork });
    Shown base, less;
    Script s;
    s.screen("CEditcard", [&](QWidget* w) {
        choose(w, res::IDC_EDIT_CARDLIST, QStringLiteral("Home"));
        type(w, res::IDC_EDIT_PIN, QStringLiteral("99"));
        choose(w, res::IDC_EDIT_PINOPTION, kPinBase);
        base = shownOn(w);
        choose(w, res::IDC_EDIT_PINOPTION, kPinLess);
        less = shownOn(w);
        static_cast<QDialog*>(w)->reject();
    });
    CEditcard screen;
    screen.DoModal();
    QVERIFY2(s.errors().isEmpty() && s.finished(), qPrintable(s.report()));
    // A card stored without PIN shows its empty pause before PIN.
    QVERIFY(base.pinShown);
    QVERIFY(!base.pausePinReadOnly);
    QCOMPARE(base.pausePin, QString());
    QCOMPARE(base.pin, QStringLiteral("99"));
    QVERIFY(!less.pinShown);
    QVERIFY(less.pausePinReadOnly);
    QCOMPARE(less.pausePin, QStringLiteral("0"));
    QCOMPARE(less.pin, QStringLiteral("99"));
}

void TestEditCard::validationOrder_data()
{
    QTest::addColumn<QString>("select");
    QTest::addColumn<Change>("change");
    QTest::addColumn<QString>("message");
    const Change none = [](QWidget*) {};
    auto empty = [](std::initializer_list<int> ids) {
        return Change([ids = std::vector<int>(ids)](QWidget* w) {
            for (int id : ids)
                clear(w, id);
        });
    };
    using namespace res;
    QTest::newRow("nothing selected") << QString() << none << "Please select card";
    QTest::newRow("nothing selected, fields typed")
        << QString() << Change([](QWidget* w) { type(w, IDC_EDIT_CARDNAME, QStringLiteral("X")); })
        << "Please select card";
    QTest::newRow("name emptied") << "Work"
                                  << empty({ IDC_EDIT_CARDNAME, IDC_EDIT_ACCESS, IDC_EDIT_PIN, IDC_EDIT_PAUSEPIN,
                                         IDC_EDIT_PAUSENUMBER })
                                  << "Card Name must not be blank";
    QTest::newRow("access emptied") << "Work"
                                    << empty({ IDC_EDIT_ACCESS, IDC_EDIT_PIN, IDC_EDIT_PAUSEPIN, IDC_EDIT_PAUSENUMBER })
                                    << "Access Number must not be blank";
    QTest::newRow("pin emptied") << "Work" << empty({ IDC_EDIT_PIN, IDC_EDIT_PAUSEPIN, IDC_EDIT_PAUSENUMBER })
                                 << "Pin Option field must not be blank";
    QTest::newRow("pause pin emptied") << "Work" << empty({ IDC_EDIT_PAUSEPIN, IDC_EDIT_PAUSENUMBER })
                                       << "Pause Before Pin must not be blank";
    QTest::newRow("pause number emptied")
        << "Work" << empty({ IDC_EDIT_PAUSENUMBER }) << "Pause Before Number must not be blank";
    QTest::newRow("pin less: empty pin is fine")
        << "Home" << empty({ IDC_EDIT_PAUSENUMBER }) << "Pause Before Number must not be blank";
    QTest::newRow("pin base chosen for a card without pin")
        << "Home" << Change([](QWidget* w) { choose(w, IDC_EDIT_PINOPTION, kPinBase); })
        << "Pin Option field must not be blank";
    QTest::newRow("pin base with pin, its pause empty") << "Home" << Change([](QWidget* w) {
        choose(w, IDC_EDIT_PINOPTION, kPinBase);
        type(w, IDC_EDIT_PIN, QStringLiteral("12"));
    }) << "Pause Before Pin must not be blank";
}

void TestEditCard::validationOrder()
{
    QFETCH(QString, select);
    QFETCH(Change, change);
    QFETCH(QString, message);
    const QByteArray before = fileBytes({ kHome, kWork });
    writeCardFile(before);
    const quint64 inode = cardFileInode();
    Script::Box seen;
    bool stillTop = false;
    Script s;
    s.screen("CEditcard", [&](QWidget* w) {
        if (!select.isEmpty())
            choose(w, res::IDC_EDIT_CARDLIST, select);
        change(w);
        s.box(QMessageBox::Ok, &seen);
        click(w, res::IDC_EDIT_SAVE);
        stillTop = QApplication::activeModalWidget() == w;
        static_cast<QDialog*>(w)->reject();
    });
    CEditcard screen;
    QCOMPARE(screen.DoModal(), int(res::IDCANCEL));
    QVERIFY2(s.errors().isEmpty() && s.finished(), qPrintable(s.report()));
    QCOMPARE(seen.text, message);
    QCOMPARE(seen.caption, QStringLiteral("test_editcard"));
    QCOMPARE(seen.icon, QMessageBox::Warning);
    QVERIFY(stillTop);
    QCOMPARE(readCardFile(), before);
    QCOMPARE(cardFileInode(), inode);
}

void TestEditCard::saveAnswers_data()
{
    QTest::addColumn<bool>("yes");
    QTest::newRow("OK saves and closes") << true;
    QTest::newRow("Cancel stacks home") << false;
}

void TestEditCard::saveAnswers()
{
    QFETCH(bool, yes);
    const QByteArray before = fileBytes({ kHome, kWork, kAway });
    writeCardFile(before);
    const quint64 inode = cardFileInode();
    Script::Box question;
    QString prefixAfter;
    bool stillTop = false;
    Script s;
    s.screen("CEditcard", [&](QWidget* w) {
        choose(w, res::IDC_EDIT_CARDLIST, QStringLiteral("Work"));
        replaceText(w, res::IDC_EDIT_PREFIX, QStringLiteral("00"));
        replaceText(w, res::IDC_EDIT_PIN, QStringLiteral("8888"));
        s.box(yes ? QMessageBox::Ok : QMessageBox::Cancel, &question);
        if (!yes)
            s.closeScreen("CDialerDlg");
        click(w, res::IDC_EDIT_SAVE);
        if (!yes) {
            stillTop = QApplication::activeModalWidget() == w;
            prefixAfter = text(w, res::IDC_EDIT_PREFIX);
            static_cast<QDialog*>(w)->reject();
        }
    });
    CEditcard screen;
    const int result = screen.DoModal();
    QVERIFY2(s.errors().isEmpty() && s.finished(), qPrintable(s.report()));
    QCOMPARE(question.text, kAsk);
    QCOMPARE(question.caption, QStringLiteral("Telvane"));
    QCOMPARE(question.buttons, QMessageBox::Ok | QMessageBox::Cancel);
    if (yes) {
        QCOMPARE(result, int(res::IDOK));
        QCOMPARE(
            readCardFile(), fileBytes({ kHome, card(u"Work", u"18005551234", u"8888", u"3", u"00", u"1"), kAway }));
    } else {
        QCOMPARE(s.log(), (QStringList { "screen:CEditcard", "box:" + kAsk, "screen:CDialerDlg" }));
        QVERIFY(stillTop);
        QCOMPARE(prefixAfter, QStringLiteral("00"));
        QCOMPARE(readCardFile(), before);
        QCOMPARE(cardFileInode(), inode);
    }
}

void TestEditCard::pinLessSavesEmptyPin()
{
    writeCards({ kHome, kWork, kAway });
    QString pinStillTyped;
    Script s;
    s.screen("CEditcard", [&](QWidget* w) {
        choose(w, res::IDC_EDIT_CARDLIST, QStringLiteral("Work"));
        choose(w, res::IDC_EDIT_PINOPTION, kPinLess);
        pinStillTyped = text(w, res::IDC_EDIT_PIN);
        s.box(QMessageBox::Ok);
        click(w, res::IDC_EDIT_SAVE);
    });
    CEditcard screen;
    QCOMPARE(screen.DoModal(), int(res::IDOK));
    QVERIFY2(s.errors().isEmpty() && s.finished(), qPrintable(s.report()));
    QCOMPARE(pinStillTyped, QStringLiteral("4321"));
    // Same slot, the PIN and its pause gone whatever the hidden field held.
    QCOMPARE(readCardFile(), fileBytes({ kHome, card(u"Work", u"18005551234", u"", u"3", u"011", u""), kAway }));
}

void TestEditCard::typedOptionSavesWithoutPin()
{
    writeCards({ kWork });
    Script s;
    s.screen("CEditcard", [&](QWidget* w) {
        choose(w, res::IDC_EDIT_CARDLIST, QStringLiteral("Work"));
        auto* option = ctl<QComboBox>(w, res::IDC_EDIT_PINOPTION);
        option->lineEdit()->clear();
        type(w, res::IDC_EDIT_PINOPTION, QStringLiteral("No pin"));
        s.box(QMessageBox::Ok);
        click(w, res::IDC_EDIT_SAVE);
    });
    CEditcard screen;
    QCOMPARE(screen.DoModal(), int(res::IDOK));
    QVERIFY2(s.errors().isEmpty() && s.finished(), qPrintable(s.report()));
    QCOMPARE(readCardFile(), fileBytes({ card(u"Work", u"18005551234", u"", u"3", u"011", u"") }));
}

void TestEditCard::renames_data()
{
    QTest::addColumn<QString>("newName");
    QTest::addColumn<QString>("nextList");
    QTest::newRow("to a new name") << "Office"
                                   << "Away,Home,Office";
    // One other card of the name is not a duplicate: the rule wants two.
    QTest::newRow("to the name of one other card") << "Home"
                                                   << "Away,Home,Home";
}

void TestEditCard::renames()
{
    QFETCH(QString, newName);
    QFETCH(QString, nextList);
    writeCards({ kHome, kWork, kAway });
    Script s;
    s.screen("CEditcard", [&](QWidget* w) {
        choose(w, res::IDC_EDIT_CARDLIST, QStringLiteral("Work"));
        replaceText(w, res::IDC_EDIT_CARDNAME, newName);
        s.box(QMessageBox::Ok);
        click(w, res::IDC_EDIT_SAVE);
    });
    CEditcard screen;
    QCOMPARE(screen.DoModal(), int(res::IDOK));
    QVERIFY2(s.errors().isEmpty() && s.finished(), qPrintable(s.report()));
    QCOMPARE(s.log(), (QStringList { "screen:CEditcard", "box:" + kAsk }));
    CardRecord renamed = kWork;
    renamed.cardName = newName.toStdU16String();
    QCOMPARE(readCardFile(), fileBytes({ kHome, renamed, kAway }));
    // The next screen lists the new name.
    s.stop();
    QStringList listed;
    Script next;
    next.closeScreen("CEditcard", [&](QWidget* w) { listed = entries(w, res::IDC_EDIT_CARDLIST); });
    CEditcard again;
    again.DoModal();
    QCOMPARE(listed.join(u','), nextList);
}

void TestEditCard::duplicateStacksHome_data()
{
    QTest::addColumn<QString>("select");
    QTest::addColumn<QString>("newName");
    QTest::newRow("renamed to a name two cards carry") << "Home"
                                                       << "Twin";
    QTest::newRow("one of two equal names kept") << "Twin"
                                                 << "Twin";
}

void TestEditCard::duplicateStacksHome()
{
    QFETCH(QString, select);
    QFETCH(QString, newName);
    const QByteArray before = fileBytes({ kHome, card(u"Twin"), card(u"Twin", u"1") });
    writeCardFile(before);
    const quint64 inode = cardFileInode();
    bool stillTop = false;
    Script s;
    s.screen("CEditcard", [&](QWidget* w) {
        choose(w, res::IDC_EDIT_CARDLIST, select);
        replaceText(w, res::IDC_EDIT_CARDNAME, newName);
        s.box(QMessageBox::Ok).closeScreen("CDialerDlg");
        click(w, res::IDC_EDIT_SAVE);
        stillTop = QApplication::activeModalWidget() == w;
        static_cast<QDialog*>(w)->reject();
    });
    CEditcard screen;
    QCOMPARE(screen.DoModal(), int(res::IDCANCEL));
    QVERIFY2(s.errors().isEmpty() && s.finished(), qPrintable(s.report()));
    QCOMPARE(s.log(), (QStringList { "screen:CEditcard", "box:" + kDuplicate, "screen:CDialerDlg" }));
    QVERIFY(stillTop);
    QCOMPARE(readCardFile(), before);
    QCOMPARE(cardFileInode(), inode);
}

void TestEditCard::everyCardOfOldNameReplaced()
{
    // The fields show the last card of the name; both cards take them.
    writeCards({ card(u"Twin", u"111"), kHome, card(u"Twin", u"222", u"55", u"4", u"7", u"6") });
    Shown selected;
    Script s;
    s.screen("CEditcard", [&](QWidget* w) {
        choose(w, res::IDC_EDIT_CARDLIST, QStringLiteral("Twin"));
        selected = shownOn(w);
        replaceText(w, res::IDC_EDIT_CARDNAME, QStringLiteral("Single"));
        s.box(QMessageBox::Ok);
        click(w, res::IDC_EDIT_SAVE);
    });
    CEditcard screen;
    QCOMPARE(screen.DoModal(), int(res::IDOK));
    QVERIFY2(s.errors().isEmpty() && s.finished(), qPrintable(s.report()));
    QCOMPARE(selected.access, QStringLiteral("222"));
    const CardRecord single = card(u"Single", u"222", u"55", u"4", u"7", u"6");
    QCOMPARE(readCardFile(), fileBytes({ single, kHome, single }));
}

void TestEditCard::cancelCloses()
{
    const QByteArray before = fileBytes({ kHome, kWork });
    writeCardFile(before);
    const quint64 inode = cardFileInode();
    Script s;
    s.screen("CEditcard", [&](QWidget* w) {
        choose(w, res::IDC_EDIT_CARDLIST, QStringLiteral("Work"));
        replaceText(w, res::IDC_EDIT_CARDNAME, QStringLiteral("Changed"));
        click(w, res::IDC_EDIT_CANCEL);
    });
    CEditcard screen;
    QCOMPARE(screen.DoModal(), int(res::IDCANCEL));
    QVERIFY2(s.errors().isEmpty() && s.finished(), qPrintable(s.report()));
    QCOMPARE(s.log(), QStringList { "screen:CEditcard" });
    QCOMPARE(readCardFile(), before);
    QCOMPARE(cardFileInode(), inode);
}

void TestEditCard::keyFilter()
{
    writeCards({ kWork });
    QString pin, name;
    Script s;
    s.screen("CEditcard", [&](QWidget* w) {
        choose(w, res::IDC_EDIT_CARDLIST, QStringLiteral("Work"));
        clear(w, res::IDC_EDIT_PIN);
        type(w, res::IDC_EDIT_PIN, QStringLiteral("9Q8 x#"));
        pin = text(w, res::IDC_EDIT_PIN);
        replaceText(w, res::IDC_EDIT_CARDNAME, QStringLiteral("Work Q"));
        name = text(w, res::IDC_EDIT_CARDNAME);
        static_cast<QDialog*>(w)->reject();
    });
    CEditcard screen;
    screen.DoModal();
    QVERIFY2(s.errors().isEmpty() && s.finished(), qPrintable(s.report()));
    QCOMPARE(pin, QStringLiteral("98#"));
    QCOMPARE(name, QStringLiteral("Work Q"));
}

// The edit screen's question answered Cancel stacks a home screen; a card
// added there must survive the edit screen's later save.
void TestEditCard::staleBook()
{
    writeCards({ kHome, kWork });
    Script s;
    s.screen("CEditcard", [&](QWidget* w) {
        choose(w, res::IDC_EDIT_CARDLIST, QStringLiteral("Home"));
        replaceText(w, res::IDC_EDIT_ACCESS, QStringLiteral("999"));
        s.box(QMessageBox::Cancel).screen("CDialerDlg", [&](QWidget* home) {
            s.screen("CMainCardDlg", [&](QWidget* add) {
                type(add, res::IDC_ADD_CARDNAME, QStringLiteral("New"));
                type(add, res::IDC_ADD_ACCESS, QStringLiteral("123"));
                type(add, res::IDC_ADD_PAUSENUMBER, QStringLiteral("1"));
                s.box(QMessageBox::Ok).closeScreen("CDialerDlg");
                click(add, res::IDC_ADD_ADD);
                static_cast<QDialog*>(add)->reject();
            });
            click(home, res::IDC_ADD);
            static_cast<QDialog*>(home)->reject();
        });
        click(w, res::IDC_EDIT_SAVE);
        s.box(QMessageBox::Ok);
        click(w, res::IDC_EDIT_SAVE);
    });
    CEditcard screen;
    QCOMPARE(screen.DoModal(), int(res::IDOK));
    QVERIFY2(s.errors().isEmpty() && s.finished(), qPrintable(s.report()));
    QCOMPARE(readCardFile(), fileBytes({ card(u"Home", u"999"), kWork, card(u"New", u"123", u"", u"1") }));
}

// Another copy of the program may write the file while the question is up.
void TestEditCard::fileChangedDuringQuestion()
{
    writeCards({ kHome, kWork });
    Script s;
    s.screen("CEditcard", [&](QWidget* w) {
        choose(w, res::IDC_EDIT_CARDLIST, QStringLiteral("Work"));
        replaceText(w, res::IDC_EDIT_PREFIX, QStringLiteral("7"));
        s.box(QMessageBox::Ok, nullptr, [] { writeCards({ kAway, kWork, kHome }); });
        click(w, res::IDC_EDIT_SAVE);
    });
    CEditcard screen;
    QCOMPARE(screen.DoModal(), int(res::IDOK));
    QVERIFY2(s.errors().isEmpty() && s.finished(), qPrintable(s.report()));
    CardRecord edited = kWork;
    edited.prefix = u"7";
    QCOMPARE(readCardFile(), fileBytes({ kAway, edited, kHome }));
}

QTEST_MAIN(TestEditCard)
#include "TestEditCard.moc"
