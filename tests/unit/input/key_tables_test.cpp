#include <gtest/gtest.h>

#include "input/key_tables.h"

namespace tavrin {
namespace {

TEST(KeyTables, HoldEveryRowOnce) {
  EXPECT_EQ(KeyNameTable().size(), 82u);
  EXPECT_EQ(ShiftedCharTable().size(), 47u);
  for (const auto& row : KeyNameTable()) EXPECT_EQ(ShiftedCharTable().count(row.first), 0u) << row.first;
}

TEST(KeyTables, LookupGivesCodeAndShift) {
  struct Case {
    const char* name;
    uint16_t code;
    bool shift;
  };
  const Case cases[] = {
      {"a", 0x41, false}, {"A", 0x41, true},    {"z", 0x5A, false},  {"Z", 0x5A, true},
      {"1", 0x31, false}, {"!", 0x31, true},    {")", 0x30, true},   {"F5", 0x74, false},
      {"F12", 0x7B, false}, {" ", 0x20, false}, {"SPC", 0x20, false}, {"DW", 0x28, false},
      {"LF", 0x25, false}, {"RT", 0x27, false}, {"`", 0xC0, false},  {"~", 0xC0, true},
      {"\\", 0xDC, false}, {"|", 0xDC, true},   {"'", 0xDE, false},  {"\"", 0xDE, true},
      {"SHIFT", 0x10, false}, {"?", 0xBF, true},
  };
  for (const Case& c : cases) {
    bool shift = !c.shift;
    EXPECT_EQ(LookupKeyCode(c.name, &shift), c.code) << c.name;
    EXPECT_EQ(shift, c.shift) << c.name;
    EXPECT_EQ(LookupKeyCode(c.name), c.code) << c.name;
  }
}

TEST(KeyTables, UnknownNamesGiveNoKeyAndLeaveShiftAlone) {
  for (const char* name : {"", "f5", "ctrl", "Esc", "Tab", "DOWN", "LEFT", "RIGHT", "ab", "F13", "a "}) {
    bool shift = true;
    EXPECT_EQ(LookupKeyCode(name, &shift), NoKey) << name;
    EXPECT_TRUE(shift) << name;
  }
}

TEST(KeyTables, ExtendedKeysAreTheE0KeysAndNotTheirTwins) {
  for (int key : {0x21, 0x22, 0x23, 0x24, 0x25, 0x26, 0x27, 0x28, 0x2D, 0x2E, 0xA3, 0xA5, 0x5B, 0x5C, 0x5D, 0x90, 0x6F,
                  0x2C, 0xAD, 0xAE, 0xAF, 0xB0, 0xB1, 0xB2, 0xB3, 0xA6, 0xAC})
    EXPECT_TRUE(IsExtendedKey(static_cast<uint16_t>(key))) << key;
  // The number pad's twins, the left-hand and generic modifiers, Enter, typing keys.
  for (int key : {0x60, 0x61, 0x63, 0x64, 0x66, 0x67, 0x68, 0x69, 0x6E, 0x10, 0x11, 0x12, 0xA2, 0xA4, 0x0D, 0x41, 0xBF})
    EXPECT_FALSE(IsExtendedKey(static_cast<uint16_t>(key))) << key;
}

}  // namespace
}  // namespace tavrin
