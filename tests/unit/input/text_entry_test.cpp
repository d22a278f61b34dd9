#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <string>
#include <vector>

#include "input/text_entry.h"
#include "support/fake_desktop.h"
#include "support/fakes.h"

namespace tavrin {
namespace {

using Events = std::vector<std::string>;
using Units = std::vector<uint16_t>;

struct Decoded {
  int result;
  Units units;
};

Decoded Decode(const std::string& text, int32_t capacity = kTextUnitCapacity) {
  std::vector<uint16_t> buffer(static_cast<size_t>(capacity) + 1, 0xAAAA);
  const int result = DecodeUtf8ToUtf16(text.c_str(), buffer.data(), capacity);
  Units units;
  for (size_t i = 0; i < buffer.size() && buffer[i] != 0xAAAA; ++i) units.push_back(buffer[i]);
  return {result, units};
}

TEST(Utf8Decoder, DecodesAndStopsWhereItMust) {
  struct Case {
    const char* text;
    int result;
    Units units;  // including the terminating zero when the result is 0
  };
  const Case cases[] = {
      {"abc", 0, {0x61, 0x62, 0x63, 0}},
      {"", 0, {0}},
      {"\xC3\xA9", 0, {0xE9, 0}},
      {"\xD0\x96\xE4\xB8\xAD", 0, {0x416, 0x4E2D, 0}},
      {"a\xC3", -1, {0x61}},                // cut off inside a sequence
      {"a\xE4\xB8", -1, {0x61}},
      {"ab\xF0\x9F\x98\x80", -1, {0x61, 0x62}},  // beyond U+FFFF
      {"\xF0\x9F\x98\x80z", -1, {}},
      {"\xC0\x80", 0, {0, 0}},              // overlong zero
      {"\x80\xBF", 0, {0x80, 0xBF, 0}},     // lone continuation bytes stand for themselves
      {"\xED\xA0\x80", 0, {0xD800, 0}},     // surrogates are not refused
      {"\xF8\x88\x80\x80\x80", -1, {}},         // five-byte form of U+200000
      {"\xFC\x80\x80\x80\x80\x80", 0, {0, 0}},  // six-byte overlong zero, by wrapping arithmetic
  };
  for (const Case& c : cases) {
    const Decoded d = Decode(c.text);
    EXPECT_EQ(d.result, c.result) << c.text;
    EXPECT_EQ(d.units, c.units) << c.text;
  }
}

TEST(Utf8Decoder, NeverFillsTheTerminatorSlot) {
  const Decoded d = Decode(std::string(2000, 'x'));
  EXPECT_EQ(d.result, -1);
  EXPECT_EQ(d.units.size(), 1023u);
  EXPECT_EQ(Decode("abc", 3).units, (Units{0x61, 0x62}));
  EXPECT_EQ(Decode("ab", 3).result, 0);
  EXPECT_EQ(Decode("a", 0).units, Units{});
}

struct Typing {
  test::FakeDesktop desktop;
  test::RecordingInjector injector;
  Events type(const char* text) {
    TypeUtf8Text(injector, desktop, desktop, text);
    return injector.take();
  }
};

TEST(TypeUtf8Text, UnicodeWindowGetsPressesOnly) {
  Typing t;
  t.desktop.foreground = 5;
  EXPECT_EQ(t.type("abc"), (Events{"unicode 0061", "unicode 0062", "unicode 0063"}));
  EXPECT_EQ(t.type("\xD0\x96"), (Events{"unicode 0416"}));
  EXPECT_EQ(t.type("x\r"), (Events{"unicode 0078", "unicode 000d"}));
  EXPECT_EQ(t.type(""), Events{});
  EXPECT_EQ(t.type(std::string(2000, 'q').c_str()).size(), 1023u);
  EXPECT_TRUE(t.desktop.calls.empty());
}

TEST(TypeUtf8Text, NonUnicodeWindowGetsPostedCharsAbove254) {
  Typing t;
  t.desktop.foreground = 5;
  t.desktop.unicode = false;
  EXPECT_EQ(t.type("\xC3\xA9\xC3\xBF"), (Events{"unicode 00e9"}));
  EXPECT_EQ(t.desktop.calls, (Events{"attach 7 on", "sleep 20", "post 5 0102 00ff 1", "attach 7 off"}));
}

// An injector that prepares the keyboard per run (X binds missing characters
// to spare keys) must get each run whole, split only by posted characters.
TEST(TypeUtf8Text, HandsKeyEventsOnInRunsAroundPostedCharacters) {
  struct RunInjector : test::RecordingInjector {
    Events runs;
    int32_t text(const uint16_t* units, int32_t count) override {
      std::string run;
      for (int32_t i = 0; i < count; ++i) run += (i ? " " : "") + std::to_string(units[i]);
      runs.push_back(run);
      return count;
    }
  };
  test::FakeDesktop desktop;
  desktop.foreground = 5;
  RunInjector unicode;
  TypeUtf8Text(unicode, desktop, desktop, "a\xD0\x96" "b");
  EXPECT_EQ(unicode.runs, (Events{"97 1046 98"}));
  desktop.unicode = false;
  RunInjector split;
  TypeUtf8Text(split, desktop, desktop, "ab\xD0\x96\xD0\x96" "c\xD0\x96");
  EXPECT_EQ(split.runs, (Events{"97 98", "99"}));
  EXPECT_EQ(std::count(desktop.calls.begin(), desktop.calls.end(), "post 5 0102 0416 1"), 3);
  EXPECT_TRUE(split.take().empty());
}

TEST(TypeUtf8Text, StopsBetweenCharactersOnceTheProgramStops) {
  // Stopping is asked for while the second posted character waits its 20 ms.
  struct StoppingDesktop : test::FakeDesktop {
    std::atomic<bool> stop{false};
    void sleepMilliseconds(uint32_t ms) override {
      FakeDesktop::sleepMilliseconds(ms);
      if (std::count(calls.begin(), calls.end(), "sleep 20") == 2) stop = true;
    }
  } desktop;
  desktop.foreground = 5;
  desktop.unicode = false;
  test::RecordingInjector injector;
  TypeUtf8Text(injector, desktop, desktop, "\xD0\x96\xD0\x96\xD0\x96" "a", &desktop.stop);
  EXPECT_EQ(std::count(desktop.calls.begin(), desktop.calls.end(), "post 5 0102 0416 1"), 2);
  EXPECT_TRUE(injector.take().empty());
}

TEST(TypeUtf8Text, PostsToCaretThenFocusThenActiveWindow) {
  struct Case {
    GuiThreadWindows gui;
    bool available;
    const char* post;
  };
  const Case cases[] = {
      {{11, 12, 13}, true, "post 11 0102 0416 1"},
      {{0, 12, 13}, true, "post 12 0102 0416 1"},
      {{0, 0, 13}, true, "post 13 0102 0416 1"},
      {{0, 0, 0}, true, "post 5 0102 0416 1"},
      {{11, 12, 13}, false, "post 5 0102 0416 1"},
  };
  for (const Case& c : cases) {
    Typing t;
    t.desktop.foreground = 5;
    t.desktop.unicode = false;
    t.desktop.gui = c.gui;
    t.desktop.guiInfoAvailable = c.available;
    t.type("\xD0\x96");
    ASSERT_EQ(t.desktop.calls.size(), 4u);
    EXPECT_EQ(t.desktop.calls[2], c.post);
  }
}

TEST(TypeUtf8Text, NoForegroundWindowUsesInjectionForEverything) {
  Typing t;
  t.desktop.unicode = false;
  EXPECT_EQ(t.type("\xD0\x96"), (Events{"unicode 0416"}));
  EXPECT_TRUE(t.desktop.calls.empty());
}

TEST(PostCharWithLayoutSwitch, SwitchesToTheFirstNonUsLayoutAndBack) {
  test::FakeDesktop desktop;
  desktop.layouts = {0x04090409, 0xF0020409, 0x04190419, 0x04070407};
  desktop.currentLayout = 0x04090409;
  PostCharWithLayoutSwitch(desktop, desktop, 9, 7, 0x0416);
  EXPECT_EQ(desktop.calls, (Events{"attach 7 on", "sleep 20", "post 9 0050 0001 4190419", "post 9 0102 0416 1",
                                   "post 9 0050 0001 4090409", "attach 7 off"}));
}

TEST(PostCharWithLayoutSwitch, NoSwitchWhenNoneQualifiesOrAlreadyChosen) {
  for (uintptr_t current : {uintptr_t{0x04090409}, uintptr_t{0x04190419}}) {
    test::FakeDesktop desktop;
    desktop.layouts = current == 0x04090409 ? std::vector<uintptr_t>{0x04090409} : std::vector<uintptr_t>{0x04190419};
    desktop.currentLayout = current;
    PostCharWithLayoutSwitch(desktop, desktop, 9, 7, 0x4E2D);
    EXPECT_EQ(desktop.calls, (Events{"attach 7 on", "sleep 20", "post 9 0102 4e2d 1", "attach 7 off"}));
  }
}

}  // namespace
}  // namespace tavrin
