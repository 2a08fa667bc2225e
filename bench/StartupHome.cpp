// The dialer's own start-up, ending at the first paint of the home screen.
#include "DialerDlg.h"
#include "FirstPaint.h"

#include <QIcon>

int main(int argc, char* argv[])
{
    stackdepth::recordStackBase();
    QApplication app(argc, argv);
    FirstPaint watcher;
    app.installEventFilter(&watcher);
    QApplication::setWindowIcon(QIcon(QStringLiteral(":/res/icon.png")));
    theApp.InitInstance();
    return 1;
}
