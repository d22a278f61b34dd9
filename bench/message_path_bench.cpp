// Nanoseconds per message from received bytes to injected events, through the
// server's message handler (fed directly, without sockets) with an injector
// that drops every event, beside the floor of finding the message's end and
// copying its bytes. Every benchmark also reports the heap allocations made
// per message, counted by the global operator new of this program.
#include <benchmark/benchmark.h>

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>
#include <string>

#include "server/message_handler.h"
#include "shell/phone_roster.h"

namespace {

std::atomic<uint64_t> allocations{0};

}  // namespace

void* operator new(std::size_t size) {
  allocations.fetch_add(1, std::memory_order_relaxed);
  if (void* p = std::malloc(size ? size : 1)) return p;
  throw std::bad_alloc();
}
void* operator new[](std::size_t size) { return operator new(size); }
void operator delete(void* p) noexcept { std::free(p); }
void operator delete[](void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
void operator delete[](void* p, std::size_t) noexcept { std::free(p); }

namespace {

using namespace tavrin;

class NullInjector final : public Injector {
 public:
  bool key(uint16_t, uint16_t, uint32_t) override {
    benchmark::ClobberMemory();
    return true;
  }
  bool mouse(int32_t, int32_t, int32_t, uint32_t) override {
    benchmark::ClobberMemory();
    return true;
  }
};

// A desktop whose window in front stays the same and is not elevated: what
// the product asks per message before a phone's input has effect.
class OneWindowDesktop final : public NullDesktop {
 public:
  WindowRef foregroundWindow() override {
    benchmark::ClobberMemory();
    return 0x1234;
  }
};

struct Bench {
  NullInjector injector;
  OneWindowDesktop desktop;
  NullUserInterface ui;
  PhoneRoster roster{nullptr, nullptr};
  Platform platform;
  std::unique_ptr<MessageHandler> server;
  std::unique_ptr<ClientConnection> connection = std::make_unique<ClientConnection>(&injector);

  // `asProduct`: with the roster, a desktop and a user interface, so that
  // each message also reads the pause and asks about the window in front.
  explicit Bench(bool asProduct = false) {
    platform.injector = &injector;
    platform.discoveryEnabled = false;
    if (asProduct) {
      platform.desktop = &desktop;
      platform.ui = &ui;
      platform.roster = &roster;
    }
    server = std::make_unique<MessageHandler>(platform);
  }
};

std::string Repeat(const std::string& message, int64_t times) {
  std::string out;
  for (int64_t i = 0; i < times; ++i) out += message;
  return out;
}

void Report(benchmark::State& state, uint64_t before, int64_t messagesPerIteration) {
  const double messages = static_cast<double>(state.iterations() * messagesPerIteration);
  state.counters["allocs_per_msg"] = static_cast<double>(allocations.load() - before) / messages;
  state.counters["msgs"] = benchmark::Counter(messages, benchmark::Counter::kIsRate);
  state.SetItemsProcessed(static_cast<int64_t>(messages));
}

// state.range(0) messages arrive in one receive.
void ServerPath(benchmark::State& state, const std::string& message, bool asProduct = false) {
  Bench bench(asProduct);
  const std::string bytes = Repeat(message, state.range(0));
  const int32_t count = static_cast<int32_t>(bytes.size());
  const uint64_t before = allocations.load();
  for (auto _ : state) {
    bench.server->feed(*bench.connection, bytes.data(), count);
    if (bench.connection->received.fill != 0) state.SkipWithError("message not taken whole");
  }
  Report(state, before, state.range(0));
}

// Finding where each message ends and copying its bytes out: the least any
// framing has to do with the same receive.
void Floor(benchmark::State& state, const std::string& message, char end) {
  const std::string bytes = Repeat(message, state.range(0));
  auto buffer = std::make_unique<char[]>(kReceiveCapacity + 1);
  char line[4096];
  const uint64_t before = allocations.load();
  for (auto _ : state) {
    std::memcpy(buffer.get(), bytes.data(), bytes.size());
    const char* p = buffer.get();
    const char* stop = p + bytes.size();
    while (p < stop) {
      const char* found = static_cast<const char*>(std::memchr(p, end, static_cast<size_t>(stop - p)));
      const char* next = found ? found + 1 : stop;
      std::memcpy(line, p, static_cast<size_t>(next - p));
      benchmark::DoNotOptimize(line);
      p = next;
    }
  }
  Report(state, before, state.range(0));
}

const std::string kMouseFrame = "mos006m 5 -3";
const std::string kKeyFrame = "key001a";
const std::string kTextLine = "utf8 hello\n";
const std::string kMuteLine = "MUTE\n";

void BM_MouseFrame(benchmark::State& state) { ServerPath(state, kMouseFrame); }
void BM_MouseFrame_WithRosterAndDesktop(benchmark::State& state) { ServerPath(state, kMouseFrame, true); }
void BM_KeyFrame(benchmark::State& state) { ServerPath(state, kKeyFrame); }
void BM_TextLine_utf8(benchmark::State& state) { ServerPath(state, kTextLine); }
void BM_TextLine_MUTE(benchmark::State& state) { ServerPath(state, kMuteLine); }
// Frames have no end byte; the floor looks for the last payload byte instead.
void BM_Floor_MouseFrame(benchmark::State& state) { Floor(state, kMouseFrame, '3'); }
void BM_Floor_KeyFrame(benchmark::State& state) { Floor(state, kKeyFrame, 'a'); }
void BM_Floor_TextLine_utf8(benchmark::State& state) { Floor(state, kTextLine, '\n'); }

BENCHMARK(BM_MouseFrame)->Arg(1)->Arg(100);
BENCHMARK(BM_MouseFrame_WithRosterAndDesktop)->Arg(1)->Arg(100);
BENCHMARK(BM_Floor_MouseFrame)->Arg(1)->Arg(100);
BENCHMARK(BM_KeyFrame)->Arg(1)->Arg(100);
BENCHMARK(BM_Floor_KeyFrame)->Arg(1)->Arg(100);
BENCHMARK(BM_TextLine_utf8)->Arg(1)->Arg(100);
BENCHMARK(BM_TextLine_MUTE)->Arg(1)->Arg(100);
BENCHMARK(BM_Floor_TextLine_utf8)->Arg(1)->Arg(100);

}  // namespace

BENCHMARK_MAIN();
