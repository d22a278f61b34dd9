// The data of the per-user autorun entry: the program's path in quotes.
#pragma once
#include <cstddef>
#include <cstdint>

namespace tavrin {

constexpr size_t kAutorunPathCapacity = 260;  // MAX_PATH, terminating zero included
// Two quotes and the terminating zero around the longest path.
constexpr size_t kAutorunValueCapacity = kAutorunPathCapacity + 2;

// Writes "\"<path>\"" with its terminating zero into `value` (room for
// `capacity` units) and returns the size of that UTF-16 text in bytes,
// (path length + 3) * 2, as the registry wants it. Returns 0, leaving an
// empty text, when the path is empty or the quoted path does not fit.
size_t BuildAutorunValue(const wchar_t* path, wchar_t* value, size_t capacity);

}  // namespace tavrin
