#include "actions/presentation.h"

namespace tavrin {

namespace {

wchar_t AsciiLower(wchar_t c) { return (c >= L'A' && c <= L'Z') ? static_cast<wchar_t>(c - L'A' + L'a') : c; }

// Compares [begin, end) with a lower-case ASCII word, ignoring ASCII case.
bool EqualsIgnoringCase(const wchar_t* begin, const wchar_t* end, const wchar_t* word) {
  for (; begin != end; ++begin, ++word)
    if (*word == L'\0' || AsciiLower(*begin) != *word) return false;
  return *word == L'\0';
}

}  // namespace

bool IsPresentationPath(const wchar_t* path) {
  const wchar_t* name = path;
  const wchar_t* end = path;
  for (; *end; ++end)
    if (*end == L'\\' || *end == L'/') name = end + 1;
  const wchar_t* dot = nullptr;
  for (const wchar_t* p = name; p != end; ++p)
    if (*p == L'.') dot = p;
  if (!dot) return false;
  return EqualsIgnoringCase(name, dot, L"powerpnt") && EqualsIgnoringCase(dot, end, L".exe");
}

bool IsPresentationInFront(DesktopWindows& windows) {
  if (!windows.foregroundWindow()) return false;
  wchar_t path[kPathCapacity] = {};
  windows.foregroundProcessPath(path, kPathCapacity);
  path[kPathCapacity - 1] = L'\0';
  return IsPresentationPath(path);
}

void SwitchDisplays(DesktopDisplays& displays) {
  DisplayDevice devices[2];
  int found = 0;
  for (uint32_t index = 0; index < kDisplayDevicesTried && found < 2; ++index) {
    devices[found] = DisplayDevice{};
    if (!displays.enumDisplayDevice(nullptr, index, devices[found])) break;
    // Mirroring drivers and disconnected devices cannot carry the desktop;
    // the next device takes their record.
    if (devices[found].stateFlags & (kDisplayMirroringDriver | kDisplayDisconnect)) continue;
    devices[found].deviceName[sizeof devices[found].deviceName / sizeof(wchar_t) - 1] = L'\0';
    // An output with no monitor (a laptop's unused HDMI port) is listed like
    // any other; making it the primary would detach the only screen.
    DisplayDevice monitor;
    if (!displays.enumDisplayDevice(devices[found].deviceName, 0, monitor)) continue;
    ++found;
  }
  if (found < 2) return;
  const bool firstAttached = (devices[0].stateFlags & kDisplayAttachedToDesktop) != 0;
  const DisplayDevice& primary = firstAttached ? devices[1] : devices[0];
  const DisplayDevice& removed = firstAttached ? devices[0] : devices[1];
  displays.changeDisplaySettings(primary.deviceName, kDmPosition, 0, 0, 0, 0, kCdsSetPrimaryDeferred);
  // Width and height 0 detach the device from the desktop.
  displays.changeDisplaySettings(removed.deviceName, kDmPositionAndSize, 0, 0, 0, 0, kCdsDeferred);
  displays.changeDisplaySettings(nullptr, 0, 0, 0, 0, 0, 0);
}

}  // namespace tavrin
