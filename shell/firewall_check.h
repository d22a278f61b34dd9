// Whether a phone's connection can get through the firewall to Tavrin, why
// not in plain words, and when to tell the user.
//
// Windows Defender Firewall asks an administrator the first time a program
// listens; for a standard user it asks nobody and silently adds rules that
// block the program. Discovery still works (it goes out), so the phone lists
// the computer and then cannot connect. And Windows calls a new Wi-Fi Public,
// where a program allowed on private networks only is still blocked.
//
// The answer errs towards silence: when the firewall cannot be read, when
// group policy decides its rules, or when a rule that could let phones in
// holds only for some addresses, nothing is said. A false alarm would send
// users to change firewall settings for nothing.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "seams/firewall.h"

namespace tavrin {

// Undecided: blocked for now, but no rule names this program yet and Windows
// asks about new programs, so its own question is probably on the screen;
// the answer will add the rules.
enum class PhoneReach : uint8_t { Unknown, Undecided, Open, Blocked };
enum class BlockCause : uint8_t { None, Firewall, PublicNetwork };

struct FirewallVerdict {
  PhoneReach reach = PhoneReach::Unknown;
  BlockCause cause = BlockCause::None;
  // "Allow Phones Through the Firewall..." would help: without this
  // program's block rules and with its allow rule, phones get in on a
  // network in use, or on this one once it is set as Private.
  bool offerAllow = false;
  std::string blockingRule;  // the block rule in the way, if one is (for the log)
};

// The verdict on the profiles of the networks in use. Phones are blocked
// only when they are blocked on every one of them: a computer on a Private
// Wi-Fi and a Public virtual adapter (Hyper-V, WSL) serves the Wi-Fi's
// phones, and must not be reported as blocked.
FirewallVerdict JudgeFirewall(const FirewallState& state);

// The rule that "Allow Phones Through the Firewall..." adds, elevated, after
// removing the inbound block rules for this program's file: inbound TCP 1978
// to this program, on private and domain networks. Never on Public ones,
// which may be anybody's; the user sets a trusted network as Private.
inline constexpr wchar_t kAllowRuleName[] = L"Tavrin: phones (TCP 1978)";
inline constexpr wchar_t kAllowRuleDescription[] =
    L"Lets phones with the Quillo app connect to Tavrin on private networks. Added from Tavrin's tray menu; "
    L"Tavrin's uninstaller removes it.";
inline constexpr wchar_t kAllowRulePorts[] = L"1978";
constexpr uint32_t kAllowRuleProfiles = kProfilePrivate | kProfileDomain;

// Asks the system again whenever the caller says so (at start, when the
// networks change, after the firewall was changed), keeps the answer, and
// decides when the user hears of it: once per set of networks and cause.
class FirewallCheck {
 public:
  struct Report {
    bool changed;  // not the answer the previous check gave: worth a line in the log
    bool tell;     // blocked, and the user has not been told for these networks and this cause
  };

  explicit FirewallCheck(FirewallInfo& info) : info_(info) {}
  Report check();
  // The balloon was shown: not again for the same networks and cause.
  void told();
  // Asked after each check, at `now` (milliseconds): whether to check again
  // soon because Windows' question waits for an answer (which adds rules,
  // and rules announce nothing). Only for kQuestionWatchMs from when it was
  // first seen waiting: a question left that long has been put aside, and
  // reading every rule every few seconds would go on for the whole run.
  bool lookAgainSoon(uint64_t now);
  static constexpr uint64_t kQuestionWatchMs = 60000;
  const FirewallVerdict& verdict() const { return verdict_; }
  // One line for the log: the answer and the networks it holds for.
  const std::string& description() const { return description_; }

 private:
  static constexpr size_t kMemory = 16;

  FirewallInfo& info_;
  FirewallVerdict verdict_;
  std::string key_;  // the networks (or profiles) and the cause of the last check
  std::string description_;
  std::vector<std::string> told_;  // oldest first
  bool questionSeen_ = false;  // Windows' question is waiting, since questionSince_
  uint64_t questionSince_ = 0;
};

// The line for the tip and the Phones submenu while phones are blocked
// ("Windows Firewall blocks phones on this network", "This network is set as
// Public"); null otherwise.
const wchar_t* FirewallCauseLine(const FirewallVerdict& verdict);
// The balloon's text for a blocked verdict: the cause and what to do.
const wchar_t* FirewallBalloonText(const FirewallVerdict& verdict);
inline constexpr wchar_t kFirewallBalloonTitle[] = L"Phones cannot connect to this computer";

}  // namespace tavrin
