#include "DialogTemplates.h"

#include "ResourceIds.h"

#include <QtGlobal>

#include <map>

namespace {

using K = ControlKind;
using namespace cs;

const QString kLogo = QStringLiteral(":/res/logo.png");
const QString kCaption = QStringLiteral("Quorin Dialer");
const QString kShellDlg = QStringLiteral("MS Shell Dlg");

constexpr std::uint32_t kEdit = Border | AutoHScroll | TabStop;
constexpr std::uint32_t kList = Sorted | VScroll | TabStop;

// The texts are marked for the translation tools and translated where the
// controls are made; names (the product's, the window's) and placeholders
// that the screens replace before showing stay as they are.
// The tables below read like the templates they are: kept as laid out.
// clang-format off
std::map<int, DialogTemplate> buildTemplates()
{
    std::map<int, DialogTemplate> t;
    t[res::IDD_DIALER] = {res::IDD_DIALER, kCaption, 170, 161, QStringLiteral("MS Sans Serif"), 8,
        0x90C00040u, 0x80040000u,
        {
            {res::IDC_HOME_LOGO, K::Picture, kLogo, {40, 0, 67, 20}, 0},
            {res::IDC_ADD, K::Button, QStringLiteral(QT_TRANSLATE_NOOP("DialogTemplates", "Add Telvane")), {30, 26, 100, 14}, TabStop},
            {res::IDC_MAKECALL, K::Button, QStringLiteral(QT_TRANSLATE_NOOP("DialogTemplates", "Make Call")), {30, 46, 100, 14}, TabStop},
            {res::IDC_EDIT, K::Button, QStringLiteral(QT_TRANSLATE_NOOP("DialogTemplates", "Edit Telvane")), {30, 66, 100, 14}, TabStop},
            {res::IDC_DELETE, K::Button, QStringLiteral(QT_TRANSLATE_NOOP("DialogTemplates", "Delete Telvane")), {31, 87, 100, 14}, TabStop},
            {res::IDC_EXIT, K::Button, QStringLiteral(QT_TRANSLATE_NOOP("DialogTemplates", "Exit")), {53, 117, 50, 14}, TabStop},
            {res::IDC_PRODUCT_LABEL, K::Label, QStringLiteral("Telvane  Dialer"), {34, 142, 98, 11}, 0},
        }};
    t[res::IDD_MAINCARD] = {res::IDD_MAINCARD, kCaption, 180, 174, kShellDlg, 8, 0x90C00040u, 0x80040000u,
        {
            {res::IDC_ADD_LOGO, K::Picture, kLogo, {40, 0, 78, 20}, 0},
            {1010, K::Label, QStringLiteral(QT_TRANSLATE_NOOP("DialogTemplates", "Card Name")), {7, 24, 42, 8}, 0},
            {1011, K::Label, QStringLiteral(QT_TRANSLATE_NOOP("DialogTemplates", "Access Number")), {7, 42, 32, 18}, MultiLine},
            {1012, K::Label, QStringLiteral(QT_TRANSLATE_NOOP("DialogTemplates", "Pin Option")), {7, 64, 44, 8}, 0},
            {1013, K::Label, QStringLiteral(QT_TRANSLATE_NOOP("DialogTemplates", "Pause Before Number")), {7, 118, 46, 21}, MultiLine},
            {1014, K::Label, QStringLiteral(QT_TRANSLATE_NOOP("DialogTemplates", "Prefix")), {7, 82, 20, 8}, 0},
            {res::IDC_ADD_HIDDEN_LIST, K::DropList, {}, {56, 24, 44, 30}, kList | Hidden},
            {res::IDC_ADD_CARDNAME, K::Edit, {}, {56, 24, 75, 14}, kEdit},
            {res::IDC_ADD_ACCESS, K::Edit, {}, {56, 43, 75, 14}, kEdit | Number},
            {res::IDC_ADD_PINOPTION, K::DropList, {}, {56, 62, 44, 30}, kList},
            {res::IDC_ADD_PIN, K::Edit, {}, {102, 62, 47, 13}, kEdit},
            {res::IDC_ADD_PAUSENUMBER, K::Edit, {}, {56, 119, 75, 14}, kEdit | Number},
            {res::IDC_ADD_PREFIX, K::Edit, {}, {56, 81, 75, 14}, kEdit | Number},
            {res::IDC_ADD_ADD, K::Button, QStringLiteral(QT_TRANSLATE_NOOP("DialogTemplates", "Add")), {21, 142, 50, 14}, TabStop},
            {res::IDC_ADD_CANCEL, K::Button, QStringLiteral(QT_TRANSLATE_NOOP("DialogTemplates", "Cancel")), {85, 142, 50, 14}, TabStop},
            {res::IDC_ADD_PAUSEPIN, K::Edit, {}, {56, 100, 75, 14}, kEdit | Number},
            {1077, K::Label, QStringLiteral(QT_TRANSLATE_NOOP("DialogTemplates", "Pause Before Pin")), {7, 99, 46, 21}, MultiLine},
        }};
    t[res::IDD_PHONEBOOK] = {res::IDD_PHONEBOOK, QStringLiteral("Dialog"), 131, 118, kShellDlg, 8,
        0x80C80000u, 0, {}};
    t[res::IDD_PHONECALL] = {res::IDD_PHONECALL, kCaption, 165, 145, kShellDlg, 8, 0x80C80000u, 0,
        {
            {res::IDC_CALL_DIAL, K::Button, QStringLiteral(QT_TRANSLATE_NOOP("DialogTemplates", "Dial")), {20, 99, 50, 14}, TabStop},
            {res::IDC_CALL_CANCEL, K::Button, QStringLiteral(QT_TRANSLATE_NOOP("DialogTemplates", "Cancel")), {89, 99, 50, 14}, TabStop},
            {1030, K::Label, QStringLiteral(QT_TRANSLATE_NOOP("DialogTemplates", "Phone Number")), {7, 67, 53, 8}, 0},
            {res::IDC_CALL_NUMBER, K::Edit, {}, {65, 66, 86, 14}, kEdit},
            {1036, K::Label, QStringLiteral(QT_TRANSLATE_NOOP("DialogTemplates", "Card List")), {7, 27, 40, 8}, 0},
            {res::IDC_CALL_CARDLIST, K::DropList, {}, {65, 26, 55, 30}, kList},
            {res::IDC_CALL_CARDNAME, K::Edit, {}, {65, 46, 86, 14}, kEdit | ReadOnly},
            {1037, K::Label, QStringLiteral(QT_TRANSLATE_NOOP("DialogTemplates", "Card Name")), {7, 47, 46, 8}, 0},
            {res::IDC_CALL_LOGO, K::Picture, kLogo, {40, 0, 67, 20}, 0},
            {res::IDC_CALL_CONTACTNAME, K::Label, {}, {14, 126, 10, 8}, Hidden},
            {res::IDC_CALL_ACCESS, K::Label, QStringLiteral(QT_TRANSLATE_NOOP("DialogTemplates", "Access Number")), {41, 127, 50, 8}, Hidden},
            {res::IDC_CALL_PAUSENUMBER, K::Label, QStringLiteral("pause"), {100, 126, 20, 8}, Hidden},
            {res::IDC_CALL_PIN, K::Label, {}, {134, 127, 10, 8}, Hidden},
            {res::IDC_CALL_PAUSEPIN, K::Label, QStringLiteral("Pause1"), {134, 120, 24, 8}, Hidden},
            {1080, K::Label, QStringLiteral(QT_TRANSLATE_NOOP("DialogTemplates", "( CC + AC + Number )")), {70, 82, 74, 8}, 0},
            {res::IDC_CALL_PREFIX, K::Label, QStringLiteral(QT_TRANSLATE_NOOP("DialogTemplates", "Prefix")), {7, 119, 20, 8}, Hidden},
        }};
    t[res::IDD_CONFIRMCALL] = {res::IDD_CONFIRMCALL, kCaption, 180, 142, kShellDlg, 8, 0x90C00040u,
        0x80040000u,
        {
            {res::IDC_CONFIRM_LOGO, K::Picture, kLogo, {40, 0, 67, 20}, 0},
            {res::IDC_CONFIRM_HEADING, K::Label, QStringLiteral(QT_TRANSLATE_NOOP("DialogTemplates", "Confirm")), {7, 18, 74, 15}, 0},
            {1066, K::Label, QStringLiteral(QT_TRANSLATE_NOOP("DialogTemplates", "You have selected to dial")), {7, 35, 102, 8}, 0},
            {1067, K::Label, QStringLiteral(QT_TRANSLATE_NOOP("DialogTemplates", "Contact")), {7, 50, 32, 8}, 0},
            {1068, K::Label, QStringLiteral(QT_TRANSLATE_NOOP("DialogTemplates", "Phone Number")), {7, 65, 53, 8}, 0},
            {1037, K::Label, QStringLiteral(QT_TRANSLATE_NOOP("DialogTemplates", "Card Name")), {7, 80, 43, 8}, 0},
            {res::IDC_CONFIRM_CONTACT, K::Label, QStringLiteral("Static"), {65, 50, 77, 8}, 0},
            {res::IDC_CONFIRM_NUMBER, K::Label, QStringLiteral("Static"), {65, 65, 82, 8}, 0},
            {res::IDC_CONFIRM_CARDNAME, K::Label, QStringLiteral("Static"), {65, 80, 81, 8}, 0},
            {res::IDC_CONFIRM_OK, K::Button, QStringLiteral(QT_TRANSLATE_NOOP("DialogTemplates", "Ok")), {25, 103, 50, 14}, TabStop},
            {res::IDC_CONFIRM_CANCEL, K::Button, QStringLiteral(QT_TRANSLATE_NOOP("DialogTemplates", "Cancel")), {94, 103, 50, 14}, TabStop},
        }};
    t[res::IDD_CALLSCREEN] = {res::IDD_CALLSCREEN, kCaption, 180, 212, kShellDlg, 8, 0x90C00040u, 0x80040000u,
        {
            {res::IDC_CS_LOGO, K::Picture, kLogo, {40, 0, 67, 20}, 0},
            {1101, K::Label, QStringLiteral(QT_TRANSLATE_NOOP("DialogTemplates", "Card Name")), {7, 22, 50, 8}, 0},
            {res::IDC_CS_CARDNAME, K::Label, {}, {60, 22, 113, 8}, 0},
            {1103, K::Label, QStringLiteral(QT_TRANSLATE_NOOP("DialogTemplates", "Phone Number")), {7, 32, 50, 8}, 0},
            {res::IDC_CS_NUMBER, K::Label, {}, {60, 32, 113, 8}, 0},
            {1105, K::Label, QStringLiteral(QT_TRANSLATE_NOOP("DialogTemplates", "Contact")), {7, 42, 50, 8}, 0},
            {res::IDC_CS_CONTACT, K::Label, {}, {60, 42, 113, 8}, 0},
            {res::IDC_CS_STATE, K::Label, {}, {7, 55, 120, 10}, 0},
            {res::IDC_CS_TIMER, K::Label, {}, {130, 55, 43, 10}, 0},
            {res::IDC_CS_PROGRESS, K::Label, {}, {7, 67, 166, 26}, MultiLine},
            {res::IDC_CS_SEND, K::Button, {}, {7, 96, 110, 14}, TabStop},
            {res::IDC_CS_DONTSEND, K::Button, QStringLiteral(QT_TRANSLATE_NOOP("DialogTemplates", "Don't send")), {122, 96, 51, 14}, TabStop},
            {1112, K::Button, QStringLiteral("1"), {25, 114, 40, 14}, TabStop},
            {1113, K::Button, QStringLiteral("2"), {70, 114, 40, 14}, TabStop},
            {1114, K::Button, QStringLiteral("3"), {115, 114, 40, 14}, TabStop},
            {1115, K::Button, QStringLiteral("4"), {25, 131, 40, 14}, TabStop},
            {1116, K::Button, QStringLiteral("5"), {70, 131, 40, 14}, TabStop},
            {1117, K::Button, QStringLiteral("6"), {115, 131, 40, 14}, TabStop},
            {1118, K::Button, QStringLiteral("7"), {25, 148, 40, 14}, TabStop},
            {1119, K::Button, QStringLiteral("8"), {70, 148, 40, 14}, TabStop},
            {1120, K::Button, QStringLiteral("9"), {115, 148, 40, 14}, TabStop},
            {1121, K::Button, QStringLiteral("*"), {25, 165, 40, 14}, TabStop},
            {1122, K::Button, QStringLiteral("0"), {70, 165, 40, 14}, TabStop},
            {1123, K::Button, QStringLiteral("#"), {115, 165, 40, 14}, TabStop},
            {res::IDC_CS_SPEAKER, K::Button, QStringLiteral(QT_TRANSLATE_NOOP("DialogTemplates", "Speaker")), {7, 188, 50, 14}, TabStop},
            {res::IDC_CS_MUTE, K::Button, QStringLiteral(QT_TRANSLATE_NOOP("DialogTemplates", "Mute")), {62, 188, 50, 14}, TabStop},
            {res::IDC_CS_HANGUP, K::Button, QStringLiteral(QT_TRANSLATE_NOOP("DialogTemplates", "Hang up")), {117, 188, 56, 14}, TabStop},
        }};
    t[res::IDD_DELETECARD] = {res::IDD_DELETECARD, kCaption, 180, 106, kShellDlg, 8, 0x90C00040u,
        0x80040000u,
        {
            {1041, K::Label, QStringLiteral(QT_TRANSLATE_NOOP("DialogTemplates", "Card List")), {7, 29, 35, 8}, 0},
            {res::IDC_DEL_NAMELABEL, K::Label, QStringLiteral(QT_TRANSLATE_NOOP("DialogTemplates", "Card Name")), {7, 48, 42, 8}, 0},
            {res::IDC_DEL_DELETE, K::Button, QStringLiteral(QT_TRANSLATE_NOOP("DialogTemplates", "Delete")), {18, 72, 50, 14}, TabStop},
            {res::IDC_DEL_CANCEL, K::Button, QStringLiteral(QT_TRANSLATE_NOOP("DialogTemplates", "Cancel")), {85, 72, 50, 14}, TabStop},
            {res::IDC_DEL_CARDLIST, K::DropList, {}, {60, 26, 55, 30}, kList},
            {res::IDC_DEL_CARDNAME, K::Edit, {}, {60, 46, 76, 14}, kEdit | ReadOnly},
            {res::IDC_DEL_LOGO, K::Picture, kLogo, {40, 0, 67, 20}, 0},
        }};
    t[res::IDD_EDITCARD] = {res::IDD_EDITCARD, kCaption, 180, 180, kShellDlg, 8, 0x90C00040u, 0x80040000u,
        {
            {1047, K::Label, QStringLiteral(QT_TRANSLATE_NOOP("DialogTemplates", "Card List")), {7, 21, 34, 8}, 0},
            {res::IDC_EDIT_CARDLIST, K::DropList, {}, {56, 21, 55, 30}, kList},
            {1049, K::Label, QStringLiteral(QT_TRANSLATE_NOOP("DialogTemplates", "Card Name")), {7, 38, 42, 8}, 0},
            {1050, K::Label, QStringLiteral(QT_TRANSLATE_NOOP("DialogTemplates", "Access Number")), {7, 56, 34, 15}, MultiLine},
            {1051, K::Label, QStringLiteral(QT_TRANSLATE_NOOP("DialogTemplates", "Pin Option")), {7, 76, 39, 8}, 0},
            {1052, K::Label, QStringLiteral(QT_TRANSLATE_NOOP("DialogTemplates", "Pause Before Pin")), {7, 109, 46, 20}, MultiLine},
            {1053, K::Label, QStringLiteral(QT_TRANSLATE_NOOP("DialogTemplates", "Prefix")), {7, 92, 25, 8}, 0},
            {res::IDC_EDIT_CARDNAME, K::Edit, {}, {56, 38, 80, 14}, kEdit},
            {res::IDC_EDIT_ACCESS, K::Edit, {}, {56, 56, 80, 14}, kEdit | Number},
            {res::IDC_EDIT_PIN, K::Edit, {}, {102, 74, 47, 13}, kEdit},
            {res::IDC_EDIT_PAUSENUMBER, K::Edit, {}, {56, 128, 80, 14}, kEdit | Number},
            {res::IDC_EDIT_PREFIX, K::Edit, {}, {56, 92, 80, 14}, kEdit | Number},
            {res::IDC_EDIT_SAVE, K::Button, QStringLiteral(QT_TRANSLATE_NOOP("DialogTemplates", "Save")), {18, 148, 50, 14}, TabStop},
            {res::IDC_EDIT_CANCEL, K::Button, QStringLiteral(QT_TRANSLATE_NOOP("DialogTemplates", "Cancel")), {81, 148, 50, 14}, TabStop},
            {res::IDC_EDIT_LOGO, K::Picture, kLogo, {40, 0, 67, 20}, 0},
            {1078, K::Label, QStringLiteral(QT_TRANSLATE_NOOP("DialogTemplates", "Pause Before Number")), {7, 128, 46, 20}, MultiLine},
            {res::IDC_EDIT_PAUSEPIN, K::Edit, {}, {56, 110, 80, 14}, kEdit | Number},
            {res::IDC_EDIT_PINOPTION, K::DropCombo, {}, {56, 74, 44, 30}, kList},
        }};
    return t;
}
// clang-format on

const std::map<int, DialogTemplate>& templates()
{
    static const std::map<int, DialogTemplate> all = buildTemplates();
    return all;
}

} // namespace

const DialogTemplate& dialogTemplate(int id)
{
    const auto it = templates().find(id);
    if (it == templates().end())
        qFatal("unknown dialog template %d", id);
    return it->second;
}

const std::vector<int>& dialogTemplateIds()
{
    static const std::vector<int> ids = [] {
        std::vector<int> v;
        for (const auto& [id, tpl] : templates())
            v.push_back(id);
        return v;
    }();
    return ids;
}

const MenuTemplate& phonebookMenu()
{
    // The control key keeps a shortcut from typing into the field that has the focus.
    static const MenuTemplate menu { QStringLiteral(QT_TRANSLATE_NOOP("DialogTemplates", "Phonebook")),
        {
            { QStringLiteral(QT_TRANSLATE_NOOP("DialogTemplates", "Contacts")), res::ID_PHONEBOOK_CONTACTS,
                Qt::CTRL | Qt::Key_P },
            { QStringLiteral(QT_TRANSLATE_NOOP("DialogTemplates", "Recent Calls")), res::ID_PHONEBOOK_RECENT,
                Qt::CTRL | Qt::Key_R },
        } };
    return menu;
}
