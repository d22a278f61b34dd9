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

}  // namespace
}  // namespace tavrin
