// The baseline: a bare Qt program showing one QDialog with the home screen's
// controls, placed by hand, ending at its first paint.
#include "FirstPaint.h"

#include <QDialog>
#include <QLabel>
#include <QPushButton>

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    FirstPaint watcher;
    app.installEventFilter(&watcher);
    QDialog dialog;
    dialog.setWindowTitle(QStringLiteral("Quorin Dialer"));
    QFont font(QStringLiteral("MS Sans Serif"));
    font.setPointSize(8);
    dialog.setFont(font);
    auto* logo = new QLabel(&dialog);
    logo->setGeometry(60, 0, 100, 33);
    const char* texts[] = { "Add Telvane", "Make Call", "Edit Telvane", "Delete Telvane" };
    int y = 42;
    for (const char* t : texts) {
        auto* b = new QPushButton(QString::fromLatin1(t), &dialog);
        b->setGeometry(45, y, 150, 23);
        y += 33;
    }
    auto* exitButton = new QPushButton(QStringLiteral("Exit"), &dialog);
    exitButton->setGeometry(80, 190, 75, 23);
    auto* label = new QLabel(QStringLiteral("Telvane  Dialer"), &dialog);
    label->setGeometry(51, 231, 147, 18);
    dialog.setFixedSize(255, 262);
    dialog.exec();
    return 1;
}
