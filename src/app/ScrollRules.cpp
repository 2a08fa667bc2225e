#include "ScrollRules.h"

ScrollStep vscrollStep(int code, int pos, int extent, std::uint32_t thumbPos)
{
    const int step = extent / 10;
    switch (code) {
    case SB_LINEUP:
    case SB_PAGEUP:
        if (pos <= 0)
            return {};
        return { ScrollStep::Move, step >= pos ? -pos : -step };
    case SB_LINEDOWN:
    case SB_PAGEDOWN: {
        if (pos >= extent)
            return {};
        const int room = extent - pos;
        return { ScrollStep::Move, step < room ? step : room };
    }
    case SB_THUMBPOSITION:
    case SB_THUMBTRACK:
        // The thumb position is unsigned; a negative extent compares as huge,
        // which is why the test reads both ways.
        if (pos < extent || thumbPos < static_cast<std::uint32_t>(extent))
            return { ScrollStep::Move, static_cast<int>(thumbPos) - pos };
        return { ScrollStep::ClampToExtent, 0 };
    default:
        return {};
    }
}
