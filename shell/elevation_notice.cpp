#include "shell/elevation_notice.h"

#include <algorithm>

namespace tavrin {

bool ElevationNotice::told(uintptr_t window) const {
  return std::find(told_.begin(), told_.begin() + toldCount_, window) != told_.begin() + toldCount_;
}

bool ElevationNotice::needsCheck(uintptr_t window, bool selfElevated) const {
  return !selfElevated && window != 0 && window != lastChecked_ && !told(window);
}

bool ElevationNotice::shouldShow(uintptr_t window, bool windowElevated, bool selfElevated) {
  if (selfElevated || window == 0) return false;
  lastChecked_ = window;
  if (!windowElevated || told(window)) return false;
  told_[toldNext_] = window;
  toldNext_ = (toldNext_ + 1) % kMemory;
  if (toldCount_ < kMemory) ++toldCount_;
  return true;
}

}  // namespace tavrin
