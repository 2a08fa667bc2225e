#pragma once

#include "CallAudio.h"
#include "ModemManagerCall.h"

#include <QObject>
#include <QPointer>
#include <QString>
#include <QUrl>

#include <chrono>
#include <cstddef>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

namespace phone {

// The pause that `p` and `,` stand for, as GSM phones play it.
inline constexpr std::chrono::milliseconds kDialPause { 3000 };

struct CallOutcome {
    bool placed = false;
    QString error; // for the user, when not placed
    bool cancelled = false;
    quint64 id = 0; // of a placed call: callEnded() names it
};

// What whoever shows a call shows of it, from the confirmation screen.
struct CallDisplay {
    QString cardName;
    QString number; // as the user saw it
    QString contact;
    SecretSpan pin; // where the PIN is in the dial string
};

class SleepInhibitor;

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
    // With a `display`, the caller shows the call (CallOutcome::id names it) and
    // answers its waits; without, waits are asked with the question below
    // and failures told through the failure notifier.
    void placeCall(const QString& dialString, Placed placed, std::optional<CallDisplay> display = std::nullopt);
    // Ends the placement under way, if any, as cancelled; a call that
    // ModemManager has created, or creates later, is deleted.
    void cancelPlacement();

    // For calls placed without a display: asked at each `w` (an empty
    // function restores the default Yes/No box), and told of failures after
    // PhoneMakeCall has returned (the call ended before its tones, tones
    // refused, modem gone; default: a warning box).
    void setQuestion(Question question);
    void setFailureNotifier(FailureNotifier notifier);

    // Modem calls not yet over, and those of them still playing their
    // post-dial sequence.
    std::size_t activeCalls() const { return m_calls.size(); }
    std::size_t callsPlaying() const;
    // A live modem call, or null once it is over.
    ModemManagerCall* call(quint64 id) const;
    const CallDisplay* display(quint64 id) const;
    // Hangs up every live call; `done` runs once all are over, or after
    // `patience`, whichever comes first.
    void hangUpAll(std::chrono::milliseconds patience, std::function<void()> done);
    CallAudio& audio() { return m_audio; }

    static bool defaultQuestion(const QString& tones);

    void setDialPauseForTesting(std::chrono::milliseconds pause);
    void setTimeoutsForTesting(ReplyTimeouts timeouts);
    // Stands in for the desktop's tel: handler, so that the test machine's
    // own settings play no part.
    void setTelHandlerForTesting(TelHandler handler);
    // The desktop's tel: handler, never this program: the default.
    TelHandler desktopTelHandler();

signals:
    // Once for every call that PhoneMakeCall reported placed (CallOutcome::id),
    // when it is over: how it ended, and how long it was connected (none
    // when it never was, or was handed to the tel: handler). Emitted on the
    // GUI thread; connect directly.
    void callEnded(quint64 id, phone::CallEnd how, std::optional<std::chrono::seconds> connected);

private:
    struct LiveCall {
        std::unique_ptr<ModemManagerCall> call;
        quint64 id = 0;
        std::optional<CallDisplay> display;
        bool placed = false;
        bool audio = false; // the call audio mode was selected for it
        std::unique_ptr<SleepInhibitor> inhibitor;
    };

    explicit PhoneService(QObject* parent);
    static void defaultFailureNotice(const QString& message);
    void placeThroughModem(const QDBusConnection& bus, const QString& modem, const QString& dialString,
        std::optional<CallDisplay> display);
    void onCallChanged(ModemManagerCall* call);
    void onCallEnded(ModemManagerCall* call);
    LiveCall* live(const ModemManagerCall* call);
    void placeThroughTel(const QString& dialString);
    void openWithNextHandler(const QUrl& url, std::function<void(const QString&)> done);
    void endPlacement(const CallOutcome& outcome);
    void forget(ModemManagerCall* call);

    Question m_ask;
    FailureNotifier m_fail;
    CallHooks m_hooks;
    TelHandler m_tel;
    std::vector<LiveCall> m_calls;
    CallAudio m_audio;
    quint64 m_lastId = 0;
    quint64 m_placingId = 0;
    std::optional<CallDisplay> m_placingDisplay;
    Placed m_placed; // set while a placement is under way
    unsigned m_placement = 0; // answers for an earlier placement are dropped
    QPointer<ModemManagerCall> m_placing;
};

} // namespace phone
