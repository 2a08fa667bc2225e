#pragma once

#include "CardBook.h"
#include "DialogBase.h"

class QComboBox;
class QLineEdit;

// The edit-card screen: pick a card, change its fields, save them.
class CEditcard : public CDialogBase {
    Q_OBJECT
public:
    explicit CEditcard(QWidget* parent = nullptr);

    const CardBook& book() const { return m_book; }

protected:
    bool OnInitDialog() override;
    void DoDataExchange() override;
    const MessageMap& messageMap() const override;
    VScroll vscrollMode() const override { return VScroll::Handler; }
    int keyFilterId() const override;

private:
    void OnCardSelect();
    void OnPinOptionChange();
    void OnSave();
    void OnCancelClicked();
    // The first refusal among the fields, or an empty text when all pass.
    QString validationFailure() const;
    CardRecord cardFromFields() const;
    bool isGone() const;
    static QString goneText();
    QString selectedName() const;
    void showCard(const CardRecord& card);

    QComboBox* m_cardList = nullptr;
    QComboBox* m_pinOption = nullptr;
    QLineEdit* m_cardName = nullptr;
    QLineEdit* m_accessNumber = nullptr;
    QLineEdit* m_pin = nullptr;
    QLineEdit* m_pauseBeforeNumber = nullptr;
    QLineEdit* m_prefix = nullptr;
    QLineEdit* m_pauseBeforePin = nullptr;
    CardBook m_book;
};
