#pragma once

#include "CardBook.h"
#include "DialogBase.h"

#include <QFont>
#include <QIcon>

class QLabel;
class QPushButton;

// The home screen: the hub that opens every other screen.
class CDialerDlg : public CDialogBase {
    Q_OBJECT
public:
    explicit CDialerDlg(QWidget* parent = nullptr);

    const CardBook& book() const { return m_book; }
    const QFont& labelFont() const { return m_labelFont; }

protected:
    bool OnInitDialog() override;
    void DoDataExchange() override;
    const MessageMap& messageMap() const override;
    VScroll vscrollMode() const override { return VScroll::Handler; }

private:
    void OnAdd();
    void OnMakeCall();
    void OnEditCard();
    void OnDeleteCard();
    void OnExit();
    // A card is available when the book loaded at opening has one.
    bool cardAvailable() const;

    QFont m_labelFont;
    QIcon m_hIcon;
    QPushButton* m_exitButton = nullptr;
    QLabel* m_productLabel = nullptr;
    CardBook m_book;
};

// The application's icon, group icon 131: the windows' and every home
// screen's m_hIcon.
const QIcon& applicationIcon();

// Runs a new home screen modally over the screen on top and returns when it
// closes. Also the return-to-home action of the add-card, make-call and
// confirmation screens' Cancel buttons.
void ShowHomeScreen();

// What the home screen's Make Call does, for a number from a tel: link: a
// make-call screen with the number filled in over the screen on top, or
// "Card is not Available" when the card file has no card; an emergency
// number is then offered to be called directly.
void OpenMakeCallFor(const QString& number);

// The application object: runs the first home screen.
class CDialerApp {
public:
    // Returns false: the application ends when the first home screen does.
    bool InitInstance();
    const QString& registryKey() const { return m_registryKey; }

private:
    QString m_registryKey;
};

extern CDialerApp theApp;
