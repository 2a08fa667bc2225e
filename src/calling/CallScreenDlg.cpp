#include "CallScreenDlg.h"

#include "MessageBoxes.h"
#include "PhoneService.h"
#include "ResourceIds.h"

#include <QAccessible>
#include <QApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>

#include <cmath>

using phone::ModemManagerCall;
using phone::PostDialStep;
namespace mm = phone::mm;

QString callDuration(std::chrono::seconds length)
{
    const long long s = std::max<long long>(0, length.count());
    return s >= 3600 ? QStringLiteral("%1:%2:%3")
                           .arg(s / 3600)
                           .arg(s / 60 % 60, 2, 10, QLatin1Char('0'))
                           .arg(s % 60, 2, 10, QLatin1Char('0'))
                     : QStringLiteral("%1:%2").arg(s / 60).arg(s % 60, 2, 10, QLatin1Char('0'));
}

CCallScreen::CCallScreen(QWidget* parent, ModemManagerCall* call, const phone::CallDisplay& display)
    : CDialogBase(res::IDD_CALLSCREEN, parent)
    , m_call(call)
    , m_cardNameText(display.cardName)
    , m_numberText(display.number)
    , m_contactText(display.contact)
{
    m_ticks.setInterval(250);
    connect(&m_ticks, &QTimer::timeout, this, &CCallScreen::showCall);
}

void CCallScreen::DoDataExchange()
{
    m_state = item<QLabel>(res::IDC_CS_STATE);
    m_timer = item<QLabel>(res::IDC_CS_TIMER);
    m_progress = item<QLabel>(res::IDC_CS_PROGRESS);
    m_send = item<QPushButton>(res::IDC_CS_SEND);
    m_dontSend = item<QPushButton>(res::IDC_CS_DONTSEND);
    m_speaker = item<QPushButton>(res::IDC_CS_SPEAKER);
    m_mute = item<QPushButton>(res::IDC_CS_MUTE);
    m_hangUp = item<QPushButton>(res::IDC_CS_HANGUP);
}

const MessageMap& CCallScreen::messageMap() const
{
    static const MessageMap map = [] {
        MessageMap m = {
            OnClicked(res::IDC_CS_SEND, &CCallScreen::OnSend),
            OnClicked(res::IDC_CS_DONTSEND, &CCallScreen::OnDontSend),
            OnClicked(res::IDC_CS_SPEAKER, &CCallScreen::OnSpeaker),
            OnClicked(res::IDC_CS_MUTE, &CCallScreen::OnMute),
            OnClicked(res::IDC_CS_HANGUP, &CCallScreen::OnHangUp),
        };
        for (int id = res::IDC_CS_KEY_FIRST; id <= res::IDC_CS_KEY_LAST; ++id)
            m.push_back(OnClicked(id, &CCallScreen::OnKey));
        return m;
    }();
    return map;
}

bool CCallScreen::OnInitDialog()
{
    CDialogBase::OnInitDialog();
    // Names and numbers come from cards and contacts: never read as markup.
    for (const int id : { res::IDC_CS_CARDNAME, res::IDC_CS_NUMBER, res::IDC_CS_CONTACT, res::IDC_CS_STATE,
             res::IDC_CS_TIMER, res::IDC_CS_PROGRESS })
        item<QLabel>(id)->setTextFormat(Qt::PlainText);
    SetDlgItemText(res::IDC_CS_CARDNAME, m_cardNameText);
    SetDlgItemText(res::IDC_CS_NUMBER, m_numberText);
    SetDlgItemText(res::IDC_CS_CONTACT, m_contactText);
    QFont big = m_state->font();
    big.setBold(true);
    m_state->setFont(big);
    m_timer->setFont(big);
    m_timer->setAlignment(Qt::AlignRight | Qt::AlignTop);
    for (QPushButton* toggle : { m_speaker, m_mute })
        toggle->setCheckable(true);
    // Shown while a wait asks, and where callaudiod runs.
    for (const int id : { res::IDC_CS_SEND, res::IDC_CS_DONTSEND, res::IDC_CS_SPEAKER, res::IDC_CS_MUTE })
        ShowItem(id, false);
    if (!m_call) {
        m_over = true;
        closeWhenFree();
        return true;
    }
    connect(m_call, &ModemManagerCall::changed, this, &CCallScreen::showCall);
    connect(m_call, &ModemManagerCall::waitAsked, this, &CCallScreen::onWaitAsked);
    connect(m_call, &ModemManagerCall::ended, this, &CCallScreen::onEnded);
    auto& audio = phone::PhoneService::instance().audio();
    connect(&audio, &phone::CallAudio::changed, this, &CCallScreen::showAudio);
    m_ticks.start();
    showCall();
    showAudio();
    // A wait asked before the screen opened.
    if (const QString waiting = m_call->waitingFor(); !waiting.isEmpty())
        QTimer::singleShot(0, this, [this, waiting] { onWaitAsked(waiting); });
    m_hangUp->setFocus(Qt::OtherFocusReason);
    return false;
}

QString CCallScreen::stateText() const
{
    if (m_over)
        return m_endedText;
    switch (m_call->state()) {
    case mm::Dialing:
        return tr("Dialling");
    case mm::RingingOut:
        return tr("Ringing");
    case mm::Active:
        return tr("Connected");
    case mm::Held:
        return tr("On hold");
    case mm::Terminated:
        return tr("Call ended");
    default:
        return tr("Calling");
    }
}

// The number dialled, the tones sent so far and what the sequence does now,
// a line each; the PIN's tones are dots in every one of them.
QString CCallScreen::progressText() const
{
    const ModemManagerCall& c = *m_call;
    QStringList lines { tr("Dialled %1").arg(c.number()) };
    QStringList sent, left;
    const auto& steps = c.steps();
    for (std::size_t i = 0; i < steps.size(); ++i) {
        if (steps[i].kind != PostDialStep::Kind::Tones)
            continue;
        const qsizetype done = i < c.nextStep() ? steps[i].shown.size() : i == c.nextStep() ? c.nextTone() : 0;
        if (done > 0)
            sent << steps[i].shown.left(done);
        if (done < steps[i].shown.size())
            left << steps[i].shown.mid(done);
    }
    if (!sent.isEmpty())
        lines << tr("Tones sent: %1").arg(sent.join(u' '));
    if (c.isOver() || c.sequenceOver()) {
        if (!c.failure().isEmpty())
            lines << tr("Not sent: %1").arg(left.join(u' '));
        else if (!steps.empty() && left.isEmpty())
            lines << tr("All tones sent");
    } else if (const auto ends = c.pauseEnds()) {
        const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(*ends - ModemManagerCall::Clock::now());
        lines << tr("Pause: %1 s, then %2")
                     .arg(std::max<long long>(1, std::llround(ms.count() / 1000.0)))
                     .arg(left.join(u' '));
    } else if (!c.waitingFor().isEmpty()) {
        lines << tr("Waiting for you to send %1").arg(c.waitingFor());
    } else if (!left.isEmpty()) {
        lines << (c.connectedAt() ? tr("Sending %1") : tr("Once answered: %1")).arg(left.join(u' '));
    }
    if (!c.keypadQueue().isEmpty())
        lines << tr("Keypad tones waiting: %1").arg(c.keypadQueue());
    return lines.join(u'\n');
}

void CCallScreen::showCall()
{
    if (m_over || !m_call)
        return;
    m_state->setText(stateText());
    const auto connected = m_call->connectedFor();
    m_timer->setText(connected ? callDuration(*connected) : QString());
    const QString progress = progressText();
    if (m_progress->text() != progress) {
        m_progress->setText(progress);
        m_progress->setAccessibleName(progress);
    }
    const bool waiting = !m_call->waitingFor().isEmpty();
    if (!waiting && m_send->isVisible()) {
        ShowItem(res::IDC_CS_SEND, false);
        ShowItem(res::IDC_CS_DONTSEND, false);
    }
}

void CCallScreen::showAudio()
{
    const auto& audio = phone::PhoneService::instance().audio();
    ShowItem(res::IDC_CS_SPEAKER, audio.available() && !m_over);
    ShowItem(res::IDC_CS_MUTE, audio.available() && !m_over);
    m_speaker->setChecked(audio.speakerOn());
    m_mute->setChecked(audio.micMuted());
}

void CCallScreen::onWaitAsked(const QString& shownTones)
{
    if (m_over || !m_call || m_call->waitingFor().isEmpty())
        return;
    m_send->setText(tr("Send %1").arg(shownTones));
    m_send->setAccessibleDescription(tr("The card service is waiting. Send the tones %1?").arg(shownTones));
    ShowItem(res::IDC_CS_SEND, true);
    ShowItem(res::IDC_CS_DONTSEND, true);
    showCall();
    m_send->setFocus(Qt::OtherFocusReason);
    // The question must not wait unseen behind another window: the window
    // comes forward (on Wayland through xdg-activation, where the compositor
    // gives a token), asks for attention where it cannot, and a screen
    // reader hears the question.
    QWidget* w = window();
    w->raise();
    w->activateWindow();
    QApplication::alert(w);
    QAccessibleEvent alert(m_send, QAccessible::Alert);
    QAccessible::updateAccessibility(&alert);
}

void CCallScreen::OnSend()
{
    if (m_call)
        m_call->answerWait(true);
    m_hangUp->setFocus(Qt::OtherFocusReason);
}

void CCallScreen::OnDontSend()
{
    if (m_call)
        m_call->answerWait(false);
    m_hangUp->setFocus(Qt::OtherFocusReason);
}

void CCallScreen::OnKey()
{
    if (auto* key = qobject_cast<QPushButton*>(sender()); key && m_call)
        m_call->sendKeypadTone(key->text().front());
}

void CCallScreen::keyPressEvent(QKeyEvent* event)
{
    const QString typed = event->text();
    if (typed.size() == 1 && m_call && !m_over && QStringLiteral("0123456789*#").contains(typed)) {
        m_call->sendKeypadTone(typed.front());
        return;
    }
    CDialogBase::keyPressEvent(event);
}

void CCallScreen::OnSpeaker()
{
    auto& audio = phone::PhoneService::instance().audio();
    audio.enableSpeaker(!audio.speakerOn());
    m_speaker->setChecked(audio.speakerOn()); // until callaudiod has answered
}

void CCallScreen::OnMute()
{
    auto& audio = phone::PhoneService::instance().audio();
    audio.muteMic(!audio.micMuted());
    m_mute->setChecked(audio.micMuted());
}

void CCallScreen::OnHangUp()
{
    if (m_over) {
        closeWhenFree();
        return;
    }
    if (m_call)
        m_call->hangUp();
}

void CCallScreen::onEnded()
{
    if (m_over)
        return;
    using phone::CallEnd;
    QString why;
    switch (m_call->endedHow()) {
    case CallEnd::HungUpHere:
        why = tr("You hung up.");
        break;
    case CallEnd::HungUpFarEnd:
        why = tr("The other side hung up.");
        break;
    case CallEnd::HungUpElsewhere:
        why = tr("Ended outside this program.");
        break;
    default:
        why = tr("Not answered.");
        break;
    }
    const auto connected = m_call->connectedFor();
    m_endedText = tr("Call ended");
    m_state->setText(m_endedText);
    m_timer->setText(connected ? callDuration(*connected) : QString());
    // In place of the number dialled, which the screen still shows above.
    QStringList lines = progressText().split(u'\n');
    lines[0] = why + (connected ? u' ' + tr("Duration %1.").arg(callDuration(*connected)) : QString());
    m_progress->setText(lines.join(u'\n'));
    m_progress->setAccessibleName(m_endedText + u' ' + m_progress->text());
    m_over = true;
    m_ticks.stop();
    ShowItem(res::IDC_CS_SEND, false);
    ShowItem(res::IDC_CS_DONTSEND, false);
    showAudio();
    for (int id = res::IDC_CS_KEY_FIRST; id <= res::IDC_CS_KEY_LAST; ++id)
        GetDlgItem(id)->setEnabled(false);
    m_hangUp->setText(tr("Close"));
    m_hangUp->setFocus(Qt::OtherFocusReason);
    QAccessibleEvent alert(m_progress, QAccessible::Alert);
    QAccessible::updateAccessibility(&alert);
    QTimer::singleShot(kEndedShown, this, &CCallScreen::closeWhenFree);
}

// Closes the screen once it is on top and no message box is open over it,
// such as the one naming the tones that did not go out.
void CCallScreen::closeWhenFree()
{
    if (m_closed)
        return;
    const QWidget* modal = QApplication::activeModalWidget();
    if (topScreen() != this || (modal && modal != this)) {
        QTimer::singleShot(200, this, &CCallScreen::closeWhenFree);
        return;
    }
    m_closed = true;
    CDialogBase::accept();
}

void CCallScreen::accept()
{
    // Enter with no button in focus ends a dialog; it never leaves a call
    // without a screen.
    if (m_over)
        closeWhenFree();
}

void CCallScreen::reject()
{
    if (m_over || !m_call) {
        closeWhenFree();
        return;
    }
    if (QuestionBox(this, tr("Hang up the call?")) && m_call)
        m_call->hangUp();
}

void ShowCallScreen(quint64 id)
{
    auto& service = phone::PhoneService::instance();
    ModemManagerCall* call = service.call(id);
    const phone::CallDisplay* display = service.display(id);
    if (!call || !display)
        return;
    CCallScreen screen(CDialogBase::topScreen(), call, *display);
    screen.DoModal();
}
