#include "ContactChooser.h"
#include "ContactStore.h"
#include "EdsSeed.h"
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

// A real, private Evolution Data Server with a second book that cannot be
// opened: its contacts listed with a vCard folder's and picked; nothing of it
// started where it was never used, nor waited for past a deadline.

using namespace screentest;

namespace {

const QString kRegistry = "org.gnome.evolution.dataserver.Sources5",
              kBooks = "org.gnome.evolution.dataserver.AddressBook10";
const QByteArray kVera = "BEGIN:VCARD\nFN:Vera Vcard\nTEL;TYPE=CELL:555 0100\nEND:VCARD\n";
constexpr int kGenerated = 2000;

// As a pick reads them, the address books included: the folder `name` with `vcards` in it.
std::unique_ptr<ContactStore> readAsPick(const QTemporaryDir& folders, const char* name, const QByteArray& vcards)
{
    writeFile(folders.filePath(name) + "/a.vcf", vcards);
    auto store = std::make_unique<ContactStore>();
    QSignalSpy ready(store.get(), &ContactStore::ready);
    store->logon({ folders.filePath(name) });
    if (!ready.wait(kPatienceMs))
        qWarning("the contacts were never ready");
    return store;
}

// Name, file-as name, mobile and numbers, as the chooser has them.
QString shown(const Contact& c)
{
    return c.displayName + '|' + c.fileAs + '|' + c.mobile + '|' + c.phones.join(", ");
}

} // namespace

class TestEdsContacts : public QObject {
    Q_OBJECT
    DataHome m_data; // $XDG_DATA_HOME before the bus starts
    PrivateEds m_eds;
    QTemporaryDir m_folders;

    // Once, after the tests of a system that never used EDS: a second book whose
    // backend is gone, then the people, as GNOME Contacts stores them: the ones
    // each rule is about, one with no number, never listed, and 2,000 more.
    void seed()
    {
        static bool seeded = false;
        if (std::exchange(seeded, true))
            return;
        writeFile(qEnvironmentVariable("XDG_CONFIG_HOME") + "/evolution/sources/broken.source",
            "[Data Source]\nDisplayName=Broken Book\nEnabled=true\nParent=local-stub\n\n"
            "[Address Book]\nBackendName=gone\n");
        std::vector<edsseed::Person> people { { "Jane Doe", "Doe", "Jane", "+1 (555) 010-0200", "+1 (555) 010-0201",
                                                  "+1 (555) 010-0202", {} },
            { "Ольга Петрова", "Петрова", "Ольга", "+7 912 345-67-89", {}, {}, {} },
            { "Sam Both", "Both", "Sam", "+44 7700 900123", {}, {}, "sam-both@example.org" },
            { "Nobody Nonumber", "Nonumber", "Nobody", {}, {}, {}, {} } };
        for (int i = 0; i < kGenerated; ++i)
            people.push_back({ "Test " + std::to_string(1000 + i), std::to_string(1000 + i), "Test",
                "+1 555 2" + std::to_string(1000 + i), {}, {}, {} });
        QCOMPARE(edsseed::addPeople(people), "");
    }

private slots:
    // Before anything has started EDS: none of its daemons starts, and the folder lists.
    void absent()
    {
        const auto store = readAsPick(m_folders, "vera", kVera);
        QCOMPARE(store->contacts().size(), 1u);
        QCOMPARE(shown(store->contacts()[0]), "Vera Vcard|Vera Vcard|555 0100|mobile 555 0100");
        QVERIFY(!store->leftOut().any());
        const auto* names = QDBusConnection::sessionBus().interface();
        QVERIFY(!names->isServiceRegistered(kRegistry) && !names->isServiceRegistered(kBooks));
        QVERIFY2(!m_eds.busLog().contains("Activating"), m_eds.busLog().constData());
    }

    // With some people in a vCard folder too: who is listed, how, and each person once.
    void list()
    {
        seed();
        const auto store = readAsPick(m_folders, "both",
            "BEGIN:VCARD\nFN:Sam B.\nUID:sam-both@example.org\nTEL:1\nEND:VCARD\nBEGIN:VCARD\nFN:JANE DOE\n"
            "TEL;TYPE=WORK:+15550100202\nTEL:+1 555 010 0200\nTEL;TYPE=HOME:+1 555 010-0201\nEND:VCARD\n"
            "BEGIN:VCARD\nFN:Jane Doe\nTEL;TYPE=CELL:555 0999\nEND:VCARD\n"
                + kVera);
        QStringList got;
        for (const Contact& c : store->contacts())
            if (!c.displayName.startsWith("Test "))
                got << shown(c);
        QCOMPARE(got,
            QStringList({ "Jane Doe|Doe, Jane|+1 (555) 010-0200|mobile +1 (555) 010-0200, home +1 (555) 010-0201, "
                          "work +1 (555) 010-0202",
                "Jane Doe|Jane Doe|555 0999|mobile 555 0999",
                "Sam Both|Both, Sam|+44 7700 900123|mobile +44 7700 900123",
                "Vera Vcard|Vera Vcard|555 0100|mobile 555 0100",
                "Ольга Петрова|Петрова, Ольга|+7 912 345-67-89|mobile +7 912 345-67-89" }));
        QCOMPARE(store->contacts().size(), std::size_t(kGenerated + 5));
    }

    // Make Call > Phonebook > Contacts with no vCard folder: all 2,003 in the
    // chooser, the damaged book named under them, and Jane Doe's mobile taken.
    void pick()
    {
        seed();
        Script s;
        s.closeScreen("Cphonecall", [](QWidget* w) {
            auto* menu = QAccessible::queryAccessibleInterface(w->findChild<QMenu*>());
            QTest::keySequence(QApplication::focusWidget(), menu->child(0)->text(QAccessible::Accelerator));
            QCOMPARE(text(w, res::IDC_CALL_NUMBER), "+15550100200");
        });
        s.screen("ContactChooser", [&](QWidget* w) {
            QTRY_COMPARE_WITH_TIMEOUT(static_cast<ContactChooser*>(w)->visibleCount(), kGenerated + 3, kPatienceMs);
            const auto* line = w->findChild<QLabel*>("leftOut");
            QCOMPARE(line->text(), "Not listed — address books that could not be read: Broken Book");
            QVERIFY2(line->toolTip().startsWith("Broken Book: ") && line->toolTip().size() > 14,
                qPrintable(line->toolTip()));
            QTest::keyClicks(w->findChild<QLineEdit*>(), "jane\r");
        });
        Cphonecall call;
        QVERIFY2(s.run(call), qPrintable(s.report()));
    }

    // Each in a program of its own (see contacts_tests.cmake): a daemon that
    // answers nothing, there before EDS's own, for a user of EDS. The folder
    // still lists once the step waiting for it has given up.
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
        QVERIFY(QDir().mkpath(m_data.dir.filePath("evolution/addressbook/system")));
        m_eds.silence(name);
        if (QTest::currentTestFailed())
            return;
        const auto store = readAsPick(m_folders, "vera", kVera);
        QCOMPARE(store->contacts().size(), 1u);
        QCOMPARE(store->leftOut().whyUnread, QStringList { named + ": did not answer in time" });
    }
};

QTEST_MAIN(TestEdsContacts)
#include "TestEdsContacts.moc"
