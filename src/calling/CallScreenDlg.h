#pragma once

#include "DialogBase.h"

#include <QPointer>
#include <QTimer>

namespace phone {
class ModemManagerCall;
struct CallDisplay;
} // namespace phone

class QLabel;
class QPushButton;

// The call screen: shows one call placed through the modem, from dialling to
// its end, over the home screen that Ok stacked. It shows the call object's
// state, time connected and post-dial progress (a PIN's tones as dots), asks
// the sequence's waits on itself, and forwards the keypad, Speaker, Mute and
// Hang up to the call; it holds no call logic of its own. Once the call has
// ended it says so, with how long it lasted, and gives way to the screen
// beneath.
class CCallScreen : public CDialogBase {
    Q_OBJECT
public:
    CCallScreen(QWidget* parent, phone::ModemManagerCall* call, const phone::CallDisplay& display);

    void accept() override;
    void reject() override;

    // How long the ended call stays in sight before the screen closes.
    static constexpr std::chrono::milliseconds kEndedShown { 2500 };

protected:
    bool OnInitDialog() override;
    void DoDataExchange() override;
    const MessageMap& messageMap() const override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    void OnSend();
    void OnDontSend();
    void OnKey();
    void OnSpeaker();
    void OnMute();
    void OnHangUp();
    void showCall();
    void showAudio();
    void onWaitAsked(const QString& shownTones);
    void onEnded();
    void closeWhenFree();
    QString stateText() const;
    QString progressText() const;

    QPointer<phone::ModemManagerCall> m_call;
    QString m_cardNameText;
    QString m_numberText;
    QString m_contactText;
    QLabel* m_state = nullptr;
    QLabel* m_timer = nullptr;
    QLabel* m_progress = nullptr;
    QPushButton* m_send = nullptr;
    QPushButton* m_dontSend = nullptr;
    QPushButton* m_speaker = nullptr;
    QPushButton* m_mute = nullptr;
    QPushButton* m_hangUp = nullptr;
    QTimer m_ticks; // the time connected and a pause's count-down
    // What the ended call was, kept once the call object has gone.
    QString m_endedText;
    bool m_over = false;
    bool m_closed = false;
};

// "m:ss", or "h:mm:ss" from an hour on.
QString callDuration(std::chrono::seconds length);

// Runs the call screen for the call `id` over the screen on top, if the call
// is still live; returns when it closes.
void ShowCallScreen(quint64 id);
