// Runs the real start-up, stacks two more home screens over the first and
// answers OK to Exit on the third. The process must end with status 0 there
// and never come back out of the first home screen.
#include "DialerDlg.h"
#include "ModalDriver.h"

#include <QPushButton>

#include <cstdio>

int main(int argc, char* argv[])
{
    stackdepth::recordStackBase();
    QApplication app(argc, argv);
    modal::onNext([](QWidget*) {
        modal::onNext([](QWidget*) {
            modal::onNext([](QWidget* third) {
                std::printf("depth 3\n");
                std::fflush(stdout);
                modal::answerNextBox(QMessageBox::Ok);
                third->findChild<QPushButton*>(QStringLiteral("ctl1039"))->click();
            });
            ShowHomeScreen();
        });
        ShowHomeScreen();
    });
    theApp.InitInstance();
    std::printf("returned\n");
    return 3;
}
