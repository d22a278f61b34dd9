// The network server: the one worker thread and its loop, which ties the
// rooms of this folder together:
//   listener.cpp         the TCP listener: open, accept, back-off, what is open
//   discovery.cpp        the discovery socket and its timing
//   connections.cpp      the connected phones, their admission and log lines
//   client_connection.h  one phone: socket, receive buffer, what it holds
//   message_handler.cpp  a connection's bytes cut into messages and handled
//   greeting.cpp, sockets.cpp  the socket calls themselves
// Bytes go one way: socket, connection's buffer, message, handler, the
// connection's injector, the platform's injector.
#pragma once
#include <atomic>
#include <cstdint>

#include "seams/system.h"
#include "server/connections.h"
#include "server/discovery.h"
#include "server/listener.h"
#include "server/message_handler.h"
#include "server/platform.h"
#include "server/socket_compat.h"

namespace tavrin {

class RemoteServer {
 public:
  // Opens the listener on `bindAddress`:`port` (port 0: any free one) and the
  // discovery socket, and starts the worker. A port another program holds is
  // tried again every 2 s; the user interface hears what is open.
  RemoteServer(const wchar_t* bindAddress, uint16_t port, const Platform& platform);
  ~RemoteServer();

  // Asks the worker to end and waits up to `timeoutMs` (kWaitForever: no limit)
  // for it, answering the messages the worker sends to this thread meanwhile.
  // False when the worker is still inside a call into another program that
  // does not return (an automation server, a window); the server must then
  // never be destroyed, and the caller ends the process instead. The native
  // build always waits for the worker.
  bool stop(uint32_t timeoutMs);
  static constexpr uint32_t kWaitForever = WorkerThread::kForever;

  // The port the listener is bound to (useful when constructed with port 0).
  uint16_t boundPort() const { return listener_.boundPort(); }

  // Any thread. Off: every phone's connection ends (what it holds is
  // released) and the listener and discovery socket close, so that the copy
  // of this program in the session now on the screen can take the ports; on:
  // they open again (a port still held is tried every 2 s). The worker
  // carries it out at its next pass.
  void setServing(bool serving) { serving_.store(serving, std::memory_order_release); }
  // Any thread, after the computer wakes: the discovery socket is made anew
  // and a listener that reports an error is opened again.
  void checkSockets() { socketCheck_.store(true, std::memory_order_release); }

 private:
  static void workerMain(void* server);
  void run();
  // Carries out setServing() and checkSockets() (once per pass).
  void serveControls();
  // Opens what is missing and tells when what is open changed.
  void openSockets();

  Platform platform_;
  SocketLibrary socketLibrary_;  // first in, last out
  Listener listener_;
  Discovery discovery_{platform_.discoveryEnabled};
  MessageHandler handler_{platform_};
  ConnectionTable connections_{platform_, handler_};
  WorkerThread worker_;
  std::atomic<int32_t> running_{0};
  std::atomic<bool> serving_{true};
  bool servingSeen_ = true;  // what the worker last carried out
  std::atomic<bool> socketCheck_{false};
  // The greeting's texts, read by the worker when it starts.
  char osVersionText_[64] = "6.0";
  char serverVersionText_[64] = {};
};

}  // namespace tavrin
