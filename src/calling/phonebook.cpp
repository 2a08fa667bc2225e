#include "phonebook.h"

#include "ContactChooser.h"
#include "ContactStore.h"
#include "HomeCountry.h"
#include "PhonecallDlg.h"
#include "PhoneNumbers.h"
#include "ResourceIds.h"

#include <array>

ContactStore* g_pOutlookApp = nullptr;

QString CleanPhoneNumber(QString number)
{
    static const std::array<QString, 4> removed { QStringLiteral(" "), QStringLiteral("("), QStringLiteral(")"),
        QStringLiteral("-") };
    for (const QString& c : removed)
        number.replace(c, QString());
    return number;
}

phonebook::phonebook(QWidget* parent)
    : CDialogBase(res::IDD_PHONEBOOK, parent)
{
}

phonebook::~phonebook() = default;

void phonebook::PickContact()
{
    if (OpenContactStore() >= 0)
        ReadChosenContact();
    CloseContactStore();
}

std::int32_t phonebook::OpenContactStore()
{
    // The contacts are read on a worker thread: the chooser opens at once
    // and fills when they are in.
    m_store = std::make_unique<ContactStore>();
    g_pOutlookApp = m_store.get();
    g_pOutlookApp->logon();
    return pim::S_OK;
}

void phonebook::ReadChosenContact()
{
    CHOOSECONTACT cc {};
    cc.cbSize = sizeof cc;
    cc.dwFlags = CCF_CHOOSECONTACTONLY;
    if (ChooseContact(&cc, *g_pOutlookApp) < 0)
        return;
    const Contact* contact = g_pOutlookApp->itemFromOid(cc.oidContactID);
    if (!contact)
        return;
    m_mobile = contact->mobile;
    if (m_mobile.isEmpty())
        return;
    // Read against the home country: a number stored in its national form
    // would go through a card's prefix as a wrong number.
    m_mobile = numbers::boxForm(m_mobile, CleanPhoneNumber(m_mobile), HomeCountry::instance().current());
    m_fileAs = contact->fileAs;
    // The make-call screen that ran this pick is still open beneath it.
    if (!g_pPhonecallDlg)
        return;
    g_pPhonecallDlg->SetDlgItemText(res::IDC_CALL_NUMBER, m_mobile);
    g_pPhonecallDlg->SetDlgItemText(res::IDC_CALL_CONTACTNAME, m_fileAs);
}

std::int32_t phonebook::CloseContactStore()
{
    if (!g_pOutlookApp)
        return pim::E_FAIL;
    // Stops a reading still under way: a cancelled chooser ends it.
    g_pOutlookApp->logoff();
    g_pOutlookApp = nullptr;
    m_store.reset();
    return pim::S_OK;
}
