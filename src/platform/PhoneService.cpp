#include "PhoneService.h"

#include "PhoneServiceMessages.h"
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
    , m_tel(desktopTelHandler())
{
    m_hooks.ask = &PhoneService::defaultQuestion;
    m_hooks.fail = &PhoneService::defaultFailureNotice;
    m_hooks.pause = kDialPause;
}

void PhoneService::placeCall(const QString& dialString, Placed placed)
{
    if (m_placed) {
        placed({ false, messages::text(messages::kPlacingAnother) });
        return;
    }
    m_placed = std::move(placed);
    const unsigned placement = ++m_placement;
    const QDBusConnection bus = QDBusConnection::systemBus();
    findVoiceModem(bus, m_hooks.timeouts.lookup, this, [=, this](const ModemLookup& found) {
        if (placement != m_placement)
            return;
        if (!found.error.isEmpty())
            endPlacement({ false, found.error });
        else if (found.modem)
            placeThroughModem(bus, *found.modem, dialString);
        else
            placeThroughTel(dialString);
    });
}

void PhoneService::placeThroughModem(const QDBusConnection& bus, const QString& modem, const QString& dialString)
{
    m_calls.push_back(std::make_unique<ModemManagerCall>(bus, modem, dialString, m_hooks));
    ModemManagerCall* call = m_calls.back().get();
    m_placing = call;
    connect(call, &ModemManagerCall::placed, this, [this](const QString& error) {
        endPlacement({ error.isEmpty(), error });
    });
    connect(call, &ModemManagerCall::ended, this, [this, call] { forget(call); });
    call->place();
}

void PhoneService::placeThroughTel(const QString& dialString)
{
    if (!m_tel) {
        endPlacement({ false, messages::text(messages::kNoPhoneService) });
        return;
    }
    m_tel(QUrl(telUriFor(dialString), QUrl::StrictMode), [this, placement = m_placement](const QString& error) {
        if (placement == m_placement)
            endPlacement({ error.isEmpty(), error });
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
        = std::find_if(m_calls.begin(), m_calls.end(), [call](const auto& owned) { return owned.get() == call; });
    if (it == m_calls.end())
        return;
    // ended() is emitted from inside the call's own handlers.
    it->release()->deleteLater();
    m_calls.erase(it);
}

void PhoneService::setQuestion(Question question)
{
    m_hooks.ask = question ? std::move(question) : Question(&PhoneService::defaultQuestion);
}

void PhoneService::setFailureNotifier(FailureNotifier notifier)
{
    m_hooks.fail = notifier ? std::move(notifier) : FailureNotifier(&PhoneService::defaultFailureNotice);
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
