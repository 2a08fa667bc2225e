#pragma once

// Filling a test's private Evolution Data Server through its own client
// library, as GNOME Contacts stores contacts. No Qt here: GLib's headers
// clash with it. Each call returns an empty string, or what went wrong.

#include <string>
#include <vector>

namespace edsseed {

struct Person {
    std::string fullName;
    std::string family;
    std::string given;
    std::string mobile, home, work; // empty: none
    std::string uid; // empty: EDS makes one
};

// Adds the people to the built-in "Personal" book.
std::string addPeople(const std::vector<Person>& people);

// Adds a local address book called `name` whose file is damaged beyond
// opening; `dataHome` is $XDG_DATA_HOME.
std::string addDamagedBook(const std::string& name, const std::string& dataHome);

// Connects to the "Personal" book as the dialer does, then times what
// e_book_client_get_contacts_sync alone takes to list the cards that have a
// number: milliseconds, and how many came.
std::string timeListing(double& milliseconds, std::size_t& cards);

} // namespace edsseed
