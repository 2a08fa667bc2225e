#include "ContactChooser.h"
#include "ContactStore.h"

#include <QDialogButtonBox>
#include <QListView>
#include <QPushButton>
#include <QSemaphore>
#include <QTemporaryDir>
#include <QTest>
#include <QThreadPool>
#include <QTimer>

#include <sys/inotify.h>
#include <unistd.h>

static void write(const QString& path, const QByteArray& bytes)
{
    QDir().mkpath(QFileInfo(path).path());
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size());
}

static QByteArray card(const QByteArray& name, const QByteArray& lines)
{
    return "BEGIN:VCARD\nVERSION:3.0\nN:" + name + "\n" + lines + "END:VCARD\n";
}

Q_DECLARE_METATYPE(VCardLimits)

// The contact store over the default folders, and the chooser driven by real keys and clicks.
class TestContactChooser : public QObject {
    Q_OBJECT
    QTemporaryDir m_dir;
    std::unique_ptr<ContactStore> m_store;

private slots:
    void initTestCase()
    {
        qputenv("XDG_DATA_HOME", m_dir.path().toUtf8());
        write(m_dir.filePath("dialer/contacts/all.vcf"),
            card("Ortega;María", "FN:María Ortega\nTEL;TYPE=CELL:+34 (600) 100-200\n")
                + card("Rossi;Mario", "FN:Mario Rossi\nTEL;TYPE=HOME:06 555 0101\nTEL;TYPE=CELL:333 555 0102\n")
                + card("Weber;Marianne", "FN:Marianne Weber\nTEL;TYPE=WORK,FAX:0049 30 5550103\nTEL;TYPE=x-a:1\n")
                + card("Zed", "FN:Zed\nTEL;TYPE=CELL:555-0104\nTEL;TYPE=VOICE,pref,Google Voice:2\nUID:zed-uid\n"));
        write(m_dir.filePath("dialer/contacts/synced/abc.vcf"),
            card("Marx;Anna", "FN:Anna Marx\nTEL;TYPE=CELL:555-0105\nitem1.TEL:3\nitem1.X-ABLabel:Grandma's\n"));
        write(m_dir.filePath("dialer/contacts/synced/NOTES.txt"), card("Card;Not", "TEL:1\n"));
        write(m_dir.filePath("dialer/contacts/synced/deeper/too-deep.vcf"), card("Deep;Too", "TEL:1\n"));
        write(m_dir.filePath("kpeoplevcard/one.VCARD"), card("Becker;Ben", "TEL;TYPE=CELL:555-0106\n"));
        // Folders reached again through links are read once: a link to ".", a loop of two.
        QVERIFY(QFile::link(".", m_dir.filePath("dialer/contacts/self")));
        QVERIFY(QFile::link("../dialer/contacts/back", m_dir.filePath("kpeoplevcard/loop")));
        QVERIFY(QFile::link("../../kpeoplevcard/loop", m_dir.filePath("dialer/contacts/back")));
        m_store = ContactStore::open();
    }

    // Sorted by folded name, numbered in that order, known by UID or by file and place.
    void store()
    {
        QStringList got;
        for (const Contact& c : m_store->contacts()) {
            QCOMPARE(m_store->itemFromOid(c.oid), &c);
            got << QString::number(c.oid) + ' ' + c.displayName + '|' + c.fileAs + '|' + c.mobile + '|'
                    + c.phones.join(", ") + '|' + c.identifier().section(u'/', -2);
        }
        QCOMPARE(got,
            QStringList({ "1 Anna Marx|Marx, Anna|555-0105|mobile 555-0105, Grandma's 3|synced/abc.vcf#0",
                "2 Becker, Ben|Becker, Ben|555-0106|mobile 555-0106|kpeoplevcard/one.VCARD#0",
                "3 María Ortega|Ortega, María|+34 (600) 100-200|mobile +34 (600) 100-200|contacts/all.vcf#0",
                "4 Marianne Weber|Weber, Marianne||fax 0049 30 5550103, 1|contacts/all.vcf#2",
                "5 Mario Rossi|Rossi, Mario|333 555 0102|home 06 555 0101, mobile 333 555 0102|contacts/all.vcf#1",
                "6 Zed|Zed|555-0104|mobile 555-0104, Google Voice 2|zed-uid" }));
        for (const int oid : { 0, -1, 7 })
            QCOMPARE(m_store->itemFromOid(oid), nullptr);
        // Megabytes are read in stretches on several threads: nothing lost at the seams.
        QByteArray big;
        for (int i = 0; i < 12000; ++i)
            big += card("Big", "TEL;CELL:" + QByteArray::number(i) + "\nNOTE:" + QByteArray(i % 300 + 200, 'x') + "\n");
        write(m_dir.filePath("big/big.vcf"), big);
        const auto large = ContactStore::open({ m_dir.filePath("big") });
        QCOMPARE(large->contacts().size(), 12000u);
        for (const Contact& c : large->contacts())
            QCOMPARE(c.identifier().section(u'/', -1), "big.vcf#" + c.mobile);
        // Files are read in the order of their paths' components, bytes unsigned: equal names keep it, and
        // names alike in their first eight characters are told apart. A link to a card file counts as the file.
        const char* files[] = { "a/x.vcf", "a-b.vcf", "a.vcf", "l.vcf", "z.vcf", "é.vcf" };
        for (const int i : { 2, 5, 0, 4, 1 })
            write(m_dir.filePath("order/") + files[i],
                card("Same", "") + (i ? "" : card("Same name;b", "") + card("Same name;a", "")));
        QVERIFY(QFile::link("z.vcf", m_dir.filePath("order/l.vcf")));
        QStringList read;
        const auto ordered = ContactStore::open({ m_dir.filePath("order") }); // kept for the loop's whole length
        for (const Contact& c : ordered->contacts())
            read << c.identifier().mid(m_dir.filePath("order/").size());
        QCOMPARE(read.join(' '), "a/x.vcf#0 a-b.vcf#0 a.vcf#0 l.vcf#0 z.vcf#0 é.vcf#0 a/x.vcf#2 a/x.vcf#1");
        // Names are folded through a table, character by character, to what the Unicode routines give.
        for (char16_t c = 0x80; c < 0x500; ++c) {
            QString folded = QString(QChar(c)).toCaseFolded().normalized(QString::NormalizationForm_D);
            folded.removeIf([](QChar m) { return m.category() == QChar::Mark_NonSpacing; });
            QCOMPARE(foldForSearch(QString("AB") + QChar(c)), "ab" + folded);
        }
    }

    // Each limit of the store passed by one: the contacts listed and the line under them.
    void leftOut_data()
    {
        QTest::addColumn<VCardLimits>("limits");
        QTest::addColumn<QString>("outcome");
        const QByteArray two = card("B;Bob", "") + card("Cyra;Cyrus", "");
        write(m_dir.filePath("limits/a.vcf"), card("A;Ann", ""));
        write(m_dir.filePath("limits/b.vcf"), two);
        QTest::newRow("none") << VCardLimits {} << "A, Ann|B, Bob|Cyra, Cyrus";
        QTest::newRow("file") << VCardLimits { .fileBytes = std::size_t(two.size()) - 1 }
                              << QString("A, Ann|Not listed — files over %1 bytes: 1").arg(two.size() - 1);
        QTest::newRow("contacts, over files")
            << VCardLimits { .contacts = 2 } << "A, Ann|B, Bob|Not listed — beyond the first 2 contacts: 1";
        QTest::newRow("line") << VCardLimits { .propertyBytes = 11 }
                              << "A, Ann|B, Bob|Not listed — with a field over 11 bytes or a card over 64 kB: 1";
    }
    void leftOut()
    {
        QFETCH(VCardLimits, limits);
        const auto store = ContactStore::open({ m_dir.filePath("limits") }, limits);
        ContactChooser chooser(*store);
        QStringList shown;
        // The two unlabelled controls are named for a screen reader.
        for (const char* name : { "search", "contacts" })
            QVERIFY(!chooser.findChild<QWidget*>(name)->accessibleName().isEmpty());
        for (int row = 0; row < chooser.visibleCount(); ++row)
            shown << chooser.findChild<QListView*>()->model()->index(row, 0).data().toString();
        if (const auto* line = chooser.findChild<QWidget*>("leftOut"); line->isVisibleTo(&chooser))
            shown << line->property("text").toString();
        QTEST(shown.join(u'|'), "outcome");
    }

    // Keys as typed, \b \r \x1b being Backspace, Return and Escape; ↑ ↓ the
    // arrows, » the focus put on the list, ○ ◎ a click and a double click on
    // its third row, ✕ a click on Cancel. ⧗ first: over a store whose reading
    // has not started, every pool thread held until the keys are in.
    void choose_data()
    {
        QTest::addColumn<QString>("keys");
        QTest::addColumn<QString>("outcome"); // the list left open, * at the current row; or the choice
        const char* rows[][3] = {
            { "Escape stops the reading", "⧗zed\x1b", "folder unread" },
            { "Return waits for the list", "⧗zed\r", "chose Zed" },
            { "case and accents ignored", "MARI", "*María Ortega, Marianne Weber, Mario Rossi" },
            { "a number spaced differently", "555 01-02", "*Mario Rossi" },
            { "the end of a text", "0102", "*Mario Rossi" },
            { "other numbers too", "06 555", "*Mario Rossi" },
            { "labels not searched", "mobile", "" },
            { "digits after a sign", "+49", "*Marianne Weber" },
            { "backspace widens", "maria\b\b", "*Anna Marx, María Ortega, Marianne Weber, Mario Rossi" },
            { "and narrows again", "maria\b\bk", "" },
            { "all again", "mar\b\b\b", "*Anna Marx, Becker, Ben, María Ortega, Marianne Weber, Mario Rossi, Zed" },
            { "arrows move the list", "mar↓↓↑", "Anna Marx, *María Ortega, Marianne Weber, Mario Rossi" },
            { "typing in the list searches", "»zed", "*Zed" },
            { "the Cancel button", "✕", "" },
            { "Return without a match", "xyzzy\r\x1b", "" },
            { "Down and Return choose", "mari↓\r", "chose Marianne Weber" },
            { "a double click chooses", "ma○◎", "chose Marianne Weber" },
        };
        for (const auto& r : rows)
            QTest::newRow(r[0]) << QString(r[1]) << QString(r[2]);
    }

    void choose()
    {
        QFETCH(QString, keys);
        const bool unread = keys.startsWith(u'⧗');
        QThreadPool* pool = QThreadPool::globalInstance();
        QSemaphore gate;
        ContactStore fresh;
        const int watch = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
        if (unread) {
            for (int i = 0; i < pool->maxThreadCount(); ++i)
                pool->start([&gate] { gate.acquire(); });
            inotify_add_watch(watch, QFile::encodeName(m_dir.filePath("dialer/contacts")).constData(), IN_OPEN);
            fresh.logon();
        }
        ContactStore& store = unread ? fresh : *m_store;
        QString outcome;
        QTimer::singleShot(0, [&] {
            auto* d = qobject_cast<ContactChooser*>(QApplication::activeModalWidget());
            auto* list = d->findChild<QListView*>();
            const QPoint third = list->visualRect(list->model()->index(2, 0)).center();
            QCOMPARE(d->findChild<QWidget*>("progress")->isVisible() && d->visibleCount() == 0, unread);
            // Once the list is in, a chooser still open has not chosen.
            QObject::connect(&store, &ContactStore::ready, d, [d] { QTimer::singleShot(0, d, &QDialog::reject); });
            for (const QChar k : keys.mid(unread ? 1 : 0)) {
                QVERIFY2(d->isVisible(), "closed before the last key");
                if (k == u'↑' || k == u'↓')
                    QTest::keyClick(d->focusWidget(), k == u'↑' ? Qt::Key_Up : Qt::Key_Down);
                else if (k == u'»')
                    list->setFocus();
                else if (k == u'○' || k == u'◎')
                    QTest::mouseEvent(k == u'○' ? QTest::MouseClick : QTest::MouseDClick, list->viewport(),
                        Qt::LeftButton, {}, third);
                else if (k == u'✕')
                    QTest::mouseClick(
                        d->findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Cancel), Qt::LeftButton);
                else
                    QTest::keyClicks(d->focusWidget(), k);
            }
            if (keys.endsWith(u'\r'))
                gate.release(pool->maxThreadCount());
            if (!d->isVisible() || unread)
                return;
            for (int row = 0; row < d->visibleCount(); ++row)
                outcome += QString(row ? ", " : "") + (row == list->currentIndex().row() ? "*" : "")
                    + list->model()->index(row, 0).data().toString();
            d->reject();
            QVERIFY(d->focusWidget()->inherits("QLineEdit")); // the search kept the focus
        });
        CHOOSECONTACT cc { sizeof(CHOOSECONTACT), nullptr, CCF_CHOOSECONTACTONLY, -1 };
        if (ChooseContact(&cc, store) == pim::S_OK)
            outcome = "chose " + store.itemFromOid(cc.oidContactID)->displayName;
        else
            QCOMPARE(cc.oidContactID, -1);
        if (unread)
            fresh.logoff(); // as the pick does once the chooser is closed
        gate.release(pool->maxThreadCount());
        pool->waitForDone();
        if (QByteArray event(4096, 0); unread && outcome.isEmpty() && ::read(watch, event.data(), 4096) <= 0)
            outcome = "folder unread";
        ::close(watch);
        QTEST(outcome, "outcome");
    }
};

QTEST_MAIN(TestContactChooser)
#include "TestContactChooser.moc"
