#pragma once

// Driving screens as a user would: real keys and clicks on their controls,
// and a script of the modal windows expected over them, each handled from
// inside its own nested loop.

#include "CardBytes.h"
#include "DialogBase.h"

#include <QApplication>
#include <QComboBox>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <deque>
#include <functional>
#include <vector>

namespace screentest {

// A test program's own data folder, where the card file and the contacts
// are looked for, and screens at their desktop size. Kept as a member of
// the test object, it lasts the whole program.
struct DataHome {
    QTemporaryDir dir;
    DataHome()
    {
        setDeviceClassForTesting(DeviceClass::Other);
        qputenv("XDG_DATA_HOME", dir.path().toUtf8());
    }
};

// What the user has in front of them: a dialog of its own, or the screen on
// top of the stack.
inline QWidget* topWindow()
{
    QWidget* modal = QApplication::activeModalWidget();
    return modal ? modal : CDialogBase::topScreen();
}

template <class W = QWidget> W* ctl(QWidget* screen, int id)
{
    return screen->findChild<W*>(QStringLiteral("ctl%1").arg(id));
}

inline void click(QWidget* screen, int id)
{
    ctl<QPushButton>(screen, id)->click();
}

// The focus in the field (a combo box's own line), then the keys; `replace`
// first empties it.
inline void type(QWidget* screen, int id, const QString& text, bool replace = false)
{
    auto* combo = ctl<QComboBox>(screen, id);
    QWidget* w = combo ? combo->lineEdit() : ctl(screen, id);
    w->setFocus(Qt::OtherFocusReason);
    if (replace) {
        static_cast<QLineEdit*>(w)->selectAll();
        QTest::keyClick(w, Qt::Key_Backspace);
    }
    QTest::keyClicks(w, text);
}

inline void clear(QWidget* screen, int id)
{
    type(screen, id, {}, true);
}

inline QString text(QWidget* screen, int id)
{
    QWidget* w = ctl(screen, id);
    if (auto* c = qobject_cast<QComboBox*>(w))
        return c->currentText();
    auto* e = qobject_cast<QLineEdit*>(w);
    return e ? e->text() : QString();
}

// Moves a list to the entry with the arrow keys, a selection change a step.
inline bool choose(QWidget* screen, int id, const QString& entry)
{
    auto* combo = ctl<QComboBox>(screen, id);
    const int target = combo->findText(entry, Qt::MatchExactly);
    combo->setFocus(Qt::OtherFocusReason);
    for (int guard = 0; target >= 0 && combo->currentIndex() != target && guard < 32; ++guard)
        QTest::keyClick(combo, combo->currentIndex() < target ? Qt::Key_Down : Qt::Key_Up);
    return target >= 0 && combo->currentIndex() == target;
}

inline QStringList entries(QWidget* screen, int id)
{
    QStringList out;
    for (int i = 0; i < ctl<QComboBox>(screen, id)->count(); ++i)
        out << ctl<QComboBox>(screen, id)->itemText(i);
    return out;
}

// Each modal window that comes on top is matched against the next expected
// step and handled from a fresh event inside its own loop. A window not
// expected is logged as an error and closed, so a wrong path ends the test
// instead of hanging it. The log holds "box:<text>" or "screen:<class>" for
// every window, and the notes a test adds between them.
class Script {
public:
    Script()
    {
        m_timer.setInterval(2);
        QObject::connect(&m_timer, &QTimer::timeout, [this] { poll(); });
        m_timer.start();
    }

    // The next window is a message box, answered with `button` after `meanwhile`.
    Script& box(QMessageBox::StandardButton button, std::function<void()> meanwhile = {})
    {
        return screen("QMessageBox", [button, meanwhile](QWidget* w) {
            if (meanwhile)
                meanwhile();
            static_cast<QMessageBox*>(w)->button(button)->click();
        });
    }

    // The next window is a screen of class `className`; `action` must end it
    // or leave it to an action beneath.
    Script& screen(const char* className, std::function<void(QWidget*)> action)
    {
        m_steps.push_back({ QString::fromLatin1(className), std::move(action) });
        return *this;
    }

    Script& closeScreen(const char* className, std::function<void(QWidget*)> look = {})
    {
        return screen(className, [look](QWidget* w) {
            if (look)
                look(w);
            static_cast<QDialog*>(w)->reject();
        });
    }

    // Runs `screen` modally; true when every expected window came, in order,
    // and no other did.
    bool run(CDialogBase& screen)
    {
        screen.DoModal();
        return m_errors.isEmpty() && m_steps.empty();
    }

    void stop() { m_timer.stop(); }
    void note(const QString& line) { m_log << line; }
    const QStringList& log() const { return m_log; }
    const QStringList& errors() const { return m_errors; }
    bool finished() const { return m_steps.empty(); }
    QString report() const
    {
        return QStringLiteral("log: [%1] errors: [%2] steps left: %3")
            .arg(m_log.join(QStringLiteral(", ")), m_errors.join(QStringLiteral(", ")))
            .arg(m_steps.size());
    }

private:
    struct Step {
        QString className;
        std::function<void(QWidget*)> action;
    };

    void poll()
    {
        QWidget* top = topWindow();
        if (!top || !top->isVisible() || std::find(m_seen.begin(), m_seen.end(), top) != m_seen.end())
            return;
        m_seen.push_back(top);
        checkOneScreenShown();
        auto* asBox = qobject_cast<QMessageBox*>(top);
        const QString cls = QString::fromLatin1(top->metaObject()->className());
        m_log << (asBox ? QStringLiteral("box:") + asBox->text() : QStringLiteral("screen:") + cls);
        if (m_steps.empty() || m_steps.front().className != cls) {
            m_errors << QStringLiteral("unexpected ") + m_log.last();
            QTimer::singleShot(0, top, [top] {
                if (auto* b = qobject_cast<QMessageBox*>(top))
                    b->button(b->standardButtons() & QMessageBox::Cancel ? QMessageBox::Cancel : QMessageBox::Ok)
                        ->click();
                else
                    static_cast<QDialog*>(top)->reject();
            });
            return;
        }
        Step step = std::move(m_steps.front());
        m_steps.pop_front();
        // Not inside this timer's slot: the action opens nested loops in
        // which the timer must keep firing.
        QTimer::singleShot(0, top, [top, action = std::move(step.action)] { action(top); });
    }

    // Whatever came up, the user sees one program window with the screen on
    // top in it, and at most dialogs over it.
    void checkOneScreenShown()
    {
        QStringList shown;
        for (QWidget* w : QApplication::allWidgets())
            if (w->isVisible() && (qobject_cast<CDialogBase*>(w) || (w->isWindow() && !qobject_cast<QDialog*>(w))))
                shown << QString::fromLatin1(w->metaObject()->className());
        const CDialogBase* top = CDialogBase::topScreen();
        if (shown.size() != 2 || !top || !top->isVisible() || top->window() == top)
            m_errors << QStringLiteral("shown: ") + shown.join(u'+');
    }

    QTimer m_timer;
    std::deque<Step> m_steps;
    std::vector<QPointer<QWidget>> m_seen;
    QStringList m_log;
    QStringList m_errors;
};

// Plays a user's steps on `screen`, separated by spaces ("~" is a space
// inside a text):
//   1016=Work       empties control 1016 and types "Work" into it
//   1018>Pin~Base   chooses the entry of list 1018 with the arrow keys
//   #1022           clicks control 1022 (&1: the Phonebook menu's second
//                   command); the window steps right after it are the
//                   windows expected over the screen during that click:
//     ok, cancel    a message box, answered (with "!", noted first as
//                   "as:<caption> warning|plain OK|OK Cancel")
//     home, add     a home or add-card screen (or recent calls), closed at once
//                   (with "*", `meanwhile` runs first: another writer)
//   ?1019           notes "1019:<text>", with " hidden" and " ro" as they apply
//   @1018           notes "1018@<entries>"
//   ?focus          notes "focus:<id>" of the control with the focus
inline void play(Script& s, QWidget* screen, const QString& steps, const std::function<void()>& meanwhile = {})
{
    const QStringList tokens = steps.split(u' ', Qt::SkipEmptyParts);
    static const QMap<QString, const char*> screens { { "home", "CDialerDlg" }, { "add", "CMainCardDlg" },
        { "confirm", "CConfirmcall" }, { "recent", "RecentCalls" } };
    for (int i = 0; i < tokens.size(); ++i) {
        const QString t = QString(tokens[i]).replace(u'~', u' ');
        const int id = t.mid(1).toInt();
        if (t[0] == u'#' || t[0] == u'&') {
            for (; i + 1 < tokens.size(); ++i) {
                QString w = tokens[i + 1];
                const std::function<void()> first = w.endsWith(u'*') ? meanwhile : nullptr;
                w.remove(u'*');
                if (screens.contains(w))
                    s.closeScreen(screens[w], [first](QWidget*) { first ? first() : void(); });
                else if (w == "ok" || w == "cancel" || w == "ok!" || w == "cancel!")
                    s.box(w.startsWith("ok") ? QMessageBox::Ok : QMessageBox::Cancel, [&s, w, first] {
                        const auto* b = static_cast<QMessageBox*>(QApplication::activeModalWidget());
                        if (w.endsWith(u'!'))
                            s.note(QStringLiteral("as:%1 %2 %3")
                                       .arg(b->windowTitle(),
                                           b->icon() == QMessageBox::Warning ? "warning"
                                               : b->icon()                   ? "other icon"
                                                                             : "plain",
                                           b->standardButtons() & QMessageBox::Cancel ? "OK Cancel" : "OK"));
                        first ? first() : void();
                    });
                else
                    break;
            }
            t[0] == u'#' ? click(screen, id) : screen->findChild<QMenu*>()->actions()[id]->trigger();
        } else if (t == "?focus") {
            s.note("focus:" + QApplication::focusWidget()->objectName().mid(3));
        } else if (t[0] == u'?') {
            auto* edit = ctl<QLineEdit>(screen, id);
            s.note(QStringLiteral("%1:%2%3%4")
                       .arg(id)
                       .arg(text(screen, id), ctl(screen, id)->isHidden() ? " hidden" : "",
                           edit && edit->isReadOnly() ? " ro" : ""));
        } else if (t[0] == u'@') {
            s.note(QStringLiteral("%1@").arg(id) + entries(screen, id).join(u','));
        } else if (const int eq = t.indexOf(u'='); eq > 0) {
            type(screen, t.left(eq).toInt(), t.mid(eq + 1), true);
        } else {
            choose(screen, t.section(u'>', 0, 0).toInt(), t.section(u'>', 1));
        }
    }
}

// Runs a new screen S modally, plays `steps` on it and ends it if it is
// still open. Returns the log without the screen itself, with "closed:<result>"
// when the screen closed itself, and the script's errors.
template <class S> QStringList run(const QString& steps, const std::function<void()>& meanwhile = {})
{
    Script s;
    bool ending = false;
    s.screen(S::staticMetaObject.className(), [&](QWidget* w) {
        QObject::connect(static_cast<QDialog*>(w), &QDialog::finished, w, [&](int result) {
            if (!ending)
                s.note(QStringLiteral("closed:%1").arg(result));
        });
        play(s, w, steps, meanwhile);
        ending = true;
        if (w->isVisible())
            static_cast<QDialog*>(w)->reject();
    });
    S screen;
    screen.DoModal();
    QStringList log = s.log().mid(1);
    if (!s.errors().isEmpty() || !s.finished())
        log << s.report();
    return log;
}

} // namespace screentest
