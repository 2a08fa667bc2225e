#include "DialogBase.h"

#include "Accessibility.h"
#include "KeyFilter.h"
#include "MessageBoxes.h"
#include "PhoneLayout.h"
#include "ResourceIds.h"
#include "ScrollRules.h"
#include "Translations.h"

#include <QAbstractButton>
#include <QApplication>
#include <QComboBox>
#include <QFile>
#include <QFontDatabase>
#include <QImageReader>
#include <QKeyEvent>
#include <QKeySequence>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QPointer>
#include <QProxyStyle>
#include <QPushButton>
#include <QRawFont>
#include <QResizeEvent>
#include <QScreen>
#include <QScrollBar>
#include <QStyleOptionComplex>
#include <QValidator>
#include <QWheelEvent>

#include <sys/resource.h>

#include <algorithm>
#include <cmath>
#include <cstdio>

// The logo and icon live in a static library; their registration must be
// referenced or the linker drops it.
static void initDialerResources()
{
    Q_INIT_RESOURCE(res);
}

namespace {

constexpr const char* kCtrlIdProperty = "ctrlId";

// ES_NUMBER and EM_LIMITTEXT act on what the user types, never on text the
// program sets; the validator therefore judges an edit against the text it
// replaces, so that a longer text set by the program can still be shortened.
// The line edit has already changed its text when it asks, so the text
// before the edit is tracked here.
class TypingValidator : public QValidator {
public:
    TypingValidator(QLineEdit* edit, bool digitsOnly)
        : QValidator(edit)
        , m_digitsOnly(digitsOnly)
    {
        connect(edit, &QLineEdit::textChanged, this, [this](const QString& t) { m_before = t; });
    }
    void setLimit(int limit) { m_limit = limit; }
    // The program is about to set this text: it is the new base to judge
    // typing against, whatever its length or characters.
    void programSets(const QString& text) { m_before = text; }

    State validate(QString& input, int&) const override
    {
        const QString& before = m_before;
        if (m_digitsOnly && nonDigits(input) > nonDigits(before))
            return Invalid;
        if (m_limit > 0 && input.size() > m_limit && input.size() > before.size())
            return Invalid;
        return Acceptable;
    }

private:
    static qsizetype nonDigits(const QString& s)
    {
        return std::count_if(s.begin(), s.end(), [](QChar c) { return c < u'0' || c > u'9'; });
    }
    QString m_before;
    bool m_digitsOnly;
    int m_limit = 0;
};

TypingValidator* typingValidator(QWidget* w)
{
    auto* edit = qobject_cast<QLineEdit*>(w);
    if (!edit)
        return nullptr;
    return dynamic_cast<TypingValidator*>(const_cast<QValidator*>(edit->validator()));
}

// The handheld's dialog fonts are not on Linux; Liberation Sans has their
// metrics, DejaVu Sans is the fallback that is always installed. The
// substitutes serve any font asked for by the handheld's names; the screens
// name the face standing in directly (faceFor), since a substituted name
// has the system's fonts searched for it as well as for its stand-in.
const QStringList kHandheldFaces { QStringLiteral("MS Sans Serif"), QStringLiteral("MS Shell Dlg") };
const QStringList kStandInFaces { QStringLiteral("Liberation Sans"), QStringLiteral("DejaVu Sans") };

void installFontSubstitutes()
{
    static const bool done = [] {
        for (const QString& face : kHandheldFaces)
            QFont::insertSubstitutions(face, kStandInFaces);
        initDialerResources();
        return true;
    }();
    (void)done;
}

QString faceFor(const QString& face)
{
    if (!kHandheldFaces.contains(face))
        return face;
    static const QString standIn = [&face] {
        for (const QString& f : kStandInFaces)
            if (QFontDatabase::hasFamily(f))
                return f;
        return face; // left to the substitutes and the system
    }();
    return standIn;
}

// The handheld's combo boxes gave their text nearly the whole width; the
// desktop styles keep a wide arrow that clips a short entry like "Pin Base"
// in a 44-unit box. This narrows the arrow and the text margin only.
class CompactComboStyle : public QProxyStyle {
public:
    QRect subControlRect(
        ComplexControl cc, const QStyleOptionComplex* opt, SubControl sc, const QWidget* widget) const override
    {
        if (cc != CC_ComboBox)
            return QProxyStyle::subControlRect(cc, opt, sc, widget);
        const QRect r = opt->rect;
        const int arrow = std::min(14, r.width() / 3);
        switch (sc) {
        case SC_ComboBoxArrow:
            return { r.right() - arrow + 1, r.top(), arrow, r.height() };
        case SC_ComboBoxEditField:
            return { r.left() + 3, r.top() + 2, r.width() - arrow - 4, r.height() - 4 };
        default:
            return QProxyStyle::subControlRect(cc, opt, sc, widget);
        }
    }
};

// Every screen shows the same logo at the same size; one scaled copy is
// shared by all of them, however deep the screens stack. The size the screens
// take with their usual fonts comes scaled ahead in the resources (made by
// tools/scale_ahead with this same scaling, "logo-100x30.png"), which spares
// the first screen decoding the large original on its way to the display.
QPixmap scaledBitmap(const QString& path, QSize size)
{
    static std::map<std::pair<QString, std::pair<int, int>>, QPixmap> cache;
    const auto key = std::make_pair(path, std::make_pair(size.width(), size.height()));
    auto it = cache.find(key);
    if (it == cache.end()) {
        QImageReader original(path, "png");
        original.setAutoDetectImageFormat(false);
        const QSize fitted = original.size().scaled(size, Qt::KeepAspectRatio);
        const QString ahead
            = QStringLiteral("%1-%2x%3.png").arg(path.chopped(4)).arg(fitted.width()).arg(fitted.height());
        QPixmap pixmap;
        if (QFile::exists(ahead))
            pixmap = resourcePng(ahead);
        else
            pixmap = QPixmap::fromImage(original.read()).scaled(size, Qt::KeepAspectRatio, Qt::SmoothTransformation);
        it = cache.emplace(key, pixmap).first;
    }
    return it->second;
}

int scaleRound(int value, int mul, int div)
{
    return (value * mul + div / 2) / div;
}

} // namespace

QPixmap resourcePng(const QString& path)
{
    QImageReader reader(path, "png");
    reader.setAutoDetectImageFormat(false);
    return QPixmap::fromImage(reader.read());
}

QRect DialogUnits::toPixels(const QRect& dlu) const
{
    return { scaleRound(dlu.x(), baseX, 4), scaleRound(dlu.y(), baseY, 8), scaleRound(dlu.width(), baseX, 4),
        scaleRound(dlu.height(), baseY, 8) };
}

DialogUnits dialogUnitsFor(const QFont& font)
{
    // Every screen of a kind uses the same font: measured once per font,
    // not once per screen opened.
    static std::map<QString, DialogUnits> measured;
    const QString key = font.key();
    if (const auto it = measured.find(key); it != measured.end())
        return it->second;
    const QFontMetrics fm(font);
    const int cx = fm.horizontalAdvance(QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"));
    return measured[key] = DialogUnits { (cx / 26 + 1) / 2, fm.height() };
}

QFont fontFromLogFont(const LogFont& lf)
{
    QFont font(faceFor(lf.face));
    font.setPixelSize(std::max(1, lf.height));
    font.setWeight(static_cast<QFont::Weight>(std::clamp(lf.weight, 1, 1000)));
    // Measured on the font's own face, resized as the fitting goes: the
    // system's fonts are matched once for the measuring, not once for each
    // size tried.
    QRawFont face = QRawFont::fromFont(font);
    // The requested height is the character cell; Qt sizes the em square.
    const int cell = qRound(face.ascent()) + qRound(face.descent());
    if (cell > 0 && cell != lf.height)
        font.setPixelSize(std::max(1, static_cast<int>(std::lround(double(lf.height) * lf.height / cell))));
    if (lf.width > 0 && face.isValid()) {
        face.setPixelSize(font.pixelSize());
        const int avg = qRound(face.averageCharWidth());
        if (avg > 0)
            font.setStretch(std::clamp(static_cast<int>(std::lround(100.0 * lf.width / avg)), 1, 4000));
    }
    return font;
}

CDialogBase::CDialogBase(int templateId, QWidget*)
    : QDialog(nullptr)
    , m_template(dialogTemplate(templateId))
    , m_fullScreen(isFullScreenClass(deviceClass()))
{
    installFontSubstitutes();
    setWindowTitle(templateText(m_template.caption));
    QFont font(faceFor(m_template.fontFace));
    font.setPointSize(m_template.fontPointSize);
    setFont(font);
    m_units = dialogUnitsFor(font);
    createControls();
    makeAccessible(*this);
}

CDialogBase::~CDialogBase() = default;

void CDialogBase::createControls()
{
    for (const ControlTemplate& c : m_template.controls) {
        QWidget* w = nullptr;
        switch (c.kind) {
        case ControlKind::Picture: {
            auto* label = new QLabel(this);
            const QRect r = m_units.toPixels(c.rectDlu);
            label->setPixmap(scaledBitmap(c.text, r.size()));
            label->setAlignment(Qt::AlignCenter);
            w = label;
            break;
        }
        case ControlKind::Label: {
            auto* label = new QLabel(templateText(c.text), this);
            label->setWordWrap(true);
            label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
            w = label;
            break;
        }
        case ControlKind::Button: {
            auto* button = new QPushButton(templateText(c.text), this);
            button->setAutoDefault(true);
            w = button;
            break;
        }
        case ControlKind::Edit: {
            auto* edit = new QLineEdit(this);
            edit->setReadOnly(c.style & cs::ReadOnly);
            edit->setValidator(new TypingValidator(edit, c.style & cs::Number));
            w = edit;
            break;
        }
        case ControlKind::DropList:
        case ControlKind::DropCombo: {
            auto* combo = new QComboBox(this);
            combo->setEditable(c.kind == ControlKind::DropCombo);
            combo->setInsertPolicy(QComboBox::NoInsert);
            combo->setStyle(sharedStyle<CompactComboStyle>());
            // The handheld's combo edit field did not complete as you type.
            if (combo->isEditable())
                combo->setCompleter(nullptr);
            combo->setCurrentIndex(-1);
            w = combo;
            break;
        }
        }
        QRect r = m_units.toPixels(c.rectDlu);
        if (c.kind == ControlKind::DropList || c.kind == ControlKind::DropCombo)
            r.setHeight(m_units.toPixels(QRect(0, 0, 0, 14)).height()); // the rest is the dropped list
        w->setGeometry(r);
        w->setProperty(kCtrlIdProperty, c.id);
        w->setObjectName(QStringLiteral("ctl%1").arg(c.id));
        if (!(c.style & cs::TabStop) && c.kind != ControlKind::Label && c.kind != ControlKind::Picture)
            w->setFocusPolicy(Qt::ClickFocus);
        if (c.style & cs::Hidden)
            w->hide();
        m_controls[c.id] = w;
    }
    phonelayout::apply(*this);
    const QSize client = m_units.toPixels(QRect(0, 0, m_template.widthDlu, m_template.heightDlu)).size();
    if (m_fullScreen)
        resize(client);
    else
        setFixedSize(client);
}

QWidget* CDialogBase::GetDlgItem(int id) const
{
    const auto it = m_controls.find(id);
    return it == m_controls.end() ? nullptr : it->second;
}

int CDialogBase::GetDlgCtrlID(const QWidget* w) const
{
    for (; w; w = w->parentWidget()) {
        const QVariant v = w->property(kCtrlIdProperty);
        if (v.isValid())
            return w->parentWidget() == this ? v.toInt() : 0;
    }
    return 0;
}

QString CDialogBase::GetDlgItemText(int id) const
{
    QWidget* w = GetDlgItem(id);
    if (auto* e = qobject_cast<QLineEdit*>(w))
        return e->text();
    if (auto* c = qobject_cast<QComboBox*>(w))
        return c->currentText();
    if (auto* l = qobject_cast<QLabel*>(w))
        return l->text();
    if (auto* b = qobject_cast<QAbstractButton*>(w))
        return b->text();
    return {};
}

void CDialogBase::SetDlgItemText(int id, const QString& text)
{
    QWidget* w = GetDlgItem(id);
    if (auto* e = qobject_cast<QLineEdit*>(w)) {
        if (TypingValidator* v = typingValidator(e))
            v->programSets(text);
        e->setText(text);
        e->setCursorPosition(0);
    } else if (auto* c = qobject_cast<QComboBox*>(w)) {
        if (c->isEditable()) {
            c->setEditText(text);
            c->lineEdit()->setCursorPosition(0);
        } else
            c->setCurrentIndex(c->findText(text, Qt::MatchExactly));
    } else if (auto* l = qobject_cast<QLabel*>(w)) {
        l->setText(text);
    } else if (auto* b = qobject_cast<QAbstractButton*>(w)) {
        b->setText(text);
    }
}

void CDialogBase::ShowItem(int id, bool show)
{
    if (QWidget* w = GetDlgItem(id))
        w->setVisible(show);
}

bool CDialogBase::IsItemShown(int id) const
{
    const QWidget* w = GetDlgItem(id);
    return w && !w->isHidden();
}

void CDialogBase::SetItemReadOnly(int id, bool readOnly)
{
    if (auto* e = item<QLineEdit>(id))
        e->setReadOnly(readOnly);
}

void CDialogBase::LimitText(int id, int limit)
{
    if (TypingValidator* v = typingValidator(GetDlgItem(id)))
        v->setLimit(limit);
}

int CDialogBase::AddString(int id, const QString& text)
{
    auto* combo = item<QComboBox>(id);
    if (!combo)
        return -1;
    int at = combo->count();
    const bool sorted = std::any_of(m_template.controls.begin(), m_template.controls.end(),
        [id](const ControlTemplate& c) { return c.id == id && (c.style & cs::Sorted); });
    if (sorted) {
        // Case-insensitive order, a new entry after the equal ones.
        at = 0;
        while (at < combo->count() && QString::compare(combo->itemText(at), text, Qt::CaseInsensitive) <= 0)
            ++at;
    }
    const int current = combo->currentIndex();
    combo->insertItem(at, text);
    // Inserting keeps the selection where it was; nothing gets selected.
    combo->setCurrentIndex(current < 0 ? -1 : (current >= at ? current + 1 : current));
    if (current < 0 && combo->isEditable())
        combo->setEditText(QString());
    return at;
}

int CDialogBase::GetCurSel(int id) const
{
    const auto* combo = item<QComboBox>(id);
    return combo ? combo->currentIndex() : -1;
}

QString CDialogBase::GetLBText(int id, int index) const
{
    const auto* combo = item<QComboBox>(id);
    return combo && index >= 0 ? combo->itemText(index) : QString();
}

void CDialogBase::DeleteString(int id, int index)
{
    if (auto* combo = item<QComboBox>(id))
        combo->removeItem(index);
}

void CDialogBase::OnOK()
{
    DoDataExchange();
    done(res::IDOK);
}

void CDialogBase::OnCancel()
{
    done(res::IDCANCEL);
}

const MessageMap& CDialogBase::messageMap() const
{
    static const MessageMap none;
    return none;
}

void CDialogBase::connectMessageMap()
{
    for (const MessageEntry& entry : messageMap()) {
        const auto handler = entry.handler;
        switch (entry.code) {
        case MessageEntry::Clicked:
            if (auto* b = item<QAbstractButton>(entry.id))
                connect(b, &QAbstractButton::clicked, this, [this, handler] { handler(*this); });
            break;
        case MessageEntry::SelChange:
            if (auto* c = item<QComboBox>(entry.id))
                connect(c, &QComboBox::activated, this, [this, handler] { handler(*this); });
            break;
        case MessageEntry::Command:
            break; // reached through the menu bar's actions
        }
    }
}

QMenuBar* CDialogBase::CreateMenuBar()
{
    const MenuTemplate& tpl = phonebookMenu();
    m_menuBar = new QMenuBar(this);
    m_menuBar->setNativeMenuBar(false);
    QMenu* popup = m_menuBar->addMenu(templateText(tpl.popupText));
    for (const MenuCommand& command : tpl.commands) {
        QAction* action = popup->addAction(templateText(command.text));
        action->setData(command.id);
        // The menu shows it beside the command.
        action->setShortcut(QKeySequence(command.shortcut));
        connect(action, &QAction::triggered, this, [this, id = command.id] {
            for (const MessageEntry& entry : messageMap())
                if (entry.code == MessageEntry::Command && entry.id == id)
                    entry.handler(*this);
        });
    }
    phonelayout::touchMenuBar(*this, m_menuBar);
    // The handheld kept its menu bar below the screen, as a soft-key bar.
    const int h = m_menuBar->sizeHint().height();
    const QSize client = size();
    m_menuBar->setGeometry(0, client.height(), client.width(), h);
    if (m_fullScreen)
        resize(client.width(), client.height() + h);
    else
        setFixedSize(client.width(), client.height() + h);
    return m_menuBar;
}

void CDialogBase::commonOpeningSteps()
{
    DoDataExchange();
}

bool CDialogBase::OnInitDialog()
{
    commonOpeningSteps();
    return true;
}

namespace {

CDialogBase* g_top = nullptr;

// The program's one window. It shows the screen on top as its content; the
// screens beneath are taken out of it and hidden, keeping their state and
// their loops, and come back into it when the screens above them end. One
// window also keeps the cost of opening a screen flat however deep screens
// stack: the window with the focus never changes, and Qt looks through every
// widget of the program when it does.
class ScreenWindow : public QWidget {
public:
    ScreenWindow()
    {
        // No OK or Done button in the title bar: a screen is left through its
        // own buttons or the dialog ending (Escape, or the close button).
        // Screens keep their template size: nothing to maximize.
        setWindowFlags(Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint
            | Qt::WindowCloseButtonHint);
        setFocusPolicy(Qt::NoFocus);
    }

    void present(CDialogBase* screen, bool fullScreen)
    {
        setWindowTitle(screen->windowTitle());
        setWindowIcon(screen->windowIcon());
        if (fullScreen) {
            setMinimumSize(0, 0);
            setMaximumSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX);
            if (!isVisible())
                setWindowState(windowState() | Qt::WindowMaximized);
            screen->setGeometry(rect());
        } else if (size() != screen->size() || minimumSize() != maximumSize()) {
            setFixedSize(screen->size());
        }
        if (!isVisible())
            show();
        // A screen coming on top is what the user is working in, as a new
        // window would be: a message box that closed may have left no
        // window active.
        activateWindow();
    }

protected:
    // The window's close button and an Escape that reaches the window end
    // the screen on top, as they would end a dialog.
    void closeEvent(QCloseEvent* event) override
    {
        event->ignore();
        if (g_top)
            g_top->reject();
    }
    void keyPressEvent(QKeyEvent* event) override
    {
        if (event->key() == Qt::Key_Escape && g_top)
            g_top->reject();
        else
            QWidget::keyPressEvent(event);
    }
    void resizeEvent(QResizeEvent* event) override
    {
        QWidget::resizeEvent(event);
        if (g_top && g_top->parentWidget() == this && g_top->fillsDisplay())
            g_top->setGeometry(rect());
    }
};

QPointer<ScreenWindow> g_window;

ScreenWindow* screenWindow()
{
    if (!g_window)
        g_window = new ScreenWindow;
    return g_window;
}

// The first widget that Tab would reach in `screen`.
QWidget* firstTabStop(QWidget* screen)
{
    for (QWidget* w = screen->nextInFocusChain(); w != screen && screen->isAncestorOf(w); w = w->nextInFocusChain())
        if (w->isVisibleTo(screen) && w->isEnabled() && (w->focusPolicy() & Qt::TabFocus))
            return w;
    return nullptr;
}

} // namespace

CDialogBase* CDialogBase::topScreen()
{
    return g_top;
}

int CDialogBase::DoModal()
{
    if (!stackdepth::roomForAnotherScreen()) {
        AppMessageBox(
            QCoreApplication::translate("Messages", "Too many screens are open. Exit and start the dialer again."));
        return res::IDCANCEL;
    }
    if (!m_opened) {
        m_opened = true;
        connectMessageMap();
        if (const int id = keyFilterId())
            if (QWidget* w = GetDlgItem(id))
                w->installEventFilter(this);
        OnInitDialog();
    }
    m_below = g_top;
    g_top = this;
    enterWindow();
    int result = 0;
    do {
        m_reenter = false;
        result = exec();
    } while (m_reenter);
    g_top = m_below;
    if (m_below)
        m_below->uncover();
    setParent(nullptr, Qt::Widget);
    // The last screen has ended: so does the window, and the next screen
    // opens in a new one, as the program's first did.
    if (!g_top)
        delete g_window.data();
    m_below = nullptr;
    return result;
}

void CDialogBase::done(int result)
{
    m_reenter = false;
    QDialog::done(result);
}

void CDialogBase::enterWindow()
{
    ScreenWindow* window = screenWindow();
    setParent(window, Qt::Widget);
    move(0, 0); // also keeps the dialog from placing itself when shown
    window->present(this, m_fullScreen);
}

void CDialogBase::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    // This screen is in the window first, then the one beneath leaves it:
    // the window is never empty.
    if (m_below && !m_below->m_covered)
        m_below->cover();
    if (QWidget* focus = m_focus ? m_focus.data() : firstTabStop(this))
        focus->setFocus(Qt::ActiveWindowFocusReason);
}

void CDialogBase::cover()
{
    m_covered = true;
    m_reenter = true; // leaving the window hides the screen and ends its loop; DoModal enters it again
    m_focus = focusWidget();
    setParent(nullptr, Qt::Widget);
}

void CDialogBase::uncover()
{
    if (!m_covered)
        return;
    m_covered = false;
    enterWindow();
    show();
}

void CDialogBase::ScrollSetUp()
{
    m_scrollPos = 0;
    const QScreen* screen = this->screen();
    const int displayHeight = screen ? screen->geometry().height() : 0;
    const int windowHeight = m_fullScreen && screen ? screen->availableGeometry().height() : frameGeometry().height();
    SetScrollInfo(scrollExtentFor(displayHeight, windowHeight));
}

void CDialogBase::SetScrollInfo(int extent)
{
    m_scrollExtent = extent;
    // Only the handheld classes ask for a scroll bar: on a desktop the
    // screen already shows every control, and a bar would only push them
    // out of sight.
    if (!m_fullScreen || extent <= 0)
        return;
    if (!m_scrollBar) {
        m_scrollBar = new QScrollBar(Qt::Vertical, this);
        connect(m_scrollBar, &QAbstractSlider::actionTriggered, this, [this](int action) {
            int code = -1;
            switch (action) {
            case QAbstractSlider::SliderSingleStepSub:
                code = SB_LINEUP;
                break;
            case QAbstractSlider::SliderSingleStepAdd:
                code = SB_LINEDOWN;
                break;
            case QAbstractSlider::SliderPageStepSub:
                code = SB_PAGEUP;
                break;
            case QAbstractSlider::SliderPageStepAdd:
                code = SB_PAGEDOWN;
                break;
            case QAbstractSlider::SliderMove:
                code = SB_THUMBTRACK;
                break;
            case QAbstractSlider::SliderToMinimum:
                code = SB_TOP;
                break;
            case QAbstractSlider::SliderToMaximum:
                code = SB_BOTTOM;
                break;
            default:
                break;
            }
            if (code >= 0)
                OnVScroll(code, static_cast<std::uint32_t>(m_scrollBar->sliderPosition()));
            m_scrollBar->setSliderPosition(m_scrollPos);
        });
    }
    QSignalBlocker block(m_scrollBar);
    m_scrollBar->setRange(0, extent);
    m_scrollBar->setPageStep(std::max(1, extent / 10));
    m_scrollBar->setSingleStep(std::max(1, extent / 10));
    m_scrollBar->setValue(0);
    const int w = m_scrollBar->sizeHint().width();
    m_scrollBar->setGeometry(width() - w, 0, w, height());
    m_scrollBar->show();
}

void CDialogBase::OnVScroll(int code, std::uint32_t thumbPos)
{
    if (vscrollMode() != VScroll::Handler)
        return;
    const ScrollStep step = vscrollStep(code, m_scrollPos, m_scrollExtent, thumbPos);
    if (step.kind == ScrollStep::Ignore)
        return;
    int delta = step.delta;
    if (step.kind == ScrollStep::ClampToExtent) {
        m_scrollPos = m_scrollExtent;
        delta = 0;
    } else {
        m_scrollPos += delta;
    }
    if (m_scrollBar) {
        QSignalBlocker block(m_scrollBar);
        m_scrollBar->setValue(m_scrollPos);
    }
    scrollChildren(-delta);
}

void CDialogBase::scrollChildren(int dy)
{
    if (dy == 0)
        return;
    for (const auto& [id, w] : m_controls)
        w->move(w->pos() + QPoint(0, dy));
}

void CDialogBase::resizeEvent(QResizeEvent* event)
{
    QDialog::resizeEvent(event);
    const int menuHeight = m_menuBar ? m_menuBar->sizeHint().height() : 0;
    if (m_menuBar)
        m_menuBar->setGeometry(0, height() - menuHeight, width(), menuHeight);
    if (m_scrollBar) {
        const int w = m_scrollBar->sizeHint().width();
        m_scrollBar->setGeometry(width() - w, 0, w, height() - menuHeight);
    }
}

void CDialogBase::wheelEvent(QWheelEvent* event)
{
    if (m_scrollBar && vscrollMode() == VScroll::Handler) {
        OnVScroll(event->angleDelta().y() > 0 ? SB_LINEUP : SB_LINEDOWN, 0);
        event->accept();
        return;
    }
    QDialog::wheelEvent(event);
}

bool CDialogBase::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::KeyPress) {
        const auto* key = static_cast<QKeyEvent*>(event);
        // Key events go to the focus widget, which is the watched control.
        QWidget* focus = QApplication::focusWidget();
        if (!focus)
            focus = qobject_cast<QWidget*>(watched);
        if (keyFilterDrops(GetDlgCtrlID(focus), keyFilterId(), key->key()))
            return true;
    }
    return QDialog::eventFilter(watched, event);
}

namespace stackdepth {
namespace {
std::uintptr_t g_low = 0;
// Room kept free below the deepest screen for the message box that refuses
// the next one and for the handlers that run on top.
constexpr std::ptrdiff_t kReserve = 2 * 1024 * 1024;
// The kernel leaves at least 128 MiB below the main thread's stack before
// the first mapping, whatever the limit was at start; stay inside it.
constexpr rlim_t kWanted = 112u * 1024 * 1024;
} // namespace

void recordStackBase()
{
    rlimit rl {};
    if (getrlimit(RLIMIT_STACK, &rl) != 0)
        return;
    if (rl.rlim_cur != RLIM_INFINITY && rl.rlim_cur < kWanted) {
        rlimit raised = rl;
        raised.rlim_cur = rl.rlim_max == RLIM_INFINITY ? kWanted : std::min(kWanted, rl.rlim_max);
        if (setrlimit(RLIMIT_STACK, &raised) == 0)
            rl = raised;
    }
    const rlim_t usable = rl.rlim_cur == RLIM_INFINITY ? kWanted : std::min(rl.rlim_cur, kWanted);
    // Arguments and environment sit above main's frame; 256 KiB covers them.
    const auto here = reinterpret_cast<std::uintptr_t>(__builtin_frame_address(0));
    g_low = here - usable + 256 * 1024;
}

// Each stacked screen keeps its controls, a few tens of KiB; a phone runs
// out of memory long before a desktop. Below this much free memory no
// further screen opens.
constexpr long kMinAvailableKiB = 64 * 1024;

long availableMemoryKiB()
{
    std::FILE* f = std::fopen("/proc/meminfo", "re");
    if (!f)
        return -1;
    char line[128];
    long kib = -1;
    while (std::fgets(line, sizeof line, f))
        if (std::sscanf(line, "MemAvailable: %ld kB", &kib) == 1)
            break;
    std::fclose(f);
    return kib;
}

bool roomForAnotherScreen()
{
    if (!g_low)
        return true;
    const auto here = reinterpret_cast<std::uintptr_t>(__builtin_frame_address(0));
    if (here <= g_low || static_cast<std::ptrdiff_t>(here - g_low) <= kReserve)
        return false;
    const long available = availableMemoryKiB();
    return available < 0 || available >= kMinAvailableKiB;
}

} // namespace stackdepth
