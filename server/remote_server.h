// The network server: listener, discovery socket, connected phones and the
// one worker thread that serves them all. The work is split by what it does:
//   remote_server.cpp       start, stop and the socket loop (accept, select, drop)
//   connection_framing.cpp  a connection's bytes cut into messages
//   message_dispatch.cpp    key, mouse and text messages to their handlers
//   held_input_tracking.cpp what each phone holds down, released when it goes
//   greeting.cpp, sockets.cpp, discovery.cpp  the socket calls themselves
#pragma once
#include <atomic>
#include <cstdint>
#include <map>
#include <memory>

#include "actions/peer_message.h"
#include "base/log.h"
#include "seams/desktop.h"
#include "seams/injector.h"
#include "seams/network_info.h"
#include "seams/system.h"
#include "seams/user_interface.h"
#include "server/client_connection.h"
#include "server/connection_log.h"
#include "server/read_set.h"
#include "server/socket_compat.h"
#include "shell/elevation_notice.h"
#include "shell/phone_roster.h"

namespace tavrin {

// Sees every message the framing loop hands on, before its handler runs:
// kind 'k' (key frame), 'm' (mouse frame) or 't' (text line, without its
// newline). Tests and the fuzzer use it to check the framing on its own; the
// product leaves it unset.
class MessageObserver {
 public:
  virtual ~MessageObserver() = default;
  virtual void onMessage(char kind, const char* payload, int32_t length) = 0;
};

// Where the worker's effects leave the program. The product passes its Win32
// implementations; tests pass recording fakes; a missing one does nothing.
// All of them must outlive the server.
struct Platform {
  Injector* injector = nullptr;
  Desktop* desktop = nullptr;
  UserInterface* ui = nullptr;
  NetworkInfo* network = nullptr;
  Log* log = nullptr;
  // The discovery datagrams go to 255.255.255.255 and every local network's
  // broadcast address, port 2008. Tests that run the real loop on a
  // development machine would announce themselves to the real network, so they
  // switch the discovery socket off; the product always leaves this on.
  bool discoveryEnabled = true;
  // Optional; set before the server starts.
  MessageObserver* observer = nullptr;
  // Who is connected, and the user's say over them (disconnect, pause, ask
  // before a new phone). Without one every phone's input has effect.
  PhoneRoster* roster = nullptr;
};

class RemoteServer;

// Passes every event on to the real injector and keeps each connection's
// record of what it holds down (see HeldInput).
class TrackingInjector final : public Injector {
 public:
  explicit TrackingInjector(RemoteServer& server) : server_(server) {}
  bool key(uint16_t virtualKey, uint16_t scanCode, uint32_t flags) override;
  bool mouse(int32_t dx, int32_t dy, int32_t mouseData, uint32_t flags) override;
  // Characters hold nothing down: the run goes to the real injector whole.
  int32_t text(const uint16_t* units, int32_t count) override;
  ClientConnection* current = nullptr;  // the connection whose message is being handled

 private:
  void releaseEverywhere(uint16_t entry);
  RemoteServer& server_;
};

class RemoteServer {
 public:
  // Opens the listener on `bindAddress`:`port` (port 0: any free one) and the
  // discovery socket, and starts the worker. A port another program holds is
  // tried again every 2 s; the user interface hears what is open.
  RemoteServer(const wchar_t* bindAddress, uint16_t port, const Platform& platform);
  // A server without sockets and without a worker: its framing and handlers
  // are driven directly through feed() (unit tests, fuzzing, benchmarks).
  explicit RemoteServer(const Platform& platform);
  ~RemoteServer();
  RemoteServer(const RemoteServer&) = delete;
  RemoteServer& operator=(const RemoteServer&) = delete;

  // Asks the worker to end and waits up to `timeoutMs` (kWaitForever: no limit)
  // for it, answering the messages the worker sends to this thread meanwhile.
  // False when the worker is still inside a call into another program that
  // does not return (an automation server, a window); the server must then
  // never be destroyed, and the caller ends the process instead. The native
  // build always waits for the worker.
  bool stop(uint32_t timeoutMs);
  static constexpr uint32_t kWaitForever = WorkerThread::kForever;

  // The port the listener is bound to (useful when constructed with port 0).
  uint16_t boundPort() const;

  // What receive does once bytes have arrived, with the bytes given instead of
  // read from the socket (at most what the buffer has room for after the
  // full-buffer discard). Returns the number of bytes taken.
  int32_t feed(ClientConnection& connection, const char* bytes, int32_t count);
  // Takes the first text line off the connection's buffer and runs its
  // command; returns the bytes taken (0: no complete line yet).
  int32_t handleTextLine(ClientConnection& connection);

  // Registers a connection on an open socket as an accepted one is (without
  // the greeting and without asking the roster); the server owns the record
  // and closes the socket.
  ClientConnection& addConnection(SocketHandle socket, uint32_t peerAddress = 0);
  // Ends a connection: releases what it holds, closes it, tells the roster,
  // frees the record; `why` goes to the log.
  void dropClient(ClientConnection& connection, const char* why = "disconnected");
  // Carries out what the user asked of the roster since the last pass
  // (close, admit, release everything held) and notes pausing and resuming.
  // The loop calls it once per pass.
  void serveRosterRequests();
  size_t connectionCount() const { return clients_.size(); }

  // Any thread. Off: every phone's connection ends (what it holds is
  // released) and the listener and discovery socket close, so that the copy
  // of this program in the session now on the screen can take the ports; on:
  // they open again (a port still held is tried every 2 s). The worker
  // carries it out at its next pass.
  void setServing(bool serving) { serving_.store(serving, std::memory_order_release); }
  // Any thread, after the computer wakes: the discovery socket is made anew
  // and a listener that reports an error is opened again.
  void checkSockets() { socketCheck_.store(true, std::memory_order_release); }

  // Worker-owned state that tests drive directly.
  Platform platform;
  TrackingInjector injector{*this};
  bool switcherActive = false;

 private:
  friend class TrackingInjector;

  void start(const wchar_t* bindAddress, uint16_t port);
  static void workerMain(void* server);
  void run();
  int fillReadSet(ReadSet& reads);
  void acceptClient();
  // Tries again to open the listener and the discovery socket if one is
  // missing (another program held its port), and tells the user interface
  // when what is open changes.
  void reopenMissingSockets(uint32_t now);
  void reportPorts();
  void openMissingSockets();
  // Carries out setServing() and checkSockets() (once per pass).
  void serveControls();
  void closeSockets();
  // Releases what the connection still holds down, newest first.
  void releaseHeld(ClientConnection& connection);
  // Asks the roster about a greeted phone: it is allowed, waits for the user,
  // or is closed. False when it was closed.
  bool admit(ClientConnection& connection);
  ClientConnection* findPhone(PhoneId id);

  // The platform's desktop, or one where nothing is there (tests, benchmarks).
  Desktop& desktop() { return platform.desktop ? *platform.desktop : noDesktop_; }

  template <typename... Args>
  void log(LogLevel level, const char* format, Args... args) {
    if (platform.log) platform.log->write(level, format, args...);
  }
  // A line that says what this run is: the log begins each new file with it.
  template <typename... Args>
  void logKept(LogLevel level, const char* format, Args... args) {
    if (platform.log) platform.log->writeKept(level, format, args...);
  }

  // Framing (connection_framing.cpp). Reads what has arrived and handles it;
  // false when the connection has ended, with the socket error (0 when the
  // phone closed it).
  bool receive(ClientConnection& connection, int& error);
  void afterReceive(ClientConnection& connection);
  void processBuffer(ClientConnection& connection);
  int32_t handleFrame(ClientConnection& connection, bool effective);
  // Takes the first text line off the buffer without running it.
  int32_t dropTextLine(ClientConnection& connection);
  // Whether the connection's next message has effect: the phone is allowed
  // and input is not paused.
  bool inputHasEffect(const ClientConnection& connection) const {
    return connection.admitted && (platform.roster == nullptr || !platform.roster->paused());
  }
  // Before a phone's message has effect: tells the user once per foreground
  // window that Windows will drop the input (the window runs elevated and
  // this program does not).
  void noticeElevatedWindow();

  // Dispatch (message_dispatch.cpp).
  void handleKeyMessage(const char* payload, int32_t length);
  void handleMouseMessage(const char* payload, int32_t length);
  void flushWheel();

  SocketHandle listenSocket_ = kInvalidSocket;
  SocketHandle discoverySocket_ = kInvalidSocket;
  uint32_t lastDiscoveryTick_ = 0;
  WorkerThread worker_;
  std::atomic<int32_t> running_{0};
  // Set when the program stops, before the worker is waited for: a long
  // action (typing a long line into a window that is not a Unicode window)
  // and the framing loop end early instead of holding up the stop.
  std::atomic<bool> stopRequested_{false};
  std::atomic<bool> serving_{true};
  bool servingSeen_ = true;  // what the worker last carried out
  std::atomic<bool> socketCheck_{false};
  // Connected phones in ascending handle order; each record owned here.
  std::map<uint32_t, std::unique_ptr<ClientConnection>> clients_;
  int32_t wheelAccumulator_ = 0;
  int32_t horizontalWheelAccumulator_ = 0;
  // With more connections than one select can watch, the lowest handle of the
  // next pass's share (see fillReadSet).
  uint32_t nextWatched_ = 0;
  PeerTitleSet seenPeerTitles_;
  // Stand in for a missing desktop or user interface.
  NullDesktop noDesktop_;
  NullUserInterface noInterface_;
  PhoneId lastPhoneId_ = 0;
  ConnectionLogGate connectionLog_{platform.log};
  char fullReason_[48] = {};  // "refused: 16 phones already wait"
  // The log line of a phone's connection, its admission or its end, unless
  // its address connects too often to log each one.
  template <typename... Args>
  void logPhone(const ClientConnection& connection, const char* format, Args... args) {
    if (!connection.quietLog) log(LogLevel::Info, format, args...);
  }
  WorkerRequests rosterRequests_;  // reused: nothing allocated once grown
  bool pausedSeen_ = false;        // what the log last said about pausing
  ElevationNotice elevationNotice_;
  int8_t selfElevated_ = -1;       // asked once: -1 not yet, else 0 or 1
  // The greeting's texts, read by the worker when it starts.
  char osVersionText_[64] = "6.0";
  char serverVersionText_[64] = {};

  bool networked_ = false;  // constructed to serve the network
  sockaddr_in listenAddress_{};
  uint32_t lastReopenTick_ = 0;
  // After an accept failure that would repeat at once (out of handles), the
  // listener is left out of the read set until this tick.
  bool acceptPaused_ = false;
  uint32_t acceptResumeTick_ = 0;
  bool lastAcceptFailed_ = false;
  bool quickAckFailureLogged_ = false;  // the previous accept failed (not for want of a connection)
  int reportedPorts_ = -1;  // what reportPorts last told, -1 before the first report
  int listenError_ = 0;     // why the listener last failed to open
  int discoveryError_ = 0;  // why the discovery socket last failed to open
};

}  // namespace tavrin
