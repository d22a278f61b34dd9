#include "server/sockets.h"

#include <atomic>
#include <cerrno>
#include <cstring>

#include "seams/system.h"
#include "server/discovery.h"

#ifdef _WIN32
#include <windows.h>

#include "base/win32_handles.h"
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

#ifdef _WIN32
// Up to this many sockets the worker waits on their event; beyond, and when
// connections are watched in turns (the event then also tells of sockets
// outside the pass), the select waits for them.
constexpr int kWaitedOnEvent = 8;

// The one event the worker waits on for its sockets, together with the
// window messages sent to its thread. The listener is tied to it, and every
// connection it accepts inherits the tie, so a pass needs no call per
// socket. Null when the event could not be made or tied: the wait is then a
// plain select.
class SocketEvent {
 public:
  static SocketEvent& instance() {
    static SocketEvent event;
    return event;
  }
  WSAEVENT get() const { return usable_.load(std::memory_order_acquire) ? event_.get() : nullptr; }
  void tie(SocketHandle listener) {
    if (!event_ || WSAEventSelect(listener, event_.get(), FD_ACCEPT | FD_READ | FD_CLOSE) != 0)
      usable_.store(false, std::memory_order_release);
  }

 private:
  unique_handle event_{WSACreateEvent()};
  std::atomic<bool> usable_{static_cast<bool>(event_)};
};
#endif

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
  const WSAEVENT event = SocketEvent::instance().get();
  if (event && reads.count <= kWaitedOnEvent) {
    // Under Wine a select that has to wait wakes later, now and then by
    // milliseconds, than a wait on an event; the select after it only asks
    // which sockets are ready (a peer's close is told once by the event, but
    // a closed socket stays readable to the select). A datagram due is never
    // waited for.
    const DWORD waitMs = write != kInvalidSocket ? 0 : static_cast<DWORD>(timeoutUs / 1000);
    const DWORD woke = MsgWaitForMultipleObjectsEx(1, &event, waitMs, QS_ALLINPUT, MWMO_INPUTAVAILABLE);
    if (woke == WAIT_OBJECT_0 + 1) return 0;  // answered at the top of the next pass
    // Reset before asking: whatever happens after the asking sets it again.
    if (woke == WAIT_OBJECT_0) WSAResetEvent(event);
    // A failed wait leaves the waiting to the select.
    if (woke == WAIT_OBJECT_0 || woke == WAIT_TIMEOUT) timeout = timeval{0, 0};
  }
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
#ifdef _WIN32
  SocketEvent::instance().tie(s);
#endif
  return owner;
}

}  // namespace tavrin
