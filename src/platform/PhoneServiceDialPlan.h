#pragma once

#include <QString>

#include <vector>

namespace phone {

// A dial string is a number the network can route, then an optional
// post-dial sequence that only makes sense once somebody answers: tones for
// a card service's menus, separated by pauses (`p` or `,`) and waits (`w`).
struct DialSplit {
    QString number; // everything before the first pause or wait, or before the PIN
    QString postDial; // from there on, unchanged
};

// Where a secret (a card's PIN) is in a text; its characters show as dots.
struct SecretSpan {
    qsizetype from = 0;
    qsizetype length = 0;

    bool covers(qsizetype i) const { return i >= from && i < from + length; }
    SecretSpan shiftedBy(qsizetype offset) const { return { from - offset, length }; }
};

// What a hidden tone shows as, wherever a tone is shown.
inline constexpr char16_t kHiddenTone = u'\u2022';

// A PIN is never part of the number: it goes as tones once the call is
// answered, so that no call list, log or other call application shows it.
DialSplit splitDialString(const QString& dialString, SecretSpan pin = {});

struct PostDialStep {
    enum class Kind { Pause, Wait, Tones };
    Kind kind = Kind::Tones;
    // For Tones: a run of tones between pauses and waits, such as a PIN. For
    // Wait: the tones that a Yes would send (up to the next wait), to show
    // the user.
    QString tones;
    // `tones` as the user may see them: the PIN's tones as dots.
    QString shown;

    friend bool operator==(const PostDialStep&, const PostDialStep&) = default;
};

// Consecutive tones become one step, which is played a tone at a time;
// characters that are neither tones nor pause/wait are dropped.
// `pin` is where the PIN is within `postDial`.
std::vector<PostDialStep> postDialSteps(const QString& postDial, SecretSpan pin = {});

// 0-9, *, # and A-D (lower-case a-d are taken as A-D).
bool isDtmfTone(QChar c);

// RFC 3966 has no pause or wait; `,` and `;` are what Android's dialer (and so
// KDE Connect, which hands tel: links to a paired Android phone) read as pause
// and wait, so the whole dial string travels with p -> `,` and w -> `;`.
QString telUriFor(const QString& dialString);

} // namespace phone
