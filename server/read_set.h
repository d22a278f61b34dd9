// The set of sockets one select pass waits on, filled by the rule of
// Winsock's FD_SET on every platform: a handle already in the set is not added
// again, and once the set holds 64 handles every further handle is left out
// without notice. Keeping the rule ourselves makes the server serve the same
// connections on every system.
#pragma once
#include <cstdint>

#include "server/socket_compat.h"

namespace tavrin {

struct ReadSet {
  static constexpr int kCapacity = 64;

  SocketHandle handles[kCapacity] = {};
  int count = 0;

  void add(SocketHandle handle) {
    for (int i = 0; i < count; ++i)
      if (handles[i] == handle) return;
    if (count == kCapacity) return;
    handles[count++] = handle;
  }

  // Index of the handle in the set, or -1.
  int find(SocketHandle handle) const {
    for (int i = 0; i < count; ++i)
      if (handles[i] == handle) return i;
    return -1;
  }
};

}  // namespace tavrin
