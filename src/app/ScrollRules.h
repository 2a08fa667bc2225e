#pragma once

#include <cstdint>

// Scroll codes as the scroll bar reports them.
enum ScrollCode : int {
    SB_LINEUP = 0,
    SB_LINEDOWN = 1,
    SB_PAGEUP = 2,
    SB_PAGEDOWN = 3,
    SB_THUMBPOSITION = 4,
    SB_THUMBTRACK = 5,
    SB_TOP = 6,
    SB_BOTTOM = 7,
    SB_ENDSCROLL = 8,
};

// What one vertical scroll request does to a scrolling screen.
struct ScrollStep {
    enum Kind {
        Ignore, // stop: nothing moves, no default processing
        Move, // move the contents by `delta` (positive: controls go up)
        ClampToExtent, // thumb at or past the end: position = extent, move by 0
    };
    Kind kind = Ignore;
    int delta = 0;
};

// Line and page codes move by the same step, one tenth of the extent.
ScrollStep vscrollStep(int code, int pos, int extent, std::uint32_t thumbPos);

// The scroll set-up: the largest position from the screen's height and the
// display's.
inline int scrollExtentFor(int displayHeight, int windowHeight)
{
    return displayHeight + 26 - windowHeight;
}
