// How long a phone's small frames take to arrive when the phone leaves
// Nagle's algorithm on, with and without the server asking for immediate
// acknowledgements. The phone sends one 12-byte mouse frame every 8 ms (125
// a second), the rate of a finger moving the pointer; with Nagle on it holds
// each frame back until the previous one is acknowledged, and a receiver
// that delays its acknowledgements turns that into bursts.
//
// Over loopback, natively; run inside a private network namespace like every
// test (scripts/in-netns.sh):
//   build/native/bench/tavrin_quick_ack_bench [frames]
#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <thread>
#include <vector>

#include "server/socket_compat.h"

namespace {

using Clock = std::chrono::steady_clock;

// As long as "mos006m 5 -3": a tag, then when the phone sent it (the same
// steady clock, one process).
constexpr size_t kFrameBytes = 12;

int64_t NowNs() { return std::chrono::duration_cast<std::chrono::nanoseconds>(Clock::now().time_since_epoch()).count(); }

std::vector<double> Run(bool quickAcks, int frames) {
  const int listener = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t size = sizeof address;
  if (bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 || listen(listener, 1) != 0 ||
      getsockname(listener, reinterpret_cast<sockaddr*>(&address), &size) != 0) {
    std::perror("listener");
    std::exit(1);
  }
  std::thread phone([&] {
    const int s = socket(AF_INET, SOCK_STREAM, 0);  // Nagle left on
    if (connect(s, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) std::exit(1);
    const auto start = Clock::now();
    for (int i = 0; i < frames; ++i) {
      std::this_thread::sleep_until(start + std::chrono::milliseconds(8 * i));
      char frame[kFrameBytes] = {'m', 'o', 's', '0'};
      const int64_t sent = NowNs();
      std::memcpy(frame + 4, &sent, sizeof sent);
      if (send(s, frame, sizeof frame, 0) != static_cast<ssize_t>(sizeof frame)) std::exit(1);
    }
    close(s);
  });
  const int server = accept(listener, nullptr, nullptr);
  if (quickAcks)
    tavrin::RequestQuickAcks(server);
  else
    tavrin::SetIntOption(server, IPPROTO_TCP, TCP_QUICKACK, 0);
  std::vector<double> delaysMs;
  char buffer[4096];
  size_t fill = 0;
  for (;;) {
    const ssize_t got = recv(server, buffer + fill, sizeof buffer - fill, 0);
    if (got <= 0) break;
    if (quickAcks) {
      tavrin::QuickAcksAfterReceive(server);
    } else {
      // Linux acknowledges a one-way stream at once by itself; Windows waits
      // up to 200 ms for a second segment. Made to wait here as Windows does.
      tavrin::SetIntOption(server, IPPROTO_TCP, TCP_QUICKACK, 0);
    }
    const int64_t nowNs = NowNs();
    fill += static_cast<size_t>(got);
    size_t at = 0;
    for (; fill - at >= kFrameBytes; at += kFrameBytes) {
      int64_t sent = 0;
      std::memcpy(&sent, buffer + at + 4, sizeof sent);
      delaysMs.push_back(static_cast<double>(nowNs - sent) / 1e6);
    }
    std::copy(buffer + at, buffer + fill, buffer);
    fill -= at;
  }
  phone.join();
  close(server);
  close(listener);
  return delaysMs;
}

double Percentile(std::vector<double> values, double p) {
  std::sort(values.begin(), values.end());
  return values.empty() ? 0 : values[static_cast<size_t>(p * static_cast<double>(values.size() - 1))];
}

}  // namespace

int main(int argc, char** argv) {
  const int frames = argc > 1 ? std::atoi(argv[1]) : 500;
  std::printf("%d frames of %zu bytes, one every 8 ms, Nagle on at the sender, over loopback\n", frames, kFrameBytes);
  std::printf("%-28s %9s %9s %9s\n", "receiver", "p50 ms", "p99 ms", "max ms");
  for (const bool quick : {false, true}) {
    const std::vector<double> delays = Run(quick, frames);
    std::printf("%-28s %9.3f %9.3f %9.3f\n", quick ? "immediate acknowledgements" : "delayed (as Windows does)",
                Percentile(delays, 0.5), Percentile(delays, 0.99), Percentile(delays, 1.0));
  }
  return 0;
}
