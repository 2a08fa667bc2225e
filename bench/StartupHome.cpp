// The dialer's own start-up, ending at the first paint of the home screen.
#include "AppStart.h"
#include "FirstPaint.h"

int main(int argc, char* argv[])
{
    FirstPaint watcher;
    runDialer(argc, argv, &watcher);
    return 1; // the watcher ends the process at the first paint
}
