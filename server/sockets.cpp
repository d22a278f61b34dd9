#include "server/sockets.h"

#include <utility>
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
// Up to this many sockets the worker waits on their events; beyond, and when
// connections are watched in turns, the select waits for them.
constexpr int kWaitedOnEvent = 8;

// Each socket the worker waits on is tied to an event of its own
// (WSAEventSelect), so that a wake names the socket, and asking that socket
// what happened (WSAEnumNetworkEvents) both resets its event and clears what
// it recorded. One event shared by all sockets needed a select after each
// wake to learn which was ready, and under Wine every recv set the shared
// event again (the record it had not cleared), an empty pass per message.
// The worker's thread only: each thread keeps its own ties.
class SocketEvents {
 public:
  static SocketEvents& forThisThread() {
    thread_local SocketEvents events;
    return events;
  }

  bool usable() const { return usable_; }

  // Ties `s` anew: a new socket may carry the number of one closed since,
  // whose tie must not be taken for its own.
  void tie(SocketHandle s) {
    Tie* slot = find(s);
    if (slot == nullptr) {
      // Full: the oldest tie goes. A socket that lost its tie while still
      // open is tied again when the worker next waits on it.
      if (count_ == kSlots) drop(0);
      slot = &ties_[count_++];
      slot->socket = s;
    }
    slot->closed = false;
    slot->event.reset(WSACreateEvent());
    // A failure leaves every wait to the select, which needs no ties.
    if (!slot->event || WSAEventSelect(s, slot->event.get(), FD_ACCEPT | FD_READ | FD_CLOSE) != 0) usable_ = false;
  }

  // A peer's close is told once, and Windows tells it once the bytes before
  // it have arrived, not once they are read: a socket whose close was told is
  // ready in every pass until its recv says the end.
  void noteClosed(SocketHandle s) {
    if (Tie* tied = find(s)) tied->closed = true;
  }
  bool closed(SocketHandle s) {
    const Tie* tied = find(s);
    return tied != nullptr && tied->closed;
  }

  // The event of `s`, tied now if it has none; null when tying failed.
  HANDLE eventFor(SocketHandle s) {
    if (find(s) == nullptr) tie(s);
    const Tie* tied = find(s);
    return usable_ && tied != nullptr ? tied->event.get() : nullptr;
  }

  // Lets go of the ties of sockets no longer waited on (closed ones among them).
  void keepOnly(const ReadSet& reads) {
    for (int i = count_ - 1; i >= 0; --i)
      if (reads.find(ties_[i].socket) < 0) drop(i);
  }

  // Where the next wait starts its list: the wait names the first ready
  // socket in it, so the start turns for every socket to be first in turn.
  int nextStart(int count) { return static_cast<int>(turn_++ % static_cast<unsigned>(count)); }

 private:
  struct Tie {
    SocketHandle socket = kInvalidSocket;
    unique_handle event;
    bool closed = false;
  };
  static constexpr int kSlots = kWaitedOnEvent * 2;

  Tie* find(SocketHandle s) {
    for (int i = 0; i < count_; ++i)
      if (ties_[i].socket == s) return &ties_[i];
    return nullptr;
  }
  void drop(int index) {
    for (int i = index; i + 1 < count_; ++i) {
      ties_[i].socket = ties_[i + 1].socket;
      ties_[i].event = std::move(ties_[i + 1].event);
      ties_[i].closed = ties_[i + 1].closed;
    }
    --count_;
    ties_[count_].socket = kInvalidSocket;
    ties_[count_].event.reset();
    ties_[count_].closed = false;
  }

  Tie ties_[kSlots];
  int count_ = 0;
  unsigned turn_ = 0;
  bool usable_ = true;
};

// The wait on the sockets' events and the thread's window messages. Returns
// 1 with the socket that woke it marked, 0 on a time-out or a message
// (answered at the top of the next pass), or -1 when the select must wait
// instead.
int EventPass(const ReadSet& reads, long timeoutUs, bool (&readable)[ReadSet::kCapacity]) {
  SocketEvents& events = SocketEvents::forThisThread();
  events.keepOnly(reads);
  bool closing = false;
  for (int i = 0; i < reads.count; ++i)
    if (events.closed(reads.handles[i])) readable[i] = closing = true;
  if (closing) return 1;
  HANDLE waited[kWaitedOnEvent];
  int socketAt[kWaitedOnEvent];
  const int start = events.nextStart(reads.count);
  for (int k = 0; k < reads.count; ++k) {
    socketAt[k] = (start + k) % reads.count;
    waited[k] = events.eventFor(reads.handles[socketAt[k]]);
    if (waited[k] == nullptr) return -1;
  }
  const DWORD count = static_cast<DWORD>(reads.count);
  const DWORD woke = MsgWaitForMultipleObjectsEx(count, waited, static_cast<DWORD>(timeoutUs / 1000), QS_ALLINPUT,
                                                 MWMO_INPUTAVAILABLE);
  if (woke == WAIT_TIMEOUT || woke == WAIT_OBJECT_0 + count) return 0;
  if (woke >= WAIT_OBJECT_0 + count) return -1;
  const int k = static_cast<int>(woke - WAIT_OBJECT_0);
  WSANETWORKEVENTS happened{};
  // An answer that fails is left to the accept or recv to report.
  const SocketHandle woken = reads.handles[socketAt[k]];
  const bool asked = WSAEnumNetworkEvents(woken, waited[k], &happened) == 0;
  if (asked && (happened.lNetworkEvents & FD_CLOSE) != 0) events.noteClosed(woken);
  if (!asked || happened.lNetworkEvents != 0) {
    readable[socketAt[k]] = true;
    return 1;
  }
  return 0;
}
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
  // A datagram due is never waited for: the select finds the discovery
  // socket ready at once, and the sockets' events stay set for the next pass.
  if (write == kInvalidSocket && reads.count <= kWaitedOnEvent && SocketEvents::forThisThread().usable()) {
    const int result = EventPass(reads, timeoutUs, readable);
    if (result >= 0) return result;
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
  WaitOnSocket(s);
  return owner;
}

void WaitOnSocket(SocketHandle s) {
#ifdef _WIN32
  SocketEvents::forThisThread().tie(s);
#else
  (void)s;
#endif
}

}  // namespace tavrin
