#include "net/remote_server.h"

namespace tavrin {

char osVersionText[64] = "6.0";
char serverVersionText[64] = "1.2.0.3";

RemoteServer::RemoteServer(WindowHandle window, const wchar_t*, uint16_t, const Platform& p)
    : mainWindow(window), platform(p) {}
RemoteServer::~RemoteServer() {}
uint16_t RemoteServer::boundPort() const { return 0; }
unsigned RemoteServer::workerMain(void*) { return 0; }
void RemoteServer::run() {}
void RemoteServer::acceptClient() {}
int RemoteServer::closeClient(ClientConnection&) { return 0; }
void RemoteServer::dropClient(ClientConnection*) {}
void RemoteServer::handleKeyMessage(ClientConnection&, const char*, int32_t) {}
int RemoteServer::handleMouseMessage(ClientConnection&, const char*, int32_t) { return 0; }
void RemoteServer::stepWheel(int32_t) {}
void RemoteServer::stepHorizontalWheel(int32_t) {}
void RemoteServer::flushWheel() {}
SocketHandle CreateListener(const sockaddr_in&) { return kInvalidSocket; }
void FormatOsVersion(char (&)[64]) {}
void ReadServerVersion(char (&)[64]) {}

}  // namespace tavrin
