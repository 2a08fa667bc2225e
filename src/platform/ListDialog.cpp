#include "ListDialog.h"

#include <QApplication>
#include <QDialog>
#include <QPainter>
#include <QScreen>

#include <algorithm>

namespace {

int g_touchTargetHeight = 0;

int padding(const QStyleOptionViewItem& option)
{
    return option.fontMetrics.height() / 2;
}

QFont smallFont(const QFont& base)
{
    QFont f(base);
    if (f.pointSizeF() > 0)
        f.setPointSizeF(f.pointSizeF() * 0.88);
    else
        f.setPixelSize(std::max(8, f.pixelSize() * 7 / 8));
    return f;
}

// A line of text at the left of rect, centred in its height and elided when
// too wide. Eliding measures the text, which costs as much as drawing it; a
// text in Latin-1 (the font's own glyphs, no wider than its widest) that
// would fit even in its widest glyphs needs no measuring.
void drawLine(QPainter* painter, const QRect& rect, const QFontMetrics& metrics, const QString& text)
{
    const bool latin1 = std::all_of(text.begin(), text.end(), [](QChar c) { return c.unicode() < 0x100; });
    const bool fits = latin1 && text.size() * qsizetype(metrics.maxWidth()) <= rect.width();
    const QString shown = fits ? text : metrics.elidedText(text, Qt::ElideRight, rect.width());
    painter->drawText(rect, Qt::AlignLeft | Qt::AlignVCenter, shown);
}

} // namespace

TwoLineDelegate::TwoLineDelegate(int secondLineRole, QString whenEmpty, QObject* parent)
    : QStyledItemDelegate(parent)
    , m_role(secondLineRole)
    , m_whenEmpty(std::move(whenEmpty))
{
}

void TwoLineDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const
{
    QStyleOptionViewItem opt(option);
    initStyleOption(&opt, index);
    const QString first = opt.text;
    opt.text.clear();
    const QWidget* widget = opt.widget;
    QStyle* style = widget != nullptr ? widget->style() : QApplication::style();
    style->drawControl(QStyle::CE_ItemViewItem, &opt, painter, widget);

    const bool selected = opt.state.testFlag(QStyle::State_Selected);
    const QFont small = smallFont(opt.font);
    const int firstHeight = opt.fontMetrics.height();
    // A row made taller for touch keeps its two lines in the middle.
    const int natural = firstHeight + QFontMetrics(small).height() + padding(opt);
    const int extra = std::max(0, opt.rect.height() - natural) / 2;
    const QRect r = opt.rect.adjusted(padding(opt), padding(opt) / 2 + extra, -padding(opt), -padding(opt) / 2);

    painter->save();
    painter->setFont(opt.font);
    painter->setPen(opt.palette.color(selected ? QPalette::HighlightedText : QPalette::Text));
    const QRect firstRect(r.left(), r.top(), r.width(), firstHeight);
    drawLine(painter, firstRect, opt.fontMetrics, first);

    QString second = index.data(m_role).toString();
    if (second.isEmpty())
        second = m_whenEmpty;
    QColor quiet = opt.palette.color(selected ? QPalette::HighlightedText : QPalette::Text);
    quiet.setAlphaF(0.65f);
    painter->setFont(small);
    painter->setPen(quiet);
    const QFontMetrics smallMetrics(small);
    drawLine(painter, QRect(r.left(), firstRect.bottom() + 1, r.width(), smallMetrics.height()), smallMetrics, second);
    painter->restore();
}

QSize TwoLineDelegate::sizeHint(const QStyleOptionViewItem& option, const QModelIndex&) const
{
    const QFontMetrics smallMetrics(smallFont(option.font));
    return { option.fontMetrics.averageCharWidth() * 24,
        std::max(g_touchTargetHeight, option.fontMetrics.height() + smallMetrics.height() + padding(option)) };
}

void TwoLineDelegate::setTouchTargetHeight(int pixels)
{
    g_touchTargetHeight = pixels;
}

int TwoLineDelegate::touchTargetHeight()
{
    return g_touchTargetHeight;
}

void fitListDialog(QDialog& dialog, const QWidget* parent)
{
    const QScreen* screen = parent != nullptr ? parent->screen() : QGuiApplication::primaryScreen();
    const QSize available = screen != nullptr ? screen->availableGeometry().size() : QSize(1024, 768);
    const int line = dialog.fontMetrics().height();
    const QSize wanted(line * 28, line * 38);
    if (available.width() < wanted.width() * 3 / 2 || available.height() < wanted.height())
        dialog.setWindowState(Qt::WindowMaximized);
    dialog.resize(wanted.boundedTo(available));
}
