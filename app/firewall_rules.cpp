// The two switches that change the firewall, each run as its own process:
// see app/firewall.h.
#include "app/firewall.h"

#include <shellapi.h>

#include <cwchar>

#include "app/firewall_com.h"
#include "base/log_win32.h"
#include "shell/firewall_check.h"

namespace tavrin {

using namespace firewall_com;

namespace {

// How long --remove-firewall-rule waits for its elevated copy, UAC prompt
// included, before the uninstaller goes on without it.
constexpr DWORD kElevatedCopyWaitMs = 5 * 60 * 1000;

// This program's inbound block rules, and the rules it added itself (its
// name and its program).
struct OwnRules {
  std::vector<unique_com<INetFwRule>> blocking;
  std::vector<unique_com<INetFwRule>> added;
};

bool FindOwnRules(INetFwRules* rules, const std::wstring& program, OwnRules& own) {
  return ForEachRule(rules, [&](INetFwRule* rule) {
    if (!Inbound(rule) || !NamesProgram(Text(rule, &INetFwRule::get_ApplicationName), program)) return;
    NET_FW_ACTION action = NET_FW_ACTION_ALLOW;
    const bool blocks = SUCCEEDED(rule->get_Action(&action)) && action == NET_FW_ACTION_BLOCK;
    if (!blocks && Text(rule, &INetFwRule::get_Name) != kAllowRuleName) return;
    rule->AddRef();
    (blocks ? own.blocking : own.added).emplace_back(rule);
  });
}

// Remove goes by name, and another program's rule may have the same name:
// the rule is first given a name that no other rule can have.
HRESULT RemoveRule(INetFwRules* rules, INetFwRule* rule) {
  GUID id = {};
  wchar_t name[80] = L"Tavrin: rule being removed ";
  const size_t prefix = std::wcslen(name);
  if (FAILED(CoCreateGuid(&id)) || StringFromGUID2(id, name + prefix, static_cast<int>(80 - prefix)) == 0)
    return E_FAIL;
  const unique_bstr unique(SysAllocString(name));
  if (!unique) return E_OUTOFMEMORY;
  HRESULT result = rule->put_Name(unique.get());
  if (SUCCEEDED(result)) result = rules->Remove(unique.get());
  return result;
}

HRESULT AddAllowRule(INetFwRules* rules, const std::wstring& program) {
  unique_com<INetFwRule> rule = Create<INetFwRule>(kFirewallRuleClass);
  const unique_bstr name(SysAllocString(kAllowRuleName));
  const unique_bstr description(SysAllocString(kAllowRuleDescription));
  const unique_bstr application(SysAllocString(program.c_str()));
  const unique_bstr ports(SysAllocString(kAllowRulePorts));
  if (!rule || !name || !description || !application || !ports) return E_OUTOFMEMORY;
  // The protocol before the ports: a rule for every protocol has none.
  HRESULT result = rule->put_Name(name.get());
  if (SUCCEEDED(result)) result = rule->put_Description(description.get());
  if (SUCCEEDED(result)) result = rule->put_ApplicationName(application.get());
  if (SUCCEEDED(result)) result = rule->put_Protocol(kProtocolTcp);
  if (SUCCEEDED(result)) result = rule->put_LocalPorts(ports.get());
  if (SUCCEEDED(result)) result = rule->put_Direction(NET_FW_RULE_DIR_IN);
  if (SUCCEEDED(result)) result = rule->put_Action(NET_FW_ACTION_ALLOW);
  if (SUCCEEDED(result)) result = rule->put_Profiles(static_cast<LONG>(kAllowRuleProfiles));
  if (SUCCEEDED(result)) result = rule->put_Enabled(VARIANT_TRUE);
  if (SUCCEEDED(result)) result = rules->Add(rule.get());
  return result;
}

// The firewall's rules and this program's among them; null when they
// cannot be read.
unique_com<INetFwRules> ReadOwnRules(Log& log, const std::wstring& program, OwnRules& own) {
  unique_com<INetFwPolicy2> policy = Create<INetFwPolicy2>(kFirewallPolicyClass);
  unique_com<INetFwRules> rules = policy ? RulesOf(policy.get()) : unique_com<INetFwRules>();
  if (program.empty() || !rules || !FindOwnRules(rules.get(), program, own)) {
    log.write(LogLevel::Error, "the firewall's rules could not be read: nothing was changed");
    return {};
  }
  return rules;
}

int AllowPhonesThroughFirewall(Log& log) {
  const std::wstring program = ThisProgramPath();
  OwnRules own;
  const unique_com<INetFwRules> rules = ReadOwnRules(log, program, own);
  if (!rules) return 1;
  bool done = true;
  for (const unique_com<INetFwRule>& rule : own.blocking) {
    const std::string name = Utf8(Text(rule.get(), &INetFwRule::get_Name).c_str());
    const HRESULT result = RemoveRule(rules.get(), rule.get());
    if (SUCCEEDED(result)) {
      log.write(LogLevel::Info, "firewall: removed the block rule \"%s\" for this program", name.c_str());
    } else {
      log.write(LogLevel::Error, "firewall: the block rule \"%s\" could not be removed (0x%08lx)", name.c_str(),
                static_cast<unsigned long>(result));
      done = false;
    }
  }
  // One rule of ours at most: an earlier one is replaced.
  for (const unique_com<INetFwRule>& rule : own.added) RemoveRule(rules.get(), rule.get());
  const HRESULT added = AddAllowRule(rules.get(), program);
  if (FAILED(added)) {
    log.write(LogLevel::Error, "firewall: the rule that lets phones in could not be added (0x%08lx)",
              static_cast<unsigned long>(added));
    return 1;
  }
  log.write(LogLevel::Info, "firewall: added the rule \"%ls\": inbound TCP 1978 to this program, private and domain networks",
            kAllowRuleName);
  return done ? 0 : 1;
}

// Whether this process has an administrator's full rights (the token UAC
// elevates). Not the top of the integrity levels: an elevated program runs
// at High, below System.
bool RunsElevated() {
  unique_handle token;
  if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, token.put())) return false;
  TOKEN_ELEVATION elevation = {};
  DWORD size = 0;
  return GetTokenInformation(token.get(), TokenElevation, &elevation, sizeof elevation, &size) &&
         elevation.TokenIsElevated != 0;
}

int RemoveAllowRule(Log& log, bool elevatedCopy) {
  const std::wstring program = ThisProgramPath();
  OwnRules own;
  const unique_com<INetFwRules> rules = ReadOwnRules(log, program, own);
  if (!rules) return 1;
  if (own.added.empty()) return 0;
  // Removing a rule takes an administrator: ask once, through an elevated
  // copy. That copy never asks again, whatever it finds its rights to be: a
  // copy that starts copies could go on without end. Without the rights it
  // fails below and says so.
  if (!elevatedCopy && !RunsElevated()) {
    const unique_handle copy = StartElevatedCopy(nullptr, kRemoveFirewallRuleCopySwitch);
    DWORD code = 1;
    if (!copy || WaitForSingleObject(copy.get(), kElevatedCopyWaitMs) != WAIT_OBJECT_0 ||
        !GetExitCodeProcess(copy.get(), &code)) {
      log.write(LogLevel::Warning, "firewall: the rule \"%ls\" stays: no administrator removed it", kAllowRuleName);
      return 1;
    }
    return static_cast<int>(code);
  }
  for (const unique_com<INetFwRule>& rule : own.added) {
    const HRESULT result = RemoveRule(rules.get(), rule.get());
    if (FAILED(result)) {
      log.write(LogLevel::Error, "firewall: the rule \"%ls\" could not be removed (0x%08lx)", kAllowRuleName,
                static_cast<unsigned long>(result));
      return 1;
    }
  }
  log.write(LogLevel::Info, "firewall: removed the rule \"%ls\"", kAllowRuleName);
  return 0;
}

}  // namespace

std::optional<int> RunFirewallSwitch(const wchar_t* commandLine) {
  if (commandLine == nullptr) return std::nullopt;
  const bool allow = std::wcscmp(commandLine, kAllowFirewallSwitch) == 0;
  const bool copy = std::wcscmp(commandLine, kRemoveFirewallRuleCopySwitch) == 0;
  if (!allow && !copy && std::wcscmp(commandLine, kRemoveFirewallRuleSwitch) != 0) return std::nullopt;
  const ComApartment apartment(COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE);
  ProgramLog programLog;
  Log& log = programLog.log();
  log.write(LogLevel::Info, "Tavrin started with %ls", commandLine);
  const int code = allow ? AllowPhonesThroughFirewall(log) : RemoveAllowRule(log, copy);
  log.write(LogLevel::Info, "Tavrin ended with exit code %d", code);
  return code;
}

unique_handle StartElevatedCopy(HWND owner, const wchar_t* parameters) {
  const std::wstring program = ThisProgramPath();
  if (program.empty()) return {};
  SHELLEXECUTEINFOW run = {};
  run.cbSize = sizeof run;
  run.fMask = SEE_MASK_NOCLOSEPROCESS | SEE_MASK_NOASYNC;
  run.hwnd = owner;
  run.lpVerb = L"runas";
  run.lpFile = program.c_str();
  run.lpParameters = parameters;
  run.nShow = SW_HIDE;
  if (!ShellExecuteExW(&run)) return {};
  return unique_handle(run.hProcess);
}

}  // namespace tavrin
