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

// Asks ModemManager on `bus` for its voice modems; `found` runs on the event
// loop unless `context` is gone by then. No ModemManager on the bus at all is
// no modem, not an error.
void findVoiceModem(const QDBusConnection& bus, std::chrono::milliseconds timeout, QObject* context,
    std::function<void(const ModemLookup&)> found);

// What a call needs from its owner while it plays the post-dial sequence.
// Owned by the service, which outlives its calls; read at each use so that
// changes apply to calls already running.
struct CallHooks {
    std::function<bool(const QString& tones)> ask;
    std::function<void(const QString& message)> fail;
    std::chrono::milliseconds pause { 0 };
    ReplyTimeouts timeouts;
};

// One outgoing call placed through ModemManager: CreateCall, Start and (for a
// post-dial sequence) the State property, one reply after the other on the
// event loop; then the post-dial sequence, which stops as soon as the call is
// gone. Its tones go out one SendDtmf each, each after the reply to the one
// before: ModemManager 1.20 plays only the first tone of a longer string and
// still answers success. A call whose state cannot be read is hung up.
class ModemManagerCall : public QObject {
    Q_OBJECT
public:
    ModemManagerCall(const QDBusConnection& bus, QString modemPath, const QString& dialString, const CallHooks& hooks);
    ~ModemManagerCall() override;

    void place();
    // Stops a placement under way without a word: a call already created, or
    // created later, is deleted, and placed() is not emitted.
    void abandon();

signals:
    // Once per placement not abandoned: empty when the call was started,
    // else what to tell the user.
    void placed(const QString& error);
    // The placement failed, or the sequence is over (played, declined, or the
    // call went away) and any failure has been reported; the owner may
    // delete the object.
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
    void onStateRead(const QDBusMessage& reply);
    void placementDone();
    // Ends the call for a fault: the call, once created, is deleted or hung
    // up, and `message` goes to the user.
    void fault(const QString& message, Cleanup cleanup);
    void listen(bool on);
    void applyState(int state);
    void schedule();
    void advance();
    void askBeforeTones();
    void sendTone();
    void onToneSent(const QDBusMessage& reply);
    void onRefusedToneState(const QDBusMessage& reply);
    QDBusMessage stateRequest() const;
    QString endedBeforeTones(const char* none, const char* some) const;
    QString tonesNotSent() const;
    void finish(const QString& failure);
    void report();
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
    bool m_started = false; // the call has been ACTIVE once: pauses count from there
    bool m_busy = false; // a pause, a question or a SendDtmf is under way
    bool m_inQuestion = false; // the user is being asked: reporting waits until the answer
    bool m_done = false;
    QString m_failure;
};

} // namespace phone
