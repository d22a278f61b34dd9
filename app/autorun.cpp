// The per-user autorun entry under the Run key, and its "Auto &Run" state.
#include <windows.h>

#include "shell/autorun_value.h"
#include "app/shell.h"

namespace tavrin {

namespace {

const wchar_t kRunKey[] = L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run";
const wchar_t kValueName[] = L"Tavrin";

// The Run key is only ever opened: a system without it gets no entry.
HKEY OpenRunKey(REGSAM access) {
  HKEY key = nullptr;
  if (RegOpenKeyExW(HKEY_CURRENT_USER, kRunKey, 0, access, &key) != ERROR_SUCCESS) return nullptr;
  return key;
}

}  // namespace

void EnableAutorun() {
  HKEY key = OpenRunKey(KEY_SET_VALUE);
  if (key == nullptr) return;
  wchar_t path[kAutorunPathCapacity] = {};
  const DWORD length = GetModuleFileNameW(nullptr, path, static_cast<DWORD>(kAutorunPathCapacity));
  // A path that filled the whole buffer was cut short and would start nothing.
  if (length == 0 || length >= kAutorunPathCapacity) {
    RegCloseKey(key);
    return;
  }
  wchar_t value[kAutorunValueCapacity];
  const size_t bytes = BuildAutorunValue(path, value, kAutorunValueCapacity);
  if (bytes != 0 && RegSetValueExW(key, kValueName, 0, REG_SZ, reinterpret_cast<const BYTE*>(value),
                                   static_cast<DWORD>(bytes)) == ERROR_SUCCESS)
    autorunEnabled = true;
  RegCloseKey(key);
}

void DisableAutorun() {
  HKEY key = OpenRunKey(KEY_SET_VALUE);
  if (key == nullptr) return;
  if (RegDeleteValueW(key, kValueName) == ERROR_SUCCESS) autorunEnabled = false;
  RegCloseKey(key);
}

bool QueryAutorun() {
  HKEY key = OpenRunKey(KEY_QUERY_VALUE);
  if (key == nullptr) return false;
  // Present means readable into 512 bytes; the data is not compared with
  // this program's path.
  BYTE data[512] = {};
  DWORD type = REG_SZ;
  DWORD size = sizeof data;
  const LSTATUS result = RegQueryValueExW(key, kValueName, nullptr, &type, data, &size);
  RegCloseKey(key);
  return result == ERROR_SUCCESS;
}

}  // namespace tavrin
