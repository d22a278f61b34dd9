#include <gtest/gtest.h>

#include <string>

#include "shell/firewall_check.h"
#include "support/fakes.h"

namespace tavrin {
namespace {

InboundRule Rule(bool allow, bool thisProgram, const char* ports = "1978", int32_t protocol = kProtocolTcp,
                 uint32_t profiles = kEveryProfile) {
  InboundRule rule;
  rule.name = allow ? "allow" : "tavrin.exe";
  rule.allow = allow;
  rule.thisProgram = thisProgram;
  rule.localPorts = ports;
  rule.protocol = protocol;
  rule.profiles = profiles;
  return rule;
}

// What Windows adds for a standard user, silently, on the network in use.
std::vector<InboundRule> SilentBlockRules(uint32_t profile) {
  return {Rule(false, true, "", kProtocolTcp, profile), Rule(false, true, "", 17, profile)};
}

// Windows does not ask about new programs here, unless a test says so.
FirewallState OnNetwork(uint32_t profiles, std::vector<InboundRule> rules = {}) {
  FirewallState state;
  state.currentProfiles = profiles;
  state.rules = std::move(rules);
  state.domain.asksAboutNewPrograms = state.privateProfile.asksAboutNewPrograms =
      state.publicProfile.asksAboutNewPrograms = false;
  return state;
}

std::string Judged(const FirewallState& state) {
  const FirewallVerdict v = JudgeFirewall(state);
  if (v.reach == PhoneReach::Unknown) return "unknown";
  if (v.reach == PhoneReach::Open) return "open";
  if (v.reach == PhoneReach::Undecided) return "undecided";
  return std::string(v.cause == BlockCause::PublicNetwork ? "public" : "firewall") + (v.offerAllow ? " +offer" : "");
}

TEST(FirewallVerdict, RulesAndSettingsOnAPrivateNetwork) {
  EXPECT_EQ(Judged(OnNetwork(kProfilePrivate)), "firewall +offer");  // nothing allows it: the default blocks
  FirewallState off = OnNetwork(kProfilePrivate);
  off.privateProfile.enabled = false;
  EXPECT_EQ(Judged(off), "open");
  FirewallState openByDefault = OnNetwork(kProfilePrivate);
  openByDefault.privateProfile.inboundAllowedByDefault = true;
  EXPECT_EQ(Judged(openByDefault), "open");

  EXPECT_EQ(Judged(OnNetwork(kProfilePrivate, {Rule(true, true)})), "open");
  EXPECT_EQ(Judged(OnNetwork(kProfilePrivate, {Rule(true, false, "1900-2000", kProtocolAny)})), "open");
  EXPECT_EQ(Judged(OnNetwork(kProfilePrivate, {Rule(true, false, "80, 1978")})), "open");
  EXPECT_EQ(Judged(OnNetwork(kProfilePrivate, {Rule(true, false, "*")})), "open");
  InboundRule someAddresses = Rule(true, true);
  someAddresses.limited = true;
  EXPECT_EQ(Judged(OnNetwork(kProfilePrivate, {someAddresses})), "open");
  // Rules that do not meet a phone on TCP 1978 here.
  InboundRule disabled = Rule(true, true);
  disabled.enabled = false;
  for (const InboundRule& rule :
       {disabled, Rule(true, true, "RPC"), Rule(true, true, "1979-2000"), Rule(true, true, "19780"),
        Rule(true, true, "1978", 17), Rule(true, true, "1978", kProtocolTcp, kProfilePublic | kProfileDomain)})
    EXPECT_EQ(Judged(OnNetwork(kProfilePrivate, {rule})), "firewall +offer") << rule.localPorts;

  // A block rule beats an allow rule; Allow removes only this program's.
  std::vector<InboundRule> blocked = SilentBlockRules(kProfilePrivate);
  blocked.push_back(Rule(true, true));
  const FirewallVerdict verdict = JudgeFirewall(OnNetwork(kProfilePrivate, blocked));
  EXPECT_EQ(verdict.reach, PhoneReach::Blocked);
  EXPECT_TRUE(verdict.offerAllow);
  EXPECT_EQ(verdict.blockingRule, "tavrin.exe");
  EXPECT_EQ(Judged(OnNetwork(kProfilePrivate, {Rule(true, true), Rule(false, false, "1978")})), "firewall");
  InboundRule blockSome = Rule(false, false, "1978");
  blockSome.limited = true;
  EXPECT_EQ(Judged(OnNetwork(kProfilePrivate, {Rule(true, true), blockSome})), "open");
  FirewallState shieldsUp = OnNetwork(kProfilePrivate, {Rule(true, true)});
  shieldsUp.privateProfile.blockAllInbound = true;
  EXPECT_EQ(Judged(shieldsUp), "firewall");
  EXPECT_NE(std::wstring(FirewallBalloonText(JudgeFirewall(shieldsUp))).find(L"cannot change"), std::wstring::npos);
}

TEST(FirewallVerdict, PublicNetworksAndSeveralNetworks) {
  const InboundRule ours = Rule(true, true, "1978", kProtocolTcp, kAllowRuleProfiles);
  // A new Wi-Fi, Public, where Windows blocked Tavrin silently: both steps are needed.
  const FirewallVerdict first = JudgeFirewall(OnNetwork(kProfilePublic, SilentBlockRules(kProfilePublic)));
  EXPECT_EQ(first.cause, BlockCause::PublicNetwork);
  EXPECT_TRUE(first.offerAllow);
  EXPECT_EQ(std::wstring(FirewallCauseLine(first)), L"This network is set as Public");
  EXPECT_NE(std::wstring(FirewallBalloonText(first)).find(L"then choose"), std::wstring::npos);
  // Once Tavrin is allowed on private networks, only the category is left.
  std::vector<InboundRule> allowed = SilentBlockRules(kProfilePublic);
  allowed.push_back(ours);
  EXPECT_EQ(Judged(OnNetwork(kProfilePublic, allowed)), "public");
  EXPECT_EQ(Judged(OnNetwork(kProfilePrivate, allowed)), "open");
  // A user's own allow rule for Public networks is respected.
  EXPECT_EQ(Judged(OnNetwork(kProfilePublic, {Rule(true, true, "1978", kProtocolTcp, kProfilePublic)})), "open");
  // Blocked only when blocked on every network in use: a Private Wi-Fi
  // beside a Public virtual adapter serves its phones.
  EXPECT_EQ(Judged(OnNetwork(kProfilePublic | kProfilePrivate, allowed)), "open");
  EXPECT_EQ(Judged(OnNetwork(kProfilePublic | kProfilePrivate, SilentBlockRules(kProfilePublic))),
            "firewall +offer");
  // A first start where Windows asks about new programs: its question is up
  // until a rule names Tavrin, whichever way the answer goes.
  FirewallState asking = OnNetwork(kProfilePublic | kProfilePrivate, {Rule(true, false, "RPC")});
  asking.publicProfile.asksAboutNewPrograms = asking.privateProfile.asksAboutNewPrograms = true;
  EXPECT_EQ(Judged(asking), "undecided");
  asking.rules = SilentBlockRules(kProfilePublic);
  EXPECT_EQ(Judged(asking), "firewall +offer");
  asking.rules.clear();
  asking.privateProfile.asksAboutNewPrograms = false;
  EXPECT_EQ(Judged(asking), "firewall +offer");
  // Nothing to say without profiles in use or when group policy rules.
  EXPECT_EQ(Judged(OnNetwork(0)), "unknown");
  FirewallState policy = OnNetwork(kProfileDomain);
  policy.policyOverridesRules = true;
  EXPECT_EQ(Judged(policy), "unknown");
}

TEST(FirewallCheck, WhenToTellAndWhenToLookAgain) {
  test::FakeFirewallInfo info;
  info.state = OnNetwork(kProfilePrivate, SilentBlockRules(kProfilePrivate));
  const ConnectedNetwork home{"{home}", "Home", NetworkCategory::Private};
  const ConnectedNetwork cafe{"{cafe}", "Caf\xC3\xA9", NetworkCategory::Public};
  info.networks = {home};
  FirewallCheck check(info);

  auto report = check.check();
  EXPECT_TRUE(report.tell);
  EXPECT_TRUE(report.changed);
  EXPECT_NE(check.description().find("blocked by Windows Firewall (block rule \"tavrin.exe\")"), std::string::npos);
  EXPECT_NE(check.description().find("networks: Home (Private)"), std::string::npos);
  EXPECT_TRUE(check.check().tell);  // not shown yet (no tray icon): still due
  check.told();
  report = check.check();
  EXPECT_FALSE(report.tell);
  EXPECT_FALSE(report.changed);

  info.state.currentProfiles = kProfilePublic;
  info.state.rules = SilentBlockRules(kProfilePublic);
  info.networks = {cafe};
  EXPECT_TRUE(check.check().tell);
  check.told();
  info.networks = {home};
  info.state = OnNetwork(kProfilePrivate, SilentBlockRules(kProfilePrivate));
  EXPECT_FALSE(check.check().tell);
  // Same place, another cause: the user needs the next step.
  info.state = OnNetwork(kProfilePublic, {Rule(true, true, "1978", kProtocolTcp, kAllowRuleProfiles)});
  EXPECT_TRUE(check.check().tell);

  // Wine, or a stopped firewall service: the network list says Public, but
  // without the firewall's answer nothing is said.
  info.firewallReadable = false;
  info.networks = {cafe};
  report = check.check();
  EXPECT_EQ(check.verdict().reach, PhoneReach::Unknown);
  EXPECT_FALSE(report.tell);
  EXPECT_EQ(FirewallCauseLine(check.verdict()), nullptr);
  EXPECT_EQ(check.description(),
            "phones and the firewall: cannot tell, the firewall could not be read; networks: Caf\xC3\xA9 (Public)");
  info.networksReadable = false;
  check.check();
  EXPECT_NE(check.description().find("networks: unknown"), std::string::npos);
  EXPECT_FALSE(check.lookAgainSoon(0));

  // Windows' question: looked at again for a minute from when it was first
  // seen, and for a minute again when it comes back after an answer.
  info.firewallReadable = true;
  info.state = OnNetwork(kProfilePrivate);
  info.state.privateProfile.asksAboutNewPrograms = true;
  check.check();
  EXPECT_TRUE(check.lookAgainSoon(1000));
  check.check();
  EXPECT_TRUE(check.lookAgainSoon(60999));
  EXPECT_FALSE(check.lookAgainSoon(61000));
  info.state.rules = SilentBlockRules(kProfilePrivate);
  check.check();
  EXPECT_FALSE(check.lookAgainSoon(62000));
  info.state.rules.clear();
  check.check();
  EXPECT_TRUE(check.lookAgainSoon(200000));
}

}  // namespace
}  // namespace tavrin
