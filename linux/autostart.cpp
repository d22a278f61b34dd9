#include "linux/autostart.h"

#include <unistd.h>

#include <climits>
#include <fstream>
#include <system_error>

#include "linux/desktop_entry.h"
#include "linux/xdg_places.h"

namespace tavrin {

std::filesystem::path AutostartFile() { return ConfigHome() / "autostart" / "tavrin.desktop"; }

bool AutostartEnabled() {
  std::error_code error;
  return std::filesystem::exists(AutostartFile(), error);
}

bool EnableAutostart(Log& log) {
  char self[PATH_MAX] = {};
  const ssize_t length = readlink("/proc/self/exe", self, sizeof self - 1);
  if (length <= 0) return false;
  const std::filesystem::path file = AutostartFile();
  using std::filesystem::perms;
  if (!MakeFolder(file.parent_path(), perms::owner_all | perms::group_read | perms::group_exec | perms::others_read |
                                          perms::others_exec)) {
    log.write(LogLevel::Error, "cannot make the autostart folder %s", file.parent_path().c_str());
    return false;
  }
  std::ofstream out(file, std::ios::binary | std::ios::trunc);
  out << AutostartEntry(std::string_view(self, static_cast<size_t>(length)));
  out.close();
  if (!out) {
    log.write(LogLevel::Error, "cannot write %s", file.c_str());
    return false;
  }
  log.write(LogLevel::Info, "Auto Run on: %s", file.c_str());
  return true;
}

bool DisableAutostart(Log& log) {
  std::error_code error;
  std::filesystem::remove(AutostartFile(), error);
  if (error) {
    log.write(LogLevel::Error, "cannot remove %s: %s", AutostartFile().c_str(), error.message().c_str());
    return false;
  }
  log.write(LogLevel::Info, "Auto Run off");
  return true;
}

}  // namespace tavrin
