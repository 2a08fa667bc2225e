#include "CardFile.h"
#include "ContactChooser.h"
#include "ContactStore.h"
#include "DialerDlg.h"
#include "ModalDriver.h"
#include "phonebook.h"
#include "PhonecallDlg.h"
#include "ResourceIds.h"

#include <QComboBox>
#include <QDir>
#include <QLineEdit>
#include <QListView>
#include <QMenuBar>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>

// Taking the destination from the user's contacts: the real chooser, driven
// by keys and clicks inside its nested loop, writing into the make-call
// screen and from there into the confirmation screen.

namespace {

const char* kContacts = "BEGIN:VCARD\r\nVERSION:3.0\r\nFN:Ann Doe\r\nN:Doe;Ann;;;\r\n"
                        "TEL;TYPE=CELL:+1 (555) 010-0200\r\nEND:VCARD\r\n"
                        "BEGIN:VCARD\r\nVERSION:3.0\r\nFN:Bob Home\r\nN:Home;Bob;;;\r\n"
                        "TEL;TYPE=HOME:555 0300\r\nEND:VCARD\r\n"
                        "BEGIN:VCARD\r\nVERSION:2.1\r\nFN:Carla Long\r\nN:Long;Carla\r\n"
                        "TEL;CELL:+44 (0) 20-7946-0000 0000 0000 12\r\nEND:VCARD\r\n"
                        "BEGIN:VCARD\r\nVERSION:4.0\r\nFN:Dial Letters\r\nN:Letters;Dial;;;\r\n"
                        "TEL;TYPE=\"cell,voice\";VALUE=uri:tel:555-CALL-NOW\r\nEND:VCARD\r\n"
                        "BEGIN:VCARD\r\nVERSION:3.0\r\nFN:Eve NoName\r\n"
                        "TEL;TYPE=CELL:555.0500/1\r\nEND:VCARD\r\n";

CDialogBase* screen(QWidget* w)
{
    return qobject_cast<CDialogBase*>(w);
}

QAction* contactsCommand(QWidget* call)
{
    for (QAction* top : call->findChild<QMenuBar*>()->actions())
        if (top->menu())
            for (QAction* a : top->menu()->actions())
                if (a->data().toInt() == res::ID_PHONEBOOK_CONTACTS)
                    return a;
    return nullptr;
}

struct Pick {
    QString search; // typed into the chooser; empty: cancel with Escape
    bool doubleClick = false;
};

// Runs "Phonebook", "Contacts" on the make-call screen and acts in the
// chooser. Returns whether a chooser opened and the store was open then.
bool pickFrom(QWidget* call, const Pick& pick, bool* storeOpenDuringPick = nullptr)
{
    bool opened = false;
    modal::onNext([&](QWidget* chooser) {
        opened = qobject_cast<ContactChooser*>(chooser) != nullptr;
        if (storeOpenDuringPick)
            *storeOpenDuringPick = g_pOutlookApp != nullptr;
        // The chooser's search field, whether or not its window is active yet.
        auto* search = chooser->findChild<QLineEdit*>();
        if (pick.search.isEmpty()) {
            QTest::keyClick(search, Qt::Key_Escape);
            return;
        }
        QTest::keyClicks(search, pick.search);
        if (pick.doubleClick) {
            auto* list = chooser->findChild<QListView*>();
            const QPoint at = list->visualRect(list->model()->index(0, 0)).center();
            // A real mouse clicks once before the double click.
            QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, at);
            QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, at);
        } else {
            QTest::keyClick(search, Qt::Key_Down);
            QTest::keyClick(search, Qt::Key_Return);
        }
    });
    contactsCommand(call)->trigger();
    return opened;
}

} // namespace

class TestContactPick : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleaning_data();
    void cleaning();
    void pickFillsNumberAndName_data();
    void pickFillsNumberAndName();
    void failedPicksChangeNothing_data();
    void failedPicksChangeNothing();
    void pickedNameReachesConfirmation();
    void noContactsAtAll();

private:
    std::unique_ptr<QTemporaryDir> m_dir;
};

void TestContactPick::init()
{
    setDeviceClassForTesting(DeviceClass::Other);
    m_dir = std::make_unique<QTemporaryDir>();
    qputenv("XDG_DATA_HOME", m_dir->path().toUtf8());
    const QString folder = m_dir->filePath(QStringLiteral("dialer/contacts"));
    QDir().mkpath(folder);
    QFile f(folder + QStringLiteral("/export.vcf"));
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write(kContacts);
    CardBook book;
    book.append({ u"Intl", u"8005550100", u"1234", u"3", u"011", u"2" });
    QVERIFY(CardFile::save(book, SaveMode::Replace));
}

void TestContactPick::cleaning_data()
{
    QTest::addColumn<QString>("stored");
    QTest::addColumn<QString>("cleaned");
    QTest::newRow("international") << "+12 (345) 678-9012"
                                   << "+123456789012";
    QTest::newRow("letters stay") << "555-CALL-NOW"
                                  << "555CALLNOW";
    QTest::newRow("dots, slashes, stars stay") << "555.0100/2 *31#"
                                               << "555.0100/2*31#";
    QTest::newRow("only separators") << " ( ) - "
                                     << "";
    QTest::newRow("tab is not a space") << "555\t0100"
                                        << "555\t0100";
}

void TestContactPick::cleaning()
{
    QFETCH(QString, stored);
    QFETCH(QString, cleaned);
    QCOMPARE(CleanPhoneNumber(stored), cleaned);
}

void TestContactPick::pickFillsNumberAndName_data()
{
    QTest::addColumn<QString>("search");
    QTest::addColumn<bool>("doubleClick");
    QTest::addColumn<QString>("number");
    QTest::addColumn<QString>("name");
    QTest::newRow("keys") << "ann" << false << "+15550100200"
                          << "Doe, Ann";
    QTest::newRow("double click") << "ann d" << true << "+15550100200"
                                  << "Doe, Ann";
    QTest::newRow("longer than 20, whole") << "carla" << false << "+44020794600000000000012"
                                           << "Long, Carla";
    QTest::newRow("letters kept") << "letters" << false << "555CALLNOW"
                                  << "Letters, Dial";
    QTest::newRow("no N: FN as file-as") << "eve" << false << "555.0500/1"
                                         << "Eve NoName";
}

void TestContactPick::pickFillsNumberAndName()
{
    QFETCH(QString, search);
    QFETCH(bool, doubleClick);
    QFETCH(QString, number);
    QFETCH(QString, name);
    Cphonecall call;
    bool opened = false, storeOpen = false;
    QString gotNumber, gotName;
    modal::onNext([&](QWidget* w) {
        opened = pickFrom(w, { search, doubleClick }, &storeOpen);
        gotNumber = screen(w)->GetDlgItemText(res::IDC_CALL_NUMBER);
        gotName = screen(w)->GetDlgItemText(res::IDC_CALL_CONTACTNAME);
        modal::close(w);
    });
    call.DoModal();
    QVERIFY(opened);
    QVERIFY(storeOpen);
    QVERIFY(!g_pOutlookApp); // let go once the pick is over
    QCOMPARE(gotNumber, number);
    QCOMPARE(gotName, name);
    // The name is not shown on the make-call screen itself.
    QVERIFY(!call.IsItemShown(res::IDC_CALL_CONTACTNAME));
}

void TestContactPick::failedPicksChangeNothing_data()
{
    QTest::addColumn<QString>("second");
    QTest::newRow("home number only") << "bob";
    QTest::newRow("chooser cancelled") << "";
}

void TestContactPick::failedPicksChangeNothing()
{
    QFETCH(QString, second);
    Cphonecall call;
    QString afterFirst, afterSecond, nameAfterFirst, nameAfterSecond;
    modal::onNext([&](QWidget* w) {
        pickFrom(w, { QStringLiteral("ann") });
        // Overwritten by hand: the picked name stays.
        auto* box = w->findChild<QLineEdit*>(QStringLiteral("ctl%1").arg(res::IDC_CALL_NUMBER));
        box->setFocus();
        box->selectAll();
        QTest::keyClicks(box, QStringLiteral("5550199"));
        afterFirst = screen(w)->GetDlgItemText(res::IDC_CALL_NUMBER);
        nameAfterFirst = screen(w)->GetDlgItemText(res::IDC_CALL_CONTACTNAME);
        pickFrom(w, { second });
        afterSecond = screen(w)->GetDlgItemText(res::IDC_CALL_NUMBER);
        nameAfterSecond = screen(w)->GetDlgItemText(res::IDC_CALL_CONTACTNAME);
        modal::close(w);
    });
    call.DoModal();
    QCOMPARE(afterFirst, QStringLiteral("5550199"));
    QCOMPARE(nameAfterFirst, QStringLiteral("Doe, Ann"));
    QCOMPARE(afterSecond, afterFirst);
    QCOMPARE(nameAfterSecond, nameAfterFirst);
    QVERIFY(!g_pOutlookApp);
}

void TestContactPick::pickedNameReachesConfirmation()
{
    // From the home screen, as a user goes: Make Call, a card, a contact,
    // Dial; the confirmation screen shows the picked name and number.
    CDialerDlg home;
    QStringList shown;
    modal::onNext([&](QWidget* first) {
        modal::onNext([&](QWidget* call) {
            auto* list = call->findChild<QComboBox*>(QStringLiteral("ctl%1").arg(res::IDC_CALL_CARDLIST));
            list->setFocus();
            QTest::keyClick(list, Qt::Key_Down);
            pickFrom(call, { QStringLiteral("ann") });
            modal::onNext([&](QWidget* confirm) {
                const CDialogBase* s = screen(confirm);
                shown = QStringList { s->GetDlgItemText(res::IDC_CONFIRM_CONTACT),
                    s->GetDlgItemText(res::IDC_CONFIRM_NUMBER), s->GetDlgItemText(res::IDC_CONFIRM_CARDNAME) };
                modal::close(confirm);
                QTimer::singleShot(0, [call, first] {
                    modal::close(call);
                    QTimer::singleShot(0, [first] { modal::close(first); });
                });
            });
            call->findChild<QPushButton*>(QStringLiteral("ctl%1").arg(res::IDC_CALL_DIAL))->click();
        });
        first->findChild<QPushButton*>(QStringLiteral("ctl%1").arg(res::IDC_MAKECALL))->click();
    });
    home.DoModal();
    QCOMPARE(shown, (QStringList { "Doe, Ann", "+15550100200", "Intl" }));
}

void TestContactPick::noContactsAtAll()
{
    QDir(m_dir->filePath(QStringLiteral("dialer/contacts"))).removeRecursively();
    Cphonecall call;
    QString number;
    int listed = -1;
    modal::onNext([&](QWidget* w) {
        modal::onNext([&](QWidget* chooser) {
            listed = static_cast<ContactChooser*>(chooser)->visibleCount();
            QTest::keyClick(chooser->findChild<QLineEdit*>(), Qt::Key_Return); // nothing to choose
            modal::close(chooser);
        });
        contactsCommand(w)->trigger();
        number = screen(w)->GetDlgItemText(res::IDC_CALL_NUMBER);
        modal::close(w);
    });
    call.DoModal();
    QCOMPARE(listed, 0);
    QCOMPARE(number, QString());
}

QTEST_MAIN(TestContactPick)
#include "TestContactPick.moc"
