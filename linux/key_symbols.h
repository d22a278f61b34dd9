// The X keysyms for what the core presses: its virtual-key codes (the
// Windows codes of seams/input_codes.h) and the UTF-16 units of typed text.
// Pure lookups; which keycode types a keysym is the keyboard map's business
// (x11_keymap.h).
#pragma once
#include <cstdint>

namespace tavrin {

// X's NoSymbol: no keysym for this key or character.
constexpr uint32_t kNoKeysym = 0;

// The keysym of a key the core names by its virtual-key code: letters as
// their lower-case keysym (Shift is a key of its own), digits, the
// punctuation keys by the character the US keyboard prints on them (the map
// in use then says which key that is), function and navigation keys, the
// left-hand modifiers, and the XF86 media and browser keys. kNoKeysym for a
// code no key of an X keyboard stands for.
uint32_t KeysymForVirtualKey(uint16_t virtualKey);

// The keysym that types one UTF-16 unit: Latin-1 characters by their own
// keysyms, every other character by its Unicode keysym (0x01000000 + code
// point), Return for CR and LF, Tab, BackSpace. kNoKeysym for other control
// characters and for surrogates, which stand for no character alone.
uint32_t KeysymForUnit(uint16_t unit);

}  // namespace tavrin
