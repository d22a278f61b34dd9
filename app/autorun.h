// The per-user autorun entry: the value "Tavrin" under the Run key.
#pragma once

namespace tavrin {

// Writes this program's quoted path, and turns the entry on again where
// Task Manager's Startup tab turned it off; true when it was written.
bool EnableAutorun();
// Removes the value; true when it was removed.
bool DisableAutorun();
// Whether the value is there (whatever program it names) and Task
// Manager's Startup tab has not turned it off.
bool QueryAutorun();

}  // namespace tavrin
