#include "CardScreens.h"

#include "MessageBoxes.h"

#include <QCoreApplication>

#include <algorithm>

namespace cardscreens {
namespace {

// Saves are atomic, so whatever failed, the file still holds what it held.
QString notSavedText(const std::error_code& error)
{
    return QCoreApplication::translate("Messages", "Your change was not saved: %1. The card file is as it was.")
        .arg(QString::fromStdString(error.message()));
}

} // namespace

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

QString pinBaseText()
{
    return QCoreApplication::translate("DialogTemplates", "Pin Base");
}

QString pinLessText()
{
    return QCoreApplication::translate("DialogTemplates", "Pin Less");
}

QString bookFullText()
{
    return QCoreApplication::translate("Messages", "The card book is full: delete a card before adding another.");
}

BookChange::BookChange(CardBook& book)
    : m_book(book)
{
    if (m_lock.error() == std::errc::operation_would_block) {
        AppMessageBox(QCoreApplication::translate(
            "Messages", "The card book is in use by another copy of this program. Nothing was saved: try again."));
    } else if (m_lock.error()) {
        refuse(notSavedText(m_lock.error()));
    } else if (reload(m_book).tooBig) {
        refuse(QCoreApplication::translate(
            "Messages", "The card file is too big to rewrite safely. It was left as it is: nothing was saved."));
    }
}

bool BookChange::save(SaveMode mode)
{
    const SaveResult saved = CardFile::save(m_book, mode);
    end();
    if (!saved)
        AppMessageBox(notSavedText(saved.error));
    return bool(saved);
}

void BookChange::refuse(const QString& text)
{
    end();
    AppMessageBox(text);
}

} // namespace cardscreens
