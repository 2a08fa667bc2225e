# The vCard reader reads whatever files the user's sync tools leave behind.
dialer_fuzz_target(vcard FuzzVCard.cpp ${DIALER_CONTACTS_CORE_SOURCES})
