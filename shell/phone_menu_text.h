// The words of the "Phones" submenu, the tooltip and the prompt. Pure
// formatting, on the main thread; every function writes a zero-terminated
// text into `capacity` units (terminating zero included), never past it, and
// returns its length. A text that does not fit is cut at `capacity` - 1 units.
#pragma once
#include <cstddef>
#include <cstdint>

#include "shell/phone_roster.h"

namespace tavrin {

// Room for one phone's item: the longest address, the longest duration and
// the state word fit.
constexpr size_t kPhoneItemCapacity = 64;

// "10.77.0.2 - less than 1 min", "10.77.0.2 - 5 min", "10.77.0.2 - 2 h 03 min",
// followed by " (waiting)" for a phone that waits for the user's answer and
// " (denied)" for one being closed. The time is counted from
// `phone.connectedSinceMs` to `nowMs` (same clock; a clock that went
// backwards counts as no time).
size_t FormatPhoneItem(wchar_t* text, size_t capacity, const PhoneInfo& phone, uint64_t nowMs);

// The first lines of the tray tip, for the application to append the
// address line to (the tip holds 128 units):
//   "Tavrin\n1 phone connected\n", "Tavrin\n3 phones connected\n",
//   "Tavrin\nNo phone connected\n", and with `paused`
//   "Tavrin\n3 phones connected (paused)\n".
size_t FormatTipHeading(wchar_t* text, size_t capacity, size_t phones, bool paused);

// The prompt's question, naming the phone's address:
// "A phone at 10.77.0.2 wants to control this computer.\n\nAllow its mouse and
// keyboard input?" Its buttons are "Allow", "Always Allow" and "Deny", Deny
// being the default.
constexpr size_t kPromptTextCapacity = 160;
size_t FormatPromptText(wchar_t* text, size_t capacity, uint32_t ipv4);
// Under the question once the phone asked about has gone and the same
// window asks about the next one.
inline constexpr wchar_t kPromptReplacedNote[] = L"The phone asked about before has gone: this is another phone.";

}  // namespace tavrin
