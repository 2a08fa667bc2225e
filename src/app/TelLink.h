#pragma once

#include <QString>
#include <QStringList>

// What the program takes from outside to call: a tel: link (RFC 3966) or a
// bare number, from its command line or from another copy of itself over
// D-Bus. Both go through the same checks, and only what passes them ever
// reaches a make-call screen.
namespace tellink {

// An argument longer than this is refused before it is looked at: no real
// link or number comes near it.
inline constexpr qsizetype kMaxArgumentLength = 256;
// The number left once separators are gone: as much as the make-call
// screen's number box takes, which a longer number would be cut to. That is
// more than any international number (15 digits and its +).
inline constexpr qsizetype kMaxNumberLength = 20;

struct Number {
    QString digits; // an optional leading +, then digits, * and #; empty when refused
    QString error; // why it was refused, for one line of text
    bool ok() const { return error.isEmpty(); }
};

// A tel: link. Visual separators - . ( ) go, percent escapes in the number
// are decoded, and every parameter (;phone-context=, ;ext=, ;isub=, others)
// is checked for its form and then dropped: the box holds the number to call,
// and neither an extension nor an ISDN subaddress can be dialled through a
// card. A local number is taken without the phone-context that RFC 3966
// asks for, since links in the wild leave it out.
Number parseTelUri(const QString& uri);
// A number typed on the command line: the number part of a tel: link, no
// parameters and no escapes.
Number parseNumber(const QString& text);
// Either of them, told apart by the scheme.
Number parseLinkOrNumber(const QString& text);

// The program's command line, without the program name.
struct CommandLine {
    enum Action { Run, Help, Version, Refuse };
    Action action = Run;
    QString number; // for Run: the number to open a make-call screen with, or empty
    QString error; // for Refuse: one line, without the program's name
    QString deviceClass; // for Run: --device-class's value as given, or empty
};
CommandLine parseCommandLine(const QStringList& args);

// The texts --help and --version print.
QString helpText();
QString versionText();

} // namespace tellink
