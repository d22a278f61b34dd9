#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "input/key_tables.h"
#include "input/keyboard.h"
#include "support/fakes.h"

namespace tavrin {
namespace {

using Events = std::vector<std::string>;

Events Keys(const std::string& payload) {
  test::RecordingInjector injector;
  HandleKeyMessage(injector, payload.data(), static_cast<int32_t>(payload.size()));
  return injector.events();
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
      {"UP", {"key 26 down", "key 26 up"}},
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
  HandleKeyMessage(injector, "ab", 1);  // "b" lies past the payload
  EXPECT_EQ(injector.events(), (Events{"key 41 down", "key 41 up"}));
}

TEST(KeyMessage, HoldFormDoesNotCarryIntoTheNextMessage) {
  test::RecordingInjector injector;
  HandleKeyMessage(injector, "[R] SHIFT", 9);
  HandleKeyMessage(injector, "d", 1);
  EXPECT_EQ(injector.events(), (Events{"key 44 down", "key 44 up"}));
}

TEST(KeyMessage, OverlongTokensAreCutAndParsingGoesOn) {
  // A 300-byte token: its cut form is no key name, and the tokens after it
  // are still typed; after "[R] CTRL" its first byte still counts.
  EXPECT_EQ(Keys(std::string(300, 'x') + " a"), (Events{"key 41 down", "key 41 up"}));
  EXPECT_EQ(Keys("[R] CTRL " + std::string(300, 'd') + " b"),
            (Events{"key 11 down", "key 42 down", "key 42 up"}));
  EXPECT_EQ(Keys("CTRL[+]" + std::string(200, 'w')), Events{});
}

}  // namespace
}  // namespace tavrin
