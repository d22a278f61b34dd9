// "Auto Run": $XDG_CONFIG_HOME/autostart/tavrin.desktop, which the session
// reads at log-in (the freedesktop autostart rules).
#pragma once
#include <filesystem>

#include "base/log.h"

namespace tavrin {

std::filesystem::path AutostartFile();
bool AutostartEnabled();
// Writes the entry for this program's own file; false (and a line in the
// log) when it cannot.
bool EnableAutostart(Log& log);
bool DisableAutostart(Log& log);

}  // namespace tavrin
