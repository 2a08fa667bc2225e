#pragma once

// A ModemManager double for tests that place calls: a private dbus-daemon
// standing in for the system bus, and python3-dbusmock serving our template
// (tests/platform/modemmanager_template.py), which records what it was sent.
// Failures are reported with QVERIFY; callers check QTest::currentTestFailed().

#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDeadlineTimer>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QStandardPaths>
#include <QtTest>

#include <chrono>
#include <optional>

namespace modemdouble {

inline const QString kService = QStringLiteral("org.freedesktop.ModemManager1");
inline const QString kRoot = QStringLiteral("/org/freedesktop/ModemManager1");
inline const QString kPython = QStringLiteral("/usr/bin/python3");
inline const QString kTemplate = QStringLiteral(DIALER_SOURCE_DIR "/tests/platform/modemmanager_template.py");
inline const QString kBusConfig = QStringLiteral(DIALER_SOURCE_DIR "/tests/platform/phone-test-bus.conf");

struct Event {
    double time = 0; // seconds, the double's clock
    QString name;
    QString detail;
};

// The object path of the n-th call the double created (from 1).
inline QVariant callPath(int n)
{
    return QVariant::fromValue(QDBusObjectPath(kRoot + QStringLiteral("/Call/") + QString::number(n)));
}

class ModemDouble {
public:
    ModemDouble() = default;
    ModemDouble(const ModemDouble&) = delete;
    ModemDouble& operator=(const ModemDouble&) = delete;
    ~ModemDouble()
    {
        stopMock();
        stopBus();
    }

    // Starts the private bus and makes it this process's system bus. Must run
    // before anything touches the system bus, which reads its address once.
    void startBus()
    {
        using namespace std::chrono_literals;
        const QString daemon = QStandardPaths::findExecutable(QStringLiteral("dbus-daemon"));
        QVERIFY2(!daemon.isEmpty(), "dbus-daemon is not installed (package dbus-daemon)");
        QVERIFY2(QProcess::execute(kPython, { QStringLiteral("-c"), QStringLiteral("import dbusmock") }) == 0,
            "python3-dbusmock is not installed for /usr/bin/python3");

        m_bus.setStandardErrorFile(QProcess::nullDevice());
        m_bus.start(daemon,
            { QStringLiteral("--config-file=") + kBusConfig, QStringLiteral("--print-address=1"),
                QStringLiteral("--nofork") });
        QVERIFY2(m_bus.waitForStarted(5000), "dbus-daemon did not start");
        QDeadlineTimer deadline(10s);
        while (!m_bus.canReadLine() && !deadline.hasExpired())
            m_bus.waitForReadyRead(200);
        const QByteArray address = m_bus.readLine().trimmed();
        QVERIFY2(!address.isEmpty(), "dbus-daemon printed no address");
        qputenv("DBUS_SYSTEM_BUS_ADDRESS", address);
        QVERIFY(QDBusConnection::systemBus().isConnected());
    }

    void stopBus() { stop(m_bus); }

    // Starts the double with the template's parameters and waits until it
    // owns ModemManager's name.
    void startMock(const QJsonObject& parameters = {})
    {
        using namespace std::chrono_literals;
        m_mock.setStandardOutputFile(QProcess::nullDevice());
        m_mock.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        m_mock.start(kPython,
            { QStringLiteral("-m"), QStringLiteral("dbusmock"), QStringLiteral("--system"),
                QStringLiteral("--template"), kTemplate, QStringLiteral("-p"),
                QString::fromUtf8(QJsonDocument(parameters).toJson(QJsonDocument::Compact)) });
        QVERIFY2(m_mock.waitForStarted(5000), "python3 -m dbusmock did not start");
        const auto* bus = QDBusConnection::systemBus().interface();
        QDeadlineTimer deadline(15s);
        while (!bus->isServiceRegistered(kService)) {
            QVERIFY2(m_mock.state() == QProcess::Running, "the ModemManager double exited");
            QVERIFY2(!deadline.hasExpired(), "the ModemManager double never took its name");
            QTest::qWait(20);
        }
    }

    void stopMock() { stop(m_mock); }

    // Everything the double recorded, in order.
    QList<Event> log() const
    {
        const QDBusMessage request = QDBusMessage::createMethodCall(
            kService, kRoot, QStringLiteral("org.freedesktop.DBus.Mock"), QStringLiteral("GetLog"));
        const QDBusMessage reply = QDBusConnection::systemBus().call(request, QDBus::Block, 5000);
        QList<Event> events;
        if (reply.type() != QDBusMessage::ReplyMessage)
            return events;
        const auto arg = reply.arguments().constFirst().value<QDBusArgument>();
        arg.beginArray();
        while (!arg.atEnd()) {
            Event event;
            arg.beginStructure();
            arg >> event.time >> event.name >> event.detail;
            arg.endStructure();
            events << event;
        }
        arg.endArray();
        return events;
    }

    QStringList details(const QString& event) const
    {
        QStringList found;
        for (const auto& e : log()) {
            if (e.name == event)
                found << e.detail;
        }
        return found;
    }

    std::optional<Event> first(const QString& event, const QString& detail = {}) const
    {
        for (const auto& e : log()) {
            if (e.name == event && (detail.isNull() || e.detail == detail))
                return e;
        }
        return std::nullopt;
    }

    // Calls one of the double's control methods (SetCallState, RemoveCall).
    void control(const QString& method, const QVariantList& args) const
    {
        QDBusMessage request
            = QDBusMessage::createMethodCall(kService, kRoot, QStringLiteral("org.freedesktop.DBus.Mock"), method);
        request.setArguments(args);
        const QDBusMessage reply = QDBusConnection::systemBus().call(request, QDBus::Block, 5000);
        QVERIFY2(reply.type() == QDBusMessage::ReplyMessage, qPrintable(method + u' ' + reply.errorMessage()));
    }

private:
    // Test processes are not reaped by anyone else: always wait for them.
    static void stop(QProcess& process)
    {
        if (process.state() == QProcess::NotRunning)
            return;
        process.terminate();
        if (!process.waitForFinished(5000)) {
            process.kill();
            process.waitForFinished();
        }
    }

    QProcess m_bus;
    QProcess m_mock;
};

} // namespace modemdouble
