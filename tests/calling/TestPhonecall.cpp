#include "phonebook.h"
#include "PhonecallDlg.h"
#include "ResourceIds.h"
#include "ScreenScript.h"

#include <QAccessible>
#include <QLabel>
#include <QMenu>

// The make-call screen: card list, Dial's checks, number box, contact pick through the real chooser, what the
// confirmation screen shows, and Cancel on both. Placing calls is in TestCallFlow.

using namespace screentest;

namespace {

const char* kContacts
    = "BEGIN:VCARD\r\nFN:Ann Doe\r\nN:Doe;Ann;;;\r\nTEL;TYPE=CELL:+1 (555) 010-0200\r\n"
      "TEL;TYPE=CELL:555 0999\r\nEND:VCARD\r\nBEGIN:VCARD\r\nFN:Bob Home\r\nTEL;TYPE=HOME:555 0300\r\n"
      "END:VCARD\r\nBEGIN:VCARD\r\nFN:Carla Long\r\nN:Long;Carla;;;\r\n"
      "TEL;TYPE=CELL:+44 (0) 20-7946.0000/0000 0000 *12\r\nEND:VCARD\r\nBEGIN:VCARD\r\nFN:Dee National\r\n"
      "TEL;TYPE=CELL:020 7946 0001\r\nEND:VCARD\r\nBEGIN:VCARD\r\nFN:Eve Help\r\nTEL;TYPE=CELL:112\r\nEND:VCARD\r\n";

const CardRecord kWork = card(u"Work", u"18001234567", u"0042", u"1", u"00", u"5");
const CardRecord kHome = card(u"Home", u"8005550100", u"", u"0", u"", u"0");
const CardRecord kWork2 = card(u"Work", u"5550199", u"0042", u"1", u"00", u"5");
const CardRecord kZoe1 = card(u"Zoe", u"111", u"11", u"1", u"1", u"1");
const CardRecord kZoe2 = card(u"Zoe", u"222", u"22", u"2", u"2", u"2");
const QString kConfirm = QStringLiteral("screen:CConfirmcall"), kHomeScreen = QStringLiteral("screen:CDialerDlg");
const QString kEmergency = QStringLiteral("is an emergency number: it is called directly, not through the card.");

// The card the screen holds: the card-name box and the five hidden fields.
CardRecord held(QWidget* w)
{
    const auto t = [w](int id) { return static_cast<CDialogBase*>(w)->GetDlgItemText(id).toStdU16String(); };
    return { t(res::IDC_CALL_CARDNAME), t(res::IDC_CALL_ACCESS), t(res::IDC_CALL_PIN), t(res::IDC_CALL_PAUSENUMBER),
        t(res::IDC_CALL_PREFIX), t(res::IDC_CALL_PAUSEPIN) };
}

} // namespace

class TestPhonecall : public QObject {
    Q_OBJECT
    DataHome m_data;

private slots:
    void initTestCase()
    {
        // At home in Britain, with no modem to say otherwise.
        qputenv("LANG", "en_GB.UTF-8");
        for (const char* name : { "LC_ALL", "LC_TELEPHONE", "DIALER_HOME_COUNTRY" })
            qunsetenv(name);
        qputenv("DBUS_SYSTEM_BUS_ADDRESS", "unix:path=/nonexistent");
        QFile f(m_data.dir.filePath(QStringLiteral("dialer/contacts/export.vcf")));
        QVERIFY(QDir().mkpath(QFileInfo(f).path()) && f.open(QIODevice::WriteOnly) && f.write(kContacts) > 0);
    }

    void opening_data()
    {
        QTest::addColumn<QByteArray>("file"); // null: no file
        QTest::addColumn<QStringList>("listed");
        const QByteArray three = fileBytes({ card(u"Zeta"), card(u"alpha"), card(u"Mid") });
        QTest::newRow("sorted whatever the case") << three << QStringList { "alpha", "Mid", "Zeta" };
        QTest::newRow("file cut in the last card") << three.chopped(4) << QStringList { "alpha", "Zeta" };
        QTest::newRow("no file") << QByteArray() << QStringList {};
    }
    void opening()
    {
        QFETCH(QByteArray, file);
        QFETCH(QStringList, listed);
        file.isNull() ? void(QFile::remove(cardPath())) : writeCardFile(file);
        Script s; // a damaged or missing file is not reported: no box comes up
        s.closeScreen("Cphonecall");
        Cphonecall call;
        QVERIFY2(s.run(call), qPrintable(s.report()));
        QCOMPARE(entries(&call, res::IDC_CALL_CARDLIST), listed);
        QCOMPARE(ctl<QComboBox>(&call, res::IDC_CALL_CARDLIST)->currentIndex(), -1); // nothing chosen
    }

    // Home is chosen; then the file may change under the open screen, and
    // `chosen` is chosen next.
    void selection_data()
    {
        QTest::addColumn<QByteArray>("change"); // null: none; empty: file removed
        QTest::addColumn<QString>("chosen");
        QTest::addColumn<CardRecord>("filled");
        QTest::newRow("equal names: the later card") << QByteArray() << "Zoe" << kZoe2;
        QTest::newRow("card changed: read afresh") << fileBytes({ kHome, kWork2 }) << "Work" << kWork2;
        QTest::newRow("card gone: nothing changes") << fileBytes({ kHome, kZoe1 }) << "Work" << kHome;
        QTest::newRow("file gone: nothing changes") << QByteArray("") << "Work" << kHome;
        QTest::newRow("file cut after the card: nothing changes")
            << fileBytes({ kWork, kZoe1, kHome, kZoe2 }).chopped(2) << "Work" << kHome;
    }
    void selection()
    {
        QFETCH(QByteArray, change);
        QFETCH(QString, chosen);
        QFETCH(CardRecord, filled);
        writeCards({ kWork, kZoe1, kHome, kZoe2 });
        Script s;
        s.closeScreen("Cphonecall", [&](QWidget* w) {
            choose(w, res::IDC_CALL_CARDLIST, QStringLiteral("Home"));
            if (!change.isNull())
                change.isEmpty() ? void(QFile::remove(cardPath())) : writeCardFile(change);
            choose(w, res::IDC_CALL_CARDLIST, chosen);
        });
        Cphonecall call;
        QVERIFY2(s.run(call), qPrintable(s.report()));
        QCOMPARE(held(&call), filled);
    }

    // A card chosen or not, a number typed, a contact picked or not, then
    // Dial, or Cancel where a home screen is to come up: what comes up, and
    // what the confirmation shows once its own Cancel is back from home.
    void makeCall_data()
    {
        QTest::addColumn<bool>("chosen");
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("search"); // null: no pick; empty: the chooser cancelled
        QTest::addColumn<QString>("next");
        QTest::addColumn<QStringList>("confirmed"); // contact, number, card
        const QString none, noCard = "box:Please select card", noNumber = "box:Please Enter the Phone Number";
        const auto row = [](const char* name, bool chosen, const char* typed, const QString& search,
                             const QString& next, const QStringList& confirmed = {}) {
            QTest::newRow(name) << chosen << QString(typed) << search << next << confirmed;
        };
        row("no card", false, "5550100", none, noCard);
        row("neither", false, "", none, noCard);
        row("no number", true, "", none, noNumber);
        row("Cancel", true, "5550100", none, kHomeScreen);
        row("typed: no letters or blanks, 20 at most", true, "+44 (20) abcXYZ*#@[7946 1234567890", none, kConfirm,
            { "", "+44(20)*#@[794612345", "Home" });
        row("picked: first mobile, file-as", true, "", "ann", kConfirm, { "Doe, Ann", "+15550100200", "Home" });
        row("picked: only blanks, brackets, hyphens out; longer than typing allows", true, "5550199", "carla", kConfirm,
            { "Long, Carla", "+440207946.0000/00000000*12", "Home" });
        row("picked: no mobile", true, "5550199", "bob", kConfirm, { "", "5550199", "Home" });
        row("picked: national, made international", true, "", "dee", kConfirm,
            { "Dee National", "+442079460001", "Home" });
        row("typed: national, as typed", true, "020 7946 0001", none, kConfirm, { "", "02079460001", "Home" });
        row("picked: emergency, no card needed", false, "", "eve", "box:112 " + kEmergency);
        row("pick cancelled", true, "5550199", "", kConfirm, { "", "5550199", "Home" });
    }
    void makeCall()
    {
        QFETCH(bool, chosen);
        QFETCH(QString, typed);
        QFETCH(QString, search);
        QFETCH(QString, next);
        QFETCH(QStringList, confirmed);
        writeCards({ kHome });
        bool stayed = false;
        QStringList shown;
        Script s;
        s.screen("Cphonecall", [&](QWidget* w) {
            if (chosen)
                choose(w, res::IDC_CALL_CARDLIST, QStringLiteral("Home"));
            type(w, res::IDC_CALL_NUMBER, typed);
            if (auto* menu = QAccessible::queryAccessibleInterface(w->findChild<QMenu*>()); !search.isNull())
                QTest::keySequence(QApplication::focusWidget(), menu->child(0)->text(QAccessible::Accelerator));
            click(w, next == kHomeScreen ? res::IDC_CALL_CANCEL : res::IDC_CALL_DIAL);
            stayed = topWindow() == w; // whatever came up has gone
            static_cast<QDialog*>(w)->reject();
        });
        if (!search.isNull())
            s.screen("ContactChooser", [&](QWidget* w) {
                QTest::keyClicks(w->findChild<QLineEdit*>(), search.isEmpty() ? QStringLiteral("\x1b") : search + '\r');
            });
        if (next.startsWith(QLatin1String("box:"))) // an emergency number is not called here
            s.box(next.contains(kEmergency) ? QMessageBox::Cancel : QMessageBox::Ok);
        if (next == kConfirm)
            s.screen("CConfirmcall", [&](QWidget* w) {
                click(w, res::IDC_CONFIRM_CANCEL); // over a home screen, and back
                // Names and numbers come from cards and contacts: shown as typed, never as markup.
                for (int id : { res::IDC_CONFIRM_CONTACT, res::IDC_CONFIRM_NUMBER, res::IDC_CONFIRM_CARDNAME })
                    if (auto* label = ctl<QLabel>(w, id); topWindow() == w)
                        shown << label->text() + (label->textFormat() == Qt::PlainText ? "" : " [markup]");
                static_cast<QDialog*>(w)->reject();
            });
        if (!next.startsWith(QLatin1String("box:")))
            s.closeScreen("CDialerDlg");
        Cphonecall call;
        QVERIFY2(s.run(call) && s.log().contains(next), qPrintable(s.report()));
        QVERIFY(stayed);
        QVERIFY(!g_pOutlookApp); // the contact store is let go once a pick is over
        QCOMPARE(shown, confirmed);
    }
};

QTEST_MAIN(TestPhonecall)
#include "TestPhonecall.moc"
