#include "linux/xdg_places.h"

#include <unistd.h>

#include <cstdlib>
#include <system_error>

namespace tavrin {

namespace {

std::filesystem::path Home() {
  const char* home = std::getenv("HOME");
  return home && home[0] == '/' ? std::filesystem::path(home) : std::filesystem::path("/tmp");
}

std::filesystem::path FromVariable(const char* name, const std::filesystem::path& fallback) {
  const char* value = std::getenv(name);
  return value && value[0] == '/' ? std::filesystem::path(value) : fallback;
}

}  // namespace

std::filesystem::path ConfigHome() { return FromVariable("XDG_CONFIG_HOME", Home() / ".config"); }
std::filesystem::path StateHome() { return FromVariable("XDG_STATE_HOME", Home() / ".local" / "state"); }
std::filesystem::path RuntimeDir() {
  return FromVariable("XDG_RUNTIME_DIR", std::filesystem::path("/tmp") / ("tavrin-" + std::to_string(getuid())));
}

std::string DisplayTag(const char* displayName) {
  std::string tag;
  for (const char* c = displayName ? displayName : ""; *c; ++c)
    tag += (*c == '/' || *c == ':') ? '_' : *c;
  if (!tag.empty() && tag[0] == '_') tag.erase(0, 1);
  return tag.empty() ? std::string("default") : tag;
}

bool MakeFolder(const std::filesystem::path& folder, std::filesystem::perms perms) {
  std::error_code error;
  if (std::filesystem::create_directories(folder, error))
    std::filesystem::permissions(folder, perms, error);
  return std::filesystem::is_directory(folder, error);
}

}  // namespace tavrin
