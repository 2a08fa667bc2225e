#pragma once

#include <QString>

#include <optional>

// One dialer per session: the first copy holds a lock in $XDG_RUNTIME_DIR,
// owns kApplicationId on the session bus and answers
// org.freedesktop.Application there; a later copy hands its number over and
// ends. Without a session bus each copy runs on its own.
namespace appinstance {

// The bus answers a name request at once unless it is stuck: past this the
// program runs on its own.
inline constexpr int kNameRequestTimeoutMs = 3000;
// A copy that has just started owns the name once its first screen is
// painted, which a slow phone's cold start may take seconds to reach; its
// lock says it is alive, so a later copy waits this long for that, all asks
// included, before it runs on its own.
inline constexpr int kLockHolderWaitMs = 20000;
// The running copy answers before it opens anything.
inline constexpr int kHandOverTimeoutMs = 5000;
// Links that arrive while a box or the contact chooser is open wait for it
// to close; past this many, further ones are refused.
inline constexpr int kMaxWaitingLinks = 4;

// Claims the name, or hands `number` (empty: just show the dialer) to the
// copy that has it. Returns the exit status once handed over (or failed to),
// nothing when this process is the one to run. Runs before any window opens.
std::optional<int> claimOrHandOver(const QString& number);

// Opens a make-call screen with `number` over the screen on top and raises
// the program's window, as soon as no box or chooser is open over that
// screen. Returns false when too many are waiting already.
bool requestMakeCall(const QString& number);

} // namespace appinstance
