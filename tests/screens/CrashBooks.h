#pragma once

// The books the crash-safety child saves and the parent expects: two long
// ones written in Replace mode, each followed by a short one written in
// place over it.

#include "CardBook.h"

#include <vector>

namespace crashbooks {

inline std::vector<CardRecord> longBook(int k)
{
    if (k == 0)
        return { { u"Home", u"5550100", u"", u"2", u"", u"" }, { u"Work", u"18005551234", u"4321", u"3", u"011", u"1" },
            { u"Away", u"18009990000", u"", u"5", u"9", u"" } };
    return { { u"Alpha", u"111111111111111", u"1234567890", u"1", u"12345", u"9" },
        { u"Beta", u"2222", u"22", u"2", u"2", u"2" }, { u"Gamma", u"3333", u"", u"3", u"", u"" },
        { u"Delta card with 20c", u"4444", u"44", u"4", u"4", u"4" } };
}

inline std::vector<CardRecord> shortBook(int k)
{
    if (k == 0)
        return { { u"Solo", u"99", u"", u"1", u"", u"" } };
    return { { u"Pair one", u"98", u"7", u"1", u"0", u"6" }, { u"Pair two", u"97", u"", u"2", u"", u"" } };
}

inline CardBook toBook(const std::vector<CardRecord>& cards)
{
    CardBook book;
    for (const CardRecord& c : cards)
        book.append(c);
    return book;
}

} // namespace crashbooks
