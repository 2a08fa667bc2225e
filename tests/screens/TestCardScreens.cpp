#include "DeletecardDlg.h"
#include "DialerDlg.h"
#include "EditcardDlg.h"
#include "MainCardDlg.h"
#include "MessageBoxes.h"
#include "ScreenScript.h"

#include <optional>

// The add (1016 name, 1017 access, 1018 PIN option, 1019 PIN, 1020 pause before number, 1021 prefix, 1076
// pause before PIN, 1022 Add, 1023 Cancel), edit (1048 list, 1054 name, 1055 access, 1056 PIN, 1057 pause before
// number, 1058 prefix, 1079 pause before PIN, 1081 PIN option, 1059 Save, 1060 Cancel) and delete (1045 list,
// 1046 name, 1042 its label, 1043 Delete, 1044 Cancel) screens, played step by step as a user would.

using namespace screentest;
using Cards = std::vector<CardRecord>;
Q_DECLARE_METATYPE(Cards)
Q_DECLARE_METATYPE(std::optional<Cards>)

namespace {

const CardRecord kHome = card(u"Home");
const CardRecord kWork = card(u"Work", u"18005551234", u"4321", u"3", u"011", u"1");
const CardRecord kAway = card(u"Away", u"18009990000", u"", u"5", u"9", u"");

const auto box = [](const char* text) { return "box:" + QString::fromUtf8(text); };
const QString kAddAsk = box("Are you sure you want to add this Telvane?");
const QString kEditAsk = box("Telvane information updated sucessfully!!");
const QString kDeleteAsk = box("Are you sure you want to delete this Telvane?");
const QString kAddDuplicate = box("Card name exist.Please add card with different name");
const QString kGone = box("This card no longer exists: it was deleted meanwhile. Nothing was saved.");
const QString kHomeScreen = QStringLiteral("screen:CDialerDlg");
const QString kBusy = box("The card book is in use by another copy of this program. Nothing was saved: try again.");
const QString kTooBig = box("The card file is too big to rewrite safely. It was left as it is: nothing was saved.");
const QString kFull = box("Your change was not saved: No space left on device. The card file is as it was.");

// `after`: the cards the file holds at the end (a delete writes them over
// the old file's start); none: nothing written since the last outside write.
void row(const char* name, const Cards& before, const QByteArray& steps, const QStringList& log,
    const std::optional<Cards>& after = {}, const Cards& meanwhile = {})
{
    QTest::newRow(name) << before << QString::fromUtf8(steps) << log << after << meanwhile;
}

// Rows for refusals: the steps, then `click` and the message, with nothing written.
auto refusals(const Cards& before, const char* click)
{
    return [=](const char* name, const char* steps, const char* message) {
        row(name, before, steps + QByteArray(click), { box(message) });
    };
}

// Rows for a change that cannot be written, for the fault the tag ends in: the message told between `head`
// and `tail`, nothing written.
void refusedWrites(const char* name, const QByteArray& steps, const QStringList& head, const QStringList& tail = {})
{
    for (const auto& [fault, text] : { std::pair("too big", kTooBig), { "busy", kBusy }, { "disk full", kFull } })
        row(qPrintable(QString("%1, %2").arg(name, fault)), { kHome, kWork, kAway }, steps,
            head + QStringList { text } + tail);
}

} // namespace

class TestCardScreens : public QObject {
    Q_OBJECT
    DataHome m_data;

    void columns()
    {
        QTest::addColumn<Cards>("before"); // none: not even the folder
        QTest::addColumn<QString>("steps");
        QTest::addColumn<QStringList>("log");
        QTest::addColumn<std::optional<Cards>>("after");
        QTest::addColumn<Cards>("meanwhile"); // written by another program at a "*" step
    }

    template <class S> void scenario()
    {
        QFETCH(Cards, before);
        QFETCH(QString, steps);
        QFETCH(QStringList, log);
        QFETCH(std::optional<Cards>, after);
        QFETCH(Cards, meanwhile);
        const QString tag = QTest::currentDataTag();
        const qsizetype past = tag.endsWith("too big") ? CardFile::kMaxFileBytes : 0; // bytes past the last card
        before.empty() ? void(QDir(QFileInfo(cardPath()).path()).removeRecursively())
                       : writeCardFile(fileBytes(before) + QByteArray(past, 'p'));
        std::optional<CardFile::Lock> other; // another copy of the program, changing the file
        if (tag.endsWith("busy"))
            other.emplace();
        qputenv("DIALER_TEST_SAVE_HOOK", tag.endsWith("disk full") ? "disk-full" : "");
        const QByteArray old = readCardFile();
        const quint64 inode = cardFileInode();
        QCOMPARE(run<S>(steps, [&] { writeCards(meanwhile); }), log);
        const QByteArray base = meanwhile.empty() ? old : fileBytes(meanwhile);
        QCOMPARE(readCardFile(),
            (!after                                  ? base
                    : std::is_same_v<S, CDeletecard> ? inPlaceBytes(*after, base)
                                                     : fileBytes(*after)));
        QVERIFY(after || !meanwhile.empty() || cardFileInode() == inode); // not even the same bytes again
    }

private slots:
    void add_data()
    {
        columns();
        const QByteArray simple = "1016=Mine 1017=5550100 1020=2";
        const CardRecord mine = card(u"Mine");
        Cards ten;
        for (char16_t c = u'0'; c <= u'9'; ++c)
            ten.push_back(card(std::u16string(1, c).c_str()));
        row("message boxes", {}, "#1022 ok! 1016=Home 1017=5 1020=2 #1022 cancel! home",
            { box("Card Name must not be blank"), "as:" + applicationTitle() + " warning OK", kAddAsk,
                "as:Telvane plain OK Cancel", kHomeScreen });
        row("opening", { kHome }, "?focus ?1018 @1018 ?1019 ?1076",
            { "focus:1016", "1018:Pin Less", "1018@Pin Base,Pin Less", "1019: hidden", "1076: ro" });
        row("typing", {},
            "1018>Pin~Base 1016=Abcdefghij~lmnopqrstuvw 1017=1234567890123456x 1019=1A2z~#b*90123 "
            "1020=12 1021=123456 1076=12 ?1016 ?1017 ?1019 ?1020 ?1021 ?1076",
            { "1016:Abcdefghij lmnopqrst", "1017:123456789012345", "1019:12#*90123", "1020:1", "1021:12345",
                "1076:1" });
        row("PIN option", {}, "1018>Pin~Base ?1019 ?1076 1019=777 1076=5 1018>Pin~Less ?1019 ?1076",
            { "1019:", "1076:", "1019:777 hidden", "1076:5 ro" });
        const auto refused = refusals({ kHome }, " #1022 ok");
        refused("all empty", "1016=", "Card Name must not be blank");
        refused("all but name", "1017=5 1020=1 1021=1", "Card Name must not be blank");
        refused("no access", "1016=W 1020=1", "Access Number must not be blank");
        refused("no pause", "1016=W 1017=5", "Pause Before Number must not be blank");
        refused("pin base, nothing", "1016=W 1017=5 1018>Pin~Base", "Pin Option field must not be blank");
        refused("pin base, no pin", "1016=W 1017=5 1018>Pin~Base 1076=1 1020=1", "Pin Option field must not be blank");
        refused("pin base, no pause pin", "1016=W 1017=5 1018>Pin~Base 1019=12", "Pause Before Pin must not be blank");
        refused("pin base, no pause number", "1016=W 1017=5 1018>Pin~Base 1019=12 1076=1",
            "Pause Before Number must not be blank");
        row("pin less refusal keeps it", {}, "1016=W 1017=5 #1022 ok ?1016 ?1019 1020=3 #1022 cancel home",
            { box("Pause Before Number must not be blank"), "1016:W", "1019: hidden", kAddAsk, kHomeScreen });
        row("OK adds", { kHome, kWork },
            "1016=Calling~Card 1017=18007770000 1018>Pin~Base 1019=98765 1076=4 1020=1 1021=00 #1022 ok home ?1016",
            { kAddAsk, kHomeScreen, "1016:Calling Card" },
            Cards { kHome, kWork, card(u"Calling Card", u"18007770000", u"98765", u"1", u"00", u"4") });
        row("hidden PIN stored", {}, "1016=W 1017=5 1018>Pin~Base 1019=12 1076=3 1020=4 1018>Pin~Less #1022 ok home",
            { kAddAsk, kHomeScreen }, Cards { card(u"W", u"5", u"12", u"4", u"", u"3") });
        row("duplicate", { kHome, card(u"Mine") }, simple + " #1022 ok add", { kAddDuplicate, "screen:CMainCardDlg" });
        row("case differs", { card(u"mine") }, simple + " #1022 ok home", { kAddAsk, kHomeScreen },
            Cards { card(u"mine"), mine });
        Cards tenth(ten.begin(), ten.end() - 1);
        tenth.push_back(mine);
        row("tenth", Cards(ten.begin(), ten.end() - 1), simple + " #1022 ok home", { kAddAsk, kHomeScreen }, tenth);
        row("eleventh", ten, simple + " #1022 ok",
            { box("The card book is full: delete a card before adding another.") });
        row("Cancel", {}, "1016=Mine #1023 home", { kHomeScreen });
        row("stale book", {}, simple + " #1022 ok home* 1016=C #1022 ok home",
            { kAddAsk, kHomeScreen, kAddAsk, kHomeScreen }, Cards { kHome, mine, card(u"C") }, { kHome, mine });
        row("written during the question", { kHome }, simple + " #1022 ok* home", { kAddAsk, kHomeScreen },
            Cards { kHome, kAway, mine }, { kHome, kAway });
        row("same name during the question", { kHome }, simple + " #1022 ok* ok add",
            { kAddAsk, kAddDuplicate, "screen:CMainCardDlg" }, {}, { kHome, card(u"Mine", u"1") });
        refusedWrites("write refused", simple + " #1022 ok ok", { kAddAsk });
    }

    void edit_data()
    {
        columns();
        const Cards three { kHome, kWork, kAway };
        row("opening", three, "?focus @1048 ?1048 @1081 ?1081 ?1054 ?1056 ?1079",
            { "focus:1048", "1048@Away,Home,Work", "1048:", "1081@Pin Base,Pin Less", "1081:", "1054:", "1056: hidden",
                "1079: ro" });
        row("selection", three,
            "1048>Work ?1054 ?1055 ?1056 ?1057 ?1058 ?1079 ?1081 1048>Away ?1054 ?1056 ?1058 ?1079 ?1081",
            { "1054:Work", "1055:18005551234", "1056:4321", "1057:3", "1058:011", "1079:1", "1081:Pin Base",
                "1054:Away", "1056: hidden", "1058:9", "1079:0 ro", "1081:Pin Less" });
        row("PIN option", three, "1048>Home 1056=99 1081>Pin~Base ?1056 ?1079 1081>Pin~Less ?1056 ?1079",
            { "1056:99", "1079:", "1056:99 hidden", "1079:0 ro" });
        row("typing", three, "1048>Work 1056=9Q8~x# 1054=Work~Q 1055=1234567890123456 ?1056 ?1054 ?1055",
            { "1056:98#", "1054:Work Q", "1055:123456789012345" });
        const auto refused = refusals(three, " #1059 ok");
        refused("nothing selected", "1054=X", "Please select card");
        refused("name emptied", "1048>Work 1054= 1055= 1056= 1079= 1057=", "Card Name must not be blank");
        refused("access emptied", "1048>Work 1055= 1056= 1079= 1057=", "Access Number must not be blank");
        refused("pin emptied", "1048>Work 1056= 1079= 1057=", "Pin Option field must not be blank");
        refused("pause pin emptied", "1048>Work 1079= 1057=", "Pause Before Pin must not be blank");
        refused("pause number emptied", "1048>Work 1057=", "Pause Before Number must not be blank");
        refused("pin less, no pin", "1048>Home 1057=", "Pause Before Number must not be blank");
        refused("pin base, no pin", "1048>Home 1081>Pin~Base", "Pin Option field must not be blank");
        refused("pin base, no pause", "1048>Home 1081>Pin~Base 1056=12", "Pause Before Pin must not be blank");
        const CardRecord work = card(u"Work", u"18005551234", u"8888", u"3", u"00", u"1");
        row("OK saves", three, "1048>Work 1058=00 1056=8888 #1059 ok", { kEditAsk, "closed:1" },
            Cards { kHome, work, kAway });
        row("Cancel stacks home", three, "1048>Work 1058=00 #1059 cancel home ?1058",
            { kEditAsk, kHomeScreen, "1058:00" });
        row("pin less", three, "1048>Work 1081>Pin~Less ?1056 #1059 ok", { "1056:4321 hidden", kEditAsk, "closed:1" },
            Cards { kHome, card(u"Work", u"18005551234", u"", u"3", u"011"), kAway });
        row("typed option", { kWork }, "1048>Work 1081=No~pin #1059 ok", { kEditAsk, "closed:1" },
            Cards { card(u"Work", u"18005551234", u"", u"3", u"011") });
        row("renamed as one other", three, "1048>Work 1054=Home #1059 ok", { kEditAsk, "closed:1" },
            Cards { kHome, card(u"Home", u"18005551234", u"4321", u"3", u"011", u"1"), kAway });
        const Cards twins { kHome, card(u"Twin"), card(u"Twin", u"1") };
        const char* duplicate = "Card name exist.Please Edit card with different name";
        row("renamed as two others", twins, "1048>Home 1054=Twin #1059 ok home", { box(duplicate), kHomeScreen });
        row("one of two twins", twins, "1048>Twin 1054=Twin #1059 ok home", { box(duplicate), kHomeScreen });
        const CardRecord single = card(u"Single", u"222", u"55", u"4", u"7", u"6");
        row("every card of the name", { card(u"Twin", u"111"), kHome, card(u"Twin", u"222", u"55", u"4", u"7", u"6") },
            "1048>Twin ?1055 1054=Single #1059 ok", { "1055:222", kEditAsk, "closed:1" },
            Cards { single, kHome, single });
        row("Cancel", three, "1048>Work 1054=Changed #1060", { "closed:2" });
        row("stale book", { kHome, kWork }, "1048>Home 1055=999 #1059 cancel home* #1059 ok",
            { kEditAsk, kHomeScreen, kEditAsk, "closed:1" }, Cards { card(u"Home", u"999"), kWork, kAway }, three);
        row("written during the question", { kHome, kWork }, "1048>Work 1058=7 #1059 ok*", { kEditAsk, "closed:1" },
            Cards { kAway, card(u"Work", u"18005551234", u"4321", u"3", u"7", u"1"), kHome }, { kAway, kWork, kHome });
        row("deleted during the question", { kHome, kWork }, "1048>Work 1058=7 #1059 ok* ok", { kEditAsk, kGone }, {},
            { kHome });
        row("deleted before Save", { kHome, kWork }, "1048>Work #1059 cancel home* #1059 ok",
            { kEditAsk, kHomeScreen, kGone }, {}, { kHome });
        refusedWrites("write refused", "1048>Work 1058=7 #1059 ok ok", { kEditAsk });
    }

    void remove_data()
    {
        columns();
        const Cards three { kHome, kWork, kAway };
        row("opening", three, "@1045 ?1045 ?1046 ?1042",
            { "1045@Away,Home,Work", "1045:", "1046: hidden ro", "1042: hidden" });
        row("selection", three, "1045>Work ?1046 ?1042", { "1046:Work ro", "1042:" });
        row("nothing selected", three, "#1043 ok ?1046", { box("Please select Card"), "1046: hidden ro" });
        row("delete", three, "1045>Work #1043 ok home @1045 ?1045 ?1046",
            { kDeleteAsk, kHomeScreen, "1045@Away,Home", "1045:", "1046: hidden ro" }, Cards { kHome, kAway });
        const Cards twins { kHome, card(u"Twin", u"1"), kAway, card(u"Twin", u"2") };
        row("lower of twins", twins, "1045>Twin #1043 ok home @1045",
            { kDeleteAsk, kHomeScreen, "1045@Away,Home,Twin" }, Cards { kHome, kAway, card(u"Twin", u"2") });
        row("only card", { kWork }, "1045>Work #1043 ok home", { kDeleteAsk, kHomeScreen }, Cards {});
        row("question Cancel", three, "1045>Home #1043 cancel home @1045",
            { kDeleteAsk, kHomeScreen, "1045@Away,Home,Work" }, three);
        row("Cancel", three, "1045>Work #1044 home", { kHomeScreen }, three);
        // After a delete the file ends in the old bytes past its cards: a No and a Cancel keep them there.
        row("No and Cancel after a delete", three, "1045>Work #1043 ok home 1045>Home #1043 cancel home #1044 home",
            { kDeleteAsk, kHomeScreen, kDeleteAsk, kHomeScreen, kHomeScreen }, Cards { kHome, kAway });
        const CardRecord added = card(u"New", u"123");
        row("stale book", { kHome, kWork }, "#1044 home* 1045>Work #1043 ok home",
            { kHomeScreen, kDeleteAsk, kHomeScreen }, Cards { kHome, added }, { kHome, kWork, added });
        row("gone meanwhile", three, "#1044 home* 1045>Work #1043 ok home @1045",
            { kHomeScreen, kDeleteAsk, kHomeScreen, "1045@Away,Home" }, {}, { kHome, kAway });
        refusedWrites("write refused", "1045>Work #1043 ok ok", { kDeleteAsk });
        refusedWrites("Cancel's write refused", "#1044 ok home", {}, { kHomeScreen });
    }

    void add() { scenario<CMainCardDlg>(); }
    void edit() { scenario<CEditcard>(); }
    void remove() { scenario<CDeletecard>(); }
};

QTEST_MAIN(TestCardScreens)
#include "TestCardScreens.moc"
