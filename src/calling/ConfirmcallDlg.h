#pragma once

#include "DialogBase.h"
#include "DialString.h"

#include <QFont>

class QLabel;

// The last step before a call: shows contact, number and card taken from the
// make-call screen beneath, and on Ok composes the dial string and places it.
class CConfirmcall : public CDialogBase {
    Q_OBJECT
public:
    explicit CConfirmcall(QWidget* parent = nullptr);

    void reject() override;

protected:
    bool OnInitDialog() override;
    void DoDataExchange() override;
    const MessageMap& messageMap() const override;

private:
    void OnPlaceCall();
    void OnReturnHome();

    QFont m_headingFont;
    QLabel* m_heading = nullptr;
    QLabel* m_selectedLabel = nullptr;
    QLabel* m_contactLabel = nullptr;
    QLabel* m_numberLabel = nullptr;
    QLabel* m_cardNameLabel = nullptr;
    QLabel* m_phoneNumber = nullptr;
    QLabel* m_contact = nullptr;
    QLabel* m_cardName = nullptr;
    // The composition's working values: access number, PIN in use and the
    // two pause counts, meaningful only while Ok composes.
    DialWorkingValues m_work;
    bool m_placing = false; // Ok is waiting for the phone service
};

// Routes the phone service's late failures (the call ended before its tones,
// tones refused, modem gone) to the standard message box. Idempotent; the
// confirmation screen calls it, and start-up may call it earlier.
void InstallCallFailureNotice();
