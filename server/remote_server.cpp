#include "server/remote_server.h"

#include <cstdio>
#include <new>

#include "actions/window_actions.h"
#include "base/ipv4_text.h"
#include "input/keyboard.h"
#include "server/discovery.h"
#include "server/greeting.h"
#include "server/sockets.h"
#include "server/version_text.h"

#ifdef _WIN32
#include <windows.h>
#include <objbase.h>
#endif

namespace tavrin {

namespace {

constexpr long kSelectTimeoutUs = 50000;
// While the connections are watched in turns, each pass waits a share of the
// usual timeout, so that a connection waits about as long for its turn as it
// would in one pass; never less than this, or an idle server would spin.
constexpr long kShortestSelectTimeoutUs = 5000;
constexpr uint32_t kSelectFailurePauseMs = 10000;
// How often the worker tries again to open a socket whose port another
// program holds.
constexpr uint32_t kReopenIntervalMs = 2000;
// How long the listener is left alone after an accept failure that would
// only repeat at once (no handles or memory left).
constexpr uint32_t kAcceptPauseMs = 100;
// A phone that stops answering is given up after 10 s of silence and 10
// unanswered probes 2 s apart: about 30 s, after which its connection ends
// as if it had closed and what it held is released. A live phone answers
// the probes from its TCP stack, awake or not; they cost a few bytes.
constexpr uint32_t kKeepAliveIdleMs = 10000;
constexpr uint32_t kKeepAliveIntervalMs = 2000;
constexpr int kKeepAliveProbes = 10;
constexpr uint32_t kWorkerStackBytes = 0x40000;


}  // namespace

RemoteServer::RemoteServer(const wchar_t* bindAddress, uint16_t port, const Platform& p) : platform(p) {
  start(bindAddress, port);
}

RemoteServer::RemoteServer(const Platform& p) : platform(p) {}

void RemoteServer::start(const wchar_t* bindAddress, uint16_t port) {
  networked_ = true;
  std::snprintf(fullReason_, sizeof fullReason_, "refused: %u phones already wait",
                static_cast<unsigned>(Admission::kWaitingCapacity));
  // Until the worker reads the version block; this program's own version.
  CopyVersionText(serverVersionText_, TAVRIN_FILE_VERSION, sizeof TAVRIN_FILE_VERSION - 1);
  socketLibrary_ = StartSocketLibrary();
  if (!socketLibrary_) {
    log(LogLevel::Error, "the socket library did not start: no phone can connect");
    return;
  }
  listenAddress_ = ListenAddress(bindAddress, port);
  openMissingSockets();
  // Any free port (tests): the one it got is the one to open again later.
  if (port == 0) listenAddress_.sin_port = htons(boundPort());
  // Before the worker starts, so that the user hears at once when a port is
  // held by another program; the worker keeps trying to open it.
  lastReopenTick_ = TickCount();
  reportPorts();

  running_ = 1;
  if (!worker_.start(&RemoteServer::workerMain, this, kWorkerStackBytes)) {
    running_ = 0;
    log(LogLevel::Error, "the server's thread did not start: no phone can connect");
  }
}

bool RemoteServer::stop(uint32_t timeoutMs) {
  stopRequested_ = true;
  running_ = 0;
  if (!worker_.join(timeoutMs)) {
    log(LogLevel::Error, "the server's thread did not stop within %u ms: it is inside a call into another program",
        static_cast<unsigned>(timeoutMs));
    return false;
  }
  return true;
}

RemoteServer::~RemoteServer() {
  stop(kWaitForever);
  injector.current = nullptr;
  // Every release looks at every record, so all of them stay valid until
  // nothing is held any more.
  for (auto& entry : clients_) releaseHeld(*entry.second);
  for (auto& entry : clients_) {
    CloseSocket(entry.second->socketHandle);
    if (platform.roster) platform.roster->disconnected(entry.second->id);
  }
  clients_.clear();
  closeSockets();
  connectionLog_.flushAll();
  if (networked_) log(LogLevel::Info, "server stopped");
}

uint16_t RemoteServer::boundPort() const {
  if (listenSocket_ == kInvalidSocket) return 0;
  sockaddr_in address{};
  socklen_t size = sizeof address;
  if (IsSocketError(getsockname(listenSocket_, reinterpret_cast<sockaddr*>(&address), &size))) return 0;
  return ntohs(address.sin_port);
}

void RemoteServer::workerMain(void* argument) {
#ifdef _WIN32
  // Some commands drive the shell and the presentation program through COM
  // automation from this thread.
  const HRESULT com = CoInitialize(nullptr);
#endif
  static_cast<RemoteServer*>(argument)->run();
#ifdef _WIN32
  if (SUCCEEDED(com)) CoUninitialize();
#endif
}

// The read set of one pass: the listener first (while it is open and not
// paused after a failed accept), then connections in ascending handle order.
// When they do not all fit beside it (64 handles in all, the limit of a
// Winsock select, kept on every system), each pass watches the next share of
// them, going round from where the previous pass stopped: every connection is
// read within a few passes, however many others stay open and silent.
// Returns the number of passes a round takes (1 when all fit).
int RemoteServer::fillReadSet(ReadSet& reads) {
  if (listenSocket_ != kInvalidSocket && !acceptPaused_) reads.add(listenSocket_);
  const size_t room = static_cast<size_t>(ReadSet::kCapacity - reads.count);
  if (clients_.size() <= room) {
    for (const auto& entry : clients_) reads.add(entry.second->socketHandle);
    return 1;
  }
  auto it = clients_.lower_bound(nextWatched_);
  for (size_t i = 0; i < room; ++i) {
    if (it == clients_.end()) it = clients_.begin();
    reads.add(it->second->socketHandle);
    ++it;
  }
  if (it == clients_.end()) it = clients_.begin();
  nextWatched_ = it->first;
  return static_cast<int>((clients_.size() + room - 1) / room);
}

void RemoteServer::run() {
  FormatOsVersion(osVersionText_);
  ReadServerVersion(serverVersionText_);
  logKept(LogLevel::Info, "serving: system windows %s, version %s", osVersionText_, serverVersionText_);
  while (running_ != 0) {
    AnswerThreadMessages();
    serveControls();
    const uint32_t now = TickCount();
    reopenMissingSockets(now);
    if (acceptPaused_ && static_cast<int32_t>(now - acceptResumeTick_) >= 0) acceptPaused_ = false;
    ReadSet reads;
    const int passesPerRound = fillReadSet(reads);
    long timeoutUs = kSelectTimeoutUs / passesPerRound;
    if (timeoutUs < kShortestSelectTimeoutUs) timeoutUs = kShortestSelectTimeoutUs;

    SocketHandle write = kInvalidSocket;
    if (discoverySocket_ != kInvalidSocket && DiscoveryDue(now, lastDiscoveryTick_)) write = discoverySocket_;

    bool readable[ReadSet::kCapacity];
    bool writable = false;
    const int result = SelectPass(reads, write, timeoutUs, readable, writable);
    // After the wait, before anything is read: bytes a phone sent after the
    // user allowed it (or unpaused) are never judged by an older answer.
    serveRosterRequests();
    connectionLog_.flush(TickCount64());
    if (result > 0) {
      const int listener = listenSocket_ != kInvalidSocket ? reads.find(listenSocket_) : -1;
      if (listener >= 0 && readable[listener]) acceptClient();
      bool phoneBytesWaited = false;
      for (auto it = clients_.begin(); it != clients_.end(); ++it) {
        ClientConnection& connection = *it->second;
        const int index = reads.find(connection.socketHandle);
        if (index < 0 || !readable[index]) continue;
        phoneBytesWaited = true;
        int error = 0;
        if (!receive(connection, error)) {
          // Later readable connections are served in the next pass; when
          // connections are watched in turns, that pass goes on from here.
          nextWatched_ = it->first + 1;
          dropClient(connection, DescribeConnectionEnd(error));
          break;
        }
      }
      // The broadcast waits for a pass in which no phone's bytes were
      // waiting, so that it never holds up a message; a phone that never
      // pauses delays it by a second at most.
      if (writable && platform.network &&
          (!phoneBytesWaited || TickCount() - lastDiscoveryTick_ >= 2 * kDiscoveryPeriodMs)) {
        lastDiscoveryTick_ = TickCount();
        SendDiscovery(discoverySocket_, *platform.network);
      }
    } else if (result < 0) {
      log(LogLevel::Error, "select failed (%d): pausing %u s", LastSocketError(),
          static_cast<unsigned>(kSelectFailurePauseMs / 1000));
      SleepMilliseconds(kSelectFailurePauseMs);
    }
  }
}

void RemoteServer::closeSockets() {
  if (listenSocket_ != kInvalidSocket) CloseSocket(listenSocket_);
  if (discoverySocket_ != kInvalidSocket) CloseSocket(discoverySocket_);
  listenSocket_ = kInvalidSocket;
  discoverySocket_ = kInvalidSocket;
}

void RemoteServer::serveControls() {
  const bool serving = serving_.load(std::memory_order_acquire);
  if (serving != servingSeen_) {
    servingSeen_ = serving;
    if (serving) {
      log(LogLevel::Info, "serving again: this session is on the screen");
      lastReopenTick_ = TickCount();
      openMissingSockets();
    } else {
      log(LogLevel::Info, "not serving while another session is on the screen: phones disconnected, ports closed");
      while (!clients_.empty()) dropClient(*clients_.begin()->second, "disconnected: the session left the screen");
      closeSockets();
    }
    reportPorts();
  }
  if (socketCheck_.exchange(false, std::memory_order_acq_rel) && serving) {
    // After sleep the network under a socket may have gone and come back:
    // a datagram socket costs nothing to make anew, and a listener that
    // reports an error is replaced.
    if (discoverySocket_ != kInvalidSocket) {
      CloseSocket(discoverySocket_);
      discoverySocket_ = kInvalidSocket;
    }
    if (listenSocket_ != kInvalidSocket && SocketError(listenSocket_) != 0) {
      log(LogLevel::Warning, "the listener failed while the computer slept: opening it again");
      CloseSocket(listenSocket_);
      listenSocket_ = kInvalidSocket;
    }
    openMissingSockets();
    reportPorts();
  }
}

void RemoteServer::reopenMissingSockets(uint32_t now) {
  if (!servingSeen_) return;
  const bool listenerMissing = listenSocket_ == kInvalidSocket;
  const bool discoveryMissing = platform.discoveryEnabled && discoverySocket_ == kInvalidSocket;
  if (!listenerMissing && !discoveryMissing) return;
  if (now - lastReopenTick_ < kReopenIntervalMs) return;
  lastReopenTick_ = now;
  openMissingSockets();
  reportPorts();
}

void RemoteServer::openMissingSockets() {
  if (listenSocket_ == kInvalidSocket) {
    listenSocket_ = CreateListener(listenAddress_);
    if (listenSocket_ == kInvalidSocket) listenError_ = LastSocketError();
  }
  if (platform.discoveryEnabled && discoverySocket_ == kInvalidSocket) {
    discoverySocket_ = CreateDiscoverySocket(DiscoveryBindAddress());
    if (discoverySocket_ == kInvalidSocket) discoveryError_ = LastSocketError();
  }
}

void RemoteServer::reportPorts() {
  const bool listening = listenSocket_ != kInvalidSocket;
  const bool announcing = discoverySocket_ != kInvalidSocket;
  const int ports = (listening ? 1 : 0) | (announcing ? 2 : 0);
  if (ports == reportedPorts_) return;
  // The first report only when something is missing; every change after it.
  const unsigned tcpPort = ntohs(listenAddress_.sin_port);
  if (listening && (reportedPorts_ < 0 || (reportedPorts_ & 1) == 0)) logKept(LogLevel::Info, "TCP port %u: listening", tcpPort);
  if (!listening && (reportedPorts_ < 0 || (reportedPorts_ & 1) != 0))
    log(LogLevel::Warning, "TCP port %u %s (error %d): trying again every 2 s", tcpPort, DescribeOpenFailure(listenError_),
        listenError_);
  if (platform.discoveryEnabled) {
    if (announcing && (reportedPorts_ < 0 || (reportedPorts_ & 2) == 0))
      logKept(LogLevel::Info, "UDP port %u: announcing", static_cast<unsigned>(kDiscoveryPort));
    if (!announcing && (reportedPorts_ < 0 || (reportedPorts_ & 2) != 0))
      log(LogLevel::Warning, "UDP port %u %s (error %d): trying again every 2 s", static_cast<unsigned>(kDiscoveryPort),
          DescribeOpenFailure(discoveryError_), discoveryError_);
  }
  reportedPorts_ = ports;
  if (platform.ui) platform.ui->reportPorts(listening, announcing);
}

void RemoteServer::acceptClient() {
  sockaddr_in peer{};
  socklen_t size = sizeof peer;
  const SocketHandle s = accept(listenSocket_, reinterpret_cast<sockaddr*>(&peer), &size);
  if (s == kInvalidSocket) {
    // Out of handles or memory, the listener stays readable and every accept
    // fails at once: leave it out of a few passes instead of spinning. A
    // peer that left before it was taken costs nothing, and the next
    // connection is tried at once, unless accepts keep failing that way too.
    const AcceptFailure failure = LastAcceptFailure();
    if (failure == AcceptFailure::NothingPending) return;
    if (failure == AcceptFailure::Other || lastAcceptFailed_) {
      if (!acceptPaused_) log(LogLevel::Warning, "accept failed (%d): pausing the listener", LastSocketError());
      acceptPaused_ = true;
      acceptResumeTick_ = TickCount() + kAcceptPauseMs;
    }
    lastAcceptFailed_ = true;
    return;
  }
  lastAcceptFailed_ = false;
#ifndef _WIN32
  // Winsock hands the listener's non-blocking mode on to accepted sockets;
  // BSD sockets do not.
  SetNonBlocking(s);
#endif
  SetIntOption(s, IPPROTO_TCP, TCP_NODELAY, 1);
  EnableKeepAlive(s, kKeepAliveIdleMs, kKeepAliveIntervalMs, kKeepAliveProbes);
  if (IsSocketError(RequestQuickAcks(s)) && !quickAckFailureLogged_) {
    quickAckFailureLogged_ = true;
    log(LogLevel::Warning, "immediate acknowledgements could not be asked for (%d): a phone's motion may come in bursts",
        LastSocketError());
  }

  // Without memory for its record the one connection is refused, not the
  // process ended.
  const uint32_t peerAddress = peer.sin_addr.s_addr;
  const Ipv4Text address(peerAddress);
  ClientConnection* connection = nullptr;
  try {
    connection = &addConnection(s, peerAddress);
  } catch (const std::bad_alloc&) {
    CloseSocket(s);
    log(LogLevel::Error, "phone %s refused: out of memory", address.text);
    return;
  }
  connection->quietLog = !connectionLog_.connected(peerAddress, TickCount64());
  SendGreeting(s, osVersionText_, serverVersionText_);
  logPhone(*connection, "phone %s connected (%zu connected)", address.text, clients_.size());
  admit(*connection);
}

bool RemoteServer::admit(ClientConnection& connection) {
  if (platform.roster == nullptr) return true;
  const Ipv4Text address(connection.peerAddress);
  switch (platform.roster->connected(connection.id, connection.peerAddress, TickCount64())) {
    case Admission::Verdict::Allow:
      if (platform.roster->askFirst()) logPhone(connection, "phone %s allowed: on the allow list", address.text);
      return true;
    case Admission::Verdict::Wait:
      connection.admitted = false;
      logPhone(connection, "phone %s waits for the user to allow it: its input is ignored", address.text);
      return true;
    case Admission::Verdict::Refuse:
      dropClient(connection, "refused: this address was denied");
      return false;
    case Admission::Verdict::RefuseAddressWaits:
      dropClient(connection, "refused: this address already waits");
      return false;
    case Admission::Verdict::RefuseFull:
      break;
  }
  dropClient(connection, fullReason_);
  return false;
}

ClientConnection* RemoteServer::findPhone(PhoneId id) {
  for (auto& entry : clients_)
    if (entry.second->id == id) return entry.second.get();
  return nullptr;
}

void RemoteServer::serveRosterRequests() {
  if (platform.roster == nullptr) return;
  const bool paused = platform.roster->paused();
  if (paused != pausedSeen_) {
    pausedSeen_ = paused;
    log(LogLevel::Info, paused ? "input from phones paused" : "input from phones resumed");
  }
  platform.roster->expireWaiting(TickCount64());
  if (!platform.roster->takeRequests(rosterRequests_)) return;
  // Released before anything else: a phone closed below lets go of its own.
  if (rosterRequests_.releaseHeld)
    for (auto& entry : clients_) releaseHeld(*entry.second);
  for (const PhoneId id : rosterRequests_.admit) {
    ClientConnection* connection = findPhone(id);
    if (connection == nullptr || connection->admitted) continue;
    connection->admitted = true;
    logPhone(*connection, "phone %s allowed", Ipv4Text(connection->peerAddress).text);
  }
  // Ids of connections that ended meanwhile find nothing.
  auto end = [this](const std::vector<PhoneId>& ids, const char* why) {
    for (const PhoneId id : ids)
      if (ClientConnection* connection = findPhone(id)) dropClient(*connection, why);
  };
  end(rosterRequests_.close, "disconnected from the tray menu");
  end(rosterRequests_.denied, "denied");
  end(rosterRequests_.unanswered, "not answered");
}

ClientConnection& RemoteServer::addConnection(SocketHandle socket, uint32_t peerAddress) {
  auto record = std::make_unique<ClientConnection>();
  record->socketHandle = socket;
  record->peerAddress = peerAddress;
  record->id = ++lastPhoneId_;
  auto [entry, added] = clients_.try_emplace(static_cast<uint32_t>(socket), std::move(record));
  (void)added;  // a handle is never registered twice: the system does not hand it out again while open
  return *entry->second;
}

void RemoteServer::releaseHeld(ClientConnection& connection) {
  if (connection.held.count == 0) return;
  // Letting go of the key that holds the window switcher open closes it;
  // letting go of the other one (another phone's) does not.
  const bool composition = desktop().compositionEnabled();
  if (switcherActive && connection.held.holds(SwitcherKey(composition)))
    switcherActive = false;
  ClientConnection* previous = injector.current;
  injector.current = nullptr;
  Keyboard keyboard(injector, desktop());
  connection.held.releaseAll(keyboard);
  injector.current = previous;
}

void RemoteServer::dropClient(ClientConnection& connection, const char* why) {
  releaseHeld(connection);
  const SocketHandle s = connection.socketHandle;
  const Ipv4Text address(connection.peerAddress);
  const PhoneId id = connection.id;
  const bool quiet = connection.quietLog;
  const uint32_t peerAddress = connection.peerAddress;
  CloseSocket(s);
  clients_.erase(static_cast<uint32_t>(s));
  if (platform.roster) platform.roster->disconnected(id);
  if (!networked_) return;
  if (quiet)
    connectionLog_.closedQuietly(peerAddress, why);
  else
    log(LogLevel::Info, "phone %s %s (%zu connected)", address.text, why, clients_.size());
}

}  // namespace tavrin
