#include "shell/admission.h"

#include <algorithm>

namespace tavrin {

Admission::Admission() { waiting_.reserve(kWaitingCapacity); }

void Admission::setEnabled(bool enabled, AdmissionDecisions& decisions) {
  enabled_ = enabled;
  if (enabled) return;
  for (const Waiting& phone : waiting_) decisions.allowed.push_back(phone.id);
  waiting_.clear();
}

Admission::Verdict Admission::arrive(PhoneId id, uint32_t ipv4, const PhoneIdentity& identity, uint64_t nowMs) {
  if (!enabled_ || allowList_.contains(identity)) return Verdict::Allow;
  if (isDenied(ipv4)) return Verdict::Refuse;
  const auto sameAddress = std::count_if(waiting_.begin(), waiting_.end(),
                                         [ipv4](const Waiting& phone) { return phone.ipv4 == ipv4; });
  if (static_cast<size_t>(sameAddress) >= kWaitingPerAddress) return Verdict::RefuseAddressWaits;
  if (waiting_.size() >= kWaitingCapacity) return Verdict::RefuseFull;
  waiting_.push_back(Waiting{id, ipv4, identity, nowMs});
  return Verdict::Wait;
}

void Admission::expire(uint64_t nowMs, AdmissionDecisions& decisions) {
  std::erase_if(waiting_, [&](const Waiting& phone) {
    if (nowMs < phone.sinceMs + answerTimeoutMs_) return false;
    decisions.unanswered.push_back(phone.id);
    return true;
  });
}

uint64_t Admission::nextDeadline() const {
  // In order of arrival, so the first waits longest.
  return waiting_.empty() ? UINT64_MAX : waiting_.front().sinceMs + answerTimeoutMs_;
}

void Admission::leave(PhoneId id) {
  std::erase_if(waiting_, [id](const Waiting& phone) { return phone.id == id; });
}

bool Admission::answer(PhoneId id, Answer answer, AdmissionDecisions& decisions) {
  if (waiting_.empty() || waiting_.front().id != id) return false;
  const Waiting asked = waiting_.front();
  waiting_.erase(waiting_.begin());
  switch (answer) {
    case Answer::Allow:
      decisions.allowed.push_back(id);
      break;
    case Answer::AlwaysAllow:
      allowList_.add(asked.identity);
      decisions.allowed.push_back(id);
      std::erase_if(waiting_, [&](const Waiting& phone) {
        if (phone.identity != asked.identity) return false;
        decisions.allowed.push_back(phone.id);
        return true;
      });
      break;
    case Answer::Deny:
      deny(asked.ipv4);
      decisions.closed.push_back(id);
      std::erase_if(waiting_, [&](const Waiting& phone) {
        if (phone.ipv4 != asked.ipv4) return false;
        decisions.closed.push_back(phone.id);
        return true;
      });
      break;
  }
  return true;
}

std::optional<PhoneId> Admission::prompted() const {
  if (waiting_.empty()) return std::nullopt;
  return waiting_.front().id;
}

bool Admission::isDenied(uint32_t ipv4) const {
  return std::find(denied_.begin(), denied_.begin() + deniedCount_, ipv4) != denied_.begin() + deniedCount_;
}

void Admission::deny(uint32_t ipv4) {
  if (isDenied(ipv4)) return;
  denied_[deniedNext_] = ipv4;
  deniedNext_ = (deniedNext_ + 1) % kDeniedCapacity;
  if (deniedCount_ < kDeniedCapacity) ++deniedCount_;
}

}  // namespace tavrin
