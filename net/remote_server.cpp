#include "net/remote_server.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>

#include "actions/window_actions.h"
#include "net/discovery.h"
#include "net/version_text.h"

#ifdef _WIN32
#include <windows.h>
#include <objbase.h>
#include <process.h>
#else
#include <pthread.h>
#include <sys/utsname.h>
#include <time.h>
#endif

namespace tavrin {

char osVersionText[64] = "6.0";
char serverVersionText[64] = "1.2.0.3";

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
constexpr unsigned kWorkerStackBytes = 0x40000;
constexpr int kListenBacklog = 5;

uint32_t TickCount() {
#ifdef _WIN32
  return GetTickCount();
#else
  timespec now{};
  clock_gettime(CLOCK_MONOTONIC, &now);
  return static_cast<uint32_t>(static_cast<uint64_t>(now.tv_sec) * 1000u + static_cast<uint64_t>(now.tv_nsec) / 1000000u);
#endif
}

void SleepMilliseconds(uint32_t milliseconds) {
#ifdef _WIN32
  Sleep(milliseconds);
#else
  timespec left{static_cast<time_t>(milliseconds / 1000), static_cast<long>(milliseconds % 1000) * 1000000L};
  while (nanosleep(&left, &left) != 0 && errno == EINTR) {
  }
#endif
}

// The bind address is UTF-16 text; inet_addr wants 8-bit text.
void NarrowAddress(const wchar_t* wide, char (&narrow)[64]) {
  std::memset(narrow, 0, sizeof narrow);
  if (!wide) return;
#ifdef _WIN32
  WideCharToMultiByte(CP_ACP, 0, wide, -1, narrow, static_cast<int>(sizeof narrow) - 1, nullptr, nullptr);
#else
  // A dotted address is ASCII; anything else cannot parse anyway.
  for (size_t i = 0; i + 1 < sizeof narrow && wide[i] != 0; ++i)
    narrow[i] = (wide[i] > 0 && wide[i] < 0x80) ? static_cast<char>(wide[i]) : '?';
#endif
}

sockaddr_in DiscoveryAddress() {
  sockaddr_in any{};
  any.sin_family = AF_INET;
  any.sin_addr.s_addr = htonl(INADDR_ANY);
  any.sin_port = htons(kDiscoveryPort);
  return any;
}

// One select pass over the read set and, when armed, the discovery socket,
// waiting at most `timeoutUs`. Returns select's result; `readable[i]` tells
// whether reads.handles[i] is marked, `writable` whether the write handle is.
int SelectPass(const ReadSet& reads, SocketHandle write, long timeoutUs, bool (&readable)[ReadSet::kCapacity],
               bool& writable) {
  for (bool& r : readable) r = false;
  writable = false;
  if (reads.count == 0 && write == kInvalidSocket) {
    // Nothing to wait on (no listener yet, no phone): Winsock fails a select
    // with empty sets, which would cost the 10 s pause; just wait the pass.
    SleepMilliseconds(static_cast<uint32_t>(timeoutUs / 1000));
    return 0;
  }
  timeval timeout{0, timeoutUs};
#ifdef _WIN32
  fd_set readSet;
  readSet.fd_count = 0;
  for (int i = 0; i < reads.count; ++i) readSet.fd_array[readSet.fd_count++] = reads.handles[i];
  fd_set writeSet;
  writeSet.fd_count = 0;
  if (write != kInvalidSocket) writeSet.fd_array[writeSet.fd_count++] = write;
  int result = select(0, &readSet, write != kInvalidSocket ? &writeSet : nullptr, nullptr, &timeout);
  if (result <= 0) return result;
  for (int i = 0; i < reads.count; ++i) readable[i] = FD_ISSET(reads.handles[i], &readSet) != 0;
  writable = write != kInvalidSocket && FD_ISSET(write, &writeSet);
  return result;
#else
  // Winsock fails the whole select when the set holds an invalid handle (an
  // unopened listener); do the same here instead of handing -1 to FD_SET.
  fd_set readSet;
  FD_ZERO(&readSet);
  int highest = -1;
  for (int i = 0; i < reads.count; ++i) {
    SocketHandle h = reads.handles[i];
    if (h < 0) {
      errno = EBADF;
      return -1;
    }
    // An fd_set cannot represent a handle this large; such a socket is left
    // out, like one beyond the 64th.
    if (h >= FD_SETSIZE) continue;
    FD_SET(h, &readSet);
    if (h > highest) highest = h;
  }
  fd_set writeSet;
  FD_ZERO(&writeSet);
  bool haveWrite = write >= 0 && write < FD_SETSIZE;
  if (haveWrite) {
    FD_SET(write, &writeSet);
    if (write > highest) highest = write;
  }
  int result = select(highest + 1, &readSet, haveWrite ? &writeSet : nullptr, nullptr, &timeout);
  if (result <= 0) return result;
  for (int i = 0; i < reads.count; ++i) {
    SocketHandle h = reads.handles[i];
    readable[i] = h >= 0 && h < FD_SETSIZE && FD_ISSET(h, &readSet);
  }
  writable = haveWrite && FD_ISSET(write, &writeSet);
  return result;
#endif
}

#ifdef _WIN32
unsigned __stdcall WorkerEntry(void* server) { return RemoteServer::workerMain(server); }
#else
void* WorkerEntry(void* server) {
  RemoteServer::workerMain(server);
  return nullptr;
}
#endif

}  // namespace

// Copies a FileVersion value into the greeting text with its commas turned
// into dots ("1, 5, 0, 0" becomes "1. 5. 0. 0"), never past the buffer.
void CopyVersionText(char (&text)[64], const char* value, uint32_t length) {
  if (length > sizeof text - 1) length = sizeof text - 1;
  std::memcpy(text, value, length);
  text[length] = 0;
  for (uint32_t i = 0; i < length; ++i)
    if (text[i] == ',') text[i] = '.';
}

RemoteServer::RemoteServer(WindowHandle window, const wchar_t* bindAddress, uint16_t port, const Platform& p)
    : mainWindow(window), platform(p) {
  start(bindAddress, port);
}

RemoteServer::RemoteServer(const Platform& p) : platform(p) {}

void RemoteServer::start(const wchar_t* bindAddress, uint16_t port) {
  networked_ = true;
#ifdef _WIN32
  WSADATA data;
  if (WSAStartup(0x0202, &data) != 0) return;
#endif

  char narrow[64];
  NarrowAddress(bindAddress, narrow);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = inet_addr(narrow);
  address.sin_port = htons(port);
  listenAddress_ = address;
  listenSocket = CreateListener(address);

  if (platform.discoveryEnabled) discoverySocket = CreateDiscoverySocket(DiscoveryAddress());
  // Before the worker starts, so that the user hears at once when a port is
  // held by another program; the worker keeps trying to open it.
  lastReopenTick_ = TickCount();
  reportPorts();

  running = 1;
#ifdef _WIN32
  uintptr_t thread = _beginthreadex(nullptr, kWorkerStackBytes, &WorkerEntry, this, 0, nullptr);
  workerThread = thread != 0 ? static_cast<intptr_t>(thread) : -1;
#else
  pthread_attr_t attributes;
  pthread_attr_init(&attributes);
  pthread_attr_setstacksize(&attributes, kWorkerStackBytes);
  pthread_t thread;
  if (pthread_create(&thread, &attributes, &WorkerEntry, this) == 0) workerThread = static_cast<intptr_t>(thread);
  pthread_attr_destroy(&attributes);
#endif
  if (workerThread == -1) running = 0;
}

bool RemoteServer::stop(uint32_t timeoutMs) {
  stopRequested = true;
  if (workerThread == -1) return true;
  running = 0;
#ifdef _WIN32
  // The worker may be inside a synchronous SendMessageW to the main window
  // (a peer balloon), and this runs on that window's thread: a plain wait
  // would never end. Let sent messages through while waiting.
  HANDLE thread = reinterpret_cast<HANDLE>(workerThread);
  const DWORD started = GetTickCount();
  for (;;) {
    DWORD left = INFINITE;
    if (timeoutMs != kWaitForever) {
      const DWORD elapsed = GetTickCount() - started;
      left = elapsed >= timeoutMs ? 0 : timeoutMs - elapsed;
    }
    const DWORD woke = MsgWaitForMultipleObjects(1, &thread, FALSE, left, QS_SENDMESSAGE);
    if (woke == WAIT_OBJECT_0) break;
    if (woke == WAIT_OBJECT_0 + 1) {
      MSG message;
      PeekMessageW(&message, nullptr, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);
      continue;
    }
    if (woke == WAIT_TIMEOUT || WaitForSingleObject(thread, left) != WAIT_OBJECT_0) return false;
    break;
  }
  CloseHandle(thread);
#else
  (void)timeoutMs;  // the native worker never calls into other programs
  pthread_join(static_cast<pthread_t>(workerThread), nullptr);
#endif
  workerThread = -1;
  return true;
}

RemoteServer::~RemoteServer() {
  stop(kWaitForever);
  injector.current = nullptr;
  // Every release looks at every record, so all of them stay valid until
  // nothing is held any more.
  for (auto& entry : clients) releaseHeld(*entry.second);
  for (auto& entry : clients) {
    closeClient(*entry.second);
    delete entry.second;
  }
  if (listenSocket != kInvalidSocket) CloseSocket(listenSocket);
  if (discoverySocket != kInvalidSocket) CloseSocket(discoverySocket);
#ifdef _WIN32
  // Also after a failed WSAStartup, where it does nothing; but a server that
  // never started the socket library must not take another user's reference.
  if (networked_) WSACleanup();
#endif
  clients.clear();
}

uint16_t RemoteServer::boundPort() const {
  if (listenSocket == kInvalidSocket) return 0;
  sockaddr_in address{};
  socklen_t size = sizeof address;
  if (IsSocketError(getsockname(listenSocket, reinterpret_cast<sockaddr*>(&address), &size))) return 0;
  return ntohs(address.sin_port);
}

unsigned RemoteServer::workerMain(void* argument) {
  RemoteServer* server = static_cast<RemoteServer*>(argument);
#ifdef _WIN32
  // Some commands drive the shell and the presentation program through COM
  // automation from this thread.
  HRESULT com = CoInitialize(nullptr);
#endif
  server->run();
#ifdef _WIN32
  if (SUCCEEDED(com)) CoUninitialize();
#endif
  return 0;
}

// The read set of one pass: the listener first (while it is open and not
// paused after a failed accept), then connections in ascending handle order.
// When they do not all fit beside it (64 handles in all, the limit of a
// Winsock select, kept on every system), each pass watches the next share of
// them, going round from where the previous pass stopped: every connection is
// read within a few passes, however many others stay open and silent.
// Returns the number of passes a round takes (1 when all fit).
int RemoteServer::fillReadSet(ReadSet& reads) {
  if (listenSocket != kInvalidSocket && !acceptPaused_) reads.add(listenSocket);
  const size_t room = static_cast<size_t>(ReadSet::kCapacity - reads.count);
  if (clients.size() <= room) {
    for (const auto& entry : clients) reads.add(entry.second->socketHandle);
    return 1;
  }
  auto it = clients.lower_bound(nextWatched);
  for (size_t i = 0; i < room; ++i) {
    if (it == clients.end()) it = clients.begin();
    reads.add(it->second->socketHandle);
    ++it;
  }
  if (it == clients.end()) it = clients.begin();
  nextWatched = it->first;
  return static_cast<int>((clients.size() + room - 1) / room);
}

void RemoteServer::run() {
  FormatOsVersion(osVersionText);
  ReadServerVersion(serverVersionText);
  while (running != 0) {
    const uint32_t now = TickCount();
    reopenMissingSockets(now);
    if (acceptPaused_ && static_cast<int32_t>(now - acceptResumeTick_) >= 0) acceptPaused_ = false;
    ReadSet reads;
    const int passesPerRound = fillReadSet(reads);
    long timeoutUs = kSelectTimeoutUs / passesPerRound;
    if (timeoutUs < kShortestSelectTimeoutUs) timeoutUs = kShortestSelectTimeoutUs;

    SocketHandle write = kInvalidSocket;
    if (discoverySocket != kInvalidSocket && DiscoveryDue(TickCount(), lastDiscoveryTick)) {
      lastDiscoveryTick = TickCount();
      write = discoverySocket;
    }

    bool readable[ReadSet::kCapacity];
    bool writable = false;
    int result = SelectPass(reads, write, timeoutUs, readable, writable);
    if (result > 0) {
      if (writable && platform.network) SendDiscovery(discoverySocket, *platform.network);
      int listener = listenSocket != kInvalidSocket ? reads.find(listenSocket) : -1;
      if (listener >= 0 && readable[listener]) acceptClient();
      for (auto it = clients.begin(); it != clients.end(); ++it) {
        ClientConnection* connection = it->second;
        int index = reads.find(connection->socketHandle);
        if (index < 0 || !readable[index]) continue;
        if (receive(*connection) != 0) {
          // Later readable connections are served in the next pass; when
          // connections are watched in turns, that pass goes on from here.
          nextWatched = it->first + 1;
          dropClient(connection);
          break;
        }
      }
    } else if (result < 0) {
      SleepMilliseconds(kSelectFailurePauseMs);
    }
  }
}

void RemoteServer::reopenMissingSockets(uint32_t now) {
  const bool listenerMissing = listenSocket == kInvalidSocket;
  const bool discoveryMissing = platform.discoveryEnabled && discoverySocket == kInvalidSocket;
  if (!listenerMissing && !discoveryMissing) return;
  if (now - lastReopenTick_ < kReopenIntervalMs) return;
  lastReopenTick_ = now;
  if (listenerMissing) listenSocket = CreateListener(listenAddress_);
  if (discoveryMissing) discoverySocket = CreateDiscoverySocket(DiscoveryAddress());
  reportPorts();
}

void RemoteServer::reportPorts() {
  if (platform.ui == nullptr) return;
  const bool listening = listenSocket != kInvalidSocket;
  const bool announcing = discoverySocket != kInvalidSocket;
  const int ports = (listening ? 1 : 0) | (announcing ? 2 : 0);
  if (ports == reportedPorts_) return;
  reportedPorts_ = ports;
  platform.ui->reportPorts(listening, announcing);
}

SocketHandle CreateListener(const sockaddr_in& address) {
  SocketHandle s = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
  if (s == kInvalidSocket) return kInvalidSocket;
  if (IsSocketError(SetNonBlocking(s)) || IsSocketError(ClaimListeningPort(s)) ||
      IsSocketError(bind(s, reinterpret_cast<const sockaddr*>(&address), static_cast<int>(sizeof address))) ||
      IsSocketError(listen(s, kListenBacklog))) {
    CloseSocket(s);
    return kInvalidSocket;
  }
  return s;
}

void RemoteServer::acceptClient() {
  sockaddr_in peer{};
  socklen_t size = sizeof peer;
  SocketHandle s = accept(listenSocket, reinterpret_cast<sockaddr*>(&peer), &size);
  if (s == kInvalidSocket) {
    // Out of handles or memory, the listener stays readable and every accept
    // fails at once: leave it out of a few passes instead of spinning. A
    // peer that left before it was taken costs nothing, and the next
    // connection is tried at once, unless accepts keep failing that way too.
    const AcceptFailure failure = LastAcceptFailure();
    if (failure == AcceptFailure::NothingPending) return;
    if (failure == AcceptFailure::Other || lastAcceptFailed_) {
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

  // Without memory for its record the one connection is refused, not the
  // process ended.
  ClientConnection* connection = nullptr;
  try {
    auto record = std::make_unique<ClientConnection>();
    record->socketHandle = s;
    if (clients.emplace(static_cast<uint32_t>(s), record.get()).second) connection = record.release();
  } catch (const std::bad_alloc&) {
  }
  if (connection == nullptr) {
    CloseSocket(s);
    return;
  }

  char line[64] = {};
  int length = std::snprintf(line, sizeof line, "system windows %s\n", osVersionText);
  if (length > 0) send(s, line, length < static_cast<int>(sizeof line) ? length : static_cast<int>(sizeof line) - 1, kSendFlags);
  length = std::snprintf(line, sizeof line, "version %s\n", serverVersionText);
  if (length > 0) send(s, line, length < static_cast<int>(sizeof line) ? length : static_cast<int>(sizeof line) - 1, kSendFlags);
}

int RemoteServer::closeClient(ClientConnection& connection) { return CloseSocket(connection.socketHandle); }

void RemoteServer::releaseHeld(ClientConnection& connection) {
  if (connection.held.count == 0) return;
  // Letting go of the key that holds the window switcher open closes it;
  // letting go of the other one (another phone's) does not.
  if (switcherActive && connection.held.holds(compositionEnabled.load() ? kVkLeftWindows : kVkMenu))
    switcherActive = false;
  ClientConnection* previous = injector.current;
  injector.current = nullptr;
  connection.held.releaseAll(injector);
  injector.current = previous;
}

void RemoteServer::dropClient(ClientConnection* connection) {
  releaseHeld(*connection);
  closeClient(*connection);
  clients.erase(static_cast<uint32_t>(connection->socketHandle));
  delete connection;
}

void FormatOsVersion(char (&text)[64]) {
#ifdef _WIN32
  // 284 bytes is the extended record; passing that size with the shorter
  // OSVERSIONINFOW would let the call write past it.
  OSVERSIONINFOEXW info;
  std::memset(&info, 0, sizeof info);
  info.dwOSVersionInfoSize = 284;
#ifdef _MSC_VER
#pragma warning(suppress : 4996)
#endif
  GetVersionExW(reinterpret_cast<OSVERSIONINFOW*>(&info));
  std::snprintf(text, sizeof text, "%u.%u", static_cast<unsigned>(info.dwMajorVersion),
                static_cast<unsigned>(info.dwMinorVersion));
#else
  utsname name{};
  unsigned major = 0, minor = 0;
  if (uname(&name) == 0) std::sscanf(name.release, "%u.%u", &major, &minor);
  std::snprintf(text, sizeof text, "%u.%u", major, minor);
#endif
}

void ReadServerVersion(char (&text)[64]) {
#ifdef _WIN32
  char path[MAX_PATH] = {};
  GetModuleFileNameA(nullptr, path, MAX_PATH);
  DWORD ignored = 0;
  DWORD size = GetFileVersionInfoSizeA(path, &ignored);
  if (size == 0) return;
  void* block = std::malloc(size);
  if (!block) return;
  if (GetFileVersionInfoA(path, 0, size, block)) {
    struct Translation {
      WORD language;
      WORD codePage;
    };
    Translation* translation = nullptr;
    UINT translationBytes = 0;
    if (VerQueryValueA(block, "\\VarFileInfo\\Translation", reinterpret_cast<void**>(&translation), &translationBytes) &&
        translation && translationBytes >= sizeof(Translation)) {
      char query[128] = {};
      int length = std::snprintf(query, sizeof query, "\\StringFileInfo\\%04x%04x\\FileVersion", translation->language,
                                 translation->codePage);
      char* value = nullptr;
      UINT valueLength = 0;
      if (length > 0 && length < static_cast<int>(sizeof query) &&
          VerQueryValueA(block, query, reinterpret_cast<void**>(&value), &valueLength) && value && valueLength > 0)
        CopyVersionText(text, value, valueLength);
    }
  }
  std::free(block);
#else
  // The same text the Windows version block carries, from the project version.
  static const char kFileVersion[] = TAVRIN_FILE_VERSION;
  CopyVersionText(text, kFileVersion, sizeof kFileVersion - 1);
#endif
}

}  // namespace tavrin
