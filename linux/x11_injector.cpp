#include "linux/x11_injector.h"

#include <X11/XKBlib.h>
#include <X11/extensions/XTest.h>
#include <X11/keysym.h>

#include <algorithm>

#include "linux/key_symbols.h"
#include "seams/system.h"

namespace tavrin {

namespace {

constexpr int32_t kWheelClick = 120;

template <typename T>
void Forget(std::vector<T>& list, T value) {
  list.erase(std::remove(list.begin(), list.end(), value), list.end());
}

}  // namespace

X11Injector::X11Injector(Display* display, std::string keymapLeftovers)
    : display_(display), keymap_(display, std::move(keymapLeftovers)) {}

bool X11Injector::open() {
  // A client that speaks the keyboard extension (Xlib does by itself) gets
  // no core mapping notices: it must ask for the extension's own.
  int opcode = 0, error = 0, major = XkbMajorVersion, minor = XkbMinorVersion;
  if (XkbQueryExtension(display_, &opcode, &keyboardEvent_, &error, &major, &minor)) {
    const unsigned notices = XkbMapNotifyMask | XkbNewKeyboardNotifyMask;
    XkbSelectEvents(display_, XkbUseCoreKbd, notices, notices);
  } else {
    keyboardEvent_ = -1;
  }
  return keymap_.open();
}

// Mapping notices reach this connection (the program's own changes among
// them, and the user's: another layout, a key bound anew); the map is read
// again after them.
void X11Injector::answerNotices() {
  bool changed = false;
  while (XPending(display_) > 0) {
    XEvent event;
    XNextEvent(display_, &event);
    if (event.type == MappingNotify) {
      XRefreshKeyboardMapping(&event.xmapping);
      changed = true;
    } else if (keyboardEvent_ >= 0 && event.type == keyboardEvent_) {
      changed = true;
    }
  }
  if (changed) {
    keymap_.reload();
    shiftKeycode_ = 0;
  }
}

bool X11Injector::press(uint8_t keycode, bool down) {
  if (keycode == 0 || !XTestFakeKeyEvent(display_, keycode, down ? True : False, CurrentTime)) return false;
  keymap_.noteKey(keycode, down, TickCount());
  if (down) {
    if (std::find(keysDown_.begin(), keysDown_.end(), keycode) == keysDown_.end()) keysDown_.push_back(keycode);
  } else {
    Forget(keysDown_, keycode);
  }
  return true;
}

bool X11Injector::key(uint16_t virtualKey, uint16_t scanCode, uint32_t flags) {
  if (flags & kKeyEventUnicode) return text(&scanCode, 1) == 1;
  answerNotices();
  const uint32_t keysym = KeysymForVirtualKey(virtualKey);
  if (keysym == kNoKeysym) return false;
  const bool down = (flags & kKeyEventKeyUp) == 0;
  if (down && locked_.load(std::memory_order_acquire)) return false;
  Stroke stroke;
  // A key the map lacks (media keys on a bare server) is bound like a character.
  if (!keymap_.strokeFor(keysym, stroke)) {
    keymap_.prepare(&keysym, 1, TickCount());
    if (!keymap_.strokeFor(keysym, stroke)) return false;
  }
  const bool taken = press(stroke.keycode, down);
  XFlush(display_);
  return taken;
}

int32_t X11Injector::text(const uint16_t* units, int32_t count) {
  if (locked_.load(std::memory_order_acquire)) return 0;
  answerNotices();
  keysyms_.clear();
  for (int32_t i = 0; i < count; ++i) keysyms_.push_back(KeysymForUnit(units[i]));
  if (shiftKeycode_ == 0) shiftKeycode_ = keymap_.keycodeOf(XK_Shift_L);
  // Caps Lock would turn the case of every letter, the spare keys' too (a
  // client applies it to any keysym that has a case): it is off while the
  // text is typed, and on again after.
  XkbStateRec state{};
  const uint8_t capsKeycode = keymap_.keycodeOf(XK_Caps_Lock);
  const bool capsLock = capsKeycode != 0 && XkbGetState(display_, XkbUseCoreKbd, &state) == Success &&
                        (state.locked_mods & LockMask);
  if (capsLock) press(capsKeycode, true), press(capsKeycode, false);
  int32_t typed = 0;
  int32_t done = 0;
  while (done < count) {
    const int32_t ready = keymap_.prepare(keysyms_.data() + done, count - done, TickCount());
    for (int32_t i = done; i < done + ready; ++i) {
      Stroke stroke;
      if (!keymap_.strokeFor(keysyms_[static_cast<size_t>(i)], stroke)) continue;
      // Shift as the character needs it, whatever the phone holds: pressed
      // or let go around the key, then as it was.
      const bool shiftHeld = std::find(keysDown_.begin(), keysDown_.end(), shiftKeycode_) != keysDown_.end();
      const bool turnShift = shiftKeycode_ != 0 && stroke.shift != shiftHeld;
      if (turnShift) press(shiftKeycode_, stroke.shift);
      if (press(stroke.keycode, true) && press(stroke.keycode, false)) ++typed;
      if (turnShift) press(shiftKeycode_, shiftHeld);
    }
    done += ready;
    XFlush(display_);
  }
  if (capsLock) press(capsKeycode, true), press(capsKeycode, false);
  XFlush(display_);
  return typed;
}

bool X11Injector::button(unsigned number, bool down) {
  if (!XTestFakeButtonEvent(display_, number, down ? True : False, CurrentTime)) return false;
  if (down) {
    if (std::find(buttonsDown_.begin(), buttonsDown_.end(), number) == buttonsDown_.end()) buttonsDown_.push_back(number);
  } else {
    Forget(buttonsDown_, number);
  }
  return true;
}

// X has no wheel amounts, only clicks of the wheel buttons: amounts gather
// until they make a whole click of 120 (more make several).
void X11Injector::wheelClicks(int32_t& accumulator, int32_t amount, unsigned forward, unsigned backward) {
  if ((amount > 0 && accumulator < 0) || (amount < 0 && accumulator > 0)) accumulator = 0;
  accumulator += amount;
  while (accumulator >= kWheelClick || accumulator <= -kWheelClick) {
    const unsigned number = accumulator > 0 ? forward : backward;
    button(number, true);
    button(number, false);
    accumulator += accumulator > 0 ? -kWheelClick : kWheelClick;
  }
}

bool X11Injector::mouse(int32_t dx, int32_t dy, int32_t mouseData, uint32_t flags) {
  if (locked_.load(std::memory_order_acquire)) {
    flags &= kMouseLeftUp | kMouseRightUp | kMouseMiddleUp;
    if (flags == 0) return false;
  }
  answerNotices();
  bool taken = true;
  if (flags & kMouseMove) taken = XTestFakeRelativeMotionEvent(display_, dx, dy, CurrentTime) != 0;
  if (flags & kMouseLeftDown) taken = button(1, true);
  if (flags & kMouseLeftUp) taken = button(1, false);
  if (flags & kMouseMiddleDown) taken = button(2, true);
  if (flags & kMouseMiddleUp) taken = button(2, false);
  if (flags & kMouseRightDown) taken = button(3, true);
  if (flags & kMouseRightUp) taken = button(3, false);
  // Forward (away from the user) is up: button 4; right is button 7.
  if (flags & kMouseWheel) wheelClicks(wheel_, mouseData, 4, 5);
  if (flags & kMouseHorizontalWheel) wheelClicks(horizontalWheel_, mouseData, 7, 6);
  XFlush(display_);
  return taken;
}

void X11Injector::releaseAll() {
  while (!keysDown_.empty()) press(keysDown_.back(), false);
  while (!buttonsDown_.empty()) button(buttonsDown_.back(), false);
  XFlush(display_);
}

}  // namespace tavrin
