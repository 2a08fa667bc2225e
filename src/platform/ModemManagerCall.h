#pragma once

#include "PhoneServiceDialPlan.h"

#include <QDBusConnection>
#include <QObject>
#include <QString>

#include <chrono>
#include <cstddef>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

class QDBusObjectPath;

namespace phone {

namespace mm {
inline constexpr char kService[] = "org.freedesktop.ModemManager1";
inline constexpr char kRootPath[] = "/org/freedesktop/ModemManager1";
inline constexpr char kVoiceInterface[] = "org.freedesktop.ModemManager1.Modem.Voice";
inline constexpr char kCallInterface[] = "org.freedesktop.ModemManager1.Call";

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

// The first modem (in object-path order) with the Voice interface, if
// ModemManager answers on `bus` at all.
std::optional<QString> findVoiceModem(const QDBusConnection& bus);

// What a call needs from its owner while it plays the post-dial sequence.
// Owned by the service, which outlives its calls; read at each use so that
// changes apply to calls already running.
struct CallHooks {
    std::function<bool(const QString& tones)> ask;
    std::function<void(const QString& message)> fail;
    std::chrono::milliseconds pause { 0 };
};

class ModemManagerCall;

struct PlaceOutcome {
    QString error; // empty: the call was started
    std::unique_ptr<ModemManagerCall> call; // set when a post-dial sequence is to be played
};

// One outgoing call placed through ModemManager: CreateCall and Start happen
// in place(), blocking for short D-Bus round trips; the post-dial sequence
// then runs on the event loop and stops as soon as the call is gone.
class ModemManagerCall : public QObject {
    Q_OBJECT
public:
    static PlaceOutcome place(
        const QDBusConnection& bus, const QString& modemPath, const QString& dialString, const CallHooks& hooks);

    ModemManagerCall(const QDBusConnection& bus, QString modemPath, QString callPath, std::vector<PostDialStep> steps,
        const CallHooks& hooks);
    ~ModemManagerCall() override;

    QString callPath() const { return m_callPath; }

signals:
    // The sequence is over (played, declined, or the call went away) and any
    // failure has been reported; the owner may delete the object.
    void ended();

private slots:
    void onStateChanged(int oldState, int newState, uint reason);
    void onCallDeleted(const QDBusObjectPath& path);
    void onServiceGone();

private:
    void applyState(int state);
    void schedule();
    void advance();
    void askBeforeTones();
    void sendTones(const QString& tones);
    void finish(const QString& failure);
    void report();
    bool tonesLeft() const;

    QDBusConnection m_bus;
    QString m_modemPath;
    QString m_callPath;
    std::vector<PostDialStep> m_steps;
    const CallHooks& m_hooks;
    std::size_t m_next = 0;
    int m_state = mm::Unknown;
    bool m_started = false; // the call has been ACTIVE once: pauses count from there
    bool m_busy = false; // a pause, a question or a SendDtmf is under way
    bool m_inQuestion = false; // the user is being asked: reporting waits until the answer
    bool m_done = false;
    QString m_failure;
};

} // namespace phone
