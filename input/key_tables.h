// Key names from the phone to virtual-key codes.
#pragma once
#include <cstdint>
#include <functional>
#include <map>
#include <string>

namespace tavrin {

constexpr uint16_t NoKey = 0xFFFF;

// Transparent ordering, so that a lookup compares the caller's bytes in place
// instead of building a std::string for every token.
using KeyTable = std::map<std::string, int16_t, std::less<>>;

// Constant tables, built once on first use (thread-safe) and never changed.
const KeyTable& KeyNameTable();      // 82 rows: unshifted and named keys
const KeyTable& ShiftedCharTable();  // 47 rows: characters typed with Shift on a US layout

// Looks `name` up in KeyNameTable, then ShiftedCharTable. `needsShift`, when
// given, is set to false or true on a hit and left alone on a miss.
uint16_t LookupKeyCode(const char* name, bool* needsShift = nullptr);

// Whether a keyboard sends the key with the E0 prefix, which Windows marks
// as the extended-key flag: the navigation keys left of the number pad, the
// right Ctrl and Alt, the Windows and Menu keys, Num Lock, the pad's Divide,
// Print Screen, and the media, volume and browser keys. The layout cannot
// say so (Wine's MapVirtualKeyExW never reports the prefix), so this table does.
bool IsExtendedKey(uint16_t virtualKey);

}  // namespace tavrin
