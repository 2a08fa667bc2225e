#include "AppStart.h"

#include "DialerDlg.h"
#include "DialogBase.h"

#include <QApplication>

int runDialer(int& argc, char** argv, QObject* watcher)
{
    // Before anything else: the stacking of screens lives on this stack.
    stackdepth::recordStackBase();
    QApplication app(argc, argv);
    if (watcher)
        app.installEventFilter(watcher);
    QApplication::setWindowIcon(applicationIcon());
    QApplication::setDesktopFileName(QStringLiteral("dialer"));
    theApp.InitInstance();
    return 0;
}
