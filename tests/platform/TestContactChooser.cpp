#include "ContactChooser.h"
#include "ContactStore.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QListView>
#include <QPointer>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <functional>

namespace {

void writeFile(const QString& path, const QByteArray& bytes)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly) || f.write(bytes) != bytes.size())
        qFatal("cannot write %s", qPrintable(path));
}

QByteArray card(const QByteArray& fn, const QByteArray& n, const QByteArray& tels, const QByteArray& extra = {})
{
    return "BEGIN:VCARD\r\nVERSION:3.0\r\n" + (fn.isEmpty() ? QByteArray() : "FN:" + fn + "\r\n") + "N:" + n + "\r\n"
        + tels + extra + "END:VCARD\r\n";
}

// The folder layout the store meets on a phone: cards in the folder itself,
// one folder per synced address book, and files that are not cards.
void writeSampleFolders(const QString& root)
{
    writeFile(root + "/book/all.vcf",
        card("María Ortega", "Ortega;María;;;", "TEL;TYPE=CELL:+34 (600) 100-200\r\n")
            + card("Mario Rossi", "Rossi;Mario;;;", "TEL;TYPE=HOME:06 555 0101\r\nTEL;TYPE=CELL:333 555 0102\r\n")
            + card("Marianne Weber", "Weber;Marianne;;;", "TEL;TYPE=WORK:0049 30 5550103\r\n")
            + card("Zed", "Zed;;;;", "TEL;TYPE=CELL:555-0104\r\n", "UID:zed-uid\r\n"));
    writeFile(root + "/book/synced/abc123.vcf", card("Anna Marx", "Marx;Anna;;;", "TEL;TYPE=CELL:555-0105\r\n"));
    writeFile(root + "/book/synced/NOTES.txt", card("Not A Card", "Card;Not;;;", "TEL:1\r\n"));
    writeFile(root + "/book/synced/deeper/too-deep.vcf", card("Too Deep", "Deep;Too;;;", "TEL:1\r\n"));
    writeFile(root + "/other/one.VCARD", card("", "Becker;Ben;;;", "TEL;TYPE=CELL:555-0106\r\n"));
}

// Runs ChooseContact while `drive` works the dialog from inside its modal
// loop. A dialog still open afterwards is cancelled, so a failed step cannot
// hang the test.
std::int32_t pick(
    const ContactStore& store, const std::function<void(ContactChooser&)>& drive, int* oid, QWidget* owner = nullptr)
{
    QTimer::singleShot(0, [drive] {
        QPointer<ContactChooser> dialog = qobject_cast<ContactChooser*>(QApplication::activeModalWidget());
        if (dialog == nullptr)
            return;
        drive(*dialog);
        if (dialog != nullptr && dialog->isVisible())
            QTimer::singleShot(0, dialog.data(), &QDialog::reject);
    });
    CHOOSECONTACT cc {};
    cc.cbSize = sizeof(cc);
    cc.hwndOwner = owner;
    cc.dwFlags = CCF_CHOOSECONTACTONLY;
    cc.oidContactID = -7;
    const std::int32_t status = ChooseContact(&cc, store);
    *oid = cc.oidContactID;
    return status;
}

QLineEdit* searchOf(ContactChooser& d)
{
    return d.findChild<QLineEdit*>(QStringLiteral("search"));
}

QListView* listOf(ContactChooser& d)
{
    return d.findChild<QListView*>(QStringLiteral("contacts"));
}

QString currentName(ContactChooser& d)
{
    return listOf(d)->currentIndex().data().toString();
}

const Contact* byName(const ContactStore& store, const QString& name)
{
    for (const Contact& c : store.contacts()) {
        if (c.displayName == name)
            return &c;
    }
    return nullptr;
}

} // namespace

class TestContactChooser : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();

    void storeReadsFoldersOneLevelDeep();
    void storeOidsAndOrder();
    void storeIdentifiers();
    void storeDefaultFoldersFollowXdg();
    void storeMissingFolders();
    void storeLargeFileReadInStretches();

    void filter_data();
    void filter();
    void backspaceWidensAgain();
    void numberQueryAfterSign();
    void arrowsMoveListWhileTyping();
    void typingInListGoesToSearch();

    void downEnterChooses();
    void doubleClickChooses();
    void escapeCancels();
    void cancelButtonCancels();
    void enterWithNoMatchDoesNothing();
    void badArguments();
    void ownerIsActiveWindowWhenNoneGiven();

private:
    QTemporaryDir m_dir;
    std::unique_ptr<ContactStore> m_store;
};

void TestContactChooser::initTestCase()
{
    QVERIFY(m_dir.isValid());
    writeSampleFolders(m_dir.path());
    m_store = ContactStore::open({ m_dir.path() + "/book", m_dir.path() + "/other" });
    QVERIFY(m_store != nullptr);
}

void TestContactChooser::storeReadsFoldersOneLevelDeep()
{
    QStringList names;
    for (const Contact& c : m_store->contacts())
        names << c.displayName;
    QCOMPARE(
        names, (QStringList { "Anna Marx", "Becker, Ben", "María Ortega", "Marianne Weber", "Mario Rossi", "Zed" }));

    const Contact* mario = byName(*m_store, "Mario Rossi");
    QVERIFY(mario != nullptr);
    QCOMPARE(mario->fileAs, QStringLiteral("Rossi, Mario"));
    QCOMPARE(mario->mobile, QStringLiteral("333 555 0102"));
    QCOMPARE(mario->phones, (QStringList { "home 06 555 0101", "mobile 333 555 0102" }));
    QCOMPARE(mario->numbers, (QStringList { "06 555 0101", "333 555 0102" }));
    QVERIFY(byName(*m_store, "Marianne Weber")->mobile.isEmpty());
}

void TestContactChooser::storeOidsAndOrder()
{
    const auto& contacts = m_store->contacts();
    for (std::size_t i = 0; i < contacts.size(); ++i) {
        QCOMPARE(contacts[i].oid, static_cast<int>(i) + 1);
        QCOMPARE(m_store->itemFromOid(contacts[i].oid), &contacts[i]);
    }
    QCOMPARE(m_store->itemFromOid(0), nullptr);
    QCOMPARE(m_store->itemFromOid(-1), nullptr);
    QCOMPARE(m_store->itemFromOid(static_cast<int>(contacts.size()) + 1), nullptr);
}

void TestContactChooser::storeIdentifiers()
{
    QCOMPARE(byName(*m_store, "Zed")->identifier, QStringLiteral("zed-uid"));
    // Without a UID the card is known by its file and its place in it.
    QCOMPARE(byName(*m_store, "Mario Rossi")->identifier, m_dir.path() + "/book/all.vcf#1");
    QCOMPARE(byName(*m_store, "Anna Marx")->identifier, m_dir.path() + "/book/synced/abc123.vcf#0");
    const auto again = ContactStore::open({ m_dir.path() + "/book", m_dir.path() + "/other" });
    QCOMPARE(byName(*again, "Mario Rossi")->identifier, byName(*m_store, "Mario Rossi")->identifier);
}

void TestContactChooser::storeDefaultFoldersFollowXdg()
{
    QTemporaryDir data;
    const QByteArray saved = qgetenv("XDG_DATA_HOME");
    qputenv("XDG_DATA_HOME", data.path().toUtf8());
    const QStringList folders = ContactStore::defaultFolders();
    writeFile(
        data.path() + "/kpeoplevcard/own/1.vcf", card("Plasma Person", "Person;Plasma;;;", "TEL;TYPE=CELL:1\r\n"));
    writeFile(data.path() + "/dialer/contacts/2.vcf", card("Own Person", "Person;Own;;;", "TEL;TYPE=CELL:2\r\n"));
    const auto store = ContactStore::open();
    if (saved.isNull())
        qunsetenv("XDG_DATA_HOME");
    else
        qputenv("XDG_DATA_HOME", saved);

    QCOMPARE(folders, (QStringList { data.path() + "/kpeoplevcard", data.path() + "/dialer/contacts" }));
    QCOMPARE(store->contacts().size(), std::size_t(2));
    QCOMPARE(store->contacts()[0].displayName, QStringLiteral("Own Person"));
    QCOMPARE(store->contacts()[1].displayName, QStringLiteral("Plasma Person"));
}

void TestContactChooser::storeMissingFolders()
{
    const auto store = ContactStore::open({ m_dir.path() + "/nowhere" });
    QVERIFY(store != nullptr);
    QVERIFY(store->contacts().empty());
}

void TestContactChooser::storeLargeFileReadInStretches()
{
    // Several megabytes: the store parses such a file in stretches on
    // several threads; no card may be lost or numbered twice at the seams.
    QTemporaryDir dir;
    QByteArray bytes;
    const int count = 12000;
    for (int i = 0; i < count; ++i) {
        const QByteArray n = QByteArray::number(i).rightJustified(6, '0');
        bytes += card("Card " + n, "Card;" + n + ";;;", "TEL;TYPE=CELL:" + n + "\r\n",
            "NOTE:" + QByteArray(200 + i % 300, 'x') + "\r\n");
    }
    QVERIFY(bytes.size() > 3 * 1024 * 1024);
    writeFile(dir.path() + "/big.vcf", bytes);
    const auto store = ContactStore::open({ dir.path() });
    QCOMPARE(store->contacts().size(), std::size_t(count));
    for (int i = 0; i < count; ++i) {
        const Contact& c = store->contacts()[static_cast<std::size_t>(i)];
        const QString n = QString::number(i).rightJustified(6, u'0');
        QCOMPARE(c.displayName, "Card " + n);
        QCOMPARE(c.mobile, n);
        QCOMPARE(c.identifier, dir.path() + "/big.vcf#" + QString::number(i));
    }
}

void TestContactChooser::filter_data()
{
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QStringList>("shown");
    QTest::newRow("nothing") << ""
                             << QStringList { "Anna Marx", "Becker, Ben", "María Ortega", "Marianne Weber",
                                    "Mario Rossi", "Zed" };
    QTest::newRow("prefix, case and accents ignored")
        << "MARI" << QStringList { "María Ortega", "Marianne Weber", "Mario Rossi" };
    QTest::newRow("inside a name") << "arx" << QStringList { "Anna Marx" };
    QTest::newRow("family name from N") << "becker" << QStringList { "Becker, Ben" };
    QTest::newRow("number as written") << "(600) 100" << QStringList { "María Ortega" };
    QTest::newRow("number by digits") << "5550103" << QStringList { "Marianne Weber" };
    QTest::newRow("number spaced differently") << "555 01-02" << QStringList { "Mario Rossi" };
    QTest::newRow("home number found too") << "06 555" << QStringList { "Mario Rossi" };
    QTest::newRow("no match") << "xyzzy" << QStringList {};
    QTest::newRow("label words are not searched") << "mobile" << QStringList {};
}

void TestContactChooser::filter()
{
    QFETCH(QString, typed);
    QFETCH(QStringList, shown);
    ContactChooser chooser(*m_store);
    chooser.show();
    QTest::keyClicks(searchOf(chooser), typed);
    QStringList names;
    QAbstractItemModel* model = listOf(chooser)->model();
    for (int row = 0; row < model->rowCount(); ++row)
        names << model->index(row, 0).data().toString();
    QCOMPARE(names, shown);
    QCOMPARE(chooser.visibleCount(), static_cast<int>(shown.size()));
    QCOMPARE(currentName(chooser), shown.value(0));
}

void TestContactChooser::backspaceWidensAgain()
{
    ContactChooser chooser(*m_store);
    chooser.show();
    QLineEdit* search = searchOf(chooser);
    QTest::keyClicks(search, "mar");
    const int mar = chooser.visibleCount();
    QCOMPARE(mar, 4);
    QTest::keyClicks(search, "ia");
    QCOMPARE(chooser.visibleCount(), 2);
    QTest::keyClick(search, Qt::Key_Backspace);
    QTest::keyClick(search, Qt::Key_Backspace);
    QCOMPARE(chooser.visibleCount(), mar);
    QTest::keyClicks(search, "k");
    QCOMPARE(chooser.visibleCount(), 0);
    search->clear();
    QCOMPARE(chooser.visibleCount(), static_cast<int>(m_store->contacts().size()));
}

void TestContactChooser::numberQueryAfterSign()
{
    // "+" alone matches no text, but "+49" matches "0049 ..." by digits: the
    // longer query must not be searched among the shorter one's matches.
    ContactChooser chooser(*m_store);
    chooser.show();
    QTest::keyClicks(searchOf(chooser), "+");
    QTest::keyClicks(searchOf(chooser), "49");
    QCOMPARE(currentName(chooser), QStringLiteral("Marianne Weber"));
}

void TestContactChooser::arrowsMoveListWhileTyping()
{
    ContactChooser chooser(*m_store);
    chooser.show();
    QLineEdit* search = searchOf(chooser);
    search->setFocus();
    QTest::keyClicks(search, "mar");
    QCOMPARE(currentName(chooser), QStringLiteral("Anna Marx"));
    QTest::keyClick(search, Qt::Key_Down);
    QTest::keyClick(search, Qt::Key_Down);
    QCOMPARE(currentName(chooser), QStringLiteral("Marianne Weber"));
    QTest::keyClick(search, Qt::Key_Up);
    QCOMPARE(currentName(chooser), QStringLiteral("María Ortega"));
    QCOMPARE(chooser.focusWidget(), search);
    QCOMPARE(search->text(), QStringLiteral("mar"));
}

void TestContactChooser::typingInListGoesToSearch()
{
    ContactChooser chooser(*m_store);
    chooser.show();
    listOf(chooser)->setFocus();
    QTest::keyClicks(listOf(chooser), "zed");
    QCOMPARE(searchOf(chooser)->text(), QStringLiteral("zed"));
    QCOMPARE(chooser.visibleCount(), 1);
}

void TestContactChooser::downEnterChooses()
{
    int oid = 0;
    const std::int32_t status = pick(
        *m_store,
        [](ContactChooser& d) {
            QTest::keyClicks(searchOf(d), "mari");
            QTest::keyClick(searchOf(d), Qt::Key_Down);
            QTest::keyClick(searchOf(d), Qt::Key_Return);
        },
        &oid);
    QCOMPARE(status, pim::S_OK);
    QCOMPARE(oid, byName(*m_store, "Marianne Weber")->oid);
    QCOMPARE(m_store->itemFromOid(oid)->mobile, QString());
}

void TestContactChooser::doubleClickChooses()
{
    int oid = 0;
    bool singleClickLeftOpen = false;
    const std::int32_t status = pick(
        *m_store,
        [&singleClickLeftOpen](ContactChooser& d) {
            QTest::keyClicks(searchOf(d), "ma");
            QListView* list = listOf(d);
            const QModelIndex third = list->model()->index(2, 0);
            const QPoint at = list->visualRect(third).center();
            // The first click only selects; the view needs it before a double
            // click, as a real mouse gives it.
            QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, at);
            singleClickLeftOpen = d.isVisible();
            QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, at);
        },
        &oid);
    QVERIFY(singleClickLeftOpen);
    QCOMPARE(status, pim::S_OK);
    QCOMPARE(oid, byName(*m_store, "Marianne Weber")->oid);
}

void TestContactChooser::escapeCancels()
{
    int oid = 0;
    const std::int32_t status = pick(
        *m_store,
        [](ContactChooser& d) {
            QTest::keyClicks(searchOf(d), "zed");
            QTest::keyClick(searchOf(d), Qt::Key_Escape);
        },
        &oid);
    QVERIFY(status < 0);
    QCOMPARE(status, pim::E_ABORT);
    QCOMPARE(oid, -7);
}

void TestContactChooser::cancelButtonCancels()
{
    int oid = 0;
    bool clicked = false;
    const std::int32_t status = pick(
        *m_store,
        [&clicked](ContactChooser& d) {
            for (QPushButton* b : d.findChildren<QPushButton*>()) {
                if (b->text().remove('&') == QStringLiteral("Cancel")) {
                    QTest::mouseClick(b, Qt::LeftButton);
                    clicked = true;
                }
            }
        },
        &oid);
    QVERIFY(clicked);
    QCOMPARE(status, pim::E_ABORT);
    QCOMPARE(oid, -7);
}

void TestContactChooser::enterWithNoMatchDoesNothing()
{
    int oid = 0;
    bool stillOpen = false;
    const std::int32_t status = pick(
        *m_store,
        [&stillOpen](ContactChooser& d) {
            QTest::keyClicks(searchOf(d), "xyzzy");
            QTest::keyClick(searchOf(d), Qt::Key_Return);
            stillOpen = d.isVisible();
            QTest::keyClick(searchOf(d), Qt::Key_Escape);
        },
        &oid);
    QVERIFY(stillOpen);
    QCOMPARE(status, pim::E_ABORT);
}

void TestContactChooser::badArguments()
{
    QCOMPARE(ChooseContact(nullptr, *m_store), pim::E_FAIL);
    CHOOSECONTACT cc {};
    cc.cbSize = 52; // the platform's size, not ours
    cc.oidContactID = 5;
    QCOMPARE(ChooseContact(&cc, *m_store), pim::E_FAIL);
    QCOMPARE(cc.oidContactID, 5);
}

void TestContactChooser::ownerIsActiveWindowWhenNoneGiven()
{
    QWidget screen;
    screen.show();
    QApplication::setActiveWindow(&screen);
    QWidget* parentSeen = nullptr;
    int oid = 0;
    pick(
        *m_store,
        [&parentSeen](ContactChooser& d) {
            parentSeen = d.parentWidget();
            QTest::keyClick(searchOf(d), Qt::Key_Escape);
        },
        &oid);
    QCOMPARE(parentSeen, &screen);

    QWidget owner;
    pick(
        *m_store,
        [&parentSeen](ContactChooser& d) {
            parentSeen = d.parentWidget();
            QTest::keyClick(searchOf(d), Qt::Key_Escape);
        },
        &oid, &owner);
    QCOMPARE(parentSeen, &owner);
}

QTEST_MAIN(TestContactChooser)
#include "TestContactChooser.moc"
