#include "app/autorun.h"

#include <windows.h>

#include "base/win32_handles.h"
#include "shell/autorun_value.h"

namespace tavrin {

namespace {

const wchar_t kRunKey[] = L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run";
const wchar_t kStartupApprovedKey[] = L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Explorer\\StartupApproved\\Run";
const wchar_t kValueName[] = L"Tavrin";

// The Run key is only ever opened: a system without it gets no entry.
unique_hkey OpenRunKey(REGSAM access) {
  unique_hkey key;
  if (RegOpenKeyExW(HKEY_CURRENT_USER, kRunKey, 0, access, key.put()) != ERROR_SUCCESS) key.reset();
  return key;
}

// Whether Task Manager's Startup tab has turned the entry off.
bool DisabledInTaskManager() {
  unique_hkey key;
  if (RegOpenKeyExW(HKEY_CURRENT_USER, kStartupApprovedKey, 0, KEY_QUERY_VALUE, key.put()) != ERROR_SUCCESS) return false;
  BYTE data[64] = {};
  DWORD type = 0, size = sizeof data;
  if (RegQueryValueExW(key.get(), kValueName, nullptr, &type, data, &size) != ERROR_SUCCESS || type != REG_BINARY)
    return false;
  return StartupApprovedDisables(data, size);
}

// Choosing Auto Run means "start at logon": an entry the Startup tab turned
// off is turned on again, as the tab itself would.
void ApproveInTaskManager() {
  if (!DisabledInTaskManager()) return;
  unique_hkey key;
  if (RegOpenKeyExW(HKEY_CURRENT_USER, kStartupApprovedKey, 0, KEY_SET_VALUE, key.put()) != ERROR_SUCCESS) return;
  RegSetValueExW(key.get(), kValueName, 0, REG_BINARY, kStartupApprovedEnabled, sizeof kStartupApprovedEnabled);
}

}  // namespace

bool EnableAutorun() {
  const unique_hkey key = OpenRunKey(KEY_SET_VALUE);
  if (!key) return false;
  wchar_t path[kAutorunPathCapacity] = {};
  const DWORD length = GetModuleFileNameW(nullptr, path, static_cast<DWORD>(kAutorunPathCapacity));
  // A path that filled the whole buffer was cut short and would start nothing.
  if (length == 0 || length >= kAutorunPathCapacity) return false;
  wchar_t value[kAutorunValueCapacity];
  const size_t bytes = BuildAutorunValue(path, value, kAutorunValueCapacity);
  if (bytes == 0 || RegSetValueExW(key.get(), kValueName, 0, REG_SZ, reinterpret_cast<const BYTE*>(value),
                                   static_cast<DWORD>(bytes)) != ERROR_SUCCESS)
    return false;
  ApproveInTaskManager();
  return true;
}

bool DisableAutorun() {
  const unique_hkey key = OpenRunKey(KEY_SET_VALUE);
  return key && RegDeleteValueW(key.get(), kValueName) == ERROR_SUCCESS;
}

bool QueryAutorun() {
  const unique_hkey key = OpenRunKey(KEY_QUERY_VALUE);
  if (!key) return false;
  // Present means readable into 512 bytes; the data is not compared with
  // this program's path.
  BYTE data[512] = {};
  DWORD type = REG_SZ;
  DWORD size = sizeof data;
  return RegQueryValueExW(key.get(), kValueName, nullptr, &type, data, &size) == ERROR_SUCCESS &&
         !DisabledInTaskManager();
}

}  // namespace tavrin
