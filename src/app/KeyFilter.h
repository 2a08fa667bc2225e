#pragma once

// The number fields' key filter: with the focus in the filtered field, a
// key-down of a letter key (virtual keys A to Z) or the space bar is dropped
// before it reaches the control. Every other key, and every key in any other
// control, is handed on.
constexpr bool keyFilterDrops(int focusedId, int filteredId, int virtualKey)
{
    if (focusedId != filteredId)
        return false;
    return (virtualKey >= 0x41 && virtualKey <= 0x5A) || virtualKey == 0x20;
}
