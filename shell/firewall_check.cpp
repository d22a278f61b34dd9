#include "shell/firewall_check.h"

#include <algorithm>
#include <string_view>

namespace tavrin {
namespace {

constexpr uint32_t kProfiles[] = {kProfileDomain, kProfilePrivate, kProfilePublic};

std::string_view Trimmed(std::string_view text) {
  while (!text.empty() && text.front() == ' ') text.remove_prefix(1);
  while (!text.empty() && text.back() == ' ') text.remove_suffix(1);
  return text;
}

bool ParsePort(std::string_view text, uint32_t& port) {
  if (text.empty() || text.size() > 5) return false;
  port = 0;
  for (const char c : text) {
    if (c < '0' || c > '9') return false;
    port = port * 10 + static_cast<uint32_t>(c - '0');
  }
  return port <= 65535;
}

// A rule's local ports: "*" (or nothing) for every port, else a list of
// ports and ranges. Keywords ("RPC", "Teredo", ...) name ports of Windows'
// own services, never the phones' port.
bool PortListed(std::string_view ports, uint16_t port) {
  if (Trimmed(ports).empty()) return true;
  while (true) {
    const size_t comma = ports.find(',');
    const std::string_view item = Trimmed(ports.substr(0, comma));
    if (item == "*") return true;
    const size_t dash = item.find('-');
    uint32_t low = 0;
    uint32_t high = 0;
    if (ParsePort(item.substr(0, dash), low) &&
        (dash == std::string_view::npos ? (high = low, true) : ParsePort(item.substr(dash + 1), high)) &&
        low <= port && port <= high)
      return true;
    if (comma == std::string_view::npos) return false;
    ports.remove_prefix(comma + 1);
  }
}

bool Meets(const InboundRule& rule, uint32_t profile) {
  return rule.enabled && (rule.profiles & profile) != 0 &&
         (rule.protocol == kProtocolTcp || rule.protocol == kProtocolAny) && PortListed(rule.localPorts, kPhonePort);
}

struct ProfileAnswer {
  bool open;
  const InboundRule* blocking;
};

// Windows Firewall's order: a profile that is off lets everything in;
// "block all incoming" lets nothing in; a block rule beats any allow rule;
// an allow rule or the default action lets the connection in. `afterAllow`
// answers as if "Allow Phones Through the Firewall..." had run.
ProfileAnswer Judge(const FirewallState& state, uint32_t profile, bool afterAllow) {
  const FirewallProfile& settings = state.profile(profile);
  if (!settings.enabled) return {true, nullptr};
  if (settings.blockAllInbound) return {false, nullptr};
  bool open = settings.inboundAllowedByDefault || (afterAllow && (kAllowRuleProfiles & profile) != 0);
  for (const InboundRule& rule : state.rules) {
    if (!Meets(rule, profile)) continue;
    if (rule.allow) {
      // Even when it holds for some addresses only: it may well hold for
      // the phones, and silence is better than a false alarm.
      open = true;
    } else if (!rule.limited && !(afterAllow && rule.thisProgram)) {
      return {false, &rule};
    }
  }
  return {open, nullptr};
}

const char* CategoryWord(NetworkCategory category) {
  switch (category) {
    case NetworkCategory::Private: return "Private";
    case NetworkCategory::Domain: return "Domain";
    default: return "Public";
  }
}

const char* ProfileWord(uint32_t profile) {
  return profile == kProfileDomain ? "domain" : profile == kProfilePrivate ? "private" : "public";
}

}  // namespace

FirewallVerdict JudgeFirewall(const FirewallState& state) {
  FirewallVerdict verdict;
  const uint32_t current = state.currentProfiles & kEveryProfile;
  if (current == 0 || state.policyOverridesRules) return verdict;
  bool openNow = false;
  bool openAfterAllow = false;
  const InboundRule* blocking = nullptr;
  for (const uint32_t profile : kProfiles) {
    if ((current & profile) == 0) continue;
    const ProfileAnswer now = Judge(state, profile, false);
    openNow = openNow || now.open;
    if (blocking == nullptr) blocking = now.blocking;
    openAfterAllow = openAfterAllow || Judge(state, profile, true).open;
  }
  if (openNow) {
    verdict.reach = PhoneReach::Open;
    return verdict;
  }
  const bool ruled = std::any_of(state.rules.begin(), state.rules.end(),
                                 [](const InboundRule& rule) { return rule.thisProgram; });
  bool asked = !ruled;
  for (const uint32_t profile : kProfiles)
    if ((current & profile) != 0 && !state.profile(profile).asksAboutNewPrograms) asked = false;
  verdict.reach = asked ? PhoneReach::Undecided : PhoneReach::Blocked;
  if (blocking != nullptr) verdict.blockingRule = blocking->name;
  if (!openAfterAllow && (current & kProfilePublic) != 0 && Judge(state, kProfilePrivate, true).open) {
    // Only the network's category stands in the way once Tavrin is allowed
    // on private networks; the menu item still helps if it is not yet.
    verdict.cause = BlockCause::PublicNetwork;
    verdict.offerAllow = !Judge(state, kProfilePrivate, false).open;
  } else {
    verdict.cause = BlockCause::Firewall;
    verdict.offerAllow = openAfterAllow;
  }
  return verdict;
}

FirewallCheck::Report FirewallCheck::check() {
  FirewallState state;
  const bool read = info_.firewall(state);
  std::vector<ConnectedNetwork> networks;
  const bool networksKnown = info_.connectedNetworks(networks);
  verdict_ = read ? JudgeFirewall(state) : FirewallVerdict{};

  // The same networks in any order are the same place.
  std::vector<std::string> ids;
  for (const ConnectedNetwork& network : networks) ids.push_back(network.id);
  std::sort(ids.begin(), ids.end());
  std::string key;
  if (networksKnown && !ids.empty()) {
    for (const std::string& id : ids) key += id + ",";
  } else {
    key = "profiles " + std::to_string(state.currentProfiles) + ",";
  }
  key += std::to_string(static_cast<int>(verdict_.cause));

  std::string line = "phones and the firewall: ";
  if (!read) {
    line += "cannot tell, the firewall could not be read";
  } else if (state.policyOverridesRules) {
    line += "cannot tell, group policy decides the firewall's rules";
  } else if (verdict_.reach == PhoneReach::Unknown) {
    line += "cannot tell, no network profile is in use";
  } else if (verdict_.reach == PhoneReach::Undecided) {
    line += "not yet, Windows is asking whether to let Tavrin in";
  } else if (verdict_.reach == PhoneReach::Open) {
    line += "phones can connect to TCP 1978";
  } else {
    line += verdict_.cause == BlockCause::PublicNetwork ? "blocked, the network is set as Public"
                                                        : "blocked by Windows Firewall";
    if (!verdict_.blockingRule.empty()) line += " (block rule \"" + verdict_.blockingRule + "\")";
    if (verdict_.offerAllow) line += "; the tray menu offers to allow phones";
  }
  if (read) {
    line += "; profiles in use:";
    for (const uint32_t profile : kProfiles) {
      if ((state.currentProfiles & profile) == 0) continue;
      line += std::string(" ") + ProfileWord(profile) + (state.profile(profile).enabled ? " (on)" : " (off)");
    }
  }
  line += "; networks: ";
  if (!networksKnown) line += "unknown";
  for (size_t i = 0; i < networks.size(); ++i)
    line += (i > 0 ? ", " : "") + (networks[i].name.empty() ? std::string("unnamed") : networks[i].name) + " (" +
            CategoryWord(networks[i].category) + ")";

  const bool changed = line != description_;
  description_ = std::move(line);
  key_ = std::move(key);
  const bool tell = verdict_.reach == PhoneReach::Blocked && std::find(told_.begin(), told_.end(), key_) == told_.end();
  return {changed, tell};
}

bool FirewallCheck::lookAgainSoon(uint64_t now) {
  if (verdict_.reach != PhoneReach::Undecided) {
    questionSeen_ = false;
    return false;
  }
  if (!questionSeen_) {
    questionSeen_ = true;
    questionSince_ = now;
  }
  return now - questionSince_ < kQuestionWatchMs;
}

void FirewallCheck::told() {
  if (std::find(told_.begin(), told_.end(), key_) != told_.end()) return;
  if (told_.size() == kMemory) told_.erase(told_.begin());
  told_.push_back(key_);
}

const wchar_t* FirewallCauseLine(const FirewallVerdict& verdict) {
  if (verdict.reach != PhoneReach::Blocked) return nullptr;
  return verdict.cause == BlockCause::PublicNetwork ? L"This network is set as Public"
                                                    : L"Windows Firewall blocks phones on this network";
}

const wchar_t* FirewallBalloonText(const FirewallVerdict& verdict) {
  static constexpr wchar_t kAllow[] =
      L"Windows Firewall blocks phones on this network. To let them connect, choose \"Allow Phones Through the "
      L"Firewall\u2026\" in Tavrin's menu; Windows asks for an administrator's consent.";
  static constexpr wchar_t kAdministrator[] =
      L"Windows Firewall blocks phones on this network, by a setting Tavrin cannot change. Ask this computer's "
      L"administrator to let Tavrin receive connections on TCP port 1978.";
  static constexpr wchar_t kPublic[] =
      L"This network is set as Public, and Windows lets phones connect to Tavrin on Private networks only. If "
      L"you trust this network, set it as Private in Settings > Network & internet.";
  static constexpr wchar_t kPublicThenAllow[] =
      L"This network is set as Public, where Windows lets no phone connect. If you trust it, set it as Private "
      L"in Settings > Network & internet, then choose \"Allow Phones Through the Firewall\u2026\" in Tavrin's menu.";
  // The balloon's text field holds 256 units, its zero included.
  static_assert(sizeof kAllow / sizeof(wchar_t) <= 256 && sizeof kAdministrator / sizeof(wchar_t) <= 256 &&
                sizeof kPublic / sizeof(wchar_t) <= 256 && sizeof kPublicThenAllow / sizeof(wchar_t) <= 256);
  if (verdict.cause == BlockCause::PublicNetwork) return verdict.offerAllow ? kPublicThenAllow : kPublic;
  return verdict.offerAllow ? kAllow : kAdministrator;
}

}  // namespace tavrin
