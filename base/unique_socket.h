// The owner of one socket, for Winsock and for BSD sockets alike.
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

}  // namespace tavrin
