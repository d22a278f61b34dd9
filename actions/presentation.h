// The phone as a presenter's remote.
#pragma once

#include "actions/desktop.h"

namespace tavrin {

class Injector;

// True when the path's file name is "powerpnt" and its extension ".exe",
// without regard to case.
bool IsPresentationPath(const wchar_t* path);
bool IsPresentationInFront(Desktop& desktop);
void SwitchDisplays(Desktop& desktop);

}  // namespace tavrin
