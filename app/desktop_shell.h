// The shell's side of the tray program: opening links and documents, and the
// computer's addresses as the tray shows them.
#pragma once
#include <cstddef>

namespace tavrin {

// Opens a target with the shell's "open" verb (the menu's own links).
void OpenTarget(const wchar_t* target);
// Opens a phone message's target if a phone may open it; false when it was
// refused (see ClassifyPeerTarget). An empty target opens nothing and is fine.
bool OpenPeerTarget(const wchar_t* target);
// Appends the local addresses to `text` (capacity in UTF-16 units, zero
// included); false when the address table cannot be read.
bool ListLocalAddresses(wchar_t* text, size_t capacity);

}  // namespace tavrin
