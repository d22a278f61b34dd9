// The handful of names in which Winsock and BSD sockets differ.
#pragma once
#include <cstdint>

#ifdef _WIN32
// inet_addr is the documented way the bind address is read; newer SDKs mark
// it deprecated.
#ifndef _WINSOCK_DEPRECATED_NO_WARNINGS
#define _WINSOCK_DEPRECATED_NO_WARNINGS
#endif
#include <winsock2.h>
#include <ws2tcpip.h>
#include <mstcpip.h>
#else
#include <arpa/inet.h>
#include <cerrno>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/ioctl.h>
#include <sys/select.h>
#include <sys/socket.h>
#include <unistd.h>
#endif

#include "base/unique_socket.h"

namespace tavrin {

#ifdef _WIN32
using SocketHandle = SOCKET;
#else
using SocketHandle = int;
#endif
inline constexpr SocketHandle kInvalidSocket = static_cast<SocketHandle>(-1);

#ifdef _WIN32
// A peer that has gone away makes send fail; it never raises a signal here.
inline constexpr int kSendFlags = 0;
#else
// Without this, a greeting sent to a peer that already reset the connection
// would raise SIGPIPE and end the whole process.
inline constexpr int kSendFlags = MSG_NOSIGNAL;
#endif

inline int SetNonBlocking(SocketHandle socket) {
#ifdef _WIN32
  u_long on = 1;
  return ioctlsocket(socket, FIONBIO, &on);
#else
  int on = 1;
  return ioctl(socket, FIONBIO, &on);
#endif
}

inline int SetIntOption(SocketHandle socket, int level, int name, int value) {
  return setsockopt(socket, level, name, reinterpret_cast<const char*>(&value), static_cast<int>(sizeof value));
}

// True when the last socket call failed only because nothing could be done
// without blocking (nothing to read yet).
inline bool LastErrorWouldBlock() {
#ifdef _WIN32
  return WSAGetLastError() == WSAEWOULDBLOCK;
#else
  // An interrupted call read nothing either; the next pass tries again.
  return errno == EWOULDBLOCK || errno == EAGAIN || errno == EINTR;
#endif
}

inline bool IsSocketError(int result) { return result < 0; }

// The error pending on a socket (SO_ERROR), 0 when none; an error of its own
// when it cannot even be asked.
inline int SocketError(SocketHandle socket) {
  int error = 0;
  socklen_t size = sizeof error;
  if (getsockopt(socket, SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&error), &size) < 0) return -1;
  return error;
}

inline int LastSocketError() {
#ifdef _WIN32
  return WSAGetLastError();
#else
  return errno;
#endif
}

inline void SetLastSocketError(int error) {
#ifdef _WIN32
  WSASetLastError(error);
#else
  errno = error;
#endif
}

// Closes a socket that could not be set up, keeping the error that stopped it
// for the caller to read; returns the empty owner.
inline unique_socket GiveUpSocket(unique_socket socket) {
  const int error = LastSocketError();
  socket.reset();
  SetLastSocketError(error);
  return {};
}

// The socket library for one server: started with it, and stopped only by
// the owner that started it, so that a failed start never takes another
// user's reference.
struct SocketLibrary {
#ifdef _WIN32
  WSADATA data{};
  const bool started = WSAStartup(0x0202, &data) == 0;
  ~SocketLibrary() { if (started) WSACleanup(); }
#else
  const bool started = true;
#endif
};

// Why a port could not be opened, for the log.
inline const char* DescribeOpenFailure(int error) {
#ifdef _WIN32
  if (error == WSAEADDRINUSE) return "in use by another program";
  if (error == WSAEACCES) return "held exclusively by another program";
#else
  if (error == EADDRINUSE) return "in use by another program";
  if (error == EACCES) return "not allowed";
#endif
  return "could not be opened";
}

// Why a connection ended, for the log: `error` is 0 when the phone closed it.
inline const char* DescribeConnectionEnd(int error) {
#ifdef _WIN32
  if (error == WSAETIMEDOUT) return "stopped answering";
  if (error == WSAECONNRESET || error == WSAECONNABORTED) return "reset";
#else
  if (error == ETIMEDOUT) return "stopped answering";
  if (error == ECONNRESET || error == ECONNABORTED) return "reset";
#endif
  return error == 0 ? "closed by the phone" : "ended by a network error";
}

// Why an accept failed, as far as the server cares: nothing was pending, the
// pending peer gave up before it was taken (nothing to worry about: the next
// connection is tried at once), or anything else (out of handles or memory),
// which would fail again at once and must not be retried in a tight loop.
enum class AcceptFailure { NothingPending, PeerGone, Other };

inline AcceptFailure LastAcceptFailure() {
  if (LastErrorWouldBlock()) return AcceptFailure::NothingPending;
#ifdef _WIN32
  // Wine answers WSAENOTCONN for a connection reset before it was taken.
  const int error = WSAGetLastError();
  if (error == WSAECONNRESET || error == WSAECONNABORTED || error == WSAENOTCONN) return AcceptFailure::PeerGone;
#else
  if (errno == ECONNABORTED || errno == EPROTO || errno == ENOTCONN) return AcceptFailure::PeerGone;
#endif
  return AcceptFailure::Other;
}

// Asks the system to acknowledge every segment at once instead of waiting up
// to 200 ms (40 ms on Linux) for more. A phone that leaves Nagle's algorithm
// on waits for that acknowledgement before sending its next small frame, so
// without this pointer motion would arrive in bursts. Linux forgets the
// setting after it acknowledges: QuickAcksAfterReceive renews it.
inline int RequestQuickAcks(SocketHandle socket) {
#ifdef _WIN32
  DWORD frequency = 1, returned = 0;
  return WSAIoctl(socket, SIO_TCP_SET_ACK_FREQUENCY, &frequency, sizeof frequency, nullptr, 0, &returned, nullptr,
                  nullptr);
#elif defined(TCP_QUICKACK)
  return SetIntOption(socket, IPPROTO_TCP, TCP_QUICKACK, 1);
#else
  (void)socket;
  return 0;
#endif
}

inline void QuickAcksAfterReceive(SocketHandle socket) {
#if !defined(_WIN32) && defined(TCP_QUICKACK)
  SetIntOption(socket, IPPROTO_TCP, TCP_QUICKACK, 1);
#else
  (void)socket;
#endif
}

// Asks the system to probe a connection that has been silent for `idleMs`,
// every `intervalMs`, and to fail it after `probes` unanswered probes: a
// phone that vanished (out of range, asleep, switched off) sends no FIN and
// no RST, and the server never writes after the greeting, so without probes
// its connection would stay open for ever. Windows fixes the number of probes
// at 10 (Wine leaves it at its host's 9), so `probes` matters on the BSD
// socket side only.
inline int EnableKeepAlive(SocketHandle socket, uint32_t idleMs, uint32_t intervalMs, int probes) {
#ifdef _WIN32
  (void)probes;
  tcp_keepalive values = {};
  values.onoff = 1;
  values.keepalivetime = idleMs;
  values.keepaliveinterval = intervalMs;
  DWORD returned = 0;
  return WSAIoctl(socket, SIO_KEEPALIVE_VALS, &values, sizeof values, nullptr, 0, &returned, nullptr, nullptr);
#else
  const int idleSeconds = static_cast<int>((idleMs + 999) / 1000);
  const int intervalSeconds = static_cast<int>((intervalMs + 999) / 1000);
  if (IsSocketError(SetIntOption(socket, SOL_SOCKET, SO_KEEPALIVE, 1))) return -1;
#ifdef TCP_KEEPIDLE
  if (IsSocketError(SetIntOption(socket, IPPROTO_TCP, TCP_KEEPIDLE, idleSeconds)) ||
      IsSocketError(SetIntOption(socket, IPPROTO_TCP, TCP_KEEPINTVL, intervalSeconds)) ||
      IsSocketError(SetIntOption(socket, IPPROTO_TCP, TCP_KEEPCNT, probes)))
    return -1;
#else
  (void)idleSeconds;
  (void)intervalSeconds;
  (void)probes;
#endif
  return 0;
#endif
}

// Claims the listener's port so that no other program can bind it as well.
// On Windows SO_REUSEADDR would let another program bind the same port and
// receive the phones' connections, and what they type; SO_EXCLUSIVEADDRUSE
// forbids that. BSD sockets never share a listening port that way, and there
// SO_REUSEADDR only lets a restarted server bind while connections of the
// previous one are still in TIME_WAIT.
inline int ClaimListeningPort(SocketHandle socket) {
#ifdef _WIN32
  return SetIntOption(socket, SOL_SOCKET, SO_EXCLUSIVEADDRUSE, 1);
#else
  return SetIntOption(socket, SOL_SOCKET, SO_REUSEADDR, 1);
#endif
}

}  // namespace tavrin
