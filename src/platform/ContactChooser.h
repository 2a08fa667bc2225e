#pragma once

#include <QDialog>

#include <cstdint>

class ContactStore;
class ContactListModel;
struct ContactsLeftOut;
class QLabel;
class QProgressBar;
class QLineEdit;
class QListView;
class QPushButton;

// Status values of the contact operations: negative is failure.
namespace pim {
inline constexpr std::int32_t S_OK = 0;
inline constexpr std::int32_t E_ABORT = static_cast<std::int32_t>(0x80004004u);
inline constexpr std::int32_t E_FAIL = static_cast<std::int32_t>(0x80004005u);
} // namespace pim

// A whole contact is chosen, not one of its properties.
inline constexpr std::uint32_t CCF_CHOOSECONTACTONLY = 2;

struct CHOOSECONTACT {
    std::uint32_t cbSize = 0; // sizeof(CHOOSECONTACT)
    void* hwndOwner = nullptr; // a QWidget*, or null for the active window
    std::uint32_t dwFlags = 0;
    int oidContactID = 0; // out: the chosen contact's oid
};

// Runs the chooser modally. pim::S_OK with cc->oidContactID set when the user
// chose a contact; pim::E_ABORT when they cancelled; pim::E_FAIL when cc is
// not a CHOOSECONTACT or there is no QApplication to show a dialog in.
std::int32_t ChooseContact(CHOOSECONTACT* cc, const ContactStore& store);

// Lists every contact with its numbers and narrows the list as the user types
// a name or a number. Up and Down move through the list while the typing
// goes on; Enter or a double click chooses. Opens at once over a store still
// being read, with a progress bar until the list is in; a line below tells
// what the reader's limits left out.
class ContactChooser : public QDialog {
    Q_OBJECT
public:
    explicit ContactChooser(const ContactStore& store, QWidget* parent = nullptr);
    ~ContactChooser() override;

    int chosenOid() const { return m_chosenOid; }
    int visibleCount() const;

    // "Not listed — beyond the first 100,000 contacts: 3; ...; address books
    // that could not be read: Work", or empty.
    static QString leftOutText(const ContactsLeftOut& left);
    // On a touch screen: the rows, the search field and the buttons at least
    // this many pixels tall; 0 leaves them as the style makes them.
    static void setTouchTargetHeight(int pixels);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void storeReady();
    void applyFilter(const QString& text);
    void choose();
    void updateButtons();

    const ContactStore& m_store;
    ContactListModel* m_model = nullptr;
    QLineEdit* m_search = nullptr;
    QListView* m_list = nullptr;
    QProgressBar* m_progress = nullptr;
    QLabel* m_empty = nullptr;
    QLabel* m_leftOut = nullptr;
    QPushButton* m_ok = nullptr;
    bool m_chooseWhenReady = false;
    int m_chosenOid = 0;
};
