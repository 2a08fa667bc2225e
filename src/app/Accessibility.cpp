#include "Accessibility.h"

#include "DialogBase.h"
#include "ResourceIds.h"

#include <QLabel>
#include <QLineEdit>

#include <algorithm>
#include <climits>
#include <functional>
#include <utility>

namespace {

// The fields whose letters and blanks the screens' key filter refuses: they
// take digits and the dial pad's symbols (+ * #). The template cannot tell
// them from the card name, so they are named here.
constexpr int kDialFields[] { res::IDC_ADD_PIN, res::IDC_EDIT_PIN, res::IDC_CALL_NUMBER };

// Labels that show the format a field takes rather than name it.
constexpr std::pair<int, int> kFormatShownBy[] { { res::IDC_CALL_NUMBER, 1080 } };

// A list's template height includes its dropped list; its own row is an edit's.
constexpr int kRowHeight = 14;

bool isField(const ControlTemplate& c)
{
    const bool field
        = c.kind == ControlKind::Edit || c.kind == ControlKind::DropList || c.kind == ControlKind::DropCombo;
    return field && !(c.style & cs::Hidden);
}

// How far right of `label` the field starts, when the label's middle lies
// within the field's row; -1 when the two do not stand on one row that way.
int gap(const ControlTemplate& label, const ControlTemplate& field)
{
    if (label.kind != ControlKind::Label || (label.style & cs::Hidden) || label.text.isEmpty() || !isField(field))
        return -1;
    const QRect l = label.rectDlu, f = field.rectDlu;
    const int mid = l.center().y();
    const bool sameRow = mid >= f.top() && mid < f.top() + std::min(f.height(), kRowHeight);
    return sameRow && f.left() > l.right() ? f.left() - l.right() : -1;
}

const ControlTemplate* nearest(
    const std::vector<ControlTemplate>& all, const std::function<int(const ControlTemplate&)>& by)
{
    const ControlTemplate* best = nullptr;
    int bestGap = INT_MAX;
    for (const ControlTemplate& c : all)
        if (const int g = by(c); g >= 0 && g < bestGap) {
            best = &c;
            bestGap = g;
        }
    return best;
}

Qt::InputMethodHints hintFor(const ControlTemplate& field)
{
    if (field.style & cs::Number)
        return Qt::ImhDigitsOnly;
    if (std::find(std::begin(kDialFields), std::end(kDialFields), field.id) != std::end(kDialFields))
        return Qt::ImhDialableCharactersOnly;
    // A card's name: words, but a brand's rather than a dictionary's.
    return Qt::ImhNoPredictiveText;
}

} // namespace

void makeAccessible(CDialogBase& screen)
{
    const std::vector<ControlTemplate>& controls = dialogTemplate(screen.templateId()).controls;
    for (const ControlTemplate& c : controls) {
        QWidget* w = screen.GetDlgItem(c.id);
        if (c.kind == ControlKind::Picture)
            w->setAccessibleName(screen.windowTitle());
        if (auto* edit = qobject_cast<QLineEdit*>(w))
            edit->setInputMethodHints(hintFor(c));
        const ControlTemplate* label = nearest(controls, [&c](const ControlTemplate& l) { return gap(l, c); });
        if (!label)
            continue;
        // A label names every field on its row but is the buddy of the
        // nearest only: the PIN beside its option list is named "Pin Option"
        // too, as the refusal of an empty PIN calls it.
        auto* text = screen.item<QLabel>(label->id);
        if (nearest(controls, [label](const ControlTemplate& f) { return gap(*label, f); }) == &c)
            text->setBuddy(w);
        else
            w->setAccessibleName(text->text());
    }
    for (const auto& [field, format] : kFormatShownBy)
        if (auto* shown = screen.item<QLabel>(format); shown && screen.GetDlgItem(field))
            screen.GetDlgItem(field)->setAccessibleDescription(shown->text());
}
