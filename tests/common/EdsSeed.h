#pragma once

// Filling a test's private Evolution Data Server through its own client
// library, as GNOME Contacts stores contacts. No Qt here: GLib's headers
// clash with it.

#include <cstddef>
#include <string>
#include <vector>

namespace edsseed {

struct Person {
    std::string fullName, family, given;
    std::string mobile, home, work; // empty: none
    std::string uid; // empty: EDS makes one
};

// Adds the people to the built-in "Personal" book; empty, or what went wrong.
std::string addPeople(const std::vector<Person>& people);

// Connects to the same book as the dialer does, then times what
// e_book_client_get_contacts_sync alone takes to list the cards that have a
// number: milliseconds, and how many came. Empty, or what went wrong.
std::string timeListing(double& milliseconds, std::size_t& cards);

} // namespace edsseed
