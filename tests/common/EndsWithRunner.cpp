// Linked into every test program: it ends when whatever started it ends
// (ctest killed, a terminal closed), so that it cannot run on unseen and keep
// its daemons alive. The daemons themselves end with the test (TestProcesses.h).

#include <sys/prctl.h>

#include <csignal>

namespace {
[[maybe_unused]] const bool g_endsWithRunner = ::prctl(PR_SET_PDEATHSIG, SIGKILL) == 0;
} // namespace
