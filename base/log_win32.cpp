#include "base/log_win32.h"

#include <windows.h>
#include <shlobj.h>

namespace tavrin {
namespace {

std::filesystem::path ProgramLogFile() noexcept {
  std::filesystem::path folder = ProgramLogFolder();
  // Never a bare file name: that would write into whatever folder the
  // program happened to start in.
  if (folder.empty()) return {};
  try {
    return folder / L"tavrin.log";
  } catch (...) {
    return {};
  }
}

}  // namespace

void DebuggerLogOutput::write(const char* line, size_t length) noexcept {
  wchar_t wide[Log::kLineCapacity + 1];
  int units = MultiByteToWideChar(CP_UTF8, 0, line, static_cast<int>(length), wide, static_cast<int>(Log::kLineCapacity));
  if (units <= 0) return;
  wide[units] = L'\0';
  OutputDebugStringW(wide);
}

std::filesystem::path ProgramLogFolder() noexcept {
  wchar_t base[MAX_PATH];
  if (FAILED(SHGetFolderPathW(nullptr, CSIDL_LOCAL_APPDATA | CSIDL_FLAG_CREATE, nullptr, SHGFP_TYPE_CURRENT, base)))
    return {};
  try {
    std::filesystem::path folder = std::filesystem::path(base) / L"Tavrin";
    if (!CreateDirectoryW(folder.c_str(), nullptr) && GetLastError() != ERROR_ALREADY_EXISTS) return {};
    return folder;
  } catch (...) {
    return {};
  }
}

ProgramLog::ProgramLog() noexcept : file_(ProgramLogFile()), log_({&debugger_, &file_}) {}

}  // namespace tavrin
