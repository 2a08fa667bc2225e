#pragma once

// Debian's callaudiod on a private session bus, over a private PulseAudio
// with a null sink, for tests of the call's audio. callaudiod answers every
// request there (false: a null sink has no voice profile), and a monitor on
// the bus records what it was asked: "SelectMode 1", "EnableSpeaker true"...
// Construct it before anything opens the session bus.

#include "TestProcesses.h"

#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

class CallAudioDaemon {
public:
    CallAudioDaemon()
    {
        qputenv("XDG_RUNTIME_DIR", m_dir.path().toUtf8());
        qputenv("HOME", m_dir.path().toUtf8());
        for (QProcess* p : { &m_bus, &m_pulse, &m_monitor, &m_daemon })
            endWithTest(*p);
        m_bus.start("dbus-daemon", { "--session", "--nofork", "--print-address=1" });
        if (!m_bus.waitForReadyRead(10000))
            qFatal("no address from dbus-daemon: is it installed?");
        const QByteArray address = m_bus.readLine().trimmed();
        qputenv("DBUS_SESSION_BUS_ADDRESS", address);
        m_pulse.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        m_pulse.start("pulseaudio",
            { "-n", "--daemonize=no", "--exit-idle-time=-1", "--log-target=stderr", "--log-level=error",
                "--load=module-native-protocol-unix", "--load=module-null-sink sink_name=calls" });
        if (!QTest::qWaitFor([&] { return QFile::exists(m_dir.filePath("pulse/native")); }, 15000))
            qFatal("no PulseAudio: is pulseaudio installed?");
        m_monitor.start("dbus-monitor", { "--address", address, "interface='org.mobian_project.CallAudio'" });
        m_daemon.setStandardErrorFile(QProcess::nullDevice());
        m_daemon.start("callaudiod", {});
        if (!m_daemon.waitForStarted(10000) || !m_monitor.waitForStarted(10000))
            qFatal("no callaudiod or dbus-monitor: are callaudiod and dbus-bin installed?");
    }
    ~CallAudioDaemon()
    {
        for (QProcess* p : { &m_daemon, &m_monitor, &m_pulse, &m_bus }) {
            p->kill();
            p->waitForFinished();
        }
    }

    // What callaudiod was asked since the last clear(), in order.
    QStringList asked()
    {
        m_text += QString::fromUtf8(m_monitor.readAllStandardOutput());
        QStringList out;
        static const QRegularExpression call("member=(\\w+)\\n\\s+\\w+ (\\w+)");
        for (auto m = call.globalMatch(m_text); m.hasNext();) {
            const auto match = m.next();
            out << match.captured(1) + ' ' + match.captured(2);
        }
        return out;
    }
    void clear() { m_text.clear(), m_monitor.readAllStandardOutput(); }

private:
    QTemporaryDir m_dir;
    QProcess m_bus, m_pulse, m_monitor, m_daemon;
    QString m_text;
};
