#pragma once

// Resource and control ids. The numbers are the screens' public contract:
// the screens, the tests and the templates all refer to controls by them.
namespace res {

// Dialog templates.
constexpr int IDD_DIALER = 102;
constexpr int IDD_MAINCARD = 132;
constexpr int IDD_PHONEBOOK = 135;
constexpr int IDD_PHONECALL = 136;
constexpr int IDD_CONFIRMCALL = 137;
constexpr int IDD_DELETECARD = 138;
constexpr int IDD_EDITCARD = 139;
constexpr int IDD_CALLSCREEN = 140;

// Other resources.
constexpr int IDB_LOGO = 129;
constexpr int IDR_MAINFRAME = 131; // group icon
constexpr int IDR_MENU_PHONEBOOK = 134;
constexpr int ID_PHONEBOOK_CONTACTS = 32772;
constexpr int ID_PHONEBOOK_RECENT = 32773; // beside Contacts: the calls placed

// Dialog ending commands.
constexpr int IDOK = 1;
constexpr int IDCANCEL = 2;

// Home screen 102.
constexpr int IDC_HOME_LOGO = 1000;
constexpr int IDC_ADD = 1005;
constexpr int IDC_MAKECALL = 1006;
constexpr int IDC_EDIT = 1007;
constexpr int IDC_DELETE = 1008;
constexpr int IDC_EXIT = 1039;
constexpr int IDC_PRODUCT_LABEL = 1073;

// Add-card screen 132.
constexpr int IDC_ADD_LOGO = 1009;
constexpr int IDC_ADD_HIDDEN_LIST = 1015;
constexpr int IDC_ADD_CARDNAME = 1016;
constexpr int IDC_ADD_ACCESS = 1017;
constexpr int IDC_ADD_PINOPTION = 1018;
constexpr int IDC_ADD_PIN = 1019;
constexpr int IDC_ADD_PAUSENUMBER = 1020;
constexpr int IDC_ADD_PREFIX = 1021;
constexpr int IDC_ADD_ADD = 1022;
constexpr int IDC_ADD_CANCEL = 1023;
constexpr int IDC_ADD_PAUSEPIN = 1076;

// Make-call screen 136.
constexpr int IDC_CALL_DIAL = 1028;
constexpr int IDC_CALL_CANCEL = 1029;
constexpr int IDC_CALL_NUMBER = 1031;
constexpr int IDC_CALL_CARDLIST = 1034;
constexpr int IDC_CALL_CARDNAME = 1035;
constexpr int IDC_CALL_LOGO = 1064;
constexpr int IDC_CALL_CONTACTNAME = 1072;
constexpr int IDC_CALL_ACCESS = 1011;
constexpr int IDC_CALL_PAUSENUMBER = 1074;
constexpr int IDC_CALL_PIN = 1075;
constexpr int IDC_CALL_PAUSEPIN = 1077;
constexpr int IDC_CALL_PREFIX = 1082;

// Confirmation screen 137.
constexpr int IDC_CONFIRM_LOGO = 1063;
constexpr int IDC_CONFIRM_HEADING = 1065;
constexpr int IDC_CONFIRM_CONTACT = 1069;
constexpr int IDC_CONFIRM_CARDNAME = 1070;
constexpr int IDC_CONFIRM_NUMBER = 1071;
constexpr int IDC_CONFIRM_OK = 1032;
constexpr int IDC_CONFIRM_CANCEL = 1023;

// Delete-card screen 138.
constexpr int IDC_DEL_NAMELABEL = 1042;
constexpr int IDC_DEL_DELETE = 1043;
constexpr int IDC_DEL_CANCEL = 1044;
constexpr int IDC_DEL_CARDLIST = 1045;
constexpr int IDC_DEL_CARDNAME = 1046;
constexpr int IDC_DEL_LOGO = 1061;

// Edit-card screen 139.
constexpr int IDC_EDIT_CARDLIST = 1048;
constexpr int IDC_EDIT_CARDNAME = 1054;
constexpr int IDC_EDIT_ACCESS = 1055;
constexpr int IDC_EDIT_PIN = 1056;
constexpr int IDC_EDIT_PAUSENUMBER = 1057;
constexpr int IDC_EDIT_PREFIX = 1058;
constexpr int IDC_EDIT_SAVE = 1059;
constexpr int IDC_EDIT_CANCEL = 1060;
constexpr int IDC_EDIT_LOGO = 1062;
constexpr int IDC_EDIT_PAUSEPIN = 1079;
constexpr int IDC_EDIT_PINOPTION = 1081;

// Call screen 140: the call placed from the confirmation screen.
constexpr int IDC_CS_LOGO = 1100;
constexpr int IDC_CS_CARDNAME = 1102;
constexpr int IDC_CS_NUMBER = 1104;
constexpr int IDC_CS_CONTACT = 1106;
constexpr int IDC_CS_STATE = 1107;
constexpr int IDC_CS_TIMER = 1108;
constexpr int IDC_CS_PROGRESS = 1109;
constexpr int IDC_CS_SEND = 1110; // "Send <tones>" at a wait
constexpr int IDC_CS_DONTSEND = 1111;
constexpr int IDC_CS_KEY_FIRST = 1112; // the keypad: 1 2 3 / 4 5 6 / 7 8 9 / * 0 #
constexpr int IDC_CS_KEY_LAST = 1123;
constexpr int IDC_CS_SPEAKER = 1124;
constexpr int IDC_CS_MUTE = 1125;
constexpr int IDC_CS_HANGUP = 1126;

} // namespace res
