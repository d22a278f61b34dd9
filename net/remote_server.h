// The network server: listener, discovery socket, connected phones and the
// one worker thread that serves them all.
#pragma once
#include <atomic>
#include <cstdint>
#include <map>
#include <set>
#include <string>

#include "actions/desktop.h"
#include "app/peer_message.h"
#include "app/user_interface.h"
#include "input/injector.h"
#include "net/client_connection.h"
#include "net/network_info.h"
#include "net/read_set.h"
#include "net/socket_compat.h"

namespace tavrin {

using WindowHandle = void*;

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
// implementations; tests pass recording fakes. All of them must outlive the server.
struct Platform {
  Injector* injector = nullptr;
  Desktop* desktop = nullptr;
  UserInterface* ui = nullptr;
  NetworkInfo* network = nullptr;
  // The discovery datagrams go to 255.255.255.255 and every local network's
  // broadcast address, port 2008. Tests that run the real loop on a
  // development machine would announce themselves to the real network, so they
  // switch the discovery socket off; the product always leaves this on.
  bool discoveryEnabled = true;
  // Optional; set before the server starts.
  MessageObserver* observer = nullptr;
};

// Greeting texts, written by the worker at the start of its loop.
extern char osVersionText[64];
extern char serverVersionText[64];

class RemoteServer;

// Passes every event on to the real injector and keeps each connection's
// record of what it holds down (see HeldInput).
class TrackingInjector final : public Injector {
 public:
  TrackingInjector(RemoteServer& server) : server_(server) {}
  bool key(uint16_t virtualKey, uint16_t scanCode, uint32_t flags) override;
  bool mouse(int32_t dx, int32_t dy, int32_t mouseData, uint32_t flags) override;
  ClientConnection* current = nullptr;  // the connection whose message is being handled

 private:
  RemoteServer& server_;
};

class RemoteServer {
 public:
  RemoteServer(WindowHandle mainWindow, const wchar_t* bindAddress, uint16_t port, const Platform& platform);
  // A server without sockets and without a worker: its framing and handlers
  // are driven directly through feed() (unit tests, fuzzing, benchmarks).
  explicit RemoteServer(const Platform& platform);
  ~RemoteServer();
  // Asks the worker to end and waits up to `timeoutMs` (kWaitForever: no limit)
  // for it, answering the messages the worker sends to this thread meanwhile.
  // False when the worker is still inside a call into another program that
  // does not return (an automation server, a window); the server must then
  // never be destroyed, and the caller ends the process instead. The native
  // build always waits for the worker.
  bool stop(uint32_t timeoutMs);
  static constexpr uint32_t kWaitForever = 0xFFFFFFFFu;
  RemoteServer(const RemoteServer&) = delete;
  RemoteServer& operator=(const RemoteServer&) = delete;

  // Fields, in the documented order.
  SocketHandle listenSocket = kInvalidSocket;
  SocketHandle discoverySocket = kInvalidSocket;
  uint32_t lastDiscoveryTick = 0;
  // The worker thread (an opaque handle; -1 when not started).
  intptr_t workerThread = -1;
  std::atomic<int32_t> running{0};
  // Set when the program stops, before the worker is waited for: a long
  // action (typing a long line into a window that is not a Unicode window)
  // and the framing loop end early instead of holding up the stop.
  std::atomic<bool> stopRequested{false};
  std::map<uint32_t, ClientConnection*> clients;
  WindowHandle mainWindow = nullptr;
  int32_t wheelAccumulator = 0;
  int32_t horizontalWheelAccumulator = 0;

  // With more connections than one select can watch, the lowest handle of the
  // next pass's share (see fillReadSet).
  uint32_t nextWatched = 0;

  // Worker-owned state of the actions.
  bool switcherActive = false;
  PeerTitleSet seenPeerTitles;

  Platform platform;
  TrackingInjector injector{*this};

  // The port the listener is bound to (useful when constructed with port 0).
  uint16_t boundPort() const;

  static unsigned workerMain(void* server);
  void run();
  // Puts the listener (while it is open and accepting) and the connections of
  // this pass into the read set; returns how many passes it takes to watch
  // every connection once (see the comment at its definition).
  int fillReadSet(ReadSet& reads);
  void acceptClient();
  int closeClient(ClientConnection& connection);
  // Ends a connection: releases what it holds, closes it, frees the record.
  void dropClient(ClientConnection* connection);

  // Framing (connections and messages).
  int receive(ClientConnection& connection);
  // What receive does once bytes have arrived, with the bytes given instead of
  // read from the socket (at most what the buffer has room for after the
  // full-buffer discard). Returns the number of bytes taken.
  int32_t feed(ClientConnection& connection, const char* bytes, int32_t count);
  int processBuffer(ClientConnection& connection);
  int handleFrame(ClientConnection& connection);
  int handleTextLine(ClientConnection& connection);  // the text command table
  static void consume(ClientConnection& connection, int32_t count);

  // Handlers.
  void handleKeyMessage(ClientConnection& connection, const char* payload, int32_t length);
  int handleMouseMessage(ClientConnection& connection, const char* payload, int32_t length);
  void stepWheel(int32_t value);
  void stepHorizontalWheel(int32_t value);
  void flushWheel();
  void handlePeerMessage(const char* line);

 private:
  void start(const wchar_t* bindAddress, uint16_t port);
  // Tries again to open the listener and the discovery socket if one is
  // missing (another program held its port), and tells the user interface
  // when what is open changes.
  void reopenMissingSockets(uint32_t now);
  void reportPorts();
  // Releases what the connection still holds down, newest first.
  void releaseHeld(ClientConnection& connection);
  void afterReceive(ClientConnection& connection);
  bool networked_ = false;  // constructed to serve the network
  sockaddr_in listenAddress_{};
  uint32_t lastReopenTick_ = 0;
  // After an accept failure that would repeat at once (out of handles), the
  // listener is left out of the read set until this tick.
  bool acceptPaused_ = false;
  uint32_t acceptResumeTick_ = 0;
  bool lastAcceptFailed_ = false;  // the previous accept failed (not for want of a connection)
  int reportedPorts_ = -1;  // what reportPorts last told, -1 before the first report
};

SocketHandle CreateListener(const sockaddr_in& address);
void FormatOsVersion(char (&text)[64]);
void ReadServerVersion(char (&text)[64]);
// Copies a FileVersion value (`length` characters) into a greeting text with
// every comma turned into a dot; cut to fit.
void CopyVersionText(char (&text)[64], const char* value, uint32_t length);

}  // namespace tavrin
