#include "AppInstance.h"

#include "ApplicationId.h"
#include "DialerDlg.h"
#include "DialogBase.h"
#include "MessageBoxes.h"
#include "TelLink.h"

#include <QApplication>
#include <QDBusConnection>
#include <QDBusContext>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QEventLoop>
#include <QPointer>
#include <QTimer>

#include <cstdio>

namespace appinstance {

namespace {

QStringList g_waiting;
constexpr int kRetryMs = 50;

void raiseWindow()
{
    if (CDialogBase* top = CDialogBase::topScreen()) {
        QWidget* window = top->window();
        window->setWindowState(window->windowState() & ~Qt::WindowMinimized);
        window->raise();
        window->activateWindow();
    }
}

// A box or chooser over the screen on top is answered first; its closing
// brings the waiting links back. Screens themselves are not modal windows.
class WaitForModal : public QObject {
public:
    using QObject::QObject;
    bool eventFilter(QObject* watched, QEvent* event) override;
};

void deliverNext()
{
    QWidget* modal = QApplication::activeModalWidget();
    if (g_waiting.isEmpty())
        return;
    if (modal)
        return modal->installEventFilter(new WaitForModal(modal));
    // Before the first home screen runs, or between screens: soon again.
    if (!CDialogBase::topScreen())
        return QTimer::singleShot(kRetryMs, qApp, deliverNext);
    const QString number = g_waiting.takeFirst();
    if (!g_waiting.isEmpty())
        QTimer::singleShot(0, qApp, deliverNext); // the next stacks over this one
    raiseWindow();
    OpenMakeCallFor(number);
}

bool WaitForModal::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::Hide) {
        QTimer::singleShot(0, qApp, deliverNext);
        deleteLater();
    }
    return QObject::eventFilter(watched, event);
}

// org.freedesktop.Application, as freedesktop.org's Desktop Entry rules have it
// for programs started through D-Bus. Replies go out at once; the screens
// open afterwards, from the event loop.
class ApplicationObject : public QObject, protected QDBusContext {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.Application")
public:
    using QObject::QObject;

public slots:
    Q_SCRIPTABLE void Activate(const QVariantMap&) { QTimer::singleShot(0, qApp, raiseWindow); }
    Q_SCRIPTABLE void Open(const QStringList& uris, const QVariantMap&)
    {
        if (uris.size() != 1)
            return sendErrorReply(QDBusError::InvalidArgs, QStringLiteral("give one tel: link"));
        const tellink::Number number = tellink::parseTelUri(uris.front());
        if (!number.ok())
            return sendErrorReply(QDBusError::InvalidArgs, number.error);
        if (!requestMakeCall(number.digits))
            sendErrorReply(QDBusError::LimitsExceeded, QStringLiteral("too many links are waiting"));
    }
    Q_SCRIPTABLE void ActivateAction(const QString&, const QVariantList&, const QVariantMap&)
    {
        sendErrorReply(QDBusError::NotSupported, QStringLiteral("the dialer has no actions"));
    }
};

// Waits for the answer on a loop of its own; no window is open yet.
QDBusMessage callAndWait(const QDBusConnection& bus, const QDBusMessage& call, int timeoutMs)
{
    QDBusPendingCallWatcher watcher(bus.asyncCall(call, timeoutMs));
    QEventLoop loop;
    QObject::connect(&watcher, &QDBusPendingCallWatcher::finished, &loop, &QEventLoop::quit);
    if (!watcher.isFinished())
        loop.exec();
    return watcher.reply();
}

int fail(const QString& message, int status)
{
    std::fprintf(stderr, "dialer: %s\n", qPrintable(message));
    return status;
}

} // namespace

bool requestMakeCall(const QString& number)
{
    if (g_waiting.size() >= kMaxWaitingLinks)
        return false;
    g_waiting << number;
    QTimer::singleShot(0, qApp, deliverNext);
    return true;
}

std::optional<int> claimOrHandOver(const QString& number)
{
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected())
        return std::nullopt;
    const QString name = QString::fromLatin1(kApplicationId), path = QString::fromLatin1(kApplicationObjectPath);
    // In place before the name is ours, so that a request sent the moment
    // it is finds someone to answer it.
    bus.registerObject(path, new ApplicationObject(qApp), QDBusConnection::ExportScriptableSlots);
    QDBusMessage request = QDBusMessage::createMethodCall(QStringLiteral("org.freedesktop.DBus"),
        QStringLiteral("/org/freedesktop/DBus"), QStringLiteral("org.freedesktop.DBus"), QStringLiteral("RequestName"));
    request << name << 4u; // DBUS_NAME_FLAG_DO_NOT_QUEUE
    const QDBusMessage claimed = callAndWait(bus, request, kNameRequestTimeoutMs);
    constexpr uint kExists = 3;
    if (claimed.type() != QDBusMessage::ReplyMessage || claimed.signature() != QLatin1String("u")
        || claimed.arguments().front().toUInt() != kExists) {
        if (claimed.type() != QDBusMessage::ReplyMessage)
            fail(QStringLiteral("the session bus did not give out the name (%1); running on its own")
                     .arg(claimed.errorMessage()),
                0);
        return std::nullopt;
    }
    bus.unregisterObject(path);
    QDBusMessage handOver = QDBusMessage::createMethodCall(name, path, QStringLiteral("org.freedesktop.Application"),
        number.isEmpty() ? QStringLiteral("Activate") : QStringLiteral("Open"));
    if (!number.isEmpty())
        handOver << QStringList { QStringLiteral("tel:") + QString(number).replace(u'#', QLatin1String("%23")) };
    handOver << QVariantMap();
    const QDBusMessage answer = callAndWait(bus, handOver, kHandOverTimeoutMs);
    if (answer.type() == QDBusMessage::ReplyMessage)
        return 0;
    if (answer.errorName() == QLatin1String("org.freedesktop.DBus.Error.InvalidArgs"))
        return fail(answer.errorMessage(), 2);
    const QString message
        = QStringLiteral("The dialer that is running did not take the number: %1").arg(answer.errorMessage());
    fail(message, 1);
    AppMessageBox(message);
    return 1;
}

} // namespace appinstance

#include "AppInstance.moc"
