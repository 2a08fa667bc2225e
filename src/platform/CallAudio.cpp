#include "CallAudio.h"

#include "ModemManagerCall.h"

#include <QDBusMessage>

namespace phone {
namespace {

// callaudiod switches the sound card's profile, which can take a while.
constexpr std::chrono::milliseconds kAudioTimeout { 5000 };

} // namespace

CallAudio::CallAudio(const QDBusConnection& bus, QObject* parent)
    : QObject(parent)
    , m_bus(bus)
{
}

void CallAudio::request(const char* method, const QVariant& argument, std::function<void()> succeeded)
{
    if (m_gone)
        return;
    QDBusMessage call = QDBusMessage::createMethodCall(QStringLiteral("org.mobian_project.CallAudio"),
        QStringLiteral("/org/mobian_project/CallAudio"), QStringLiteral("org.mobian_project.CallAudio"),
        QString::fromLatin1(method));
    call << argument;
    callAsync(m_bus, call, kAudioTimeout, this, [this, succeeded = std::move(succeeded)](const QDBusMessage& reply) {
        const QString error = reply.errorName();
        if (error == u"org.freedesktop.DBus.Error.ServiceUnknown"
            || error == u"org.freedesktop.DBus.Error.NameHasNoOwner"
            || error == u"org.freedesktop.DBus.Error.Disconnected") {
            m_gone = true;
            m_available = false;
            emit changed();
            return;
        }
        m_available = true;
        // Its methods answer whether they did it.
        if (reply.type() == QDBusMessage::ReplyMessage && reply.signature() == u"b"
            && reply.arguments().constFirst().toBool())
            succeeded();
        emit changed();
    });
}

void CallAudio::selectCallMode(bool call)
{
    // A later call finds callaudiod again if it has started meanwhile.
    if (call)
        m_gone = false;
    request("SelectMode", QVariant::fromValue(call ? 1u : 0u), [] {});
    if (!call)
        m_speaker = m_muted = false;
}

void CallAudio::enableSpeaker(bool on)
{
    request("EnableSpeaker", on, [this, on] { m_speaker = on; });
}

void CallAudio::muteMic(bool mute)
{
    request("MuteMic", mute, [this, mute] { m_muted = mute; });
}

} // namespace phone
