#pragma once

// The card file's expected bytes, built without the card library, and the
// file a test points XDG_DATA_HOME at.

#include "CardFile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTest>

#include <sys/stat.h>

namespace screentest {

inline QString cardPath()
{
    return QString::fromStdString(CardFile::defaultPath().string());
}

// The count, then each field as FF FE FF, a length byte and UTF-16LE units.
inline QByteArray fileBytes(const std::vector<CardRecord>& cards)
{
    QByteArray out;
    for (int i = 0; i < 4; ++i)
        out += char((cards.size() >> (8 * i)) & 0xFF);
    for (const CardRecord& c : cards)
        for (const auto* f :
            { &c.cardName, &c.accessNumber, &c.pin, &c.pauseBeforeNumber, &c.prefix, &c.pauseBeforePin }) {
            out += QByteArray("\xFF\xFE\xFF", 3) + char(f->size());
            for (char16_t u : *f)
                out.append(char(u & 0xFF)).append(char(u >> 8));
        }
    return out;
}

// What writing `cards` over the start of a file that held `before` leaves.
inline QByteArray inPlaceBytes(const std::vector<CardRecord>& cards, const QByteArray& before)
{
    const QByteArray out = fileBytes(cards);
    return out + before.mid(out.size());
}

inline QByteArray slurp(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
}

inline QByteArray readCardFile()
{
    return slurp(cardPath());
}

inline void writeFile(const QString& path, const QByteArray& bytes)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate) && f.write(bytes) == bytes.size());
}

inline void writeCardFile(const QByteArray& bytes)
{
    writeFile(cardPath(), bytes);
}

inline void writeCards(const std::vector<CardRecord>& cards)
{
    writeCardFile(fileBytes(cards));
}

// A save renames a new file into place; a screen that writes nothing keeps it.
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
