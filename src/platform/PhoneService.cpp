#include "PhoneService.h"

#include "PhoneServiceMessages.h"

#include <QApplication>
#include <QDBusConnection>
#include <QDesktopServices>
#include <QMessageBox>
#include <QPointer>
#include <QProcess>

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

CallOutcome PhoneService::placeCall(const QString& dialString)
{
    const QDBusConnection bus = QDBusConnection::systemBus();
    if (const auto modem = findVoiceModem(bus)) {
        PlaceOutcome outcome = ModemManagerCall::place(bus, *modem, dialString, m_hooks);
        if (!outcome.error.isEmpty())
            return { false, outcome.error };
        if (outcome.call) {
            ModemManagerCall* call = outcome.call.get();
            connect(call, &ModemManagerCall::ended, this, [this, call] { forget(call); });
            m_calls.push_back(std::move(outcome.call));
        }
        return { true, {} };
    }
    if (m_tel.available && m_tel.available()) {
        if (m_tel.open && m_tel.open(QUrl(telUriFor(dialString), QUrl::StrictMode)))
            return { true, {} };
        return { false, QString::fromUtf8(messages::kTelHandlerFailed) };
    }
    return { false, QString::fromUtf8(messages::kNoPhoneService) };
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
    const QString text = QString::fromUtf8(messages::kSendTonesQuestion) + u'\n' + tones;
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

PhoneService::TelHandler PhoneService::desktopTelHandler()
{
    TelHandler handler;
    handler.available = [] {
        QProcess query;
        query.start(QStringLiteral("xdg-mime"),
            { QStringLiteral("query"), QStringLiteral("default"), QStringLiteral("x-scheme-handler/tel") });
        if (!query.waitForFinished(3000)) {
            query.kill();
            query.waitForFinished();
            return false;
        }
        return query.exitStatus() == QProcess::NormalExit && query.exitCode() == 0
            && !query.readAllStandardOutput().trimmed().isEmpty();
    };
    handler.open = [](const QUrl& url) { return QDesktopServices::openUrl(url); };
    return handler;
}

} // namespace phone
