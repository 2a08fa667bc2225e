#pragma once

#include "CardBook.h"
#include "DialogBase.h"

class QComboBox;
class QLineEdit;

// The add-card screen: one new card, checked, confirmed, appended.
class CMainCardDlg : public CDialogBase {
    Q_OBJECT
public:
    explicit CMainCardDlg(QWidget* parent = nullptr);

    const CardBook& book() const { return m_book; }

protected:
    bool OnInitDialog() override;
    void DoDataExchange() override;
    const MessageMap& messageMap() const override;
    VScroll vscrollMode() const override { return VScroll::Handler; }
    int keyFilterId() const override;

private:
    void OnPinOptionChange();
    void OnAdd();
    void OnCancelClicked();
    // The first refusal among the fields, or an empty text when all pass.
    QString validationFailure() const;
    CardRecord cardFromFields() const;
    void refuseDuplicate();

    QComboBox* m_hiddenList = nullptr;
    QComboBox* m_pinOption = nullptr;
    QLineEdit* m_cardName = nullptr;
    QLineEdit* m_accessNumber = nullptr;
    QLineEdit* m_pin = nullptr;
    QLineEdit* m_pauseBeforeNumber = nullptr;
    QLineEdit* m_prefix = nullptr;
    QLineEdit* m_pauseBeforePin = nullptr;
    CardBook m_book;
};
