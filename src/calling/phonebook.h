#pragma once

// The contact picker: takes a contact's mobile number and file-as name into
// the make-call screen that g_pPhonecallDlg designates.
class phonebook {
public:
    void PickContact();
};
