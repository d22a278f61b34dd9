// Every virtual-key code, input flag and mouse button the program uses, each
// under one name. The values are the platform's own, so that the portable
// core builds the same input records on every system; the Windows build
// checks each against windows.h (app/win32_platform.cpp).
#pragma once
#include <cstdint>

namespace tavrin {

// Key event flags (KEYEVENTF_*).
constexpr uint32_t kKeyEventExtendedKey = 0x0001;
constexpr uint32_t kKeyEventKeyUp = 0x0002;
constexpr uint32_t kKeyEventUnicode = 0x0004;

// What MapVirtualKeyExW translates (MAPVK_*): a virtual key to its scan
// code, or to its character, whose top bit marks a dead key.
constexpr uint32_t kMapVirtualKeyToScanCode = 0;
constexpr uint32_t kMapVirtualKeyToChar = 2;
constexpr uint32_t kDeadKeyBit = 0x80000000u;

// The shift state in VkKeyScanExW's high byte.
constexpr uint8_t kShiftStateShift = 0x01;
constexpr uint8_t kShiftStateControl = 0x02;
constexpr uint8_t kShiftStateAlt = 0x04;

// Mouse event flags (MOUSEEVENTF_*).
constexpr uint32_t kMouseMove = 0x0001;
constexpr uint32_t kMouseLeftDown = 0x0002;
constexpr uint32_t kMouseLeftUp = 0x0004;
constexpr uint32_t kMouseRightDown = 0x0008;
constexpr uint32_t kMouseRightUp = 0x0010;
constexpr uint32_t kMouseMiddleDown = 0x0020;
constexpr uint32_t kMouseMiddleUp = 0x0040;
constexpr uint32_t kMouseWheel = 0x0800;

// The mouse buttons as a "mos" message numbers them.
enum MouseButton : int32_t { LeftButton = 0, RightButton = 1, MiddleButton = 2 };

// Virtual keys (VK_*) the commands press by name. The key-name tables hold
// the rest as data.
constexpr uint16_t kVkTab = 0x09;
constexpr uint16_t kVkShift = 0x10;
constexpr uint16_t kVkControl = 0x11;
constexpr uint16_t kVkMenu = 0x12;  // Alt
constexpr uint16_t kVkEscape = 0x1B;
constexpr uint16_t kVkPageUp = 0x21;    // VK_PRIOR
constexpr uint16_t kVkPageDown = 0x22;  // VK_NEXT
constexpr uint16_t kVkT = 0x54;
constexpr uint16_t kVkLeftWindows = 0x5B;
constexpr uint16_t kVkF5 = 0x74;
constexpr uint16_t kVkBrowserBack = 0xA6;
constexpr uint16_t kVkBrowserForward = 0xA7;
constexpr uint16_t kVkBrowserRefresh = 0xA8;
constexpr uint16_t kVkBrowserStop = 0xA9;
constexpr uint16_t kVkBrowserSearch = 0xAA;
constexpr uint16_t kVkBrowserFavorites = 0xAB;
constexpr uint16_t kVkBrowserHome = 0xAC;
constexpr uint16_t kVkVolumeMute = 0xAD;
constexpr uint16_t kVkVolumeDown = 0xAE;
constexpr uint16_t kVkVolumeUp = 0xAF;
constexpr uint16_t kVkMediaNextTrack = 0xB0;
constexpr uint16_t kVkMediaPrevTrack = 0xB1;
constexpr uint16_t kVkMediaPlayPause = 0xB3;

}  // namespace tavrin
