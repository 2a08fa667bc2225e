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

// The PIN option list's two entries, as shown (so in the user's language):
// the screens compare the list's text with them.
QString pinBaseText();
QString pinLessText();

// Our refusal of an eleventh card: the book has no slot for it.
QString bookFullText();

// One change of the card file: the lock against other copies of the program
// is taken and the file loaded again into `book`, which the screen then
// changes and saves. Every refusal and failure on the way is told to the user
// and leaves the file as it was; the screen stays as it is, so the user can
// try again or leave. The lock ends with save(), end() or this object, and
// never lasts while a message waits on the user.
class BookChange {
public:
    explicit BookChange(CardBook& book);
    // The lock is held and the book is the file as it is now.
    explicit operator bool() const { return m_lock.held(); }
    bool save(SaveMode mode);
    void end() { m_lock.release(); }
    // Ends the change and shows `text`.
    void refuse(const QString& text);

private:
    CardBook& m_book;
    CardFile::Lock m_lock;
};

inline QString qs(const std::u16string& s)
{
    return QString::fromStdU16String(s);
}
inline std::u16string u16(const QString& s)
{
    return s.toStdU16String();
}

} // namespace cardscreens
