#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

// The desktop's applications for tel: links, found the way the freedesktop
// MIME applications rules find them, so that the phone service can pass a
// call on to the next one when the default is this program itself.
namespace phone::telhandlers {

// A file bigger than these is not read: real ones are a few KiB.
inline constexpr qsizetype kMaxListBytes = 1 << 20; // mimeapps.list, mimeinfo.cache
inline constexpr qsizetype kMaxEntryBytes = 64 << 10; // one desktop entry
inline constexpr qsizetype kMaxFolders = 16; // of each of the XDG search paths
inline constexpr qsizetype kMaxCandidates = 32;

// This program's desktop entry, under its id and under its old name.
bool isOwnDesktopId(const QString& id);

// The desktop ids that take tel: links, best first: each mimeapps.list's
// defaults and added associations in order of precedence, then the
// mimeinfo.cache entries, less the removed associations.
QStringList candidates(const QList<QByteArray>& mimeappsLists, const QList<QByteArray>& caches);

// The command that opens `url` with a desktop entry: its Exec line split and
// its field codes expanded. Empty when the entry is hidden, malformed or
// takes no URL (%u or %U).
QStringList commandFor(const QByteArray& desktopEntry, const QString& url);

// Reads the user's and the system's files (on a worker thread: it reads
// files) and returns the command of the first application that is not this
// program, or an empty list when there is none.
QStringList nextHandlerCommand(const QString& url);

} // namespace phone::telhandlers
