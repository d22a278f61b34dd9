#include "input/key_tables.h"

#include <string_view>

#include "input/key_rows.h"

namespace tavrin {

namespace {

static_assert(sizeof kKeyNameRows / sizeof kKeyNameRows[0] == 82);
static_assert(sizeof kShiftedCharRows / sizeof kShiftedCharRows[0] == 47);

template <size_t Count>
KeyTable Build(const KeyRow (&rows)[Count]) {
  KeyTable table;
  for (const KeyRow& row : rows) table.emplace(row.name, row.code);
  return table;
}

}  // namespace

const KeyTable& KeyNameTable() {
  static const KeyTable table = Build(kKeyNameRows);
  return table;
}

const KeyTable& ShiftedCharTable() {
  static const KeyTable table = Build(kShiftedCharRows);
  return table;
}

bool IsExtendedKey(uint16_t virtualKey) {
  for (const uint16_t key : kExtendedKeys)
    if (key == virtualKey) return true;
  return false;
}

uint16_t LookupKeyCode(const char* name, bool* needsShift) {
  const std::string_view key(name);
  const KeyTable& names = KeyNameTable();
  if (auto it = names.find(key); it != names.end()) {
    if (needsShift) *needsShift = false;
    return static_cast<uint16_t>(it->second);
  }
  const KeyTable& shifted = ShiftedCharTable();
  if (auto it = shifted.find(key); it != shifted.end()) {
    if (needsShift) *needsShift = true;
    return static_cast<uint16_t>(it->second);
  }
  return NoKey;
}

}  // namespace tavrin
