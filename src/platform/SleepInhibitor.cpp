#include "SleepInhibitor.h"

#include "ModemManagerCall.h"

#include <QDBusMessage>
#include <QGuiApplication>

namespace phone {

SleepInhibitor::SleepInhibitor(const QDBusConnection& bus, const QString& why, QObject* parent)
    : QObject(parent)
{
    QDBusMessage inhibit = QDBusMessage::createMethodCall(QStringLiteral("org.freedesktop.login1"),
        QStringLiteral("/org/freedesktop/login1"), QStringLiteral("org.freedesktop.login1.Manager"),
        QStringLiteral("Inhibit"));
    inhibit << QStringLiteral("sleep") << QGuiApplication::applicationDisplayName() << why << QStringLiteral("block");
    // A reply that comes after this object has gone is dropped, and its
    // descriptor closed with it.
    callAsync(bus, inhibit, std::chrono::milliseconds(5000), this, [this](const QDBusMessage& reply) {
        if (reply.type() != QDBusMessage::ReplyMessage || reply.signature() != u"h")
            return;
        m_lock = reply.arguments().constFirst().value<QDBusUnixFileDescriptor>();
        if (m_lock.isValid())
            emit acquired();
    });
}

} // namespace phone
