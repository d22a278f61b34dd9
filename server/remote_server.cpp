#include "server/remote_server.h"

#include "server/greeting.h"
#include "server/sockets.h"
#include "server/version_text.h"

#ifdef _WIN32
#include <windows.h>
#include <objbase.h>

#include "base/win32_handles.h"
#endif

namespace tavrin {

namespace {

constexpr long kSelectTimeoutUs = 50000;
// While the connections are watched in turns, each pass waits a share of the
// usual timeout, so that a connection waits about as long for its turn as it
// would in one pass; never less than this, or an idle server would spin.
constexpr long kShortestSelectTimeoutUs = 5000;
constexpr uint32_t kSelectFailurePauseMs = 10000;
constexpr uint32_t kWorkerStackBytes = 0x40000;

}  // namespace

RemoteServer::RemoteServer(const wchar_t* bindAddress, uint16_t port, const Platform& platform)
    : platform_(platform), listener_(bindAddress, port, platform_) {
  // Until the worker reads the version block; this program's own version.
  CopyVersionText(serverVersionText_, TAVRIN_FILE_VERSION, sizeof TAVRIN_FILE_VERSION - 1);
  if (!socketLibrary_.started) {
    platform_.write(LogLevel::Error, "the socket library did not start: no phone can connect");
    return;
  }
  // Before the worker starts, so that the user hears at once when a port is
  // held by another program; the worker keeps trying to open it.
  listener_.restartRetry(TickCount());
  openSockets();
  running_ = 1;
  if (!worker_.start(&RemoteServer::workerMain, this, kWorkerStackBytes)) {
    running_ = 0;
    platform_.write(LogLevel::Error, "the server's thread did not start: no phone can connect");
  }
}

bool RemoteServer::stop(uint32_t timeoutMs) {
  handler_.requestStop();
  running_ = 0;
  if (worker_.join(timeoutMs)) return true;
  platform_.write(LogLevel::Error,
                  "the server's thread did not stop within %u ms: it is inside a call into another program",
                  static_cast<unsigned>(timeoutMs));
  return false;
}

RemoteServer::~RemoteServer() {
  stop(kWaitForever);
  connections_.closeAll();
  listener_.close();
  discovery_.close();
  platform_.write(LogLevel::Info, "server stopped");
}

void RemoteServer::workerMain(void* argument) {
#ifdef _WIN32
  // Some commands drive the shell and the presentation program through COM
  // automation from this thread.
  const ComApartment apartment(COINIT_APARTMENTTHREADED);
#endif
  static_cast<RemoteServer*>(argument)->run();
}

// One pass: the user's requests, sockets to open, one select over the
// listener and the connections (and the discovery socket when a datagram is
// due), then accept, receive and announce.
void RemoteServer::run() {
  FormatOsVersion(osVersionText_);
  ReadServerVersion(serverVersionText_);
  if (platform_.log)
    platform_.log->writeKept(LogLevel::Info, "serving: system windows %s, version %s", osVersionText_,
                             serverVersionText_);
  while (running_ != 0) {
    AnswerThreadMessages();
    serveControls();
    const uint32_t now = TickCount();
    if (servingSeen_ && (!listener_.isOpen() || discovery_.missing()) && listener_.retryDue(now)) openSockets();
    ReadSet reads;
    listener_.watch(reads, now);
    const int passesPerRound = connections_.watch(reads);
    long timeoutUs = kSelectTimeoutUs / passesPerRound;
    if (timeoutUs < kShortestSelectTimeoutUs) timeoutUs = kShortestSelectTimeoutUs;

    bool readable[ReadSet::kCapacity];
    bool writable = false;
    const int result = SelectPass(reads, discovery_.due(now), timeoutUs, readable, writable);
    // After the wait, before anything is read: bytes a phone sent after the
    // user allowed it (or unpaused) are never judged by an older answer.
    connections_.serveRosterRequests();
    connections_.flushLog(TickCount64());
    if (result > 0) {
      if (listener_.ready(reads, readable)) {
        uint32_t peerAddress = 0;
        if (unique_socket phone = listener_.accept(peerAddress))
          connections_.accepted(std::move(phone), peerAddress, osVersionText_, serverVersionText_);
      }
      const bool phoneBytesWaited = connections_.receiveReadable(reads, readable);
      if (writable) discovery_.send(platform_.network, phoneBytesWaited);
    } else if (result < 0) {
      platform_.write(LogLevel::Error, "select failed (%d): pausing %u s", LastSocketError(),
                      static_cast<unsigned>(kSelectFailurePauseMs / 1000));
      SleepMilliseconds(kSelectFailurePauseMs);
    }
  }
}

void RemoteServer::serveControls() {
  const bool serving = serving_.load(std::memory_order_acquire);
  if (serving != servingSeen_) {
    servingSeen_ = serving;
    if (serving) {
      platform_.write(LogLevel::Info, "serving again: this session is on the screen");
      listener_.restartRetry(TickCount());
    } else {
      platform_.write(LogLevel::Info,
                      "not serving while another session is on the screen: phones disconnected, ports closed");
      connections_.dropAll("disconnected: the session left the screen");
      listener_.close();
      discovery_.close();
    }
    openSockets();
  }
  if (socketCheck_.exchange(false, std::memory_order_acq_rel) && serving) {
    // After sleep the network under a socket may have gone and come back:
    // a datagram socket costs nothing to make anew, and a listener that
    // reports an error is replaced.
    discovery_.close();
    listener_.closeIfFailed();
    openSockets();
  }
}

void RemoteServer::openSockets() {
  if (servingSeen_) {
    listener_.open();
    discovery_.open();
  }
  listener_.report(discovery_, servingSeen_);
}

}  // namespace tavrin
