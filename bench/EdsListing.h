#pragma once

#include <cstddef>
#include <string>

// Connects to the "Personal" book of the session's Evolution Data Server as
// the dialer does, then times what e_book_client_get_contacts_sync alone
// takes to list the cards that have a number: milliseconds, and how many
// came. Empty, or what went wrong.
std::string timeEdsListing(double& milliseconds, std::size_t& cards);
