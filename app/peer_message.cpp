#include "app/peer_message.h"

#include "net/remote_server.h"

namespace tavrin {

bool ParsePeerMessage(const char*, char (&)[kPeerTitleCapacity], char (&)[kPeerTargetCapacity]) { return false; }
void RemoteServer::handlePeerMessage(const char*) {}

}  // namespace tavrin
