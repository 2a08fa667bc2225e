#pragma once

#include <QApplication>
#include <QEvent>
#include <QTimer>
#include <QWidget>

#include <cstdio>
#include <unistd.h>

// Ends the process with a line on stdout once the first top-level window
// has painted: the moment a user sees it, text and all.
class FirstPaint : public QObject {
public:
    bool eventFilter(QObject* o, QEvent* e) override
    {
        if (!m_seen && e->type() == QEvent::Paint && o->isWidgetType() && static_cast<QWidget*>(o)->isWindow()) {
            m_seen = true;
            // Queued: runs after this paint and the children's have finished.
            QTimer::singleShot(0, [] {
                std::fputs("shown\n", stdout);
                std::fflush(stdout);
                _exit(0);
            });
        }
        return false;
    }

private:
    bool m_seen = false;
};
