#include "ContactList.h"

#include "VCardAscii.h"

#include <QCoreApplication>
#include <QSet>

#include <algorithm>
#include <array>
#include <atomic>
#include <cstdint>
#include <iterator>

namespace {

// ASCII, nearly every name and number, is widened straight into the new
// string: a third of what the UTF-8 decoder costs for a short text.
QString fromUtf8(std::string_view s)
{
    QString out(static_cast<qsizetype>(s.size()), Qt::Uninitialized);
    char16_t* to = reinterpret_cast<char16_t*>(out.data());
    for (const char c : s) {
        if (static_cast<unsigned char>(c) >= 0x80)
            return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size()));
        *to++ = static_cast<char16_t>(c);
    }
    return out;
}

// What foldForSearch() makes of one character, for the characters up to the
// end of Cyrillic: worked out the slow way the first time each is met, then
// looked up. Case folding and decomposition work on each character alone,
// and every combining mark up to there is a non-spacing one, which the fold
// drops; so a text of such characters folds as its characters do one by one.
class FoldTable {
public:
    static constexpr char16_t kEnd = 0x500;

    // Writes the fold of c at out, one character or none; -1 when c is past
    // the table or folds to more (none there does today).
    int fold(char16_t c, char16_t* out)
    {
        if (c < 0x80) {
            *out = c >= u'A' && c <= u'Z' ? char16_t(c - u'A' + u'a') : c;
            return 1;
        }
        if (c >= kEnd)
            return -1;
        std::uint32_t entry = m_entries[c].load(std::memory_order_relaxed);
        if (entry == 0) {
            const QString folded = foldSlowly(QString(QChar(c)));
            const auto length = static_cast<std::uint32_t>(folded.size());
            entry = length > 1 ? kLonger : kKnown | length << 16 | (length == 1 ? folded[0].unicode() : 0u);
            m_entries[c].store(entry, std::memory_order_relaxed);
        }
        if (entry == kLonger)
            return -1;
        *out = char16_t(entry);
        return static_cast<int>(entry >> 16 & 1);
    }

    static QString foldSlowly(const QString& text)
    {
        QString folded = text.toCaseFolded();
        const bool ascii = std::all_of(folded.cbegin(), folded.cend(), [](QChar c) { return c.unicode() < 0x80; });
        if (ascii)
            return folded;
        folded = folded.normalized(QString::NormalizationForm_D);
        folded.removeIf([](QChar c) { return c.category() == QChar::Mark_NonSpacing; });
        return folded;
    }

private:
    // An entry: kKnown, the length (0 or 1) at bit 16, the character below.
    static constexpr std::uint32_t kKnown = 1u << 31;
    static constexpr std::uint32_t kLonger = 1u << 30;
    std::array<std::atomic<std::uint32_t>, kEnd> m_entries {};
};

FoldTable& foldTable()
{
    static FoldTable table;
    return table;
}

// Appends to out what write(char16_t* at) writes, at most `most` characters;
// write returns how many it wrote, or -1 to leave out untouched. A character
// at a time through QString would cost a call and a check each.
template <typename Write> bool appendWritten(QString& out, qsizetype most, Write&& write)
{
    const qsizetype start = out.size();
    out.resize(start + most);
    const qsizetype written = write(reinterpret_cast<char16_t*>(out.data()) + start);
    out.resize(start + std::max<qsizetype>(written, 0));
    return written >= 0;
}

// Appends foldForSearch(text) to out.
void appendFolded(QString& out, QStringView text)
{
    if (std::all_of(text.begin(), text.end(), [](QChar c) { return c.unicode() < 0x80; })) {
        appendWritten(out, text.size(), [&](char16_t* at) {
            for (const QChar c : text)
                *at++ = c >= u'A' && c <= u'Z' ? char16_t(c.unicode() - u'A' + u'a') : c.unicode();
            return text.size();
        });
        return;
    }
    FoldTable& table = foldTable();
    const bool folded = appendWritten(out, text.size(), [&](char16_t* at) {
        char16_t* const start = at;
        for (const QChar c : text) {
            const int n = table.fold(c.unicode(), at);
            if (n < 0)
                return qsizetype(-1);
            at += n;
        }
        return qsizetype(at - start);
    });
    if (!folded)
        out += FoldTable::foldSlowly(text.toString());
}

// Appends QString::fromUtf8(utf8).toCaseFolded() to out.
void appendCaseFolded(QString& out, std::string_view utf8)
{
    if (!vcard::isAsciiText(utf8)) {
        out += fromUtf8(utf8).toCaseFolded();
        return;
    }
    appendWritten(out, static_cast<qsizetype>(utf8.size()), [&](char16_t* at) {
        for (const char c : utf8)
            *at++ = static_cast<char16_t>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
        return static_cast<qsizetype>(utf8.size());
    });
}

// Appends the digits of a number, as phoneDigits() finds them.
void appendDigits(QString& out, std::string_view utf8)
{
    appendWritten(out, static_cast<qsizetype>(utf8.size()), [&](char16_t* at) {
        char16_t* const start = at;
        for (const char c : utf8) {
            if (c >= '0' && c <= '9')
                *at++ = static_cast<char16_t>(c);
        }
        return static_cast<qsizetype>(at - start);
    });
}

// The words phoneLabel gives, in the user's language, looked up once for all
// the contacts; a label the card wrote itself stays as written.
void translateLabel(std::string& label)
{
    static const std::vector<std::pair<std::string, std::string>> words = [] {
        std::vector<std::pair<std::string, std::string>> out;
        for (const char* word :
            { QT_TRANSLATE_NOOP("ContactChooser", "mobile"), QT_TRANSLATE_NOOP("ContactChooser", "fax"),
                QT_TRANSLATE_NOOP("ContactChooser", "pager"), QT_TRANSLATE_NOOP("ContactChooser", "home"),
                QT_TRANSLATE_NOOP("ContactChooser", "work"), QT_TRANSLATE_NOOP("ContactChooser", "main"),
                QT_TRANSLATE_NOOP("ContactChooser", "car"), QT_TRANSLATE_NOOP("ContactChooser", "other") })
            out.emplace_back(word, QCoreApplication::translate("ContactChooser", word).toStdString());
        return out;
    }();
    for (const auto& [english, shown] : words)
        if (label == english) {
            label = shown;
            return;
        }
}

} // namespace

QString foldForSearch(const QString& text)
{
    QString folded;
    folded.reserve(text.size());
    appendFolded(folded, text);
    return folded;
}

QString phoneDigits(QStringView number)
{
    QString out;
    for (const QChar c : number) {
        if (c >= u'0' && c <= u'9')
            out += c;
    }
    return out;
}

QStringView ContactBatch::sortKey(std::size_t i) const
{
    const QStringView all = searchText(i);
    const qsizetype end = all.indexOf(kSearchSeparator);
    return end < 0 ? all : all.left(end);
}

void ContactBatch::add(const VCardContact& card, const QString& path, std::size_t index, std::string& scratch)
{
    Contact& c = contacts.emplace_back();
    c.indexInFile = card.uid.empty() ? static_cast<int>(index) : -1;
    c.uidOrFile = card.uid.empty() ? path : fromUtf8(card.uid);
    c.fileAs = fromUtf8(card.fileAs);
    const bool sameName = card.displayName.empty() || card.displayName == card.fileAs;
    c.displayName = sameName ? c.fileAs : fromUtf8(card.displayName);
    appendFolded(text, c.displayName);
    if (!sameName) {
        text += kSearchSeparator;
        appendFolded(text, c.fileAs);
    }
    c.phones.reserve(static_cast<qsizetype>(card.phones.size()));
    for (const VCardPhone& phone : card.phones) {
        const bool mobile = c.mobile.isEmpty() && phone.number == card.mobile;
        scratch = phoneLabel(phone);
        translateLabel(scratch);
        if (scratch.empty()) {
            c.phones.push_back(fromUtf8(phone.number));
            if (mobile)
                c.mobile = c.phones.back(); // shared, not copied
        } else {
            scratch += ' ';
            scratch += phone.number;
            c.phones.push_back(fromUtf8(scratch));
            if (mobile)
                c.mobile = fromUtf8(phone.number);
        }
        text += kSearchSeparator;
        appendCaseFolded(text, phone.number);
        digits += kSearchSeparator;
        appendDigits(digits, phone.number);
    }
    textStart.push_back(text.size());
    digitStart.push_back(digits.size());
}

namespace {

void takeTexts(QString& to, std::vector<qsizetype>& toStart, const QString& from,
    const std::vector<qsizetype>& fromStart, std::size_t first, std::size_t last)
{
    const qsizetype offset = to.size() - fromStart[first];
    to += QStringView(from).sliced(fromStart[first], fromStart[last] - fromStart[first]);
    for (std::size_t i = first + 1; i <= last; ++i)
        toStart.push_back(fromStart[i] + offset);
}

} // namespace

void ContactBatch::take(ContactBatch& from, std::size_t first, std::size_t count)
{
    const auto at = [](std::size_t i) { return static_cast<std::ptrdiff_t>(i); };
    std::move(
        from.contacts.begin() + at(first), from.contacts.begin() + at(first + count), std::back_inserter(contacts));
    takeTexts(text, textStart, from.text, from.textStart, first, first + count);
    takeTexts(digits, digitStart, from.digits, from.digitStart, first, first + count);
}

void ContactBatch::truncate(std::size_t count)
{
    if (count >= contacts.size())
        return;
    contacts.resize(count);
    text.truncate(textStart[count]);
    digits.truncate(digitStart[count]);
    textStart.resize(count + 1);
    digitStart.resize(count + 1);
}

namespace {

// What tells two contacts for the same person: the UID, and the folded name
// with the digits of the numbers, in any order.
class SamePeople {
public:
    void add(const ContactBatch& batch, std::size_t first)
    {
        for (std::size_t i = first; i < batch.size(); ++i) {
            if (batch.contacts[i].indexInFile < 0)
                m_uids.insert(batch.contacts[i].uidOrFile);
            m_names.insert(nameAndNumbers(batch, i));
        }
    }

    bool has(const ContactBatch& batch, std::size_t i) const
    {
        const Contact& c = batch.contacts[i];
        return (c.indexInFile < 0 && m_uids.contains(c.uidOrFile)) || m_names.contains(nameAndNumbers(batch, i));
    }

private:
    static QString nameAndNumbers(const ContactBatch& batch, std::size_t i)
    {
        QList<QStringView> numbers = batch.searchDigits(i).split(kSearchSeparator, Qt::SkipEmptyParts);
        std::sort(numbers.begin(), numbers.end());
        QString key = batch.sortKey(i).toString();
        for (const QStringView number : numbers) {
            key += kSearchSeparator;
            key += number;
        }
        return key;
    }

    QSet<QString> m_uids;
    QSet<QString> m_names;
};

} // namespace

std::unique_ptr<ContactList> ContactList::merged(std::vector<ContactBatch> sources, ContactsLeftOut leftOut)
{
    ContactBatch all;
    SamePeople earlier;
    for (std::size_t s = 0; s < sources.size(); ++s) {
        ContactBatch& source = sources[s];
        const std::size_t first = all.size();
        if (first == 0) {
            all = std::move(source);
        } else {
            // Taken in runs between the contacts an earlier source has.
            std::size_t run = 0;
            for (std::size_t i = 0; i < source.size(); ++i) {
                if (earlier.has(source, i)) {
                    all.take(source, run, i - run);
                    run = i + 1;
                }
            }
            all.take(source, run, source.size() - run);
        }
        const bool laterOnes = std::any_of(sources.begin() + static_cast<std::ptrdiff_t>(s) + 1, sources.end(),
            [](const auto& b) { return b.size() > 0; });
        if (laterOnes)
            earlier.add(all, first);
    }
    if (all.size() > leftOut.limits.contacts) {
        leftOut.tooMany += static_cast<qsizetype>(all.size() - leftOut.limits.contacts);
        all.truncate(leftOut.limits.contacts);
    }
    return sorted(std::move(all), leftOut);
}

std::unique_ptr<ContactList> ContactList::sorted(ContactBatch kept, const ContactsLeftOut& leftOut)
{
    auto data = std::make_unique<ContactList>();
    data->leftOut = leftOut;

    // Sorted through precomputed keys: a locale-aware collator costs far more
    // per comparison than a list of 100,000 names can afford, and folded
    // names keep "María" among the other Marias. Nameless contacts (a number
    // only) go last. The first eight characters of each key, packed in order
    // into two numbers (0 past the end), settle most comparisons without a
    // call.
    struct SortKey {
        std::uint64_t prefix[2];
        QStringView key;
        std::size_t index;
    };
    std::vector<SortKey> order;
    order.reserve(kept.size());
    for (std::size_t i = 0; i < kept.size(); ++i) {
        SortKey& entry = order.emplace_back(SortKey { { 0, 0 }, kept.sortKey(i), i });
        for (qsizetype k = 0; k < 8; ++k)
            entry.prefix[k / 4] = entry.prefix[k / 4] << 16 | (k < entry.key.size() ? entry.key[k].unicode() : 0);
    }
    std::stable_sort(order.begin(), order.end(), [](const SortKey& a, const SortKey& b) {
        if (a.key.isEmpty() != b.key.isEmpty())
            return b.key.isEmpty();
        if (a.prefix[0] != b.prefix[0])
            return a.prefix[0] < b.prefix[0];
        if (a.prefix[1] != b.prefix[1])
            return a.prefix[1] < b.prefix[1];
        return a.key < b.key;
    });
    // The search texts of all contacts sit in two long buffers: a keystroke
    // over 100,000 contacts reads memory in order and allocates nothing.
    data->text.resize(kept.text.size());
    data->digits.resize(kept.digits.size());
    data->textStart.reserve(kept.size() + 1);
    data->digitStart.reserve(kept.size() + 1);
    const auto copySlice = [](QString& to, std::vector<qsizetype>& toStart, const QString& from,
                               const std::vector<qsizetype>& fromStart, std::size_t i) {
        const qsizetype size = fromStart[i + 1] - fromStart[i];
        std::copy_n(from.constData() + fromStart[i], size, to.data() + toStart.back());
        toStart.push_back(toStart.back() + size);
    };
    for (const SortKey& entry : order) {
        copySlice(data->text, data->textStart, kept.text, kept.textStart, entry.index);
        copySlice(data->digits, data->digitStart, kept.digits, kept.digitStart, entry.index);
    }
    // The contacts are put in order where they are, each moved once along
    // the cycles of the order.
    std::vector<Contact>& contacts = data->contacts = std::move(kept.contacts);
    std::vector<bool> placed(contacts.size());
    for (std::size_t start = 0; start < contacts.size(); ++start) {
        if (placed[start])
            continue;
        Contact first = std::move(contacts[start]);
        std::size_t to = start;
        for (std::size_t from = order[to].index; from != start; to = from, from = order[to].index) {
            contacts[to] = std::move(contacts[from]);
            placed[to] = true;
        }
        contacts[to] = std::move(first);
        placed[to] = true;
    }
    for (std::size_t i = 0; i < contacts.size(); ++i)
        contacts[i].oid = static_cast<int>(i + 1);
    return data;
}

QStringView ContactBatch::searchText(std::size_t i) const
{
    const auto& s = textStart;
    return i + 1 < s.size() ? QStringView(text).sliced(s[i], s[i + 1] - s[i]) : QStringView();
}

QStringView ContactBatch::searchDigits(std::size_t i) const
{
    const auto& s = digitStart;
    return i + 1 < s.size() ? QStringView(digits).sliced(s[i], s[i + 1] - s[i]) : QStringView();
}
