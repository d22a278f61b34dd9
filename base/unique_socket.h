// The owner of one socket, for Winsock and for BSD sockets alike, and of
// the socket library itself.
#pragma once
#include "base/unique_any.h"

#ifdef _WIN32
#include <winsock2.h>
#else
#include <unistd.h>
#endif

namespace tavrin {

#ifdef _WIN32
inline void CloseSocketHandle(SOCKET socket) noexcept { closesocket(socket); }
// INVALID_SOCKET is ~0, which is -1 in the template's integer.
using unique_socket = unique_any<SOCKET, CloseSocketHandle, -1>;
#else
inline void CloseSocketHandle(int socket) noexcept { close(socket); }
using unique_socket = unique_any<int, CloseSocketHandle, -1>;
#endif

// The socket library for as long as the owner lives, held as whether it
// started: Winsock is cleaned up once, and only when it started (a failed
// start takes no reference to give back). BSD sockets need no start.
#ifdef _WIN32
inline void StopSocketLibrary(bool) noexcept { WSACleanup(); }
#else
inline void StopSocketLibrary(bool) noexcept {}
#endif
using socket_library = unique_any<bool, StopSocketLibrary>;
inline socket_library StartSocketLibrary() noexcept {
#ifdef _WIN32
  WSADATA data;
  return socket_library(WSAStartup(0x0202, &data) == 0);
#else
  return socket_library(true);
#endif
}

}  // namespace tavrin
