#pragma once

#include <QDateTime>
#include <QString>

#include <functional>
#include <memory>
#include <optional>
#include <vector>

class QObject;

// How a call ended, as far as the program has learned. Stored by number.
enum class CallOutcome : int { Placed = 0, Ended = 1, NotAnswered = 2, Failed = 3 };

// One call as the history keeps it. Never a PIN, nor the dial string, which
// carries it: the card by its name, the number as the number box showed it.
struct CallRecord {
    qint64 id = 0; // the row's, once kept
    QDateTime placedAt;
    QString card; // empty: called directly, not through a card
    QString number;
    QString contact;
    CallOutcome outcome = CallOutcome::Placed;
    std::optional<int> seconds; // how long it was connected, when known
    bool favourite = false;
};

struct HistoryResult {
    QString error; // why the history could not be read or written, for the user
    QString movedAside; // a damaged history was moved to this file, and a new one started
    qint64 id = 0; // record(): the new row's
    std::vector<CallRecord> calls; // recent(): favourites first, each part newest first
    bool ok() const { return error.isEmpty(); }
};

// The calls placed, in an SQLite database through Qt SQL's QSQLITE driver:
// owner-only, in WAL mode with a busy timeout, so that two copies of the
// program write at once and lose nothing. At most kMaxCalls are kept, the
// oldest going first; favourites are never dropped. A history opens its
// connection at its first operation and keeps it while it lives; it is used
// on one thread at a time. A damaged file is moved aside and a new history
// started.
class CallHistory {
public:
    static constexpr int kMaxCalls = 1000;
    // Texts are kept and read to this many characters; reading stops at
    // this many rows, whatever another program has put in the file.
    static constexpr qsizetype kMaxText = 256;
    static constexpr int kMaxRowsRead = 2 * kMaxCalls;

    // $XDG_DATA_HOME/dialer/history.sqlite, beside the card file.
    static QString defaultPath();

    // The history at `path`, from the history module, which is loaded on
    // first use; where it cannot be, every operation fails and says why.
    static std::unique_ptr<CallHistory> open(const QString& path = defaultPath());

    virtual ~CallHistory() = default;
    CallHistory(const CallHistory&) = delete;
    CallHistory& operator=(const CallHistory&) = delete;

    virtual HistoryResult record(const CallRecord& call) = 0;
    virtual HistoryResult setOutcome(qint64 id, CallOutcome outcome, std::optional<int> seconds) = 0;
    virtual HistoryResult setFavourite(qint64 id, bool favourite) = 0;
    // Without creating a history where there is none.
    virtual HistoryResult recent() = 0;

    const QString& path() const { return m_path; }

protected:
    // Inline: the module has nothing of the program's to link against.
    explicit CallHistory(QString path)
        : m_path(std::move(path))
    {
    }

private:
    QString m_path;
};

namespace history {

// Runs `operation` on the history's own thread, one operation after the
// other in the order given, and hands its result to `done` on the thread of
// `context`, unless `context` is gone by then.
void runInBackground(std::function<HistoryResult(CallHistory&)> operation, QObject* context,
    std::function<void(const HistoryResult&)> done = {});
// Runs `operation` as runInBackground() does and waits for its result,
// handling events meanwhile, as the caller's screen must.
HistoryResult runAndWait(std::function<HistoryResult(CallHistory&)> operation);
// Waits for every operation given so far; false when they took longer than `ms`.
bool waitForIdle(int ms);

} // namespace history
