#include "CardBook.h"

#include <algorithm>

int CardBook::count() const
{
    const auto firstFree
        = std::find_if(m_slots.begin(), m_slots.end(), [](const CardRecord& card) { return card.cardName.empty(); });
    return static_cast<int>(firstFree - m_slots.begin());
}

std::optional<int> CardBook::find(const std::u16string& name) const
{
    const int n = count();
    for (int i = 0; i < n; ++i) {
        if (slot(i).cardName == name)
            return i;
    }
    return std::nullopt;
}

int CardBook::countNamed(const std::u16string& name) const
{
    const auto cards = m_slots.begin() + count();
    return static_cast<int>(
        std::count_if(m_slots.begin(), cards, [&name](const CardRecord& card) { return card.cardName == name; }));
}

bool CardBook::append(const CardRecord& card)
{
    const int n = count();
    if (n == kSlots)
        return false;
    slot(n) = card;
    return true;
}

void CardBook::removeAt(int i)
{
    const int n = count();
    if (i < 0 || i >= n)
        return;
    for (int j = i + 1; j < n; ++j)
        slot(j - 1) = std::move(slot(j));
    slot(n - 1) = CardRecord {};

    // A card kept aside at load takes the freed tenth slot. Records without a
    // name there are not cards: pulling one in would end the book early and
    // drop the real cards behind it at the next save.
    if (n == kSlots) {
        const auto named = std::find_if(
            m_overflow.begin(), m_overflow.end(), [](const CardRecord& card) { return !card.cardName.empty(); });
        if (named != m_overflow.end()) {
            slot(kSlots - 1) = std::move(*named);
            m_overflow.erase(m_overflow.begin(), named + 1);
        } else {
            m_overflow.clear();
        }
    }
}
