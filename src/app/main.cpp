#include "DialerDlg.h"
#include "DialogBase.h"

#include <QApplication>
#include <QIcon>

int main(int argc, char* argv[])
{
    // Before anything else: the stacking of screens lives on this stack.
    stackdepth::recordStackBase();
    QApplication app(argc, argv);
    QApplication::setWindowIcon(QIcon(QStringLiteral(":/res/icon.png")));
    QApplication::setDesktopFileName(QStringLiteral("dialer"));
    theApp.InitInstance();
    return 0;
}
