#include "RecentCalls.h"

#include "CallPlacement.h"
#include "CallScreenDlg.h"
#include "ListDialog.h"

#include <QAbstractListModel>
#include <QDialogButtonBox>
#include <QLabel>
#include <QListView>
#include <QLocale>
#include <QPushButton>
#include <QVBoxLayout>

namespace {

constexpr int kDetailsRole = Qt::UserRole + 1;

QString outcomeText(const CallRecord& call)
{
    switch (call.outcome) {
    case CallOutcome::Placed:
        return RecentCalls::tr("Placed");
    case CallOutcome::Ended:
        return RecentCalls::tr("Ended");
    case CallOutcome::NotAnswered:
        return RecentCalls::tr("No answer");
    case CallOutcome::Failed:
        return RecentCalls::tr("Failed");
    }
    return {};
}

// The card, when and how the call ended, and for how long when known.
QString details(const CallRecord& call)
{
    QStringList parts { call.card.isEmpty() ? RecentCalls::tr("Called directly") : call.card,
        QLocale().toString(call.placedAt.toLocalTime(), QLocale::ShortFormat), outcomeText(call) };
    if (call.seconds)
        parts << callDuration(std::chrono::seconds(*call.seconds));
    return parts.join(QStringLiteral("  \u00B7  "));
}

} // namespace

class RecentCallsModel final : public QAbstractListModel {
public:
    using QAbstractListModel::QAbstractListModel;

    void setCalls(std::vector<CallRecord> calls)
    {
        beginResetModel();
        m_calls = std::move(calls);
        endResetModel();
    }
    const CallRecord* callAt(int row) const
    {
        return row >= 0 && std::size_t(row) < m_calls.size() ? &m_calls[std::size_t(row)] : nullptr;
    }
    int rowOf(qint64 id) const
    {
        const auto it = std::find_if(m_calls.begin(), m_calls.end(), [id](const CallRecord& c) { return c.id == id; });
        return it == m_calls.end() ? 0 : int(it - m_calls.begin());
    }

    int rowCount(const QModelIndex& parent) const override { return parent.isValid() ? 0 : int(m_calls.size()); }

    QVariant data(const QModelIndex& index, int role) const override
    {
        const CallRecord* call = callAt(index.row());
        if (call == nullptr)
            return {};
        // A favourite is marked with a star, and named so for a screen reader.
        const QString shown = call->contact.isEmpty() ? call->number : call->contact;
        switch (role) {
        case Qt::DisplayRole:
            return call->favourite ? QStringLiteral("\u2605 ") + shown : shown;
        case kDetailsRole:
            return details(*call);
        case Qt::ToolTipRole:
            return call->number;
        case Qt::AccessibleTextRole:
            return (call->favourite ? RecentCalls::tr("Favourite") + QStringLiteral(", ") : QString()) + shown
                + QStringLiteral(", ") + details(*call).replace(QStringLiteral("  \u00B7  "), QStringLiteral(", "));
        default:
            return {};
        }
    }

private:
    std::vector<CallRecord> m_calls;
};

RecentCalls::RecentCalls(QWidget* parent)
    : QDialog(parent)
    , m_model(new RecentCallsModel(this))
{
    setWindowTitle(tr("Recent Calls"));
    m_list = new QListView(this);
    m_list->setObjectName(QStringLiteral("calls"));
    m_list->setAccessibleName(windowTitle());
    m_list->setUniformItemSizes(true);
    m_list->setItemDelegate(new TwoLineDelegate(kDetailsRole, {}, m_list));
    m_list->setModel(m_model);
    m_list->setSelectionMode(QAbstractItemView::SingleSelection);
    m_list->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_list->setVerticalScrollMode(QAbstractItemView::ScrollPerPixel);

    m_empty = new QLabel(this);
    m_empty->setObjectName(QStringLiteral("empty"));
    m_empty->setAlignment(Qt::AlignCenter);
    m_empty->setWordWrap(true);
    m_empty->setTextFormat(Qt::PlainText);
    m_empty->hide();

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    m_favourite = buttons->addButton(tr("Add to Favourites"), QDialogButtonBox::ActionRole);
    m_favourite->setObjectName(QStringLiteral("favourite"));
    m_ok = buttons->button(QDialogButtonBox::Ok);
    m_ok->setDefault(true);
    for (QPushButton* b : buttons->findChildren<QPushButton*>())
        b->setMinimumHeight(TwoLineDelegate::touchTargetHeight());

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_list, 1);
    layout->addWidget(m_empty);
    layout->addWidget(buttons);

    // activated: a double click on desktops, a tap where the platform
    // activates on one, Enter in the list.
    connect(m_list, &QListView::activated, this, &RecentCalls::choose);
    connect(m_list->selectionModel(), &QItemSelectionModel::currentChanged, this, &RecentCalls::updateButtons);
    connect(m_favourite, &QPushButton::clicked, this, &RecentCalls::toggleFavourite);
    connect(buttons, &QDialogButtonBox::accepted, this, &RecentCalls::choose);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

    updateButtons();
    m_list->setFocus();
    fitListDialog(*this, parent);
    load(0);
}

RecentCalls::~RecentCalls() = default;

int RecentCalls::visibleCount() const
{
    return m_model->rowCount({});
}

void RecentCalls::load(qint64 current)
{
    history::runInBackground([](CallHistory& h) { return h.recent(); }, this,
        [this, current](const HistoryResult& result) { loaded(result, current); });
}

void RecentCalls::loaded(const HistoryResult& result, qint64 current)
{
    TellHistoryMovedAside(result);
    m_model->setCalls(result.calls);
    const bool any = m_model->rowCount({}) > 0;
    if (any)
        m_list->setCurrentIndex(m_model->index(m_model->rowOf(current)));
    m_empty->setText(result.ok() ? tr("No recent calls") : tr("Recent Calls cannot be read: %1").arg(result.error));
    m_empty->setVisible(!any);
    updateButtons();
    emit listed();
}

void RecentCalls::choose()
{
    const CallRecord* call = m_model->callAt(m_list->currentIndex().row());
    if (call == nullptr || result() == QDialog::Accepted)
        return;
    m_chosen = *call;
    accept();
}

void RecentCalls::toggleFavourite()
{
    const CallRecord* call = m_model->callAt(m_list->currentIndex().row());
    if (call == nullptr)
        return;
    const qint64 id = call->id;
    const bool favourite = !call->favourite;
    m_favourite->setEnabled(false); // until the list is read again
    history::runInBackground([id, favourite](CallHistory& h) { return h.setFavourite(id, favourite); }, this,
        [this, id](const HistoryResult& result) {
            if (!result.ok())
                TellHistoryNotSaved(result);
            load(id);
        });
}

void RecentCalls::updateButtons()
{
    const CallRecord* call = m_model->callAt(m_list->currentIndex().row());
    m_ok->setEnabled(call != nullptr);
    m_favourite->setEnabled(call != nullptr);
    m_favourite->setText(call && call->favourite ? tr("Remove from Favourites") : tr("Add to Favourites"));
}

std::optional<CallRecord> ChooseRecentCall(QWidget* owner)
{
    RecentCalls list(owner);
    list.exec();
    return list.chosen();
}
