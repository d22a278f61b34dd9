#include "linux/desktop_entry.h"

namespace tavrin {

namespace {

constexpr std::string_view kReserved = " \t\n\"'\\><~|&;$*?#()`";

// Escapes of a string value in the file, applied after the Exec quoting: a
// backslash that quoting wrote becomes two in the file.
void AppendStringEscaped(std::string& out, char c) {
  switch (c) {
    case '\\': out += "\\\\"; break;
    case '\n': out += "\\n"; break;
    case '\t': out += "\\t"; break;
    case '\r': out += "\\r"; break;
    default: out += c;
  }
}

}  // namespace

std::string QuoteExecArgument(std::string_view argument) {
  const bool quoted = argument.empty() || argument.find_first_of(kReserved) != std::string_view::npos;
  std::string out;
  if (quoted) out += '"';
  for (const char c : argument) {
    if (c == '%') {
      out += "%%";
      continue;
    }
    if (quoted && (c == '"' || c == '`' || c == '$' || c == '\\')) AppendStringEscaped(out, '\\');
    AppendStringEscaped(out, c);
  }
  if (quoted) out += '"';
  return out;
}

std::string AutostartEntry(std::string_view programPath) {
  std::string entry =
      "[Desktop Entry]\n"
      "Type=Application\n"
      "Name=Tavrin\n"
      "Comment=Lets a phone act as mouse, keyboard and remote control\n"
      "Exec=";
  entry += QuoteExecArgument(programPath);
  entry +=
      "\n"
      "Icon=tavrin\n"
      "Terminal=false\n"
      "X-GNOME-Autostart-enabled=true\n";
  return entry;
}

}  // namespace tavrin
