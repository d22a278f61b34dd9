// The X keyboard map as the injector needs it: which key types a keysym, and
// spare keys (keycodes the map leaves empty) to bind the keysyms it lacks.
//
// A client turns a key event into a character with the map it holds when it
// reads the event, and fetches a new map only after a mapping notice. So a
// binding must stand from before its key is pressed until every client has
// read that press: keysyms are bound a run at a time, in one change of the
// map, and a spare key is bound anew only once the keys typed with its old
// keysym have had time to be read. Bindings stay for later runs (typing the
// same script again changes nothing), are undone when the program ends, and
// are listed in a file so that a run that ended without undoing them (a
// crash) has them cleared by the next start.
#pragma once
#include <X11/Xlib.h>

#include <cstdint>
#include <string>
#include <vector>

namespace tavrin {

// One key to press for a keysym: its keycode, and whether Shift must be held
// (the keysym is on the key's second level).
struct Stroke {
  uint8_t keycode = 0;
  bool shift = false;
};

class X11Keymap {
 public:
  // How long a client is given to read keys typed with a spare key's
  // binding before the key is bound to another keysym.
  static constexpr uint32_t kSettleMs = 150;

  // `leftovers` is the file that lists the bindings while they stand.
  X11Keymap(Display* display, std::string leftovers);
  ~X11Keymap();
  X11Keymap(const X11Keymap&) = delete;
  X11Keymap& operator=(const X11Keymap&) = delete;

  // Reads the map, clears the bindings an earlier run left (as its file
  // lists them) and takes the empty keycodes as spare keys. False when the
  // map cannot be read.
  bool open();
  // Call when a mapping notice arrives: the map is read again, and spare
  // keys that someone else has bound since are given up.
  void reload();

  // Makes as many of `keysyms` (from the first) typeable as the spare keys
  // allow, binding the missing ones with one change of the map; returns how
  // many. Never 0 while `count` > 0: a keysym that cannot be typed at all
  // counts as done (it is then skipped by strokeFor).
  int32_t prepare(const uint32_t* keysyms, int32_t count, uint32_t now);
  // The key for a keysym already in the map or bound; false if none.
  bool strokeFor(uint32_t keysym, Stroke& stroke) const;
  // Notes that `keycode` was pressed or released at `now` (a spare key is
  // never rebound while it is down, nor within kSettleMs of its last use).
  void noteKey(uint8_t keycode, bool down, uint32_t now);
  // The keycode of a modifier (Shift_L) in the map, 0 if none.
  uint8_t keycodeOf(uint32_t keysym) const;

  // Undoes every binding (at exit) and removes the file.
  void restore();

  size_t spareCount() const { return spares_.size(); }

 private:
  struct Spare {
    uint8_t keycode = 0;
    uint32_t keysym = 0;  // bound now; 0: free
    uint32_t lastUsed = 0;
    bool down = false;
  };
  uint32_t at(int keycode, int level) const;
  // Whether every level of `keycode` is `keysym` (NoSymbol: an empty key).
  bool holdsOnly(int keycode, uint32_t keysym) const;
  void read();
  bool naturalStroke(uint32_t keysym, Stroke& stroke) const;
  bool isSpare(int keycode) const;
  Spare* spareFor(uint32_t keysym);
  const Spare* spareFor(uint32_t keysym) const;
  // Writes the bindings of `changed` keycodes (spare records) in one change.
  void write(const std::vector<Spare*>& changed);
  void clearLeftovers();
  void saveList() const;

  Display* display_;
  std::string leftovers_;
  int minKeycode_ = 0, maxKeycode_ = 0, perKeycode_ = 0;
  std::vector<uint32_t> map_;  // perKeycode_ keysyms per keycode from minKeycode_
  std::vector<Spare> spares_;
};

}  // namespace tavrin
