#include "phonebook.h"

void phonebook::PickContact()
{
    // Filled in by the contacts work: until then a pick changes nothing.
}
