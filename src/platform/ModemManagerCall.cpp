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
#include <QTimer>
#include <QVariantMap>

#include <algorithm>
#include <utility>

namespace phone {
namespace {

// Lookups and CreateCall are answered at once by a working ModemManager.
constexpr int kLookupTimeoutMs = 5000;
// Start waits for the modem's dial command, which some modems answer late.
constexpr int kStartTimeoutMs = 10000;
constexpr int kDtmfTimeoutMs = 10000;

using InterfaceMap = QMap<QString, QVariantMap>;
using ManagedObjects = QMap<QDBusObjectPath, InterfaceMap>;

QDBusMessage callMethod(const QString& path, const char* interface, const char* method)
{
    return QDBusMessage::createMethodCall(
        QString::fromLatin1(mm::kService), path, QString::fromLatin1(interface), QString::fromLatin1(method));
}

QString withDetail(const char* text, const QDBusMessage& reply)
{
    const QString detail = reply.errorMessage().isEmpty() ? reply.errorName() : reply.errorMessage();
    return detail.isEmpty() ? QString::fromUtf8(text) : QString::fromUtf8(text) + u'\n' + detail;
}

std::optional<int> readState(const QDBusConnection& bus, const QString& callPath)
{
    QDBusMessage get = QDBusMessage::createMethodCall(QString::fromLatin1(mm::kService), callPath,
        QStringLiteral("org.freedesktop.DBus.Properties"), QStringLiteral("Get"));
    get << QString::fromLatin1(mm::kCallInterface) << QStringLiteral("State");
    const QDBusMessage reply = bus.call(get, QDBus::Block, kLookupTimeoutMs);
    if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty())
        return std::nullopt;
    bool ok = false;
    const int state = reply.arguments().constFirst().value<QDBusVariant>().variant().toInt(&ok);
    return ok ? std::optional<int>(state) : std::nullopt;
}

} // namespace

std::optional<QString> findVoiceModem(const QDBusConnection& bus)
{
    if (!bus.isConnected())
        return std::nullopt;
    const QDBusMessage request
        = QDBusMessage::createMethodCall(QString::fromLatin1(mm::kService), QString::fromLatin1(mm::kRootPath),
            QStringLiteral("org.freedesktop.DBus.ObjectManager"), QStringLiteral("GetManagedObjects"));
    const QDBusMessage reply = bus.call(request, QDBus::Block, kLookupTimeoutMs);
    if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty())
        return std::nullopt;
    const auto objects = qdbus_cast<ManagedObjects>(reply.arguments().constFirst());
    for (auto it = objects.cbegin(); it != objects.cend(); ++it) {
        if (it.value().contains(QString::fromLatin1(mm::kVoiceInterface)))
            return it.key().path();
    }
    return std::nullopt;
}

PlaceOutcome ModemManagerCall::place(
    const QDBusConnection& bus, const QString& modemPath, const QString& dialString, const CallHooks& hooks)
{
    const DialSplit split = splitDialString(dialString);
    if (split.number.isEmpty())
        return { QString::fromUtf8(messages::kNoNumber), nullptr };

    QDBusMessage create = callMethod(modemPath, mm::kVoiceInterface, "CreateCall");
    create << QVariantMap { { QStringLiteral("number"), split.number } };
    const QDBusMessage created = bus.call(create, QDBus::Block, kLookupTimeoutMs);
    if (created.type() != QDBusMessage::ReplyMessage || created.arguments().isEmpty())
        return { withDetail(messages::kModemRefusedCall, created), nullptr };
    const QString callPath = created.arguments().constFirst().value<QDBusObjectPath>().path();
    if (callPath.isEmpty())
        return { QString::fromUtf8(messages::kModemRefusedCall), nullptr };

    // Listen before Start, so that no state change can slip past.
    auto call = std::make_unique<ModemManagerCall>(bus, modemPath, callPath, postDialSteps(split.postDial), hooks);

    const QDBusMessage started
        = bus.call(callMethod(callPath, mm::kCallInterface, "Start"), QDBus::Block, kStartTimeoutMs);
    if (started.type() != QDBusMessage::ReplyMessage) {
        // Do not leave a call that never started in the modem's list.
        QDBusMessage remove = callMethod(modemPath, mm::kVoiceInterface, "DeleteCall");
        remove << QVariant::fromValue(QDBusObjectPath(callPath));
        bus.call(remove, QDBus::NoBlock);
        return { withDetail(messages::kModemRefusedCall, started), nullptr };
    }
    if (call->m_steps.empty())
        return {};
    if (const auto state = readState(bus, callPath))
        call->applyState(*state);
    return { {}, std::move(call) };
}

ModemManagerCall::ModemManagerCall(const QDBusConnection& bus, QString modemPath, QString callPath,
    std::vector<PostDialStep> steps, const CallHooks& hooks)
    : m_bus(bus)
    , m_modemPath(std::move(modemPath))
    , m_callPath(std::move(callPath))
    , m_steps(std::move(steps))
    , m_hooks(hooks)
{
    const QString service = QString::fromLatin1(mm::kService);
    m_bus.connect(service, m_callPath, QString::fromLatin1(mm::kCallInterface), QStringLiteral("StateChanged"), this,
        SLOT(onStateChanged(int, int, uint)));
    m_bus.connect(service, m_modemPath, QString::fromLatin1(mm::kVoiceInterface), QStringLiteral("CallDeleted"), this,
        SLOT(onCallDeleted(QDBusObjectPath)));
    auto* watcher = new QDBusServiceWatcher(service, m_bus, QDBusServiceWatcher::WatchForUnregistration, this);
    connect(watcher, &QDBusServiceWatcher::serviceUnregistered, this, &ModemManagerCall::onServiceGone);
}

ModemManagerCall::~ModemManagerCall()
{
    const QString service = QString::fromLatin1(mm::kService);
    m_bus.disconnect(service, m_callPath, QString::fromLatin1(mm::kCallInterface), QStringLiteral("StateChanged"), this,
        SLOT(onStateChanged(int, int, uint)));
    m_bus.disconnect(service, m_modemPath, QString::fromLatin1(mm::kVoiceInterface), QStringLiteral("CallDeleted"),
        this, SLOT(onCallDeleted(QDBusObjectPath)));
}

void ModemManagerCall::onStateChanged(int /*oldState*/, int newState, uint /*reason*/)
{
    applyState(newState);
}

void ModemManagerCall::onCallDeleted(const QDBusObjectPath& path)
{
    if (path.path() == m_callPath)
        finish(tonesLeft() ? QString::fromUtf8(messages::kCallEndedBeforeTones) : QString());
}

void ModemManagerCall::onServiceGone()
{
    finish(tonesLeft() ? QString::fromUtf8(messages::kModemGone) : QString());
}

void ModemManagerCall::applyState(int state)
{
    if (m_done)
        return;
    m_state = state;
    if (state == mm::Terminated) {
        finish(tonesLeft() ? QString::fromUtf8(messages::kCallEndedBeforeTones) : QString());
    } else if (state == mm::Active) {
        m_started = true;
        schedule();
    }
}

// Steps never run inside a D-Bus dispatch or inside place(): a question box
// opened there would hold up PhoneMakeCall's return.
void ModemManagerCall::schedule()
{
    if (!m_busy && !m_done)
        QTimer::singleShot(0, this, &ModemManagerCall::advance);
}

void ModemManagerCall::advance()
{
    if (m_done || m_busy || !m_started)
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
            sendTones(step.tones);
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

void ModemManagerCall::sendTones(const QString& tones)
{
    m_busy = true;
    QDBusMessage dtmf = callMethod(m_callPath, mm::kCallInterface, "SendDtmf");
    dtmf << tones;
    auto* watcher = new QDBusPendingCallWatcher(m_bus.asyncCall(dtmf, kDtmfTimeoutMs), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this, [this](QDBusPendingCallWatcher* done) {
        done->deleteLater();
        if (m_done)
            return;
        if (done->isError()) {
            if (m_state == mm::Terminated) {
                finish(QString::fromUtf8(messages::kCallEndedBeforeTones));
            } else {
                const QString detail = done->error().message();
                finish(detail.isEmpty() ? QString::fromUtf8(messages::kTonesRefused)
                                        : QString::fromUtf8(messages::kTonesRefused) + u'\n' + detail);
            }
            return;
        }
        m_busy = false;
        ++m_next;
        advance();
    });
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
    // A question box is open further down the stack: its answer comes first.
    if (!m_inQuestion)
        report();
}

void ModemManagerCall::report()
{
    if (!m_failure.isEmpty() && m_hooks.fail)
        m_hooks.fail(m_failure);
    emit ended();
}

} // namespace phone
