#pragma once

#include <QString>

#include <vector>

namespace phone {

// A dial string is a number the network can route, then an optional
// post-dial sequence that only makes sense once somebody answers: tones for
// a card service's menus, separated by pauses (`p` or `,`) and waits (`w`).
struct DialSplit {
    QString number; // everything before the first pause or wait
    QString postDial; // from that pause or wait on, unchanged
};

DialSplit splitDialString(const QString& dialString);

struct PostDialStep {
    enum class Kind { Pause, Wait, Tones };
    Kind kind = Kind::Tones;
    // For Tones: a run of tones between pauses and waits, such as a PIN. For
    // Wait: the tones that a Yes would send (up to the next wait), to show
    // the user.
    QString tones;

    friend bool operator==(const PostDialStep&, const PostDialStep&) = default;
};

// Consecutive tones become one step, which is played a tone at a time;
// characters that are neither tones nor pause/wait are dropped.
std::vector<PostDialStep> postDialSteps(const QString& postDial);

// 0-9, *, # and A-D (lower-case a-d are taken as A-D).
bool isDtmfTone(QChar c);

// RFC 3966 has no pause or wait; `,` and `;` are what Android's dialer (and so
// KDE Connect, which hands tel: links to a paired Android phone) read as pause
// and wait, so the whole dial string travels with p -> `,` and w -> `;`.
QString telUriFor(const QString& dialString);

} // namespace phone
