#include "ContactChooser.h"
#include "ContactStore.h"
#include "EdsSeed.h"
#include "phonebook.h"
#include "PhonecallDlg.h"
#include "PrivateEds.h"
#include "ResourceIds.h"
#include "ScreenScript.h"

#include <QAccessible>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QLabel>
#include <QMenu>
#include <QSignalSpy>

// The contacts of a real, private Evolution Data Server, seeded through its
// own client library: listed with the vCard folders' in one chooser, picked
// into the make-call screen, a book that cannot be read named, and nothing of
// EDS started where it was never used.

using namespace screentest;

namespace {

const QString kRegistry = "org.gnome.evolution.dataserver.Sources5";
const QString kBooks = "org.gnome.evolution.dataserver.AddressBook10";
constexpr int kGenerated = 2000;

// As GNOME Contacts stores them: the people each rule is about, one with no
// number (never listed), and 2,000 more.
std::vector<edsseed::Person> people()
{
    std::vector<edsseed::Person> all {
        { "Jane Doe", "Doe", "Jane", "+1 (555) 010-0200", "+1 (555) 010-0201", "+1 (555) 010-0202", {} },
        { "Ольга Петрова", "Петрова", "Ольга", "+7 912 345-67-89", {}, {}, {} },
        { "Sam Both", "Both", "Sam", "+44 7700 900123", {}, {}, "sam-both@example.org" },
        { "Nobody Nonumber", "Nonumber", "Nobody", {}, {}, {}, {} },
    };
    for (int i = 0; i < kGenerated; ++i) {
        const std::string n = QString::number(i).rightJustified(4, u'0').toStdString();
        all.push_back({ "Test " + n, n, "Test", "+1 555 20" + n, {}, {}, {} });
    }
    return all;
}

// A contact as the chooser has it: name, file-as name, mobile and numbers.
QString shown(const Contact& c)
{
    return c.displayName + '|' + c.fileAs + '|' + c.mobile + '|' + c.phones.join(", ");
}

void write(const QString& path, const QByteArray& bytes)
{
    QDir().mkpath(QFileInfo(path).path());
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size());
}

// Read as a pick reads them, the address books included.
std::unique_ptr<ContactStore> readAsPick(const QStringList& folders)
{
    auto store = std::make_unique<ContactStore>();
    QSignalSpy ready(store.get(), &ContactStore::ready);
    store->logon(folders);
    if (!ready.wait(kPatienceMs))
        qWarning("the contacts were never ready");
    return store;
}

bool owned(const QString& name)
{
    return QDBusConnection::sessionBus().interface()->isServiceRegistered(name);
}

} // namespace

class TestEdsContacts : public QObject {
    Q_OBJECT
    DataHome m_data; // $XDG_DATA_HOME before the bus starts
    PrivateEds m_eds;
    QTemporaryDir m_folders;
    bool m_seeded = false;

    void seed()
    {
        if (!m_seeded)
            QCOMPARE(edsseed::addPeople(people()), "");
        m_seeded = true;
    }

private slots:
    // Run first, before anything has started EDS.
    void absent_data()
    {
        QTest::addColumn<bool>("bus");
        QTest::newRow("no session bus") << false;
        QTest::newRow("a bus, EDS never used") << true;
    }
    void absent()
    {
        QFETCH(bool, bus);
        write(m_folders.filePath("absent/a.vcf"), "BEGIN:VCARD\nFN:Vera Vcard\nTEL;TYPE=CELL:555 0100\nEND:VCARD\n");
        const QByteArray address = qgetenv("DBUS_SESSION_BUS_ADDRESS");
        if (!bus)
            qunsetenv("DBUS_SESSION_BUS_ADDRESS");
        const auto store = readAsPick({ m_folders.filePath("absent") });
        qputenv("DBUS_SESSION_BUS_ADDRESS", address);
        QCOMPARE(store->contacts().size(), 1u);
        QCOMPARE(shown(store->contacts()[0]), "Vera Vcard|Vera Vcard|555 0100|mobile 555 0100");
        QVERIFY(!store->leftOut().any());
        QVERIFY(!owned(kRegistry) && !owned(kBooks));
        QVERIFY2(!m_eds.busLog().contains("Activating"), qPrintable(m_eds.busLog()));
    }

    // With a vCard folder or none: who is listed, and how, and each person once.
    void list_data()
    {
        QTest::addColumn<QByteArray>("folder"); // null: none
        QTest::addColumn<QStringList>("listed"); // the contacts not generated, in order
        const QStringList inEds { "Jane Doe|Doe, Jane|+1 (555) 010-0200|mobile +1 (555) 010-0200, "
                                  "home +1 (555) 010-0201, work +1 (555) 010-0202",
            "Sam Both|Both, Sam|+44 7700 900123|mobile +44 7700 900123",
            "Ольга Петрова|Петрова, Ольга|+7 912 345-67-89|mobile +7 912 345-67-89" };
        QTest::newRow("no vCard folder") << QByteArray() << inEds;
        QTest::newRow("some in a folder too")
            << QByteArray("BEGIN:VCARD\nFN:Sam B.\nUID:sam-both@example.org\nTEL:1\nEND:VCARD\n"
                          "BEGIN:VCARD\nFN:JANE DOE\nTEL;TYPE=WORK:+15550100202\nTEL:+1 555 010 0200\n"
                          "TEL;TYPE=HOME:+1 555 010-0201\nEND:VCARD\n"
                          "BEGIN:VCARD\nFN:Jane Doe\nTEL;TYPE=CELL:555 0999\nEND:VCARD\n"
                          "BEGIN:VCARD\nFN:Vera Vcard\nTEL;TYPE=CELL:555 0100\nEND:VCARD\n")
            << QStringList { inEds[0], "Jane Doe|Jane Doe|555 0999|mobile 555 0999", inEds[1],
                   "Vera Vcard|Vera Vcard|555 0100|mobile 555 0100", inEds[2] };
    }
    void list()
    {
        QFETCH(QByteArray, folder);
        QFETCH(QStringList, listed);
        seed();
        const QString path = m_folders.filePath(QTest::currentDataTag());
        if (!folder.isNull())
            write(path + "/all.vcf", folder);
        const auto store = readAsPick({ path });
        QStringList got;
        int generated = 0;
        for (const Contact& c : store->contacts()) {
            if (c.displayName.startsWith("Test "))
                ++generated;
            else
                got << shown(c);
        }
        QVERIFY2(!store->leftOut().any(), qPrintable(store->leftOut().whyUnread.join(", ")));
        QCOMPARE(generated, kGenerated);
        QCOMPARE(got, listed);
    }

    // Make Call > Phonebook > Contacts with no vCard folder: all 2,003 in the
    // chooser, and Jane Doe's mobile and file-as name taken.
    void pick()
    {
        seed();
        writeCards({ card(u"Home", u"8005550100", u"", u"0", u"", u"0") });
        QStringList confirmed;
        Script s;
        s.screen("Cphonecall", [&](QWidget* w) {
            choose(w, res::IDC_CALL_CARDLIST, QStringLiteral("Home"));
            auto* menu = QAccessible::queryAccessibleInterface(w->findChild<QMenu*>());
            QTest::keySequence(QApplication::focusWidget(), menu->child(0)->text(QAccessible::Accelerator));
            QCOMPARE(text(w, res::IDC_CALL_NUMBER), "+15550100200");
            click(w, res::IDC_CALL_DIAL);
            static_cast<QDialog*>(w)->reject();
        });
        s.screen("ContactChooser", [&](QWidget* w) {
            auto* chooser = static_cast<ContactChooser*>(w);
            QTRY_COMPARE_WITH_TIMEOUT(chooser->visibleCount(), kGenerated + 3, kPatienceMs);
            QTest::keyClicks(w->findChild<QLineEdit*>(), "jane\r");
        });
        s.screen("CConfirmcall", [&](QWidget* w) {
            for (int id : { res::IDC_CONFIRM_CONTACT, res::IDC_CONFIRM_NUMBER })
                confirmed << ctl<QLabel>(w, id)->text();
            static_cast<QDialog*>(w)->reject();
        });
        Cphonecall call;
        QVERIFY2(s.run(call), qPrintable(s.report()));
        QCOMPARE(confirmed, QStringList({ "Doe, Jane", "+15550100200" }));
    }

    // A second book that cannot be opened: the first still lists, and the
    // chooser's status line names the other.
    void unreadable()
    {
        seed();
        QCOMPARE(edsseed::addDamagedBook("Broken Book", qEnvironmentVariable("XDG_DATA_HOME").toStdString()), "");
        const auto store = readAsPick({});
        QCOMPARE(store->contacts().size(), std::size_t(kGenerated + 3));
        ContactChooser chooser(*store);
        const auto* line = chooser.findChild<QLabel*>("leftOut");
        QCOMPARE(line->text(), "Not listed — address books that could not be read: Broken Book");
        QVERIFY2(
            line->toolTip().startsWith("Broken Book: ") && line->toolTip().size() > 14, qPrintable(line->toolTip()));
    }

    // Run each in a test program of its own: a daemon that answers nothing,
    // there before EDS's own. The vCard folders still list, once the step
    // waiting for it has given up.
    void stalled_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("named");
        QTest::newRow("registry") << kRegistry << "Evolution Data Server";
        QTest::newRow("address books") << kBooks << "Personal";
    }
    void stalled()
    {
        QFETCH(QString, name);
        QFETCH(QString, named);
        // A user of EDS: the built-in book has its folder.
        QVERIFY(QDir().mkpath(m_data.dir.filePath("evolution/addressbook/system")));
        m_eds.silence(name);
        if (QTest::currentTestFailed())
            return;
        write(m_folders.filePath("stalled/a.vcf"), "BEGIN:VCARD\nFN:Vera Vcard\nTEL;TYPE=CELL:555 0100\nEND:VCARD\n");
        const auto store = readAsPick({ m_folders.filePath("stalled") });
        QCOMPARE(store->contacts().size(), 1u);
        QCOMPARE(store->leftOut().unreadBooks, QStringList { named });
        QCOMPARE(store->leftOut().whyUnread, QStringList { named + ": did not answer in time" });
    }
};

QTEST_MAIN(TestEdsContacts)
#include "TestEdsContacts.moc"
