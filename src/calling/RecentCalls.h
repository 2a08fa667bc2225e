#pragma once

#include "CallHistory.h"

#include <QDialog>

#include <optional>

class QLabel;
class QListView;
class QPushButton;
class RecentCallsModel;

// The calls placed, favourites at the top and newest first below them, read
// from the history off the GUI thread as the list opens. Each row shows the
// contact or the number, and under it the card, when and how it ended.
// Enter, a double click or OK chooses a row; "Add to Favourites" keeps the
// current row at the top, beyond the reach of the history's limit.
class RecentCalls : public QDialog {
    Q_OBJECT
public:
    explicit RecentCalls(QWidget* parent = nullptr);
    ~RecentCalls() override;

    const std::optional<CallRecord>& chosen() const { return m_chosen; }
    int visibleCount() const;

signals:
    // The history has been read, and the list shows it.
    void listed();

private:
    void load(qint64 current);
    void loaded(const HistoryResult& result, qint64 current);
    void choose();
    void toggleFavourite();
    void updateButtons();

    RecentCallsModel* m_model = nullptr;
    QListView* m_list = nullptr;
    QLabel* m_empty = nullptr;
    QPushButton* m_ok = nullptr;
    QPushButton* m_favourite = nullptr;
    std::optional<CallRecord> m_chosen;
};

// Runs the list modally over `owner`; the call chosen, or nothing.
std::optional<CallRecord> ChooseRecentCall(QWidget* owner);
