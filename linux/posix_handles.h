// Owners for the POSIX handles of the Linux edge, after base/unique_any.h.
#pragma once
#include <cstdio>
#include <unistd.h>

#include "base/unique_any.h"

namespace tavrin {

inline void CloseFile(std::FILE* file) noexcept { std::fclose(file); }
using unique_file = unique_any<std::FILE*, CloseFile>;

inline void CloseDescriptor(int descriptor) noexcept { ::close(descriptor); }
using unique_fd = unique_any<int, CloseDescriptor, -1>;

}  // namespace tavrin
