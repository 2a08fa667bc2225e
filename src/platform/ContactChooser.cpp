#include "ContactChooser.h"

#include "ContactStore.h"
#include "ListDialog.h"

#include <QAbstractListModel>
#include <QApplication>
#include <QDialogButtonBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QLocale>
#include <QProgressBar>
#include <QPushButton>
#include <QStringMatcher>
#include <QVBoxLayout>

#include <algorithm>
#include <numeric>
#include <optional>
#include <utility>
#include <vector>

namespace {

constexpr int kNumbersRole = Qt::UserRole + 1;

bool isPhoneChar(QChar c)
{
    return c.isDigit() || c == u'+' || c == u'-' || c == u'(' || c == u')' || c == u' ' || c == u'.' || c == u'/';
}

struct Query {
    QString text; // folded
    QString digits; // set when the query looks like a number: "555 01" finds "(555) 0123"

    bool operator==(const Query&) const = default;

    static Query from(const QString& raw)
    {
        Query q;
        q.text = foldForSearch(raw.trimmed());
        if (std::all_of(q.text.cbegin(), q.text.cend(), isPhoneChar))
            q.digits = phoneDigits(q.text);
        return q;
    }

    // True when every match of *this is a match of `wider`, so *this can be
    // searched among wider's matches only.
    bool narrows(const Query& wider) const
    {
        if (!text.contains(wider.text))
            return false;
        // A number query matches through digits; a wider query without digits
        // ("+") did not, and may have left out contacts *this matches.
        return digits.isEmpty() || !wider.digits.isEmpty() || wider.text.isEmpty();
    }
};

// A text looked for in 100,000 short ones, one keystroke's search. Qt's
// contains() sets itself up anew for each, which costs more than the looking
// once the text is two characters or more: those are found by their first
// character, and texts of six or more with a Boyer-Moore table made once.
class Needle {
public:
    explicit Needle(const QString& text)
        : m_text(text)
        , m_matcher(text)
    {
    }

    bool in(QStringView haystack) const
    {
        const qsizetype size = m_text.size();
        if (size <= 1)
            return haystack.contains(m_text); // one character: a vectorised search
        if (size >= 6)
            return m_matcher.indexIn(haystack) >= 0;
        if (haystack.size() < size)
            return false;
        const QChar* end = haystack.end() - size + 1;
        for (const QChar* at = haystack.begin(); at < end; ++at) {
            at = std::find(at, end, m_text.front());
            if (at == end)
                return false;
            if (std::equal(m_text.begin() + 1, m_text.end(), at + 1))
                return true;
        }
        return false;
    }

private:
    QString m_text;
    QStringMatcher m_matcher;
};

} // namespace

// One row per contact that matches the search, over the store's search texts.
// No rows until the first setFilter(), which the chooser makes as it opens.
class ContactListModel final : public QAbstractListModel {
public:
    ContactListModel(const ContactStore& store, QObject* parent)
        : QAbstractListModel(parent)
        , m_store(store)
    {
    }

    // The store has changed under the searches done so far.
    void forgetSearches() { m_history.clear(); }

    int rowCount(const QModelIndex& parent) const override
    {
        return parent.isValid() ? 0 : static_cast<int>(m_rows.size());
    }

    // The list view asks for the index of every row each time it lays the
    // rows out: answered here without the two virtual calls of hasIndex().
    QModelIndex index(int row, int column = 0, const QModelIndex& parent = {}) const override
    {
        const bool valid = row >= 0 && static_cast<std::size_t>(row) < m_rows.size() && column == 0;
        return valid && !parent.isValid() ? createIndex(row, column) : QModelIndex();
    }

    QVariant data(const QModelIndex& index, int role) const override
    {
        const Contact* c = contactAt(index.row());
        if (c == nullptr || index.parent().isValid())
            return {};
        switch (role) {
        case Qt::DisplayRole:
            return c->displayName;
        case kNumbersRole:
            return c->phones.join(QStringLiteral("  \u00B7  "));
        case Qt::ToolTipRole:
            return c->phones.join(QLatin1Char('\n'));
        default:
            return {};
        }
    }

    const Contact* contactAt(int row) const
    {
        if (row < 0 || static_cast<std::size_t>(row) >= m_rows.size())
            return nullptr;
        return &m_store.contacts()[static_cast<std::size_t>(m_rows[static_cast<std::size_t>(row)])];
    }

    void setFilter(const QString& raw)
    {
        const Query query = Query::from(raw);
        // Matches of the queries typed so far, each narrower than the one
        // before: typing on narrows the last, a backspace finds its answer here.
        while (!m_history.empty() && !query.narrows(m_history.back().first))
            m_history.pop_back();
        if (!m_history.empty() && m_history.back().first == query && m_rows == m_history.back().second)
            return;

        std::vector<int> rows;
        if (!m_history.empty() && m_history.back().first == query) {
            rows = m_history.back().second;
        } else if (query.text.isEmpty()) {
            rows.resize(m_store.contacts().size());
            std::iota(rows.begin(), rows.end(), 0);
        } else {
            const Needle text(query.text);
            const std::optional<Needle> digits
                = query.digits.isEmpty() ? std::nullopt : std::optional<Needle>(query.digits);
            const auto matches = [&](std::size_t i) {
                return text.in(m_store.searchText(i)) || (digits && digits->in(m_store.searchDigits(i)));
            };
            if (!m_history.empty()) {
                for (const int i : m_history.back().second) {
                    if (matches(static_cast<std::size_t>(i)))
                        rows.push_back(i);
                }
            } else {
                for (std::size_t i = 0; i < m_store.contacts().size(); ++i) {
                    if (matches(i))
                        rows.push_back(static_cast<int>(i));
                }
            }
        }
        if (m_history.empty() || !(m_history.back().first == query))
            m_history.emplace_back(query, rows);

        beginResetModel();
        m_rows = std::move(rows);
        endResetModel();
    }

private:
    const ContactStore& m_store;
    std::vector<int> m_rows;
    std::vector<std::pair<Query, std::vector<int>>> m_history;
};

ContactChooser::ContactChooser(const ContactStore& store, QWidget* parent)
    : QDialog(parent)
    , m_store(store)
    , m_model(new ContactListModel(store, this))
{
    setWindowTitle(tr("Choose Contact"));

    m_search = new QLineEdit(this);
    m_search->setObjectName(QStringLiteral("search"));
    m_search->setPlaceholderText(tr("Search by name or number"));
    m_search->setClearButtonEnabled(true);
    // No label stands beside these two: a screen reader names them by what
    // they are for.
    m_search->setAccessibleName(m_search->placeholderText());
    m_search->installEventFilter(this);

    m_list = new QListView(this);
    m_list->setObjectName(QStringLiteral("contacts"));
    m_list->setAccessibleName(windowTitle());
    // Uniform rows let the view lay out 100,000 rows without asking each one.
    m_list->setUniformItemSizes(true);
    m_list->setItemDelegate(new TwoLineDelegate(kNumbersRole, tr("No phone number"), m_list));
    m_list->setModel(m_model);
    m_list->setSelectionMode(QAbstractItemView::SingleSelection);
    m_list->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_list->setVerticalScrollMode(QAbstractItemView::ScrollPerPixel);
    m_list->installEventFilter(this);

    // While the store is read: how far, and how many so far.
    m_progress = new QProgressBar(this);
    m_progress->setObjectName(QStringLiteral("progress"));
    m_progress->setRange(0, 1000);
    m_progress->setFormat(tr("Reading contacts"));

    m_empty = new QLabel(this);
    m_empty->setObjectName(QStringLiteral("empty"));
    m_empty->setAlignment(Qt::AlignCenter);

    m_leftOut = new QLabel(this);
    m_leftOut->setObjectName(QStringLiteral("leftOut"));
    m_leftOut->setWordWrap(true);
    m_leftOut->setTextFormat(Qt::PlainText);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    m_ok = buttons->button(QDialogButtonBox::Ok);
    m_ok->setDefault(true);

    for (QWidget* w : std::initializer_list<QWidget*> { m_search, m_ok, buttons->button(QDialogButtonBox::Cancel) })
        w->setMinimumHeight(TwoLineDelegate::touchTargetHeight());

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_search);
    layout->addWidget(m_list, 1);
    layout->addWidget(m_progress);
    layout->addWidget(m_empty);
    layout->addWidget(m_leftOut);
    layout->addWidget(buttons);

    connect(m_search, &QLineEdit::textChanged, this, &ContactChooser::applyFilter);
    // activated: a double click on desktops, a single tap where the platform
    // activates on one click, Enter in the list.
    connect(m_list, &QListView::activated, this, &ContactChooser::choose);
    connect(m_list->selectionModel(), &QItemSelectionModel::currentChanged, this, &ContactChooser::updateButtons);
    connect(buttons, &QDialogButtonBox::accepted, this, &ContactChooser::choose);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(&store, &ContactStore::progress, this, [this](int permille, qsizetype found) {
        m_progress->setValue(permille);
        m_progress->setFormat(tr("Reading contacts: %L1 found").arg(found));
    });
    connect(&store, &ContactStore::ready, this, &ContactChooser::storeReady);

    storeReady();
    m_search->setFocus();

    fitListDialog(*this, parent);
}

ContactChooser::~ContactChooser() = default;

int ContactChooser::visibleCount() const
{
    return m_model->rowCount({});
}

void ContactChooser::setTouchTargetHeight(int pixels)
{
    TwoLineDelegate::setTouchTargetHeight(pixels);
}

QString ContactChooser::leftOutText(const ContactsLeftOut& left)
{
    // "reason: count" reads right for any count, in any language, without
    // plural forms.
    const QLocale locale;
    const auto size = [&](std::size_t bytes) {
        return locale.formattedDataSize(qint64(bytes), 0, QLocale::DataSizeTraditionalFormat);
    };
    QStringList parts;
    if (left.tooMany > 0)
        parts << tr("beyond the first %L1 contacts: %L2").arg(left.limits.contacts).arg(left.tooMany);
    if (left.tooLong > 0)
        parts << tr("with a field over %1 or a card over %2: %L3")
                     .arg(size(left.limits.propertyBytes), size(left.limits.cardBytes))
                     .arg(left.tooLong);
    if (left.bigFiles > 0)
        parts << tr("files over %1: %L2").arg(size(left.limits.fileBytes)).arg(left.bigFiles);
    if (!left.unreadBooks.isEmpty())
        parts << tr("address books that could not be read: %1").arg(left.unreadBooks.join(QStringLiteral(", ")));
    return parts.isEmpty() ? QString() : tr("Not listed \u2014 %1").arg(parts.join(QStringLiteral("; ")));
}

void ContactChooser::storeReady()
{
    const bool ready = m_store.isReady();
    m_progress->setVisible(!ready);
    m_leftOut->setText(leftOutText(m_store.leftOut()));
    // Why a book could not be read, in EDS's own words where it gave them.
    m_leftOut->setToolTip(m_store.leftOut().whyUnread.join(QLatin1Char('\n')));
    m_leftOut->setVisible(ready && m_store.leftOut().any());
    m_model->forgetSearches();
    applyFilter(m_search->text());
    if (ready && m_chooseWhenReady)
        choose();
}

void ContactChooser::applyFilter(const QString& text)
{
    m_model->setFilter(text);
    // Laid out now, while the reset has left no persistent index: with the
    // current row set first, the view would look each row up among them.
    // (Before the chooser shows, showing lays it out anyway.)
    if (m_list->isVisible())
        m_list->doItemsLayout();
    const bool any = m_model->rowCount({}) > 0;
    if (any)
        m_list->setCurrentIndex(m_model->index(0));
    m_list->scrollToTop();
    m_empty->setText(m_store.contacts().empty() ? tr("No contacts") : tr("No matching contacts"));
    m_empty->setVisible(!any && m_store.isReady());
    updateButtons();
}

void ContactChooser::choose()
{
    const Contact* contact = m_model->contactAt(m_list->currentIndex().row());
    if (contact == nullptr || result() == QDialog::Accepted)
        return;
    m_chosenOid = contact->oid;
    accept();
}

void ContactChooser::updateButtons()
{
    m_ok->setEnabled(m_list->currentIndex().isValid());
}

bool ContactChooser::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() != QEvent::KeyPress)
        return QDialog::eventFilter(watched, event);
    auto* key = static_cast<QKeyEvent*>(event);

    if (watched == m_search) {
        // Return typed before the list is in chooses the first match once
        // it is: the user has said what they want.
        if ((key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter) && !m_store.isReady()) {
            m_chooseWhenReady = true;
            return true;
        }
        // The list moves under the search field, which keeps the focus. (A
        // key sent on to the view would let it take the focus.)
        const int rowHeight = std::max(1, m_list->sizeHintForRow(0));
        const int page = std::max(1, m_list->viewport()->height() / rowHeight - 1);
        int step = 0;
        switch (key->key()) {
        case Qt::Key_Up:
            step = -1;
            break;
        case Qt::Key_Down:
            step = 1;
            break;
        case Qt::Key_PageUp:
            step = -page;
            break;
        case Qt::Key_PageDown:
            step = page;
            break;
        default:
            break;
        }
        const int rows = m_model->rowCount({});
        if (step != 0 && rows > 0) {
            const int current = m_list->currentIndex().isValid() ? m_list->currentIndex().row() : -1;
            const QModelIndex target = m_model->index(std::clamp(current + step, 0, rows - 1));
            m_list->setCurrentIndex(target);
            m_list->scrollTo(target);
            return true;
        }
        if (step != 0)
            return true;
    } else if (watched == m_list) {
        // Typing in the list searches, rather than jumping by first letter.
        const QString text = key->text();
        const bool printable = !text.isEmpty() && text.at(0).isPrint()
            && !(key->modifiers() & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier));
        if (printable || key->key() == Qt::Key_Backspace) {
            m_search->setFocus();
            QCoreApplication::sendEvent(m_search, event);
            return true;
        }
    }
    return QDialog::eventFilter(watched, event);
}

std::int32_t ChooseContact(CHOOSECONTACT* cc, const ContactStore& store)
{
    if (cc == nullptr || cc->cbSize != sizeof(CHOOSECONTACT)
        || qobject_cast<QApplication*>(QCoreApplication::instance()) == nullptr)
        return pim::E_FAIL;

    // With no owner given, the active window stands in: the chooser then
    // stays above the screen that asked for it, centred on it, and takes no
    // taskbar entry of its own. exec() blocks input to every other window
    // either way.
    QWidget* owner = cc->hwndOwner != nullptr ? static_cast<QWidget*>(cc->hwndOwner) : QApplication::activeWindow();
    ContactChooser chooser(store, owner);
    if (chooser.exec() != QDialog::Accepted || store.itemFromOid(chooser.chosenOid()) == nullptr)
        return pim::E_ABORT;
    cc->oidContactID = chooser.chosenOid();
    return pim::S_OK;
}
