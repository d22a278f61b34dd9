// The TCP listener: opening it (again every 2 s while another program holds
// its port), taking connections with a pause after failures that would only
// repeat at once, and telling the log and the user interface what is open.
#pragma once
#include <cstdint>

#include "server/discovery.h"
#include "server/platform.h"
#include "server/read_set.h"
#include "server/socket_compat.h"

namespace tavrin {

class Listener {
 public:
  // Closed until open(). Port 0: any free one, which is then the one opened
  // again later.
  Listener(const wchar_t* bindAddress, uint16_t port, const Platform& platform);

  bool isOpen() const { return static_cast<bool>(socket_); }
  void open();
  void close() { socket_.reset(); }
  // After sleep: a listener that reports an error is closed, to be opened anew.
  void closeIfFailed();
  // The port the listener is bound to, 0 when it is not open.
  uint16_t boundPort() const;

  // Whether a socket that could not be opened is to be tried again at `now`;
  // restartRetry() starts the 2 s anew.
  bool retryDue(uint32_t now);
  void restartRetry(uint32_t now) { lastRetryTick_ = now; }
  // Tells what is open when it changed: the first time only when something
  // is missing. While not `serving` the sockets are closed on purpose: the
  // log says so and the user interface hears nothing.
  void report(const Discovery& discovery, bool serving);

  // Adds the listener to a pass's read set unless it is closed or paused.
  void watch(ReadSet& reads, uint32_t now);
  bool ready(const ReadSet& reads, const bool (&readable)[ReadSet::kCapacity]) const;
  // The next waiting connection, set up for a phone; an empty owner when none
  // could be taken.
  unique_socket accept(uint32_t& peerAddress);

 private:
  Platform platform_;
  sockaddr_in address_{};
  unique_socket socket_;
  int error_ = 0;  // why the listener last failed to open
  uint32_t lastRetryTick_ = 0;
  // After an accept failure that would repeat at once (out of handles), the
  // listener is left out of the read set until this tick.
  bool acceptPaused_ = false;
  uint32_t acceptResumeTick_ = 0;
  bool lastAcceptFailed_ = false;  // the previous accept failed (not for want of a connection)
  // A flood of connections reset before they are taken pauses the listener
  // again and again: the first pause is logged, the rest once a minute.
  uint32_t acceptPauseSaidTick_ = 0;
  uint32_t acceptPausesUnsaid_ = 0;
  bool acceptPauseSaid_ = false;
  int acceptPauseError_ = 0;
  void tellAcceptPause(uint32_t now, int error);
  bool quickAckFailureLogged_ = false;
  int reportedPorts_ = -1;  // what report() last told, -1 before the first report
  bool windowTold_ = false;  // the window heard reportedPorts_ (not while not serving)
};

}  // namespace tavrin
