#include "CardFile.h"
#include "ConfirmcallDlg.h"
#include "DialerDlg.h"
#include "MessageBoxes.h"
#include "ModalDriver.h"
#include "PhonecallDlg.h"
#include "ResourceIds.h"

#include <QComboBox>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QTemporaryDir>
#include <QTest>

#include <filesystem>
#include <memory>

// The make-call screen on its own, and the confirmation screen's opening and
// Cancel; placing calls is in TestCallFlow.

namespace {

CardRecord card(const char16_t* name, const char16_t* access, const char16_t* pin = u"1234",
    const char16_t* pauseNumber = u"3", const char16_t* prefix = u"011", const char16_t* pausePin = u"2")
{
    return { name, access, pin, pauseNumber, prefix, pausePin };
}

void writeBook(const std::vector<CardRecord>& cards)
{
    CardBook book;
    for (const CardRecord& c : cards)
        book.append(c);
    QVERIFY(CardFile::save(book, SaveMode::Replace));
}

// Cuts the card file short by `bytes`, as a failed write would leave it.
void cutFile(std::uintmax_t bytes)
{
    const auto path = CardFile::defaultPath();
    std::filesystem::resize_file(path, std::filesystem::file_size(path) - bytes);
}

CDialogBase* screen(QWidget* w)
{
    return qobject_cast<CDialogBase*>(w);
}

template <class W> W* control(QWidget* w, int id)
{
    return w->findChild<W*>(QStringLiteral("ctl%1").arg(id));
}

QStringList listItems(QWidget* w)
{
    auto* combo = control<QComboBox>(w, res::IDC_CALL_CARDLIST);
    QStringList items;
    for (int i = 0; i < combo->count(); ++i)
        items << combo->itemText(i);
    return items;
}

// The card-name box and the five hidden fields, in card-record order.
QStringList cardFields(QWidget* w)
{
    const CDialogBase* s = screen(w);
    return { s->GetDlgItemText(res::IDC_CALL_CARDNAME), s->GetDlgItemText(res::IDC_CALL_ACCESS),
        s->GetDlgItemText(res::IDC_CALL_PIN), s->GetDlgItemText(res::IDC_CALL_PAUSENUMBER),
        s->GetDlgItemText(res::IDC_CALL_PREFIX), s->GetDlgItemText(res::IDC_CALL_PAUSEPIN) };
}

QStringList fieldsOf(const CardRecord& c)
{
    return { QString::fromStdU16String(c.cardName), QString::fromStdU16String(c.accessNumber),
        QString::fromStdU16String(c.pin), QString::fromStdU16String(c.pauseBeforeNumber),
        QString::fromStdU16String(c.prefix), QString::fromStdU16String(c.pauseBeforePin) };
}

const QStringList kPlaceholders { QString(), QStringLiteral("Access Number"), QString(), QStringLiteral("pause"),
    QStringLiteral("Prefix"), QStringLiteral("Pause1") };

// Moves the card list to `index` with the arrow keys, as a user would.
void chooseIndex(QWidget* w, int index)
{
    auto* combo = control<QComboBox>(w, res::IDC_CALL_CARDLIST);
    combo->setFocus();
    for (int guard = 0; combo->currentIndex() != index && guard < 20; ++guard)
        QTest::keyClick(combo, combo->currentIndex() < index ? Qt::Key_Down : Qt::Key_Up);
}

void choose(QWidget* w, const QString& name)
{
    chooseIndex(w, control<QComboBox>(w, res::IDC_CALL_CARDLIST)->findText(name, Qt::MatchExactly));
}

void typeNumber(QWidget* w, const QString& keys)
{
    auto* edit = control<QLineEdit>(w, res::IDC_CALL_NUMBER);
    edit->setFocus();
    QTest::keyClicks(edit, keys);
}

void click(QWidget* w, int id)
{
    control<QPushButton>(w, id)->click();
}

} // namespace

class TestPhonecall : public QObject {
    Q_OBJECT
private slots:
    void init();

    void openingListsCompleteCardsSorted_data();
    void openingListsCompleteCardsSorted();
    void selectionFillsFields_data();
    void selectionFillsFields();
    void staleSelectionChangesNothing_data();
    void staleSelectionChangesNothing();
    void dialChecksInOrder_data();
    void dialChecksInOrder();
    void numberBoxTyping_data();
    void numberBoxTyping();
    void programTextIsNotLimited();
    void menuBarOffersContacts();
    void doesNotScroll();
    void pointerDesignatesNewestOpenScreen();
    void confirmationShowsThreeTexts_data();
    void confirmationShowsThreeTexts();
    void confirmationHeadingFont();
    void cancelStacksHome_data();
    void cancelStacksHome();
    void renderScreens();

private:
    std::unique_ptr<QTemporaryDir> m_dir;
};

void TestPhonecall::init()
{
    setDeviceClassForTesting(DeviceClass::Other);
    m_dir = std::make_unique<QTemporaryDir>();
    qputenv("XDG_DATA_HOME", m_dir->path().toUtf8());
}

void TestPhonecall::openingListsCompleteCardsSorted_data()
{
    QTest::addColumn<int>("cut");
    QTest::addColumn<QStringList>("listed");
    QTest::newRow("whole file") << 0 << QStringList { "alpha", "Mid", "Zeta" };
    QTest::newRow("cut inside the last card") << 4 << QStringList { "alpha", "Zeta" };
    QTest::newRow("missing file") << -1 << QStringList {};
}

void TestPhonecall::openingListsCompleteCardsSorted()
{
    QFETCH(int, cut);
    QFETCH(QStringList, listed);
    if (cut >= 0) {
        writeBook({ card(u"Zeta", u"1"), card(u"alpha", u"2"), card(u"Mid", u"3") });
        cutFile(static_cast<std::uintmax_t>(cut));
    }
    Cphonecall call;
    QStringList items, fields;
    int current = 0;
    QString number;
    bool boxShown = false;
    modal::onNext([&](QWidget* w) {
        // A message box would come up before the screen is on top.
        boxShown = qobject_cast<QMessageBox*>(QApplication::activeModalWidget()) != nullptr;
        items = listItems(w);
        current = control<QComboBox>(w, res::IDC_CALL_CARDLIST)->currentIndex();
        fields = cardFields(w);
        number = screen(w)->GetDlgItemText(res::IDC_CALL_NUMBER);
        modal::close(w);
    });
    call.DoModal();
    QVERIFY(!boxShown);
    QCOMPARE(items, listed);
    QCOMPARE(current, -1);
    QCOMPARE(fields, kPlaceholders);
    QCOMPARE(number, QString());
}

void TestPhonecall::selectionFillsFields_data()
{
    QTest::addColumn<int>("index");
    QTest::addColumn<QStringList>("expected");

    // File order: Work, Same (first), Home, Same (second); listed Home, Same, Same, Work.
    QTest::newRow("first listed") << 0 << fieldsOf(card(u"Home", u"8005550100", u"", u"0", u"", u"0"));
    QTest::newRow("last listed") << 3 << fieldsOf(card(u"Work", u"18001234567", u"0042", u"1", u"00", u"5"));
    QTest::newRow("equal names: the later card wins") << 1 << fieldsOf(card(u"Same", u"222", u"22", u"2", u"2", u"2"));
    QTest::newRow("equal names, either entry") << 2 << fieldsOf(card(u"Same", u"222", u"22", u"2", u"2", u"2"));
}

void TestPhonecall::selectionFillsFields()
{
    QFETCH(int, index);
    QFETCH(QStringList, expected);
    writeBook(
        { card(u"Work", u"18001234567", u"0042", u"1", u"00", u"5"), card(u"Same", u"111", u"11", u"1", u"1", u"1"),
            card(u"Home", u"8005550100", u"", u"0", u"", u"0"), card(u"Same", u"222", u"22", u"2", u"2", u"2") });
    Cphonecall call;
    QStringList fields;
    modal::onNext([&](QWidget* w) {
        chooseIndex(w, index);
        fields = cardFields(w);
        modal::close(w);
    });
    call.DoModal();
    QCOMPARE(fields, expected);
}

void TestPhonecall::staleSelectionChangesNothing_data()
{
    QTest::addColumn<int>("change");
    QTest::newRow("card renamed") << 0;
    QTest::newRow("card removed") << 1;
    QTest::newRow("file gone") << 2;
    QTest::newRow("file cut after the card") << 3;
}

void TestPhonecall::staleSelectionChangesNothing()
{
    QFETCH(int, change);
    const CardRecord home = card(u"Home", u"5550100", u"9", u"1", u"1", u"1");
    const CardRecord work = card(u"Work", u"5550199", u"8", u"2", u"2", u"2");
    writeBook({ home, work, card(u"Zoo", u"5550123") });
    Cphonecall call;
    QStringList before, after;
    modal::onNext([&](QWidget* w) {
        choose(w, QStringLiteral("Home"));
        before = cardFields(w);
        switch (change) {
        case 0:
            writeBook({ home, card(u"Office", u"5550199"), card(u"Zoo", u"5550123") });
            break;
        case 1:
            writeBook({ home, card(u"Zoo", u"5550123") });
            break;
        case 2:
            std::filesystem::remove(CardFile::defaultPath());
            break;
        case 3:
            cutFile(2);
            break; // Work is still whole; Zoo is not
        }
        choose(w, QStringLiteral("Work"));
        after = cardFields(w);
        modal::close(w);
    });
    call.DoModal();
    QCOMPARE(before, fieldsOf(home));
    QCOMPARE(after, fieldsOf(home));
}

void TestPhonecall::dialChecksInOrder_data()
{
    QTest::addColumn<bool>("chooseCard");
    QTest::addColumn<QString>("number");
    QTest::addColumn<QString>("message");
    QTest::newRow("number but no card") << false << "5550100"
                                        << "Please select card";
    QTest::newRow("neither") << false << ""
                             << "Please select card";
    QTest::newRow("card but no number") << true << ""
                                        << "Please Enter the Phone Number";
    QTest::newRow("card and number") << true << "5550100"
                                     << "";
}

void TestPhonecall::dialChecksInOrder()
{
    QFETCH(bool, chooseCard);
    QFETCH(QString, number);
    QFETCH(QString, message);
    writeBook({ card(u"Home", u"5550100") });
    Cphonecall call;
    QString text, caption, opened;
    QMessageBox::Icon icon {};
    bool unchanged = false;
    modal::onNext([&](QWidget* w) {
        if (chooseCard)
            choose(w, QStringLiteral("Home"));
        typeNumber(w, number);
        const QStringList fields = cardFields(w);
        modal::onNext([&, w](QWidget* next) {
            if (auto* box = qobject_cast<QMessageBox*>(next)) {
                text = box->text();
                caption = box->windowTitle();
                icon = box->icon();
                box->button(QMessageBox::Ok)->click();
            } else {
                opened = QString::fromLatin1(next->metaObject()->className());
                modal::close(next);
            }
        });
        click(w, res::IDC_CALL_DIAL);
        unchanged = QApplication::activeModalWidget() == w && cardFields(w) == fields
            && screen(w)->GetDlgItemText(res::IDC_CALL_NUMBER) == number;
        modal::close(w);
    });
    call.DoModal();
    QVERIFY(unchanged);
    QCOMPARE(text, message);
    if (message.isEmpty()) {
        QCOMPARE(opened, QStringLiteral("CConfirmcall"));
    } else {
        QCOMPARE(opened, QString());
        QCOMPARE(caption, applicationTitle());
        QCOMPARE(icon, QMessageBox::Warning);
    }
}

void TestPhonecall::numberBoxTyping_data()
{
    QTest::addColumn<QString>("keys");
    QTest::addColumn<QString>("typed");
    QTest::newRow("letters and blanks dropped") << "+44 (20) abc7946-0000xyz"
                                                << "+44(20)7946-0000";
    QTest::newRow("symbols pass") << "*#+0123456789"
                                  << "*#+0123456789";
    QTest::newRow("capitals dropped") << "1P2W3"
                                      << "123";
    QTest::newRow("20 typed") << "12345678901234567890"
                              << "12345678901234567890";
    QTest::newRow("21st refused") << "123456789012345678901"
                                  << "12345678901234567890";
    QTest::newRow("dropped letters do not count") << "a1b2c3d4e5f6g7h8i9j0k1l2m3n4o5p6q7r8s9t0u1"
                                                  << "12345678901234567890";
}

void TestPhonecall::numberBoxTyping()
{
    QFETCH(QString, keys);
    QFETCH(QString, typed);
    Cphonecall call;
    QString text;
    modal::onNext([&](QWidget* w) {
        typeNumber(w, keys);
        text = screen(w)->GetDlgItemText(res::IDC_CALL_NUMBER);
        modal::close(w);
    });
    call.DoModal();
    QCOMPARE(text, typed);
}

void TestPhonecall::programTextIsNotLimited()
{
    // A contact's number can be longer than anything typed; it stays whole,
    // and the user can still shorten it.
    Cphonecall call;
    const QString picked = QStringLiteral("0044207946000012345678");
    QString held, afterKey, afterBackspace, afterSecondKey;
    modal::onNext([&](QWidget* w) {
        auto* edit = control<QLineEdit>(w, res::IDC_CALL_NUMBER);
        edit->setFocus();
        g_pPhonecallDlg->SetDlgItemText(res::IDC_CALL_NUMBER, picked);
        held = screen(w)->GetDlgItemText(res::IDC_CALL_NUMBER);
        edit->end(false);
        QTest::keyClick(edit, Qt::Key_9);
        afterKey = edit->text();

        g_pPhonecallDlg->SetDlgItemText(res::IDC_CALL_NUMBER, picked);
        edit->end(false);
        QTest::keyClick(edit, Qt::Key_Backspace);
        afterBackspace = edit->text();
        QTest::keyClick(edit, Qt::Key_9);
        afterSecondKey = edit->text();
        modal::close(w);
    });
    call.DoModal();
    QCOMPARE(held, picked);
    QCOMPARE(afterBackspace, picked.chopped(1));
    QCOMPARE(afterSecondKey, picked.chopped(1));
    QCOMPARE(afterKey, picked);
}

void TestPhonecall::menuBarOffersContacts()
{
    Cphonecall call;
    QStringList menus, commands;
    QVariant commandId;
    QString number, contact, chooserClass;
    bool stillOnTop = false;
    modal::onNext([&](QWidget* w) {
        auto* bar = w->findChild<QMenuBar*>();
        if (bar) {
            for (QAction* top : bar->actions()) {
                menus << top->text();
                if (QMenu* popup = top->menu()) {
                    for (QAction* a : popup->actions()) {
                        commands << a->text();
                        commandId = a->data();
                        typeNumber(w, QStringLiteral("5550100"));
                        modal::onNext([&](QWidget* chooser) {
                            chooserClass = QString::fromLatin1(chooser->metaObject()->className());
                            modal::close(chooser);
                        });
                        a->trigger();
                    }
                }
            }
        }
        number = screen(w)->GetDlgItemText(res::IDC_CALL_NUMBER);
        contact = screen(w)->GetDlgItemText(res::IDC_CALL_CONTACTNAME);
        stillOnTop = QApplication::activeModalWidget() == w;
        modal::close(w);
    });
    call.DoModal();
    QCOMPARE(menus, QStringList { "Phonebook" });
    QCOMPARE(commands, QStringList { "Contacts" });
    QCOMPARE(commandId.toInt(), res::ID_PHONEBOOK_CONTACTS);
    // The command opens the contact chooser; cancelled, it changes nothing.
    QCOMPARE(chooserClass, QStringLiteral("ContactChooser"));
    QVERIFY(stillOnTop);
    QCOMPARE(number, QStringLiteral("5550100"));
    QCOMPARE(contact, QString());
}

void TestPhonecall::doesNotScroll()
{
    Cphonecall call;
    QPoint before, after;
    modal::onNext([&](QWidget* w) {
        auto* edit = control<QLineEdit>(w, res::IDC_CALL_NUMBER);
        before = edit->pos();
        screen(w)->OnVScroll(1, 0); // line down
        screen(w)->OnVScroll(5, 40); // thumb track
        QWheelEvent wheel(QPointF(10, 10), w->mapToGlobal(QPointF(10, 10)), {}, { 0, -120 }, Qt::NoButton,
            Qt::NoModifier, Qt::NoScrollPhase, false);
        QApplication::sendEvent(w, &wheel);
        after = edit->pos();
        modal::close(w);
    });
    call.DoModal();
    QCOMPARE(after, before);
    QCOMPARE(call.scrollPos(), 0);
}

void TestPhonecall::pointerDesignatesNewestOpenScreen()
{
    QCOMPARE(g_pPhonecallDlg, nullptr);
    {
        auto a = std::make_unique<Cphonecall>();
        QCOMPARE(g_pPhonecallDlg, a.get());
        {
            Cphonecall b;
            QCOMPARE(g_pPhonecallDlg, &b);
        }
        // The screen beneath designates itself again, never a destroyed one.
        QCOMPARE(g_pPhonecallDlg, a.get());

        // Out of order: the newest stays designated while it lives.
        auto c = std::make_unique<Cphonecall>();
        a.reset();
        QCOMPARE(g_pPhonecallDlg, c.get());
    }
    QCOMPARE(g_pPhonecallDlg, nullptr);
}

void TestPhonecall::confirmationShowsThreeTexts_data()
{
    QTest::addColumn<QString>("contact");
    QTest::addColumn<QString>("number");
    QTest::addColumn<bool>("typed");
    QTest::newRow("no contact picked") << ""
                                       << "+44(20)7946-0000" << true;
    QTest::newRow("contact picked") << "Doe, Ann"
                                    << "07946000000" << false;
    QTest::newRow("markup shown as typed") << "<b>Ann</b> & Co"
                                           << "<i>5550100</i>" << false;
    QTest::newRow("picked number longer than 20") << "Long"
                                                  << "00442079460000123456789" << false;
}

void TestPhonecall::confirmationShowsThreeTexts()
{
    QFETCH(QString, contact);
    QFETCH(QString, number);
    QFETCH(bool, typed);
    writeBook({ card(u"Card <One>", u"5550100") });
    Cphonecall call;
    QString shownContact, shownNumber, shownCard, heading;
    QList<Qt::TextFormat> formats;
    modal::onNext([&](QWidget* w) {
        choose(w, QStringLiteral("Card <One>"));
        if (typed) {
            typeNumber(w, number);
        } else {
            // What the contact picker does.
            g_pPhonecallDlg->SetDlgItemText(res::IDC_CALL_NUMBER, number);
            g_pPhonecallDlg->SetDlgItemText(res::IDC_CALL_CONTACTNAME, contact);
        }
        modal::onNext([&, w](QWidget* confirm) {
            const CDialogBase* s = screen(confirm);
            shownContact = s->GetDlgItemText(res::IDC_CONFIRM_CONTACT);
            shownNumber = s->GetDlgItemText(res::IDC_CONFIRM_NUMBER);
            shownCard = s->GetDlgItemText(res::IDC_CONFIRM_CARDNAME);
            heading = s->GetDlgItemText(res::IDC_CONFIRM_HEADING);
            for (int id : { res::IDC_CONFIRM_CONTACT, res::IDC_CONFIRM_NUMBER, res::IDC_CONFIRM_CARDNAME })
                formats << control<QLabel>(confirm, id)->textFormat();
            modal::close(confirm);
            QTimer::singleShot(0, w, [w] { modal::close(w); });
        });
        click(w, res::IDC_CALL_DIAL);
    });
    call.DoModal();
    QCOMPARE(shownContact, contact);
    QCOMPARE(shownNumber, number);
    QCOMPARE(shownCard, QStringLiteral("Card <One>"));
    QCOMPARE(heading, QStringLiteral("Confirm"));
    QCOMPARE(formats, (QList<Qt::TextFormat> { Qt::PlainText, Qt::PlainText, Qt::PlainText }));
}

void TestPhonecall::confirmationHeadingFont()
{
    writeBook({ card(u"Home", u"5550100") });
    Cphonecall call;
    QFont heading, label;
    modal::onNext([&](QWidget* w) {
        choose(w, QStringLiteral("Home"));
        typeNumber(w, QStringLiteral("5550100"));
        modal::onNext([&, w](QWidget* confirm) {
            heading = control<QLabel>(confirm, res::IDC_CONFIRM_HEADING)->font();
            label = control<QLabel>(confirm, 1066)->font();
            modal::close(confirm);
            QTimer::singleShot(0, w, [w] { modal::close(w); });
        });
        click(w, res::IDC_CALL_DIAL);
    });
    call.DoModal();
    // A 22-pixel cell, 14 pixels a character; the other texts keep the template font.
    const QFontMetrics fm(heading);
    QVERIFY2(qAbs(fm.height() - 22) <= 1, qPrintable(QString::number(fm.height())));
    QVERIFY2(qAbs(fm.averageCharWidth() - 14) <= 1, qPrintable(QString::number(fm.averageCharWidth())));
    QCOMPARE(label, call.font());
}

void TestPhonecall::cancelStacksHome_data()
{
    QTest::addColumn<bool>("onConfirmation");
    QTest::newRow("make-call screen") << false;
    QTest::newRow("confirmation screen") << true;
}

void TestPhonecall::cancelStacksHome()
{
    QFETCH(bool, onConfirmation);
    writeBook({ card(u"Home", u"5550100") });
    Cphonecall call;
    QString stacked, backOn;
    int homeCards = -1;
    QStringList fieldsAfter;
    QString numberAfter;
    const auto cancelOn = [&](QWidget* w, int cancelId) {
        modal::onNext([&](QWidget* home) {
            stacked = QString::fromLatin1(home->metaObject()->className());
            if (auto* h = qobject_cast<CDialerDlg*>(home))
                homeCards = h->book().count();
            modal::close(home);
        });
        click(w, cancelId);
        // The home screen closed; the screen that opened it is on top again.
        backOn = QString::fromLatin1(QApplication::activeModalWidget()->metaObject()->className());
    };
    modal::onNext([&](QWidget* w) {
        choose(w, QStringLiteral("Home"));
        typeNumber(w, QStringLiteral("5550100"));
        if (onConfirmation) {
            modal::onNext([&, w](QWidget* confirm) {
                cancelOn(confirm, res::IDC_CONFIRM_CANCEL);
                modal::close(confirm);
                QTimer::singleShot(0, w, [&, w] {
                    fieldsAfter = cardFields(w);
                    numberAfter = screen(w)->GetDlgItemText(res::IDC_CALL_NUMBER);
                    modal::close(w);
                });
            });
            click(w, res::IDC_CALL_DIAL);
        } else {
            cancelOn(w, res::IDC_CALL_CANCEL);
            fieldsAfter = cardFields(w);
            numberAfter = screen(w)->GetDlgItemText(res::IDC_CALL_NUMBER);
            modal::close(w);
        }
    });
    call.DoModal();
    QCOMPARE(stacked, QStringLiteral("CDialerDlg"));
    QCOMPARE(homeCards, 1);
    QCOMPARE(backOn, onConfirmation ? QStringLiteral("CConfirmcall") : QStringLiteral("Cphonecall"));
    QCOMPARE(fieldsAfter, fieldsOf(card(u"Home", u"5550100")));
    QCOMPARE(numberAfter, QStringLiteral("5550100"));
}

// Pictures of both screens for people to look at, when DIALER_SHOTS_DIR names
// a folder.
void TestPhonecall::renderScreens()
{
    const QString dir = qEnvironmentVariable("DIALER_SHOTS_DIR");
    if (dir.isEmpty())
        QSKIP("set DIALER_SHOTS_DIR to render the screens");
    QVERIFY(QDir().mkpath(dir));
    writeBook({ card(u"Intl", u"8005550100"), card(u"Home", u"5550100", u"") });
    Cphonecall call;
    bool savedCall = false, savedConfirm = false;
    modal::onNext([&](QWidget* w) {
        choose(w, QStringLiteral("Intl"));
        typeNumber(w, QStringLiteral("+44(20)7946-0000"));
        g_pPhonecallDlg->SetDlgItemText(res::IDC_CALL_CONTACTNAME, QStringLiteral("Doe, Ann"));
        savedCall = w->grab().save(dir + QStringLiteral("/makecall.png"));
        modal::onNext([&, w](QWidget* confirm) {
            savedConfirm = confirm->grab().save(dir + QStringLiteral("/confirm.png"));
            modal::close(confirm);
            QTimer::singleShot(0, w, [w] { modal::close(w); });
        });
        click(w, res::IDC_CALL_DIAL);
    });
    call.DoModal();
    QVERIFY(savedCall);
    QVERIFY(savedConfirm);
}

QTEST_MAIN(TestPhonecall)
#include "TestPhonecall.moc"
