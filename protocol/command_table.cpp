#include "protocol/command_table.h"

#include "net/remote_server.h"

namespace tavrin {

const TextCommand kTextCommands[42] = {};
bool DispatchTextLine(RemoteServer&, const char*) { return false; }
int RemoteServer::handleTextLine(ClientConnection&) { return 1; }

}  // namespace tavrin
