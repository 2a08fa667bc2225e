#include "AppStart.h"

int main(int argc, char* argv[])
{
    return runDialer(argc, argv);
}
