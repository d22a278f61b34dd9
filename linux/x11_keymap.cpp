#include "linux/x11_keymap.h"

#include <X11/Xutil.h>

#include <algorithm>
#include <cstddef>
#include <cstdio>

#include "linux/posix_handles.h"
#include "seams/system.h"

namespace tavrin {

X11Keymap::X11Keymap(Display* display, std::string leftovers)
    : display_(display), leftovers_(std::move(leftovers)) {}

X11Keymap::~X11Keymap() { restore(); }

uint32_t X11Keymap::at(int keycode, int level) const {
  if (keycode < minKeycode_ || keycode > maxKeycode_ || level >= perKeycode_) return NoSymbol;
  return map_[static_cast<size_t>((keycode - minKeycode_) * perKeycode_ + level)];
}

void X11Keymap::reload() {
  read();
  // A spare key that no longer types what this program bound to it (a new
  // layout, a binding of the user's) is not ours any more: never bound again
  // nor cleared at exit. A key the change left empty can serve instead.
  bool given = false;
  // (The server may read a binding back with fewer levels than were
  // written: the first level tells.)
  for (size_t i = spares_.size(); i-- > 0;)
    if (spares_[i].keysym == NoSymbol ? !holdsOnly(spares_[i].keycode, NoSymbol)
                                      : at(spares_[i].keycode, 0) != spares_[i].keysym) {
      spares_.erase(spares_.begin() + static_cast<std::ptrdiff_t>(i));
      given = true;
    }
  for (int keycode = maxKeycode_; keycode >= minKeycode_; --keycode)
    if (!isSpare(keycode) && holdsOnly(keycode, NoSymbol)) spares_.push_back(Spare{static_cast<uint8_t>(keycode)});
  if (given) saveList();
}

bool X11Keymap::holdsOnly(int keycode, uint32_t keysym) const {
  for (int level = 0; level < perKeycode_; ++level)
    if (at(keycode, level) != keysym) return false;
  return true;
}

void X11Keymap::read() {
  int per = 0;
  KeySym* keysyms = XGetKeyboardMapping(display_, static_cast<KeyCode>(minKeycode_), maxKeycode_ - minKeycode_ + 1, &per);
  if (!keysyms) return;
  perKeycode_ = per;
  map_.assign(keysyms, keysyms + static_cast<size_t>((maxKeycode_ - minKeycode_ + 1) * per));
  XFree(keysyms);
}

bool X11Keymap::open() {
  XDisplayKeycodes(display_, &minKeycode_, &maxKeycode_);
  read();
  if (map_.empty()) return false;
  clearLeftovers();
  spares_.clear();
  // The highest keycodes first: they are usually one empty block, so that a
  // run's bindings make one contiguous change.
  for (int keycode = maxKeycode_; keycode >= minKeycode_; --keycode)
    if (holdsOnly(keycode, NoSymbol)) spares_.push_back(Spare{static_cast<uint8_t>(keycode)});
  return true;
}

// The map's own keys only: what a spare key types is what spares_ says, also
// while a run is being planned and the map still shows the old binding.
bool X11Keymap::naturalStroke(uint32_t keysym, Stroke& stroke) const {
  for (int level = 0; level < 2 && level < perKeycode_; ++level)
    for (int keycode = minKeycode_; keycode <= maxKeycode_; ++keycode)
      if (at(keycode, level) == keysym && !isSpare(keycode)) {
        stroke = Stroke{static_cast<uint8_t>(keycode), level == 1};
        return true;
      }
  return false;
}

bool X11Keymap::isSpare(int keycode) const {
  return std::any_of(spares_.begin(), spares_.end(), [keycode](const Spare& s) { return s.keycode == keycode; });
}

X11Keymap::Spare* X11Keymap::spareFor(uint32_t keysym) {
  for (Spare& spare : spares_)
    if (spare.keysym == keysym) return &spare;
  return nullptr;
}

const X11Keymap::Spare* X11Keymap::spareFor(uint32_t keysym) const {
  return const_cast<X11Keymap*>(this)->spareFor(keysym);
}

bool X11Keymap::strokeFor(uint32_t keysym, Stroke& stroke) const {
  if (keysym == NoSymbol) return false;
  if (const Spare* spare = spareFor(keysym)) {
    stroke = Stroke{spare->keycode, false};
    return true;
  }
  return naturalStroke(keysym, stroke);
}

uint8_t X11Keymap::keycodeOf(uint32_t keysym) const {
  Stroke stroke;
  return naturalStroke(keysym, stroke) && !stroke.shift ? stroke.keycode : 0;
}

void X11Keymap::noteKey(uint8_t keycode, bool down, uint32_t now) {
  for (Spare& spare : spares_)
    if (spare.keycode == keycode) {
      spare.down = down;
      spare.lastUsed = now;
    }
}

int32_t X11Keymap::prepare(const uint32_t* keysyms, int32_t count, uint32_t now) {
  std::vector<Spare*> changed;
  std::vector<const Spare*> inRun;  // bound spares this run types with
  uint32_t wait = 0;
  int32_t i = 0;
  for (; i < count; ++i) {
    const uint32_t keysym = keysyms[i];
    if (keysym == NoSymbol) continue;
    if (Spare* bound = spareFor(keysym)) {
      inRun.push_back(bound);
      continue;
    }
    Stroke stroke;
    if (naturalStroke(keysym, stroke)) continue;
    // A free spare first, else the one used longest ago that this run does
    // not need and nobody holds down.
    Spare* choice = nullptr;
    for (Spare& spare : spares_) {
      if (spare.down || std::find(inRun.begin(), inRun.end(), &spare) != inRun.end()) continue;
      if (std::find(changed.begin(), changed.end(), &spare) != changed.end()) continue;
      if (spare.keysym == NoSymbol) {
        choice = &spare;
        break;
      }
      if (!choice || static_cast<int32_t>(spare.lastUsed - choice->lastUsed) < 0) choice = &spare;
    }
    if (!choice) {
      if (changed.empty() && inRun.empty()) continue;  // no spare key at all: this one is dropped
      break;                                           // the rest waits for the next run
    }
    if (choice->keysym != NoSymbol) {
      const uint32_t age = now - choice->lastUsed;
      if (age < kSettleMs) wait = std::max(wait, kSettleMs - age);
    }
    choice->keysym = keysym;
    changed.push_back(choice);
    inRun.push_back(choice);
  }
  if (!changed.empty()) {
    if (wait > 0) {
      XSync(display_, False);
      SleepMilliseconds(wait);
    }
    write(changed);
  }
  return i;
}

void X11Keymap::write(const std::vector<Spare*>& changed) {
  // One change covers the changed keys and the spare keys between them, never
  // a key of the map's own: writing one back through the core map would lose
  // what the keyboard extension knows about it (its type, its groups).
  std::vector<int> keycodes;
  for (const Spare* spare : changed) keycodes.push_back(spare->keycode);
  std::sort(keycodes.begin(), keycodes.end());
  auto bindingOf = [this](int keycode) {
    for (const Spare& spare : spares_)
      if (spare.keycode == keycode) return spare.keysym;
    return 0u;
  };
  std::vector<KeySym> block;
  size_t first = 0;
  while (first < keycodes.size()) {
    size_t last = first;
    while (last + 1 < keycodes.size()) {
      bool joined = true;
      for (int k = keycodes[last] + 1; k <= keycodes[last + 1] && joined; ++k) joined = isSpare(k);
      if (!joined) break;
      ++last;
    }
    const int low = keycodes[first], high = keycodes[last];
    block.assign(static_cast<size_t>((high - low + 1) * perKeycode_), NoSymbol);
    for (int keycode = low; keycode <= high; ++keycode) {
      const uint32_t keysym = bindingOf(keycode);
      for (int level = 0; level < perKeycode_; ++level) {
        // Every level the same: Shift or a second group types it all the same.
        block[static_cast<size_t>((keycode - low) * perKeycode_ + level)] = keysym;
        map_[static_cast<size_t>((keycode - minKeycode_) * perKeycode_ + level)] = keysym;
      }
    }
    XChangeKeyboardMapping(display_, low, perKeycode_, block.data(), high - low + 1);
    first = last + 1;
  }
  XFlush(display_);
  saveList();
}

void X11Keymap::restore() {
  std::vector<Spare*> bound;
  uint32_t lastUse = 0;
  bool any = false;
  for (Spare& spare : spares_)
    if (spare.keysym != NoSymbol) {
      if (!any || static_cast<int32_t>(spare.lastUsed - lastUse) > 0) lastUse = spare.lastUsed;
      any = true;
      bound.push_back(&spare);
    }
  if (any) {
    // Keys just typed with these bindings are read first.
    XSync(display_, False);
    const uint32_t age = TickCount() - lastUse;
    if (age < kSettleMs) SleepMilliseconds(kSettleMs - age);
    for (Spare* spare : bound) spare->keysym = NoSymbol;
    write(bound);
    XSync(display_, False);
  }
  if (!leftovers_.empty()) std::remove(leftovers_.c_str());
}

void X11Keymap::saveList() const {
  if (leftovers_.empty()) return;
  const unique_file file(std::fopen(leftovers_.c_str(), "we"));
  if (!file) return;
  for (const Spare& spare : spares_)
    if (spare.keysym != NoSymbol) std::fprintf(file.get(), "%u %u\n", unsigned{spare.keycode}, spare.keysym);
}

void X11Keymap::clearLeftovers() {
  if (leftovers_.empty()) return;
  const unique_file file(std::fopen(leftovers_.c_str(), "re"));
  if (!file) return;
  unsigned keycode = 0, keysym = 0;
  bool cleared = false;
  while (std::fscanf(file.get(), "%u %u", &keycode, &keysym) == 2) {
    const int code = static_cast<int>(keycode);
    // Only a key that still types what this program bound to it.
    if (keysym == NoSymbol || at(code, 0) != keysym) continue;
    std::vector<KeySym> empty(static_cast<size_t>(perKeycode_), NoSymbol);
    XChangeKeyboardMapping(display_, code, perKeycode_, empty.data(), 1);
    cleared = true;
  }
  if (cleared) {
    XSync(display_, False);
    read();
  }
  std::remove(leftovers_.c_str());
}

}  // namespace tavrin
