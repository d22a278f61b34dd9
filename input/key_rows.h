// The rows of the key tables, as data the Windows build can hold against
// windows.h (app/win32_constants.cpp) before the tables are built from them.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string_view>

namespace tavrin {

struct KeyRow {
  const char* name;
  int16_t code;
};

inline constexpr KeyRow kKeyNameRows[] = {
    {"0", 0x30}, {"1", 0x31}, {"2", 0x32}, {"3", 0x33}, {"4", 0x34},
    {"5", 0x35}, {"6", 0x36}, {"7", 0x37}, {"8", 0x38}, {"9", 0x39},
    {"a", 0x41}, {"b", 0x42}, {"c", 0x43}, {"d", 0x44}, {"e", 0x45}, {"f", 0x46}, {"g", 0x47},
    {"h", 0x48}, {"i", 0x49}, {"j", 0x4A}, {"k", 0x4B}, {"l", 0x4C}, {"m", 0x4D}, {"n", 0x4E},
    {"o", 0x4F}, {"p", 0x50}, {"q", 0x51}, {"r", 0x52}, {"s", 0x53}, {"t", 0x54}, {"u", 0x55},
    {"v", 0x56}, {"w", 0x57}, {"x", 0x58}, {"y", 0x59}, {"z", 0x5A},
    {"F1", 0x70}, {"F2", 0x71}, {"F3", 0x72}, {"F4", 0x73}, {"F5", 0x74}, {"F6", 0x75},
    {"F7", 0x76}, {"F8", 0x77}, {"F9", 0x78}, {"F10", 0x79}, {"F11", 0x7A}, {"F12", 0x7B},
    {"ESC", 0x1B},   // VK_ESCAPE
    {"RTN", 0x0D},   // VK_RETURN
    {"BAS", 0x08},   // VK_BACK
    {"TAB", 0x09},   // VK_TAB
    {"PRN", 0x2C},   // VK_SNAPSHOT
    {"CTRL", 0x11},  // VK_CONTROL
    {"ALT", 0x12},   // VK_MENU
    {"SHIFT", 0x10}, // VK_SHIFT
    {"CAP", 0x14},   // VK_CAPITAL
    {"INS", 0x2D},   // VK_INSERT
    {"DEL", 0x2E},   // VK_DELETE
    {"HOME", 0x24},  // VK_HOME
    {"END", 0x23},   // VK_END
    {"PGUP", 0x21},  // VK_PRIOR
    {"PGDN", 0x22},  // VK_NEXT
    {"UP", 0x26},    // VK_UP
    {"DW", 0x28},    // VK_DOWN
    {"LF", 0x25},    // VK_LEFT
    {"RT", 0x27},    // VK_RIGHT
    {"WIN", 0x5B},   // VK_LWIN
    {"MENU", 0x5D},  // VK_APPS
    {" ", 0x20},     // VK_SPACE
    {"SPC", 0x20},   // VK_SPACE
    {"-", 0xBD},     // VK_OEM_MINUS
    {"=", 0xBB},     // VK_OEM_PLUS
    {"`", 0xC0},     // VK_OEM_3
    {"[", 0xDB},     // VK_OEM_4
    {"]", 0xDD},     // VK_OEM_6
    {";", 0xBA},     // VK_OEM_1
    {"'", 0xDE},     // VK_OEM_7
    {"\\", 0xDC},    // VK_OEM_5
    {",", 0xBC},     // VK_OEM_COMMA
    {".", 0xBE},     // VK_OEM_PERIOD
    {"/", 0xBF},     // VK_OEM_2
};

// Each character maps to the key that produces it together with Shift.
inline constexpr KeyRow kShiftedCharRows[] = {
    {"A", 0x41}, {"B", 0x42}, {"C", 0x43}, {"D", 0x44}, {"E", 0x45}, {"F", 0x46}, {"G", 0x47},
    {"H", 0x48}, {"I", 0x49}, {"J", 0x4A}, {"K", 0x4B}, {"L", 0x4C}, {"M", 0x4D}, {"N", 0x4E},
    {"O", 0x4F}, {"P", 0x50}, {"Q", 0x51}, {"R", 0x52}, {"S", 0x53}, {"T", 0x54}, {"U", 0x55},
    {"V", 0x56}, {"W", 0x57}, {"X", 0x58}, {"Y", 0x59}, {"Z", 0x5A},
    {")", 0x30}, {"!", 0x31}, {"@", 0x32}, {"#", 0x33}, {"$", 0x34},
    {"%", 0x35}, {"^", 0x36}, {"&", 0x37}, {"*", 0x38}, {"(", 0x39},
    {"_", 0xBD}, {"+", 0xBB}, {"~", 0xC0}, {"{", 0xDB}, {"}", 0xDD},
    {":", 0xBA}, {"\"", 0xDE}, {"|", 0xDC}, {"<", 0xBC}, {">", 0xBE}, {"?", 0xBF},
};

// Without the flag a navigation key is taken for its number-pad twin: with
// Num Lock on, Shift+Left then moves instead of selecting.
inline constexpr uint16_t kExtendedKeys[] = {
    0x21, 0x22, 0x23, 0x24,  // VK_PRIOR, VK_NEXT, VK_END, VK_HOME
    0x25, 0x26, 0x27, 0x28,  // VK_LEFT, VK_UP, VK_RIGHT, VK_DOWN
    0x2C, 0x2D, 0x2E,        // VK_SNAPSHOT, VK_INSERT, VK_DELETE
    0x5B, 0x5C, 0x5D,        // VK_LWIN, VK_RWIN, VK_APPS
    0x6F, 0x90,              // VK_DIVIDE, VK_NUMLOCK
    0xA3, 0xA5,              // VK_RCONTROL, VK_RMENU
    0xA6, 0xA7, 0xA8, 0xA9, 0xAA, 0xAB, 0xAC,  // VK_BROWSER_BACK ... VK_BROWSER_HOME
    0xAD, 0xAE, 0xAF,                          // VK_VOLUME_MUTE, VK_VOLUME_DOWN, VK_VOLUME_UP
    0xB0, 0xB1, 0xB2, 0xB3,                    // VK_MEDIA_NEXT_TRACK, _PREV_TRACK, _STOP, _PLAY_PAUSE
};

// The code of the row named `name`, or -1: lets a check name a row instead of
// counting to it.
template <size_t Count>
constexpr int32_t KeyRowCode(const KeyRow (&rows)[Count], std::string_view name) {
  for (const KeyRow& row : rows)
    if (name == row.name) return row.code;
  return -1;
}

}  // namespace tavrin
