#pragma once

#include "CardFile.h"

#include <QString>
#include <QStringList>

// What the three card screens share.
namespace cardscreens {

// Replaces `book` with the file as it is now. Loading over a screen's old
// book would leave its cards in the slots past a shorter file's end.
LoadResult reload(CardBook& book);

// The names a card list shows after a load: those of the cards read whole,
// in file order, as far as the book's slots reach.
QStringList completeNames(const CardBook& book, const LoadResult& loaded);

// Our refusal of an eleventh card: the book has no slot for it.
QString bookFullText();

inline QString qs(const std::u16string& s)
{
    return QString::fromStdU16String(s);
}
inline std::u16string u16(const QString& s)
{
    return s.toStdU16String();
}

} // namespace cardscreens
