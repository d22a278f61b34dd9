#include "server/greeting.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "base/unique_any.h"
#include "server/version_text.h"

#ifdef _WIN32
#include <windows.h>
#endif

namespace tavrin {

// Copies a FileVersion value into the greeting text with its commas turned
// into dots ("1, 5, 0, 0" becomes "1. 5. 0. 0"), never past the buffer.
void CopyVersionText(char (&text)[64], const char* value, uint32_t length) {
  if (length > sizeof text - 1) length = sizeof text - 1;
  std::memcpy(text, value, length);
  text[length] = 0;
  for (uint32_t i = 0; i < length; ++i)
    if (text[i] == ',') text[i] = '.';
}

void FormatOsVersion(char (&text)[64]) {
#ifdef _WIN32
  // 284 bytes is the extended record; passing that size with the shorter
  // OSVERSIONINFOW would let the call write past it.
  OSVERSIONINFOEXW info;
  std::memset(&info, 0, sizeof info);
  info.dwOSVersionInfoSize = 284;
#ifdef _MSC_VER
#pragma warning(suppress : 4996)
#endif
  GetVersionExW(reinterpret_cast<OSVERSIONINFOW*>(&info));
  std::snprintf(text, sizeof text, "%u.%u", static_cast<unsigned>(info.dwMajorVersion),
                static_cast<unsigned>(info.dwMinorVersion));
#else
  // Phones know only the Windows form of this line, and read the version to
  // choose what to offer: another system names the Windows version whose
  // features its build has (Windows 8, 6.2).
  std::snprintf(text, sizeof text, "6.2");
#endif
}

void ReadServerVersion(char (&text)[64]) {
#ifdef _WIN32
  char path[MAX_PATH] = {};
  GetModuleFileNameA(nullptr, path, MAX_PATH);
  DWORD ignored = 0;
  DWORD size = GetFileVersionInfoSizeA(path, &ignored);
  if (size == 0) return;
  unique_malloc<void> owned(std::malloc(size));
  void* block = owned.get();
  if (!block) return;
  if (GetFileVersionInfoA(path, 0, size, block)) {
    struct Translation {
      WORD language;
      WORD codePage;
    };
    Translation* translation = nullptr;
    UINT translationBytes = 0;
    if (VerQueryValueA(block, "\\VarFileInfo\\Translation", reinterpret_cast<void**>(&translation), &translationBytes) &&
        translation && translationBytes >= sizeof(Translation)) {
      char query[128] = {};
      int length = std::snprintf(query, sizeof query, "\\StringFileInfo\\%04x%04x\\FileVersion", translation->language,
                                 translation->codePage);
      char* value = nullptr;
      UINT valueLength = 0;
      if (length > 0 && length < static_cast<int>(sizeof query) &&
          VerQueryValueA(block, query, reinterpret_cast<void**>(&value), &valueLength) && value && valueLength > 0)
        CopyVersionText(text, value, valueLength);
    }
  }
#else
  // The same text the Windows version block carries, from the project version.
  static const char kFileVersion[] = TAVRIN_FILE_VERSION;
  CopyVersionText(text, kFileVersion, sizeof kFileVersion - 1);
#endif
}

void SendGreeting(SocketHandle s, const char* osVersion, const char* serverVersion) {
  char line[64] = {};
  int length = std::snprintf(line, sizeof line, "system windows %s\n", osVersion);
  if (length > 0) send(s, line, length < static_cast<int>(sizeof line) ? length : static_cast<int>(sizeof line) - 1, kSendFlags);
  length = std::snprintf(line, sizeof line, "version %s\n", serverVersion);
  if (length > 0) send(s, line, length < static_cast<int>(sizeof line) ? length : static_cast<int>(sizeof line) - 1, kSendFlags);
}

}  // namespace tavrin
