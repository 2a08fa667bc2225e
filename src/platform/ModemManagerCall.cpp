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

// Hands the reply to `handle` on the event loop; nothing comes once `context`
// is gone. A reply that does not come in time arrives as a NoReply error.
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
    const QDBusConnection& bus, QString modemPath, const QString& dialString, const CallHooks& hooks)
    : m_bus(bus)
    , m_modemPath(std::move(modemPath))
    , m_hooks(hooks)
{
    const DialSplit split = splitDialString(dialString);
    m_number = split.number;
    m_steps = postDialSteps(split.postDial);
    auto* watcher = new QDBusServiceWatcher(
        QString::fromLatin1(mm::kService), m_bus, QDBusServiceWatcher::WatchForUnregistration, this);
    connect(watcher, &QDBusServiceWatcher::serviceUnregistered, this, &ModemManagerCall::onServiceGone);
}

ModemManagerCall::~ModemManagerCall()
{
    if (!m_callPath.isEmpty() && !m_steps.empty())
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
    // Listen before Start, so that no state change can slip past. A call
    // with no tones to play has no use for its state.
    if (!m_steps.empty())
        listen(true);
    m_phase = Phase::Starting;
    send(callMethod(m_callPath, mm::kCallInterface, "Start"), m_hooks.timeouts.start, &ModemManagerCall::onStarted);
}

void ModemManagerCall::onStarted(const QDBusMessage& reply)
{
    const QString problem = placementFault(reply, "", "Start");
    if (!problem.isEmpty()) {
        // Do not leave a call that never started in the modem's list.
        fault(problem, Cleanup::Delete);
        return;
    }
    if (m_steps.empty() || m_done) {
        placementDone();
        return;
    }
    m_phase = Phase::Reading;
    send(stateRequest(), m_hooks.timeouts.lookup, &ModemManagerCall::onStateRead);
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
    if (m_steps.empty() && !m_done)
        finish({});
    else if (m_done) // the call ended while it was being placed: told once the caller has gone on
        QTimer::singleShot(0, this, &ModemManagerCall::report);
    else
        schedule();
}

void ModemManagerCall::fault(const QString& message, Cleanup cleanup)
{
    if (m_phase == Phase::Over || (m_phase == Phase::Playing && m_done))
        return;
    if (cleanup == Cleanup::Delete && !m_callPath.isEmpty()) {
        QDBusMessage remove = callMethod(m_modemPath, mm::kVoiceInterface, "DeleteCall");
        remove << QVariant::fromValue(QDBusObjectPath(m_callPath));
        m_bus.send(remove);
    } else if (cleanup == Cleanup::Hangup) {
        m_bus.send(callMethod(m_callPath, mm::kCallInterface, "Hangup"));
    }
    if (m_phase == Phase::Playing) {
        finish(message);
        return;
    }
    m_phase = Phase::Over;
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
    applyState(signal.arguments().at(1).toInt());
}

void ModemManagerCall::onCallDeleted(const QDBusObjectPath& path)
{
    if (path.path() == m_callPath)
        finish(endedBeforeTones(messages::kCallEndedBeforeTones, messages::kCallEndedMidTones));
}

void ModemManagerCall::onServiceGone()
{
    finish(endedBeforeTones(messages::kModemGone, messages::kModemGone));
}

void ModemManagerCall::applyState(int state)
{
    if (m_done)
        return;
    m_state = state;
    if (state == mm::Terminated) {
        finish(endedBeforeTones(messages::kCallEndedBeforeTones, messages::kCallEndedMidTones));
    } else if (state == mm::Active) {
        m_started = true;
        schedule();
    }
}

// Steps never run inside a D-Bus dispatch or before the placement is over: a
// question box opened there would hold up PhoneMakeCall's return.
void ModemManagerCall::schedule()
{
    if (!m_busy && !m_done)
        QTimer::singleShot(0, this, &ModemManagerCall::advance);
}

void ModemManagerCall::advance()
{
    if (m_done || m_busy || !m_started || m_phase != Phase::Playing)
        return;
    if (m_next >= m_steps.size()) {
        finish({});
        return;
    }
    const PostDialStep& step = m_steps[m_next];
    switch (step.kind) {
    case PostDialStep::Kind::Pause:
        m_busy = true;
        QTimer::singleShot(m_hooks.pause, Qt::PreciseTimer, this, [this] {
            m_busy = false;
            ++m_next;
            advance();
        });
        break;
    case PostDialStep::Kind::Wait:
        askBeforeTones();
        break;
    case PostDialStep::Kind::Tones:
        // ModemManager takes tones only on an ACTIVE call; a held call keeps
        // them until it is active again.
        if (m_state == mm::Active)
            sendTone();
        break;
    }
}

void ModemManagerCall::askBeforeTones()
{
    m_busy = true;
    m_inQuestion = true;
    const bool send = m_hooks.ask && m_hooks.ask(m_steps[m_next].tones);
    m_inQuestion = false;
    if (m_done) {
        report();
        return;
    }
    if (!send) {
        finish({});
        return;
    }
    m_busy = false;
    ++m_next;
    advance();
}

void ModemManagerCall::sendTone()
{
    m_busy = true;
    QDBusMessage dtmf = callMethod(m_callPath, mm::kCallInterface, "SendDtmf");
    dtmf << QString(m_steps[m_next].tones[m_tone]);
    send(dtmf, m_hooks.timeouts.tones, &ModemManagerCall::onToneSent);
}

void ModemManagerCall::onToneSent(const QDBusMessage& reply)
{
    if (m_done)
        return;
    if (reply.type() != QDBusMessage::ReplyMessage) {
        // A call that has just ended refuses its tones too, and the error can
        // come before the news of the end: the call's state tells which.
        m_refusal = replyFault(reply, "", "SendDtmf", messages::kTonesRefused);
        send(stateRequest(), m_hooks.timeouts.lookup, &ModemManagerCall::onRefusedToneState);
        return;
    }
    m_sentAny = true;
    m_busy = false;
    if (++m_tone == m_steps[m_next].tones.size()) {
        m_tone = 0;
        ++m_next;
    }
    advance();
}

void ModemManagerCall::onRefusedToneState(const QDBusMessage& reply)
{
    if (m_done)
        return;
    const std::optional<int> state = reply.type() == QDBusMessage::ReplyMessage && reply.signature() == u"v"
        ? stateFrom(reply.arguments().constFirst().value<QDBusVariant>().variant())
        : std::nullopt;
    // No state to read: the call is gone.
    if (!state || *state == mm::Terminated)
        finish(endedBeforeTones(messages::kCallEndedBeforeTones, messages::kCallEndedMidTones));
    else
        finish(m_refusal + u'\n' + messages::text(messages::kTonesNotSent) + tonesNotSent());
}

// Empty when every tone went out: `none` when no tone did; `some`, and which
// tones did not go out, when some did.
QString ModemManagerCall::endedBeforeTones(const char* none, const char* some) const
{
    if (!tonesLeft())
        return {};
    if (!m_sentAny)
        return messages::text(none);
    return messages::text(some) + u'\n' + messages::text(messages::kTonesNotSent) + tonesNotSent();
}

QString ModemManagerCall::tonesNotSent() const
{
    QStringList runs { m_steps[m_next].tones.mid(m_tone) };
    for (std::size_t i = m_next + 1; i < m_steps.size(); ++i) {
        if (m_steps[i].kind == PostDialStep::Kind::Tones)
            runs << m_steps[i].tones;
    }
    return runs.join(u' ');
}

bool ModemManagerCall::tonesLeft() const
{
    return std::any_of(m_steps.begin() + static_cast<std::ptrdiff_t>(std::min(m_next, m_steps.size())), m_steps.end(),
        [](const PostDialStep& s) { return !s.tones.isEmpty(); });
}

void ModemManagerCall::finish(const QString& failure)
{
    if (m_done)
        return;
    m_done = true;
    m_failure = failure;
    // A question box is open further down the stack: its answer comes first;
    // a call still being placed tells its placement first.
    if (!m_inQuestion && m_phase == Phase::Playing)
        report();
}

void ModemManagerCall::report()
{
    m_phase = Phase::Over;
    if (!m_failure.isEmpty() && m_hooks.fail)
        m_hooks.fail(m_failure);
    emit ended();
}

} // namespace phone
