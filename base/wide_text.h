// Bounded copies of zero-terminated UTF-16 text into fixed fields (tips,
// balloon texts, menu captions, remembered messages): never past the field,
// always terminated, and never cut between the two halves of a surrogate
// pair.
#pragma once
#include <cstddef>

namespace tavrin {

// Copies `source` into `target` (capacity units, zero included), cutting it
// short if needed, and returns the new length.
inline size_t CopyText(wchar_t* target, size_t capacity, const wchar_t* source) {
  if (capacity == 0) return 0;
  size_t length = 0;
  while (source != nullptr && length + 1 < capacity && source[length] != L'\0') {
    target[length] = source[length];
    ++length;
  }
  const bool cut = source != nullptr && source[length] != L'\0';
  if (cut && length > 0 && target[length - 1] >= 0xD800 && target[length - 1] <= 0xDBFF) --length;
  target[length] = L'\0';
  return length;
}

// Appends `source` to the zero-terminated `target`, cutting it short if needed.
inline size_t AppendText(wchar_t* target, size_t capacity, const wchar_t* source) {
  size_t length = 0;
  while (length + 1 < capacity && target[length] != L'\0') ++length;
  return length + CopyText(target + length, capacity - length, source);
}

}  // namespace tavrin
