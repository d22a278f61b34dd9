// One connected phone: its socket, the bytes it sent that have not formed a
// message yet, what it holds down and the injector that records it, and
// whether its input has effect.
#pragma once
#include <cstdint>

#include "base/unique_socket.h"
#include "input/held_input.h"
#include "shell/admission.h"
#include "wire/receive_buffer.h"

namespace tavrin {

class ClientConnection {
 public:
  // Its input goes to `out`. On `board` (every connected phone's record;
  // none for a connection fed directly) a release by this phone comes off the
  // others' records too.
  explicit ClientConnection(Injector* out, unique_socket s = {}, uint32_t address = 0, PhoneId phone = 0,
                            HeldInputBoard* board = nullptr)
      : socket(std::move(s)), peerAddress(address), id(phone), injector(out, held, board), board_(board) {
    if (board_) board_->join(held);
  }
  ~ClientConnection() {
    if (board_) board_->leave(held);
  }
  ClientConnection(const ClientConnection&) = delete;
  ClientConnection& operator=(const ClientConnection&) = delete;

  unique_socket socket;
  uint32_t peerAddress = 0;  // the phone's IPv4 address, network byte order
  // Names the connection to the roster for the whole run (handles are reused).
  PhoneId id = 0;
  // Whether its input has effect; false while the user has not allowed it.
  // Messages that arrive meanwhile are framed and dropped, not queued.
  bool admitted = true;
  // Its lines are counted, not written: its address connects too often to
  // log each connection (see ConnectionLogGate).
  bool quietLog = false;
  ReceiveBuffer received;
  // What this phone has pressed and not released, so that a connection that
  // ends does not leave keys or buttons down on the computer.
  HeldInput held;
  HeldInputInjector injector;

 private:
  HeldInputBoard* board_;
};

}  // namespace tavrin
