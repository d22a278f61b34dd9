// The autostart entry: a freedesktop .desktop file whose Exec line starts
// this program. The program's path is the user's to choose (a home folder
// with spaces, quotes or a dollar in its name), so it is quoted by the
// desktop-entry rules rather than pasted in.
#pragma once
#include <string>
#include <string_view>

namespace tavrin {

// One argument of an Exec value, quoted when it holds a reserved character
// (each of `"`, `` ` ``, `$`, `\` then escaped with a backslash), with `%`
// doubled, and escaped as a string value of the file (backslash, newline,
// tab, carriage return).
std::string QuoteExecArgument(std::string_view argument);

// The whole file for the program at `programPath` (absolute).
std::string AutostartEntry(std::string_view programPath);

}  // namespace tavrin
