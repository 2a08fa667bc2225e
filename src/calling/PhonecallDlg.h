#pragma once

#include "CardBook.h"
#include "DialogBase.h"

#include <QPointer>

class QComboBox;
class QLabel;
class QLineEdit;

// The make-call screen: the card to call through and the number to call.
// The chosen card lives only in the card-name box and the five hidden fields;
// the confirmation screen and the contact picker read and write those texts
// through g_pPhonecallDlg, with GetDlgItemText and SetDlgItemText.
class Cphonecall : public CDialogBase {
    Q_OBJECT
public:
    // The most characters the phone-number box takes.
    static constexpr int kNumberLimit = 20;

    // `number`, from a tel: link, is put in the phone-number box on opening.
    explicit Cphonecall(QWidget* parent = nullptr, const QString& number = {});
    ~Cphonecall() override;

    void reject() override;

protected:
    bool OnInitDialog() override;
    void DoDataExchange() override;
    const MessageMap& messageMap() const override;
    VScroll vscrollMode() const override { return VScroll::Ignored; }
    int keyFilterId() const override;

private:
    void OnContacts();
    void OnRecentCalls();
    void OnDial();
    void OnSelchangeCardList();
    void OnReturnHome();
    // The link's number as the number box shows it: international against
    // the home country, which the modem may name only after the box is shown.
    void showLinkNumber();

    QLineEdit* m_phoneNumber = nullptr;
    QComboBox* m_cardList = nullptr;
    CardBook m_book;
    QLineEdit* m_cardName = nullptr;
    QLabel* m_contactName = nullptr;
    QLabel* m_accessNumber = nullptr;
    QLabel* m_pauseBeforeNumber = nullptr;
    QLabel* m_pin = nullptr;
    QLabel* m_pauseBeforePin = nullptr;
    QLabel* m_prefix = nullptr;
    QString m_linkNumber;
    QString m_linkShown; // what showLinkNumber() last put in the box
    // The make-call screen this one displaced in g_pPhonecallDlg.
    QPointer<Cphonecall> m_previous;
};

// The most recently constructed make-call screen that is still alive, or null.
extern Cphonecall* g_pPhonecallDlg;
