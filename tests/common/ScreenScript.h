#pragma once

// Helpers for driving the card screens: a script of expected modal windows,
// the card file's expected bytes, and real user input on controls.

#include "CardBytes.h"
#include "DialogBase.h"

#include <QApplication>
#include <QComboBox>
#include <QLineEdit>
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

// ---- Fixture ---------------------------------------------------------------

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

// ---- Controls -------------------------------------------------------------

template <class W = QWidget> W* ctl(QWidget* screen, int id)
{
    return screen->findChild<W*>(QStringLiteral("ctl%1").arg(id));
}

inline void click(QWidget* screen, int id)
{
    ctl<QPushButton>(screen, id)->click();
}

// Types as the user would: the focus in the field, then the keys.
inline void type(QWidget* screen, int id, const QString& text)
{
    QWidget* w = ctl(screen, id);
    if (auto* combo = qobject_cast<QComboBox*>(w))
        w = combo->lineEdit();
    w->setFocus(Qt::OtherFocusReason);
    QTest::keyClicks(w, text);
}

inline void clear(QWidget* screen, int id)
{
    auto* edit = ctl<QLineEdit>(screen, id);
    edit->setFocus(Qt::OtherFocusReason);
    edit->selectAll();
    QTest::keyClick(edit, Qt::Key_Backspace);
}

inline QString text(QWidget* screen, int id)
{
    QWidget* w = ctl(screen, id);
    if (auto* e = qobject_cast<QLineEdit*>(w))
        return e->text();
    if (auto* c = qobject_cast<QComboBox*>(w))
        return c->currentText();
    return {};
}

inline bool shown(QWidget* screen, int id)
{
    return !ctl(screen, id)->isHidden();
}
inline bool readOnly(QWidget* screen, int id)
{
    return ctl<QLineEdit>(screen, id)->isReadOnly();
}

// Chooses an entry of a list with the arrow keys, as a user would; every
// step is a selection change. Returns false when the entry is not there.
inline bool choose(QWidget* screen, int id, const QString& entry)
{
    auto* combo = ctl<QComboBox>(screen, id);
    const int target = combo->findText(entry, Qt::MatchExactly);
    if (target < 0)
        return false;
    combo->setFocus(Qt::OtherFocusReason);
    for (int guard = 0; combo->currentIndex() != target && guard < 32; ++guard)
        QTest::keyClick(combo, combo->currentIndex() < target ? Qt::Key_Down : Qt::Key_Up);
    return combo->currentIndex() == target;
}

inline QStringList entries(QWidget* screen, int id)
{
    auto* combo = ctl<QComboBox>(screen, id);
    QStringList out;
    for (int i = 0; i < combo->count(); ++i)
        out << combo->itemText(i);
    return out;
}

// ---- The script of modal windows ---------------------------------------------

// Each modal window that comes on top is matched against the next expected
// step, in order, and handled from inside its own nested loop. A window that
// was not expected is logged as an error and closed, so a wrong path ends
// the test instead of hanging it. Every window seen is logged: a message box
// as "box:<text>", a screen as "screen:<class>".
class Script {
public:
    struct Box {
        QString text;
        QString caption;
        QMessageBox::Icon icon = QMessageBox::NoIcon;
        QMessageBox::StandardButtons buttons;
    };

    Script()
    {
        m_timer.setInterval(2);
        QObject::connect(&m_timer, &QTimer::timeout, [this] { poll(); });
        m_timer.start();
    }

    // The next window is a message box; answer it with `button`.
    // `meanwhile` runs while the box is up, before the answer.
    Script& box(QMessageBox::StandardButton button, Box* seen = nullptr, std::function<void()> meanwhile = {})
    {
        m_steps.push_back({ true, {}, [button, seen, meanwhile](QWidget* w) {
                               auto* b = static_cast<QMessageBox*>(w);
                               if (meanwhile)
                                   meanwhile();
                               if (seen)
                                   *seen = { b->text(), b->windowTitle(), b->icon(), b->standardButtons() };
                               if (QAbstractButton* answer = b->button(button))
                                   answer->click();
                               else
                                   b->reject(); // the missing button shows in `seen`
                           } });
        return *this;
    }

    // The next window is a screen of class `className`; `action` must end it
    // (or leave it to be ended by an action beneath).
    Script& screen(const char* className, std::function<void(QWidget*)> action)
    {
        m_steps.push_back({ false, QString::fromLatin1(className), std::move(action) });
        return *this;
    }

    // A screen that is only looked at, then closed through the dialog ending.
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

    // Stops watching, so that another script can take over.
    void stop() { m_timer.stop(); }

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
        bool isBox;
        QString className;
        std::function<void(QWidget*)> action;
    };

    void poll()
    {
        QWidget* top = QApplication::activeModalWidget();
        if (!top || !top->isVisible())
            return;
        for (const QPointer<QWidget>& seen : m_seen)
            if (seen == top)
                return;
        m_seen.push_back(top);
        auto* asBox = qobject_cast<QMessageBox*>(top);
        const QString cls = QString::fromLatin1(top->metaObject()->className());
        m_log << (asBox ? QStringLiteral("box:") + asBox->text() : QStringLiteral("screen:") + cls);
        if (m_steps.empty() || m_steps.front().isBox != bool(asBox) || (!asBox && m_steps.front().className != cls)) {
            m_errors << QStringLiteral("unexpected ") + m_log.last();
            QTimer::singleShot(0, top, [top] {
                if (auto* b = qobject_cast<QMessageBox*>(top))
                    b->button(b->standardButtons() & QMessageBox::Cancel ? QMessageBox::Cancel : QMessageBox::Ok)
                        ->click();
                else if (auto* d = qobject_cast<QDialog*>(top))
                    d->reject();
            });
            return;
        }
        Step step = std::move(m_steps.front());
        m_steps.pop_front();
        // Run from a fresh event, not inside this timer's own slot: the
        // action opens nested loops in which this timer must keep firing.
        QTimer::singleShot(0, top, [top, action = std::move(step.action)] { action(top); });
    }

    QTimer m_timer;
    std::deque<Step> m_steps;
    std::vector<QPointer<QWidget>> m_seen;
    QStringList m_log;
    QStringList m_errors;
};

} // namespace screentest
