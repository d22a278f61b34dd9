#include <gtest/gtest.h>

#include <arpa/inet.h>

#include <algorithm>
#include <atomic>
#include <map>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "shell/phone_roster.h"

namespace tavrin {
namespace {

using Verdict = Admission::Verdict;
using Ids = std::vector<PhoneId>;

uint32_t Addr(const char* dotted) { return inet_addr(dotted); }

struct CountingListener : PromptListener {
  std::atomic<int> calls{0};
  void promptChanged() noexcept override { ++calls; }
};

// A neighbour table that knows the phones on the link.
struct FakeNeighbours : NeighbourTable {
  std::map<uint32_t, MacAddress> table;
  bool hardwareAddress(uint32_t ipv4, MacAddress& mac) noexcept override {
    auto it = table.find(ipv4);
    if (it == table.end()) return false;
    mac = it->second;
    return true;
  }
};

WorkerRequests Take(PhoneRoster& roster) {
  WorkerRequests requests;
  roster.takeRequests(requests);
  return requests;
}

TEST(PhoneRoster, SnapshotListsPhonesAndDisconnectRequestsReachTheWorker) {
  PhoneRoster roster(nullptr, nullptr);
  WorkerRequests requests;
  EXPECT_FALSE(roster.takeRequests(requests));
  EXPECT_EQ(roster.connected(7, Addr("10.77.0.2"), 1000), Verdict::Allow);
  EXPECT_EQ(roster.connected(9, Addr("10.77.0.3"), 2500), Verdict::Allow);
  EXPECT_EQ(roster.connected(8, Addr("10.77.0.4"), 3000), Verdict::Allow);
  std::vector<PhoneInfo> phones = roster.snapshot();
  ASSERT_EQ(phones.size(), 3u);
  EXPECT_EQ(phones[1].id, 9u);
  EXPECT_EQ(phones[1].ipv4, Addr("10.77.0.3"));
  EXPECT_EQ(phones[1].connectedSinceMs, 2500u);
  EXPECT_EQ(phones[1].state, PhoneState::Allowed);

  // Connecting and disconnecting files no request for the worker.
  EXPECT_FALSE(roster.takeRequests(requests));

  roster.requestDisconnect(9);
  roster.requestDisconnect(9);   // a double click: one close
  roster.requestDisconnect(42);  // from an old snapshot: nothing
  ASSERT_TRUE(roster.takeRequests(requests));
  EXPECT_EQ(requests.close, Ids{9});
  EXPECT_TRUE(requests.admit.empty());
  EXPECT_FALSE(requests.releaseHeld);
  EXPECT_FALSE(roster.takeRequests(requests));
  EXPECT_TRUE(requests.close.empty());  // cleared, not left from the last take

  // The phone stays listed until the worker has closed it.
  EXPECT_EQ(roster.count(), 3u);
  roster.disconnected(9);
  roster.disconnected(9);
  phones = roster.snapshot();
  ASSERT_EQ(phones.size(), 2u);
  EXPECT_EQ(phones[0].id, 7u);
  EXPECT_EQ(phones[1].id, 8u);
}

TEST(PhoneRoster, PauseReleasesHeldInputOnce) {
  PhoneRoster roster(nullptr, nullptr);
  roster.connected(1, Addr("10.0.0.1"), 0);
  EXPECT_FALSE(roster.paused());
  roster.setPaused(true);
  EXPECT_TRUE(roster.paused());
  roster.setPaused(true);
  WorkerRequests requests = Take(roster);
  EXPECT_TRUE(requests.releaseHeld);
  EXPECT_FALSE(Take(roster).releaseHeld);
  // Resuming releases nothing.
  roster.setPaused(false);
  EXPECT_FALSE(roster.paused());
  WorkerRequests none;
  EXPECT_FALSE(roster.takeRequests(none));
  // Paused and resumed before the worker looked: what was held down before
  // the pause is still released.
  roster.setPaused(true);
  roster.setPaused(false);
  EXPECT_TRUE(Take(roster).releaseHeld);
  EXPECT_FALSE(roster.paused());
}

TEST(PhoneRoster, AskBeforeANewPhone) {
  CountingListener listener;
  FakeNeighbours neighbours;
  const MacAddress phoneMac{0x3c, 0x22, 0xfb, 1, 2, 3};
  neighbours.table[Addr("192.168.1.20")] = phoneMac;
  PhoneRoster roster(&listener, &neighbours);

  // Off: allowed at once, no prompt.
  EXPECT_EQ(roster.connected(1, Addr("192.168.1.20"), 0), Verdict::Allow);
  EXPECT_EQ(listener.calls, 0);
  EXPECT_FALSE(roster.prompt());

  roster.setAskFirst(true);
  EXPECT_TRUE(roster.askFirst());
  EXPECT_EQ(roster.connected(2, Addr("192.168.1.20"), 0), Verdict::Wait);
  EXPECT_EQ(listener.calls, 1);
  EXPECT_EQ(roster.connected(3, Addr("10.8.0.3"), 0), Verdict::Wait);
  EXPECT_EQ(roster.connected(4, Addr("10.8.0.4"), 0), Verdict::Wait);
  EXPECT_EQ(listener.calls, 1);  // still one prompt, for the first
  ASSERT_TRUE(roster.prompt());
  EXPECT_EQ(roster.prompt()->id, 2u);
  EXPECT_EQ(roster.prompt()->ipv4, Addr("192.168.1.20"));
  EXPECT_EQ(roster.snapshot()[1].state, PhoneState::Waiting);
  EXPECT_EQ(roster.snapshot()[0].state, PhoneState::Allowed);  // connected before: stays

  // Always Allow: the worker admits it, the app stores the list, the prompt
  // moves on. The phone was remembered by its MAC from the neighbour table.
  EXPECT_TRUE(roster.answer(2, Answer::AlwaysAllow));
  EXPECT_EQ(listener.calls, 2);
  WorkerRequests requests = Take(roster);
  EXPECT_EQ(requests.admit, Ids{2});
  EXPECT_EQ(roster.snapshot()[1].state, PhoneState::Allowed);
  EXPECT_TRUE(roster.allowList().contains(IdentityFor(0, &phoneMac)));
  EXPECT_EQ(roster.prompt()->id, 3u);
  EXPECT_FALSE(roster.answer(2, Answer::Deny));  // stale

  // The prompted phone disconnects: the prompt moves to the next one.
  roster.disconnected(3);
  EXPECT_EQ(listener.calls, 3);
  EXPECT_EQ(roster.prompt()->id, 4u);

  // Deny: closed, listed as denied until the worker closes it, then refused.
  // (answer() is true only when the allow list changed.)
  EXPECT_FALSE(roster.answer(4, Answer::Deny));
  EXPECT_EQ(listener.calls, 4);
  EXPECT_FALSE(roster.prompt());
  EXPECT_EQ(Take(roster).denied, Ids{4});
  EXPECT_EQ(roster.snapshot().back().state, PhoneState::Denied);
  roster.disconnected(4);
  EXPECT_EQ(roster.connected(5, Addr("10.8.0.4"), 0), Verdict::Refuse);
  EXPECT_EQ(roster.count(), 2u);  // a refused phone is never listed
  roster.disconnected(5);

  // Nobody answers: the prompted phone is closed as unanswered.
  roster.setAnswerTimeout(500);
  EXPECT_EQ(roster.connected(10, Addr("10.8.0.10"), 1000), Verdict::Wait);
  roster.expireWaiting(1499);
  EXPECT_TRUE(roster.prompt());
  roster.expireWaiting(1500);
  EXPECT_FALSE(roster.prompt());
  EXPECT_EQ(Take(roster).unanswered, Ids{10});
  roster.disconnected(10);

  // The allowed MAC at a new address; then forgotten.
  neighbours.table[Addr("192.168.1.99")] = phoneMac;
  EXPECT_EQ(roster.connected(6, Addr("192.168.1.99"), 0), Verdict::Allow);
  roster.forgetAllowed();
  EXPECT_EQ(roster.allowList().size(), 0u);
  EXPECT_EQ(roster.connected(7, Addr("192.168.1.99"), 0), Verdict::Wait);
  EXPECT_TRUE(roster.answer(7, Answer::AlwaysAllow));
  Take(roster);

  // Turning "Ask" off lets every waiting phone in and closes the prompt.
  EXPECT_EQ(roster.connected(8, Addr("10.8.0.8"), 0), Verdict::Wait);
  const int before = listener.calls;
  roster.setAskFirst(false);
  EXPECT_EQ(listener.calls, before + 1);
  EXPECT_FALSE(roster.prompt());
  EXPECT_EQ(Take(roster).admit, Ids{8});

  // The list read from the user's settings at start is the one that counts.
  AllowList stored;
  stored.add(IdentityFor(Addr("10.8.0.9"), nullptr));
  roster.setAllowList(stored);
  roster.setAskFirst(true);
  EXPECT_EQ(roster.connected(9, Addr("10.8.0.9"), 0), Verdict::Allow);
  EXPECT_EQ(roster.allowList().size(), 1u);
}

// The worker and the main thread at once, as in the program; run under
// ThreadSanitizer in the tsan stage. The worker only ever learns of its own
// connections, and each request it is given names one it was told of.
TEST(PhoneRoster, WorkerAndMainThreadAtOnce) {
  CountingListener listener;
  PhoneRoster roster(&listener, nullptr);
  roster.setAskFirst(true);
  roster.setAnswerTimeout(40);
  std::atomic<bool> done{false};
  std::atomic<int> strayRequests{0};

  std::thread worker([&] {
    std::set<PhoneId> open, refused;
    WorkerRequests requests;
    PhoneId next = 1;
    for (int pass = 0; pass < 3000; ++pass) {
      roster.expireWaiting(pass);
      if (roster.takeRequests(requests)) {
        for (PhoneId id : requests.admit) strayRequests += id >= next || refused.count(id);
        for (const auto* ended : {&requests.close, &requests.denied, &requests.unanswered}) {
          for (PhoneId id : *ended) {
            strayRequests += id >= next || refused.count(id);
            if (open.erase(id)) roster.disconnected(id);
          }
        }
      }
      const std::string address = "10.1." + std::to_string(pass % 7) + ".1";
      const Verdict verdict = roster.connected(next, inet_addr(address.c_str()), pass);
      if (verdict != Verdict::Allow && verdict != Verdict::Wait)
        refused.insert(next);
      else
        open.insert(next);
      ++next;
      if (pass % 3 == 0 && !open.empty()) {
        roster.disconnected(*open.begin());
        open.erase(open.begin());
      }
      (void)roster.paused();
    }
    for (PhoneId id : open) roster.disconnected(id);
    done = true;
  });

  int round = 0;
  while (!done) {
    for (const PhoneInfo& phone : roster.snapshot())
      if (phone.id % 5 == 0) roster.requestDisconnect(phone.id);
    if (auto prompt = roster.prompt()) roster.answer(prompt->id, round % 3 == 0 ? Answer::Allow : Answer::AlwaysAllow);
    roster.setPaused(round % 2 == 0);
    if (round % 50 == 0) roster.forgetAllowed();
    ++round;
  }
  worker.join();
  EXPECT_EQ(strayRequests, 0);
  EXPECT_EQ(roster.count(), 0u);
  EXPECT_FALSE(roster.prompt());
}

}  // namespace
}  // namespace tavrin
