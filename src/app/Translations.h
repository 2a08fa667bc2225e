#pragma once

#include <QString>

class QLocale;

// Installs the dialer's translation and Qt's own (the message boxes'
// buttons) for `locale`, in place of any installed before. A language with
// no translation is no error: the texts stay English.
void installTranslations(const QLocale& locale);

// A dialog template's text (caption, label, button, menu) in the user's
// language; the templates mark them under the "DialogTemplates" context.
QString templateText(const QString& text);
