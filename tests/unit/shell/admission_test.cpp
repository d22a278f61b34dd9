#include <gtest/gtest.h>

#include <arpa/inet.h>

#include <string>
#include <vector>

#include "shell/admission.h"

namespace tavrin {
namespace {

using Verdict = Admission::Verdict;
using Ids = std::vector<PhoneId>;

uint32_t Addr(const std::string& dotted) { return inet_addr(dotted.c_str()); }
PhoneIdentity IpOf(const std::string& dotted) { return IdentityFor(Addr(dotted), nullptr); }

// An admission with "Ask" on, and helpers that keep each phone's address.
struct AdmissionAsking : ::testing::Test {
  Admission admission;
  AdmissionDecisions decisions;
  void SetUp() override { admission.setEnabled(true, decisions); }
  Verdict arrive(PhoneId id, const std::string& dotted) { return admission.arrive(id, Addr(dotted), IpOf(dotted)); }
  Verdict arriveWithMac(PhoneId id, const std::string& dotted, const MacAddress& mac) {
    return admission.arrive(id, Addr(dotted), IdentityFor(Addr(dotted), &mac));
  }
  AdmissionDecisions take() {
    AdmissionDecisions taken = decisions;
    decisions = {};
    return taken;
  }
};

TEST(Admission, OffAllowsEveryPhoneAsWithoutTheOption) {
  Admission admission;
  AdmissionDecisions decisions;
  for (PhoneId id = 1; id <= 40; ++id) EXPECT_EQ(admission.arrive(id, Addr("10.0.0.5"), IpOf("10.0.0.5")), Verdict::Allow);
  EXPECT_FALSE(admission.prompted());

  // A denial made while it was on does not outlive turning it off...
  admission.setEnabled(true, decisions);
  EXPECT_EQ(admission.arrive(50, Addr("10.0.0.6"), IpOf("10.0.0.6")), Verdict::Wait);
  ASSERT_TRUE(admission.answer(50, Answer::Deny, decisions));
  EXPECT_EQ(admission.arrive(51, Addr("10.0.0.6"), IpOf("10.0.0.6")), Verdict::Refuse);
  admission.setEnabled(false, decisions);
  EXPECT_EQ(admission.arrive(52, Addr("10.0.0.6"), IpOf("10.0.0.6")), Verdict::Allow);
  // ...but is kept for the rest of the run if it is turned on again.
  admission.setEnabled(true, decisions);
  EXPECT_EQ(admission.arrive(53, Addr("10.0.0.6"), IpOf("10.0.0.6")), Verdict::Refuse);
}

TEST_F(AdmissionAsking, OnePromptAtATimeInOrderOfArrival) {
  EXPECT_EQ(arrive(1, "10.0.0.1"), Verdict::Wait);
  EXPECT_EQ(arrive(2, "10.0.0.2"), Verdict::Wait);
  EXPECT_EQ(arrive(3, "10.0.0.3"), Verdict::Wait);
  EXPECT_EQ(admission.prompted(), PhoneId{1});

  // Only the prompted phone can be answered; others, and unknown ids, not.
  EXPECT_FALSE(admission.answer(3, Answer::Allow, decisions));
  EXPECT_FALSE(admission.answer(99, Answer::Deny, decisions));
  EXPECT_TRUE(take().allowed.empty());

  ASSERT_TRUE(admission.answer(1, Answer::Allow, decisions));
  EXPECT_EQ(take().allowed, Ids{1});
  EXPECT_EQ(admission.prompted(), PhoneId{2});
  // A second click on the closed prompt changes nothing.
  EXPECT_FALSE(admission.answer(1, Answer::Deny, decisions));
  EXPECT_TRUE(take().closed.empty());

  // The prompted phone goes away: its prompt closes, the next one opens.
  admission.leave(2);
  EXPECT_EQ(admission.prompted(), PhoneId{3});
  // A waiting phone without a prompt goes away: the prompt stays.
  EXPECT_EQ(arrive(4, "10.0.0.4"), Verdict::Wait);
  admission.leave(4);
  admission.leave(77);
  EXPECT_EQ(admission.prompted(), PhoneId{3});
  admission.leave(3);
  EXPECT_FALSE(admission.prompted());
  EXPECT_EQ(admission.waitingCount(), 0u);

  // "Allow" is for this connection: the same address connecting again waits.
  EXPECT_EQ(arrive(5, "10.0.0.1"), Verdict::Wait);
}

TEST_F(AdmissionAsking, AlwaysAllowRemembersTheIdentity) {
  const MacAddress phone{0x3c, 0x22, 0xfb, 1, 2, 3};
  EXPECT_EQ(arriveWithMac(1, "192.168.1.20", phone), Verdict::Wait);
  EXPECT_EQ(arrive(2, "10.0.0.2"), Verdict::Wait);
  EXPECT_EQ(arriveWithMac(3, "192.168.1.20", phone), Verdict::Wait);  // a second connection of that phone
  ASSERT_TRUE(admission.answer(1, Answer::AlwaysAllow, decisions));
  EXPECT_EQ(take().allowed, (Ids{1, 3}));
  EXPECT_EQ(admission.prompted(), PhoneId{2});
  EXPECT_TRUE(admission.allowList().contains(IdentityFor(0, &phone)));

  // Allowed by its hardware address, whatever address DHCP gives it next;
  // that address alone, without the MAC, is not allowed.
  EXPECT_EQ(arriveWithMac(4, "192.168.1.77", phone), Verdict::Allow);
  EXPECT_EQ(arrive(5, "192.168.1.20"), Verdict::Wait);

  // An identity by IP, for a phone off the link.
  ASSERT_TRUE(admission.answer(2, Answer::AlwaysAllow, decisions));
  EXPECT_EQ(arrive(6, "10.0.0.2"), Verdict::Allow);

  admission.allowList().clear();
  EXPECT_EQ(arrive(7, "10.0.0.2"), Verdict::Wait);
  EXPECT_EQ(arriveWithMac(8, "192.168.1.77", phone), Verdict::Wait);
}

TEST_F(AdmissionAsking, DenyClosesAndRefusesThatAddressForTheRun) {
  EXPECT_EQ(arrive(1, "10.0.0.1"), Verdict::Wait);
  EXPECT_EQ(arrive(2, "10.0.0.2"), Verdict::Wait);
  EXPECT_EQ(arrive(3, "10.0.0.1"), Verdict::Wait);
  ASSERT_TRUE(admission.answer(1, Answer::Deny, decisions));
  const AdmissionDecisions denied = take();
  EXPECT_EQ(denied.closed, (Ids{1, 3}));
  EXPECT_TRUE(denied.allowed.empty());
  EXPECT_EQ(admission.prompted(), PhoneId{2});
  EXPECT_EQ(arrive(4, "10.0.0.1"), Verdict::Refuse);
  EXPECT_EQ(admission.prompted(), PhoneId{2});
  EXPECT_EQ(admission.waitingCount(), 1u);
}

TEST_F(AdmissionAsking, AFloodOpensOnePromptAndStaysBounded) {
  // A phone the user allowed before the flood.
  admission.allowList().add(IpOf("10.9.9.9"));
  PhoneId id = 1;
  size_t waiting = 0, refused = 0;
  for (int i = 0; i < 4000; ++i) {
    const std::string address = "172.16." + std::to_string(i / 250) + "." + std::to_string(i % 250 + 1);
    const Verdict verdict = arrive(id++, address);
    waiting += verdict == Verdict::Wait;
    refused += verdict == Verdict::RefuseFull;
    ASSERT_NE(verdict, Verdict::Allow);
    ASSERT_EQ(admission.prompted(), PhoneId{1});
  }
  EXPECT_EQ(waiting, Admission::kWaitingCapacity);
  EXPECT_EQ(refused, 4000 - Admission::kWaitingCapacity);
  EXPECT_EQ(arrive(id++, "10.9.9.9"), Verdict::Allow);

  // Once a waiting phone leaves, a newcomer can wait again.
  admission.leave(5);
  EXPECT_EQ(arrive(id++, "172.31.0.1"), Verdict::Wait);

  // Denied addresses: the oldest is forgotten beyond the cap (asked again).
  Admission fresh;
  fresh.setEnabled(true, decisions);
  for (size_t i = 0; i <= Admission::kDeniedCapacity; ++i) {
    const std::string address = "192.168." + std::to_string(i / 250) + "." + std::to_string(i % 250 + 1);
    ASSERT_EQ(fresh.arrive(i, Addr(address), IpOf(address)), Verdict::Wait);
    ASSERT_TRUE(fresh.answer(i, Answer::Deny, decisions));
  }
  EXPECT_FALSE(fresh.isDenied(Addr("192.168.0.1")));
  EXPECT_TRUE(fresh.isDenied(Addr("192.168.0.2")));
  EXPECT_TRUE(fresh.isDenied(Addr("192.168.1.7")));
}

TEST_F(AdmissionAsking, WaitingIsBoundedPerAddressAndInTime) {
  admission.setAnswerTimeout(1000);
  EXPECT_EQ(admission.arrive(1, Addr("10.0.0.1"), IpOf("10.0.0.1"), 100), Verdict::Wait);
  EXPECT_EQ(admission.arrive(2, Addr("10.0.0.1"), IpOf("10.0.0.1"), 200), Verdict::Wait);
  // A third from the same address is refused at once, and does not count.
  EXPECT_EQ(admission.arrive(3, Addr("10.0.0.1"), IpOf("10.0.0.1"), 300), Verdict::RefuseAddressWaits);
  EXPECT_EQ(admission.arrive(4, Addr("10.0.0.2"), IpOf("10.0.0.2"), 400), Verdict::Wait);
  EXPECT_EQ(admission.nextDeadline(), 1100u);

  // Nobody answers: each phone is closed when its own time is up, the
  // prompted one first, and the prompt moves on.
  admission.expire(1099, decisions);
  EXPECT_TRUE(take().unanswered.empty());
  admission.expire(1100, decisions);
  EXPECT_EQ(take().unanswered, Ids{1});
  EXPECT_EQ(admission.prompted(), PhoneId{2});
  EXPECT_EQ(admission.arrive(5, Addr("10.0.0.1"), IpOf("10.0.0.1"), 1150), Verdict::Wait);
  admission.expire(1400, decisions);
  EXPECT_EQ(take().unanswered, (Ids{2, 4}));
  EXPECT_EQ(admission.prompted(), PhoneId{5});
  EXPECT_EQ(admission.nextDeadline(), 2150u);
  admission.leave(5);
  EXPECT_EQ(admission.nextDeadline(), UINT64_MAX);
}

TEST_F(AdmissionAsking, TurningItOffAllowsEveryWaitingPhone) {
  EXPECT_EQ(arrive(1, "10.0.0.1"), Verdict::Wait);
  EXPECT_EQ(arrive(2, "10.0.0.2"), Verdict::Wait);
  admission.setEnabled(false, decisions);
  EXPECT_EQ(take().allowed, (Ids{1, 2}));
  EXPECT_FALSE(admission.prompted());
  EXPECT_FALSE(admission.answer(1, Answer::Deny, decisions));
}

}  // namespace
}  // namespace tavrin
