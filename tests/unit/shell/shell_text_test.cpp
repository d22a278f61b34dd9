#include <gtest/gtest.h>

#include <arpa/inet.h>

#include <string>
#include <vector>

#include "shell/elevation_notice.h"
#include "shell/recent_messages.h"
#include "shell/phone_menu_text.h"

namespace tavrin {
namespace {

constexpr uint64_t kMinute = 60000;

template <typename Format>
std::wstring Written(size_t capacity, Format format) {
  std::vector<wchar_t> text(capacity + 1, L'#');  // one guard unit past the capacity
  const size_t length = format(text.data(), capacity);
  EXPECT_EQ(text[capacity], L'#');
  EXPECT_EQ(length, std::wstring(text.data()).size());
  return text.data();
}

std::wstring Item(const char* dotted, uint64_t since, uint64_t now, PhoneState state = PhoneState::Allowed,
                  size_t capacity = kPhoneItemCapacity) {
  const PhoneInfo phone{1, inet_addr(dotted), since, state};
  return Written(capacity, [&](wchar_t* t, size_t c) { return FormatPhoneItem(t, c, phone, now); });
}

TEST(PhoneMenuText, ItemNamesTheAddressAndHowLong) {
  EXPECT_EQ(Item("10.77.0.2", 1000, 1000 + 59999), L"10.77.0.2 - less than 1 min");
  EXPECT_EQ(Item("10.77.0.2", 1000, 1000 + 5 * kMinute), L"10.77.0.2 - 5 min");
  EXPECT_EQ(Item("10.77.0.2", 0, 59 * kMinute + 59999), L"10.77.0.2 - 59 min");
  EXPECT_EQ(Item("10.77.0.2", 0, 60 * kMinute), L"10.77.0.2 - 1 h 00 min");
  EXPECT_EQ(Item("192.168.100.200", 0, 123 * kMinute), L"192.168.100.200 - 2 h 03 min");
  EXPECT_EQ(Item("10.0.0.1", 5000, 10), L"10.0.0.1 - less than 1 min");  // clock went backwards
  EXPECT_EQ(Item("10.0.0.1", 0, 0, PhoneState::Waiting), L"10.0.0.1 - less than 1 min (waiting)");
  EXPECT_EQ(Item("10.0.0.1", 0, 0, PhoneState::Denied), L"10.0.0.1 - less than 1 min (denied)");
  // The longest item fits its capacity; a smaller one is cut, not overrun.
  const std::wstring longest = Item("255.255.255.255", 0, UINT64_MAX, PhoneState::Waiting);
  EXPECT_EQ(longest.substr(longest.size() - 14), L" min (waiting)");
  EXPECT_EQ(Item("10.77.0.2", 0, 0, PhoneState::Allowed, 10), L"10.77.0.2");
  EXPECT_EQ(Item("10.77.0.2", 0, 0, PhoneState::Allowed, 1), L"");
}

TEST(PhoneMenuText, TipCountsPhonesAndShowsThePause) {
  auto tip = [](size_t phones, bool paused, size_t capacity = 128) {
    return Written(capacity, [&](wchar_t* t, size_t c) { return FormatTipHeading(t, c, phones, paused); });
  };
  EXPECT_EQ(tip(0, false), L"Tavrin\nNo phone connected\n");
  EXPECT_EQ(tip(1, false), L"Tavrin\n1 phone connected\n");
  EXPECT_EQ(tip(3, false), L"Tavrin\n3 phones connected\n");
  EXPECT_EQ(tip(12, true), L"Tavrin\n12 phones connected (paused)\n");
  EXPECT_EQ(tip(0, true), L"Tavrin\nNo phone connected (paused)\n");
  EXPECT_EQ(tip(3, false, 8), L"Tavrin\n");

  const std::wstring prompt = Written(kPromptTextCapacity, [](wchar_t* t, size_t c) {
    return FormatPromptText(t, c, inet_addr("192.168.100.200"));
  });
  EXPECT_EQ(prompt.find(L"A phone at 192.168.100.200 wants to control this computer."), 0u);
  EXPECT_EQ(prompt.back(), L'?');  // the whole question fits
}

TEST(ElevationNotice, OneBalloonPerElevatedWindowWhileTavrinIsNot) {
  ElevationNotice notice;
  // Nothing blocks: Tavrin elevated too, no window, or a window that is not.
  EXPECT_FALSE(notice.needsCheck(0x10, true));
  EXPECT_FALSE(notice.shouldShow(0x10, true, true));
  EXPECT_FALSE(notice.needsCheck(0, false));
  EXPECT_FALSE(notice.shouldShow(0, true, false));
  EXPECT_TRUE(notice.needsCheck(0x20, false));
  EXPECT_FALSE(notice.shouldShow(0x20, false, false));
  EXPECT_FALSE(notice.needsCheck(0x20, false));  // just checked: no token query per message

  EXPECT_TRUE(notice.needsCheck(0x30, false));
  EXPECT_TRUE(notice.shouldShow(0x30, true, false));
  EXPECT_FALSE(notice.shouldShow(0x30, true, false));
  // Another window in between, then back to the first: still told once.
  EXPECT_TRUE(notice.shouldShow(0x40, true, false));
  EXPECT_FALSE(notice.needsCheck(0x30, false));
  EXPECT_FALSE(notice.shouldShow(0x30, true, false));
  EXPECT_TRUE(notice.needsCheck(0x20, false));

  // Memory is bounded: after kMemory other windows, the first is told again.
  for (uintptr_t w = 0x1000; w < 0x1000 + ElevationNotice::kMemory; ++w) ASSERT_TRUE(notice.shouldShow(w, true, false));
  EXPECT_FALSE(notice.shouldShow(0x1000 + ElevationNotice::kMemory - 1, true, false));
  EXPECT_TRUE(notice.needsCheck(0x30, false));
  EXPECT_TRUE(notice.shouldShow(0x30, true, false));

  // Windows decides by integrity level, not by elevation alone: a medium
  // program is blocked by a high or system one (or one it may not open), a
  // high one only by a system one, and one at system level by none.
  EXPECT_TRUE(IntegrityBlocksInput(0x2000, 0x3000));
  EXPECT_TRUE(IntegrityBlocksInput(0x3000, kIntegritySystem));
  EXPECT_TRUE(IntegrityBlocksInput(0x2000, kIntegrityUnknownAbove));
  EXPECT_FALSE(IntegrityBlocksInput(0x3000, 0x2000));
  EXPECT_FALSE(IntegrityBlocksInput(0x2000, 0x2000));
  EXPECT_TRUE(IntegrityCanBeBlocked(0x3000));
  EXPECT_FALSE(IntegrityCanBeBlocked(kIntegritySystem));
}

TEST(RecentMessages, AClickOpensTheBalloonOnShowAndTheMenuKeepsTheLastTen) {
  RecentMessages recent;
  recent.add(L"First", L"https://example.com/1", 9, 5, 0);
  recent.ownBalloon(0);
  recent.add(L"Second", L"https://example.com/2", 9, 6, 0);
  // A shell that never says which balloon shows: the newest one's.
  EXPECT_EQ(std::wstring(recent.clicked()->target), L"https://example.com/2");
  // Balloons queue: the first on show is the first asked for, even when the
  // user was away and it stayed up long.
  recent.balloonShown(0);
  EXPECT_EQ(std::wstring(recent.clicked()->target), L"https://example.com/1");
  recent.balloonGone(100000);
  EXPECT_EQ(recent.clicked(), nullptr);
  recent.balloonShown(100000);  // the program's own
  EXPECT_EQ(recent.clicked(), nullptr);
  recent.balloonShown(110000);
  EXPECT_EQ(std::wstring(recent.clicked()->title), L"Second");
  recent.balloonGone(120000);

  // Balloons dropped unseen: one the shell says went while none showed
  // (quiet time), one it never speaks of (Focus Assist).
  recent.add(L"Quiet", L"", 9, 7, 130000);
  recent.balloonGone(130001);
  recent.add(L"Third", L"", 9, 8, 131000);
  recent.balloonShown(131500);
  EXPECT_EQ(std::wstring(recent.clicked()->title), L"Third");
  recent.balloonGone(140000);
  recent.add(L"Hidden", L"", 9, 9, 150000);
  recent.add(L"Fourth", L"", 9, 10, 200000);
  recent.balloonShown(200500);
  EXPECT_EQ(std::wstring(recent.clicked()->title), L"Fourth");

  for (int i = 0; i < 12; ++i) recent.add((L"M" + std::to_wstring(i)).c_str(), L"", 23, 59, 0);
  ASSERT_EQ(recent.size(), RecentMessages::kCapacity);
  EXPECT_EQ(std::wstring(recent.newest(0).title), L"M11");
  EXPECT_EQ(std::wstring(recent.newest(9).title), L"M2");
  wchar_t item[32];
  recent.add(L"Q&A \xD83D\xDE00", L"", 7, 3, 0);
  FormatRecentItem(item, 32, recent.newest(0));
  EXPECT_EQ(std::wstring(item), L"07:03  Q&&A \xD83D\xDE00");  // no access letter from a title
  FormatRecentItem(item, 14, recent.newest(0));
  EXPECT_EQ(std::wstring(item), L"07:03  Q&&A ");  // never half a pair
}

}  // namespace
}  // namespace tavrin
