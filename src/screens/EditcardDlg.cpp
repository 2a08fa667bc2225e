#include "EditcardDlg.h"

#include "CardScreens.h"
#include "DialerDlg.h"
#include "MessageBoxes.h"
#include "ResourceIds.h"

#include <QComboBox>
#include <QCoreApplication>
#include <QLineEdit>

using namespace cardscreens;

CEditcard::CEditcard(QWidget* parent)
    : CDialogBase(res::IDD_EDITCARD, parent)
{
}

void CEditcard::DoDataExchange()
{
    m_cardName = item<QLineEdit>(res::IDC_EDIT_CARDNAME);
    m_accessNumber = item<QLineEdit>(res::IDC_EDIT_ACCESS);
    m_pin = item<QLineEdit>(res::IDC_EDIT_PIN);
    m_pauseBeforeNumber = item<QLineEdit>(res::IDC_EDIT_PAUSENUMBER);
    m_prefix = item<QLineEdit>(res::IDC_EDIT_PREFIX);
    m_cardList = item<QComboBox>(res::IDC_EDIT_CARDLIST);
    m_pauseBeforePin = item<QLineEdit>(res::IDC_EDIT_PAUSEPIN);
    m_pinOption = item<QComboBox>(res::IDC_EDIT_PINOPTION);
}

const MessageMap& CEditcard::messageMap() const
{
    static const MessageMap map = {
        OnClicked(res::IDC_EDIT_SAVE, &CEditcard::OnSave),
        OnClicked(res::IDC_EDIT_CANCEL, &CEditcard::OnCancelClicked),
        OnSelChange(res::IDC_EDIT_CARDLIST, &CEditcard::OnCardSelect),
        OnSelChange(res::IDC_EDIT_PINOPTION, &CEditcard::OnPinOptionChange),
    };
    return map;
}

int CEditcard::keyFilterId() const
{
    return res::IDC_EDIT_PIN;
}

bool CEditcard::OnInitDialog()
{
    CDialogBase::OnInitDialog();
    ScrollSetUp();
    const LoadResult loaded = CardFile::load(m_book);
    for (const QString& name : completeNames(m_book, loaded))
        AddString(res::IDC_EDIT_CARDLIST, name);
    LimitText(res::IDC_EDIT_ACCESS, 15);
    LimitText(res::IDC_EDIT_PIN, 10);
    LimitText(res::IDC_EDIT_PAUSENUMBER, 1);
    LimitText(res::IDC_EDIT_PREFIX, 5);
    LimitText(res::IDC_EDIT_CARDNAME, 20);
    LimitText(res::IDC_EDIT_PAUSEPIN, 1);
    AddString(res::IDC_EDIT_PINOPTION, pinBaseText());
    AddString(res::IDC_EDIT_PINOPTION, pinLessText());
    ShowItem(res::IDC_EDIT_PIN, false);
    SetItemReadOnly(res::IDC_EDIT_PAUSEPIN, true);
    return true; // the focus goes to the first tab stop, the card list
}

QString CEditcard::selectedName() const
{
    return GetLBText(res::IDC_EDIT_CARDLIST, GetCurSel(res::IDC_EDIT_CARDLIST));
}

void CEditcard::showCard(const CardRecord& card)
{
    SetDlgItemText(res::IDC_EDIT_CARDNAME, qs(card.cardName));
    SetDlgItemText(res::IDC_EDIT_ACCESS, qs(card.accessNumber));
    SetDlgItemText(res::IDC_EDIT_PIN, qs(card.pin));
    SetDlgItemText(res::IDC_EDIT_PAUSENUMBER, qs(card.pauseBeforeNumber));
    SetDlgItemText(res::IDC_EDIT_PREFIX, qs(card.prefix));
    SetDlgItemText(res::IDC_EDIT_PAUSEPIN, qs(card.pauseBeforePin));
    if (!card.hasPin()) {
        ShowItem(res::IDC_EDIT_PIN, false);
        SetDlgItemText(res::IDC_EDIT_PINOPTION, pinLessText());
        SetDlgItemText(res::IDC_EDIT_PAUSEPIN, QStringLiteral("0"));
        SetItemReadOnly(res::IDC_EDIT_PAUSEPIN, true);
    } else {
        SetDlgItemText(res::IDC_EDIT_PINOPTION, pinBaseText());
        ShowItem(res::IDC_EDIT_PIN, true);
        SetItemReadOnly(res::IDC_EDIT_PAUSEPIN, false);
    }
}

void CEditcard::OnCardSelect()
{
    if (!reload(m_book).trusted())
        return;
    const std::u16string name = u16(selectedName());
    // With several cards of one name, the last one stays in the fields.
    for (int i = 0; i < m_book.count(); ++i)
        if (m_book.slot(i).cardName == name)
            showCard(m_book.slot(i));
}

void CEditcard::OnPinOptionChange()
{
    if (GetLBText(res::IDC_EDIT_PINOPTION, GetCurSel(res::IDC_EDIT_PINOPTION)) != pinBaseText()) {
        ShowItem(res::IDC_EDIT_PIN, false);
        SetDlgItemText(res::IDC_EDIT_PAUSEPIN, QStringLiteral("0"));
        SetItemReadOnly(res::IDC_EDIT_PAUSEPIN, true);
        return;
    }
    ShowItem(res::IDC_EDIT_PIN, true);
    SetItemReadOnly(res::IDC_EDIT_PAUSEPIN, false);
    if (!reload(m_book).trusted())
        return;
    const std::u16string name = u16(selectedName());
    for (int i = 0; i < m_book.count(); ++i)
        if (m_book.slot(i).cardName == name)
            SetDlgItemText(res::IDC_EDIT_PAUSEPIN, qs(m_book.slot(i).pauseBeforePin));
}

QString CEditcard::validationFailure() const
{
    if (GetDlgItemText(res::IDC_EDIT_CARDLIST).isEmpty())
        return QCoreApplication::translate("Messages", "Please select card");
    // An empty name would end the book at this card and drop every card
    // after it at the save, so the add screen's refusals apply here too.
    if (m_cardName->text().isEmpty())
        return QCoreApplication::translate("Messages", "Card Name must not be blank");
    if (m_accessNumber->text().isEmpty())
        return QCoreApplication::translate("Messages", "Access Number must not be blank");
    if (GetDlgItemText(res::IDC_EDIT_PINOPTION) == pinBaseText() && m_pin->text().isEmpty())
        return QCoreApplication::translate("Messages", "Pin Option field must not be blank");
    if (m_pauseBeforePin->text().isEmpty())
        return QCoreApplication::translate("Messages", "Pause Before Pin must not be blank");
    if (m_pauseBeforeNumber->text().isEmpty())
        return QCoreApplication::translate("Messages", "Pause Before Number must not be blank");
    return {};
}

CardRecord CEditcard::cardFromFields() const
{
    CardRecord card { u16(m_cardName->text()), u16(m_accessNumber->text()), u16(m_pin->text()),
        u16(m_pauseBeforeNumber->text()), u16(m_prefix->text()), u16(m_pauseBeforePin->text()) };
    if (GetDlgItemText(res::IDC_EDIT_PINOPTION) != pinBaseText()) {
        card.pin.clear();
        card.pauseBeforePin.clear();
    }
    return card;
}

// The card being edited may have been deleted since it was selected, by a
// screen stacked over this one or by another copy of the program. Saving
// would then write nothing, so the user is told instead of thanked.
bool CEditcard::isGone() const
{
    return !m_book.find(u16(selectedName()));
}

QString CEditcard::goneText()
{
    return QCoreApplication::translate(
        "Messages", "This card no longer exists: it was deleted meanwhile. Nothing was saved.");
}

void CEditcard::OnSave()
{
    if (const QString refusal = validationFailure(); !refusal.isEmpty()) {
        AppMessageBox(refusal);
        return;
    }
    // Screens stacked over this one may have changed the file meanwhile.
    reload(m_book);
    if (isGone()) {
        AppMessageBox(goneText());
        return;
    }
    // The book still holds the edited card under its old name, so only a
    // second card of the typed name makes a duplicate.
    if (m_book.countNamed(u16(m_cardName->text())) == 2) {
        AppMessageBox(QCoreApplication::translate("Messages", "Card name exist.Please Edit card with different name"));
        ShowHomeScreen();
        return;
    }
    if (!QuestionBox(this, QCoreApplication::translate("Messages", "Telvane information updated sucessfully!!"))) {
        ShowHomeScreen();
        return;
    }
    const std::u16string oldName = u16(selectedName());
    const CardRecord edited = cardFromFields();
    // Another copy of the program may have written while the question was up.
    BookChange change(m_book);
    if (!change)
        return;
    if (isGone()) {
        change.refuse(goneText());
        return;
    }
    // Every card of the old name takes the fields; one save then keeps them
    // all or, failing, none.
    for (int i = 0; i < m_book.count(); ++i)
        if (m_book.slot(i).cardName == oldName)
            m_book.slot(i) = edited;
    if (change.save(SaveMode::Replace))
        OnOK();
}

void CEditcard::OnCancelClicked()
{
    OnCancel();
}
