#include "net/remote_server.h"

namespace tavrin {

int RemoteServer::receive(ClientConnection&) { return 0; }
int RemoteServer::processBuffer(ClientConnection&) { return 0; }
int RemoteServer::handleFrame(ClientConnection&) { return 0; }
void RemoteServer::consume(ClientConnection&, int32_t) {}

}  // namespace tavrin
