// The per-user autorun entry: the value "Tavrin" under the Run key.
#pragma once

namespace tavrin {

// Writes this program's quoted path; true when it was written.
bool EnableAutorun();
// Removes the value; true when it was removed.
bool DisableAutorun();
// Whether the value is there (whatever program it names).
bool QueryAutorun();

}  // namespace tavrin
