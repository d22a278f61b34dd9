#include "app/settings.h"

#include <windows.h>

#include <vector>

#include "base/win32_handles.h"

namespace tavrin {

namespace {

const wchar_t kSettingsKey[] = L"Software\\Tavrin";
const wchar_t kAskFirstValue[] = L"AskBeforeNewPhone";
const wchar_t kAllowedValue[] = L"AllowedPhones";
const wchar_t kAnswerTimeoutValue[] = L"AskTimeoutSeconds";
// A list this program writes is at most AllowList::kTextCapacity units; one
// another program wrote may be longer, and its first entries still count. A
// value past this is not read at all.
constexpr DWORD kLargestAllowedValueBytes = 1024 * 1024;

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

bool ReadDword(const wchar_t* name, DWORD& value) {
  const unique_hkey key = OpenSettings(KEY_QUERY_VALUE, false);
  if (!key) return false;
  DWORD type = 0, size = sizeof value;
  return RegQueryValueExW(key.get(), name, nullptr, &type, reinterpret_cast<BYTE*>(&value), &size) == ERROR_SUCCESS &&
         type == REG_DWORD && size == sizeof value;
}

}  // namespace

bool ReadAskFirst() {
  DWORD value = 0;
  return ReadDword(kAskFirstValue, value) && value == 1;
}

uint64_t ReadAnswerTimeoutMs(uint64_t fallbackMs) {
  DWORD seconds = 0;
  if (!ReadDword(kAnswerTimeoutValue, seconds) || seconds < 1 || seconds > 86400) return fallbackMs;
  return static_cast<uint64_t>(seconds) * 1000;
}

void WriteAskFirst(bool on, Log* log) {
  const unique_hkey key = OpenSettings(KEY_SET_VALUE, true);
  if (!key) return Note(log, ERROR_ACCESS_DENIED, "the Ask setting");
  const DWORD value = on ? 1 : 0;
  Note(log, RegSetValueExW(key.get(), kAskFirstValue, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value), sizeof value),
       "the Ask setting");
}

AllowList ReadAllowList(Log* log) {
  const unique_hkey key = OpenSettings(KEY_QUERY_VALUE, false);
  if (!key) return {};
  // Asked for its size first: a buffer too small for the value reads none
  // of it, and the next Always Allow would then write over every entry.
  DWORD type = 0, size = 0;
  if (RegQueryValueExW(key.get(), kAllowedValue, nullptr, &type, nullptr, &size) != ERROR_SUCCESS ||
      type != REG_MULTI_SZ || size == 0)
    return {};
  if (size > kLargestAllowedValueBytes) {
    // Not a list this program wrote (64 phones take a few kilobytes).
    if (log) log->write(LogLevel::Warning, "the allowed phones are not read: the value holds %lu bytes", size);
    return {};
  }
  std::vector<wchar_t> text;
  try {
    // Rounded up: a value of an odd number of bytes still fits.
    text.resize((size + sizeof(wchar_t) - 1) / sizeof(wchar_t) + 1);
  } catch (...) {
    return {};
  }
  size = static_cast<DWORD>((text.size() - 1) * sizeof(wchar_t));
  if (RegQueryValueExW(key.get(), kAllowedValue, nullptr, &type, reinterpret_cast<BYTE*>(text.data()), &size) !=
          ERROR_SUCCESS ||
      type != REG_MULTI_SZ)
    return {};
  return AllowList::parse(text.data(), size / sizeof(wchar_t));
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
