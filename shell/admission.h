// The rules of "Ask Before a New Phone Connects".
//
// The phone protocol has no pairing and no password, so anyone who reaches
// the port can type on this computer. With the option on, a phone that the
// user has not allowed is greeted as usual but its input has no effect until
// the user answers a prompt naming its address.
//
// - Option off: every phone is allowed, exactly as without the option.
// - Option on, when a phone connects:
//     its identity is on the allow list          -> Allow
//     its address was denied earlier in this run -> Refuse (close it after
//                                                   the greeting)
//     kWaitingPerAddress connections from its
//     address already wait                       -> RefuseAddressWaits
//     kWaitingCapacity phones already wait       -> RefuseFull (neither is
//                                                   remembered: it may try
//                                                   again later)
//     otherwise                                  -> Wait: its input is
//                                                   dropped, not queued
// - At most one prompt is open: the first waiting phone has it, the others
//   wait in order of arrival without one. When the prompted phone is answered
//   or goes away, the next waiting phone gets the prompt.
// - Answers, for the prompted phone only (a late answer for a phone that has
//   gone away is ignored):
//     Allow        this connection is allowed.
//     AlwaysAllow  also remember its identity: it and every waiting
//                  connection with the same identity are allowed.
//     Deny         close it, and every waiting connection from the same
//                  address; refuse that address until the program ends.
// - A phone that has waited answerTimeoutMs without an answer is closed as
//   not answered (expire()); when it had the prompt, the prompt moves on.
//   Keep-alive cannot clear a silent phone (the sender's system answers the
//   probes), so without this sixteen silent connections would hold every
//   place until someone answered.
// - Turning the option off allows every waiting phone and closes the prompt.
//   Turning it on, or forgetting the allow list, leaves phones that are
//   already connected as they are: the rules judge a phone when it connects.
//
// Memory is bounded whatever arrives: at most kWaitingCapacity waiting
// phones (kWaitingPerAddress from any one address), kDeniedCapacity denied addresses (beyond that the oldest denial is
// forgotten, so that address would be asked about again), and the allow
// list's own cap. A flood of new addresses therefore opens one prompt, holds
// at most kWaitingCapacity of them and refuses the rest; phones on the allow
// list are allowed all the same.
//
// Not thread-safe: the roster (shell/phone_roster.h) owns one and uses it
// under its lock.
#pragma once
#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

#include "shell/allow_list.h"

namespace tavrin {

// Names one connection for the whole run. The worker hands out a new one per
// accepted connection (a counter, not the socket handle: handles are reused,
// and a menu choice made on an older snapshot must not reach a newer phone).
using PhoneId = uint64_t;

enum class Answer : uint8_t { Allow, AlwaysAllow, Deny };

// Connections an admission step decided about. Steps append; the caller clears.
struct AdmissionDecisions {
  std::vector<PhoneId> allowed;     // their input has effect from now on
  std::vector<PhoneId> closed;      // denied: end them as a close does
  std::vector<PhoneId> unanswered;  // waited too long: end them as a close does
};

class Admission {
 public:
  // Refuse: the user denied its address earlier in this run.
  enum class Verdict : uint8_t { Allow, Wait, Refuse, RefuseFull, RefuseAddressWaits };

  static constexpr size_t kWaitingCapacity = 16;
  static constexpr size_t kWaitingPerAddress = 2;
  static constexpr size_t kDeniedCapacity = 256;
  static constexpr uint64_t kDefaultAnswerTimeoutMs = 2 * 60 * 1000;

  Admission();

  // Turning it off allows every waiting phone (appended to `decisions`).
  void setEnabled(bool enabled, AdmissionDecisions& decisions);

  AllowList& allowList() { return allowList_; }
  const AllowList& allowList() const { return allowList_; }

  // A phone connected from `ipv4` (network byte order) with `identity` at
  // `nowMs` (a monotonic clock, the one expire() is given).
  Verdict arrive(PhoneId id, uint32_t ipv4, const PhoneIdentity& identity, uint64_t nowMs = 0);
  // Closes every phone that has waited answerTimeoutMs or longer by `nowMs`
  // (appended to `decisions.unanswered`).
  void expire(uint64_t nowMs, AdmissionDecisions& decisions);
  // When the next waiting phone runs out of time (UINT64_MAX: none waits).
  uint64_t nextDeadline() const;
  void setAnswerTimeout(uint64_t ms) { answerTimeoutMs_ = ms; }
  // A phone went away, whatever its state; unknown ids are ignored.
  void leave(PhoneId id);
  // The user answered the prompt for `id`. False, and nothing changes, when
  // `id` is not the phone that has the prompt.
  bool answer(PhoneId id, Answer answer, AdmissionDecisions& decisions);

  // The phone that should have the prompt now, if any.
  std::optional<PhoneId> prompted() const;
  size_t waitingCount() const { return waiting_.size(); }
  bool isDenied(uint32_t ipv4) const;

 private:
  struct Waiting {
    PhoneId id;
    uint32_t ipv4;
    PhoneIdentity identity;
    uint64_t sinceMs;
  };
  void deny(uint32_t ipv4);

  bool enabled_ = false;
  uint64_t answerTimeoutMs_ = kDefaultAnswerTimeoutMs;
  AllowList allowList_;
  std::vector<Waiting> waiting_;  // in order of arrival; the first has the prompt
  std::array<uint32_t, kDeniedCapacity> denied_{};  // a ring: oldest overwritten
  size_t deniedCount_ = 0;
  size_t deniedNext_ = 0;
};

}  // namespace tavrin
