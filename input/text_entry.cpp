#include "input/text_entry.h"

#include <cstring>

#include "seams/injector.h"

namespace tavrin {

namespace {

// Bytes that follow a lead byte, by the lead byte's value. 0x80..0xBF met as a
// lead byte stands for itself.
int TrailingBytes(uint8_t lead) {
  if (lead < 0xC0) return 0;
  if (lead < 0xE0) return 1;
  if (lead < 0xF0) return 2;
  if (lead < 0xF8) return 3;
  if (lead < 0xFC) return 4;
  return 5;
}

// The marker bits of a sequence of n + 1 bytes, summed after shifting.
constexpr uint32_t kSequenceOffset[6] = {0x00000000u, 0x00003080u, 0x000E2080u,
                                         0x03C82080u, 0xFA082080u, 0x82082080u};

}  // namespace

int DecodeUtf8ToUtf16(const char* text, uint16_t* units, int32_t capacity) {
  const uint8_t* bytes = reinterpret_cast<const uint8_t*>(text);
  const size_t end = std::strlen(text);
  int32_t stored = 0;
  size_t position = 0;
  while (position < end) {
    const uint8_t lead = bytes[position];
    const int trailing = TrailingBytes(lead);
    if (position + static_cast<size_t>(trailing) >= end) return -1;  // cut off
    uint32_t value = 0;
    for (int i = 0; i <= trailing; ++i) {
      value += bytes[position + static_cast<size_t>(i)];
      if (i < trailing) value <<= 6;
    }
    value -= kSequenceOffset[trailing];
    if (value > 0xFFFFu) return -1;  // beyond the 16-bit plane, or malformed
    if (stored >= capacity - 1) return -1;  // only the terminator's slot is left
    units[stored++] = static_cast<uint16_t>(value);
    position += static_cast<size_t>(trailing) + 1;
  }
  if (capacity < 1) return -1;
  units[stored] = 0;
  return 0;
}

void PostCharWithLayoutSwitch(DesktopWindows& windows, KeyboardLayouts& keyboard, WindowRef target, uint32_t thread,
                              uint16_t unit) {
  windows.attachThreadInput(thread, true);

  // A fixed list keeps the message path free of allocation; past its end the
  // installed layouts are not considered.
  uintptr_t layouts[kLayoutCapacity] = {};
  int32_t count = keyboard.keyboardLayouts(nullptr, 0);
  if (count > kLayoutCapacity) count = kLayoutCapacity;
  if (count > 0) {
    const int32_t fetched = keyboard.keyboardLayouts(layouts, count);
    if (fetched < count) count = fetched < 0 ? 0 : fetched;
  }
  uintptr_t chosen = 0;
  bool haveChoice = false;
  for (int32_t i = 0; i < count; ++i) {
    const uint16_t language = static_cast<uint16_t>(layouts[i] & 0xFFFF);
    const uint16_t device = static_cast<uint16_t>((layouts[i] >> 16) & 0xFFFF);
    if (language != kEnglishUnitedStates && device != kEnglishUnitedStates) {
      chosen = layouts[i];
      haveChoice = true;
      break;
    }
  }

  windows.sleepMilliseconds(20);

  uintptr_t previous = 0;
  bool switchNeeded = false;
  if (haveChoice) {
    previous = keyboard.keyboardLayout(thread);
    switchNeeded = chosen != previous;
  }
  if (switchNeeded)
    windows.postMessage(target, kWmInputLangChangeRequest, kInputLangChangeSysCharset, static_cast<intptr_t>(chosen));
  windows.postMessage(target, kWmChar, unit, 1);
  if (switchNeeded)
    windows.postMessage(target, kWmInputLangChangeRequest, kInputLangChangeSysCharset, static_cast<intptr_t>(previous));

  windows.attachThreadInput(thread, false);
}

void TypeUtf8Text(Injector& injector, DesktopWindows& windows, KeyboardLayouts& layouts, const char* text,
                  const std::atomic<bool>* stop) {
  const WindowRef foreground = windows.foregroundWindow();
  const bool unicodeWindow = foreground != 0 && windows.isWindowUnicode(foreground);
  WindowRef target = foreground;
  uint32_t thread = 0;
  if (foreground != 0 && !unicodeWindow) {
    thread = windows.windowThread(foreground);
    GuiThreadWindows gui;
    if (windows.guiThreadInfo(thread, gui)) {
      if (gui.caret) target = gui.caret;
      else if (gui.focus) target = gui.focus;
      else if (gui.active) target = gui.active;
    }
  }

  uint16_t units[kTextUnitCapacity] = {};
  DecodeUtf8ToUtf16(text, units, kTextUnitCapacity);  // what decoded before a failure is still typed

  // Units that go out as key events are handed on in runs, so that an
  // injector that prepares the keyboard does so once per run.
  int32_t runStart = 0;
  int32_t i = 0;
  for (; i < kTextUnitCapacity && units[i] != 0; ++i) {
    if (stop && stop->load(std::memory_order_relaxed)) return;
    // A window that is not a Unicode window would get '?' for characters
    // outside its code page from a Unicode key event, so those are posted to
    // it under a layout that can hold them.
    if (target != 0 && !unicodeWindow && units[i] > 0xFE) {
      if (i > runStart) injector.text(units + runStart, i - runStart);
      runStart = i + 1;
      PostCharWithLayoutSwitch(windows, layouts, target, thread, units[i]);
    }
  }
  if (i > runStart) injector.text(units + runStart, i - runStart);
}

}  // namespace tavrin
