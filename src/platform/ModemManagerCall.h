#pragma once

#include "PhoneServiceDialPlan.h"

#include <QDBusConnection>
#include <QObject>
#include <QString>

#include <chrono>
#include <cstddef>
#include <functional>
#include <optional>
#include <vector>

class QDBusMessage;
class QDBusObjectPath;

namespace phone {

namespace mm {
inline constexpr char kService[] = "org.freedesktop.ModemManager1";
inline constexpr char kRootPath[] = "/org/freedesktop/ModemManager1";
inline constexpr char kVoiceInterface[] = "org.freedesktop.ModemManager1.Modem.Voice";
inline constexpr char kCallInterface[] = "org.freedesktop.ModemManager1.Call";
// The error of a request that polkit did not authorise.
inline constexpr char kUnauthorized[] = "org.freedesktop.ModemManager1.Error.Core.Unauthorized";

enum CallState : int {
    Unknown = 0,
    Dialing = 1,
    RingingOut = 2,
    RingingIn = 3,
    Active = 4,
    Held = 5,
    Waiting = 6,
    Terminated = 7,
};
// The reason ModemManager gives a state change when a client's Hangup ended the call.
inline constexpr unsigned kReasonTerminated = 4;
} // namespace mm

// How long each ModemManager request may take before it counts as not
// answered. Nothing waits on them but the user, who can cancel.
struct ReplyTimeouts {
    // GetManagedObjects, CreateCall and the State property are answered at
    // once by a working ModemManager, but a phone waking up can be slow.
    std::chrono::milliseconds lookup { 8000 };
    // Start waits for the modem's dial command, which some modems answer
    // only once the network has taken the call.
    std::chrono::milliseconds start { 30000 };
    std::chrono::milliseconds tones { 10000 };
};

struct ModemLookup {
    std::optional<QString> modem; // the first voice modem, in object-path order
    QString error; // ModemManager is there but did not answer, or not readably
};

// Sends `request` and hands the reply to `handle` on the event loop; nothing
// comes once `context` is gone. A reply that does not come in time arrives as
// a NoReply error, and a bus that is down answers Disconnected.
void callAsync(const QDBusConnection& bus, const QDBusMessage& request, std::chrono::milliseconds timeout,
    QObject* context, std::function<void(const QDBusMessage&)> handle);

// Asks ModemManager on `bus` for its voice modems; `found` runs on the event
// loop unless `context` is gone by then. No ModemManager on the bus at all is
// no modem, not an error.
void findVoiceModem(const QDBusConnection& bus, std::chrono::milliseconds timeout, QObject* context,
    std::function<void(const ModemLookup&)> found);

// What a call needs from its owner. Owned by the service, which outlives its
// calls; read at each use so that changes apply to calls already running.
struct CallHooks {
    std::chrono::milliseconds pause { 0 };
    ReplyTimeouts timeouts;
};

// How a call ended, for the call history.
enum class CallEnd {
    HungUpHere, // Hang up, or Exit, in this program
    HungUpFarEnd, // the other side (or the network) ended a connected call
    HungUpElsewhere, // another application hung up or removed the call
    NotConnected, // never answered, refused or failed before it connected
    HandedOff, // given to the desktop's tel: handler: how it went is not known
};

// One outgoing call placed through ModemManager, with no widget in it: the
// placement (CreateCall, Start and the State property, one reply after the
// other on the event loop), the call's state as ModemManager reports it, the
// post-dial sequence, tones from a keypad, and the hang-up. Whoever shows the
// call reads it and answers its waits; it lives until the call has ended.
// Sequence tones go out one SendDtmf each, each after the reply to the one
// before: ModemManager 1.20 plays only the first tone of a longer string and
// still answers success. A call whose state cannot be read is hung up.
class ModemManagerCall : public QObject {
    Q_OBJECT
public:
    using Clock = std::chrono::steady_clock;

    // `pin` is where the PIN is in `dialString`.
    ModemManagerCall(const QDBusConnection& bus, QString modemPath, const QString& dialString, SecretSpan pin,
        const CallHooks& hooks);
    ~ModemManagerCall() override;

    void place();
    // Stops a placement under way without a word: a call already created, or
    // created later, is deleted, and placed() is not emitted.
    void abandon();

    // The number dialled, and the post-dial sequence with how far it got.
    const QString& number() const { return m_number; }
    const std::vector<PostDialStep>& steps() const { return m_steps; }
    std::size_t nextStep() const { return m_next; }
    qsizetype nextTone() const { return m_tone; } // within the next Tones step
    bool sequenceOver() const { return m_seqOver; }
    // When the pause under way ends.
    std::optional<Clock::time_point> pauseEnds() const { return m_pauseEnds; }
    // The tones a wait would send, as shown; empty when not waiting.
    QString waitingFor() const;

    int state() const { return m_state; }
    // Since when the call has been connected (ACTIVE for the first time).
    std::optional<Clock::time_point> connectedAt() const { return m_connectedAt; }
    bool isOver() const { return m_over; }
    CallEnd endedHow() const { return m_end; }
    // How long it was connected, once it has ended; none if it never was.
    std::optional<std::chrono::seconds> connectedFor() const;
    // Why the sequence stopped short, for the user; empty when it did not.
    const QString& failure() const { return m_failure; }

    // The answer to the wait asked (waitAsked): send its tones, or stop.
    void answerWait(bool send);
    // 0-9, * and # from a keypad: queued behind the sequence's own tones,
    // which they never interleave with, and sent one SendDtmf each.
    void sendKeypadTone(QChar tone);
    const QString& keypadQueue() const { return m_keypad; }
    // Call.Hangup; no tone goes after it.
    void hangUp();

signals:
    // Once per placement not abandoned: empty when the call was started,
    // else what to tell the user.
    void placed(const QString& error);
    // State, progress or wait changed.
    void changed();
    // The sequence waits for the user at a `w`; answerWait() goes on.
    void waitAsked(const QString& shownTones);
    // Something went wrong that the user must hear of: the tones stopped
    // short (which ones did not go out, the PIN's as dots), or the hang-up
    // was refused.
    void told(const QString& message);
    // The call is over (or never got placed) and will change no more; the
    // owner may delete the object.
    void ended();

private slots:
    void onStateChanged(const QDBusMessage& signal);
    void onCallDeleted(const QDBusObjectPath& path);
    void onServiceGone();

private:
    enum class Phase { Creating, Starting, Reading, Playing, Over };
    enum class Cleanup { None, Delete, Hangup };

    void send(const QDBusMessage& request, std::chrono::milliseconds timeout,
        void (ModemManagerCall::*handle)(const QDBusMessage&));
    void onCreated(const QDBusMessage& reply);
    void onStarted(const QDBusMessage& reply);
    void onRefusedStartState(const QDBusMessage& reply);
    void onStateRead(const QDBusMessage& reply);
    void placementDone();
    // Ends the call for a fault: the call, once created, is deleted or hung
    // up, and `message` goes to the user.
    void fault(const QString& message, Cleanup cleanup);
    void listen(bool on);
    void applyState(int state, unsigned reason = 0);
    void schedule();
    void advance();
    void sendTone(QChar tone, void (ModemManagerCall::*handle)(const QDBusMessage&));
    void onToneSent(const QDBusMessage& reply);
    void onKeypadToneSent(const QDBusMessage& reply);
    void onRefusedToneState(const QDBusMessage& reply);
    void onHungUp(const QDBusMessage& reply);
    void onHangUpState(const QDBusMessage& reply);
    void pumpKeypad();
    QDBusMessage stateRequest() const;
    QString endedBeforeTones(const char* none, const char* some) const;
    QString tonesNotSent() const;
    // The sequence is over: played, declined, or cut short by `failure`.
    void endSequence(const QString& failure);
    // The call is over.
    void end(CallEnd how, const QString& failure);
    bool tonesLeft() const;

    QDBusConnection m_bus;
    QString m_modemPath;
    QString m_number;
    QString m_callPath;
    std::vector<PostDialStep> m_steps;
    const CallHooks& m_hooks;
    Phase m_phase = Phase::Creating;
    std::size_t m_next = 0;
    qsizetype m_tone = 0; // in the Tones step m_next, the next tone to send
    bool m_sentAny = false; // a tone has gone out
    QString m_refusal; // why the modem refused the tone, while its state is read
    int m_state = mm::Unknown;
    bool m_abandoned = false;
    bool m_toneInFlight = false; // a SendDtmf is under way, the sequence's or the keypad's
    bool m_pausing = false;
    bool m_waiting = false;
    bool m_seqOver = false;
    bool m_hangingUp = false;
    bool m_over = false;
    CallEnd m_end = CallEnd::NotConnected;
    std::optional<Clock::time_point> m_pauseEnds;
    std::optional<Clock::time_point> m_connectedAt;
    Clock::time_point m_endedAt;
    QString m_keypad;
    QString m_failure;
};

} // namespace phone
