#include "ConfirmcallDlg.h"

#include "CallPlacement.h"
#include "DialerDlg.h"
#include "DialString.h"
#include "MessageBoxes.h"
#include "PhonecallDlg.h"
#include "PhoneLayout.h"
#include "PhoneMakeCall.h"
#include "PhoneService.h"
#include "ResourceIds.h"

#include <QCoreApplication>
#include <QLabel>

#include <string>

namespace {

std::u16string text(const Cphonecall* call, int id)
{
    return call ? call->GetDlgItemText(id).toStdU16String() : std::u16string();
}

DialCardTexts cardTexts(const Cphonecall* call)
{
    return { text(call, res::IDC_CALL_ACCESS), text(call, res::IDC_CALL_PIN), text(call, res::IDC_CALL_PAUSEPIN),
        text(call, res::IDC_CALL_PAUSENUMBER) };
}

} // namespace

void InstallCallFailureNotice()
{
    static const bool installed = [] {
        phone::PhoneService::instance().setFailureNotifier([](const QString& message) { AppMessageBox(message); });
        return true;
    }();
    (void)installed;
}

CConfirmcall::CConfirmcall(QWidget* parent)
    : CDialogBase(res::IDD_CONFIRMCALL, parent)
{
    InstallCallFailureNotice();
}

void CConfirmcall::DoDataExchange()
{
    m_heading = item<QLabel>(res::IDC_CONFIRM_HEADING);
    m_selectedLabel = item<QLabel>(1066);
    m_contactLabel = item<QLabel>(1067);
    m_numberLabel = item<QLabel>(1068);
    m_cardNameLabel = item<QLabel>(1037);
    m_phoneNumber = item<QLabel>(res::IDC_CONFIRM_NUMBER);
    m_contact = item<QLabel>(res::IDC_CONFIRM_CONTACT);
    m_cardName = item<QLabel>(res::IDC_CONFIRM_CARDNAME);
}

const MessageMap& CConfirmcall::messageMap() const
{
    static const MessageMap map = {
        OnClicked(res::IDC_CONFIRM_OK, &CConfirmcall::OnPlaceCall),
        OnClicked(res::IDC_CONFIRM_CANCEL, &CConfirmcall::OnReturnHome),
    };
    return map;
}

bool CConfirmcall::OnInitDialog()
{
    CDialogBase::OnInitDialog();
    m_headingFont = fontFromLogFont(phonelayout::scaled(this, { 22, 14, 1, QStringLiteral("MS Sans Serif") }));
    m_heading->setFont(m_headingFont);
    // Names and numbers come from cards and contacts: shown as typed, never
    // read as markup.
    for (QLabel* value : { m_phoneNumber, m_contact, m_cardName })
        value->setTextFormat(Qt::PlainText);
    const Cphonecall* call = g_pPhonecallDlg;
    SetDlgItemText(res::IDC_CONFIRM_NUMBER, QString::fromStdU16String(text(call, res::IDC_CALL_NUMBER)));
    SetDlgItemText(res::IDC_CONFIRM_CARDNAME, QString::fromStdU16String(text(call, res::IDC_CALL_CARDNAME)));
    SetDlgItemText(res::IDC_CONFIRM_CONTACT, QString::fromStdU16String(text(call, res::IDC_CALL_CONTACTNAME)));
    return true;
}

void CConfirmcall::OnPlaceCall()
{
    if (m_placing) // Ok again while the phone service works on the first
        return;
    // g_pPhonecallDlg is the make-call screen that opened this one: any
    // make-call screen stacked above since has closed and handed it back.
    const Cphonecall* call = g_pPhonecallDlg;
    const ComposeResult composed = ComposeDialString(text(call, res::IDC_CALL_PREFIX),
        GetDlgItemText(res::IDC_CONFIRM_NUMBER).toStdU16String(), cardTexts(call), m_work);
    // A dial string that failed to compose is never dialled, and no failure
    // takes the user away: they stay here to try again or Cancel.
    if (composed.failureMessage) {
        AppMessageBox(QCoreApplication::translate("Messages", composed.failureMessage));
        return;
    }
    // The call screen shows what this screen showed, and the PIN as dots;
    // the history keeps the same texts, without the PIN.
    const QString cardName = GetDlgItemText(res::IDC_CONFIRM_CARDNAME),
                  number = GetDlgItemText(res::IDC_CONFIRM_NUMBER), contact = GetDlgItemText(res::IDC_CONFIRM_CONTACT);
    const std::u16string shownCard = cardName.toStdU16String(), shownNumber = number.toStdU16String(),
                         shownContact = contact.toStdU16String();
    const PHONECALLDISPLAY display { shownCard.c_str(), shownNumber.c_str(), shownContact.c_str(),
        static_cast<std::uint32_t>(composed.pinOffset), static_cast<std::uint32_t>(composed.pinLength) };
    m_placing = true;
    const std::int32_t status
        = PlaceCall(composed.dialString, display, { 0, {}, cardName, number, contact, {}, {}, false });
    m_placing = false;
    if (status < 0 && status != kPhoneCallCancelled) {
        AppMessageBox(PhoneLastError());
        return;
    }
    // The fresh home screen comes as before, and a call through the modem
    // shows over it.
    ShowHomeScreen();
}

void CConfirmcall::OnReturnHome()
{
    // While Ok waits for the phone service, Cancel stops the placement and
    // Ok's handler, on its way out, goes home.
    if (m_placing)
        PhoneCancelMakeCall();
    else
        ShowHomeScreen();
}

void CConfirmcall::reject()
{
    // The dialog cannot end under the placement's wait: Escape and the
    // window's close button cancel it as the Cancel button does.
    if (m_placing)
        OnReturnHome();
    else
        CDialogBase::reject();
}
