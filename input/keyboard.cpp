#include "input/keyboard.h"

#include <cstring>

#include "seams/injector.h"
#include "input/key_tables.h"

namespace tavrin {

void SendKeyEvent(Injector& injector, uint16_t virtualKey, bool release) {
  injector.key(virtualKey, 0, release ? kKeyEventKeyUp : 0);
}

void TypeKeyToken(Injector& injector, const char* token) {
  bool needsShift = false;
  const uint16_t code = LookupKeyCode(token, &needsShift);
  if (code == NoKey) return;
  if (needsShift) SendKeyEvent(injector, kVkShift, false);
  SendKeyEvent(injector, code, false);
  SendKeyEvent(injector, code, true);
  if (needsShift) SendKeyEvent(injector, kVkShift, true);
}

void PressKeyCombination(Injector& injector, const char* token) {
  const char* separator = std::strstr(token, "[+]");
  if (!separator) return;
  // The first name is copied out so that it can be looked up zero-terminated;
  // a first name that does not fit is no key name anyway.
  const size_t firstLength = static_cast<size_t>(separator - token);
  char first[kTokenCapacity];
  if (firstLength >= sizeof first) return;
  std::memcpy(first, token, firstLength);
  first[firstLength] = '\0';
  const uint16_t firstCode = LookupKeyCode(first);
  const uint16_t secondCode = LookupKeyCode(separator + 3);
  if (firstCode == NoKey || secondCode == NoKey) return;
  SendKeyEvent(injector, firstCode, false);
  SendKeyEvent(injector, secondCode, false);
  SendKeyEvent(injector, secondCode, true);
  SendKeyEvent(injector, firstCode, true);
}

namespace {

struct KeyParser {
  Injector& injector;
  bool holdPending = false;
  bool codeArmed = false;
  uint16_t armedCode = NoKey;

  void handle(const char* token, bool endedBySpace) {
    if (codeArmed) {
      holdPending = false;
      codeArmed = false;
      if (token[0] == 'd') SendKeyEvent(injector, armedCode, false);
      else if (token[0] == 'u') SendKeyEvent(injector, armedCode, true);
      return;
    }
    if (holdPending) {
      holdPending = false;
      const uint16_t code = LookupKeyCode(token);
      if (code != NoKey) {
        armedCode = code;
        codeArmed = true;
      }
      return;
    }
    if (std::strcmp(token, "[R]") == 0) {
      holdPending = true;
      codeArmed = false;
      return;
    }
    if (std::strstr(token, "[+]")) {
      PressKeyCombination(injector, token);
      return;
    }
    if (token[0] == '\0' && endedBySpace) {
      TypeKeyToken(injector, " ");
      return;
    }
    TypeKeyToken(injector, token);
  }
};

}  // namespace

void HandleKeyMessage(Injector& injector, const char* payload, int32_t length) {
  KeyParser parser{injector};
  char token[kTokenCapacity] = {};
  int32_t tokenLength = 0;
  for (int32_t position = 0; position <= length; ++position) {
    const bool atEnd = position == length;
    if (atEnd || payload[position] == ' ') {
      token[tokenLength] = '\0';
      parser.handle(token, !atEnd);
      tokenLength = 0;
    } else if (tokenLength < kTokenCapacity - 1) {
      token[tokenLength++] = payload[position];
    }
    // Bytes past the 127th of a token are dropped; the token still ends at
    // its space, so the tokens after it are parsed as usual.
  }
}

}  // namespace tavrin
