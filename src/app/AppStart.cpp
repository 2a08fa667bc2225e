#include "AppStart.h"

#include "AppInstance.h"
#include "ApplicationId.h"
#include "DeviceClass.h"
#include "DialerDlg.h"
#include "DialogBase.h"
#include "PhoneLayout.h"
#include "TelLink.h"
#include "Translations.h"

#include <QApplication>
#include <QLocale>

#include <cstdio>

int runDialer(int& argc, char** argv, QObject* watcher)
{
    // Before anything else: the stacking of screens lives on this stack.
    stackdepth::recordStackBase();
    // The command line is settled before Qt starts, so that help, the
    // version and every refusal end with no window and no display needed.
    QStringList args;
    for (int i = 1; i < argc; ++i)
        args << QString::fromLocal8Bit(argv[i]);
    const tellink::CommandLine command = tellink::parseCommandLine(args);
    switch (command.action) {
    case tellink::CommandLine::Help:
    case tellink::CommandLine::Version: {
        const QString text
            = command.action == tellink::CommandLine::Help ? tellink::helpText() : tellink::versionText();
        std::fputs(text.toLocal8Bit().constData(), stdout);
        return 0;
    }
    case tellink::CommandLine::Refuse:
        std::fprintf(stderr, "dialer: %s\n", command.error.toLocal8Bit().constData());
        return 2;
    case tellink::CommandLine::Run:
        break;
    }
    // Matters only to the copy that shows the screens; a bad name is refused
    // even by one that hands its link over, as any bad argument is.
    const QString refused
        = chooseDeviceClass(command.deviceClass, QString::fromLocal8Bit(qgetenv("DIALER_DEVICE_CLASS")));
    if (!refused.isEmpty()) {
        std::fprintf(stderr, "dialer: %s\n", refused.toLocal8Bit().constData());
        return 2;
    }
    QApplication app(argc, argv);
    if (watcher)
        app.installEventFilter(watcher);
    QApplication::setDesktopFileName(QString::fromLatin1(kApplicationId));
    // Before anything is shown: the hand-over below may already tell of a failure.
    installTranslations(QLocale::system());
    phonelayout::touchMessageBoxes();
    if (const std::optional<int> status = appinstance::claimOrHandOver(command.number))
        return *status;
    QApplication::setWindowIcon(applicationIcon()); // a copy that hands over shows nothing
    if (!command.number.isEmpty())
        appinstance::requestMakeCall(command.number);
    theApp.InitInstance();
    return 0;
}
