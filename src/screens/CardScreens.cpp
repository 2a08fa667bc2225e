#include "CardScreens.h"

#include <algorithm>

namespace cardscreens {

LoadResult reload(CardBook& book)
{
    CardBook fresh;
    const LoadResult result = CardFile::load(fresh);
    book = std::move(fresh);
    return result;
}

QStringList completeNames(const CardBook& book, const LoadResult& loaded)
{
    QStringList names;
    for (int i = 0; i < std::min(loaded.complete, CardBook::kSlots); ++i)
        names << qs(book.slot(i).cardName);
    return names;
}

QString bookFullText()
{
    return QStringLiteral("The card book is full: delete a card before adding another.");
}

} // namespace cardscreens
