#pragma once

#include "CardBook.h"
#include "DialogBase.h"

class QComboBox;
class QLabel;
class QLineEdit;

// The delete-card screen: pick a card by name and remove it.
class CDeletecard : public CDialogBase {
    Q_OBJECT
public:
    explicit CDeletecard(QWidget* parent = nullptr);

    const CardBook& book() const { return m_book; }

protected:
    bool OnInitDialog() override;
    void DoDataExchange() override;
    const MessageMap& messageMap() const override;

private:
    void OnCardSelect();
    void OnDelete();
    void OnCancelClicked();
    // Cancel, and Cancel to the question, end here: the cards written again,
    // then home.
    void SaveAndReturn();
    void showName(bool show);

    QComboBox* m_cardList = nullptr;
    QLineEdit* m_cardName = nullptr;
    QLabel* m_nameLabel = nullptr;
    CardBook m_book;
};
