#pragma once

// ModemManager for tests that place calls, on a private dbus-daemon as the
// system bus: python3-dbusmock serving tests/platform/modemmanager_template.py,
// or (DIALER_REAL_MODEMMANAGER set) Debian's daemon driving our fake AT modem
// (tests/platform/fake_at_modem.py), with dbusmock's polkitd as the authority.

#include "TestProcesses.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

class ModemDouble {
public:
    // The system bus address is read once: a test holds its double from the start.
    ModemDouble()
    {
        const char* conf = real() ? "real-modemmanager-bus.conf" : "phone-test-bus.conf";
        endWithTest(m_bus);
        m_bus.start("dbus-daemon",
            { QString("--config-file=" DIALER_SOURCE_DIR "/tests/platform/") + conf, "--nofork", "--print-address=1" });
        if (!m_bus.waitForReadyRead(kPatienceMs))
            qFatal("no address from dbus-daemon: is it installed?");
        qputenv("DBUS_SYSTEM_BUS_ADDRESS", m_bus.readLine().trimmed());
    }

    // Starts the double with the template's parameters, a JSON object.
    void startMock(const QString& parameters)
    {
        startPython(m_mock,
            { "-m", "dbusmock", "--system", "--template", DIALER_SOURCE_DIR "/tests/platform/modemmanager_template.py",
                "-p", parameters });
        QTRY_VERIFY2_WITH_TIMEOUT(
            QDBusConnection::systemBus().interface()->isServiceRegistered("org.freedesktop.ModemManager1"),
            "the ModemManager double (python3-dbusmock) never took its name", kPatienceMs);
    }
    static bool real() { return qEnvironmentVariableIsSet("DIALER_REAL_MODEMMANAGER"); }

    // Starts the daemon on a fresh fake modem (its arguments after the socket)
    // and waits until the modem is enabled and registered; polkit lets calls
    // through when `allowCalls`.
    void startReal(const QStringList& modemArgs, bool allowCalls)
    {
        const QString mm = "org.freedesktop.ModemManager1", modem = "/org/freedesktop/ModemManager1/Modem/0";
        const auto ok = [](const QDBusMessage& reply) { return reply.type() == QDBusMessage::ReplyMessage; };
        const auto state = [&] {
            return call(mm, modem, "org.freedesktop.DBus.Properties", "Get", { mm + ".Modem", "State" })
                .arguments()
                .value(0)
                .value<QDBusVariant>()
                .variant()
                .toInt();
        };
        startPython(m_polkit, { "-m", "dbusmock", "--system", "--template", "polkitd" });
        QVERIFY2(QTest::qWaitFor([] { return registered("org.freedesktop.PolicyKit1"); }, kPatienceMs),
            "dbusmock's polkitd never took its name");
        QVERIFY(
            ok(call("org.freedesktop.PolicyKit1", "/org/freedesktop/PolicyKit1/Authority", "org.freedesktop.DBus.Mock",
                "SetAllowed", { QStringList { mm + ".Device.Control", allowCalls ? mm + ".Voice" : mm } })));
        startPython(
            m_modem, QStringList { DIALER_SOURCE_DIR "/tests/platform/fake_at_modem.py", socket() } + modemArgs);
        QVERIFY2(
            QTest::qWaitFor([&] { return m_modem.canReadLine(); }, kPatienceMs) && m_modem.readLine() == "listening\n",
            "the fake modem never said it was listening");
        m_mm.setStandardErrorFile(m_dir.filePath("ModemManager.log"));
        endWithTest(m_mm);
        m_mm.start("ModemManager",
            { "--test-enable", "--test-no-udev", "--no-auto-scan", "--test-no-suspend-resume", "--log-level=DEBUG" });
        QVERIFY2(QTest::qWaitFor([&] { return registered(mm); }, kPatienceMs), "no ModemManager: is it installed?");
        QVERIFY(ok(call(mm, "/org/freedesktop/ModemManager1", mm + ".Test", "SetProfile",
            { "fake", "generic", QStringList { socket() } })));
        QTRY_COMPARE_WITH_TIMEOUT(state(), 3, kPatienceMs); // disabled
        QVERIFY(ok(call(mm, modem, mm + ".Modem", "Enable", { true })));
        QTRY_COMPARE_WITH_TIMEOUT(state(), 8, kPatienceMs); // registered
    }

    ~ModemDouble()
    {
        stopMock();
        stop(m_bus);
    }
    void stopMock()
    {
        for (QProcess* p : { &m_mm, &m_modem, &m_polkit, &m_mock })
            stop(*p);
        QFile::remove(socket());
        m_trace.clear();
    }

    // What the double was sent and did: "CreateCall 555", "State 4"...; `timed`, with seconds first.
    // The real daemon's: what the modem got, "ATD555;", "ACTIVE", "AT+VTS=1", "AT+CHLD=11"...
    QStringList log(bool timed = false)
    {
        if (real()) {
            m_trace += QString::fromLatin1(m_modem.readAllStandardOutput()).split(u'\n', Qt::SkipEmptyParts);
            // ModemManager hangs up a call with AT+CHLD=1<index>.
            QStringList log = m_trace.filter(QRegularExpression("^\\S+ (ATD|ACTIVE|AT\\+VTS|AT\\+CHLD=1|NO CARRIER)"));
            return timed ? log : log.replaceInStrings(QRegularExpression("^\\S+ "), QString());
        }
        const QDBusMessage reply = call(
            "org.freedesktop.ModemManager1", "/org/freedesktop/ModemManager1", "org.freedesktop.DBus.Mock", "GetLog");
        QStringList log = reply.errorName().isEmpty() ? reply.arguments()[0].toStringList() : QStringList();
        return timed ? log : log.replaceInStrings(QRegularExpression("^\\S+ "), QString());
    }

private:
    static bool registered(const QString& name)
    {
        return QDBusConnection::systemBus().interface()->isServiceRegistered(name);
    }
    static QDBusMessage call(const QString& service, const QString& path, const QString& interface,
        const QString& method, const QVariantList& arguments = {})
    {
        QDBusMessage request = QDBusMessage::createMethodCall(service, path, interface, method);
        request.setArguments(arguments);
        return QDBusConnection::systemBus().call(request);
    }
    static void startPython(QProcess& process, const QStringList& arguments)
    {
        process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        endWithTest(process);
        process.start("/usr/bin/python3", arguments);
    }
    QString socket() const { return m_dir.filePath("modem"); }
    static void stop(QProcess& process)
    {
        process.kill();
        process.waitForFinished();
    }
    QTemporaryDir m_dir;
    QStringList m_trace;
    QProcess m_bus;
    QProcess m_mock, m_polkit, m_modem, m_mm;
};
