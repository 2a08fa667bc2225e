#pragma once

// A private Evolution Data Server for a test program: a session bus of its
// own, which starts EDS's registry and address-book factory from Debian's
// service files when they are first asked for, and EDS's folders in
// temporary ones. Every process of it ends with the test, a killed one too.

#include "TestProcesses.h"

#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

#include <csignal>

#include <unistd.h>

class PrivateEds {
public:
    // $XDG_DATA_HOME must be the test's own already. The daemons the bus
    // starts take its environment: the folders are set before it starts.
    PrivateEds()
    {
        qputenv("XDG_CONFIG_HOME", m_home.filePath("config").toUtf8());
        qputenv("XDG_CACHE_HOME", m_home.filePath("cache").toUtf8());
        qputenv("GSETTINGS_BACKEND", "memory");
        start(m_bus, "dbus-daemon",
            { "--config-file=" DIALER_SOURCE_DIR "/tests/platform/eds-test-bus.conf", "--nofork",
                "--print-address=1" });
        if (!m_bus.waitForReadyRead(kPatienceMs))
            qFatal("no address from dbus-daemon: is it installed?");
        qputenv("DBUS_SESSION_BUS_ADDRESS", m_bus.readLine().trimmed());
    }
    ~PrivateEds()
    {
        stop(m_silent);
        stop(m_bus);
    }

    // What the bus has said so far: a line "Activating service name='...'"
    // for each daemon it started.
    QString busLog()
    {
        m_log += QString::fromUtf8(m_bus.readAllStandardError());
        return m_log;
    }

    // Takes `name` before any daemon does, and answers nothing sent to it.
    void silence(const QString& name)
    {
        m_silent.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        start(m_silent, "/usr/bin/python3", { DIALER_SOURCE_DIR "/tests/platform/silent_bus_name.py", name });
        while (!m_silent.canReadLine() && m_silent.waitForReadyRead(kPatienceMs)) { }
        QVERIFY2(m_silent.readLine() == "owned\n",
            "the silent owner of a bus name did not start: is python3-dbus installed?");
    }

private:
    // Ends with the test, in a process group of its own, which the daemons a
    // bus starts join: they end with the bus, or with the group.
    static void start(QProcess& process, const QString& program, const QStringList& arguments)
    {
        endWithTest(process, [] { ::setpgid(0, 0); });
        process.start(program, arguments);
    }
    static void stop(QProcess& process)
    {
        const qint64 group = process.processId();
        if (group <= 0)
            return;
        ::kill(static_cast<pid_t>(-group), SIGTERM);
        if (!process.waitForFinished(kPatienceMs))
            ::kill(static_cast<pid_t>(-group), SIGKILL);
        process.waitForFinished();
        ::kill(static_cast<pid_t>(-group), SIGKILL); // a daemon that outlived its bus
    }

    QTemporaryDir m_home;
    QProcess m_bus;
    QProcess m_silent;
    QString m_log;
};
