#pragma once

#include <QDBusConnection>
#include <QObject>

#include <chrono>

namespace phone {

// callaudiod (org.mobian_project.CallAudio on the session bus), as the
// phone's own call applications use it: on PinePhone-class phones the call
// is silent both ways until the call audio mode is selected. Where callaudiod
// does not run, available() stays false and the first request is all that
// is sent. Every request is asynchronous.
class CallAudio : public QObject {
    Q_OBJECT
public:
    explicit CallAudio(const QDBusConnection& bus, QObject* parent = nullptr);

    // SelectMode(1) for a call, SelectMode(0) for the default mode.
    void selectCallMode(bool call);
    void enableSpeaker(bool on);
    void muteMic(bool mute);

    // callaudiod has answered a request.
    bool available() const { return m_available; }
    bool speakerOn() const { return m_speaker; }
    bool micMuted() const { return m_muted; }

signals:
    // Availability, speaker or microphone changed, or a request failed.
    void changed();

private:
    void request(const char* method, const QVariant& argument, std::function<void()> succeeded);

    QDBusConnection m_bus;
    bool m_available = false;
    bool m_gone = false; // callaudiod is not there: nothing more is sent
    bool m_speaker = false;
    bool m_muted = false;
};

} // namespace phone
