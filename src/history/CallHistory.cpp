#include "CallHistory.h"

#include "CardFile.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QFile>
#include <QLibrary>
#include <QPointer>
#include <QThreadPool>

#include <mutex>

namespace {

// Where the history module cannot be loaded, every operation says so.
class UnavailableHistory final : public CallHistory {
public:
    UnavailableHistory(const QString& path, QString why)
        : CallHistory(path)
        , m_why(std::move(why))
    {
    }
    HistoryResult record(const CallRecord&) override { return { m_why, {}, 0, {} }; }
    HistoryResult setOutcome(qint64, CallOutcome, std::optional<int>) override { return { m_why, {}, 0, {} }; }
    HistoryResult setFavourite(qint64, bool) override { return { m_why, {}, 0, {} }; }
    HistoryResult recent() override { return { m_why, {}, 0, {} }; }

private:
    QString m_why;
};

} // namespace

QString CallHistory::defaultPath()
{
    return QFile::decodeName(CardFile::defaultPath().parent_path().c_str()) + QStringLiteral("/history.sqlite");
}

std::unique_ptr<CallHistory> CallHistory::open(const QString& path)
{
    using Open = CallHistory* (*)(const QString&);
    static Open open = nullptr;
    static QString why;
    static std::once_flag once;
    std::call_once(once, [] {
        QLibrary module(QStringLiteral(DIALER_HISTORY_MODULE));
        open = reinterpret_cast<Open>(module.resolve("dialer_history_open"));
        why = module.errorString();
    });
    if (!open)
        return std::make_unique<UnavailableHistory>(path, why);
    return std::unique_ptr<CallHistory>(open(path));
}

namespace history {

namespace {

// One thread, so that operations keep their order: a call's outcome is
// never written before the call.
QThreadPool& pool()
{
    static QThreadPool threads;
    static const bool once = [] {
        threads.setMaxThreadCount(1);
        threads.setExpiryTimeout(5000);
        return true;
    }();
    (void)once;
    return threads;
}

} // namespace

void runInBackground(std::function<HistoryResult(CallHistory&)> operation, QObject* context,
    std::function<void(const HistoryResult&)> done)
{
    // The path as it is now: the environment is read on this thread. The
    // answer goes through the application object, which outlives `context`,
    // and `context` is looked at on its own thread only.
    QPointer<QObject> guard(context);
    pool().start([path = CallHistory::defaultPath(), operation = std::move(operation), guard, done = std::move(done)] {
        HistoryResult result = operation(*CallHistory::open(path));
        if (done)
            QMetaObject::invokeMethod(QCoreApplication::instance(), [guard, done, result = std::move(result)] {
                if (guard)
                    done(result);
            });
    });
}

HistoryResult runAndWait(std::function<HistoryResult(CallHistory&)> operation)
{
    std::optional<HistoryResult> answer;
    QEventLoop waiting;
    runInBackground(std::move(operation), &waiting, [&](const HistoryResult& result) {
        answer = result;
        waiting.quit();
    });
    if (!answer)
        waiting.exec();
    return answer.value_or(HistoryResult { QStringLiteral("the program is ending"), {}, 0, {} });
}

bool waitForIdle(int ms)
{
    return pool().waitForDone(ms);
}

} // namespace history
