#include "shell/phone_menu_text.h"

#include "base/ipv4_text.h"

namespace tavrin {
namespace {

// Appends to a zero-terminated text of `length` units, never past `capacity`.
class Writer {
 public:
  Writer(wchar_t* text, size_t capacity) : text_(text), capacity_(capacity) {
    if (capacity_ > 0) text_[0] = L'\0';
  }
  Writer& put(const wchar_t* s) {
    while (*s != L'\0') put(*s++);
    return *this;
  }
  Writer& put(wchar_t c) {
    if (length_ + 1 < capacity_) {
      text_[length_++] = c;
      text_[length_] = L'\0';
    }
    return *this;
  }
  Writer& number(uint64_t value, int minDigits = 1) {
    wchar_t digits[20];
    int count = 0;
    do {
      digits[count++] = static_cast<wchar_t>(L'0' + value % 10);
      value /= 10;
    } while (value != 0);
    while (count < minDigits) digits[count++] = L'0';
    while (count > 0) put(digits[--count]);
    return *this;
  }
  Writer& address(uint32_t ipv4) {
    wchar_t dotted[kIpv4TextCapacity];
    FormatIpv4(ipv4, dotted);
    return put(dotted);
  }
  size_t length() const { return length_; }

 private:
  wchar_t* text_;
  size_t capacity_;
  size_t length_ = 0;
};

}  // namespace

size_t FormatPhoneItem(wchar_t* text, size_t capacity, const PhoneInfo& phone, uint64_t nowMs) {
  Writer out(text, capacity);
  out.address(phone.ipv4).put(L" - ");
  const uint64_t minutes = nowMs > phone.connectedSinceMs ? (nowMs - phone.connectedSinceMs) / 60000 : 0;
  if (minutes == 0)
    out.put(L"less than 1 min");
  else if (minutes < 60)
    out.number(minutes).put(L" min");
  else
    out.number(minutes / 60).put(L" h ").number(minutes % 60, 2).put(L" min");
  switch (phone.state) {
    case PhoneState::Allowed: break;
    case PhoneState::Waiting: out.put(L" (waiting)"); break;
    case PhoneState::Denied: out.put(L" (denied)"); break;
  }
  return out.length();
}

size_t FormatTipHeading(wchar_t* text, size_t capacity, size_t phones, bool paused) {
  Writer out(text, capacity);
  out.put(L"Tavrin\n");
  if (phones == 0)
    out.put(L"No phone connected");
  else
    out.number(phones).put(phones == 1 ? L" phone connected" : L" phones connected");
  if (paused) out.put(L" (paused)");
  return out.put(L'\n').length();
}

size_t FormatPromptText(wchar_t* text, size_t capacity, uint32_t ipv4) {
  return Writer(text, capacity)
      .put(L"A phone at ")
      .address(ipv4)
      .put(L" wants to control this computer.\n\nAllow its mouse and keyboard input?")
      .length();
}

}  // namespace tavrin
