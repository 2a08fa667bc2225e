#include "VCardLines.h"

namespace vcard {

std::size_t splitName(std::string_view line, std::string_view& group, std::string_view& name)
{
    std::size_t i = 0;
    while (i < line.size() && line[i] != ';' && line[i] != ':')
        ++i;
    std::string_view fullName = trim(line.substr(0, i));
    const std::size_t dot = fullName.rfind('.');
    group = dot == std::string_view::npos ? std::string_view {} : fullName.substr(0, dot);
    name = dot == std::string_view::npos ? fullName : fullName.substr(dot + 1);
    return i;
}

bool parseParams(std::string_view line, std::size_t i, ContentLine& out)
{
    out.params.clear();
    if (i == line.size())
        return false;

    while (i < line.size() && line[i] == ';') {
        ++i;
        const std::size_t start = i;
        std::size_t eq = std::string_view::npos;
        bool quoted = false;
        while (i < line.size()) {
            const char c = line[i];
            if (c == '"')
                quoted = !quoted;
            else if (!quoted && (c == ';' || c == ':'))
                break;
            else if (!quoted && c == '=' && eq == std::string_view::npos)
                eq = i;
            ++i;
        }
        const std::string_view token = line.substr(start, i - start);
        if (eq == std::string_view::npos)
            out.params.push_back({ {}, trim(token) });
        else
            out.params.push_back({ trim(line.substr(start, eq - start)), trim(line.substr(eq + 1, i - eq - 1)) });
    }
    if (i >= line.size() || line[i] != ':')
        return false;
    out.value = line.substr(i + 1);
    return true;
}

bool parseContentLine(std::string_view line, ContentLine& out)
{
    return parseParams(line, splitName(line, out.group, out.name), out);
}

void appendCapped(std::string& out, std::string_view piece, std::size_t limit, bool& overlong)
{
    if (overlong)
        return;
    if (piece.size() > limit - std::min(limit, out.size())) {
        out.append(piece.substr(0, limit - std::min(limit, out.size())));
        overlong = true;
        return;
    }
    out.append(piece);
}

bool isUtf16(std::string_view bytes)
{
    return bytes.size() >= 2 && (bytes.substr(0, 2) == "\xFF\xFE" || bytes.substr(0, 2) == "\xFE\xFF");
}

std::string_view physicalLineBefore(std::string_view bytes, std::size_t lineStart)
{
    std::size_t end = lineStart;
    if (end > 0 && bytes[end - 1] == '\n')
        --end;
    if (end > 0 && bytes[end - 1] == '\r')
        --end;
    std::size_t start = end;
    while (start > 0 && bytes[start - 1] != '\n' && bytes[start - 1] != '\r')
        --start;
    return bytes.substr(start, end - start);
}

bool isCardMarker(std::string_view physicalLine, std::string_view keyword)
{
    const std::string_view t = trim(physicalLine);
    const std::size_t colon = t.find(':');
    return colon != std::string_view::npos && iequals(trim(t.substr(0, colon)), keyword)
        && iequals(trim(t.substr(colon + 1)), "VCARD");
}

} // namespace vcard
