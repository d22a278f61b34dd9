#include "server/connections.h"

#include <cstdio>

#include "base/ipv4_text.h"
#include "seams/system.h"
#include "server/greeting.h"

namespace tavrin {

ConnectionTable::ConnectionTable(const Platform& platform, MessageHandler& handler)
    : platform_(platform), handler_(handler) {
  std::snprintf(fullReason_, sizeof fullReason_, "refused: %u phones already wait",
                static_cast<unsigned>(Admission::kWaitingCapacity));
}

ClientConnection& ConnectionTable::add(unique_socket socket, uint32_t peerAddress) {
  const auto key = static_cast<uint32_t>(socket.get());
  auto record = std::make_unique<ClientConnection>(platform_.injector, std::move(socket), peerAddress, ++lastPhoneId_,
                                                   &board_);
  auto [entry, added] = clients_.try_emplace(key, std::move(record));
  (void)added;  // a handle is never registered twice: the system does not hand it out again while open
  return *entry->second;
}

void ConnectionTable::accepted(unique_socket socket, uint32_t peerAddress, const char* osVersion,
                               const char* serverVersion) {
  // Without memory for its record the one connection is refused (its socket
  // closed by its owner), not the process ended.
  const Ipv4Text address(peerAddress);
  ClientConnection* connection = nullptr;
  try {
    connection = &add(std::move(socket), peerAddress);
  } catch (const std::bad_alloc&) {
    platform_.write(LogLevel::Error, "phone %s refused: out of memory", address.text);
    return;
  }
  connection->quietLog = !connectionLog_.connected(peerAddress, TickCount64());
  SendGreeting(connection->socket.get(), osVersion, serverVersion);
  logPhone(*connection, "phone %s connected (%zu connected)", address.text, clients_.size());
  admit(*connection);
}

void ConnectionTable::admit(ClientConnection& connection) {
  if (platform_.roster == nullptr) return;
  const Ipv4Text address(connection.peerAddress);
  switch (platform_.roster->connected(connection.id, connection.peerAddress, TickCount64(),
                                        !connection.quietLog)) {
    case Admission::Verdict::Allow:
      if (platform_.roster->askFirst()) logPhone(connection, "phone %s allowed: on the allow list", address.text);
      return;
    case Admission::Verdict::Wait:
      connection.admitted = false;
      logPhone(connection, "phone %s waits for the user to allow it: its input is ignored", address.text);
      return;
    case Admission::Verdict::Refuse: return drop(connection, "refused: this address was denied");
    case Admission::Verdict::RefuseAddressWaits: return drop(connection, "refused: this address already waits");
    case Admission::Verdict::RefuseFull: break;
  }
  drop(connection, fullReason_);
}

void ConnectionTable::drop(ClientConnection& connection, const char* why) {
  handler_.releaseHeld(connection);
  const Ipv4Text address(connection.peerAddress);
  const PhoneId id = connection.id;
  const bool quiet = connection.quietLog;
  const uint32_t peerAddress = connection.peerAddress;
  clients_.erase(static_cast<uint32_t>(connection.socket.get()));  // closes the socket
  if (platform_.roster) platform_.roster->disconnected(id);
  if (quiet)
    connectionLog_.closedQuietly(peerAddress, why, TickCount64());
  else
    platform_.write(LogLevel::Info, "phone %s %s (%zu connected)", address.text, why, clients_.size());
}

void ConnectionTable::dropAll(const char* why) {
  while (!clients_.empty()) drop(*clients_.begin()->second, why);
}

void ConnectionTable::closeAll() {
  for (auto& entry : clients_) handler_.releaseHeld(*entry.second);
  for (auto& entry : clients_)
    if (platform_.roster) platform_.roster->disconnected(entry.second->id);
  clients_.clear();
  connectionLog_.flushAll();
}

ClientConnection* ConnectionTable::find(PhoneId id) {
  for (auto& entry : clients_)
    if (entry.second->id == id) return entry.second.get();
  return nullptr;
}

void ConnectionTable::serveRosterRequests() {
  if (platform_.roster == nullptr) return;
  const bool paused = platform_.roster->paused();
  if (paused != pausedSeen_) {
    pausedSeen_ = paused;
    platform_.write(LogLevel::Info, paused ? "input from phones paused" : "input from phones resumed");
  }
  platform_.roster->expireWaiting(TickCount64());
  if (!platform_.roster->takeRequests(rosterRequests_)) return;
  // Released before anything else: a phone closed below lets go of its own.
  if (rosterRequests_.releaseHeld)
    for (auto& entry : clients_) handler_.releaseHeld(*entry.second);
  for (const PhoneId id : rosterRequests_.admit) {
    ClientConnection* connection = find(id);
    if (connection == nullptr || connection->admitted) continue;
    connection->admitted = true;
    logPhone(*connection, "phone %s allowed", Ipv4Text(connection->peerAddress).text);
  }
  // Ids of connections that ended meanwhile find nothing.
  auto end = [this](const std::vector<PhoneId>& ids, const char* why) {
    for (const PhoneId id : ids)
      if (ClientConnection* connection = find(id)) drop(*connection, why);
  };
  end(rosterRequests_.close, "disconnected from the tray menu");
  end(rosterRequests_.denied, "denied");
  end(rosterRequests_.unanswered, "not answered");
}

// When the connections do not all fit beside the listener (64 handles in all,
// the limit of a Winsock select, kept on every system), each pass watches the
// next share of them, going round from where the previous pass stopped: every
// connection is read within a few passes, however many others stay open and
// silent.
int ConnectionTable::watch(ReadSet& reads) {
  const size_t room = static_cast<size_t>(ReadSet::kCapacity - reads.count);
  if (clients_.size() <= room) {
    for (const auto& entry : clients_) reads.add(entry.second->socket.get());
    return 1;
  }
  auto it = clients_.lower_bound(nextWatched_);
  for (size_t i = 0; i < room; ++i) {
    if (it == clients_.end()) it = clients_.begin();
    reads.add(it->second->socket.get());
    ++it;
  }
  if (it == clients_.end()) it = clients_.begin();
  nextWatched_ = it->first;
  return static_cast<int>((clients_.size() + room - 1) / room);
}

bool ConnectionTable::receiveReadable(const ReadSet& reads, const bool (&readable)[ReadSet::kCapacity]) {
  bool any = false;
  for (auto it = clients_.begin(); it != clients_.end();) {
    ClientConnection& connection = *it->second;
    const uint32_t key = it->first;
    const int index = reads.find(connection.socket.get());
    ++it;
    if (index < 0 || !readable[index]) continue;
    any = true;
    int error = 0;
    // Every connection found ready is read in this pass, also after one
    // ends: one left over would wait for the next pass.
    if (!handler_.receive(connection, error)) {
      drop(connection, DescribeConnectionEnd(error));
      it = clients_.upper_bound(key);
    }
  }
  return any;
}

}  // namespace tavrin
