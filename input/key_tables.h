// Key names from the phone to virtual-key codes.
#pragma once
#include <cstdint>
#include <map>
#include <string>

namespace tavrin {

constexpr uint16_t NoKey = 0xFFFF;

extern std::map<std::string, int16_t> KeyNameTable;      // 82 rows
extern std::map<std::string, int16_t> ShiftedCharTable;  // 47 rows

void InitKeyTables();
// Looks `name` up in KeyNameTable, then ShiftedCharTable. `needsShift`, when
// given, is set to false or true on a hit and left alone on a miss.
uint16_t LookupKeyCode(const char* name, bool* needsShift = nullptr);

}  // namespace tavrin
