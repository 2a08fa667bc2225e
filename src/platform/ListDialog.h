#pragma once

#include <QStyledItemDelegate>

class QDialog;

// Rows of two lines, as the contact chooser and the recent calls show them:
// the row's text, and below it, in a smaller and quieter face, the text of
// `secondLineRole` (or `whenEmpty`).
class TwoLineDelegate final : public QStyledItemDelegate {
public:
    TwoLineDelegate(int secondLineRole, QString whenEmpty, QObject* parent);

    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override;
    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex&) const override;

    // On a touch screen: the rows, and the fields and buttons of the lists'
    // dialogs, at least this many pixels tall; 0 leaves them as the style
    // makes them.
    static void setTouchTargetHeight(int pixels);
    static int touchTargetHeight();

private:
    int m_role;
    QString m_whenEmpty;
};

// A phone screen is used whole; a desktop gets a window the size of a phone
// book page.
void fitListDialog(QDialog& dialog, const QWidget* parent);
