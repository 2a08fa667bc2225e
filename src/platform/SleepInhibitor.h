#pragma once

#include <QDBusConnection>
#include <QDBusUnixFileDescriptor>
#include <QObject>

namespace phone {

// A logind sleep inhibitor in block mode (Inhibit("sleep", who, why,
// "block") on the system bus), held for as long as this object lives: the
// descriptor logind hands out is the lock. It is closed when the object goes,
// and by the kernel when the process does, however it ends. Without logind
// (no systemd, or a test's private bus) nothing is held.
class SleepInhibitor : public QObject {
    Q_OBJECT
public:
    SleepInhibitor(const QDBusConnection& bus, const QString& why, QObject* parent = nullptr);

    bool held() const { return m_lock.isValid(); }

signals:
    void acquired();

private:
    QDBusUnixFileDescriptor m_lock;
};

} // namespace phone
