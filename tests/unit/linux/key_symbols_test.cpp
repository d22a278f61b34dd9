#include "linux/key_symbols.h"

#include <X11/XF86keysym.h>
#include <X11/keysym.h>
#include <gtest/gtest.h>

#include "input/key_tables.h"
#include "seams/input_codes.h"

namespace tavrin {
namespace {

// Every key a phone can name, and every key a command presses, reaches X.
TEST(KeySymbols, EveryKeyTheCorePressesHasAKeysym) {
  for (const KeyTable* table : {&KeyNameTable(), &ShiftedCharTable()})
    for (const auto& [name, code] : *table)
      EXPECT_NE(KeysymForVirtualKey(static_cast<uint16_t>(code)), kNoKeysym) << "key name \"" << name << "\"";
  for (uint16_t code : {kVkTab, kVkShift, kVkControl, kVkMenu, kVkEscape, kVkPageUp, kVkPageDown, kVkT,
                        kVkLeftWindows, kVkF5, kVkBrowserBack, kVkBrowserForward, kVkBrowserRefresh,
                        kVkBrowserStop, kVkBrowserSearch, kVkBrowserFavorites, kVkBrowserHome, kVkVolumeMute,
                        kVkVolumeDown, kVkVolumeUp, kVkMediaNextTrack, kVkMediaPrevTrack, kVkMediaPlayPause})
    EXPECT_NE(KeysymForVirtualKey(code), kNoKeysym) << "virtual key 0x" << std::hex << code;
}

TEST(KeySymbols, VirtualKeysMeanTheKeysOfAnXKeyboard) {
  // Letters are keys, not characters: Shift is pressed on its own.
  EXPECT_EQ(KeysymForVirtualKey('A'), static_cast<uint32_t>(XK_a));
  EXPECT_EQ(KeysymForVirtualKey(0x7B), static_cast<uint32_t>(XK_F12));
  EXPECT_EQ(KeysymForVirtualKey(kVkMenu), static_cast<uint32_t>(XK_Alt_L));
  EXPECT_EQ(KeysymForVirtualKey(0xDE), static_cast<uint32_t>(XK_apostrophe));
  EXPECT_EQ(KeysymForVirtualKey(kVkBrowserHome), static_cast<uint32_t>(XF86XK_HomePage));
  // Codes no X key stands for: mouse buttons as keys, IME keys, the packet key.
  for (uint16_t code : {0x00, 0x01, 0x15, 0xE7, 0xFF, 0xFFFF}) EXPECT_EQ(KeysymForVirtualKey(code), kNoKeysym);
}

TEST(KeySymbols, TextUnitsTypeTheirOwnCharacter) {
  EXPECT_EQ(KeysymForUnit('a'), static_cast<uint32_t>(XK_a));
  EXPECT_EQ(KeysymForUnit('~'), static_cast<uint32_t>(XK_asciitilde));
  EXPECT_EQ(KeysymForUnit(0xE9), static_cast<uint32_t>(XK_eacute));  // Latin-1 keysyms are their code points
  EXPECT_EQ(KeysymForUnit(0xFF), static_cast<uint32_t>(XK_ydiaeresis));
  EXPECT_EQ(KeysymForUnit(0x0416), 0x01000416u);  // Cyrillic Zhe, as a Unicode keysym
  EXPECT_EQ(KeysymForUnit(0x4E2D), 0x01004E2Du);
  EXPECT_EQ(KeysymForUnit(0xFFFD), 0x0100FFFDu);
  EXPECT_EQ(KeysymForUnit('\r'), static_cast<uint32_t>(XK_Return));
  EXPECT_EQ(KeysymForUnit('\n'), static_cast<uint32_t>(XK_Return));
  EXPECT_EQ(KeysymForUnit('\t'), static_cast<uint32_t>(XK_Tab));
  // Nothing to type: other controls, C1 controls, halves of a surrogate pair.
  for (uint16_t unit : {0x00, 0x1B, 0x7F, 0x85, 0x9F, 0xD800, 0xDBFF, 0xDC00, 0xDFFF})
    EXPECT_EQ(KeysymForUnit(unit), kNoKeysym) << std::hex << unit;
  EXPECT_EQ(KeysymForUnit(0xA0), static_cast<uint32_t>(XK_nobreakspace));
}

}  // namespace
}  // namespace tavrin
