#pragma once

#include <string>

// One card: six UTF-16 strings, in the order they are stored in the card file.
struct CardRecord {
    std::u16string cardName;
    std::u16string accessNumber;
    std::u16string pin;
    std::u16string pauseBeforeNumber;
    std::u16string prefix;
    std::u16string pauseBeforePin;

    // "Pin Base" exactly when a PIN is stored; the option itself is not kept.
    bool hasPin() const { return !pin.empty(); }

    friend bool operator==(const CardRecord&, const CardRecord&) = default;
};
