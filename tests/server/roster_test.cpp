// The real server with a roster: the user's say over connected phones
// (disconnect, pause, ask before a new phone) carried out by the worker.
#include <atomic>

#include "shell/phone_roster.h"
#include "tests/server/phone.h"

namespace tavrin::test {
namespace {

class CountingPrompts : public PromptListener {
 public:
  void promptChanged() noexcept override { ++changes; }
  std::atomic<int> changes{0};
};

class RosterServer : public ServerTest {
 protected:
  RosterServer() { roster = &phones; }

  // The id of the phone that connected `index`-th among those listed.
  PhoneId idAt(size_t index) {
    const auto list = phones.snapshot();
    return index < list.size() ? list[index].id : 0;
  }
  // Waits until the worker has framed the line `noop<tag>`: everything the
  // phone sent before it has been handled or dropped by then.
  void waitForMarker(Phone& phone, const std::string& tag) {
    phone.send("noop" + tag + "\n");
    EXPECT_TRUE(WaitUntil([&] { return recorder.saw("t:noop" + tag); })) << tag;
  }

  CountingPrompts prompts;
  PhoneRoster phones{&prompts, nullptr};
};

constexpr uint32_t kLoopback2 = 0x7F000002;  // 127.0.0.2
constexpr uint32_t kLoopback3 = 0x7F000003;

TEST_F(RosterServer, SeesEachConnectionWithItsAddressUntilItEnds) {
  auto first = greetedPhone(kLoopback2);
  auto second = greetedPhone(kLoopback3);
  ASSERT_TRUE(WaitUntil([&] { return phones.count() == 2; }));
  auto list = phones.snapshot();
  EXPECT_EQ(list[0].ipv4, htonl(kLoopback2));
  EXPECT_EQ(list[1].ipv4, htonl(kLoopback3));
  EXPECT_NE(list[0].id, list[1].id);
  EXPECT_EQ(list[0].state, PhoneState::Allowed);  // "Ask" is off: exactly as without a roster

  EXPECT_TRUE(first->hangUpAndWaitForClose());
  ASSERT_TRUE(WaitUntil([&] { return phones.count() == 1; }));
  EXPECT_EQ(phones.snapshot()[0].id, list[1].id);
  // A later connection gets a new id even where it gets the same handle.
  auto third = greetedPhone();
  ASSERT_TRUE(WaitUntil([&] { return phones.count() == 2; }));
  EXPECT_NE(idAt(1), list[0].id);
  // Stopping the server ends every connection.
  server.reset();
  EXPECT_EQ(phones.count(), 0u);
}

TEST_F(RosterServer, DisconnectFromTheMenuEndsTheConnectionAndReleasesWhatItHeld) {
  auto holder = greetedPhone();
  auto other = greetedPhone();
  ASSERT_TRUE(WaitUntil([&] { return phones.count() == 2; }));
  holder->send(Key("[R] SHIFT d") + Mouse("R l d"));
  EXPECT_EQ(eventsUpTo(*holder), (Strings{"key 10 down", "left down"}));
  const PhoneId id = idAt(0);
  phones.requestDisconnect(id);
  EXPECT_EQ(holder->readMore(5000), "<end>");
  ASSERT_TRUE(WaitUntil([&] { return phones.count() == 1; }));
  phones.requestDisconnect(id);  // stale: the other phone is not touched
  other->send(Mouse("m 1 1"));
  EXPECT_EQ(eventsUpTo(*other), (Strings{"left up", "key 10 up", "move 1 1"}));
  EXPECT_EQ(phones.count(), 1u);
}

TEST_F(RosterServer, PauseDropsInputAndReleasesWhatIsHeldUntilResumed) {
  auto phone = greetedPhone();
  phone->send(Key("[R] CTRL d"));
  EXPECT_EQ(eventsUpTo(*phone), Strings{"key 11 down"});

  phones.setPaused(true);
  ASSERT_TRUE(WaitUntil([&] { return injector.events() == Strings{"key 11 up"}; }));
  injector.take();
  phone->send(Mouse("m 1 1") + Key("[R] SHIFT d") + "utf8 secret\n");
  waitForMarker(*phone, "paused");
  // Phones are still greeted while paused; their input is dropped too.
  auto late = greetedPhone();
  late->send(Mouse("m 2 2"));
  waitForMarker(*late, "late");
  EXPECT_EQ(injector.take(), Strings{});

  phones.setPaused(false);
  phone->send(Mouse("m 3 3"));  // nothing dropped earlier comes back
  EXPECT_EQ(eventsUpTo(*phone), Strings{"move 3 3"});
  late->send(Mouse("m 4 4"));
  EXPECT_EQ(eventsUpTo(*late), Strings{"move 4 4"});
}

TEST_F(RosterServer, WithAskOnANewPhoneHasNoEffectUntilAllowedAndDenyClosesIt) {
  phones.setAskFirst(true);
  auto first = greetedPhone(kLoopback2);
  auto second = greetedPhone(kLoopback3);
  ASSERT_TRUE(WaitUntil([&] { return phones.count() == 2; }));
  // One prompt, for the first phone; the second waits without one.
  ASSERT_TRUE(phones.prompt().has_value());
  EXPECT_EQ(phones.prompt()->id, idAt(0));
  EXPECT_EQ(prompts.changes.load(), 1);

  first->send(Mouse("m 1 1") + "utf8 typed while waiting\n");
  second->send(Key("[R] SHIFT d"));
  waitForMarker(*first, "first");
  waitForMarker(*second, "second");
  EXPECT_EQ(injector.take(), Strings{});

  EXPECT_FALSE(phones.answer(idAt(0), Answer::Allow));
  first->send(Mouse("m 2 2"));  // dropped moves are not queued
  EXPECT_EQ(eventsUpTo(*first), Strings{"move 2 2"});
  EXPECT_EQ(phones.prompt()->id, idAt(1));
  EXPECT_EQ(prompts.changes.load(), 2);

  phones.answer(idAt(1), Answer::Deny);
  EXPECT_EQ(second->readMore(5000), "<end>");
  EXPECT_FALSE(phones.prompt().has_value());
  // The denied address is closed after its greeting for the rest of the run.
  auto again = greetedPhone(kLoopback3);
  EXPECT_EQ(again->readMore(5000), "<end>");
  EXPECT_EQ(injector.take(), Strings{});
  ASSERT_TRUE(WaitUntil([&] { return phones.count() == 1; }));
  EXPECT_EQ(prompts.changes.load(), 3);

  // Two may wait from one address, a third is closed at once; nobody
  // answers, and both are closed when their time is up.
  phones.setAnswerTimeout(300);
  auto waitingA = greetedPhone(kLoopback2);
  auto waitingB = greetedPhone(kLoopback2);
  auto third = greetedPhone(kLoopback2);
  EXPECT_EQ(third->readMore(5000), "<end>");
  EXPECT_EQ(waitingA->readMore(5000), "<end>");
  EXPECT_EQ(waitingB->readMore(5000), "<end>");
  // The phone sees its end before the worker has told the roster.
  EXPECT_TRUE(WaitUntil([&] { return phones.count() == 1u; }));
  EXPECT_FALSE(phones.prompt().has_value());
}

}  // namespace
}  // namespace tavrin::test
