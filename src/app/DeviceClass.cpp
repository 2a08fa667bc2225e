#include "DeviceClass.h"

#include <QGuiApplication>
#include <QInputDevice>
#include <QScreen>

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

void setDeviceClassForTesting(DeviceClass c)
{
    decided() = c;
}
