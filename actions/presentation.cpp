#include "actions/presentation.h"

namespace tavrin {

bool IsPresentationPath(const wchar_t*) { return false; }
bool IsPresentationInFront(Desktop&) { return false; }
void SwitchDisplays(Desktop&) {}

}  // namespace tavrin
