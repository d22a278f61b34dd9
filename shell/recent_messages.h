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
// A balloon the shell drops unseen must leave the queue, or every later
// click opens an older message: it goes when the shell says a balloon went
// while none was on show (quiet time does), and when it was free to show
// for kStaleMs without showing (Focus Assist may say nothing at all). Its
// wait behind a balloon on show does not count: the shell keeps a balloon
// up while the user is away.
//
// Main thread only; fixed memory. Times are milliseconds of a steady clock.
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
  static constexpr uint64_t kStaleMs = 30000;

  struct Message {
    uint64_t id = 0;
    wchar_t title[kTitleUnits] = {};
    wchar_t target[kTargetUnits] = {};
    uint8_t hour = 0, minute = 0;  // local time it came
  };

  // Remembers a message (the oldest goes beyond kCapacity) and queues its
  // balloon, asked for at `now`; returns its id. Texts are cut to their fields.
  uint64_t add(const wchar_t* title, const wchar_t* target, uint8_t hour, uint8_t minute, uint64_t now);
  // One of the program's own balloons was queued: a click on it opens nothing.
  void ownBalloon(uint64_t now) { queue(0, now); }
  // The shell: the next queued balloon shows; the one on show went away (or,
  // with none on show, the next queued one was dropped unseen).
  void balloonShown(uint64_t now);
  void balloonGone(uint64_t now);

  // The message whose balloon a click is on; null for none or an own one.
  const Message* clicked() const;
  // Newest first, for the menu.
  size_t size() const { return count_; }
  const Message& newest(size_t index) const;

 private:
  struct Queued {
    uint64_t id;  // 0 = own balloon
    uint64_t at;  // when it was asked for
  };
  void queue(uint64_t id, uint64_t now);
  void dropHead();
  const Message* find(uint64_t id) const;

  std::array<Message, kCapacity> messages_{};  // a ring
  size_t count_ = 0, next_ = 0;
  uint64_t lastId_ = 0;
  std::array<Queued, kQueued> queue_{};  // a ring
  size_t queued_ = 0, queueHead_ = 0;
  uint64_t newestBalloon_ = 0;
  uint64_t onShow_ = 0;
  bool showing_ = false;    // the shell has said a balloon shows, and not yet that it went
  uint64_t freeSince_ = 0;  // when the last balloon on show went
  bool shellSays_ = false;  // the shell has said when a balloon shows
};

// "14:05  Title" into `text` (capacity units, zero included, cut to fit).
size_t FormatRecentItem(wchar_t* text, size_t capacity, const RecentMessages::Message& message);

}  // namespace tavrin
