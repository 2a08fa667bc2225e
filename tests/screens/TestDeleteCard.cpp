#include "DeletecardDlg.h"
#include "DialerDlg.h"
#include "MessageBoxes.h"
#include "ResourceIds.h"
#include "ScreenScript.h"

#include <QLabel>
#include <QTemporaryDir>

using namespace screentest;

namespace {

const QString kAsk = QStringLiteral("Are you sure you want to delete this Telvane?");

const CardRecord kHome = card(u"Home");
const CardRecord kWork = card(u"Work", u"18005551234", u"4321", u"3", u"011", u"1");
const CardRecord kAway = card(u"Away", u"18009990000", u"", u"5", u"9", u"");

// The list's shown state and the name field after a button's work is done.
struct After {
    QStringList names;
    int selected = -2;
    QString listText, placeholder, name;
    bool nameShown = true, labelShown = true;
};

After afterOn(QWidget* w)
{
    auto* list = ctl<QComboBox>(w, res::IDC_DEL_CARDLIST);
    return { entries(w, res::IDC_DEL_CARDLIST), list->currentIndex(), list->currentText(), list->placeholderText(),
        text(w, res::IDC_DEL_CARDNAME), shown(w, res::IDC_DEL_CARDNAME), shown(w, res::IDC_DEL_NAMELABEL) };
}

// Chooses `name` and deletes it, answering the question with `answer`;
// the home screen stacked afterwards is handed to `onHome` and closed.
void deleteOn(Script& s, QWidget* w, const QString& name, QMessageBox::StandardButton answer = QMessageBox::Ok,
    std::function<void(QWidget*)> onHome = {})
{
    choose(w, res::IDC_DEL_CARDLIST, name);
    s.box(answer).closeScreen("CDialerDlg", std::move(onHome));
    click(w, res::IDC_DEL_DELETE);
}

} // namespace

class TestDeleteCard : public QObject {
    Q_OBJECT
private slots:
    void init();
    void openingState();
    void selectionShowsName();
    void deleteWithoutSelection();
    void deleteMiddleCard();
    void deleteLowerOfTwoEqualNames();
    void deleteOnlyCard();
    void questionCancelRewritesSameCards();
    void cancelRewritesSameCards();
    void staleBook();
    void cardGoneMeanwhile();

private:
    std::unique_ptr<QTemporaryDir> m_dir;
};

void TestDeleteCard::init()
{
    setDeviceClassForTesting(DeviceClass::Other);
    m_dir = std::make_unique<QTemporaryDir>();
    qputenv("XDG_DATA_HOME", m_dir->path().toUtf8());
}

void TestDeleteCard::openingState()
{
    writeCards({ kHome, kWork, kAway });
    After opened;
    Script s;
    s.closeScreen("CDeletecard", [&](QWidget* w) { opened = afterOn(w); });
    CDeletecard screen;
    screen.DoModal();
    QVERIFY2(s.errors().isEmpty() && s.finished(), qPrintable(s.report()));
    QCOMPARE(opened.names, (QStringList { "Away", "Home", "Work" }));
    QCOMPARE(opened.selected, -1);
    QCOMPARE(opened.listText, QString());
    QCOMPARE(opened.placeholder, QStringLiteral("Card List"));
    QVERIFY(!opened.nameShown);
    QVERIFY(!opened.labelShown);
    QCOMPARE(screen.windowTitle(), QStringLiteral("Quorin Dialer"));
}

void TestDeleteCard::selectionShowsName()
{
    writeCards({ kHome, kWork, kAway });
    After chosen;
    bool nameReadOnly = false;
    Script s;
    s.closeScreen("CDeletecard", [&](QWidget* w) {
        choose(w, res::IDC_DEL_CARDLIST, QStringLiteral("Work"));
        chosen = afterOn(w);
        nameReadOnly = readOnly(w, res::IDC_DEL_CARDNAME);
    });
    CDeletecard screen;
    screen.DoModal();
    QVERIFY2(s.errors().isEmpty() && s.finished(), qPrintable(s.report()));
    QVERIFY(chosen.nameShown);
    QVERIFY(chosen.labelShown);
    QCOMPARE(chosen.name, QStringLiteral("Work"));
    QCOMPARE(chosen.listText, QStringLiteral("Work"));
    QVERIFY(nameReadOnly);
}

void TestDeleteCard::deleteWithoutSelection()
{
    const QByteArray before = fileBytes({ kHome, kWork });
    writeCardFile(before);
    const quint64 inode = cardFileInode();
    Script::Box seen;
    After after;
    Script s;
    s.closeScreen("CDeletecard", [&](QWidget* w) {
        s.box(QMessageBox::Ok, &seen);
        click(w, res::IDC_DEL_DELETE);
        after = afterOn(w);
    });
    CDeletecard screen;
    screen.DoModal();
    QVERIFY2(s.errors().isEmpty() && s.finished(), qPrintable(s.report()));
    // No question and no home screen; nothing written.
    QCOMPARE(s.log(), (QStringList { "screen:CDeletecard", "box:Please select Card" }));
    QCOMPARE(seen.caption, QStringLiteral("test_deletecard"));
    QCOMPARE(seen.icon, QMessageBox::Warning);
    QVERIFY(!after.nameShown);
    QVERIFY(!after.labelShown);
    QCOMPARE(readCardFile(), before);
    QCOMPARE(cardFileInode(), inode);
}

void TestDeleteCard::deleteMiddleCard()
{
    const QByteArray before = fileBytes({ kHome, kWork, kAway });
    writeCardFile(before);
    Script::Box question;
    int homeCards = -1;
    After after;
    Script s;
    s.closeScreen("CDeletecard", [&](QWidget* w) {
        choose(w, res::IDC_DEL_CARDLIST, QStringLiteral("Work"));
        s.box(QMessageBox::Ok, &question).closeScreen("CDialerDlg", [&](QWidget* home) {
            homeCards = static_cast<CDialerDlg*>(home)->book().count();
        });
        click(w, res::IDC_DEL_DELETE);
        after = afterOn(w);
    });
    CDeletecard screen;
    screen.DoModal();
    QVERIFY2(s.errors().isEmpty() && s.finished(), qPrintable(s.report()));
    QCOMPARE(s.log(), (QStringList { "screen:CDeletecard", "box:" + kAsk, "screen:CDialerDlg" }));
    QCOMPARE(question.caption, QStringLiteral("Telvane"));
    QCOMPARE(question.buttons, QMessageBox::Ok | QMessageBox::Cancel);
    // In place: the old third card's bytes stay past the new end.
    const QByteArray expected = inPlaceBytes({ kHome, kAway }, before);
    QCOMPARE(expected.size(), before.size());
    QCOMPARE(readCardFile(), expected);
    CardBook reread;
    QCOMPARE(CardFile::load(reread).complete, 2);
    QCOMPARE(reread.count(), 2);
    QCOMPARE(homeCards, 2);
    QCOMPARE(after.names, (QStringList { "Away", "Home" }));
    QCOMPARE(after.selected, -1);
    QCOMPARE(after.placeholder, QStringLiteral("Card List"));
    QCOMPARE(after.name, QString());
    QVERIFY(!after.nameShown);
    QVERIFY(!after.labelShown);
}

void TestDeleteCard::deleteLowerOfTwoEqualNames()
{
    const CardRecord first = card(u"Twin", u"111"), second = card(u"Twin", u"222");
    const QByteArray before = fileBytes({ kHome, first, kAway, second });
    writeCardFile(before);
    QStringList left;
    Script s;
    s.closeScreen("CDeletecard", [&](QWidget* w) {
        deleteOn(s, w, QStringLiteral("Twin"));
        left = entries(w, res::IDC_DEL_CARDLIST);
    });
    CDeletecard screen;
    screen.DoModal();
    QVERIFY2(s.errors().isEmpty() && s.finished(), qPrintable(s.report()));
    QCOMPARE(readCardFile(), inPlaceBytes({ kHome, kAway, second }, before));
    QCOMPARE(left, (QStringList { "Away", "Home", "Twin" }));
}

void TestDeleteCard::deleteOnlyCard()
{
    const QByteArray before = fileBytes({ kWork });
    writeCardFile(before);
    QString refusal;
    Script s;
    s.closeScreen("CDeletecard", [&](QWidget* w) {
        deleteOn(s, w, QStringLiteral("Work"), QMessageBox::Ok, [&](QWidget* home) {
            Script::Box seen;
            s.box(QMessageBox::Ok, &seen);
            click(home, res::IDC_MAKECALL);
            refusal = seen.text;
        });
    });
    CDeletecard screen;
    screen.DoModal();
    QVERIFY2(s.errors().isEmpty() && s.finished(), qPrintable(s.report()));
    const QByteArray now = readCardFile();
    QCOMPARE(now.left(4), QByteArray("\x00\x00\x00\x00", 4));
    QCOMPARE(now, inPlaceBytes({}, before));
    QCOMPARE(refusal, QStringLiteral("Card is not Available"));
}

void TestDeleteCard::questionCancelRewritesSameCards()
{
    // Bytes past the last card are never read, and an in-place write keeps them.
    const QByteArray before = fileBytes({ kHome, kWork }) + QByteArray("tail", 4);
    writeCardFile(before);
    const quint64 inode = cardFileInode();
    int homeCards = -1;
    After after;
    Script s;
    s.closeScreen("CDeletecard", [&](QWidget* w) {
        deleteOn(s, w, QStringLiteral("Home"), QMessageBox::Cancel,
            [&](QWidget* home) { homeCards = static_cast<CDialerDlg*>(home)->book().count(); });
        after = afterOn(w);
    });
    CDeletecard screen;
    screen.DoModal();
    QVERIFY2(s.errors().isEmpty() && s.finished(), qPrintable(s.report()));
    QCOMPARE(s.log(), (QStringList { "screen:CDeletecard", "box:" + kAsk, "screen:CDialerDlg" }));
    QCOMPARE(readCardFile(), before);
    QVERIFY(cardFileInode() != inode); // written again, with the same cards
    QCOMPARE(homeCards, 2);
    QCOMPARE(after.names, (QStringList { "Home", "Work" }));
    QVERIFY(!after.nameShown);
    QVERIFY(!after.labelShown);
}

void TestDeleteCard::cancelRewritesSameCards()
{
    const QByteArray before = fileBytes({ kHome, kWork }) + QByteArray("tail", 4);
    writeCardFile(before);
    const quint64 inode = cardFileInode();
    bool backOnScreen = false;
    Script s;
    s.closeScreen("CDeletecard", [&](QWidget* w) {
        choose(w, res::IDC_DEL_CARDLIST, QStringLiteral("Work"));
        s.closeScreen("CDialerDlg");
        click(w, res::IDC_DEL_CANCEL);
        backOnScreen = QApplication::activeModalWidget() == w;
    });
    CDeletecard screen;
    screen.DoModal();
    QVERIFY2(s.errors().isEmpty() && s.finished(), qPrintable(s.report()));
    QCOMPARE(s.log(), (QStringList { "screen:CDeletecard", "screen:CDialerDlg" }));
    QVERIFY(backOnScreen);
    QCOMPARE(readCardFile(), before);
    QVERIFY(cardFileInode() != inode);
}

// Cancel stacks a home screen; a card added there must survive the delete
// screen's later delete.
void TestDeleteCard::staleBook()
{
    writeCards({ kHome, kWork });
    Script s;
    s.closeScreen("CDeletecard", [&](QWidget* w) {
        s.screen("CDialerDlg", [&](QWidget* home) {
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
        click(w, res::IDC_DEL_CANCEL);
        deleteOn(s, w, QStringLiteral("Work"));
    });
    CDeletecard screen;
    screen.DoModal();
    QVERIFY2(s.errors().isEmpty() && s.finished(), qPrintable(s.report()));
    const CardRecord added = card(u"New", u"123", u"", u"1");
    QCOMPARE(readCardFile(), inPlaceBytes({ kHome, added }, fileBytes({ kHome, kWork, added })));
}

// A stacked delete screen removed the card meanwhile: the first screen's
// delete removes nothing and does not write its old book back.
void TestDeleteCard::cardGoneMeanwhile()
{
    const QByteArray before = fileBytes({ kHome, kWork, kAway });
    writeCardFile(before);
    quint64 inodeBetween = 0;
    QStringList leftInList;
    Script s;
    s.closeScreen("CDeletecard", [&](QWidget* w) {
        s.screen("CDialerDlg", [&](QWidget* home) {
            s.closeScreen("CDeletecard", [&](QWidget* nested) { deleteOn(s, nested, QStringLiteral("Work")); });
            click(home, res::IDC_DELETE);
            static_cast<QDialog*>(home)->reject();
        });
        click(w, res::IDC_DEL_CANCEL);
        inodeBetween = cardFileInode();
        deleteOn(s, w, QStringLiteral("Work"));
        leftInList = entries(w, res::IDC_DEL_CARDLIST);
    });
    CDeletecard screen;
    screen.DoModal();
    QVERIFY2(s.errors().isEmpty() && s.finished(), qPrintable(s.report()));
    QCOMPARE(s.log(),
        (QStringList { "screen:CDeletecard", "screen:CDialerDlg", "screen:CDeletecard", "box:" + kAsk,
            "screen:CDialerDlg", "box:" + kAsk, "screen:CDialerDlg" }));
    QCOMPARE(readCardFile(), inPlaceBytes({ kHome, kAway }, before));
    QCOMPARE(cardFileInode(), inodeBetween);
    QCOMPARE(leftInList, (QStringList { "Away", "Home" }));
}

QTEST_MAIN(TestDeleteCard)
#include "TestDeleteCard.moc"
