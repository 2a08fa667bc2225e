#pragma once

// A ModemManager double for tests that place calls: a private dbus-daemon as
// the system bus, and python3-dbusmock serving tests/platform/modemmanager_template.py.

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QProcess>
#include <QtTest>

class ModemDouble {
public:
    // The system bus address is read once: a test holds its double from the start.
    ModemDouble()
    {
        m_bus.start("dbus-daemon",
            { "--config-file=" DIALER_SOURCE_DIR "/tests/platform/phone-test-bus.conf", "--nofork",
                "--print-address=1" });
        if (!m_bus.waitForReadyRead(10000))
            qFatal("no address from dbus-daemon: is it installed?");
        qputenv("DBUS_SYSTEM_BUS_ADDRESS", m_bus.readLine().trimmed());
    }

    // Starts the double with the template's parameters, a JSON object.
    void startMock(const QString& parameters)
    {
        m_mock.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        m_mock.start("/usr/bin/python3",
            { "-m", "dbusmock", "--system", "--template", DIALER_SOURCE_DIR "/tests/platform/modemmanager_template.py",
                "-p", parameters });
        QTRY_VERIFY2_WITH_TIMEOUT(
            QDBusConnection::systemBus().interface()->isServiceRegistered("org.freedesktop.ModemManager1"),
            "the ModemManager double (python3-dbusmock) never took its name", 15000);
    }
    ~ModemDouble() { stop(m_bus); }
    void stopMock() { stop(m_mock); }

    // What the double was sent and did: "CreateCall 555", "State 4"...; `timed`, with seconds first.
    QStringList log(bool timed = false) const
    {
        const QDBusMessage reply = QDBusConnection::systemBus().call(QDBusMessage::createMethodCall(
            "org.freedesktop.ModemManager1", "/org/freedesktop/ModemManager1", "org.freedesktop.DBus.Mock", "GetLog"));
        QStringList log = reply.errorName().isEmpty() ? reply.arguments()[0].toStringList() : QStringList();
        return timed ? log : log.replaceInStrings(QRegularExpression("^\\S+ "), QString());
    }

private:
    static void stop(QProcess& process)
    {
        process.kill();
        process.waitForFinished();
    }
    QProcess m_bus;
    QProcess m_mock;
};
