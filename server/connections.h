// The connected phones: the ordered map from socket handle to connection,
// their admission by the roster, what the user asks of them from the tray,
// and their log lines.
#pragma once
#include <cstdint>
#include <map>
#include <memory>

#include "server/client_connection.h"
#include "server/connection_log.h"
#include "server/message_handler.h"
#include "server/platform.h"
#include "server/read_set.h"

namespace tavrin {

class ConnectionTable {
 public:
  // `handler` lets go of what a connection holds when it ends.
  ConnectionTable(const Platform& platform, MessageHandler& handler);
  // Lets go of everything every phone holds, then ends every connection.
  ~ConnectionTable() { closeAll(); }

  // Registers a connection on an open socket as an accepted one is (without
  // the greeting and without asking the roster).
  ClientConnection& add(unique_socket socket, uint32_t peerAddress = 0);
  // A phone the listener took: registered, greeted and put to the roster.
  void accepted(unique_socket socket, uint32_t peerAddress, const char* osVersion, const char* serverVersion);
  // Ends a connection: releases what it holds, closes it, tells the roster,
  // frees the record; `why` goes to the log.
  void drop(ClientConnection& connection, const char* why = "disconnected");
  void dropAll(const char* why);
  // As dropAll, without log lines, for the end of the server: every release
  // looks at every record, so all of them stay until nothing is held.
  void closeAll();
  size_t size() const { return clients_.size(); }

  // Carries out what the user asked of the roster since the last pass
  // (close, admit, release everything held) and notes pausing and resuming.
  void serveRosterRequests();
  // Adds this pass's share of the connections to `reads`; returns the number
  // of passes a round takes (1 when all fit).
  int watch(ReadSet& reads);
  // Reads every connection marked readable; true when one was.
  bool receiveReadable(const ReadSet& reads, const bool (&readable)[ReadSet::kCapacity]);
  void flushLog(uint64_t nowMs) { connectionLog_.flush(nowMs); }

 private:
  // Asks the roster about a greeted phone: it is allowed, waits for the
  // user, or is closed.
  void admit(ClientConnection& connection);
  ClientConnection* find(PhoneId id);
  // The log line of a phone's connection, its admission or its end, unless
  // its address connects too often to log each one.
  template <typename... Args>
  void logPhone(const ClientConnection& connection, const char* format, Args... args) {
    if (!connection.quietLog) platform_.write(LogLevel::Info, format, args...);
  }

  Platform platform_;
  MessageHandler& handler_;
  HeldInputBoard board_;
  // Connected phones in ascending handle order; each record owned here.
  std::map<uint32_t, std::unique_ptr<ClientConnection>> clients_;
  // With more connections than one select can watch, the lowest handle of the
  // next pass's share (see watch).
  uint32_t nextWatched_ = 0;
  PhoneId lastPhoneId_ = 0;
  ConnectionLogGate connectionLog_{platform_.log};
  char fullReason_[48] = {};       // "refused: 16 phones already wait"
  WorkerRequests rosterRequests_;  // reused: nothing allocated once grown
  bool pausedSeen_ = false;        // what the log last said about pausing
};

}  // namespace tavrin
