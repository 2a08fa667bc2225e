# The contact store's parallel parse of large files in stretches, checked
# card for card against a whole-file parse.
dialer_fuzz_target(vcard_stretches FuzzVCardStretches.cpp ${DIALER_CONTACTS_CORE_SOURCES})
