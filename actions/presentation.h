// The phone as a presenter's remote.
#pragma once
#include <cstdint>

#include "seams/desktop.h"
#include "seams/input_codes.h"

namespace tavrin {

class Injector;

constexpr uint32_t kPathCapacity = 260;  // MAX_PATH

// Display device states and the display change requests, as the platform
// numbers them.
constexpr uint32_t kDisplayAttachedToDesktop = 0x00000001;
constexpr uint32_t kDisplayMirroringDriver = 0x00000008;
constexpr uint32_t kDisplayDisconnect = 0x02000000;
constexpr uint32_t kDmPosition = 0x00000020;
constexpr uint32_t kDmPositionAndSize = 0x00180020;  // DM_POSITION | DM_PELSWIDTH | DM_PELSHEIGHT
constexpr uint32_t kCdsSetPrimaryDeferred = 0x10000011;  // CDS_SET_PRIMARY | CDS_UPDATEREGISTRY | CDS_NORESET
constexpr uint32_t kCdsDeferred = 0x10000001;            // CDS_UPDATEREGISTRY | CDS_NORESET
constexpr uint32_t kDisplayDevicesTried = 10;

// True when the path's file name is "powerpnt" and its extension ".exe",
// without regard to case.
bool IsPresentationPath(const wchar_t* path);
// PowerPoint in front, by its process's executable: the Windows desktop's
// answer to presentationInFront().
bool IsPresentationInFront(DesktopWindows& windows);
// Moves the desktop from one of the first two displays with a monitor to the
// other; with fewer than two, does nothing.
void SwitchDisplays(DesktopDisplays& displays);

}  // namespace tavrin
