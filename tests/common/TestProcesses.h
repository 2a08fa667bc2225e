#pragma once

// Processes a test starts end with it, however it ends: by its own hand, by
// ctest's timeout, or killed with its runner. The kernel sends each child
// SIGKILL when the test process dies (PR_SET_PDEATHSIG), which no handler
// and no crash can skip; a child whose test is already gone by the time it
// asks ends at once.

#include <QProcess>

#include <sys/prctl.h>
#include <unistd.h>

#include <csignal>
#include <functional>

// How long a test waits for an event (a daemon's name on the bus, a modem
// registered, a call's last tone) before it gives up and says what it
// awaited. A busy machine is slow, never this slow: waits end at the event,
// so the figure costs nothing when all goes well.
inline constexpr int kPatienceMs = 60000;

// `then` runs in the child too, after the request and before the program
// starts.
inline void endWithTest(QProcess& process, std::function<void()> then = {})
{
    const pid_t test = ::getpid();
    process.setChildProcessModifier([test, then = std::move(then)] {
        if (::prctl(PR_SET_PDEATHSIG, SIGKILL) != 0 || ::getppid() != test)
            ::_exit(127);
        if (then)
            then();
    });
}
