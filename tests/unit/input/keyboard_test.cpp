#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "input/key_tables.h"
#include "input/keyboard.h"
#include "support/fake_desktop.h"
#include "support/fakes.h"

namespace tavrin {
namespace {

using Events = std::vector<std::string>;

Events Keys(const std::string& payload, Desktop& desktop) {
  test::RecordingInjector injector;
  Keyboard keyboard(injector, desktop);
  HandleKeyMessage(keyboard, payload.data(), static_cast<int32_t>(payload.size()));
  return injector.events();
}

Events Keys(const std::string& payload) {  // a US layout without scan codes
  test::FakeDesktop desktop;
  return Keys(payload, desktop);
}

TEST(KeyMessage, TokensToEvents) {
  struct Case {
    const char* payload;
    Events events;
  };
  const Case cases[] = {
      {"a", {"key 41 down", "key 41 up"}},
      {"A", {"key 10 down", "key 41 down", "key 41 up", "key 10 up"}},
      {"!", {"key 10 down", "key 31 down", "key 31 up", "key 10 up"}},
      {"F5", {"key 74 down", "key 74 up"}},
      {"f5", {}},
      {"hello", {}},
      {"UP", {"key 26 down ext", "key 26 up ext"}},
      {"a b", {"key 41 down", "key 41 up", "key 42 down", "key 42 up"}},
      {"a  b", {"key 41 down", "key 41 up", "key 20 down", "key 20 up", "key 42 down", "key 42 up"}},
      {" ", {"key 20 down", "key 20 up"}},
      {"SPC", {"key 20 down", "key 20 up"}},
      {"a ", {"key 41 down", "key 41 up"}},
      {"", {}},
      {"CTRL[+]w", {"key 11 down", "key 57 down", "key 57 up", "key 11 up"}},
      {"CTRL[+]A", {"key 11 down", "key 41 down", "key 41 up", "key 11 up"}},
      {"CTRL[+]SHIFT[+]s", {}},
      {"[+]a", {}},
      {"[R] SHIFT d", {"key 10 down"}},
      {"[R] SHIFT u", {"key 10 up"}},
      {"[R] CTRL down", {"key 11 down"}},
      {"[R] SHIFT x a", {"key 41 down", "key 41 up"}},
      {"[R] SHIFT", {}},
      {"[R] unknown d", {"key 44 down", "key 44 up"}},
      {"[R] A d", {"key 41 down"}},
      {"[R] CTRL d [R] SHIFT d s [R] SHIFT u [R] CTRL u",
       {"key 11 down", "key 10 down", "key 53 down", "key 53 up", "key 10 up", "key 11 up"}},
      {"a\tb", {}},
  };
  for (const Case& c : cases) EXPECT_EQ(Keys(c.payload), c.events) << '"' << c.payload << '"';
}

TEST(KeyMessage, ReadsExactlyTheGivenLength) {
  test::RecordingInjector injector;
  NullDesktop desktop;
  Keyboard keyboard(injector, desktop);
  HandleKeyMessage(keyboard, "ab", 1);  // "b" lies past the payload
  EXPECT_EQ(injector.events(), (Events{"key 41 down", "key 41 up"}));
}

TEST(KeyMessage, HoldFormDoesNotCarryIntoTheNextMessage) {
  test::RecordingInjector injector;
  NullDesktop desktop;
  Keyboard keyboard(injector, desktop);
  HandleKeyMessage(keyboard, "[R] SHIFT", 9);
  HandleKeyMessage(keyboard, "d", 1);
  EXPECT_EQ(injector.events(), (Events{"key 44 down", "key 44 up"}));
}

TEST(KeyMessage, KeysCarryTheForegroundLayoutsScanCodes) {
  test::FakeDesktop desktop;
  desktop.currentLayout = 0x04070407;  // German: Z where a US keyboard has Y
  desktop.scanCodes = {{0x5A, 0x15}, {0x10, 0x2A}, {0x26, 0x48}};
  EXPECT_EQ(Keys("Z [R] UP d", desktop), (Events{"key 10 down sc 2a", "key 5a down sc 15", "key 5a up sc 15",
                                                 "key 10 up sc 2a", "key 26 down sc 48 ext"}));
}

TEST(KeyMessage, CharactersAreTypedAsTheForegroundLayoutTypesThem) {
  // "@" is AltGr+Q, "/" Shift+7, "1" needs Shift; "^" is a dead key, "$"
  // would need Ctrl alone and "~" has no key: those become Unicode events.
  test::FakeDesktop desktop;
  desktop.currentLayout = 0x040C040C;
  desktop.characterKeys = {{'@', 0x0651}, {'/', 0x0137}, {'1', 0x0131}, {'^', 0x00DD}, {'$', 0x0234}};
  desktop.deadKeys = {0xDD};
  EXPECT_EQ(Keys("@ / 1", desktop), (Events{"key 11 down", "key 12 down", "key 51 down", "key 51 up", "key 12 up",
                                            "key 11 up", "key 10 down", "key 37 down", "key 37 up", "key 10 up",
                                            "key 10 down", "key 31 down", "key 31 up", "key 10 up"}));
  EXPECT_EQ(Keys("^ $ ~", desktop), (Events{"unicode 005e", "unicode 005e up", "unicode 0024", "unicode 0024 up",
                                            "unicode 007e", "unicode 007e up"}));
  // Letters, combinations and the hold form keep the tables' keys, and so
  // does everything without a layout to ask.
  EXPECT_EQ(Keys("q CTRL[+]/ [R] @ d", desktop), (Events{"key 51 down", "key 51 up", "key 11 down", "key bf down",
                                                         "key bf up", "key 11 up", "key 32 down"}));
  NullDesktop none;
  EXPECT_EQ(Keys("@", none), (Events{"key 10 down", "key 32 down", "key 32 up", "key 10 up"}));
}

}  // namespace
}  // namespace tavrin
