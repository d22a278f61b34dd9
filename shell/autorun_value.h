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

// Task Manager's Startup tab turns a Run entry off without removing it, by a
// binary value of the same name under ...\Explorer\StartupApproved\Run:
// its first byte is even (2, 6) while the entry may start and odd (3, 7) once
// the user disabled it; the rest is when. True when `data` (`size` bytes, as
// read) says disabled; a value that is missing or empty disables nothing.
bool StartupApprovedDisables(const uint8_t* data, size_t size);
// The value that lets the entry start again.
inline constexpr uint8_t kStartupApprovedEnabled[12] = {2, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};

}  // namespace tavrin
