// The UTF-8 decoder with arbitrary text and every output capacity: it must
// never write past the capacity it is given, must end with a zero unit exactly
// when it reports success, and must agree with a strict decoder on every text
// that is well-formed UTF-8 of the Basic Multilingual Plane.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "input/text_entry.h"

namespace {

[[noreturn]] void Fail(const char* what) {
  std::fprintf(stderr, "utf8 fuzzer: %s\n", what);
  std::abort();
}

// Strict decoding of BMP text: false for anything malformed, overlong, a
// surrogate, above U+FFFF, or longer than `capacity` - 1 units.
bool StrictDecode(const unsigned char* text, std::vector<uint16_t>& out, size_t capacity) {
  for (size_t i = 0; text[i] != 0;) {
    unsigned char lead = text[i];
    uint32_t cp;
    size_t n;
    if (lead < 0x80) {
      cp = lead, n = 0;
    } else if (lead >= 0xC2 && lead <= 0xDF) {
      cp = lead & 0x1Fu, n = 1;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
      cp = lead & 0x0Fu, n = 2;
    } else {
      return false;
    }
    for (size_t k = 1; k <= n; ++k) {
      unsigned char c = text[i + k];
      if ((c & 0xC0) != 0x80) return false;
      cp = (cp << 6) | (c & 0x3Fu);
    }
    if (n == 2 && (cp < 0x800 || (cp >= 0xD800 && cp <= 0xDFFF))) return false;
    if (out.size() + 1 >= capacity) return false;
    out.push_back(static_cast<uint16_t>(cp));
    i += n + 1;
  }
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 2) return 0;
  // The first two bytes choose the capacity, 1 to 1024 units.
  const int32_t capacity = 1 + ((data[0] | (data[1] << 8)) % tavrin::kTextUnitCapacity);
  std::vector<unsigned char> text(data + 2, data + size);
  text.push_back(0);

  constexpr uint16_t kGuard = 0xA5A5;
  std::vector<uint16_t> units(static_cast<size_t>(capacity) + 16, kGuard);
  const int result = tavrin::DecodeUtf8ToUtf16(reinterpret_cast<const char*>(text.data()), units.data(), capacity);
  for (size_t i = static_cast<size_t>(capacity); i < units.size(); ++i)
    if (units[i] != kGuard) Fail("wrote past the capacity");
  if (result != 0 && result != -1) Fail("result other than 0 or -1");

  std::vector<uint16_t> expected;
  if (StrictDecode(text.data(), expected, static_cast<size_t>(capacity))) {
    // Well-formed text that fits: decoded exactly, then a zero unit. A text
    // with an embedded zero cannot occur here, as the text ends at its zero.
    if (result != 0) Fail("well-formed text reported as failure");
    for (size_t i = 0; i < expected.size(); ++i)
      if (units[i] != expected[i]) Fail("well-formed text decoded differently");
    if (units[expected.size()] != 0) Fail("no zero unit after well-formed text");
  }
  if (result == 0) {
    bool terminated = false;
    for (int32_t i = 0; i < capacity && !terminated; ++i) terminated = units[static_cast<size_t>(i)] == 0;
    if (!terminated) Fail("success without a zero unit");
  }
  return 0;
}
