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

// Winsock for as long as the owner lives: cleaned up once, and only when it
// started (a failed start takes no reference to give back). BSD sockets need
// no start.
class SocketLibrary {
 public:
  SocketLibrary() = default;
  ~SocketLibrary() {
#ifdef _WIN32
    if (started_) WSACleanup();
#endif
  }
  SocketLibrary(const SocketLibrary&) = delete;
  SocketLibrary& operator=(const SocketLibrary&) = delete;

  // True when sockets may be used; starting twice takes one reference.
  bool start() noexcept {
#ifdef _WIN32
    WSADATA data;
    if (!started_) started_ = WSAStartup(0x0202, &data) == 0;
#else
    started_ = true;
#endif
    return started_;
  }

 private:
  bool started_ = false;
};

}  // namespace tavrin
