#pragma once

#include "DeviceClass.h"
#include "DialogTemplates.h"

#include <QCoreApplication>
#include <QDialog>
#include <QFont>
#include <QPointer>
#include <QStyle>

#include <functional>
#include <map>
#include <memory>
#include <vector>

class QScrollBar;
class QMenuBar;
class QPixmap;

// A control notification or command bound to a member handler.
struct MessageEntry {
    enum Code { Clicked, SelChange, Command };
    int id;
    Code code;
    std::function<void(class CDialogBase&)> handler;
};
using MessageMap = std::vector<MessageEntry>;

template <class D> MessageEntry OnClicked(int id, void (D::*fn)())
{
    return { id, MessageEntry::Clicked, [fn](CDialogBase& b) { (static_cast<D&>(b).*fn)(); } };
}
template <class D> MessageEntry OnSelChange(int id, void (D::*fn)())
{
    return { id, MessageEntry::SelChange, [fn](CDialogBase& b) { (static_cast<D&>(b).*fn)(); } };
}
template <class D> MessageEntry OnCommand(int id, void (D::*fn)())
{
    return { id, MessageEntry::Command, [fn](CDialogBase& b) { (static_cast<D&>(b).*fn)(); } };
}

// Font attributes as a screen asks for them: cell height and average
// character width in pixels, weight on the 0 to 1000 scale.
struct LogFont {
    int height;
    int width;
    int weight;
    QString face;
};
QFont fontFromLogFont(const LogFont& lf);

// One of the program's own PNG images. Named as PNG, the image reader does not
// load every installed image plugin to ask whether it knows the format.
QPixmap resourcePng(const QString& path);

// One proxy style of kind S for the whole program, owned by the application:
// a style per widget would cost a style object per control of every screen.
template <class S> QStyle* sharedStyle()
{
    static QPointer<S> style;
    if (!style) {
        style = new S;
        style->setParent(QCoreApplication::instance());
    }
    return style;
}

// Dialog units to pixels for a template font, as the handheld computed them.
struct DialogUnits {
    int baseX; // average character width
    int baseY; // character height
    QRect toPixels(const QRect& dlu) const;
};
DialogUnits dialogUnitsFor(const QFont& font);

// What every screen has in common: built from its template, controls found by
// id, a message table, the opening steps, scrolling, the key filter and the
// framework's dialog ending.
class CDialogBase : public QDialog {
    Q_OBJECT
public:
    enum class VScroll { Default, Handler, Ignored };

    // `owner` is the screen it opens from. It does not become the widget's
    // parent: a running screen is shown in the program's one window, and a
    // covered one belongs to no window until it is on top again.
    explicit CDialogBase(int templateId, QWidget* owner = nullptr);
    ~CDialogBase() override;

    // Runs the screen modally over the screen on top: opening steps, then the
    // nested loop. The screen beneath is hidden while this one runs and comes
    // back as it was when this one ends. Returns IDOK or IDCANCEL.
    int DoModal();
    // The screen whose loop runs innermost, or null before the first opens.
    static CDialogBase* topScreen();
    bool fillsDisplay() const { return m_fullScreen; }

    int templateId() const { return m_template.id; }
    QWidget* GetDlgItem(int id) const;
    template <class W> W* item(int id) const { return qobject_cast<W*>(GetDlgItem(id)); }
    int GetDlgCtrlID(const QWidget* w) const;
    QString GetDlgItemText(int id) const;
    void SetDlgItemText(int id, const QString& text);
    void ShowItem(int id, bool show);
    bool IsItemShown(int id) const;
    void SetItemReadOnly(int id, bool readOnly);
    // Limits what the user can type; text set by the program may be longer.
    void LimitText(int id, int limit);

    // Combo boxes: sorted ones insert in their order.
    int AddString(int id, const QString& text);
    int GetCurSel(int id) const; // -1 when nothing is selected
    QString GetLBText(int id, int index) const;
    void DeleteString(int id, int index);

    // The framework's dialog ending.
    void OnOK();
    void OnCancel();
    void accept() override { OnOK(); }
    void reject() override { OnCancel(); }
    void done(int result) override;

    int scrollPos() const { return m_scrollPos; }
    int scrollExtent() const { return m_scrollExtent; }
    QScrollBar* scrollBar() const { return m_scrollBar; }
    // Vertical scrolling with a scroll code and thumb position; public so
    // that the scroll bar, the wheel and tests all come through one path.
    void OnVScroll(int code, std::uint32_t thumbPos);

protected:
    virtual bool OnInitDialog();
    virtual void DoDataExchange() { }
    virtual const MessageMap& messageMap() const;
    virtual VScroll vscrollMode() const { return VScroll::Default; }
    // The one edit control whose letter and space keys are dropped, or 0.
    virtual int keyFilterId() const { return 0; }

    // The scroll set-up of the screens that scroll.
    void ScrollSetUp();
    void SetScrollInfo(int extent);
    QMenuBar* CreateMenuBar();

    bool eventFilter(QObject* watched, QEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    // Keeps the scroll bar on the right edge and the menu bar at the bottom
    // when a full-screen screen takes the display's size; the controls keep
    // their template places.
    void resizeEvent(QResizeEvent* event) override;
    void showEvent(QShowEvent* event) override;

    int m_scrollPos = 0;
    int m_scrollExtent = 0;

private:
    void createControls();
    void connectMessageMap();
    void commonOpeningSteps();
    void scrollChildren(int dy);
    void enterWindow();
    void cover();
    void uncover();

    const DialogTemplate& m_template;
    DialogUnits m_units {};
    std::map<int, QWidget*> m_controls;
    QScrollBar* m_scrollBar = nullptr;
    QMenuBar* m_menuBar = nullptr;
    bool m_fullScreen = false;
    bool m_opened = false;
    // The screen this one opened over, hidden while this one runs.
    CDialogBase* m_below = nullptr;
    // Hidden under a newer screen: the hide ends this screen's loop once the
    // newer one returns, and DoModal enters it again.
    bool m_covered = false;
    bool m_reenter = false;
    // Where the focus was when the screen was covered.
    QPointer<QWidget> m_focus;
};

// How deep screens may stack before the process runs out of stack; the
// modal run refuses a screen beyond it with a message rather than crash.
namespace stackdepth {
void recordStackBase(); // call first thing in main()
bool roomForAnotherScreen();
} // namespace stackdepth
