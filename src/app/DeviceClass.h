#pragma once

#include <QString>

#include <optional>

// The device classes the screens know. A phone-sized touch screen behaves as
// the handheld's Professional class (screens fill the display and scroll);
// anything else, a desktop above all, is class Other (screens open at their
// template size with no scroll bar).
enum class DeviceClass { Professional, Standard, Other };

// Decided once per process, when first asked (the first screen's
// construction), from the primary screen and the input devices.
DeviceClass deviceClass();
bool isFullScreenClass(DeviceClass c);

// The classes a user can ask for by name: "phone" (Professional) and
// "desktop" (Other).
std::optional<DeviceClass> deviceClassNamed(const QString& name);
// Settles the class before the first screen: the command line's choice
// wins, then the environment's (DIALER_DEVICE_CLASS), then detection when
// first asked. Either may be empty. Returns why a name was refused, or an
// empty text.
QString chooseDeviceClass(const QString& option, const QString& environment);

// For tests and screenshots of the phone layout on a desktop machine.
void setDeviceClassForTesting(DeviceClass c);
