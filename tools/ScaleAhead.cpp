// Writes one of the program's images scaled ahead to each size given, beside
// the original as NAME-WxH.png, with the very scaling the screens apply
// (scaledBitmap in DialogBase.cpp), then checks that reading the copy back
// gives the screens the same pixels. Usage, on the offscreen platform:
//   scale_ahead src/res/logo.png 100x30 [WxH...]
// Run it again whenever the original changes.
#include "DialogBase.h"

#include <QGuiApplication>
#include <QImage>
#include <QPixmap>

#include <cstdio>

int main(int argc, char* argv[])
{
    QGuiApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() < 3 || !args[1].endsWith(QLatin1String(".png"))) {
        std::fprintf(stderr, "usage: scale_ahead IMAGE.png WxH [WxH...]\n");
        return 2;
    }
    const QPixmap original = resourcePng(args[1]);
    int failed = 0;
    for (const QString& arg : args.mid(2)) {
        const QStringList wh = arg.split(u'x');
        const QSize size(wh.value(0).toInt(), wh.value(1).toInt());
        const QPixmap made = original.scaled(size, Qt::KeepAspectRatio, Qt::SmoothTransformation);
        const QString out = QStringLiteral("%1-%2x%3.png").arg(args[1].chopped(4)).arg(made.width()).arg(made.height());
        const bool ok
            = made.size() == size && made.toImage().save(out, "png") && resourcePng(out).toImage() == made.toImage();
        std::printf("%s %s\n", qPrintable(out), ok ? "written, same pixels" : "FAILED");
        failed += !ok;
    }
    return failed ? 1 : 0;
}
