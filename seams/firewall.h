// What the tray program asks the system about the way in for phones: the
// firewall's settings and rules that bear on inbound TCP 1978 to this
// program, and the networks the computer is connected to. Asked on the main
// thread, at start and when the networks change; the answer is judged by
// shell/firewall_check.h. Text is UTF-8.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

namespace tavrin {

// Firewall profiles as bits, the firewall's own values. A network's category
// chooses its profile: Public networks get the public profile, and so on.
constexpr uint32_t kProfileDomain = 1;
constexpr uint32_t kProfilePrivate = 2;
constexpr uint32_t kProfilePublic = 4;
constexpr uint32_t kEveryProfile = kProfileDomain | kProfilePrivate | kProfilePublic;

// IP protocol numbers as rules give them.
constexpr int32_t kProtocolTcp = 6;
constexpr int32_t kProtocolAny = 256;

// The port phones connect to.
constexpr uint16_t kPhonePort = 1978;

struct FirewallProfile {
  bool enabled = true;
  // "Block all incoming connections, including those in the list of allowed
  // apps": no rule lets anything in.
  bool blockAllInbound = false;
  // What happens to an inbound connection that no rule matches (Windows'
  // default is to block it).
  bool inboundAllowedByDefault = false;
  // Windows asks the user about a program that listens and has no rule yet
  // (an administrator answers; a standard user's program is blocked silently).
  bool asksAboutNewPrograms = true;
};

// An inbound rule that can match a connection to this program: one that
// names this program's file or no program. Rules of other programs, of
// services and outbound rules are left out by the query.
struct InboundRule {
  std::string name;  // for the log
  bool enabled = true;
  bool allow = false;        // false: a block rule
  bool thisProgram = false;  // false: the rule is for every program
  // The rule holds only for some local or remote addresses or some
  // interfaces: it may or may not meet a phone.
  bool limited = false;
  int32_t protocol = kProtocolAny;
  uint32_t profiles = kEveryProfile;
  std::string localPorts;  // "*", "1978", "1900-2000", "80,1978", or a keyword such as "RPC"
};

struct FirewallState {
  uint32_t currentProfiles = 0;  // the profiles of the networks connected now
  FirewallProfile domain, privateProfile, publicProfile;
  // Group policy decides which rules hold, and they may not be those listed.
  bool policyOverridesRules = false;
  std::vector<InboundRule> rules;

  const FirewallProfile& profile(uint32_t bit) const {
    return bit == kProfileDomain ? domain : bit == kProfilePrivate ? privateProfile : publicProfile;
  }
};

enum class NetworkCategory : uint8_t { Public, Private, Domain };

struct ConnectedNetwork {
  std::string id;    // stable for the network, across connections
  std::string name;  // as Windows shows it, for the log
  NetworkCategory category = NetworkCategory::Public;
};

class FirewallInfo {
 public:
  virtual ~FirewallInfo() = default;
  // The firewall as it stands; false when it could not be read in full (no
  // firewall service, or a system that does not answer these questions).
  virtual bool firewall(FirewallState& state) = 0;
  // The networks connected now; false when the list could not be read.
  virtual bool connectedNetworks(std::vector<ConnectedNetwork>& networks) = 0;
};

}  // namespace tavrin
