#include "CallHistory.h"
#include "TestProcesses.h"

#include <QtTest>

#include <unistd.h>

// The call history at its SQLite file: the limit and the favourites past it, an outcome written later, a damaged
// file, a folder that cannot be written, and two copies of the program writing at once.
namespace {

CallRecord call(const QString& contact)
{
    return { 0, QDateTime::currentDateTimeUtc(), "Worked", "442079460000", contact, {}, {}, false };
}

QStringList listed(CallHistory& history)
{
    QStringList out;
    for (const CallRecord& c : history.recent().calls)
        out << c.contact + (c.favourite ? "*" : "");
    return out;
}

QByteArray slurp(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
}

// Root writes anywhere: the folder is handed to nobody, who then may not write in it either.
struct ReadOnly {
    QString folder;
    explicit ReadOnly(const QString& f)
        : folder(f)
    {
        for (const QString& p : QDir(folder).entryList(QDir::Files) + QStringList { "..", "." })
            QVERIFY(::geteuid() != 0 || ::chown(QFile::encodeName(folder + "/" + p), 65534, 65534) == 0);
        QVERIFY(::geteuid() != 0 || ::seteuid(65534) == 0);
        QFile::setPermissions(folder, QFile::ReadOwner | QFile::ExeOwner);
    }
    ~ReadOnly()
    {
        QFile::setPermissions(folder, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner),
            (void)::seteuid(::getuid());
    }
};

} // namespace

class TestCallHistory : public QObject {
    Q_OBJECT
    QTemporaryDir m_dir;
    QString m_path;

public:
    // A second copy of the program, writing: DIALER_TEST_WRITER=<path>|<name>|<count>.
    static void initMain()
    {
        const QList<QByteArray> w = qgetenv("DIALER_TEST_WRITER").split('|');
        if (w.size() != 3)
            return;
        const auto history = CallHistory::open(QString::fromUtf8(w[0]));
        for (int i = 0; i < w[2].toInt(); ++i)
            if (const HistoryResult r = history->record(call(QString::fromUtf8(w[1]) + QString::number(i))); !r.ok())
                std::fprintf(stderr, "%s\n", qPrintable(r.error)), std::_Exit(1);
        std::_Exit(0);
    }

private slots:
    void init()
    {
        QDir(m_dir.filePath("dialer")).removeRecursively();
        m_path = m_dir.filePath("dialer/history.sqlite");
    }

    // Calls recorded, then some made favourites and more recorded: what is kept, favourites first, newest first.
    void limit_data()
    {
        QTest::addColumn<int>("before");
        QTest::addColumn<QList<int>>("favourites"); // of the calls before; -1: the first, and taken back
        QTest::addColumn<int>("after");
        QTest::addColumn<QStringList>("kept"); // the first and last three
        QTest::newRow("past it: the oldest go")
            << 1000 << QList<int> {} << 2 << QStringList { "1001", "1000", "999", "4", "3", "2" };
        QTest::newRow("favourites kept past it")
            << 3 << QList<int> { 0, 2 } << 1000 << QStringList { "2*", "0*", "1002", "7", "6", "5" };
        QTest::newRow("a favourite no more goes")
            << 1000 << QList<int> { -1 } << 1 << QStringList { "1000", "999", "998", "3", "2", "1" };
    }
    void limit()
    {
        QFETCH(int, before);
        QFETCH(QList<int>, favourites);
        QFETCH(int, after);
        const auto history = CallHistory::open(m_path);
        std::vector<qint64> ids;
        for (int i = 0; i < before + after; ++i) {
            for (const int f : i == before ? favourites : QList<int> {}) {
                QVERIFY(history->setFavourite(ids[std::size_t(std::max(f, 0))], true).ok());
                QVERIFY(f >= 0 || history->setFavourite(ids[0], false).ok());
            }
            const HistoryResult r = history->record(call(QString::number(i)));
            QVERIFY2(r.ok() && r.id > 0, qPrintable(r.error));
            ids.push_back(r.id);
        }
        const QStringList kept = listed(*history);
        QCOMPARE(kept.size(), 1000);
        QTEST(kept.mid(0, 3) + kept.mid(997), "kept");
        QCOMPARE(QFileInfo(m_path).permissions() & 0x0777, QFile::ReadUser | QFile::WriteUser);
        QCOMPARE(QFileInfo(m_dir.filePath("dialer")).permissions() & 0x0777,
            QFile::ReadUser | QFile::WriteUser | QFile::ExeUser);
    }

    // Learned once the call is over.
    void outcomeLater()
    {
        const auto history = CallHistory::open(m_path);
        const qint64 first = history->record(call("a")).id, second = history->record(call("b")).id;
        QVERIFY(history->setOutcome(first, CallOutcome::Ended, 83).ok());
        const std::vector<CallRecord> calls = history->recent().calls;
        QCOMPARE(calls.size(), 2u);
        QVERIFY(calls[0].id == second && calls[0].outcome == CallOutcome::Placed && !calls[0].seconds);
        QVERIFY(calls[1].id == first && calls[1].outcome == CallOutcome::Ended && calls[1].seconds == 83);
    }

    // A damaged file is moved aside, once, and a new history takes its place.
    void damaged_data()
    {
        QTest::addColumn<int>("cut"); // the file's bytes kept; -1: none, text in their place
        QTest::newRow("not a database") << -1;
        QTest::newRow("cut short") << 8192;
    }
    void damaged()
    {
        QFETCH(int, cut);
        {
            const auto writer = CallHistory::open(m_path);
            for (int i = 0; i < 200; ++i)
                QVERIFY(writer->record(call(QString(100, u'x') + QString::number(i))).ok());
        } // its log written back into the file as it closes
        QVERIFY(!QFile::exists(m_path + "-wal"));
        QFile file(m_path);
        QVERIFY(file.open(QIODevice::ReadWrite));
        cut < 0 ? void(file.write(QByteArray(4096, 'x'))) : void(file.resize(cut));
        file.close();
        const QByteArray bytes = slurp(m_path);
        const auto history = CallHistory::open(m_path);
        const HistoryResult read = history->recent();
        QVERIFY2(read.ok() && read.calls.empty(), qPrintable(read.error));
        QVERIFY2(QFileInfo(read.movedAside)
                     .fileName()
                     .contains(QRegularExpression("^history\\.sqlite\\.damaged-\\d{4}-\\d\\d-\\d\\d-\\d{6}$")),
            qPrintable(read.movedAside));
        QCOMPARE(slurp(read.movedAside), bytes);
        QVERIFY(history->record(call("new")).ok());
        const HistoryResult again = history->recent();
        QCOMPARE(again.movedAside, QString()); // told once
        QCOMPARE(listed(*history), QStringList { "new" });
    }

    // Nothing is written, and what was kept stays.
    void readOnlyFolder()
    {
        QVERIFY(CallHistory::open(m_path)->record(call("kept")).ok());
        const QByteArray before = slurp(m_path);
        {
            ReadOnly locked(m_dir.filePath("dialer"));
            const HistoryResult r = CallHistory::open(m_path)->record(call("refused"));
            QVERIFY2(!r.ok() && r.movedAside.isEmpty(), qPrintable(r.error));
        }
        QCOMPARE(slurp(m_path), before);
        const auto history = CallHistory::open(m_path);
        QCOMPARE(listed(*history), QStringList { "kept" });
    }

    // Two copies of the program, each writing as fast as it can: every row of both is kept.
    void twoWriters()
    {
        QDir().mkpath(m_dir.filePath("dialer"));
        QProcess a, b;
        for (auto [p, name] : { std::pair(&a, "a"), std::pair(&b, "b") }) {
            QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
            env.insert("DIALER_TEST_WRITER", m_path + "|" + name + "|300");
            p->setProcessEnvironment(env);
            endWithTest(*p);
            p->start(QCoreApplication::applicationFilePath(), {});
        }
        for (QProcess* p : { &a, &b })
            QVERIFY2(p->waitForFinished(kPatienceMs) && p->exitStatus() == QProcess::NormalExit && p->exitCode() == 0,
                p->readAllStandardError().constData());
        const auto history = CallHistory::open(m_path);
        QStringList all = listed(*history);
        all.sort();
        QCOMPARE(all.size(), 600);
        QCOMPARE(all.removeDuplicates(), 0);
        QCOMPARE(all.filter(QRegularExpression("^a\\d+$")).size(), 300);
    }
};

QTEST_GUILESS_MAIN(TestCallHistory)
#include "TestCallHistory.moc"
