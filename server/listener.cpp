#include "server/listener.h"

#include "seams/system.h"
#include "server/sockets.h"

namespace tavrin {

namespace {

// How often a socket whose port another program holds is tried again.
constexpr uint32_t kReopenIntervalMs = 2000;
// How long the listener is left alone after an accept failure that would
// only repeat at once (no handles or memory left).
constexpr uint32_t kAcceptPauseMs = 100;
constexpr uint32_t kAcceptPauseLogIntervalMs = 60 * 1000;
// A phone that stops answering is given up after 10 s of silence and 10
// unanswered probes 2 s apart: about 30 s, after which its connection ends
// as if it had closed and what it held is released. A live phone answers
// the probes from its TCP stack, awake or not; they cost a few bytes.
constexpr uint32_t kKeepAliveIdleMs = 10000;
constexpr uint32_t kKeepAliveIntervalMs = 2000;
constexpr int kKeepAliveProbes = 10;

}  // namespace

Listener::Listener(const wchar_t* bindAddress, uint16_t port, const Platform& platform)
    : platform_(platform), address_(ListenAddress(bindAddress, port)) {}

void Listener::open() {
  if (socket_) return;
  socket_ = CreateListener(address_);
  if (!socket_) error_ = LastSocketError();
  // Any free port (tests): the one it got is the one to open again later.
  if (socket_ && address_.sin_port == 0) address_.sin_port = htons(boundPort());
}

void Listener::closeIfFailed() {
  if (!socket_ || SocketError(socket_.get()) == 0) return;
  platform_.write(LogLevel::Warning, "the listener failed while the computer slept: opening it again");
  close();
}

uint16_t Listener::boundPort() const {
  if (!socket_) return 0;
  sockaddr_in address{};
  socklen_t size = sizeof address;
  if (IsSocketError(getsockname(socket_.get(), reinterpret_cast<sockaddr*>(&address), &size))) return 0;
  return ntohs(address.sin_port);
}

bool Listener::retryDue(uint32_t now) {
  if (now - lastRetryTick_ < kReopenIntervalMs) return false;
  lastRetryTick_ = now;
  return true;
}

void Listener::report(const Discovery& discovery, bool serving) {
  const bool listening = isOpen();
  const bool announcing = discovery.isOpen();
  const int ports = (listening ? 1 : 0) | (announcing ? 2 : 0);
  // Back on the screen, the window hears the ports as they are, even when
  // they are still closed (the copy of the session that left may hold them).
  if (ports == reportedPorts_ && (!serving || windowTold_)) return;
  // One socket's line when it opened or closed, or on the first report.
  auto tell = [this, serving](bool open, int bit, const char* protocol, unsigned port, const char* doing, int error) {
    if (reportedPorts_ >= 0 && ((reportedPorts_ & bit) != 0) == open) return;
    if (open && platform_.log) platform_.log->writeKept(LogLevel::Info, "%s port %u: %s", protocol, port, doing);
    if (!open && !serving)
      platform_.write(LogLevel::Info, "%s port %u: closed while another session is on the screen", protocol, port);
    else if (!open)
      platform_.write(LogLevel::Warning, "%s port %u %s (error %d): trying again every 2 s", protocol, port,
                      DescribeOpenFailure(error), error);
  };
  tell(listening, 1, "TCP", ntohs(address_.sin_port), "listening", error_);
  if (discovery.enabled()) tell(announcing, 2, "UDP", kDiscoveryPort, "announcing", discovery.error());
  reportedPorts_ = ports;
  windowTold_ = serving;
  // Ports given up on purpose are nothing for the user to hear of, and
  // neither is taking them back.
  if (platform_.ui && serving) platform_.ui->reportPorts(listening, announcing);
}

// `error`: a new pause, or 0 when a pass asks whether a count is due.
void Listener::tellAcceptPause(uint32_t now, int error) {
  if (error != 0) {
    acceptPauseError_ = error;
    ++acceptPausesUnsaid_;
  }
  if (acceptPauseSaid_ && now - acceptPauseSaidTick_ < kAcceptPauseLogIntervalMs) return;
  if (acceptPausesUnsaid_ == 0) {
    acceptPauseSaid_ = false;  // a quiet minute: the next pause is said at once
    return;
  }
  if (acceptPauseSaid_)
    platform_.write(LogLevel::Warning, "accept failed and paused the listener %u more times in the past minute (last %d)",
                    acceptPausesUnsaid_, acceptPauseError_);
  else
    platform_.write(LogLevel::Warning, "accept failed (%d): pausing the listener", acceptPauseError_);
  acceptPausesUnsaid_ = 0;
  acceptPauseSaid_ = true;
  acceptPauseSaidTick_ = now;
}

void Listener::watch(ReadSet& reads, uint32_t now) {
  if (acceptPauseSaid_) tellAcceptPause(now, 0);
  if (acceptPaused_ && static_cast<int32_t>(now - acceptResumeTick_) >= 0) acceptPaused_ = false;
  if (socket_ && !acceptPaused_) reads.add(socket_.get());
}

bool Listener::ready(const ReadSet& reads, const bool (&readable)[ReadSet::kCapacity]) const {
  const int index = socket_ ? reads.find(socket_.get()) : -1;
  return index >= 0 && readable[index];
}

unique_socket Listener::accept(uint32_t& peerAddress) {
  sockaddr_in peer{};
  socklen_t size = sizeof peer;
  unique_socket s(::accept(socket_.get(), reinterpret_cast<sockaddr*>(&peer), &size));
  if (!s) {
    // Out of handles or memory, the listener stays readable and every accept
    // fails at once: leave it out of a few passes instead of spinning. A
    // peer that left before it was taken costs nothing, and the next
    // connection is tried at once, unless accepts keep failing that way too.
    const AcceptFailure failure = LastAcceptFailure();
    if (failure == AcceptFailure::NothingPending) return s;
    if (failure == AcceptFailure::Other || lastAcceptFailed_) {
      const uint32_t now = TickCount();
      if (!acceptPaused_) tellAcceptPause(now, LastSocketError());
      acceptPaused_ = true;
      acceptResumeTick_ = now + kAcceptPauseMs;
    }
    lastAcceptFailed_ = true;
    return s;
  }
  lastAcceptFailed_ = false;
#ifndef _WIN32
  // Winsock hands the listener's non-blocking mode on to accepted sockets;
  // BSD sockets do not.
  SetNonBlocking(s.get());
#endif
  WaitOnSocket(s.get());
  SetIntOption(s.get(), IPPROTO_TCP, TCP_NODELAY, 1);
  EnableKeepAlive(s.get(), kKeepAliveIdleMs, kKeepAliveIntervalMs, kKeepAliveProbes);
  if (IsSocketError(RequestQuickAcks(s.get())) && !quickAckFailureLogged_) {
    quickAckFailureLogged_ = true;
    platform_.write(LogLevel::Warning,
                    "immediate acknowledgements could not be asked for (%d): a phone's motion may come in bursts",
                    LastSocketError());
  }
  peerAddress = peer.sin_addr.s_addr;
  return s;
}

}  // namespace tavrin
