#include "app/settings.h"

#include <windows.h>

#include "base/win32_handles.h"

namespace tavrin {

namespace {

const wchar_t kSettingsKey[] = L"Software\\Tavrin";
const wchar_t kAskFirstValue[] = L"AskBeforeNewPhone";
const wchar_t kAllowedValue[] = L"AllowedPhones";

unique_hkey OpenSettings(REGSAM access, bool create) {
  unique_hkey key;
  const LSTATUS result =
      create ? RegCreateKeyExW(HKEY_CURRENT_USER, kSettingsKey, 0, nullptr, 0, access, nullptr, key.put(), nullptr)
             : RegOpenKeyExW(HKEY_CURRENT_USER, kSettingsKey, 0, access, key.put());
  if (result != ERROR_SUCCESS) key.reset();
  return key;
}

void Note(Log* log, LSTATUS result, const char* what) {
  if (result != ERROR_SUCCESS && log) log->write(LogLevel::Warning, "could not store %s (error %ld)", what, result);
}

}  // namespace

bool ReadAskFirst() {
  const unique_hkey key = OpenSettings(KEY_QUERY_VALUE, false);
  if (!key) return false;
  DWORD value = 0, type = 0, size = sizeof value;
  if (RegQueryValueExW(key.get(), kAskFirstValue, nullptr, &type, reinterpret_cast<BYTE*>(&value), &size) !=
          ERROR_SUCCESS ||
      type != REG_DWORD || size != sizeof value)
    return false;
  return value == 1;
}

void WriteAskFirst(bool on, Log* log) {
  const unique_hkey key = OpenSettings(KEY_SET_VALUE, true);
  if (!key) return Note(log, ERROR_ACCESS_DENIED, "the Ask setting");
  const DWORD value = on ? 1 : 0;
  Note(log, RegSetValueExW(key.get(), kAskFirstValue, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value), sizeof value),
       "the Ask setting");
}

AllowList ReadAllowList() {
  const unique_hkey key = OpenSettings(KEY_QUERY_VALUE, false);
  if (!key) return {};
  // Longer than any list this program writes: such a value is not trusted.
  wchar_t text[AllowList::kTextCapacity + 1] = {};
  DWORD type = 0, size = sizeof text - sizeof(wchar_t);
  if (RegQueryValueExW(key.get(), kAllowedValue, nullptr, &type, reinterpret_cast<BYTE*>(text), &size) != ERROR_SUCCESS ||
      type != REG_MULTI_SZ)
    return {};
  return AllowList::parse(text, size / sizeof(wchar_t));
}

void WriteAllowList(const AllowList& list, Log* log) {
  wchar_t text[AllowList::kTextCapacity] = {};
  const size_t units = list.format(text, AllowList::kTextCapacity);
  const unique_hkey key = OpenSettings(KEY_SET_VALUE, true);
  if (!key || units == 0) return Note(log, ERROR_ACCESS_DENIED, "the allowed phones");
  Note(log, RegSetValueExW(key.get(), kAllowedValue, 0, REG_MULTI_SZ, reinterpret_cast<const BYTE*>(text),
                           static_cast<DWORD>(units * sizeof(wchar_t))),
       "the allowed phones");
}

}  // namespace tavrin
