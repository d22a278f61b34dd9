// The phone messages the user may have missed, and which balloon a click is
// on.
//
// Focus Assist hides balloons exactly during a presentation, when phone
// messages matter, so the last kCapacity messages stay in the "Recent
// Messages" submenu. And balloons queue: the shell shows them one after
// another and says which comes up (NIN_BALLOONSHOW), so a click opens the
// target of the balloon on show, not of the newest message. A shell that
// never says (Wine's) gets the newest balloon's.
//
// Main thread only; fixed memory.
#pragma once
#include <array>
#include <cstddef>
#include <cstdint>

namespace tavrin {

class RecentMessages {
 public:
  static constexpr size_t kCapacity = 10;
  static constexpr size_t kTitleUnits = 48;  // the menu shows this much of a title
  static constexpr size_t kTargetUnits = 2048;
  static constexpr size_t kQueued = 16;  // balloons followed while they wait their turn

  struct Message {
    uint64_t id = 0;
    wchar_t title[kTitleUnits] = {};
    wchar_t target[kTargetUnits] = {};
    uint8_t hour = 0, minute = 0;  // local time it came
  };

  // Remembers a message (the oldest goes beyond kCapacity) and queues its
  // balloon; returns its id. Texts are cut to their fields.
  uint64_t add(const wchar_t* title, const wchar_t* target, uint8_t hour, uint8_t minute);
  // One of the program's own balloons was queued: a click on it opens nothing.
  void ownBalloon() { queue(0); }
  // The shell: the next queued balloon shows; the one on show went away.
  void balloonShown();
  void balloonGone() { onShow_ = 0; }

  // The message whose balloon a click is on; null for none or an own one.
  const Message* clicked() const;
  // Newest first, for the menu.
  size_t size() const { return count_; }
  const Message& newest(size_t index) const;

 private:
  void queue(uint64_t id);
  const Message* find(uint64_t id) const;

  std::array<Message, kCapacity> messages_{};  // a ring
  size_t count_ = 0, next_ = 0;
  uint64_t lastId_ = 0;
  std::array<uint64_t, kQueued> queue_{};  // a ring of ids, 0 = own balloon
  size_t queued_ = 0, queueHead_ = 0;
  uint64_t newestBalloon_ = 0;
  uint64_t onShow_ = 0;
  bool shellSays_ = false;  // the shell has said when a balloon shows
};

// "14:05  Title" into `text` (capacity units, zero included, cut to fit).
size_t FormatRecentItem(wchar_t* text, size_t capacity, const RecentMessages::Message& message);

}  // namespace tavrin
