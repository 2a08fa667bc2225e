// Stacks home screens until the program refuses one, under whatever stack
// limit it was started with; prints the depth reached and the refusal.
#include "DialerDlg.h"
#include "ModalDriver.h"

#include <cstdio>

namespace {
int g_depth = 0;

void stackOneMore()
{
    modal::onNext([](QWidget* top) {
        if (auto* box = qobject_cast<QMessageBox*>(top)) {
            std::printf("refused at depth %d: %s\n", g_depth, qPrintable(box->text()));
            std::fflush(stdout);
            std::_Exit(0);
        }
        ++g_depth;
        stackOneMore();
        ShowHomeScreen();
    });
}
} // namespace

int main(int argc, char* argv[])
{
    stackdepth::recordStackBase();
    QApplication app(argc, argv);
    stackOneMore();
    theApp.InitInstance();
    std::printf("returned\n");
    return 3;
}
