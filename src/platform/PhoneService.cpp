#include "PhoneService.h"

#include "PhoneServiceMessages.h"
#include "SleepInhibitor.h"
#include "TelHandlers.h"

#include <QApplication>
#include <QDBusConnection>
#include <QDesktopServices>
#include <QMessageBox>
#include <QPointer>
#include <QProcess>
#include <QThreadPool>
#include <QTimer>

#include <algorithm>
#include <utility>

namespace phone {

PhoneService& PhoneService::instance()
{
    // Owned by the application object, so that the calls and their D-Bus
    // connections go before Qt does.
    static QPointer<PhoneService> service;
    if (!service)
        service = new PhoneService(QCoreApplication::instance());
    return *service;
}

PhoneService::PhoneService(QObject* parent)
    : QObject(parent)
    , m_ask(&PhoneService::defaultQuestion)
    , m_fail(&PhoneService::defaultFailureNotice)
    , m_tel(desktopTelHandler())
    , m_audio(QDBusConnection::sessionBus(), this)
{
    m_hooks.pause = kDialPause;
}

void PhoneService::placeCall(const QString& dialString, Placed placed, std::optional<CallDisplay> display)
{
    if (m_placed) {
        placed({ false, messages::text(messages::kPlacingAnother) });
        return;
    }
    m_placed = std::move(placed);
    m_placingId = ++m_lastId;
    m_placingDisplay = std::move(display);
    const unsigned placement = ++m_placement;
    const QDBusConnection bus = QDBusConnection::systemBus();
    findVoiceModem(bus, m_hooks.timeouts.lookup, this, [=, this](const ModemLookup& found) {
        if (placement != m_placement)
            return;
        if (!found.error.isEmpty())
            endPlacement({ false, found.error });
        else if (found.modem)
            placeThroughModem(bus, *found.modem, dialString, m_placingDisplay);
        else
            placeThroughTel(dialString);
    });
}

void PhoneService::placeThroughModem(
    const QDBusConnection& bus, const QString& modem, const QString& dialString, std::optional<CallDisplay> display)
{
    const SecretSpan pin = display ? display->pin : SecretSpan {};
    LiveCall added;
    added.call = std::make_unique<ModemManagerCall>(bus, modem, dialString, pin, m_hooks);
    added.id = m_placingId;
    added.display = std::move(display);
    m_calls.push_back(std::move(added));
    ModemManagerCall* call = m_calls.back().call.get();
    m_placing = call;
    connect(call, &ModemManagerCall::placed, this, [this, call](const QString& error) {
        if (LiveCall* c = live(call); c && error.isEmpty())
            c->placed = true;
        endPlacement({ error.isEmpty(), error, false, error.isEmpty() ? live(call)->id : 0 });
    });
    connect(call, &ModemManagerCall::changed, this, [this, call] { onCallChanged(call); });
    connect(call, &ModemManagerCall::ended, this, [this, call] { onCallEnded(call); });
    // Failures are told through the notifier, over whatever shows the call.
    connect(call, &ModemManagerCall::told, this, [this](const QString& message) {
        if (m_fail)
            m_fail(message);
    });
    // The waits of a call that nobody shows are asked with the service's own
    // question, from a fresh event.
    if (!m_calls.back().display) {
        connect(call, &ModemManagerCall::waitAsked, this, [this, call](const QString& tones) {
            QTimer::singleShot(0, call, [this, call, tones] { call->answerWait(m_ask && m_ask(tones)); });
        });
    }
    call->place();
}

PhoneService::LiveCall* PhoneService::live(const ModemManagerCall* call)
{
    const auto it
        = std::find_if(m_calls.begin(), m_calls.end(), [call](const LiveCall& c) { return c.call.get() == call; });
    return it == m_calls.end() ? nullptr : &*it;
}

// The call's audio and the sleep inhibitor follow its state: from dialling
// to its end, whoever ends it.
void PhoneService::onCallChanged(ModemManagerCall* call)
{
    LiveCall* c = live(call);
    if (!c || call->isOver() || call->state() == mm::Unknown)
        return;
    if (!c->inhibitor)
        c->inhibitor
            = std::make_unique<SleepInhibitor>(QDBusConnection::systemBus(), messages::text(messages::kCallInProgress));
    if (!c->audio) {
        c->audio = true;
        m_audio.selectCallMode(true);
    }
}

void PhoneService::onCallEnded(ModemManagerCall* call)
{
    LiveCall* c = live(call);
    if (!c)
        return;
    c->inhibitor.reset();
    const bool audio = c->audio;
    const bool placed = c->placed;
    const quint64 id = c->id;
    forget(call);
    if (audio && std::none_of(m_calls.begin(), m_calls.end(), [](const LiveCall& other) { return other.audio; }))
        m_audio.selectCallMode(false);
    if (placed)
        emit callEnded(id, call->endedHow(), call->connectedFor());
}

std::size_t PhoneService::callsPlaying() const
{
    return static_cast<std::size_t>(std::count_if(m_calls.begin(), m_calls.end(),
        [](const LiveCall& c) { return !c.call->sequenceOver() && !c.call->isOver(); }));
}

ModemManagerCall* PhoneService::call(quint64 id) const
{
    for (const LiveCall& c : m_calls)
        if (c.id == id && !c.call->isOver())
            return c.call.get();
    return nullptr;
}

const CallDisplay* PhoneService::display(quint64 id) const
{
    for (const LiveCall& c : m_calls)
        if (c.id == id && c.display)
            return &*c.display;
    return nullptr;
}

void PhoneService::hangUpAll(std::chrono::milliseconds patience, std::function<void()> done)
{
    auto finished = std::make_shared<std::function<void()>>(std::move(done));
    auto check = [this, finished] {
        if (*finished && m_calls.empty())
            std::exchange(*finished, {})();
    };
    for (const LiveCall& c : m_calls) {
        connect(c.call.get(), &ModemManagerCall::ended, this, check, Qt::QueuedConnection);
        c.call->hangUp();
    }
    QTimer::singleShot(patience, this, [finished] {
        if (*finished)
            std::exchange(*finished, {})();
    });
    check();
}

void PhoneService::placeThroughTel(const QString& dialString)
{
    if (!m_tel) {
        endPlacement({ false, messages::text(messages::kNoPhoneService) });
        return;
    }
    m_tel(QUrl(telUriFor(dialString), QUrl::StrictMode), [this, placement = m_placement](const QString& error) {
        if (placement != m_placement)
            return;
        const quint64 id = error.isEmpty() ? m_placingId : 0;
        endPlacement({ error.isEmpty(), error, false, id });
        // What becomes of a call handed on is not known here: it is over for us.
        if (id != 0)
            QTimer::singleShot(0, this, [this, id] { emit callEnded(id, CallEnd::HandedOff, std::nullopt); });
    });
}

void PhoneService::cancelPlacement()
{
    if (!m_placed)
        return;
    if (m_placing)
        m_placing->abandon();
    endPlacement({ false, {}, true });
}

void PhoneService::endPlacement(const CallOutcome& outcome)
{
    ++m_placement;
    m_placing = nullptr;
    if (const Placed placed = std::exchange(m_placed, {}))
        placed(outcome);
}

void PhoneService::forget(ModemManagerCall* call)
{
    const auto it
        = std::find_if(m_calls.begin(), m_calls.end(), [call](const LiveCall& c) { return c.call.get() == call; });
    if (it == m_calls.end())
        return;
    // ended() is emitted from inside the call's own handlers.
    it->call.release()->deleteLater();
    m_calls.erase(it);
}

void PhoneService::setQuestion(Question question)
{
    m_ask = question ? std::move(question) : Question(&PhoneService::defaultQuestion);
}

void PhoneService::setFailureNotifier(FailureNotifier notifier)
{
    m_fail = notifier ? std::move(notifier) : FailureNotifier(&PhoneService::defaultFailureNotice);
}

bool PhoneService::defaultQuestion(const QString& tones)
{
    const QString text = messages::text(messages::kSendTonesQuestion) + u'\n' + tones;
    return QMessageBox::question(QApplication::activeWindow(), QGuiApplication::applicationDisplayName(), text,
               QMessageBox::Yes | QMessageBox::No, QMessageBox::Yes)
        == QMessageBox::Yes;
}

void PhoneService::defaultFailureNotice(const QString& message)
{
    QMessageBox::warning(QApplication::activeWindow(), QGuiApplication::applicationDisplayName(), message);
}

void PhoneService::setDialPauseForTesting(std::chrono::milliseconds pause)
{
    m_hooks.pause = pause;
}

void PhoneService::setTelHandlerForTesting(TelHandler handler)
{
    m_tel = std::move(handler);
}

void PhoneService::setTimeoutsForTesting(ReplyTimeouts timeouts)
{
    m_hooks.timeouts = timeouts;
}

PhoneService::TelHandler PhoneService::desktopTelHandler()
{
    // The desktop's default, as xdg-open will pick it; when that is this
    // program, the next application found the same way, started here.
    return [this](const QUrl& url, std::function<void(const QString&)> done) {
        auto* query = new QProcess(this);
        query->setStandardErrorFile(QProcess::nullDevice());
        // Only the desktop id it names counts; the answer is one line.
        QTimer::singleShot(3000, query, [query] { query->kill(); });
        connect(query, &QProcess::finished, this, [this, query, url, done](int code, QProcess::ExitStatus status) {
            query->deleteLater();
            const QString id = QString::fromUtf8(query->read(4096)).section(u';', 0, 0).trimmed();
            if (status != QProcess::NormalExit || code != 0 || id.isEmpty())
                done(messages::text(messages::kNoPhoneService));
            else if (!telhandlers::isOwnDesktopId(id))
                done(QDesktopServices::openUrl(url) ? QString() : messages::text(messages::kTelHandlerFailed));
            else
                openWithNextHandler(url, done);
        });
        connect(query, &QProcess::errorOccurred, this, [query, done](QProcess::ProcessError error) {
            if (error == QProcess::FailedToStart) {
                query->deleteLater();
                done(messages::text(messages::kNoPhoneService));
            }
        });
        query->start(QStringLiteral("xdg-mime"),
            { QStringLiteral("query"), QStringLiteral("default"), QStringLiteral("x-scheme-handler/tel") });
    };
}

void PhoneService::openWithNextHandler(const QUrl& url, std::function<void(const QString&)> done)
{
    // The lists and entries are files: read off the GUI thread.
    QPointer<PhoneService> self(this);
    QThreadPool::globalInstance()->start([self, url, done] {
        const QStringList command = telhandlers::nextHandlerCommand(url.toString());
        QMetaObject::invokeMethod(QCoreApplication::instance(), [self, command, done] {
            if (!self)
                return;
            if (command.isEmpty())
                done(messages::text(messages::kNoOtherTelHandler));
            else
                done(QProcess::startDetached(command.front(), command.mid(1))
                        ? QString()
                        : messages::text(messages::kTelHandlerFailed));
        });
    });
}

} // namespace phone
