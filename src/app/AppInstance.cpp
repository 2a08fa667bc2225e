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
#include <QDeadlineTimer>
#include <QEventLoop>
#include <QPointer>
#include <QThreadPool>
#include <QTimer>

#include <algorithm>
#include <cerrno>
#include <cstdio>

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

namespace appinstance {

namespace {

QStringList g_waiting;
QPointer<QWidget> g_watched; // the box a WaitForModal watches
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
    if (modal) {
        // One watcher per box, however many links wait on it.
        if (g_watched != modal) {
            g_watched = modal;
            modal->installEventFilter(new WaitForModal(modal));
        }
        return;
    }
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
        g_watched = nullptr;
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
            sendErrorReply(
                QDBusError::LimitsExceeded, QCoreApplication::translate("Messages", "too many links are waiting"));
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

namespace {

enum class SessionLock { Held, Taken, Unknown };

// Which copy runs is settled by an flock on a file in the session's runtime
// folder, which the first copy holds for its whole life: one open and one
// flock, where the session bus would cost the first copy, and so every
// start, about a twentieth of its start-up before the home screen shows.
// The bus is then reached after the first paint by the copy that runs, and
// before any window by a later one only.
SessionLock takeSessionLock()
{
    const QByteArray dir = qgetenv("XDG_RUNTIME_DIR");
    if (dir.isEmpty() || dir.size() > 4000)
        return SessionLock::Unknown;
    const QByteArray path = dir + '/' + kApplicationId + ".lock";
    const int fd = ::open(path.constData(), O_RDWR | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0600);
    if (fd < 0)
        return SessionLock::Unknown;
    if (::flock(fd, LOCK_EX | LOCK_NB) == 0)
        return SessionLock::Held; // the descriptor stays open: the lock ends with the process
    const bool taken = errno == EWOULDBLOCK;
    ::close(fd);
    return taken ? SessionLock::Taken : SessionLock::Unknown;
}

void reportClaim(const QDBusMessage& claimed)
{
    constexpr uint kPrimaryOwner = 1;
    if (claimed.type() == QDBusMessage::ReplyMessage && claimed.signature() == QLatin1String("u")
        && claimed.arguments().front().toUInt() == kPrimaryOwner)
        return;
    fail(claimed.type() == QDBusMessage::ReplyMessage
            ? QStringLiteral("another dialer owns the name on the session bus; running on its own")
            : QStringLiteral("the session bus did not give out the name (%1); running on its own")
                  .arg(claimed.errorMessage()),
        0);
}

QDBusMessage nameRequest()
{
    QDBusMessage request = QDBusMessage::createMethodCall(QStringLiteral("org.freedesktop.DBus"),
        QStringLiteral("/org/freedesktop/DBus"), QStringLiteral("org.freedesktop.DBus"), QStringLiteral("RequestName"));
    request << QString::fromLatin1(kApplicationId) << 4u; // DBUS_NAME_FLAG_DO_NOT_QUEUE
    return request;
}

// The copy that holds the lock claims the name once its first screen is
// painted. Connecting to the bus waits for the bus's answer, so it is done
// on a pool thread; the object that answers lives on the GUI thread, and the
// claim itself is asynchronous there.
void claimInBackground()
{
    auto* answering = new ApplicationObject(qApp);
    QThreadPool::globalInstance()->start([answering] {
        QDBusConnection bus = QDBusConnection::sessionBus();
        if (!bus.isConnected())
            return;
        bus.registerObject(
            QString::fromLatin1(kApplicationObjectPath), answering, QDBusConnection::ExportScriptableSlots);
        QMetaObject::invokeMethod(qApp, [] {
            auto* watcher = new QDBusPendingCallWatcher(
                QDBusConnection::sessionBus().asyncCall(nameRequest(), kNameRequestTimeoutMs), qApp);
            QObject::connect(watcher, &QDBusPendingCallWatcher::finished, qApp, [watcher] {
                reportClaim(watcher->reply());
                watcher->deleteLater();
            });
        });
    });
}

class ClaimAfterPaint : public QObject {
public:
    using QObject::QObject;
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::Paint) {
            qApp->removeEventFilter(this);
            deleteLater();
            QTimer::singleShot(0, qApp, claimInBackground); // once the paint is done
        }
        return QObject::eventFilter(watched, event);
    }
};

// Hands `number` (empty: just show the dialer) to the copy that owns the name.
int handOver(const QDBusConnection& bus, const QString& number, int timeoutMs)
{
    const QString name = QString::fromLatin1(kApplicationId), path = QString::fromLatin1(kApplicationObjectPath);
    QDBusMessage handOver = QDBusMessage::createMethodCall(name, path, QStringLiteral("org.freedesktop.Application"),
        number.isEmpty() ? QStringLiteral("Activate") : QStringLiteral("Open"));
    if (!number.isEmpty())
        handOver << QStringList { QStringLiteral("tel:") + QString(number).replace(u'#', QLatin1String("%23")) };
    handOver << QVariantMap();
    const QDBusMessage answer = callAndWait(bus, handOver, timeoutMs);
    if (answer.type() == QDBusMessage::ReplyMessage)
        return 0;
    if (answer.errorName() == QLatin1String("org.freedesktop.DBus.Error.InvalidArgs"))
        return fail(answer.errorMessage(), 2);
    const QString message
        = QCoreApplication::translate("Messages", "The dialer that is running did not take the number: %1")
              .arg(answer.errorMessage());
    fail(message, 1);
    AppMessageBox(message);
    return 1;
}

// The copy that holds the lock has just started and may not own the name
// yet: true once it does, false when it has not in kLockHolderWaitMs (it
// runs without a bus).
bool waitForOwner(const QDBusConnection& bus)
{
    QDBusMessage ask = QDBusMessage::createMethodCall(QStringLiteral("org.freedesktop.DBus"),
        QStringLiteral("/org/freedesktop/DBus"), QStringLiteral("org.freedesktop.DBus"),
        QStringLiteral("NameHasOwner"));
    ask << QString::fromLatin1(kApplicationId);
    const QDeadlineTimer deadline(kLockHolderWaitMs);
    while (!deadline.hasExpired()) {
        const QDBusMessage owned = callAndWait(bus, ask, int(std::max<qint64>(1, deadline.remainingTime())));
        if (owned.type() == QDBusMessage::ReplyMessage && owned.signature() == QLatin1String("b")
            && owned.arguments().front().toBool())
            return true;
        QEventLoop pause;
        QTimer::singleShot(kRetryMs, &pause, &QEventLoop::quit);
        pause.exec();
    }
    return false;
}

} // namespace

std::optional<int> claimOrHandOver(const QString& number)
{
    const SessionLock lock = takeSessionLock();
    if (lock == SessionLock::Held) {
        qApp->installEventFilter(new ClaimAfterPaint(qApp));
        return std::nullopt;
    }
    // Neither a bus address nor a runtime folder: no session bus to find (a
    // session that has one names it in one of them), so none is looked for.
    if (lock == SessionLock::Unknown && qEnvironmentVariableIsEmpty("DBUS_SESSION_BUS_ADDRESS")
        && qEnvironmentVariableIsEmpty("XDG_RUNTIME_DIR"))
        return std::nullopt;
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected())
        return std::nullopt;
    if (lock == SessionLock::Taken && waitForOwner(bus))
        return handOver(bus, number, kHandOverTimeoutMs);
    // No lock to go by, or its holder has no bus: the name decides.
    const QString path = QString::fromLatin1(kApplicationObjectPath);
    // In place before the name is ours, so that a request sent the moment
    // it is finds someone to answer it.
    bus.registerObject(path, new ApplicationObject(qApp), QDBusConnection::ExportScriptableSlots);
    const QDBusMessage claimed = callAndWait(bus, nameRequest(), kNameRequestTimeoutMs);
    constexpr uint kExists = 3;
    if (claimed.type() != QDBusMessage::ReplyMessage || claimed.signature() != QLatin1String("u")
        || claimed.arguments().front().toUInt() != kExists) {
        if (claimed.type() != QDBusMessage::ReplyMessage)
            reportClaim(claimed);
        return std::nullopt;
    }
    bus.unregisterObject(path);
    return handOver(bus, number, kHandOverTimeoutMs);
}

} // namespace appinstance

#include "AppInstance.moc"
