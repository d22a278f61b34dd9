#include "shell/phone_roster.h"

#include <algorithm>
#include <utility>

namespace tavrin {

PhoneRoster::PhoneRoster(PromptListener* prompts, NeighbourTable* neighbours)
    : prompts_(prompts), neighbours_(neighbours) {}

PhoneInfo* PhoneRoster::find(PhoneId id) {
  auto it = std::find_if(phones_.begin(), phones_.end(), [id](const PhoneInfo& p) { return p.id == id; });
  return it == phones_.end() ? nullptr : &*it;
}

bool PhoneRoster::apply(std::optional<PhoneId> before) {
  for (const PhoneId id : decisions_.allowed) {
    if (PhoneInfo* phone = find(id)) {
      phone->state = PhoneState::Allowed;
      pending_.admit.push_back(id);
    }
  }
  for (const PhoneId id : decisions_.closed) {
    if (PhoneInfo* phone = find(id)) {
      phone->state = PhoneState::Denied;
      pending_.denied.push_back(id);
    }
  }
  for (const PhoneId id : decisions_.unanswered) {
    if (PhoneInfo* phone = find(id)) {
      phone->state = PhoneState::Denied;
      pending_.unanswered.push_back(id);
    }
  }
  if (!decisions_.allowed.empty() || !decisions_.closed.empty() || !decisions_.unanswered.empty())
    hasPending_.store(true, std::memory_order_release);
  decisions_.allowed.clear();
  decisions_.closed.clear();
  decisions_.unanswered.clear();
  noteDeadline();
  return admission_.prompted() != before;
}

void PhoneRoster::noteDeadline() { nextDeadline_.store(admission_.nextDeadline(), std::memory_order_release); }

void PhoneRoster::notifyIf(bool changed) {
  if (changed && prompts_ != nullptr) prompts_->promptChanged();
}

Admission::Verdict PhoneRoster::connected(PhoneId id, uint32_t ipv4, uint64_t nowMs, bool logged) {
  // The neighbour table is read outside the lock: the main thread must not
  // wait for it.
  MacAddress mac{};
  const bool haveMac = askFirst() && neighbours_ != nullptr && neighbours_->hardwareAddress(ipv4, mac);
  const PhoneIdentity identity = IdentityFor(ipv4, haveMac ? &mac : nullptr);

  Admission::Verdict verdict;
  bool changed = false;
  {
    std::lock_guard lock(mutex_);
    const auto before = admission_.prompted();
    verdict = admission_.arrive(id, ipv4, identity, nowMs);
    if (verdict == Admission::Verdict::Allow || verdict == Admission::Verdict::Wait) {
      phones_.push_back(PhoneInfo{id, ipv4, nowMs,
                                  verdict == Admission::Verdict::Allow ? PhoneState::Allowed : PhoneState::Waiting,
                                  logged});
    }
    noteDeadline();
    changed = admission_.prompted() != before;
  }
  notifyIf(changed);
  return verdict;
}

void PhoneRoster::disconnected(PhoneId id) {
  bool changed = false;
  {
    std::lock_guard lock(mutex_);
    const auto before = admission_.prompted();
    admission_.leave(id);
    std::erase_if(phones_, [id](const PhoneInfo& p) { return p.id == id; });
    noteDeadline();
    changed = admission_.prompted() != before;
  }
  notifyIf(changed);
}

void PhoneRoster::expireWaiting(uint64_t nowMs) {
  if (nowMs < nextDeadline_.load(std::memory_order_acquire)) return;
  bool changed = false;
  {
    std::lock_guard lock(mutex_);
    const auto before = admission_.prompted();
    admission_.expire(nowMs, decisions_);
    changed = apply(before);
  }
  notifyIf(changed);
}

void PhoneRoster::setAnswerTimeout(uint64_t ms) {
  std::lock_guard lock(mutex_);
  admission_.setAnswerTimeout(ms);
  noteDeadline();
}

bool PhoneRoster::takeRequests(WorkerRequests& requests) {
  requests.clear();
  if (!hasPending_.load(std::memory_order_acquire)) return false;
  std::lock_guard lock(mutex_);
  std::swap(requests, pending_);
  hasPending_.store(false, std::memory_order_relaxed);
  return true;
}

std::vector<PhoneInfo> PhoneRoster::snapshot() const {
  std::lock_guard lock(mutex_);
  return phones_;
}

size_t PhoneRoster::count() const {
  std::lock_guard lock(mutex_);
  return phones_.size();
}

void PhoneRoster::requestDisconnect(PhoneId id) {
  std::lock_guard lock(mutex_);
  const PhoneInfo* phone = find(id);
  if (phone == nullptr || std::find(pending_.close.begin(), pending_.close.end(), id) != pending_.close.end()) return;
  pending_.close.push_back(id);
  hasPending_.store(true, std::memory_order_release);
}

void PhoneRoster::requestReleaseHeld() {
  std::lock_guard lock(mutex_);
  pending_.releaseHeld = true;
  hasPending_.store(true, std::memory_order_release);
}

void PhoneRoster::setPaused(bool paused) {
  // Stored before the request is filed: a message the worker handles after
  // the release sees the pause and is dropped, so nothing is pressed again.
  if (paused_.exchange(paused, std::memory_order_acq_rel) == paused || !paused) return;
  requestReleaseHeld();
}

void PhoneRoster::setAskFirst(bool on) {
  bool changed = false;
  {
    std::lock_guard lock(mutex_);
    askFirst_.store(on, std::memory_order_release);
    const auto before = admission_.prompted();
    admission_.setEnabled(on, decisions_);
    changed = apply(before);
  }
  notifyIf(changed);
}

bool PhoneRoster::askFirst() const { return askFirst_.load(std::memory_order_acquire); }

std::optional<PhoneRoster::Prompt> PhoneRoster::prompt() const {
  std::lock_guard lock(mutex_);
  const auto id = admission_.prompted();
  if (!id) return std::nullopt;
  auto it = std::find_if(phones_.begin(), phones_.end(), [&](const PhoneInfo& p) { return p.id == *id; });
  if (it == phones_.end()) return std::nullopt;
  return Prompt{it->id, it->ipv4, it->logged};
}

bool PhoneRoster::answer(PhoneId id, Answer answer) {
  bool listChanged = false;
  bool changed = false;
  {
    std::lock_guard lock(mutex_);
    const auto before = admission_.prompted();
    if (!admission_.answer(id, answer, decisions_)) return false;
    listChanged = answer == Answer::AlwaysAllow;
    changed = apply(before);
  }
  notifyIf(changed);
  return listChanged;
}

void PhoneRoster::setAllowList(const AllowList& list) {
  std::lock_guard lock(mutex_);
  admission_.allowList() = list;
}

AllowList PhoneRoster::allowList() const {
  std::lock_guard lock(mutex_);
  return admission_.allowList();
}

void PhoneRoster::forgetAllowed() {
  std::lock_guard lock(mutex_);
  admission_.allowList().clear();
}

}  // namespace tavrin
