#include "DeletecardDlg.h"

#include "CardScreens.h"
#include "DialerDlg.h"
#include "MessageBoxes.h"
#include "ResourceIds.h"

#include <QComboBox>
#include <QCoreApplication>
#include <QLabel>
#include <QLineEdit>

using namespace cardscreens;

namespace {
QString cardList()
{
    return QCoreApplication::translate("DialogTemplates", "Card List");
}
} // namespace

CDeletecard::CDeletecard(QWidget* parent)
    : CDialogBase(res::IDD_DELETECARD, parent)
{
}

void CDeletecard::DoDataExchange()
{
    m_cardList = item<QComboBox>(res::IDC_DEL_CARDLIST);
    m_cardName = item<QLineEdit>(res::IDC_DEL_CARDNAME);
    m_nameLabel = item<QLabel>(res::IDC_DEL_NAMELABEL);
}

const MessageMap& CDeletecard::messageMap() const
{
    static const MessageMap map = {
        OnClicked(res::IDC_DEL_DELETE, &CDeletecard::OnDelete),
        OnClicked(res::IDC_DEL_CANCEL, &CDeletecard::OnCancelClicked),
        OnSelChange(res::IDC_DEL_CARDLIST, &CDeletecard::OnCardSelect),
    };
    return map;
}

bool CDeletecard::OnInitDialog()
{
    CDialogBase::OnInitDialog();
    // A drop-down list shows its text only for an entry; with nothing
    // selected the placeholder stands in for "Card List".
    m_cardList->setPlaceholderText(cardList());
    m_cardList->setCurrentIndex(-1);
    const LoadResult loaded = CardFile::load(m_book);
    for (const QString& name : completeNames(m_book, loaded))
        AddString(res::IDC_DEL_CARDLIST, name);
    showName(false);
    return true;
}

void CDeletecard::showName(bool show)
{
    ShowItem(res::IDC_DEL_CARDNAME, show);
    ShowItem(res::IDC_DEL_NAMELABEL, show);
}

void CDeletecard::OnCardSelect()
{
    showName(true);
    const std::u16string name = u16(GetLBText(res::IDC_DEL_CARDLIST, GetCurSel(res::IDC_DEL_CARDLIST)));
    for (int i = 0; i < m_book.count(); ++i)
        if (m_book.slot(i).cardName == name)
            SetDlgItemText(res::IDC_DEL_CARDNAME, qs(m_book.slot(i).cardName));
}

void CDeletecard::OnDelete()
{
    const int selected = GetCurSel(res::IDC_DEL_CARDLIST);
    if (selected < 0) {
        AppMessageBox(QCoreApplication::translate("Messages", "Please select Card"));
        showName(false);
        return;
    }
    if (!QuestionBox(this, QCoreApplication::translate("Messages", "Are you sure you want to delete this Telvane?"))) {
        SaveAndReturn();
        showName(false);
        return;
    }
    const std::u16string name = u16(GetLBText(res::IDC_DEL_CARDLIST, selected));
    // Screens stacked over this one, or another copy of the program, may have
    // changed the file meanwhile.
    BookChange change(m_book);
    if (!change)
        return;
    // A card gone meanwhile leaves the file as it should be: nothing to write.
    if (const std::optional<int> slot = m_book.find(name)) {
        m_book.removeAt(*slot);
        if (!change.save(SaveMode::InPlace))
            return;
    }
    change.end();
    DeleteString(res::IDC_DEL_CARDLIST, selected);
    SetDlgItemText(res::IDC_DEL_CARDNAME, QString());
    m_cardList->setCurrentIndex(-1); // shows "Card List" again
    ShowHomeScreen();
    showName(false);
}

// The same cards are written again, as they are in the file now: the book
// loaded at opening may be older than what screens stacked over this one
// wrote. A refusal or failure is told, and the user still goes home.
void CDeletecard::SaveAndReturn()
{
    if (BookChange change(m_book); change)
        change.save(SaveMode::InPlace);
    ShowHomeScreen();
}

void CDeletecard::OnCancelClicked()
{
    SaveAndReturn();
}
