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

inline int CloseSocket(SocketHandle socket) {
#ifdef _WIN32
  return closesocket(socket);
#else
  return close(socket);
#endif
}

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

}  // namespace tavrin
