#include "MessageBoxes.h"

#include "DialogBase.h"

#include <QApplication>
#include <QFileInfo>
#include <QMessageBox>

QString applicationTitle()
{
    return QFileInfo(QCoreApplication::applicationFilePath()).completeBaseName();
}

void AppMessageBox(const QString& text)
{
    // Over whatever is on top: a dialog of its own, or the screen on top.
    QWidget* owner = QApplication::activeModalWidget();
    if (!owner)
        owner = CDialogBase::topScreen();
    QMessageBox box(QMessageBox::Warning, applicationTitle(), text, QMessageBox::Ok, owner);
    box.setObjectName(QStringLiteral("AppMessageBox"));
    box.raise();
    box.activateWindow();
    box.exec();
}

bool QuestionBox(QWidget* screen, const QString& text)
{
    QMessageBox box(
        QMessageBox::NoIcon, QStringLiteral("Telvane"), text, QMessageBox::Ok | QMessageBox::Cancel, screen);
    box.setObjectName(QStringLiteral("QuestionBox"));
    box.setDefaultButton(QMessageBox::Ok);
    return box.exec() == QMessageBox::Ok;
}
