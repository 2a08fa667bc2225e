#include "PhoneLayout.h"

#include "ContactChooser.h"

#include <QAbstractItemDelegate>
#include <QAbstractItemView>
#include <QComboBox>
#include <QGuiApplication>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QPointer>
#include <QProxyStyle>
#include <QPushButton>
#include <QScreen>

#include <algorithm>
#include <cmath>
#include <map>

namespace phonelayout {

namespace {

constexpr const char* kScaleProperty = "phoneLayoutScale";
// Room left between rows that had to move apart.
constexpr int kRowGap = 4;

// Dialog units of a grown font: fractional, so that the template's width
// fills the display to the pixel.
struct Units {
    double x;
    double y;
    QRect toPixels(const QRect& dlu) const
    {
        // Edges rounded, not sizes: neighbours stay as far apart as in the template.
        const auto at = [](int v, double unit, int div) { return static_cast<int>(std::lround(v * unit / div)); };
        return QRect(QPoint(at(dlu.left(), x, 4), at(dlu.top(), y, 8)),
            QPoint(at(dlu.left() + dlu.width(), x, 4) - 1, at(dlu.top() + dlu.height(), y, 8) - 1));
    }
};

bool pressable(const ControlTemplate& c)
{
    return !(c.style & cs::Hidden) && c.kind != ControlKind::Label && c.kind != ControlKind::Picture;
}

int verticalOverlap(const QRect& a, const QRect& b)
{
    return std::min(a.bottom(), b.bottom()) - std::max(a.top(), b.top()) + 1;
}

// Every control's place on the phone. Controls a finger presses grow about
// their centre to a touch target. A row is the pressable controls whose
// template spans overlap, with the labels and pictures that overlap them most;
// a label or picture overlapping none stands alone. Going down the rows in
// template order, a row moves down (with all below it) until it keeps
// kRowGap clear of everything above it that it would otherwise meet.
std::vector<QRect> layOut(const DialogTemplate& tpl, const Units& units)
{
    const std::vector<ControlTemplate>& controls = tpl.controls;
    const std::size_t n = controls.size();
    std::vector<QRect> rects(n);
    std::vector<std::size_t> row(n);
    for (std::size_t i = 0; i < n; ++i) {
        QRect dlu = controls[i].rectDlu;
        if (controls[i].kind == ControlKind::DropList || controls[i].kind == ControlKind::DropCombo)
            dlu.setHeight(14); // the rest is the dropped list
        rects[i] = units.toPixels(dlu);
        row[i] = i;
    }
    // Pressable controls first, each joining an earlier one's row; then the rest.
    for (const bool first : { true, false })
        for (std::size_t i = 0; i < n; ++i) {
            int best = 0;
            for (std::size_t j = 0; pressable(controls[i]) == first && j < (first ? i : n); ++j)
                if (pressable(controls[j]) && verticalOverlap(rects[i], rects[j]) > best)
                    best = verticalOverlap(rects[i], rects[j]), row[i] = row[j];
        }
    for (std::size_t i = 0; i < n; ++i) {
        if (!pressable(controls[i]))
            continue;
        const QPoint centre = rects[i].center();
        rects[i].setSize(rects[i].size().expandedTo({ kTouchTarget, kTouchTarget }));
        rects[i].moveCenter(centre);
    }
    std::map<std::pair<int, std::size_t>, std::vector<std::size_t>> rows; // by template top
    for (std::size_t i = 0; i < n; ++i)
        if (!(controls[i].style & cs::Hidden))
            rows[{ controls[row[i]].rectDlu.top(), row[i] }].push_back(i);
    std::vector<std::size_t> placed;
    int shift = 0;
    for (const auto& [key, members] : rows) {
        for (const std::size_t m : members)
            for (const std::size_t p : placed)
                if (rects[m].left() <= rects[p].right() && rects[p].left() <= rects[m].right())
                    shift = std::max(shift, rects[p].bottom() + 1 + kRowGap - rects[m].top());
        for (const std::size_t m : members)
            rects[m].translate(0, shift), placed.push_back(m);
    }
    return rects;
}

int bottomOf(const std::vector<QRect>& rects)
{
    int bottom = 0;
    for (const QRect& r : rects)
        bottom = std::max(bottom, r.bottom() + 1);
    return bottom;
}

// One scaled copy of the logo per size.
QPixmap scaledLogo(const QString& path, QSize size)
{
    static std::map<std::pair<int, int>, QPixmap> cache;
    QPixmap& pixmap = cache[{ size.width(), size.height() }];
    if (pixmap.isNull())
        pixmap = resourcePng(path).scaled(size, Qt::KeepAspectRatio, Qt::SmoothTransformation);
    return pixmap;
}

// The rows of a combo box's dropped list, painted as before but at least a
// touch target tall.
class TouchRows : public QAbstractItemDelegate {
public:
    TouchRows(QAbstractItemDelegate* inner, QObject* parent)
        : QAbstractItemDelegate(parent)
        , m_inner(inner)
    {
    }
    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override
    {
        m_inner->paint(painter, option, index);
    }
    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override
    {
        return m_inner->sizeHint(option, index).expandedTo({ kTouchTarget, kTouchTarget });
    }
    bool editorEvent(
        QEvent* event, QAbstractItemModel* model, const QStyleOptionViewItem& option, const QModelIndex& index) override
    {
        return m_inner->editorEvent(event, model, option, index);
    }

private:
    QPointer<QAbstractItemDelegate> m_inner;
};

class TouchMenuStyle : public QProxyStyle {
public:
    QSize sizeFromContents(
        ContentsType type, const QStyleOption* option, const QSize& size, const QWidget* widget) const override
    {
        const QSize base = QProxyStyle::sizeFromContents(type, option, size, widget);
        if (type == CT_MenuBarItem)
            return base.expandedTo({ kTouchTarget, kTouchTarget });
        if (type != CT_MenuItem)
            return base;
        // A menu entry's check column widens with the entry's height (by
        // about four fifths of it in Fusion) and pushes the text right; the
        // entry widens by as much as it grows taller, so that its text and
        // shortcut keep their gap.
        const int taller = std::max(0, kTouchTarget - base.height());
        return QSize(base.width() + taller, base.height() + taller).expandedTo({ kTouchTarget, kTouchTarget });
    }
};

} // namespace

void apply(CDialogBase& screen)
{
    const bool phone = screen.fillsDisplay();
    ContactChooser::setTouchTargetHeight(phone ? kTouchTarget : 0);
    const DialogTemplate& tpl = dialogTemplate(screen.templateId());
    const QScreen* display = QGuiApplication::primaryScreen();
    if (!phone || !display || tpl.controls.empty())
        return;
    const QRect available = display->availableGeometry();
    const DialogUnits desktop = dialogUnitsFor(screen.font());
    // Grown to fill the width; should the rows then not fit the height (a
    // display on its side), less, but never below the template's own size.
    // Room is kept at the foot for a menu bar.
    double scale = double(available.width()) / desktop.toPixels({ 0, 0, tpl.widthDlu, 0 }).width();
    QFont font = screen.font();
    std::vector<QRect> rects;
    for (int tries = 0; tries < 16; ++tries) {
        font.setPointSizeF(tpl.fontPointSize * scale);
        rects = layOut(tpl, { desktop.baseX * scale, double(QFontMetrics(font).height()) });
        if (scale <= 1 || bottomOf(rects) <= available.height() - kTouchTarget)
            break;
        scale = std::max(1.0, scale * 0.95);
    }
    screen.setFont(font);
    screen.setProperty(kScaleProperty, scale);
    for (std::size_t i = 0; i < tpl.controls.size(); ++i) {
        QWidget* w = screen.GetDlgItem(tpl.controls[i].id);
        w->setGeometry(rects[i]);
        if (auto* picture = qobject_cast<QLabel*>(w); picture && tpl.controls[i].kind == ControlKind::Picture)
            picture->setPixmap(scaledLogo(tpl.controls[i].text, rects[i].size()));
        if (auto* combo = qobject_cast<QComboBox*>(w))
            combo->view()->setItemDelegate(new TouchRows(combo->view()->itemDelegate(), combo));
    }
}

void touchMenuBar(const CDialogBase& screen, QMenuBar* bar)
{
    if (!screen.fillsDisplay())
        return;
    bar->setStyle(sharedStyle<TouchMenuStyle>());
    // A pop-up is a window of its own: it takes neither the style nor the font.
    for (QMenu* menu : bar->findChildren<QMenu*>()) {
        menu->setStyle(sharedStyle<TouchMenuStyle>());
        menu->setFont(bar->font());
    }
}

void touchMessageBoxes()
{
    // A box is polished once, before it is laid out for its first show:
    // the font and the buttons' sizes are in place when its size is settled.
    class Touch : public QObject {
        bool eventFilter(QObject* watched, QEvent* event) override
        {
            auto* box = event->type() == QEvent::Polish ? qobject_cast<QMessageBox*>(watched) : nullptr;
            if (!box || !isFullScreenClass(deviceClass()))
                return false;
            if (const CDialogBase* top = CDialogBase::topScreen())
                box->setFont(top->font());
            for (QAbstractButton* button : box->buttons())
                button->setMinimumSize(button->sizeHint().expandedTo({ kTouchTarget, kTouchTarget }));
            return false;
        }
    };
    static QPointer<Touch> touch;
    if (!touch) {
        touch = new Touch;
        touch->setParent(QCoreApplication::instance());
        QCoreApplication::instance()->installEventFilter(touch);
    }
}

LogFont scaled(const QWidget* screen, LogFont font)
{
    const double scale = screen->property(kScaleProperty).toDouble();
    if (scale > 0) {
        font.height = static_cast<int>(std::lround(font.height * scale));
        font.width = static_cast<int>(std::lround(font.width * scale));
    }
    return font;
}

} // namespace phonelayout
