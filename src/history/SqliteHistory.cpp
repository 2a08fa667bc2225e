// The history module: the call history in SQLite through Qt SQL. The
// program loads it when the history is first used, so that neither Qt SQL
// nor its driver costs the start anything.
#include "CallHistory.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QVariant>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <limits>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr int kCorrupt = 11; // SQLITE_CORRUPT
constexpr int kNotADatabase = 26; // SQLITE_NOTADB

bool damaged(const QSqlError& error)
{
    const int code = error.nativeErrorCode().toInt() & 0xff; // the primary code of an extended one
    return code == kCorrupt || code == kNotADatabase;
}

QString describe(const QSqlError& error)
{
    return error.databaseText().isEmpty() ? error.text() : error.databaseText();
}

// The folder owner-only when it is made, the file owner-only always: a
// history tells whom the user calls. Never through a symbolic link.
QString prepareFile(const QString& path)
{
    const QFileInfo info(path);
    const QString folder = info.absolutePath();
    if (!QDir(folder).exists()) {
        QDir().mkpath(QFileInfo(folder).absolutePath());
        ::mkdir(QFile::encodeName(folder).constData(), 0700);
    }
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd < 0) {
        // A file that cannot be opened for writing is left to SQLite to
        // report; a link is refused here.
        return errno == ELOOP ? QStringLiteral("%1 is a symbolic link").arg(path) : QString();
    }
    struct stat st { };
    if (::fstat(fd, &st) == 0 && (st.st_mode & 077) != 0)
        ::fchmod(fd, 0600);
    ::close(fd);
    return {};
}

// A damaged history goes to history.sqlite.damaged-<date>, its write-ahead
// log with it; returns the new name.
QString moveAside(const QString& path)
{
    const QString stamp = QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-dd-HHmmss"));
    QString aside = path + QStringLiteral(".damaged-") + stamp;
    for (int n = 2; QFileInfo::exists(aside); ++n)
        aside = path + QStringLiteral(".damaged-%1-%2").arg(stamp).arg(n);
    QFile::rename(path, aside);
    QFile::rename(path + QStringLiteral("-wal"), aside + QStringLiteral("-wal"));
    QFile::remove(path + QStringLiteral("-shm"));
    return aside;
}

} // namespace

// One connection to the history, kept by its SqliteHistory.
class HistoryConnection {
public:
    explicit HistoryConnection(const QString& path)
        : m_name(QStringLiteral("history-%1").arg(++s_count))
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), m_name);
        db.setDatabaseName(path);
        // Another copy of the program writing holds the lock for a moment.
        db.setConnectOptions(QStringLiteral("QSQLITE_BUSY_TIMEOUT=5000"));
        if (!db.open())
            m_error = db.lastError();
    }
    ~HistoryConnection()
    {
        QSqlDatabase::database(m_name, false).close();
        QSqlDatabase::removeDatabase(m_name);
    }
    HistoryConnection(const HistoryConnection&) = delete;
    HistoryConnection& operator=(const HistoryConnection&) = delete;

    const QSqlError& openError() const { return m_error; }
    QSqlQuery query() const
    {
        QSqlQuery q(QSqlDatabase::database(m_name, false));
        q.setForwardOnly(true);
        return q;
    }
    QSqlError exec(const QString& sql, const QVariantList& values = {}) const
    {
        QSqlQuery q = query();
        if (!q.prepare(sql))
            return q.lastError();
        for (const QVariant& v : values)
            q.addBindValue(v);
        return q.exec() ? QSqlError() : q.lastError();
    }
    // The statements in one write transaction, taken at once: two writers
    // queue at its start rather than fail halfway.
    QSqlError transaction(const std::function<QSqlError()>& statements) const
    {
        if (QSqlError e = exec(QStringLiteral("BEGIN IMMEDIATE")); e.isValid())
            return e;
        const QSqlError e = statements();
        exec(e.isValid() ? QStringLiteral("ROLLBACK") : QStringLiteral("COMMIT"));
        return e;
    }

private:
    static inline std::atomic<int> s_count = 0;
    QString m_name;
    QSqlError m_error;
};

namespace {

QSqlError setUp(const HistoryConnection& s)
{
    // WAL stays set in the file. Two copies of the program making the file
    // at once may find each other setting it: SQLite then answers busy at
    // once, and the other one's setting serves both.
    if (QSqlError e = s.exec(QStringLiteral("PRAGMA journal_mode=WAL")); damaged(e))
        return e;
    // In WAL mode a commit never damages the file without a flush to disk;
    // a power cut may cost the last calls at most.
    if (QSqlError e = s.exec(QStringLiteral("PRAGMA synchronous=NORMAL")); e.isValid())
        return e;
    return s.exec(QStringLiteral("CREATE TABLE IF NOT EXISTS calls (id INTEGER PRIMARY KEY AUTOINCREMENT, "
                                 "placed_at INTEGER NOT NULL, card TEXT NOT NULL, number TEXT NOT NULL, "
                                 "contact TEXT NOT NULL, outcome INTEGER NOT NULL DEFAULT 0, seconds INTEGER, "
                                 "favourite INTEGER NOT NULL DEFAULT 0)"));
}

// Keeps the newest calls that are not favourites, as many as leave room for
// the favourites under kMaxCalls, and always the newest one.
QSqlError trim(const HistoryConnection& s)
{
    return s.exec(QStringLiteral("DELETE FROM calls WHERE favourite = 0 AND id NOT IN (SELECT id FROM calls "
                                 "WHERE favourite = 0 ORDER BY id DESC LIMIT max(1, ? - (SELECT count(*) FROM "
                                 "calls WHERE favourite <> 0)))"),
        { CallHistory::kMaxCalls });
}

// Never null: SQLite would keep a null text as NULL.
QString kept(const QString& text)
{
    return text.isNull() ? QStringLiteral("") : text.left(CallHistory::kMaxText);
}

// A row as another program may have left it: each field of its type, or the row is passed over.
std::optional<CallRecord> readRow(const QSqlQuery& q)
{
    const auto is = [&q](int field, QMetaType::Type type) { return q.value(field).metaType().id() == type; };
    const bool types = is(0, QMetaType::LongLong) && is(1, QMetaType::LongLong) && is(2, QMetaType::QString)
        && is(3, QMetaType::QString) && is(4, QMetaType::QString) && is(5, QMetaType::LongLong)
        && (q.isNull(6) || is(6, QMetaType::LongLong)) && is(7, QMetaType::LongLong);
    const qint64 outcome = q.value(5).toLongLong();
    if (!types || outcome < 0 || outcome > qint64(CallOutcome::Failed))
        return std::nullopt;
    CallRecord call;
    call.id = q.value(0).toLongLong();
    call.placedAt = QDateTime::fromMSecsSinceEpoch(q.value(1).toLongLong(), Qt::UTC);
    call.card = kept(q.value(2).toString());
    call.number = kept(q.value(3).toString());
    call.contact = kept(q.value(4).toString());
    call.outcome = CallOutcome(outcome);
    if (!q.isNull(6))
        call.seconds = int(std::clamp<qint64>(q.value(6).toLongLong(), 0, std::numeric_limits<int>::max()));
    call.favourite = q.value(7).toLongLong() != 0;
    return call;
}

} // namespace

// The history in its SQLite file.
class SqliteHistory final : public CallHistory {
public:
    explicit SqliteHistory(const QString& path)
        : CallHistory(path)
    {
    }

    HistoryResult record(const CallRecord& call) override;
    HistoryResult setOutcome(qint64 id, CallOutcome outcome, std::optional<int> seconds) override;
    HistoryResult setFavourite(qint64 id, bool favourite) override;
    HistoryResult recent() override;

private:
    HistoryResult withConnection(const std::function<QSqlError(const HistoryConnection&, HistoryResult&)>& work);

    std::unique_ptr<HistoryConnection> m_connection; // open from the first operation on
};

HistoryResult SqliteHistory::withConnection(
    const std::function<QSqlError(const HistoryConnection&, HistoryResult&)>& work)
{
    HistoryResult result;
    for (int attempt = 0; attempt < 2; ++attempt) {
        QSqlError error;
        if (!m_connection) {
            if (const QString refused = prepareFile(path()); !refused.isEmpty()) {
                result.error = refused;
                return result;
            }
            m_connection = std::make_unique<HistoryConnection>(path());
            error = m_connection->openError();
            if (!error.isValid())
                error = setUp(*m_connection);
        }
        if (!error.isValid())
            error = work(*m_connection, result);
        if (!error.isValid())
            return result;
        // Whatever failed, the next operation starts with a new connection.
        m_connection.reset();
        if (!damaged(error) || attempt > 0) {
            result.error = describe(error);
            return result;
        }
        // A damaged history goes aside, and the operation runs again on a new one.
        result.movedAside = moveAside(path());
        result.calls.clear();
    }
    return result;
}

HistoryResult SqliteHistory::record(const CallRecord& call)
{
    return withConnection([&call](const HistoryConnection& s, HistoryResult& result) {
        return s.transaction([&] {
            QSqlQuery insert = s.query();
            insert.prepare(QStringLiteral("INSERT INTO calls (placed_at, card, number, contact, outcome, seconds) "
                                          "VALUES (?, ?, ?, ?, ?, ?)"));
            for (const QVariant& v : { QVariant(call.placedAt.toMSecsSinceEpoch()), QVariant(kept(call.card)),
                     QVariant(kept(call.number)), QVariant(kept(call.contact)), QVariant(int(call.outcome)),
                     call.seconds ? QVariant(*call.seconds) : QVariant(QMetaType::fromType<int>()) })
                insert.addBindValue(v);
            if (!insert.exec())
                return insert.lastError();
            result.id = insert.lastInsertId().toLongLong();
            return trim(s);
        });
    });
}

HistoryResult SqliteHistory::setOutcome(qint64 id, CallOutcome outcome, std::optional<int> seconds)
{
    return withConnection([&](const HistoryConnection& s, HistoryResult&) {
        return s.exec(QStringLiteral("UPDATE calls SET outcome = ?, seconds = ? WHERE id = ?"),
            { int(outcome), seconds ? QVariant(*seconds) : QVariant(QMetaType::fromType<int>()), id });
    });
}

HistoryResult SqliteHistory::setFavourite(qint64 id, bool favourite)
{
    return withConnection([&](const HistoryConnection& s, HistoryResult&) {
        return s.transaction([&] {
            const QSqlError e
                = s.exec(QStringLiteral("UPDATE calls SET favourite = ? WHERE id = ?"), { favourite ? 1 : 0, id });
            return e.isValid() ? e : trim(s);
        });
    });
}

HistoryResult SqliteHistory::recent()
{
    if (!QFileInfo::exists(path()))
        return {};
    return withConnection([](const HistoryConnection& s, HistoryResult& result) {
        QSqlQuery q = s.query();
        if (!q.exec(QStringLiteral("SELECT id, placed_at, card, number, contact, outcome, seconds, favourite FROM "
                                   "calls ORDER BY favourite <> 0 DESC, id DESC LIMIT %1")
                        .arg(kMaxRowsRead)))
            return q.lastError();
        while (q.next()) {
            if (std::optional<CallRecord> call = readRow(q))
                result.calls.push_back(std::move(*call));
        }
        return q.lastError();
    });
}

extern "C" __attribute__((visibility("default"))) CallHistory* dialer_history_open(const QString& path)
{
    return new SqliteHistory(path);
}
