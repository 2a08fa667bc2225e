#pragma once

// A private Evolution Data Server for a test program: a session bus of its
// own, which starts EDS's daemons from Debian's service files as they are
// asked for, with EDS's folders in temporary ones. The bus, and with it the
// daemons it started, end with the test, a killed one too.

#include "TestProcesses.h"

#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

#include <csignal>

class PrivateEds {
public:
    // $XDG_DATA_HOME must be the test's own already: the daemons take the
    // bus's environment.
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
    // The daemons are in the bus's process group.
    ~PrivateEds()
    {
        for (QProcess* p : { &m_silent, &m_bus })
            if (p->processId() > 0 && ::kill(static_cast<pid_t>(-p->processId()), SIGKILL) == 0)
                p->waitForFinished();
    }

    // What the bus has said: "Activating service name=..." for each daemon it started.
    QByteArray busLog() { return m_log += m_bus.readAllStandardError(); }

    // Takes `name` before any daemon does, and answers nothing sent to it.
    void silence(const QString& name)
    {
        m_silent.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        start(m_silent, "/usr/bin/python3", { DIALER_SOURCE_DIR "/tests/platform/silent_bus_name.py", name });
        while (!m_silent.canReadLine() && m_silent.waitForReadyRead(kPatienceMs)) { }
        QVERIFY2(m_silent.readLine() == "owned\n", "no silent owner of the name: is python3-dbus installed?");
    }

private:
    static void start(QProcess& process, const QString& program, const QStringList& arguments)
    {
        endWithTest(process, [] { ::setpgid(0, 0); });
        process.start(program, arguments);
    }

    QTemporaryDir m_home;
    QProcess m_bus, m_silent;
    QByteArray m_log;
};
