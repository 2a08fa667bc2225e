// Linked into every test program: it ends when ctest, or whatever started
// it, ends, rather than run on unseen with its daemons (TestProcesses.h).
#include <sys/prctl.h>

#include <csignal>

[[maybe_unused]] static const bool g_endsWithRunner = ::prctl(PR_SET_PDEATHSIG, SIGKILL) == 0;
