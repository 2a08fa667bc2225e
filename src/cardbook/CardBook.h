#pragma once

#include "CardRecord.h"

#include <array>
#include <optional>
#include <string>
#include <vector>

// The ten card slots a screen owns. The cards are the slots before the first
// slot with an empty name; every scan stops there or after the tenth slot.
class CardBook {
public:
    static constexpr int kSlots = 10;

    int count() const;
    // Lowest slot (0-based) whose name equals `name` exactly, among the cards.
    std::optional<int> find(const std::u16string& name) const;
    int countNamed(const std::u16string& name) const;
    // Stores the card in the first free slot. Returns false, changing nothing,
    // when the book is full.
    bool append(const CardRecord& card);
    // Moves every later card up one slot and empties the former last slot.
    // When cards beyond the tenth were kept aside at load, the first of them
    // moves into the freed tenth slot.
    void removeAt(int slot);

    CardRecord& slot(int i) { return m_slots.at(static_cast<std::size_t>(i)); }
    const CardRecord& slot(int i) const { return m_slots.at(static_cast<std::size_t>(i)); }

    // Complete cards the file held after the tenth. No screen shows them;
    // saves write them back after the book's own cards so none is lost.
    std::vector<CardRecord>& overflow() { return m_overflow; }
    const std::vector<CardRecord>& overflow() const { return m_overflow; }

    friend bool operator==(const CardBook&, const CardBook&) = default;

private:
    std::array<CardRecord, kSlots> m_slots {};
    std::vector<CardRecord> m_overflow;
};
