#pragma once

// Every process a test starts ends with it, however the test ends (its own
// hand, ctest's timeout, a kill): the kernel sends the child SIGKILL when the
// test dies, which no crash can skip. A child whose test is already gone
// ends at once. `then` runs in the child after that, before its program.

#include <QProcess>

#include <sys/prctl.h>
#include <unistd.h>

#include <csignal>
#include <functional>

// How long a test waits for an event before it says what it awaited. Waits
// end at the event, so a generous figure costs nothing when all goes well.
inline constexpr int kPatienceMs = 60000;

inline void endWithTest(QProcess& process, std::function<void()> then = {})
{
    process.setChildProcessModifier([test = ::getpid(), then = std::move(then)] {
        if (::prctl(PR_SET_PDEATHSIG, SIGKILL) != 0 || ::getppid() != test)
            ::_exit(127);
        if (then)
            then();
    });
}
