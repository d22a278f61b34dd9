// A phone's side of a loopback connection to a server under test, and a
// server that runs its real select loop on 127.0.0.1 with recording fakes.
#pragma once
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "server/remote_server.h"
#include "support/fake_desktop.h"
#include "support/fakes.h"

namespace tavrin::test {

using Strings = std::vector<std::string>;

// Waits until `done` holds, for at most five seconds.
inline bool WaitUntil(const std::function<bool()>& done) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
  while (!done()) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  return true;
}

// A framed message: tag, three-digit length, payload.
inline std::string Frame(const char* tag, const std::string& payload) {
  char header[8];
  std::snprintf(header, sizeof header, "%s%03zu", tag, payload.size());
  return header + payload;
}
inline std::string Key(const std::string& payload) { return Frame("key", payload); }
inline std::string Mouse(const std::string& payload) { return Frame("mos", payload); }

class Phone {
 public:
  // `from`: the phone's own address, any of 127.0.0.0/8 (host byte order),
  // so that a test can have phones at different addresses.
  explicit Phone(uint16_t port, uint32_t from = INADDR_LOOPBACK) {
    socket_ = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    sockaddr_in own{};
    own.sin_family = AF_INET;
    own.sin_addr.s_addr = htonl(from);
    bind(socket_, reinterpret_cast<sockaddr*>(&own), sizeof own);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(port);
    connected_ = connect(socket_, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
    setTimeout(5000);
    int on = 1;
    setsockopt(socket_, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
  }
  ~Phone() { close(); }
  Phone(const Phone&) = delete;
  Phone& operator=(const Phone&) = delete;

  bool connected() const { return connected_; }

  // The phone's own port, which the server sees as the peer's.
  uint16_t localPort() const {
    sockaddr_in address{};
    socklen_t size = sizeof address;
    if (getsockname(socket_, reinterpret_cast<sockaddr*>(&address), &size) != 0) return 0;
    return ntohs(address.sin_port);
  }

  void setTimeout(int milliseconds) {
    timeval timeout{milliseconds / 1000, (milliseconds % 1000) * 1000};
    setsockopt(socket_, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout);
  }

  void send(const std::string& bytes) {
    size_t sent = 0;
    while (sent < bytes.size()) {
      ssize_t n = ::send(socket_, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
      if (n <= 0) return;
      sent += static_cast<size_t>(n);
    }
  }

  // Reads until `lines` newlines have arrived or a read times out.
  std::string readLines(int lines) {
    std::string text;
    char c;
    while (lines > 0 && ::recv(socket_, &c, 1, 0) == 1) {
      text += c;
      if (c == '\n') --lines;
    }
    return text;
  }

  // What else arrives within `milliseconds`; "" when the read times out,
  // "<end>" when the server has closed the connection.
  std::string readMore(int milliseconds) {
    setTimeout(milliseconds);
    char bytes[256];
    ssize_t n = ::recv(socket_, bytes, sizeof bytes, 0);
    setTimeout(5000);
    if (n == 0) return "<end>";
    if (n < 0) return "";
    return std::string(bytes, static_cast<size_t>(n));
  }

  // Closes the sending side and waits for the server to close the connection.
  bool hangUpAndWaitForClose() {
    ::shutdown(socket_, SHUT_WR);
    std::string rest;
    for (;;) {
      std::string more = readMore(5000);
      if (more == "<end>") return true;
      if (more.empty()) return false;
    }
  }

  // Ends the connection with a reset instead of an orderly close.
  void reset() {
    linger abort{1, 0};
    setsockopt(socket_, SOL_SOCKET, SO_LINGER, &abort, sizeof abort);
    close();
  }

  void close() {
    if (socket_ >= 0) ::close(socket_);
    socket_ = -1;
  }

 private:
  int socket_ = -1;
  bool connected_ = false;
};

// Records what the framing hands on, from the worker thread.
class SharedRecorder : public MessageObserver {
 public:
  void onMessage(char kind, const char* payload, int32_t length) override {
    std::lock_guard<std::mutex> lock(mutex_);
    seen_.push_back(std::string(1, kind) + ":" + std::string(payload, static_cast<size_t>(length)));
  }
  bool saw(const std::string& message) {
    std::lock_guard<std::mutex> lock(mutex_);
    for (const std::string& s : seen_)
      if (s == message) return true;
    return false;
  }

 private:
  std::mutex mutex_;
  Strings seen_;
};

// The lines the server logs, from the worker thread.
class SharedLogLines : public LogOutput {
 public:
  void write(const char* line, size_t length) noexcept override {
    std::lock_guard<std::mutex> lock(mutex_);
    text_.append(line, length);
  }
  size_t count(const std::string& part) {
    std::lock_guard<std::mutex> lock(mutex_);
    size_t found = 0;
    for (size_t at = text_.find(part); at != std::string::npos; at = text_.find(part, at + 1)) ++found;
    return found;
  }

 private:
  std::mutex mutex_;
  std::string text_;
};

class ServerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    Platform platform;
    platform.injector = &injector;
    platform.desktop = &desktop;
    platform.ui = &ui;
    platform.network = &network;
    platform.observer = &recorder;
    platform.roster = roster;
    platform.log = &log;
    // Never announce a test server on the machine's real networks.
    platform.discoveryEnabled = false;
    server = std::make_unique<RemoteServer>(L"127.0.0.1", 0, platform);
    port = server->boundPort();
    ASSERT_NE(port, 0);
  }
  void TearDown() override { server.reset(); }

  std::unique_ptr<Phone> connectPhone(uint32_t from = INADDR_LOOPBACK) {
    auto phone = std::make_unique<Phone>(port, from);
    EXPECT_TRUE(phone->connected());
    return phone;
  }
  // Connects and reads the two greeting lines, so that the server has taken
  // the connection before the next one comes.
  std::unique_ptr<Phone> greetedPhone(uint32_t from = INADDR_LOOPBACK) {
    auto phone = connectPhone(from);
    const std::string greeting = phone->readLines(2);
    EXPECT_EQ(std::count(greeting.begin(), greeting.end(), '\n'), 2) << greeting;
    return phone;
  }

  // Sends a key that nothing else in a test uses and waits until its events
  // are recorded; everything sent before it on the same connection has been
  // handled by then. Returns the events before the sentinel's.
  Strings eventsUpTo(Phone& phone) {
    phone.send("key001z");
    Strings events;
    EXPECT_TRUE(WaitUntil([&] {
      events = injector.events();
      return events.size() >= 2 && events[events.size() - 1] == "key 5a up";
    })) << "sentinel never arrived";
    injector.take();
    if (events.size() >= 2) events.resize(events.size() - 2);
    return events;
  }

  RecordingInjector injector;
  FakeDesktop desktop;
  RecordingUserInterface ui;
  FakeNetworkInfo network;
  SharedRecorder recorder;
  SharedLogLines logLines;
  Log log{{&logLines}};
  PhoneRoster* roster = nullptr;  // set by a fixture before SetUp
  std::unique_ptr<RemoteServer> server;
  uint16_t port = 0;
};

}  // namespace tavrin::test
