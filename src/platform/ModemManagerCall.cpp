#include "ModemManagerCall.h"

#include "PhoneServiceMessages.h"

#include <QDBusArgument>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusObjectPath>
#include <QDBusPendingCallWatcher>
#include <QDBusServiceWatcher>
#include <QDBusVariant>
#include <QMap>
#include <QPointer>
#include <QStringList>
#include <QTimer>
#include <QVariantMap>

#include <algorithm>
#include <utility>

namespace phone {
namespace {

using InterfaceMap = QMap<QString, QVariantMap>;
using ManagedObjects = QMap<QDBusObjectPath, InterfaceMap>;

QDBusMessage callMethod(const QString& path, const char* interface, const char* method)
{
    return QDBusMessage::createMethodCall(
        QString::fromLatin1(mm::kService), path, QString::fromLatin1(interface), QString::fromLatin1(method));
}

bool noAnswer(const QDBusMessage& reply)
{
    const QString name = reply.errorName();
    return name == u"org.freedesktop.DBus.Error.NoReply" || name == u"org.freedesktop.DBus.Error.Timeout"
        || name == u"org.freedesktop.DBus.Error.TimedOut";
}

QString withDetail(const char* text, const QString& detail)
{
    return detail.isEmpty() ? messages::text(text) : messages::text(text) + u'\n' + detail;
}

QString unreadable(const char* text, const char* what, const QString& signature)
{
    return withDetail(text,
        QString::fromLatin1(what) + QStringLiteral(": ")
            + (signature.isEmpty() ? QStringLiteral("nothing") : signature));
}

// Empty when `reply` is an answer of `signature`; else what to tell the user:
// no answer, ModemManager's refusal with its reason, or an answer that
// cannot be read.
QString replyFault(const QDBusMessage& reply, const char* signature, const char* method, const char* refusal)
{
    if (reply.type() == QDBusMessage::ReplyMessage) {
        return reply.signature() == QLatin1String(signature)
            ? QString()
            : unreadable(messages::kModemManagerUnreadable, method, reply.signature());
    }
    if (noAnswer(reply))
        return messages::text(messages::kModemManagerSilent);
    return withDetail(refusal, reply.errorMessage().isEmpty() ? reply.errorName() : reply.errorMessage());
}

// CreateCall and Start are where polkit decides whether this user may place
// calls; its refusal is told as such, with ModemManager's reason.
QString placementFault(const QDBusMessage& reply, const char* signature, const char* method)
{
    if (reply.type() == QDBusMessage::ErrorMessage && reply.errorName() == QLatin1String(mm::kUnauthorized))
        return messages::text(messages::kNotAllowedToCall) + reply.errorMessage();
    return replyFault(reply, signature, method, messages::kModemRefusedCall);
}

// A call state is an integer, signed as ModemManager sends it or unsigned.
std::optional<int> stateFrom(const QVariant& value)
{
    const int type = value.metaType().id();
    if (type != QMetaType::Int && type != QMetaType::UInt)
        return std::nullopt;
    return value.toInt();
}

QString signatureOf(const QVariant& value)
{
    if (value.metaType() == QMetaType::fromType<QDBusArgument>())
        return value.value<QDBusArgument>().currentSignature();
    return QString::fromLatin1(QDBusMetaType::typeToSignature(value.metaType()));
}

} // namespace

void callAsync(const QDBusConnection& bus, const QDBusMessage& request, std::chrono::milliseconds timeout,
    QObject* context, std::function<void(const QDBusMessage&)> handle)
{
    // Qt never finishes a call made on a connection that is down.
    if (!bus.isConnected()) {
        QTimer::singleShot(0, context, [handle = std::move(handle)] {
            handle(QDBusMessage::createError(QDBusError::Disconnected, QStringLiteral("no system bus")));
        });
        return;
    }
    auto* watcher = new QDBusPendingCallWatcher(bus.asyncCall(request, static_cast<int>(timeout.count())), context);
    QObject::connect(watcher, &QDBusPendingCallWatcher::finished, context, [handle = std::move(handle)](auto* done) {
        done->deleteLater();
        handle(done->reply());
    });
}

void findVoiceModem(const QDBusConnection& bus, std::chrono::milliseconds timeout, QObject* context,
    std::function<void(const ModemLookup&)> found)
{
    const QDBusMessage request
        = QDBusMessage::createMethodCall(QString::fromLatin1(mm::kService), QString::fromLatin1(mm::kRootPath),
            QStringLiteral("org.freedesktop.DBus.ObjectManager"), QStringLiteral("GetManagedObjects"));
    callAsync(bus, request, timeout, context, [found = std::move(found)](const QDBusMessage& reply) {
        // Any other error is no system bus, a bus without ModemManager, or
        // one that will not let us near it: no modem either way.
        if (reply.type() != QDBusMessage::ReplyMessage) {
            found({ {}, noAnswer(reply) ? messages::text(messages::kModemManagerSilent) : QString() });
            return;
        }
        if (reply.signature() != u"a{oa{sa{sv}}}") {
            found({ {}, unreadable(messages::kModemManagerUnreadable, "GetManagedObjects", reply.signature()) });
            return;
        }
        const auto objects = qdbus_cast<ManagedObjects>(reply.arguments().constFirst());
        for (auto it = objects.cbegin(); it != objects.cend(); ++it) {
            if (it.value().contains(QString::fromLatin1(mm::kVoiceInterface))) {
                found({ it.key().path(), {} });
                return;
            }
        }
        found({});
    });
}

ModemManagerCall::ModemManagerCall(
    const QDBusConnection& bus, QString modemPath, const QString& dialString, SecretSpan pin, const CallHooks& hooks)
    : m_bus(bus)
    , m_modemPath(std::move(modemPath))
    , m_hooks(hooks)
{
    const DialSplit split = splitDialString(dialString, pin);
    m_number = split.number;
    m_steps = postDialSteps(split.postDial, pin.shiftedBy(split.number.size()));
    auto* watcher = new QDBusServiceWatcher(
        QString::fromLatin1(mm::kService), m_bus, QDBusServiceWatcher::WatchForUnregistration, this);
    connect(watcher, &QDBusServiceWatcher::serviceUnregistered, this, &ModemManagerCall::onServiceGone);
}

ModemManagerCall::~ModemManagerCall()
{
    if (!m_callPath.isEmpty())
        listen(false);
}

void ModemManagerCall::listen(bool on)
{
    const QString service = QString::fromLatin1(mm::kService);
    using Subscription = bool (QDBusConnection::*)(
        const QString&, const QString&, const QString&, const QString&, QObject*, const char*);
    const auto change = on ? static_cast<Subscription>(&QDBusConnection::connect)
                           : static_cast<Subscription>(&QDBusConnection::disconnect);
    // A slot that takes the whole message sees every StateChanged, whatever
    // its arguments, so that a malformed one is noticed rather than dropped.
    (m_bus.*change)(service, m_callPath, QString::fromLatin1(mm::kCallInterface), QStringLiteral("StateChanged"), this,
        SLOT(onStateChanged(QDBusMessage)));
    (m_bus.*change)(service, m_modemPath, QString::fromLatin1(mm::kVoiceInterface), QStringLiteral("CallDeleted"), this,
        SLOT(onCallDeleted(QDBusObjectPath)));
}

void ModemManagerCall::send(const QDBusMessage& request, std::chrono::milliseconds timeout,
    void (ModemManagerCall::*handle)(const QDBusMessage&))
{
    callAsync(m_bus, request, timeout, this, [this, handle](const QDBusMessage& reply) { (this->*handle)(reply); });
}

void ModemManagerCall::place()
{
    if (m_number.isEmpty()) {
        fault(messages::text(messages::kNoNumber), Cleanup::None);
        return;
    }
    QDBusMessage create = callMethod(m_modemPath, mm::kVoiceInterface, "CreateCall");
    create << QVariantMap { { QStringLiteral("number"), m_number } };
    send(create, m_hooks.timeouts.lookup, &ModemManagerCall::onCreated);
}

void ModemManagerCall::abandon()
{
    if (m_phase == Phase::Playing || m_phase == Phase::Over)
        return;
    m_abandoned = true;
    // A call still being created is deleted when CreateCall answers.
    if (m_phase != Phase::Creating)
        fault({}, Cleanup::Delete);
}

void ModemManagerCall::onCreated(const QDBusMessage& reply)
{
    const QString problem = placementFault(reply, "o", "CreateCall");
    if (!problem.isEmpty()) {
        fault(problem, Cleanup::None);
        return;
    }
    m_callPath = reply.arguments().constFirst().value<QDBusObjectPath>().path();
    if (m_abandoned) {
        fault({}, Cleanup::Delete);
        return;
    }
    // Listen before Start, so that no state change can slip past.
    listen(true);
    m_phase = Phase::Starting;
    send(callMethod(m_callPath, mm::kCallInterface, "Start"), m_hooks.timeouts.start, &ModemManagerCall::onStarted);
}

void ModemManagerCall::onStarted(const QDBusMessage& reply)
{
    if (m_phase != Phase::Starting)
        return;
    const QString problem = placementFault(reply, "", "Start");
    if (problem.isEmpty()) {
        m_phase = Phase::Reading;
        send(stateRequest(), m_hooks.timeouts.lookup, &ModemManagerCall::onStateRead);
        return;
    }
    // Call applications (GNOME Calls, Plasma Dialer's daemon) start any
    // outgoing call they find still UNKNOWN, and ModemManager then refuses
    // ours: the call's state tells a started call from a refused one.
    if (reply.type() == QDBusMessage::ErrorMessage && !noAnswer(reply)
        && reply.errorName() != QLatin1String(mm::kUnauthorized)) {
        m_refusal = problem;
        m_phase = Phase::Reading;
        send(stateRequest(), m_hooks.timeouts.lookup, &ModemManagerCall::onRefusedStartState);
        return;
    }
    // Do not leave a call that never started in the modem's list.
    fault(problem, Cleanup::Delete);
}

void ModemManagerCall::onRefusedStartState(const QDBusMessage& reply)
{
    const std::optional<int> state = reply.type() == QDBusMessage::ReplyMessage && reply.signature() == u"v"
        ? stateFrom(reply.arguments().constFirst().value<QDBusVariant>().variant())
        : std::nullopt;
    if (m_over || (state && (*state == mm::Dialing || *state == mm::RingingOut || *state == mm::Active))) {
        if (state)
            applyState(*state);
        placementDone();
    } else {
        fault(m_refusal, Cleanup::Delete);
    }
}

QDBusMessage ModemManagerCall::stateRequest() const
{
    QDBusMessage get = QDBusMessage::createMethodCall(QString::fromLatin1(mm::kService), m_callPath,
        QStringLiteral("org.freedesktop.DBus.Properties"), QStringLiteral("Get"));
    get << QString::fromLatin1(mm::kCallInterface) << QStringLiteral("State");
    return get;
}

void ModemManagerCall::onStateRead(const QDBusMessage& reply)
{
    if (m_phase != Phase::Reading)
        return;
    QString problem = replyFault(reply, "v", "State", messages::kCallStateUnreadable);
    const QVariant value
        = problem.isEmpty() ? reply.arguments().constFirst().value<QDBusVariant>().variant() : QVariant();
    const std::optional<int> state = stateFrom(value);
    if (problem.isEmpty() && !state)
        problem = unreadable(messages::kCallStateUnreadable, "State", signatureOf(value));
    if (!problem.isEmpty()) {
        fault(problem, Cleanup::Hangup);
        return;
    }
    applyState(*state);
    placementDone();
}

void ModemManagerCall::placementDone()
{
    m_phase = Phase::Playing;
    emit placed({});
    if (m_over) {
        // The call ended while it was being placed: told once the caller has gone on.
        QTimer::singleShot(0, this, [this] {
            emit ended();
            if (!m_failure.isEmpty())
                emit told(m_failure);
        });
        return;
    }
    emit changed();
    schedule();
}

void ModemManagerCall::fault(const QString& message, Cleanup cleanup)
{
    if (m_phase == Phase::Over || (m_over && m_phase == Phase::Playing))
        return;
    if (cleanup == Cleanup::Delete && !m_callPath.isEmpty()) {
        QDBusMessage remove = callMethod(m_modemPath, mm::kVoiceInterface, "DeleteCall");
        remove << QVariant::fromValue(QDBusObjectPath(m_callPath));
        m_bus.send(remove);
    } else if (cleanup == Cleanup::Hangup) {
        m_bus.send(callMethod(m_callPath, mm::kCallInterface, "Hangup"));
    }
    if (m_phase == Phase::Playing) {
        // The call goes on until ModemManager says it has ended.
        m_hangingUp = cleanup == Cleanup::Hangup;
        endSequence(message);
        return;
    }
    m_phase = Phase::Over;
    m_over = true;
    if (!m_abandoned)
        emit placed(message);
    emit ended();
}

void ModemManagerCall::onStateChanged(const QDBusMessage& signal)
{
    if (signal.signature() != u"iiu") {
        fault(unreadable(messages::kCallStateUnreadable, "StateChanged", signal.signature()), Cleanup::Hangup);
        return;
    }
    applyState(signal.arguments().at(1).toInt(), signal.arguments().at(2).toUInt());
}

void ModemManagerCall::onCallDeleted(const QDBusObjectPath& path)
{
    // Another call application removes a call it has seen end, or one it
    // ended itself.
    if (path.path() == m_callPath)
        end(m_hangingUp ? CallEnd::HungUpHere : CallEnd::HungUpElsewhere,
            endedBeforeTones(messages::kCallEndedBeforeTones, messages::kCallEndedMidTones));
}

void ModemManagerCall::onServiceGone()
{
    end(CallEnd::HungUpElsewhere, endedBeforeTones(messages::kModemGone, messages::kModemGone));
}

void ModemManagerCall::applyState(int state, unsigned reason)
{
    if (m_over)
        return;
    m_state = state;
    if (state == mm::Terminated) {
        // ModemManager gives the reason "terminated" only to a Hangup asked
        // over D-Bus; a call the network ends has an unknown reason.
        const CallEnd how = m_hangingUp       ? CallEnd::HungUpHere
            : reason == mm::kReasonTerminated ? CallEnd::HungUpElsewhere
            : m_connectedAt                   ? CallEnd::HungUpFarEnd
                                              : CallEnd::NotConnected;
        end(how, endedBeforeTones(messages::kCallEndedBeforeTones, messages::kCallEndedMidTones));
        return;
    }
    if (state == mm::Active && !m_connectedAt)
        m_connectedAt = Clock::now();
    if (m_phase == Phase::Playing)
        emit changed();
    if (state == mm::Active) {
        schedule();
        pumpKeypad();
    }
}

// Steps never run inside a D-Bus dispatch or before the placement is over.
void ModemManagerCall::schedule()
{
    if (!m_toneInFlight && !m_seqOver)
        QTimer::singleShot(0, this, &ModemManagerCall::advance);
}

void ModemManagerCall::advance()
{
    if (m_over || m_seqOver || m_toneInFlight || m_pausing || m_waiting || !m_connectedAt || m_phase != Phase::Playing)
        return;
    if (m_next >= m_steps.size()) {
        endSequence({});
        return;
    }
    const PostDialStep& step = m_steps[m_next];
    switch (step.kind) {
    case PostDialStep::Kind::Pause:
        m_pausing = true;
        m_pauseEnds = Clock::now() + m_hooks.pause;
        QTimer::singleShot(m_hooks.pause, Qt::PreciseTimer, this, [this] {
            if (!m_pausing)
                return;
            m_pausing = false;
            m_pauseEnds.reset();
            ++m_next;
            emit changed();
            advance();
        });
        emit changed();
        break;
    case PostDialStep::Kind::Wait:
        m_waiting = true;
        emit changed();
        emit waitAsked(step.shown);
        pumpKeypad();
        break;
    case PostDialStep::Kind::Tones:
        // ModemManager takes tones only on an ACTIVE call; a held call keeps
        // them until it is active again.
        if (m_state == mm::Active)
            sendTone(step.tones[m_tone], &ModemManagerCall::onToneSent);
        break;
    }
}

QString ModemManagerCall::waitingFor() const
{
    return m_waiting ? m_steps[m_next].shown : QString();
}

void ModemManagerCall::answerWait(bool send)
{
    if (!m_waiting)
        return;
    m_waiting = false;
    if (!send) {
        endSequence({});
        return;
    }
    ++m_next;
    emit changed();
    advance();
}

void ModemManagerCall::sendTone(QChar tone, void (ModemManagerCall::*handle)(const QDBusMessage&))
{
    m_toneInFlight = true;
    QDBusMessage dtmf = callMethod(m_callPath, mm::kCallInterface, "SendDtmf");
    dtmf << QString(tone);
    send(dtmf, m_hooks.timeouts.tones, handle);
}

void ModemManagerCall::onToneSent(const QDBusMessage& reply)
{
    m_toneInFlight = false;
    if (m_over || m_seqOver)
        return;
    if (reply.type() != QDBusMessage::ReplyMessage) {
        // A call that has just ended refuses its tones too, and the error can
        // come before the news of the end: the call's state tells which.
        m_refusal = replyFault(reply, "", "SendDtmf", messages::kTonesRefused);
        send(stateRequest(), m_hooks.timeouts.lookup, &ModemManagerCall::onRefusedToneState);
        return;
    }
    m_sentAny = true;
    if (++m_tone == m_steps[m_next].tones.size()) {
        m_tone = 0;
        ++m_next;
    }
    emit changed();
    advance();
}

void ModemManagerCall::onRefusedToneState(const QDBusMessage& reply)
{
    if (m_over)
        return;
    const std::optional<int> state = reply.type() == QDBusMessage::ReplyMessage && reply.signature() == u"v"
        ? stateFrom(reply.arguments().constFirst().value<QDBusVariant>().variant())
        : std::nullopt;
    // No state to read: the call is gone.
    if (!state || *state == mm::Terminated)
        end(m_connectedAt ? CallEnd::HungUpFarEnd : CallEnd::NotConnected,
            endedBeforeTones(messages::kCallEndedBeforeTones, messages::kCallEndedMidTones));
    else
        endSequence(m_refusal + u'\n' + messages::text(messages::kTonesNotSent) + tonesNotSent());
}

void ModemManagerCall::sendKeypadTone(QChar tone)
{
    if (m_over || m_hangingUp || !isDtmfTone(tone))
        return;
    m_keypad += tone.toUpper();
    emit changed();
    pumpKeypad();
}

void ModemManagerCall::pumpKeypad()
{
    // The sequence's tones come first; at a wait the user is in charge.
    if (m_keypad.isEmpty() || m_over || m_hangingUp || m_toneInFlight || m_state != mm::Active
        || m_phase != Phase::Playing || (!m_seqOver && !m_waiting))
        return;
    sendTone(m_keypad.front(), &ModemManagerCall::onKeypadToneSent);
}

void ModemManagerCall::onKeypadToneSent(const QDBusMessage& reply)
{
    m_toneInFlight = false;
    if (m_over)
        return;
    // A refused tone takes the ones typed after it along: they would make
    // no sense on their own.
    if (reply.type() != QDBusMessage::ReplyMessage)
        m_keypad.clear();
    else
        m_keypad.remove(0, 1);
    emit changed();
    if (!m_seqOver && !m_waiting)
        advance();
    else
        pumpKeypad();
}

void ModemManagerCall::hangUp()
{
    if (m_over || m_hangingUp || m_phase != Phase::Playing)
        return;
    m_hangingUp = true;
    m_keypad.clear();
    endSequence({});
    send(callMethod(m_callPath, mm::kCallInterface, "Hangup"), m_hooks.timeouts.lookup, &ModemManagerCall::onHungUp);
}

void ModemManagerCall::onHungUp(const QDBusMessage& reply)
{
    if (m_over || reply.type() == QDBusMessage::ReplyMessage)
        return; // the state change to TERMINATED ends it
    m_refusal = replyFault(reply, "", "Hangup", messages::kHangUpFailed);
    send(stateRequest(), m_hooks.timeouts.lookup, &ModemManagerCall::onHangUpState);
}

void ModemManagerCall::onHangUpState(const QDBusMessage& reply)
{
    if (m_over)
        return;
    const std::optional<int> state = reply.type() == QDBusMessage::ReplyMessage && reply.signature() == u"v"
        ? stateFrom(reply.arguments().constFirst().value<QDBusVariant>().variant())
        : std::nullopt;
    // A call already gone cannot be hung up, and needs not be.
    if (!state || *state == mm::Terminated) {
        end(CallEnd::HungUpHere, {});
        return;
    }
    m_hangingUp = false;
    emit changed();
    emit told(m_refusal);
}

// Empty when every tone went out: `none` when no tone did; `some`, and which
// tones did not go out, when some did.
QString ModemManagerCall::endedBeforeTones(const char* none, const char* some) const
{
    if (!tonesLeft() || m_seqOver)
        return {};
    if (!m_sentAny)
        return messages::text(none);
    return messages::text(some) + u'\n' + messages::text(messages::kTonesNotSent) + tonesNotSent();
}

QString ModemManagerCall::tonesNotSent() const
{
    QStringList runs;
    for (std::size_t i = m_next; i < m_steps.size(); ++i) {
        if (m_steps[i].kind == PostDialStep::Kind::Tones)
            runs << m_steps[i].shown.mid(i == m_next ? m_tone : 0);
    }
    return runs.join(u' ');
}

bool ModemManagerCall::tonesLeft() const
{
    return std::any_of(m_steps.begin() + static_cast<std::ptrdiff_t>(std::min(m_next, m_steps.size())), m_steps.end(),
        [](const PostDialStep& s) { return !s.tones.isEmpty(); });
}

void ModemManagerCall::endSequence(const QString& failure)
{
    if (m_seqOver)
        return;
    m_seqOver = true;
    m_waiting = m_pausing = false;
    m_pauseEnds.reset();
    m_failure = failure;
    if (m_phase != Phase::Playing)
        return;
    emit changed();
    // Telling may open a message box, in whose loop the call can end and go.
    const QPointer<ModemManagerCall> self(this);
    if (!failure.isEmpty())
        emit told(failure);
    if (self)
        pumpKeypad();
}

void ModemManagerCall::end(CallEnd how, const QString& failure)
{
    if (m_over)
        return;
    const bool tell = !m_seqOver && !failure.isEmpty();
    m_seqOver = true;
    m_waiting = m_pausing = false;
    m_pauseEnds.reset();
    if (tell)
        m_failure = failure;
    m_over = true;
    m_end = how;
    m_endedAt = Clock::now();
    m_keypad.clear();
    if (m_phase != Phase::Playing)
        return; // placementDone() or fault() tells
    m_phase = Phase::Over;
    emit changed();
    // Ended first: the owner deletes the object later, never inside the box
    // that telling may open.
    emit ended();
    if (tell)
        emit told(failure);
}

std::optional<std::chrono::seconds> ModemManagerCall::connectedFor() const
{
    if (!m_connectedAt)
        return std::nullopt;
    return std::chrono::duration_cast<std::chrono::seconds>((m_over ? m_endedAt : Clock::now()) - *m_connectedAt);
}

} // namespace phone
