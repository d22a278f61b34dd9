// Who is connected, and the user's say over them: the list of connected
// phones for the tray menu, "Disconnect", "Pause Phones" and "Ask Before a
// New Phone Connects" (the rules are in shell/admission.h).
//
// One roster, owned by the main window and shared with the server. Two
// threads use it:
//
//   the worker thread owns the connections. It tells the roster when a phone
//   connects and goes away, and once per pass takes the user's requests and
//   carries them out. It never waits on the main thread: every call is a
//   short critical section, and takeRequests() costs one atomic load when
//   nothing is pending.
//
//   the main thread reads a copy of the list for the menu and the tooltip,
//   and files requests. It never waits on the worker beyond the same short
//   critical section.
//
// The worker's side, in short:
//
//   accept:    greet; verdict = roster.connected(id, address, now)
//              Allow  -> input has effect;  Wait -> input is dropped
//              Refuse* -> close the connection now (calling disconnected(id)
//                        for it is allowed and does nothing)
//   any close: roster.disconnected(id)  (end of stream, error, a request)
//   each pass: roster.expireWaiting(now)  (one atomic load unless one is due)
//              if (roster.takeRequests(requests)) {
//                if (requests.releaseHeld) release what every phone holds
//                for id in requests.admit: its input has effect from now on
//                for id in requests.close: end it as a close does (release
//                                          what it holds, close, free)
//                for id in requests.denied, requests.unanswered: the same,
//                                          logged as denied / not answered
//              }
//   per message, before its handler: drop the message (frame or text line,
//              whatever it asks) when roster.paused() or the phone's input
//              has no effect yet. Dropped, not queued.
#pragma once
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <optional>
#include <vector>

#include "shell/admission.h"
#include "shell/allow_list.h"

namespace tavrin {

enum class PhoneState : uint8_t {
  Allowed,  // its input has effect (unless paused)
  Waiting,  // not allowed yet: waiting for the user's answer
  Denied,   // denied: its connection is being closed
};

struct PhoneInfo {
  PhoneId id = 0;
  uint32_t ipv4 = 0;               // network byte order
  uint64_t connectedSinceMs = 0;   // the worker's clock, see connected()
  PhoneState state = PhoneState::Allowed;
  bool logged = true;  // false: one of a flood, whose lines are counted, not written
};

// What the user asked of the worker since its last take. An id may name a
// connection that has ended meanwhile: the worker skips it.
struct WorkerRequests {
  std::vector<PhoneId> close;       // Disconnect: end these as a close does
  std::vector<PhoneId> admit;       // input from these has effect from now on
  std::vector<PhoneId> denied;      // the user denied them: end them
  std::vector<PhoneId> unanswered;  // waited too long for the user: end them
  // Pausing began: release what every phone holds down. Set also when the
  // user paused and resumed again before the worker looked.
  bool releaseHeld = false;

  void clear() {
    close.clear();
    admit.clear();
    denied.clear();
    unanswered.clear();
    releaseHeld = false;
  }
};

// Implemented by the application. The roster calls it when the prompt should
// open, close or switch to another phone; the application then reads
// prompt() and makes its dialog match. Called on either thread, without the
// roster's lock held: it must not block and must not wait on the other
// thread (post a window message, nothing more).
class PromptListener {
 public:
  virtual ~PromptListener() = default;
  virtual void promptChanged() noexcept = 0;
};

// Implemented by the application: the hardware address of a neighbour on the
// local link. Called on the worker thread when a phone connects while "Ask"
// is on, without the roster's lock held. It must answer from the neighbour
// table as it is (GetIpNetTable2) and never wait on the network: the phone
// has just completed a TCP handshake, so a phone on the link is in the table.
// False when the address has no neighbour entry (not on the link).
class NeighbourTable {
 public:
  virtual ~NeighbourTable() = default;
  virtual bool hardwareAddress(uint32_t ipv4, MacAddress& mac) noexcept = 0;
};

class PhoneRoster {
 public:
  struct Prompt {
    PhoneId id;
    uint32_t ipv4;  // network byte order
    bool logged;    // whether the prompt's own line may be written
  };

  // Either may be null: no prompt notices, or every identity an IP address.
  // Both must outlive the roster. Starts unpaused, with "Ask" off.
  PhoneRoster(PromptListener* prompts, NeighbourTable* neighbours);
  PhoneRoster(const PhoneRoster&) = delete;
  PhoneRoster& operator=(const PhoneRoster&) = delete;

  // ---- worker thread ------------------------------------------------------

  // A phone connected (after its greeting). `nowMs` is a monotonic clock in
  // milliseconds (GetTickCount64), the same the menu formats against. Ids
  // must be unique for the run.
  // `logged`: false for a connection that the log counts instead of
  // writing its lines (a flood); the prompt then writes none either.
  Admission::Verdict connected(PhoneId id, uint32_t ipv4, uint64_t nowMs, bool logged = true);
  // A connection ended, for whatever reason. Unknown ids are ignored.
  void disconnected(PhoneId id);
  // Files the phones that have waited too long for an answer as unanswered
  // (see takeRequests). Costs one atomic load until the first one is due.
  void expireWaiting(uint64_t nowMs);
  // Moves the pending requests into `requests` (cleared first; its vectors
  // are swapped in, so nothing is allocated once both have grown). False,
  // without taking the lock, when nothing is pending.
  bool takeRequests(WorkerRequests& requests);
  // Whether input from every phone is ignored. Cheap: read it per message.
  bool paused() const noexcept { return paused_.load(std::memory_order_acquire); }

  // ---- main thread --------------------------------------------------------

  // A copy of the list, in order of connection.
  std::vector<PhoneInfo> snapshot() const;
  size_t count() const;
  // Ends that phone's connection (once; repeated or stale requests are
  // ignored). It stays in the list until the worker has closed it.
  void requestDisconnect(PhoneId id);
  // Releases what every phone holds down (the session locks, the computer
  // sleeps); phones stay connected and their input counts as before.
  void requestReleaseHeld();
  // Pausing releases what every phone holds; phones stay connected. Not
  // remembered across runs: the program starts unpaused.
  void setPaused(bool paused);

  // "Ask Before a New Phone Connects", read from the user's settings at
  // start and set again when the user toggles it.
  void setAskFirst(bool on);
  bool askFirst() const;
  // How long a phone may wait for an answer (2 minutes unless the user's
  // settings say otherwise).
  void setAnswerTimeout(uint64_t ms);
  // The phone the prompt should show now, if any.
  std::optional<Prompt> prompt() const;
  // The user's answer to the prompt for `id`. Returns true when the allow
  // list changed (AlwaysAllow: store allowList() in the user's settings).
  // A stale answer (the phone went away, or the prompt moved on) is ignored.
  bool answer(PhoneId id, Answer answer);

  // The allow list, as read from the user's settings at start.
  void setAllowList(const AllowList& list);
  AllowList allowList() const;
  // "Forget Allowed Phones". Phones already connected stay as they are.
  void forgetAllowed();

 private:
  PhoneInfo* find(PhoneId id);  // under the lock
  // Applies admission decisions to the list and the pending requests, under
  // the lock; returns whether the prompt changed since `before`.
  bool apply(std::optional<PhoneId> before);
  void noteDeadline();  // under the lock
  void notifyIf(bool changed);

  PromptListener* prompts_;
  NeighbourTable* neighbours_;
  mutable std::mutex mutex_;
  std::vector<PhoneInfo> phones_;
  Admission admission_;
  AdmissionDecisions decisions_;  // scratch, reused
  WorkerRequests pending_;
  std::atomic<bool> hasPending_{false};
  std::atomic<bool> paused_{false};
  std::atomic<bool> askFirst_{false};
  std::atomic<uint64_t> nextDeadline_{UINT64_MAX};
};

}  // namespace tavrin
