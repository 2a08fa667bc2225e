#pragma once

// The address books of Evolution Data Server (EDS), the contact store of
// GNOME and Phosh: every enabled book's cards that have a phone number, read
// on a thread of their own through libebook, each step within a deadline.
// Plain C++ on this side: the GLib headers stay in EdsContacts.cpp.

#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <vector>

// How long each step may take before it is given up. A step that may have to
// start one of EDS's daemons first gets longer.
struct EdsDeadlines {
    std::chrono::milliseconds registry { 5000 }; // the list of books; may start the registry
    std::chrono::milliseconds firstBook { 5000 }; // opening the first book; may start the book factory
    std::chrono::milliseconds book { 2000 }; // opening each other book
    std::chrono::milliseconds cards { 10000 }; // listing a book's cards
    // Past a deadline a step is cancelled; one that has not ended this much
    // later (a call libebook gives no way to cancel) is left behind.
    std::chrono::milliseconds grace { 1000 };
};

struct EdsBook {
    enum class Status {
        Read,
        Failed, // EDS said why: `detail`
        TimedOut, // a step went past its deadline
        NotReached, // a step before it never ended
    };
    std::string name; // as EDS shows it ("Personal", an account's name); empty for EDS itself
    Status status = Status::Read;
    std::string detail;
    std::vector<std::string> cards; // vCards as EDS stores them, each with a number
    // What EDS made to hand them over, let go with the last copy of this:
    // freeing 10,000 of EDS's cards takes tens of milliseconds, which the
    // caller can spend once its list is in.
    std::shared_ptr<void> made;
};

// Reads EDS where it is in use: its registry is on the session bus, or the
// user has sources or address books in EDS's folders under $XDG_CONFIG_HOME
// and $XDG_DATA_HOME. Without a session bus it is not. So a system that never
// used EDS gets none of its daemons started.
class EdsReading {
public:
    // Starts reading on a thread of its own and returns at once; null where
    // there is no session bus or no thread to be had.
    static std::unique_ptr<EdsReading> start(const EdsDeadlines& deadlines = {});
    ~EdsReading();
    EdsReading(const EdsReading&) = delete;
    EdsReading& operator=(const EdsReading&) = delete;

    // Waits for the books, each step at most to its deadline and grace. The
    // books come in EDS's order, the built-in one first; those that could not
    // be read carry why, and a failure of EDS itself is a book without a
    // name. Tells `progress` how far it has got, in thousandths, and the cards
    // found so far. Returns no books when `cancel` is set, or when EDS is not
    // in use.
    std::vector<EdsBook> wait(const std::atomic<bool>& cancel, const std::function<void(int, std::size_t)>& progress);

    struct Shared;

private:
    explicit EdsReading(std::shared_ptr<Shared> shared);
    std::shared_ptr<Shared> m_shared;
};
