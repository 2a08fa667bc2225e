#pragma once

// Filling a test's private Evolution Data Server through its own client
// library, as GNOME Contacts stores contacts. No Qt here: GLib's headers
// clash with it.

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

} // namespace edsseed
