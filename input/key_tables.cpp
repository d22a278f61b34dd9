#include "input/key_tables.h"

namespace tavrin {

std::map<std::string, int16_t> KeyNameTable;
std::map<std::string, int16_t> ShiftedCharTable;
void InitKeyTables() {}
uint16_t LookupKeyCode(const char*, bool*) { return NoKey; }

}  // namespace tavrin
