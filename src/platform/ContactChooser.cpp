#include "ContactChooser.h"

#include "ContactStore.h"

#include <QAbstractListModel>
#include <QApplication>
#include <QDialogButtonBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QPainter>
#include <QPushButton>
#include <QScreen>
#include <QStyledItemDelegate>
#include <QVBoxLayout>

#include <algorithm>
#include <numeric>
#include <utility>
#include <vector>

namespace {

constexpr int kNumbersRole = Qt::UserRole + 1;
constexpr QChar kSeparator(u'\x1');

bool isPhoneChar(QChar c)
{
    return c.isDigit() || c == u'+' || c == u'-' || c == u'(' || c == u')' || c == u' ' || c == u'.' || c == u'/';
}

QString digitsOf(QStringView s)
{
    QString out;
    for (const QChar c : s) {
        if (c >= u'0' && c <= u'9')
            out += c;
    }
    return out;
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
            q.digits = digitsOf(q.text);
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

} // namespace

// One row per contact that matches the search. The searchable texts of all
// contacts sit in two long buffers built once: a keystroke over 100,000
// contacts reads memory in order and allocates nothing per contact.
class ContactListModel final : public QAbstractListModel {
public:
    ContactListModel(const std::vector<Contact>& contacts, QObject* parent)
        : QAbstractListModel(parent)
        , m_contacts(contacts)
    {
        m_textStart.reserve(contacts.size() + 1);
        m_digitStart.reserve(contacts.size() + 1);
        for (const Contact& c : contacts) {
            m_textStart.push_back(m_text.size());
            m_digitStart.push_back(m_digits.size());
            m_text += c.foldedName;
            if (c.fileAs != c.displayName) {
                m_text += kSeparator;
                m_text += foldForSearch(c.fileAs);
            }
            for (const QString& number : c.numbers) {
                m_text += kSeparator;
                m_text += number.toCaseFolded();
                m_digits += kSeparator;
                m_digits += digitsOf(number);
            }
        }
        m_textStart.push_back(m_text.size());
        m_digitStart.push_back(m_digits.size());
        m_rows.resize(contacts.size());
        std::iota(m_rows.begin(), m_rows.end(), 0);
    }

    int rowCount(const QModelIndex& parent) const override
    {
        return parent.isValid() ? 0 : static_cast<int>(m_rows.size());
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
        return &m_contacts[static_cast<std::size_t>(m_rows[static_cast<std::size_t>(row)])];
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
            rows.resize(m_contacts.size());
            std::iota(rows.begin(), rows.end(), 0);
        } else if (!m_history.empty()) {
            for (const int i : m_history.back().second) {
                if (matches(static_cast<std::size_t>(i), query))
                    rows.push_back(i);
            }
        } else {
            for (std::size_t i = 0; i < m_contacts.size(); ++i) {
                if (matches(i, query))
                    rows.push_back(static_cast<int>(i));
            }
        }
        if (m_history.empty() || !(m_history.back().first == query))
            m_history.emplace_back(query, rows);

        beginResetModel();
        m_rows = std::move(rows);
        endResetModel();
    }

private:
    bool matches(std::size_t i, const Query& q) const
    {
        const QStringView text = QStringView(m_text).sliced(m_textStart[i], m_textStart[i + 1] - m_textStart[i]);
        if (text.contains(q.text))
            return true;
        if (q.digits.isEmpty())
            return false;
        const QStringView digits = QStringView(m_digits).sliced(m_digitStart[i], m_digitStart[i + 1] - m_digitStart[i]);
        return digits.contains(q.digits);
    }

    const std::vector<Contact>& m_contacts;
    QString m_text;
    QString m_digits;
    std::vector<qsizetype> m_textStart;
    std::vector<qsizetype> m_digitStart;
    std::vector<int> m_rows;
    std::vector<std::pair<Query, std::vector<int>>> m_history;
};

namespace {

// Two lines per contact: the name, and below it the numbers in a smaller,
// quieter face.
class ContactDelegate final : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;

    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override
    {
        QStyleOptionViewItem opt(option);
        initStyleOption(&opt, index);
        const QString name = opt.text;
        opt.text.clear();
        const QWidget* widget = opt.widget;
        QStyle* style = widget != nullptr ? widget->style() : QApplication::style();
        style->drawControl(QStyle::CE_ItemViewItem, &opt, painter, widget);

        const bool selected = opt.state.testFlag(QStyle::State_Selected);
        const QRect r = opt.rect.adjusted(padding(opt), padding(opt) / 2, -padding(opt), -padding(opt) / 2);
        const QFont small = smallFont(opt.font);
        const int nameHeight = opt.fontMetrics.height();

        painter->save();
        painter->setFont(opt.font);
        painter->setPen(opt.palette.color(selected ? QPalette::HighlightedText : QPalette::Text));
        const QRect nameRect(r.left(), r.top(), r.width(), nameHeight);
        painter->drawText(
            nameRect, Qt::AlignLeft | Qt::AlignVCenter, opt.fontMetrics.elidedText(name, Qt::ElideRight, r.width()));

        QString numbers = index.data(kNumbersRole).toString();
        if (numbers.isEmpty())
            numbers = ContactChooser::tr("No phone number");
        QColor quiet = opt.palette.color(selected ? QPalette::HighlightedText : QPalette::Text);
        quiet.setAlphaF(0.65f);
        painter->setFont(small);
        painter->setPen(quiet);
        const QFontMetrics smallMetrics(small);
        const QRect numbersRect(r.left(), nameRect.bottom() + 1, r.width(), smallMetrics.height());
        painter->drawText(
            numbersRect, Qt::AlignLeft | Qt::AlignVCenter, smallMetrics.elidedText(numbers, Qt::ElideRight, r.width()));
        painter->restore();
    }

    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex&) const override
    {
        const QFontMetrics smallMetrics(smallFont(option.font));
        return { option.fontMetrics.averageCharWidth() * 24,
            option.fontMetrics.height() + smallMetrics.height() + padding(option) };
    }

private:
    static int padding(const QStyleOptionViewItem& option) { return option.fontMetrics.height() / 2; }

    static QFont smallFont(const QFont& base)
    {
        QFont f(base);
        if (f.pointSizeF() > 0)
            f.setPointSizeF(f.pointSizeF() * 0.88);
        else
            f.setPixelSize(std::max(8, f.pixelSize() * 7 / 8));
        return f;
    }
};

} // namespace

ContactChooser::ContactChooser(const ContactStore& store, QWidget* parent)
    : QDialog(parent)
    , m_model(new ContactListModel(store.contacts(), this))
    , m_storeEmpty(store.contacts().empty())
{
    setWindowTitle(tr("Choose Contact"));

    m_search = new QLineEdit(this);
    m_search->setObjectName(QStringLiteral("search"));
    m_search->setPlaceholderText(tr("Search by name or number"));
    m_search->setClearButtonEnabled(true);
    m_search->installEventFilter(this);

    m_list = new QListView(this);
    m_list->setObjectName(QStringLiteral("contacts"));
    // Uniform rows let the view lay out 100,000 rows without asking each one.
    m_list->setUniformItemSizes(true);
    m_list->setItemDelegate(new ContactDelegate(m_list));
    m_list->setModel(m_model);
    m_list->setSelectionMode(QAbstractItemView::SingleSelection);
    m_list->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_list->setVerticalScrollMode(QAbstractItemView::ScrollPerPixel);
    m_list->installEventFilter(this);

    m_empty = new QLabel(m_storeEmpty ? tr("No contacts") : tr("No matching contacts"), this);
    m_empty->setObjectName(QStringLiteral("empty"));
    m_empty->setAlignment(Qt::AlignCenter);
    m_empty->setVisible(m_storeEmpty);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    m_ok = buttons->button(QDialogButtonBox::Ok);
    m_ok->setDefault(true);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_search);
    layout->addWidget(m_list, 1);
    layout->addWidget(m_empty);
    layout->addWidget(buttons);

    connect(m_search, &QLineEdit::textChanged, this, &ContactChooser::applyFilter);
    // activated: a double click on desktops, a single tap where the platform
    // activates on one click, Enter in the list.
    connect(m_list, &QListView::activated, this, &ContactChooser::choose);
    connect(m_list->selectionModel(), &QItemSelectionModel::currentChanged, this, &ContactChooser::updateButtons);
    connect(buttons, &QDialogButtonBox::accepted, this, &ContactChooser::choose);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

    if (m_model->rowCount({}) > 0)
        m_list->setCurrentIndex(m_model->index(0));
    updateButtons();
    m_search->setFocus();

    // A phone screen is used whole; a desktop gets a window the size of a
    // phone book page.
    const QScreen* screen = parent != nullptr ? parent->screen() : QGuiApplication::primaryScreen();
    const QSize available = screen != nullptr ? screen->availableGeometry().size() : QSize(1024, 768);
    const int line = fontMetrics().height();
    const QSize wanted(line * 28, line * 38);
    if (available.width() < wanted.width() * 3 / 2 || available.height() < wanted.height())
        setWindowState(Qt::WindowMaximized);
    resize(wanted.boundedTo(available));
}

ContactChooser::~ContactChooser() = default;

int ContactChooser::visibleCount() const
{
    return m_model->rowCount({});
}

void ContactChooser::applyFilter(const QString& text)
{
    m_model->setFilter(text);
    const bool any = m_model->rowCount({}) > 0;
    if (any)
        m_list->setCurrentIndex(m_model->index(0));
    m_list->scrollToTop();
    m_empty->setVisible(!any);
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
