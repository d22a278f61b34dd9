#include "shell/autorun_value.h"

#include <cwchar>

namespace tavrin {

size_t BuildAutorunValue(const wchar_t* path, wchar_t* value, size_t capacity) {
  if (capacity == 0) return 0;
  value[0] = L'\0';
  const size_t length = std::wcslen(path);
  if (length == 0 || length + 3 > capacity) return 0;
  value[0] = L'"';
  for (size_t i = 0; i < length; ++i) value[i + 1] = path[i];
  value[length + 1] = L'"';
  value[length + 2] = L'\0';
  return (length + 3) * sizeof(uint16_t);
}

bool StartupApprovedDisables(const uint8_t* data, size_t size) { return data != nullptr && size > 0 && (data[0] & 1) != 0; }

}  // namespace tavrin
