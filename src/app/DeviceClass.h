#pragma once

// The device classes the screens know. A phone-sized touch screen behaves as
// the handheld's Professional class (screens fill the display and scroll);
// anything else, a desktop above all, is class Other (screens open at their
// template size with no scroll bar).
enum class DeviceClass { Professional, Standard, Other };

// Decided once per process, when first asked (the first screen's
// construction), from the primary screen and the input devices.
DeviceClass deviceClass();
bool isFullScreenClass(DeviceClass c);

// For tests and screenshots of the phone layout on a desktop machine.
void setDeviceClassForTesting(DeviceClass c);
