#pragma once

// Lines as vCard writes them: physical lines, their unfolding, and a content
// line split into group, name, parameters and value.

#include "VCardAscii.h"

#include <cstddef>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

namespace vcard {

// Physical lines end in CRLF, LF or a lone CR.
class LineCursor {
public:
    explicit LineCursor(std::string_view data)
        : m_data(data)
        , m_lf(find('\n', 0, data.size()))
    {
    }

    bool atEnd() const { return m_pos >= m_data.size(); }

    // These two are inlined: called for every line, they are much of the
    // reading, and the compiler does not see it in a parser this long.
    [[gnu::always_inline]] std::string_view peek(std::size_t* nextPos = nullptr) const
    {
        // memchr for LF, and for CR only up to it; the LF found is kept, so
        // that a file of lone CRs is not searched to its end for each line.
        if (m_lf < m_pos)
            m_lf = find('\n', m_pos, m_data.size());
        const std::size_t end = find('\r', m_pos, m_lf);
        std::size_t next = end;
        if (next < m_data.size()) {
            if (m_data[next] == '\r' && next + 1 < m_data.size() && m_data[next + 1] == '\n')
                next += 2;
            else
                next += 1;
        }
        if (nextPos != nullptr)
            *nextPos = next;
        return { m_data.data() + m_pos, end - m_pos }; // end is within m_data
    }

    [[gnu::always_inline]] std::string_view next()
    {
        std::size_t nextPos = 0;
        const std::string_view line = peek(&nextPos);
        m_pos = nextPos;
        return line;
    }

    std::size_t pos() const { return m_pos; }

    void seek(std::size_t pos)
    {
        m_pos = pos;
        m_lf = find('\n', m_pos, m_data.size());
    }

    bool nextIsFolded() const { return m_pos < m_data.size() && isBlank(m_data[m_pos]); }

private:
    // Where c first is in [from, to), or `to`.
    [[gnu::always_inline]] std::size_t find(char c, std::size_t from, std::size_t to) const
    {
        if (from >= to)
            return to;
        const void* at = std::memchr(m_data.data() + from, c, to - from);
        return at != nullptr ? static_cast<std::size_t>(static_cast<const char*>(at) - m_data.data()) : to;
    }

    std::string_view m_data;
    std::size_t m_pos = 0;
    mutable std::size_t m_lf = 0; // the first LF at or after m_pos, or the end, once m_pos has passed none
};

struct Param {
    std::string_view name; // empty for a vCard 2.1 bare parameter ("TEL;CELL:")
    std::string_view value; // quotes not yet removed
};

struct ContentLine {
    std::string_view group;
    std::string_view name;
    std::vector<Param> params;
    std::string_view value;
};

// Splits the group and name off "group.NAME;param=a;BARE:value": all before
// the first ";" or ":". Returns where that ends.
std::size_t splitName(std::string_view line, std::string_view& group, std::string_view& name);

// Splits "group.NAME;param=a;BARE:value" whose name splitName() has found to
// end at i. False when the line has no colon.
bool parseParams(std::string_view line, std::size_t i, ContentLine& out);

// The same, the group and name first; they are set either way.
bool parseContentLine(std::string_view line, ContentLine& out);

// Appends while `out` stays within `limit`; past it, keeps the part that fits
// (enough to read the line's name) and notes that the line is too long.
void appendCapped(std::string& out, std::string_view piece, std::size_t limit, bool& overlong);

// A byte order mark of UTF-16, either way round.
bool isUtf16(std::string_view bytes);

// The physical line before the one at `lineStart`, as LineCursor reads them.
std::string_view physicalLineBefore(std::string_view bytes, std::size_t lineStart);

// "BEGIN:VCARD" or "END:VCARD" (the keyword given), as a physical line.
bool isCardMarker(std::string_view physicalLine, std::string_view keyword);

} // namespace vcard
