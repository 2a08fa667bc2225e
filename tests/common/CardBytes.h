#pragma once

// The card file's expected bytes, built independently of the card library,
// and direct access to the file a test points XDG_DATA_HOME at.

#include "CardFile.h"

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QString>

#include <sys/stat.h>

#include <vector>

namespace screentest {

inline QString cardPath()
{
    return QString::fromStdString(CardFile::defaultPath().string());
}

// One string as the file stores it: FF FE FF, a length byte, UTF-16LE units.
inline QByteArray wideString(const std::u16string& s)
{
    QByteArray out("\xFF\xFE\xFF", 3);
    out += char(s.size());
    for (char16_t c : s) {
        out += char(c & 0xFF);
        out += char(c >> 8);
    }
    return out;
}

inline QByteArray fileBytes(const std::vector<CardRecord>& cards)
{
    QByteArray out;
    const auto n = static_cast<quint32>(cards.size());
    for (int i = 0; i < 4; ++i)
        out += char((n >> (8 * i)) & 0xFF);
    for (const CardRecord& c : cards)
        for (const std::u16string* f :
            { &c.cardName, &c.accessNumber, &c.pin, &c.pauseBeforeNumber, &c.prefix, &c.pauseBeforePin })
            out += wideString(*f);
    return out;
}

// What an in-place write of `cards` leaves over a file that held `before`.
inline QByteArray inPlaceBytes(const std::vector<CardRecord>& cards, const QByteArray& before)
{
    QByteArray out = fileBytes(cards);
    if (before.size() > out.size())
        out += before.mid(out.size());
    return out;
}

inline QByteArray readCardFile()
{
    QFile f(cardPath());
    if (!f.open(QIODevice::ReadOnly))
        return QByteArray("<missing>");
    return f.readAll();
}

// Writes the bytes directly, without the card library, so a test starts
// from exactly the file it names.
inline void writeCardFile(const QByteArray& bytes)
{
    const QString path = cardPath();
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile f(path);
    if (f.open(QIODevice::WriteOnly | QIODevice::Truncate))
        f.write(bytes);
}

inline void writeCards(const std::vector<CardRecord>& cards)
{
    writeCardFile(fileBytes(cards));
}

// The file's identity: a save (always a new file renamed into place)
// changes it; a screen that writes nothing leaves it.
inline quint64 cardFileInode()
{
    struct stat st { };
    return ::stat(CardFile::defaultPath().c_str(), &st) == 0 ? quint64(st.st_ino) : 0;
}

inline CardRecord card(const char16_t* name, const char16_t* access = u"5550100", const char16_t* pin = u"",
    const char16_t* pauseNumber = u"2", const char16_t* prefix = u"", const char16_t* pausePin = u"")
{
    return { name, access, pin, pauseNumber, prefix, pausePin };
}

} // namespace screentest
