#include "DeviceClass.h"

#include <QGuiApplication>
#include <QInputDevice>
#include <QScreen>

#include <algorithm>
#include <optional>

namespace {

std::optional<DeviceClass>& decided()
{
    static std::optional<DeviceClass> c;
    return c;
}

DeviceClass detect()
{
    const QScreen* screen = QGuiApplication::primaryScreen();
    if (!screen)
        return DeviceClass::Other;
    bool touch = false;
    for (const QInputDevice* dev : QInputDevice::devices())
        touch = touch || dev->type() == QInputDevice::DeviceType::TouchScreen;
    // Linux phones report logical sizes around 360 x 720; a small tablet or a
    // desktop window manager is well above 600 on its shorter side.
    const QSize size = screen->availableGeometry().size();
    const bool small = qMin(size.width(), size.height()) <= 600;
    return touch && small ? DeviceClass::Professional : DeviceClass::Other;
}

} // namespace

DeviceClass deviceClass()
{
    if (!decided())
        decided() = detect();
    return *decided();
}

bool isFullScreenClass(DeviceClass c)
{
    return c == DeviceClass::Professional || c == DeviceClass::Standard;
}

std::optional<DeviceClass> deviceClassNamed(const QString& name)
{
    if (name == QLatin1String("phone"))
        return DeviceClass::Professional;
    if (name == QLatin1String("desktop"))
        return DeviceClass::Other;
    return std::nullopt;
}

QString chooseDeviceClass(const QString& option, const QString& environment)
{
    decided().reset();
    const QString& name = option.isEmpty() ? environment : option;
    if (name.isEmpty())
        return {};
    decided() = deviceClassNamed(name);
    if (decided())
        return {};
    // Echoed only when it is a plain word: never a terminal's escape codes.
    const bool plain = name.size() <= 20
        && std::all_of(name.begin(), name.end(), [](QChar c) { return c.isLetterOrNumber() && c.unicode() < 0x80; });
    return QStringLiteral("%1%2 is not a device class (phone or desktop)")
        .arg(option.isEmpty() ? QStringLiteral("DIALER_DEVICE_CLASS=") : QStringLiteral("--device-class="),
            plain ? name : QStringLiteral("..."));
}

void setDeviceClassForTesting(DeviceClass c)
{
    decided() = c;
}
