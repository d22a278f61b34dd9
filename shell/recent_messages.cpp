#include "shell/recent_messages.h"

#include "base/wide_text.h"

namespace tavrin {

uint64_t RecentMessages::add(const wchar_t* title, const wchar_t* target, uint8_t hour, uint8_t minute,
                             uint64_t now) {
  Message& slot = messages_[next_];
  slot.id = ++lastId_;
  CopyText(slot.title, kTitleUnits, title);
  CopyText(slot.target, kTargetUnits, target);
  slot.hour = hour;
  slot.minute = minute;
  next_ = (next_ + 1) % kCapacity;
  if (count_ < kCapacity) ++count_;
  queue(slot.id, now);
  return slot.id;
}

void RecentMessages::queue(uint64_t id, uint64_t now) {
  newestBalloon_ = id;
  if (queued_ == kQueued) dropHead();  // the oldest waiting balloon is forgotten
  queue_[(queueHead_ + queued_) % kQueued] = {id, now};
  ++queued_;
}

void RecentMessages::dropHead() {
  queueHead_ = (queueHead_ + 1) % kQueued;
  --queued_;
}

void RecentMessages::balloonShown(uint64_t now) {
  shellSays_ = true;
  // A balloon on show until now kept the queue waiting until now.
  const uint64_t freeSince = showing_ ? now : freeSince_;
  showing_ = true;
  while (queued_ > 0) {
    const uint64_t at = queue_[queueHead_].at;
    if (now - (at > freeSince ? at : freeSince) <= kStaleMs) break;
    dropHead();
  }
  onShow_ = queued_ > 0 ? queue_[queueHead_].id : 0;
  if (queued_ > 0) dropHead();
}

void RecentMessages::balloonGone(uint64_t now) {
  if (showing_) freeSince_ = now;
  else if (queued_ > 0) dropHead();
  showing_ = false;
  onShow_ = 0;
}

const RecentMessages::Message* RecentMessages::find(uint64_t id) const {
  if (id == 0) return nullptr;
  for (size_t i = 0; i < count_; ++i)
    if (messages_[i].id == id) return &messages_[i];
  return nullptr;
}

const RecentMessages::Message* RecentMessages::clicked() const { return find(shellSays_ ? onShow_ : newestBalloon_); }

const RecentMessages::Message& RecentMessages::newest(size_t index) const {
  return messages_[(next_ + kCapacity - 1 - index) % kCapacity];
}

size_t FormatRecentItem(wchar_t* text, size_t capacity, const RecentMessages::Message& message) {
  if (capacity == 0) return 0;
  const wchar_t time[] = {static_cast<wchar_t>(L'0' + message.hour / 10 % 10), static_cast<wchar_t>(L'0' + message.hour % 10),
                          L':', static_cast<wchar_t>(L'0' + message.minute / 10 % 10),
                          static_cast<wchar_t>(L'0' + message.minute % 10), L' ', L' ', L'\0'};
  size_t length = 0;
  for (const wchar_t* part : {time, static_cast<const wchar_t*>(message.title)}) {
    for (size_t i = 0; part[i] != L'\0' && length + 1 < capacity; ++i) {
      // Never half of a surrogate pair at the cut.
      if (part[i] >= 0xD800 && part[i] <= 0xDBFF && length + 2 >= capacity) break;
      // An ampersand would underline the next letter in a menu.
      if (part[i] == L'&') {
        if (length + 2 >= capacity) break;
        text[length++] = L'&';
      }
      text[length++] = part[i];
    }
  }
  text[length] = L'\0';
  return length;
}

}  // namespace tavrin
