#pragma once

#include <QString>

class QWidget;

// The application's title: the executable's base name.
QString applicationTitle();

// The standard message box: the text, an exclamation icon, one OK button,
// the application title as caption, modal to the screen on top.
void AppMessageBox(const QString& text);

// The OK/Cancel question captioned "Telvane"; true exactly for OK.
bool QuestionBox(QWidget* screen, const QString& text);
