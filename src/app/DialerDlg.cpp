#include "DialerDlg.h"

#include "CallPlacement.h"
#include "CardFile.h"
#include "ConfirmcallDlg.h"
#include "DeletecardDlg.h"
#include "EditcardDlg.h"
#include "MainCardDlg.h"
#include "MessageBoxes.h"
#include "PhonecallDlg.h"
#include "PhoneLayout.h"
#include "PhoneService.h"
#include "ResourceIds.h"
#include "TelLink.h"

#include <QApplication>
#include <QLabel>
#include <QPushButton>

#include <cstdlib>

CDialerApp theApp;

namespace {

// Constructs a screen, runs it over the home screen and destroys it; the
// result is not looked at.
template <class Screen> void runScreen(QWidget* owner)
{
    Screen screen(owner);
    screen.DoModal();
}

} // namespace

// Loaded once and shared by the application object and every home screen, as
// the handheld shared a loaded icon resource. Title and task bars draw it at
// 64 pixels or less; the 256-pixel original took ten times as long to decode.
const QIcon& applicationIcon()
{
    static const QIcon icon(resourcePng(QStringLiteral(":/res/icon-64.png")));
    return icon;
}

CDialerDlg::CDialerDlg(QWidget* parent)
    : CDialogBase(res::IDD_DIALER, parent)
    , m_hIcon(applicationIcon())
{
}

void CDialerDlg::DoDataExchange()
{
    m_exitButton = item<QPushButton>(res::IDC_EXIT);
    m_productLabel = item<QLabel>(res::IDC_PRODUCT_LABEL);
}

const MessageMap& CDialerDlg::messageMap() const
{
    static const MessageMap map = {
        OnClicked(res::IDC_ADD, &CDialerDlg::OnAdd),
        OnClicked(res::IDC_MAKECALL, &CDialerDlg::OnMakeCall),
        OnClicked(res::IDC_EDIT, &CDialerDlg::OnEditCard),
        OnClicked(res::IDC_DELETE, &CDialerDlg::OnDeleteCard),
        OnClicked(res::IDC_EXIT, &CDialerDlg::OnExit),
    };
    return map;
}

bool CDialerDlg::OnInitDialog()
{
    CDialogBase::OnInitDialog();
    setWindowIcon(m_hIcon);
    m_labelFont = fontFromLogFont(phonelayout::scaled(this, { 16, 8, 1, QStringLiteral("MS Sans Serif") }));
    m_productLabel->setFont(m_labelFont);
    CardFile::load(m_book);
    return false; // focus goes to the first tab stop, "Add Telvane"
}

bool CDialerDlg::cardAvailable() const
{
    return m_book.count() != 0;
}

void CDialerDlg::OnAdd()
{
    runScreen<CMainCardDlg>(this);
}

void CDialerDlg::OnMakeCall()
{
    if (!cardAvailable()) {
        AppMessageBox(QCoreApplication::translate("Messages", "Card is not Available"));
        return;
    }
    runScreen<Cphonecall>(this);
}

void CDialerDlg::OnEditCard()
{
    if (!cardAvailable()) {
        AppMessageBox(QCoreApplication::translate("Messages", "Card is not Available"));
        return;
    }
    runScreen<CEditcard>(this);
}

void CDialerDlg::OnDeleteCard()
{
    if (!cardAvailable()) {
        AppMessageBox(QCoreApplication::translate("Messages", "Card is not Available"));
        return;
    }
    runScreen<CDeletecard>(this);
}

void CDialerDlg::OnExit()
{
    if (!QuestionBox(this,
            QCoreApplication::translate("Messages", "Are you sure you want to exit Application, Press OK to Quit")))
        return;
    auto& phone = phone::PhoneService::instance();
    if (phone.activeCalls() == 0)
        std::exit(0); // every stacked screen goes with the process
    // A call left up would go on with nobody to end it.
    if (!QuestionBox(this, QCoreApplication::translate("Messages", "A call is in progress. Hang up and quit?")))
        return;
    setEnabled(false);
    phone.hangUpAll(std::chrono::seconds(5), [] { std::exit(0); });
}

void ShowHomeScreen()
{
    CDialerDlg home(CDialogBase::topScreen());
    home.DoModal();
}

// A number that passed the link checks fits the box whole.
static_assert(tellink::kMaxNumberLength == Cphonecall::kNumberLimit);

void OpenMakeCallFor(const QString& number)
{
    CardBook book;
    CardFile::load(book);
    // An emergency number needs no card: it is called directly.
    if (book.count() == 0 && IsEmergencyNumber(number)) {
        OfferEmergencyCall(CDialogBase::topScreen(), number, {});
        return;
    }
    if (book.count() == 0) {
        AppMessageBox(QCoreApplication::translate("Messages", "Card is not Available"));
        return;
    }
    Cphonecall screen(CDialogBase::topScreen(), number);
    screen.DoModal();
}

bool CDialerApp::InitInstance()
{
    // Named only; nothing is ever stored under it.
    m_registryKey = QStringLiteral("Local AppWizard-Generated Applications");
    {
        CDialerDlg dlg;
        dlg.DoModal();
    }
    return false;
}
