#include "PhonecallDlg.h"

#include "CallPlacement.h"
#include "CardFile.h"
#include "ConfirmcallDlg.h"
#include "DialerDlg.h"
#include "HomeCountry.h"
#include "MessageBoxes.h"
#include "phonebook.h"
#include "PhoneMakeCall.h"
#include "PhoneNumbers.h"
#include "RecentCalls.h"
#include "ResourceIds.h"

#include <QComboBox>
#include <QCoreApplication>
#include <QLabel>
#include <QLineEdit>

#include <algorithm>

Cphonecall* g_pPhonecallDlg = nullptr;

namespace {

// Cards past the tenth stay in the book's overflow; like the card screens,
// this screen offers only the ten it has slots for.
int listedCards(const LoadResult& loaded)
{
    return std::min(loaded.complete, CardBook::kSlots);
}

} // namespace

Cphonecall::Cphonecall(QWidget* parent, const QString& number)
    : CDialogBase(res::IDD_PHONECALL, parent)
    , m_linkNumber(number)
    , m_previous(g_pPhonecallDlg)
{
    g_pPhonecallDlg = this;
}

Cphonecall::~Cphonecall()
{
    // Screens close in the reverse order they opened, so handing the pointer
    // back to the screen this one displaced keeps it on the make-call screen
    // still open beneath: its contact picker and confirmation go on working,
    // and nothing is ever left pointing at a destroyed screen.
    if (g_pPhonecallDlg == this)
        g_pPhonecallDlg = m_previous.data();
}

int Cphonecall::keyFilterId() const
{
    return res::IDC_CALL_NUMBER;
}

void Cphonecall::DoDataExchange()
{
    m_phoneNumber = item<QLineEdit>(res::IDC_CALL_NUMBER);
    m_cardList = item<QComboBox>(res::IDC_CALL_CARDLIST);
    m_cardName = item<QLineEdit>(res::IDC_CALL_CARDNAME);
    m_contactName = item<QLabel>(res::IDC_CALL_CONTACTNAME);
    m_accessNumber = item<QLabel>(res::IDC_CALL_ACCESS);
    m_pauseBeforeNumber = item<QLabel>(res::IDC_CALL_PAUSENUMBER);
    m_pin = item<QLabel>(res::IDC_CALL_PIN);
    m_pauseBeforePin = item<QLabel>(res::IDC_CALL_PAUSEPIN);
    m_prefix = item<QLabel>(res::IDC_CALL_PREFIX);
}

const MessageMap& Cphonecall::messageMap() const
{
    static const MessageMap map = {
        OnCommand(res::ID_PHONEBOOK_CONTACTS, &Cphonecall::OnContacts),
        OnCommand(res::ID_PHONEBOOK_RECENT, &Cphonecall::OnRecentCalls),
        OnClicked(res::IDC_CALL_DIAL, &Cphonecall::OnDial),
        OnClicked(res::IDC_CALL_CANCEL, &Cphonecall::OnReturnHome),
        OnSelChange(res::IDC_CALL_CARDLIST, &Cphonecall::OnSelchangeCardList),
    };
    return map;
}

bool Cphonecall::OnInitDialog()
{
    CDialogBase::OnInitDialog();
    CreateMenuBar();
    // A missing or damaged file is not reported: the list shows the cards
    // read whole before the failure, possibly none.
    const LoadResult loaded = CardFile::load(m_book);
    for (int i = 0; i < listedCards(loaded); ++i)
        AddString(res::IDC_CALL_CARDLIST, QString::fromStdU16String(m_book.slot(i).cardName));
    LimitText(res::IDC_CALL_NUMBER, kNumberLimit);
    // Numbers from contacts and links are read against the home country,
    // which the modem's network may have changed since the last screen.
    HomeCountry::instance().refresh();
    numbers::preload();
    if (!m_linkNumber.isEmpty()) {
        showLinkNumber();
        connect(&HomeCountry::instance(), &HomeCountry::changed, this, &Cphonecall::showLinkNumber);
    }
    return false; // the first tab stop, Dial, takes the focus
}

void Cphonecall::showLinkNumber()
{
    // Once the user has changed the number, it is theirs.
    if (!m_linkShown.isNull() && GetDlgItemText(res::IDC_CALL_NUMBER) != m_linkShown)
        return;
    m_linkShown = numbers::boxForm(m_linkNumber, m_linkNumber, HomeCountry::instance().current());
    SetDlgItemText(res::IDC_CALL_NUMBER, m_linkShown);
}

void Cphonecall::OnSelchangeCardList()
{
    // Only a file read to its end, or to the limits of a file too big to read
    // whole, is trusted to describe the chosen card.
    const LoadResult loaded = CardFile::load(m_book);
    if (!loaded.trusted())
        return;
    const int sel = GetCurSel(res::IDC_CALL_CARDLIST);
    if (sel < 0)
        return;
    const std::u16string chosen = GetLBText(res::IDC_CALL_CARDLIST, sel).toStdU16String();
    // No early exit: of several cards with the name, the last one wins. A
    // name that has left the file matches nothing and changes nothing.
    for (int i = 0; i < listedCards(loaded); ++i) {
        const CardRecord& card = m_book.slot(i);
        if (card.cardName != chosen)
            continue;
        SetDlgItemText(res::IDC_CALL_CARDNAME, QString::fromStdU16String(card.cardName));
        SetDlgItemText(res::IDC_CALL_ACCESS, QString::fromStdU16String(card.accessNumber));
        SetDlgItemText(res::IDC_CALL_PIN, QString::fromStdU16String(card.pin));
        SetDlgItemText(res::IDC_CALL_PAUSENUMBER, QString::fromStdU16String(card.pauseBeforeNumber));
        SetDlgItemText(res::IDC_CALL_PREFIX, QString::fromStdU16String(card.prefix));
        SetDlgItemText(res::IDC_CALL_PAUSEPIN, QString::fromStdU16String(card.pauseBeforePin));
    }
}

void Cphonecall::OnDial()
{
    // An emergency number never goes through a card, and needs none chosen.
    if (const QString number = GetDlgItemText(res::IDC_CALL_NUMBER); IsEmergencyNumber(number)) {
        if (OfferEmergencyCall(this, number, GetDlgItemText(res::IDC_CALL_CONTACTNAME)))
            ShowHomeScreen();
        return;
    }
    if (GetDlgItemText(res::IDC_CALL_CARDNAME).size() < 1) {
        AppMessageBox(QCoreApplication::translate("Messages", "Please select card"));
        return;
    }
    // Only emptiness is checked here; what gets dialled is settled at confirmation.
    if (GetDlgItemText(res::IDC_CALL_NUMBER).isEmpty()) {
        AppMessageBox(QCoreApplication::translate("Messages", "Please Enter the Phone Number"));
        return;
    }
    CConfirmcall confirm(this);
    confirm.DoModal();
}

void Cphonecall::OnContacts()
{
    phonebook picker;
    picker.PickContact();
}

void Cphonecall::OnRecentCalls()
{
    const std::optional<CallRecord> chosen = ChooseRecentCall(this);
    if (!chosen)
        return;
    SetDlgItemText(res::IDC_CALL_NUMBER, chosen->number);
    SetDlgItemText(res::IDC_CALL_CONTACTNAME, chosen->contact);
    // The card when the book still has one of that name, chosen as the user
    // would choose it; otherwise the list stays as it was.
    const int index = m_cardList->findText(chosen->card, Qt::MatchExactly | Qt::MatchCaseSensitive);
    if (chosen->card.isEmpty() || index < 0)
        return;
    m_cardList->setCurrentIndex(index);
    OnSelchangeCardList();
}

void Cphonecall::OnReturnHome()
{
    ShowHomeScreen();
}

void Cphonecall::reject()
{
    // The screen cannot end under an emergency call's placement: Escape and
    // the close button stop the placement, as Cancel does on the
    // confirmation screen.
    if (EmergencyCallUnderWay())
        PhoneCancelMakeCall();
    else
        CDialogBase::reject();
}
