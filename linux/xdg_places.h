// Where the program keeps its files, by the XDG base-directory rules: a
// variable that is unset, empty or not an absolute path means its default.
#pragma once
#include <filesystem>
#include <string>

namespace tavrin {

std::filesystem::path ConfigHome();  // $XDG_CONFIG_HOME, else ~/.config
std::filesystem::path StateHome();   // $XDG_STATE_HOME, else ~/.local/state
// $XDG_RUNTIME_DIR, else a folder of this user's own under /tmp.
std::filesystem::path RuntimeDir();

// The display's name as part of a file name (":0" gives "0", "host:1.0"
// gives "host_1.0"): one instance and one keyboard record per display.
std::string DisplayTag(const char* displayName);

// Makes the folder (and those above it) with the given permissions for what
// it creates; true when it exists afterwards.
bool MakeFolder(const std::filesystem::path& folder, std::filesystem::perms perms);

}  // namespace tavrin
