#include "server/sockets.h"

#include <cerrno>
#include <cstring>

#include "seams/system.h"
#include "server/discovery.h"

#ifdef _WIN32
#include <windows.h>
#endif

namespace tavrin {

namespace {

constexpr int kListenBacklog = 5;

// The bind address is UTF-16 text; inet_addr wants 8-bit text.
void NarrowAddress(const wchar_t* wide, char (&narrow)[64]) {
  std::memset(narrow, 0, sizeof narrow);
  if (!wide) return;
#ifdef _WIN32
  WideCharToMultiByte(CP_ACP, 0, wide, -1, narrow, static_cast<int>(sizeof narrow) - 1, nullptr, nullptr);
#else
  // A dotted address is ASCII; anything else cannot parse anyway.
  for (size_t i = 0; i + 1 < sizeof narrow && wide[i] != 0; ++i)
    narrow[i] = (wide[i] > 0 && wide[i] < 0x80) ? static_cast<char>(wide[i]) : '?';
#endif
}

}  // namespace

sockaddr_in ListenAddress(const wchar_t* bindAddress, uint16_t port) {
  char narrow[64];
  NarrowAddress(bindAddress, narrow);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = inet_addr(narrow);
  address.sin_port = htons(port);
  return address;
}

sockaddr_in DiscoveryBindAddress() {
  sockaddr_in any{};
  any.sin_family = AF_INET;
  any.sin_addr.s_addr = htonl(INADDR_ANY);
  any.sin_port = htons(kDiscoveryPort);
  return any;
}

// One select pass over the read set and, when armed, the discovery socket,
// waiting at most `timeoutUs`. Returns select's result; `readable[i]` tells
// whether reads.handles[i] is marked, `writable` whether the write handle is.
int SelectPass(const ReadSet& reads, SocketHandle write, long timeoutUs, bool (&readable)[ReadSet::kCapacity],
               bool& writable) {
  for (bool& r : readable) r = false;
  writable = false;
  if (reads.count == 0 && write == kInvalidSocket) {
    // Nothing to wait on (no listener yet, no phone): Winsock fails a select
    // with empty sets, which would cost the 10 s pause; just wait the pass.
    SleepMilliseconds(static_cast<uint32_t>(timeoutUs / 1000));
    return 0;
  }
  timeval timeout{0, timeoutUs};
#ifdef _WIN32
  fd_set readSet;
  readSet.fd_count = 0;
  for (int i = 0; i < reads.count; ++i) readSet.fd_array[readSet.fd_count++] = reads.handles[i];
  fd_set writeSet;
  writeSet.fd_count = 0;
  if (write != kInvalidSocket) writeSet.fd_array[writeSet.fd_count++] = write;
  int result = select(0, &readSet, write != kInvalidSocket ? &writeSet : nullptr, nullptr, &timeout);
  if (result <= 0) return result;
  for (int i = 0; i < reads.count; ++i) readable[i] = FD_ISSET(reads.handles[i], &readSet) != 0;
  writable = write != kInvalidSocket && FD_ISSET(write, &writeSet);
  return result;
#else
  // Winsock fails the whole select when the set holds an invalid handle (an
  // unopened listener); do the same here instead of handing -1 to FD_SET.
  fd_set readSet;
  FD_ZERO(&readSet);
  int highest = -1;
  for (int i = 0; i < reads.count; ++i) {
    SocketHandle h = reads.handles[i];
    if (h < 0) {
      errno = EBADF;
      return -1;
    }
    // An fd_set cannot represent a handle this large; such a socket is left
    // out, like one beyond the 64th.
    if (h >= FD_SETSIZE) continue;
    FD_SET(h, &readSet);
    if (h > highest) highest = h;
  }
  fd_set writeSet;
  FD_ZERO(&writeSet);
  bool haveWrite = write >= 0 && write < FD_SETSIZE;
  if (haveWrite) {
    FD_SET(write, &writeSet);
    if (write > highest) highest = write;
  }
  int result = select(highest + 1, &readSet, haveWrite ? &writeSet : nullptr, nullptr, &timeout);
  if (result <= 0) return result;
  for (int i = 0; i < reads.count; ++i) {
    SocketHandle h = reads.handles[i];
    readable[i] = h >= 0 && h < FD_SETSIZE && FD_ISSET(h, &readSet);
  }
  writable = haveWrite && FD_ISSET(write, &writeSet);
  return result;
#endif
}

unique_socket CreateListener(const sockaddr_in& address) {
  unique_socket owner(socket(AF_INET, SOCK_STREAM, IPPROTO_TCP));
  const SocketHandle s = owner.get();
  if (!owner) return owner;
  if (IsSocketError(SetNonBlocking(s)) || IsSocketError(ClaimListeningPort(s)) ||
      IsSocketError(bind(s, reinterpret_cast<const sockaddr*>(&address), static_cast<int>(sizeof address))) ||
      IsSocketError(listen(s, kListenBacklog)))
    return GiveUpSocket(std::move(owner));
  return owner;
}

}  // namespace tavrin
