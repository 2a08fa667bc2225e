#pragma once

// The user's vCard folders read into contacts.

#include "ContactList.h"

#include <QStringList>

#include <atomic>
#include <functional>

// The threads a reading of contacts may use: the cores, at most eight.
unsigned readingThreads();

// Reads every *.vcf and *.vcard file in the folders and in their direct
// subfolders (one subfolder per address book, as vdirsyncer lays them out)
// into `kept`, in the order of their paths; a folder reached twice through
// links is read once. Missing folders and unreadable files count as empty.
// What the limits leave out is counted in `leftOut`. Tells `report` how far
// it has got, in thousandths, and the contacts found so far. False when
// `cancel` stopped it.
bool readContactFolders(const QStringList& folders, const VCardLimits& limits, const std::atomic<bool>& cancel,
    const std::function<void(int, qsizetype)>& report, ContactBatch& kept, ContactsLeftOut& leftOut);
