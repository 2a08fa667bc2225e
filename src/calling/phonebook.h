#pragma once

#include "DialogBase.h"

#include <QString>

#include <cstdint>
#include <memory>

class ContactStore;

// The contact picker: takes a contact's mobile number and file-as name into
// the make-call screen that g_pPhonecallDlg designates. Built on its own
// template but never shown: the only window of a pick is the chooser.
class phonebook : public CDialogBase {
    Q_OBJECT
public:
    explicit phonebook(QWidget* parent = nullptr);
    ~phonebook() override;

    // One whole pick: open the store, let the user choose, close the store.
    // Every failure is silent and leaves the make-call screen as it was.
    void PickContact();

private:
    std::int32_t OpenContactStore();
    void ReadChosenContact();
    std::int32_t CloseContactStore();

    std::unique_ptr<ContactStore> m_store;
    QString m_mobile;
    QString m_fileAs;
};

// The contact store while a pick has it open; null between picks.
extern ContactStore* g_pOutlookApp;

// A mobile number as the number box takes it: spaces, parentheses and
// hyphens removed, in that order; everything else kept.
QString CleanPhoneNumber(QString number);
