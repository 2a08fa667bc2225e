#pragma once

#include "ModemManagerCall.h"

#include <QObject>
#include <QPointer>
#include <QString>
#include <QUrl>

#include <chrono>
#include <cstddef>
#include <functional>
#include <memory>
#include <vector>

namespace phone {

// The pause that `p` and `,` stand for, as GSM phones play it.
inline constexpr std::chrono::milliseconds kDialPause { 3000 };

struct CallOutcome {
    bool placed = false;
    QString error; // for the user, when not placed
    bool cancelled = false;
};

// Places calls for PhoneMakeCall through whatever phone service this machine
// has, looked up afresh for every call: ModemManager's first voice modem, else
// the desktop's tel: handler, else nothing (and the caller is told so). All of
// it runs on the event loop, one placement at a time.
class PhoneService : public QObject {
    Q_OBJECT
public:
    using Question = std::function<bool(const QString& tones)>;
    using FailureNotifier = std::function<void(const QString& message)>;
    using Placed = std::function<void(const CallOutcome&)>;

    // Opens the link and answers, now or later on the event loop, with an
    // empty text or what went wrong, for the user.
    using TelHandler = std::function<void(const QUrl& url, std::function<void(const QString& error)> done)>;

    // Lives as long as the application object.
    static PhoneService& instance();

    // `placed` runs once, at the latest when cancelPlacement() is called.
    void placeCall(const QString& dialString, Placed placed);
    // Ends the placement under way, if any, as cancelled; a call that
    // ModemManager has created, or creates later, is deleted.
    void cancelPlacement();

    // Asked at each `w`; an empty function restores the default Yes/No box.
    void setQuestion(Question question);
    // Told of failures after PhoneMakeCall has returned (the call ended before
    // its tones, tones refused, modem gone). Default: a warning box.
    void setFailureNotifier(FailureNotifier notifier);

    std::size_t activeCalls() const { return m_calls.size(); }

    static bool defaultQuestion(const QString& tones);

    void setDialPauseForTesting(std::chrono::milliseconds pause);
    void setTimeoutsForTesting(ReplyTimeouts timeouts);
    // Stands in for the desktop's tel: handler, so that the test machine's
    // own settings play no part.
    void setTelHandlerForTesting(TelHandler handler);
    // The desktop's tel: handler, never this program: the default.
    TelHandler desktopTelHandler();

private:
    explicit PhoneService(QObject* parent);
    static void defaultFailureNotice(const QString& message);
    void placeThroughModem(const QDBusConnection& bus, const QString& modem, const QString& dialString);
    void placeThroughTel(const QString& dialString);
    void openWithNextHandler(const QUrl& url, std::function<void(const QString&)> done);
    void endPlacement(const CallOutcome& outcome);
    void forget(ModemManagerCall* call);

    CallHooks m_hooks;
    TelHandler m_tel;
    std::vector<std::unique_ptr<ModemManagerCall>> m_calls;
    Placed m_placed; // set while a placement is under way
    unsigned m_placement = 0; // answers for an earlier placement are dropped
    QPointer<ModemManagerCall> m_placing;
};

} // namespace phone
