#include "MainCardDlg.h"

#include "CardScreens.h"
#include "DialerDlg.h"
#include "MessageBoxes.h"
#include "ResourceIds.h"

#include <QComboBox>
#include <QCoreApplication>
#include <QLineEdit>

using namespace cardscreens;

CMainCardDlg::CMainCardDlg(QWidget* parent)
    : CDialogBase(res::IDD_MAINCARD, parent)
{
}

void CMainCardDlg::DoDataExchange()
{
    m_hiddenList = item<QComboBox>(res::IDC_ADD_HIDDEN_LIST);
    m_pinOption = item<QComboBox>(res::IDC_ADD_PINOPTION);
    m_cardName = item<QLineEdit>(res::IDC_ADD_CARDNAME);
    m_accessNumber = item<QLineEdit>(res::IDC_ADD_ACCESS);
    m_pin = item<QLineEdit>(res::IDC_ADD_PIN);
    m_pauseBeforeNumber = item<QLineEdit>(res::IDC_ADD_PAUSENUMBER);
    m_prefix = item<QLineEdit>(res::IDC_ADD_PREFIX);
    m_pauseBeforePin = item<QLineEdit>(res::IDC_ADD_PAUSEPIN);
}

// The hidden list 1015 is never shown, so its selection change is not bound.
const MessageMap& CMainCardDlg::messageMap() const
{
    static const MessageMap map = {
        OnClicked(res::IDC_ADD_ADD, &CMainCardDlg::OnAdd),
        OnClicked(res::IDC_ADD_CANCEL, &CMainCardDlg::OnCancelClicked),
        OnSelChange(res::IDC_ADD_PINOPTION, &CMainCardDlg::OnPinOptionChange),
    };
    return map;
}

int CMainCardDlg::keyFilterId() const
{
    return res::IDC_ADD_PIN;
}

bool CMainCardDlg::OnInitDialog()
{
    CDialogBase::OnInitDialog();
    ScrollSetUp();
    ShowItem(res::IDC_ADD_PIN, false);
    AddString(res::IDC_ADD_PINOPTION, pinLessText());
    AddString(res::IDC_ADD_PINOPTION, pinBaseText());
    m_pinOption->setCurrentIndex(m_pinOption->findText(pinLessText())); // second by the sorting, in English
    SetItemReadOnly(res::IDC_ADD_PAUSEPIN, true);
    CardFile::load(m_book);
    LimitText(res::IDC_ADD_PIN, 10);
    LimitText(res::IDC_ADD_PAUSENUMBER, 1);
    LimitText(res::IDC_ADD_PREFIX, 5);
    LimitText(res::IDC_ADD_CARDNAME, 20);
    LimitText(res::IDC_ADD_ACCESS, 15);
    LimitText(res::IDC_ADD_PAUSEPIN, 1);
    return true; // the focus goes to the first tab stop, the card name
}

void CMainCardDlg::OnPinOptionChange()
{
    // The fields keep their texts: a hidden PIN is still stored.
    const bool withPin = GetLBText(res::IDC_ADD_PINOPTION, GetCurSel(res::IDC_ADD_PINOPTION)) == pinBaseText();
    ShowItem(res::IDC_ADD_PIN, withPin);
    SetItemReadOnly(res::IDC_ADD_PAUSEPIN, !withPin);
}

QString CMainCardDlg::validationFailure() const
{
    if (m_cardName->text().isEmpty())
        return QCoreApplication::translate("Messages", "Card Name must not be blank");
    if (m_accessNumber->text().isEmpty())
        return QCoreApplication::translate("Messages", "Access Number must not be blank");
    if (IsItemShown(res::IDC_ADD_PIN)) {
        if (m_pin->text().isEmpty())
            return QCoreApplication::translate("Messages", "Pin Option field must not be blank");
        if (m_pauseBeforePin->text().isEmpty())
            return QCoreApplication::translate("Messages", "Pause Before Pin must not be blank");
    }
    if (m_pauseBeforeNumber->text().isEmpty())
        return QCoreApplication::translate("Messages", "Pause Before Number must not be blank");
    return {};
}

CardRecord CMainCardDlg::cardFromFields() const
{
    return { u16(m_cardName->text()), u16(m_accessNumber->text()), u16(m_pin->text()), u16(m_pauseBeforeNumber->text()),
        u16(m_prefix->text()), u16(m_pauseBeforePin->text()) };
}

// A name the book already holds is refused, and a fresh add screen opened.
void CMainCardDlg::refuseDuplicate()
{
    AppMessageBox(QCoreApplication::translate("Messages", "Card name exist.Please add card with different name"));
    CMainCardDlg again(this);
    again.DoModal();
}

void CMainCardDlg::OnAdd()
{
    if (const QString refusal = validationFailure(); !refusal.isEmpty()) {
        AppMessageBox(refusal);
        return;
    }
    // Screens stacked over this one may have changed the file since it opened.
    reload(m_book);
    const CardRecord card = cardFromFields();
    if (m_book.find(card.cardName)) {
        refuseDuplicate();
        return;
    }
    if (m_book.count() == CardBook::kSlots) {
        AppMessageBox(bookFullText());
        return;
    }
    if (!QuestionBox(this, QCoreApplication::translate("Messages", "Are you sure you want to add this Telvane?"))) {
        ShowHomeScreen();
        return;
    }
    // Another copy of the program may have written while the question was up,
    // even a card of this very name.
    BookChange change(m_book);
    if (!change)
        return;
    if (m_book.find(card.cardName)) {
        change.end();
        refuseDuplicate();
        return;
    }
    if (!m_book.append(card)) {
        change.refuse(bookFullText());
        return;
    }
    if (change.save(SaveMode::Replace))
        ShowHomeScreen();
}

void CMainCardDlg::OnCancelClicked()
{
    ShowHomeScreen();
}
