#include "VCardReader.h"

#include "VCardProperties.h"

#include <algorithm>
#include <array>
#include <iterator>
#include <memory>
#include <span>
#include <system_error>
#include <thread>

// One pass over the bytes, no regular expressions and no backtracking: address
// books of 100,000 cards are read on every pick. Work and memory grow with the
// bytes read, never faster: lines are kept only up to their limit, and a
// card's labels are looked up by group, not matched against every number.

using namespace vcard;

namespace {

class CardBuilder {
public:
    // Strings and lists keep their room from card to card: the contact
    // handed out and these swap their buffers.
    void start(bool unicodeFile)
    {
        m_decoder.unicodeFile = unicodeFile;
        m_spoiled = false;
        m_bytes = 0;
        m_decoder.v21 = false;
        m_decoder.hint.clear();
        m_decoder.missedHint = false;
        for (std::string* s : { &m_uid, &m_fn, &m_family, &m_given, &m_sortAs, &m_explicitFileAs, &m_org })
            s->clear();
        m_telCount = 0;
        m_labels.clear();
    }

    // Undeclared text that is not UTF-8 was read before the card named a
    // charset: worth reading again if a line further on names one.
    bool wantsHint() const { return m_decoder.missedHint && !m_spoiled; }

    // Starts reading the card again, with `hint` for its undeclared text.
    void restart(std::string hint)
    {
        start(m_decoder.unicodeFile);
        m_decoder.hint = std::move(hint);
    }

    // The first charset `card`'s lines declare that tells more than UTF-8,
    // or empty. Any line counts, even those not kept, and the card's end.
    std::string hintIn(std::string_view card)
    {
        LineCursor lines(card);
        while (!lines.atEnd()) {
            if (!parseContentLine(lines.next(), m_scan))
                continue;
            for (const Param& p : m_scan.params) {
                if (iequals(p.name, "CHARSET") && m_decoder.charset(unquote(p.value)).kind != Decoder::Charset::Utf8)
                    return std::string(unquote(p.value));
            }
        }
        return {};
    }

    // A line or the card itself went past its limit: the card will be left
    // out, so nothing more of it is kept.
    void spoil() { m_spoiled = true; }

    void add(Property property, const ContentLine& line, LineProps& props, std::size_t lineBytes, std::size_t cardLimit)
    {
        m_bytes += lineBytes;
        if (m_bytes > cardLimit)
            spoil();
        if (m_spoiled)
            return;
        switch (property) {
        case Property::Version:
            m_decoder.v21 = trim(line.value).substr(0, 1) == "2";
            break;
        case Property::Tel: {
            if (m_telCount == m_tels.size())
                m_tels.emplace_back();
            Tel& tel = m_tels[m_telCount];
            tel.group.assign(line.group);
            for (char& c : tel.group)
                c = lowerAscii(c);
            m_decoder.text(line.value, props, tel.phone.number);
            if (!cleanNumber(tel.phone.number, props.uri))
                break;
            tel.phone.types.swap(props.types);
            ++m_telCount;
            break;
        }
        case Property::XAbLabel: {
            // A group has one label; a later one is a mistake and changes nothing.
            std::string label = labelText(m_decoder.text(line.value, props));
            if (!line.group.empty() && !label.empty())
                m_labels.emplace_back(toLower(line.group), std::move(label));
            break;
        }
        case Property::Fn:
            m_decoder.text(line.value, props, m_fn);
            break;
        case Property::N: {
            std::string* parts[] = { &m_family, &m_given };
            m_decoder.components(line.value, props, parts);
            if (!props.sortAs.empty())
                m_sortAs = fileAsFromSortAs(props.sortAs, m_decoder);
            break;
        }
        case Property::XEvolutionFileAs:
            m_decoder.text(line.value, props, m_explicitFileAs);
            break;
        case Property::Org: {
            std::string* parts[] = { &m_org };
            m_decoder.components(line.value, props, parts);
            break;
        }
        case Property::Uid:
            m_decoder.text(line.value, props, m_uid);
            break;
        case Property::Agent:
        case Property::Begin:
        case Property::End:
        case Property::Other:
            break;
        }
    }

    // The contact, or null when it is left out: spoiled (counted in out) or
    // with neither a name nor a number. Valid until the next card starts.
    VCardContact* finish(VCardCards& out)
    {
        if (m_spoiled) {
            ++out.tooLong;
            return nullptr;
        }
        VCardContact& c = m_contact;
        c.uid.swap(m_uid);
        c.displayName.swap(m_fn);
        if (!m_explicitFileAs.empty())
            c.fileAs.swap(m_explicitFileAs);
        else if (!m_sortAs.empty())
            c.fileAs.swap(m_sortAs);
        else if (!m_family.empty() || !m_given.empty())
            joinName(c.fileAs, m_family, m_given);
        else if (!c.displayName.empty())
            c.fileAs.assign(c.displayName);
        else
            c.fileAs.assign(m_org);

        // Looked up by group, the first label of each group first.
        if (m_labels.size() > 1)
            std::stable_sort(
                m_labels.begin(), m_labels.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
        c.mobile.clear();
        c.phones.resize(m_telCount);
        for (std::size_t k = 0; k < m_telCount; ++k) {
            Tel& tel = m_tels[k];
            const auto label = std::lower_bound(m_labels.begin(), m_labels.end(), tel.group,
                [](const auto& entry, const std::string& group) { return entry.first < group; });
            if (!tel.group.empty() && label != m_labels.end() && label->first == tel.group)
                tel.phone.types.push_back(label->second);
            if (c.mobile.empty() && isMobilePhone(tel.phone))
                c.mobile.assign(tel.phone.number);
            std::swap(c.phones[k], tel.phone);
        }
        if (c.fileAs.empty() && c.phones.empty())
            return nullptr;
        return &c;
    }

private:
    struct Tel {
        std::string group;
        VCardPhone phone;
    };

    bool m_spoiled = false;
    std::size_t m_bytes = 0;
    Decoder m_decoder;
    std::string m_uid, m_fn, m_family, m_given, m_sortAs, m_explicitFileAs, m_org;
    std::vector<Tel> m_tels; // the first m_telCount are this card's
    std::size_t m_telCount = 0;
    std::vector<std::pair<std::string, std::string>> m_labels; // group, label
    VCardContact m_contact;
    ContentLine m_scan;
};

constexpr std::string_view kBeginLine = "BEGIN:VCARD";

// Cards nested in a card. vCard 2.1 nests one card for its AGENT, and that
// rarely has one of its own: a card with its AGENT's cards nested deeper than
// this is left out, counted as too long. Other nested cards are cards of their
// own; past this depth the innermost ends where the next one begins, as a card
// without END did before nesting was read.
constexpr std::size_t kMaxNestedCards = 8;

// "AGENT:" with nothing after it (a group and parameters allowed): in vCard
// 2.1 the card it names begins on the next line and is nested in this one.
// Told from the physical line alone, so that where a file can be cut is seen
// without parsing it.
bool opensNestedCard(std::string_view physicalLine)
{
    const std::string_view t = trim(physicalLine);
    std::string_view group, name;
    splitName(t, group, name);
    return iequals(name, "AGENT") && !t.empty() && t.back() == ':';
}

// Where a file can be cut: before a line that is exactly "BEGIN:VCARD", has no
// folded continuation and opens no card of an AGENT. Where no card is open
// before such a line, no parsing state crosses it, and the pieces parse as the
// whole would; whether one is open, the reading of the piece before it tells.
// UTF-16 files are never cut: their bytes are converted first.
std::vector<std::size_t> cutPoints(std::string_view bytes, std::size_t stretch, const VCardLimits& limits)
{
    std::vector<std::size_t> cuts { 0 };
    const bool cuttable = !isUtf16(bytes) && limits.propertyBytes >= kBeginLine.size();
    for (std::size_t from = std::max<std::size_t>(stretch, 1); cuttable && from < bytes.size();) {
        const std::size_t at = bytes.find("\nBEGIN:VCARD", from);
        if (at == std::string_view::npos)
            break;
        const std::size_t lineStart = at + 1;
        std::size_t next = lineStart + kBeginLine.size();
        const bool endsThere = next == bytes.size() || bytes[next] == '\r' || bytes[next] == '\n';
        if (endsThere && next < bytes.size())
            next += bytes.substr(next, 2) == "\r\n" ? 2 : 1;
        if (!endsThere || (next < bytes.size() && isBlank(bytes[next]))
            || opensNestedCard(physicalLineBefore(bytes, lineStart))) {
            from = lineStart;
            continue;
        }
        cuts.push_back(lineStart);
        from = lineStart + std::max<std::size_t>(stretch, 1);
    }
    cuts.push_back(bytes.size());
    return cuts;
}

} // namespace

bool isMobilePhone(const VCardPhone& phone)
{
    return std::any_of(phone.types.begin(), phone.types.end(),
        [](const std::string& t) { return iequals(t, "cell") || iequals(t, "mobile") || iequals(t, "iphone"); });
}

std::string phoneLabel(const VCardPhone& phone)
{
    if (isMobilePhone(phone))
        return "mobile";
    auto has = [&](std::string_view word) {
        return std::any_of(
            phone.types.begin(), phone.types.end(), [&](const std::string& t) { return iequals(t, word); });
    };
    for (const std::string_view word : { "fax", "pager", "home", "work", "main", "car", "other" }) {
        if (has(word))
            return std::string(word);
    }
    static constexpr std::array<std::string_view, 10> kNotLabels
        = { "voice", "pref", "text", "msg", "internet", "x400", "video", "bbs", "modem", "isdn" };
    for (const std::string& t : phone.types) {
        if (!std::any_of(kNotLabels.begin(), kNotLabels.end(), [&](std::string_view word) { return iequals(t, word); })
            && !istartsWith(t, "x-"))
            return t;
    }
    return {};
}

namespace {

// A card whose END has not come yet. Cards nest: a BEGIN inside a card opens
// a card inside it, and an END closes the innermost one.
struct OpenCard {
    std::size_t beginLine = 0; // where its BEGIN line starts
    std::size_t start = 0; // just after its BEGIN line
    std::size_t order = 0; // its place among the cards of the bytes, by their BEGIN
    std::size_t agents = 0; // depth in cards nested in its AGENT, which are passed over
    // The cards nested in it, from their BEGIN line to the line after them:
    // passed over when it is read again with a charset hint, as they are read.
    std::vector<std::pair<std::size_t, std::size_t>> nested;
    bool again = false; // read again with a hint
    std::size_t skipped = 0; // of `nested`, those passed over in that second reading
};

// A card that closed inside another: it waits for the outermost to close, so
// that the cards come out in the order of their BEGIN lines, as they always
// did when a BEGIN ended the card before it.
struct WaitingCard {
    std::size_t order;
    VCardContact contact;
};

// What reading keeps from line to line, and from file to file when reused.
struct ParserState {
    std::vector<std::unique_ptr<CardBuilder>> builders; // one per depth, the outermost first
    std::vector<OpenCard> open;
    std::vector<WaitingCard> waiting;
    ContentLine line;
    LineProps props;
    std::string logical;
    std::string converted;
};

// Where parseWith() stopped: at one of the positions it was given, or at the
// end of the bytes, perhaps with cards still open there.
struct ParseEnd {
    std::size_t stop = std::string_view::npos; // index into `stops`, or npos at the end
    bool openAtEnd = false; // cards were open at the end of the bytes, and closed there
};

// Reads the cards of `bytes` into `cards`' counts, handing each contact kept
// to take(VCardContact&), in the order of their BEGIN lines. Stops early at
// the first of `stops` (positions in the bytes the caller cut them from,
// `origin` being where these begin) that a line starts at while no card is
// open.
template <typename Take>
ParseEnd parseWith(ParserState& state, std::string_view bytes, const VCardLimits& limits, VCardCards& cards,
    Take&& take, std::span<const std::size_t> stops = {}, std::size_t origin = 0)
{
    const bool unicode = isUtf16(bytes);
    if (unicode) {
        state.converted = utf16ToUtf8(bytes.substr(2), bytes[0] == '\xFE');
        bytes = state.converted;
    } else if (bytes.substr(0, 3) == "\xEF\xBB\xBF") {
        bytes.remove_prefix(3);
        origin += 3;
    }

    LineCursor cursor(bytes);
    std::vector<OpenCard>& open = state.open;
    std::vector<WaitingCard>& waiting = state.waiting;
    open.clear();
    waiting.clear();
    ContentLine& line = state.line;
    LineProps& props = state.props;
    std::string& logical = state.logical;
    const std::size_t limit = limits.propertyBytes;
    std::size_t kept = 0;
    std::size_t cardsBegun = 0;
    std::size_t nextStop = 0;
    ParseEnd result;

    const auto builder = [&]() -> CardBuilder& { return *state.builders[open.size() - 1]; };
    const auto emit = [&](VCardContact& contact) {
        if (kept >= limits.contacts) {
            ++cards.tooMany;
        } else {
            ++kept;
            take(contact);
        }
    };
    const auto begin = [&](std::size_t lineStart) {
        open.push_back({ lineStart, cursor.pos(), cardsBegun++, 0, {}, false, 0 });
        if (state.builders.size() < open.size())
            state.builders.push_back(std::make_unique<CardBuilder>());
        builder().start(unicode);
    };
    // Closes the innermost card, whose lines end at `end` and which is
    // followed by what starts at `after`; false when the card is to be read
    // again from its start instead, with a charset declared after its 8-bit
    // text. A card is read at most twice.
    const auto finish = [&](std::size_t end, std::size_t after) {
        OpenCard& card = open.back();
        CardBuilder& built = builder();
        card.agents = 0;
        if (built.wantsHint() && !card.again) {
            std::string hint;
            std::size_t from = card.start;
            for (std::size_t k = 0; hint.empty() && k <= card.nested.size(); ++k) {
                const std::size_t to = k < card.nested.size() ? card.nested[k].first : end;
                hint = built.hintIn(bytes.substr(from, to - from));
                from = k < card.nested.size() ? card.nested[k].second : end;
            }
            if (!hint.empty()) {
                built.restart(std::move(hint));
                card.again = true;
                cursor.seek(card.start);
                return false;
            }
        }
        VCardContact* contact = built.finish(cards);
        const std::size_t order = card.order;
        const std::size_t beginLine = card.beginLine;
        open.pop_back();
        if (!open.empty())
            open.back().nested.emplace_back(beginLine, after);
        if (contact != nullptr && open.empty() && waiting.empty()) {
            emit(*contact);
        } else if (contact != nullptr) {
            waiting.push_back({ order, std::move(*contact) });
        }
        if (open.empty() && !waiting.empty()) {
            std::sort(waiting.begin(), waiting.end(),
                [](const WaitingCard& a, const WaitingCard& b) { return a.order < b.order; });
            for (WaitingCard& w : waiting)
                emit(w.contact);
            waiting.clear();
        }
        return true;
    };
    const auto nestInAgent = [&] {
        if (++open.back().agents > kMaxNestedCards)
            builder().spoil();
    };

    for (;;) {
        if (open.empty() && nextStop < stops.size()) {
            while (nextStop < stops.size() && stops[nextStop] < origin + cursor.pos())
                ++nextStop;
            if (nextStop < stops.size() && stops[nextStop] == origin + cursor.pos()) {
                result.stop = nextStop;
                return result;
            }
        }
        if (cursor.atEnd()) {
            if (open.empty())
                return result;
            result.openAtEnd = true;
            finish(bytes.size(), bytes.size());
            continue;
        }
        // Read again with a hint, a card passes over the cards nested in it.
        if (!open.empty() && open.back().again) {
            OpenCard& card = open.back();
            while (card.skipped < card.nested.size() && card.nested[card.skipped].first < cursor.pos())
                ++card.skipped;
            if (card.skipped < card.nested.size() && card.nested[card.skipped].first == cursor.pos()) {
                cursor.seek(card.nested[card.skipped++].second);
                continue;
            }
        }
        // A line longer than the limit is not kept whole, only read past. It
        // is still a line: its continuations are its own, not new lines. An
        // unfolded line, nearly every line, is looked at where it lies.
        const std::size_t lineStart = cursor.pos();
        bool overlong = false;
        std::string_view last = cursor.next();
        std::string_view logicalLine;
        if (!cursor.nextIsFolded()) {
            overlong = last.size() > limit;
            logicalLine = last.substr(0, limit);
        } else {
            logical.clear();
            appendCapped(logical, last, limit, overlong);
            while (cursor.nextIsFolded()) {
                last = cursor.next().substr(1);
                appendCapped(logical, last, limit, overlong);
            }
            logicalLine = logical;
        }
        // A line of a property not kept matters only when a quoted-printable
        // soft break ("=" at its end) carries it on over the next lines;
        // otherwise its parameters and value are not looked at.
        const std::size_t nameEnd = splitName(logicalLine, line.group, line.name);
        Property property = propertyOf(line.name);
        if (property == Property::Other) {
            const std::string_view end = trimEnd(overlong ? last : logicalLine);
            if (open.empty() || end.empty() || end.back() != '=')
                continue;
        }
        const bool parsed = parseParams(logicalLine, nameEnd, line);
        if (!overlong && !parsed)
            continue;

        if (!overlong && property == Property::Begin && iequals(trim(line.value), "VCARD")) {
            if (open.empty()) {
                begin(lineStart);
            } else if (open.back().agents > 0 || opensNestedCard(physicalLineBefore(bytes, lineStart))) {
                nestInAgent();
            } else if (open.size() <= kMaxNestedCards) {
                begin(lineStart);
            } else if (finish(lineStart, lineStart)) {
                // Nested too deep: the innermost card ends where the next begins.
                begin(lineStart);
            }
            continue;
        }
        if (open.empty())
            continue;
        if (!overlong && property == Property::End && iequals(trim(line.value), "VCARD")) {
            if (open.back().agents > 0)
                --open.back().agents;
            else
                finish(lineStart, cursor.pos());
            continue;
        }
        // Some writers put the nested card's BEGIN on the AGENT line itself.
        if (!overlong && property == Property::Agent && iequals(trim(line.value), "BEGIN:VCARD"))
            nestInAgent();
        if (open.back().agents > 0)
            continue;

        CardBuilder& card = builder();
        if (parsed)
            readProps(line, property == Property::Tel, props);
        if (parsed && props.quotedPrintable) {
            // A soft line break ("=" at the end) continues the value on the
            // next line, unindented. A broken value must not swallow the
            // card's end or the next card.
            std::string_view tail = trimEnd(overlong ? last : line.value);
            if (!tail.empty() && tail.back() == '=') {
                const std::size_t valueStart = static_cast<std::size_t>(line.value.data() - logicalLine.data());
                std::string joined(overlong ? logicalLine : logicalLine.substr(0, valueStart));
                while (!tail.empty() && tail.back() == '=' && !cursor.atEnd()) {
                    const std::string_view next = cursor.peek();
                    if (isCardMarker(next, "END") || isCardMarker(next, "BEGIN"))
                        break;
                    tail.remove_suffix(1);
                    appendCapped(joined, tail, limit, overlong);
                    tail = trimEnd(cursor.next());
                }
                appendCapped(joined, tail, limit, overlong);
                logical = std::move(joined);
                logicalLine = logical;
                parseContentLine(logicalLine, line);
                property = propertyOf(line.name);
                readProps(line, property == Property::Tel, props);
            }
        }
        if (property == Property::Other || property == Property::Agent)
            continue;
        if (overlong)
            card.spoil();
        else
            card.add(property, line, props, logicalLine.size(), limits.cardBytes);
    }
}

} // namespace

VCardCards parseVCards(std::string_view bytes, const VCardLimits& limits)
{
    ParserState state;
    VCardCards cards;
    parseWith(state, bytes, limits, cards, [&](VCardContact& c) { cards.contacts.push_back(std::move(c)); });
    return cards;
}

struct VCardStream::State {
    ParserState parser;
};

VCardStream::VCardStream()
    : m_state(std::make_unique<State>())
{
}

VCardStream::~VCardStream() = default;

VCardCards VCardStream::read(
    std::string_view bytes, const VCardLimits& limits, const std::function<void(const VCardContact&)>& take)
{
    VCardCards cards;
    parseWith(m_state->parser, bytes, limits, cards, take);
    return cards;
}

void forEachOnThreads(std::size_t items, unsigned threads, const std::function<void(std::size_t)>& work)
{
    std::atomic<std::size_t> next { 0 };
    auto run = [&] {
        for (std::size_t i = next++; i < items; i = next++)
            work(i);
    };
    const std::size_t extra = items >= 2 ? std::min<std::size_t>(std::max(threads, 1u), items) - 1 : 0;
    std::vector<std::thread> pool;
    pool.reserve(extra);
    for (std::size_t t = 0; t < extra; ++t) {
        try {
            pool.emplace_back(run);
        } catch (const std::system_error&) {
            break; // the threads there are do the work
        }
    }
    run();
    for (std::thread& t : pool)
        t.join();
}

VCardCards parseVCardsInStretches(std::string_view bytes, const VCardLimits& limits, std::size_t stretch,
    unsigned threads, const std::atomic<bool>* cancel, const std::function<void(std::size_t)>& parsed)
{
    const std::vector<std::size_t> cuts = cutPoints(bytes, stretch, limits);
    const std::size_t stretches = cuts.size() - 1;
    auto cancelled = [cancel] { return cancel != nullptr && cancel->load(std::memory_order_relaxed); };
    struct Part {
        VCardCards cards;
        ParseEnd end;
    };
    const auto parse = [&](std::size_t from, std::size_t to, const VCardLimits& partLimits,
                           std::span<const std::size_t> stops = {}) {
        ParserState state;
        Part part;
        part.end = parseWith(
            state, bytes.substr(from, to - from), partLimits, part.cards,
            [&](VCardContact& c) { part.cards.contacts.push_back(std::move(c)); }, stops, from);
        return part;
    };
    VCardCards out;
    const auto append = [&](Part& part) {
        const std::size_t keep = std::min(limits.contacts - out.contacts.size(), part.cards.contacts.size());
        out.tooLong += part.cards.tooLong;
        out.tooMany += part.cards.tooMany + (part.cards.contacts.size() - keep);
        std::move(part.cards.contacts.begin(), part.cards.contacts.begin() + static_cast<std::ptrdiff_t>(keep),
            std::back_inserter(out.contacts));
    };
    const auto leftFor = [&] {
        VCardLimits partLimits = limits;
        partLimits.contacts = limits.contacts - out.contacts.size();
        return partLimits;
    };
    // A few stretches per thread at a time: their cards wait in memory until
    // the ones before them are counted against the limit.
    const std::size_t window = std::size_t { std::max(threads, 1u) } * 4;
    std::vector<Part> parts;
    for (std::size_t first = 0; first < stretches && !cancelled();) {
        parts.assign(std::min(window, stretches - first), {});
        const VCardLimits partLimits = leftFor();
        forEachOnThreads(parts.size(), threads, [&](std::size_t k) {
            if (!cancelled())
                parts[k] = parse(cuts[first + k], cuts[first + k + 1], partLimits);
        });
        // A stretch read as if no card were open at its start is read right
        // when none was open at the end of the stretch before it. Where one
        // was (a card without END, or one with a card nested in it cut in
        // two), the reading goes on from that stretch's start in one piece
        // up to the first cut where no card is open.
        std::size_t k = 0;
        while (k < parts.size() && !(parts[k].end.openAtEnd && first + k + 1 < stretches))
            append(parts[k++]);
        if (k == parts.size()) {
            first += parts.size();
        } else {
            const std::size_t from = first + k;
            Part joined = parse(cuts[from], bytes.size(), leftFor(),
                std::span<const std::size_t>(cuts).subspan(from + 1, stretches - from - 1));
            append(joined);
            first = joined.end.stop == std::string_view::npos ? stretches : from + 1 + joined.end.stop;
        }
        if (parsed)
            parsed(cuts[first]);
    }
    return out;
}
