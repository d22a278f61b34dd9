#include "app/firewall.h"

#include <netfw.h>
#include <oleauto.h>
#include <shellapi.h>

#include <cwchar>

#include "app/win32_platform.h"
#include "base/log_win32.h"
#include "shell/firewall_check.h"

namespace tavrin {
namespace {

constexpr CLSID kFirewallPolicyClass = {0xe2b3c97f, 0x6ae1, 0x41ac, {0x81, 0x7a, 0xf6, 0xf9, 0x21, 0x66, 0xd7, 0xdd}};
constexpr CLSID kFirewallRuleClass = {0x2c5bc43e, 0x3369, 0x4c33, {0xab, 0x0c, 0xbe, 0x94, 0x69, 0x67, 0x7a, 0xf4}};
constexpr CLSID kNetworkListClass = {0xdcb00c01, 0x570f, 0x4a9b, {0x8d, 0x69, 0x19, 0x9f, 0xdb, 0xa5, 0x72, 0x3b}};

// How long --remove-firewall-rule waits for its elevated copy, UAC prompt
// included, before the uninstaller goes on without it.
constexpr DWORD kElevatedCopyWaitMs = 5 * 60 * 1000;

inline void FreeString(BSTR text) noexcept { SysFreeString(text); }
using unique_bstr = unique_any<BSTR, FreeString>;

struct OwnedVariant {
  VARIANT value;
  OwnedVariant() { VariantInit(&value); }
  ~OwnedVariant() { VariantClear(&value); }
  OwnedVariant(const OwnedVariant&) = delete;
  OwnedVariant& operator=(const OwnedVariant&) = delete;
};

template <typename T>
unique_com<T> Create(const CLSID& type) {
  unique_com<T> object;
  if (FAILED(CoCreateInstance(type, nullptr, CLSCTX_ALL, __uuidof(T), reinterpret_cast<void**>(object.put()))))
    object.reset();
  return object;
}

std::string Utf8(const wchar_t* text) {
  if (text == nullptr || *text == L'\0') return {};
  const int bytes = WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
  if (bytes <= 1) return {};
  std::string converted(static_cast<size_t>(bytes), '\0');
  WideCharToMultiByte(CP_UTF8, 0, text, -1, converted.data(), bytes, nullptr, nullptr);
  converted.pop_back();  // its terminating zero
  return converted;
}

// A text property of a rule; empty when it has none or cannot be read.
template <typename Getter>
std::wstring Text(INetFwRule* rule, Getter getter) {
  unique_bstr text;
  if (FAILED((rule->*getter)(text.put())) || !text) return {};
  return text.get();
}

bool SameText(const std::wstring& a, const wchar_t* b) {
  return CompareStringOrdinal(a.c_str(), -1, b, -1, TRUE) == CSTR_EQUAL;
}

std::wstring ThisProgramPath() {
  std::vector<wchar_t> path(32768);
  const DWORD length = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
  if (length == 0 || length >= path.size()) return {};
  return std::wstring(path.data(), length);
}

// A rule names its program by path, possibly through environment variables
// ("%LOCALAPPDATA%\..."), in any case.
bool NamesProgram(const std::wstring& application, const std::wstring& program) {
  if (application.empty() || program.empty()) return false;
  std::vector<wchar_t> expanded(32768);
  const DWORD length = ExpandEnvironmentStringsW(application.c_str(), expanded.data(), static_cast<DWORD>(expanded.size()));
  if (length == 0 || length > expanded.size()) return false;
  return SameText(program, expanded.data());
}

unique_com<INetFwRules> RulesOf(INetFwPolicy2* policy) {
  unique_com<INetFwRules> rules;
  if (FAILED(policy->get_Rules(rules.put()))) rules.reset();
  return rules;
}

// Calls `each` with every rule; false when the list cannot be read.
template <typename Each>
bool ForEachRule(INetFwRules* rules, Each each) {
  unique_com<IUnknown> unknown;
  unique_com<IEnumVARIANT> items;
  if (FAILED(rules->get__NewEnum(unknown.put())) || !unknown ||
      FAILED(unknown->QueryInterface(__uuidof(IEnumVARIANT), reinterpret_cast<void**>(items.put()))) || !items)
    return false;
  while (true) {
    OwnedVariant item;
    ULONG fetched = 0;
    const HRESULT result = items->Next(1, &item.value, &fetched);
    if (FAILED(result)) return false;
    if (result != S_OK || fetched == 0) return true;
    unique_com<INetFwRule> rule;
    if (item.value.vt == VT_DISPATCH && item.value.pdispVal != nullptr &&
        SUCCEEDED(item.value.pdispVal->QueryInterface(__uuidof(INetFwRule), reinterpret_cast<void**>(rule.put()))) &&
        rule)
      each(rule.get());
  }
}

bool Inbound(INetFwRule* rule) {
  NET_FW_RULE_DIRECTION direction = NET_FW_RULE_DIR_OUT;
  return SUCCEEDED(rule->get_Direction(&direction)) && direction == NET_FW_RULE_DIR_IN;
}

// Everything the verdict needs of an inbound rule for this program or for
// every program.
InboundRule Describe(INetFwRule* rule, bool thisProgram) {
  InboundRule described;
  described.name = Utf8(Text(rule, &INetFwRule::get_Name).c_str());
  described.thisProgram = thisProgram;
  VARIANT_BOOL enabled = VARIANT_FALSE;
  described.enabled = SUCCEEDED(rule->get_Enabled(&enabled)) && enabled != VARIANT_FALSE;
  NET_FW_ACTION action = NET_FW_ACTION_BLOCK;
  described.allow = SUCCEEDED(rule->get_Action(&action)) && action == NET_FW_ACTION_ALLOW;
  LONG protocol = kProtocolAny;
  if (SUCCEEDED(rule->get_Protocol(&protocol))) described.protocol = protocol;
  LONG profiles = kEveryProfile;
  if (SUCCEEDED(rule->get_Profiles(&profiles))) described.profiles = static_cast<uint32_t>(profiles);
  // Rules for every protocol have no ports: every port.
  described.localPorts = Utf8(Text(rule, &INetFwRule::get_LocalPorts).c_str());
  const std::wstring local = Text(rule, &INetFwRule::get_LocalAddresses);
  const std::wstring remote = Text(rule, &INetFwRule::get_RemoteAddresses);
  const std::wstring interfaceTypes = Text(rule, &INetFwRule::get_InterfaceTypes);
  OwnedVariant interfaces;
  const bool someInterfaces = SUCCEEDED(rule->get_Interfaces(&interfaces.value)) && interfaces.value.vt != VT_EMPTY &&
                              interfaces.value.vt != VT_NULL;
  described.limited = !(local.empty() || local == L"*") || !(remote.empty() || remote == L"*") ||
                      !(interfaceTypes.empty() || SameText(interfaceTypes, L"All")) || someInterfaces;
  return described;
}

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

int RemoveAllowRule(Log& log) {
  const std::wstring program = ThisProgramPath();
  OwnRules own;
  const unique_com<INetFwRules> rules = ReadOwnRules(log, program, own);
  if (!rules) return 1;
  if (own.added.empty()) return 0;
  if (!Win32Desktop().thisProgramElevated()) {
    // Removing a rule takes an administrator: ask once, through an elevated copy.
    const unique_handle copy = StartElevatedCopy(nullptr, kRemoveFirewallRuleSwitch);
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

// Hears the network list's notices and passes each on as a posted message:
// the check that follows runs on the main thread in its own time.
class NetworkEventSink final : public INetworkEvents {
 public:
  NetworkEventSink(HWND window, UINT message) : window_(window), message_(message) {}

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID type, void** object) override {
    if (object == nullptr) return E_POINTER;
    if (IsEqualIID(type, __uuidof(IUnknown)) || IsEqualIID(type, __uuidof(INetworkEvents))) {
      *object = static_cast<INetworkEvents*>(this);
      AddRef();
      return S_OK;
    }
    *object = nullptr;
    return E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return static_cast<ULONG>(InterlockedIncrement(&references_)); }
  ULONG STDMETHODCALLTYPE Release() override {
    const LONG left = InterlockedDecrement(&references_);
    if (left == 0) delete this;
    return static_cast<ULONG>(left);
  }
  HRESULT STDMETHODCALLTYPE NetworkAdded(GUID) override { return changed(); }
  HRESULT STDMETHODCALLTYPE NetworkDeleted(GUID) override { return changed(); }
  HRESULT STDMETHODCALLTYPE NetworkConnectivityChanged(GUID, NLM_CONNECTIVITY) override { return changed(); }
  HRESULT STDMETHODCALLTYPE NetworkPropertyChanged(GUID, NLM_NETWORK_PROPERTY_CHANGE) override { return changed(); }

 private:
  ~NetworkEventSink() = default;
  HRESULT changed() {
    PostMessageW(window_, message_, 0, 0);
    return S_OK;
  }

  LONG references_ = 1;
  HWND window_;
  UINT message_;
};

}  // namespace

bool Win32FirewallInfo::firewall(FirewallState& state) {
  unique_com<INetFwPolicy2> policy = Create<INetFwPolicy2>(kFirewallPolicyClass);
  LONG current = 0;
  if (!policy || FAILED(policy->get_CurrentProfileTypes(&current))) return false;
  state.currentProfiles = static_cast<uint32_t>(current);
  for (const uint32_t bit : {kProfileDomain, kProfilePrivate, kProfilePublic}) {
    FirewallProfile& profile = bit == kProfileDomain ? state.domain : bit == kProfilePrivate ? state.privateProfile
                                                                                            : state.publicProfile;
    const auto type = static_cast<NET_FW_PROFILE_TYPE2>(bit);
    VARIANT_BOOL enabled = VARIANT_TRUE;
    VARIANT_BOOL blockAll = VARIANT_FALSE;
    NET_FW_ACTION inbound = NET_FW_ACTION_BLOCK;
    if (FAILED(policy->get_FirewallEnabled(type, &enabled)) || FAILED(policy->get_BlockAllInboundTraffic(type, &blockAll)) ||
        FAILED(policy->get_DefaultInboundAction(type, &inbound)))
      return false;
    VARIANT_BOOL silent = VARIANT_FALSE;
    profile.asksAboutNewPrograms = SUCCEEDED(policy->get_NotificationsDisabled(type, &silent)) && silent == VARIANT_FALSE;
    profile.enabled = enabled != VARIANT_FALSE;
    profile.blockAllInbound = blockAll != VARIANT_FALSE;
    profile.inboundAllowedByDefault = inbound == NET_FW_ACTION_ALLOW;
  }
  NET_FW_MODIFY_STATE modify = NET_FW_MODIFY_STATE_OK;
  state.policyOverridesRules =
      SUCCEEDED(policy->get_LocalPolicyModifyState(&modify)) && modify == NET_FW_MODIFY_STATE_GP_OVERRIDE;

  const std::wstring program = ThisProgramPath();
  const unique_com<INetFwRules> rules = RulesOf(policy.get());
  return rules && ForEachRule(rules.get(), [&](INetFwRule* rule) {
           if (!Inbound(rule) || !Text(rule, &INetFwRule::get_ServiceName).empty()) return;
           const std::wstring application = Text(rule, &INetFwRule::get_ApplicationName);
           if (application.empty())
             state.rules.push_back(Describe(rule, false));
           else if (NamesProgram(application, program))
             state.rules.push_back(Describe(rule, true));
         });
}

bool Win32FirewallInfo::connectedNetworks(std::vector<ConnectedNetwork>& networks) {
  unique_com<INetworkListManager> manager = Create<INetworkListManager>(kNetworkListClass);
  unique_com<IEnumNetworks> list;
  if (!manager || FAILED(manager->GetNetworks(NLM_ENUM_NETWORK_CONNECTED, list.put())) || !list) return false;
  while (true) {
    unique_com<INetwork> network;
    ULONG fetched = 0;
    const HRESULT result = list->Next(1, network.put(), &fetched);
    if (FAILED(result)) return false;
    if (result != S_OK || fetched == 0 || !network) return true;
    ConnectedNetwork described;
    GUID id = {};
    wchar_t idText[40] = {};
    if (SUCCEEDED(network->GetNetworkId(&id)) && StringFromGUID2(id, idText, 40) != 0) described.id = Utf8(idText);
    unique_bstr name;
    if (SUCCEEDED(network->GetName(name.put())) && name) described.name = Utf8(name.get());
    NLM_NETWORK_CATEGORY category = NLM_NETWORK_CATEGORY_PUBLIC;
    if (FAILED(network->GetCategory(&category))) return false;
    described.category = category == NLM_NETWORK_CATEGORY_PRIVATE ? NetworkCategory::Private
                         : category == NLM_NETWORK_CATEGORY_DOMAIN_AUTHENTICATED ? NetworkCategory::Domain
                                                                                 : NetworkCategory::Public;
    networks.push_back(std::move(described));
  }
}

std::optional<int> RunFirewallSwitch(const wchar_t* commandLine) {
  if (commandLine == nullptr) return std::nullopt;
  const bool allow = std::wcscmp(commandLine, kAllowFirewallSwitch) == 0;
  if (!allow && std::wcscmp(commandLine, kRemoveFirewallRuleSwitch) != 0) return std::nullopt;
  const ComApartment apartment(COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE);
  ProgramLog programLog;
  Log& log = programLog.log();
  log.write(LogLevel::Info, "Tavrin started with %ls", commandLine);
  const int code = allow ? AllowPhonesThroughFirewall(log) : RemoveAllowRule(log);
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

bool NetworkChangeWatch::start(HWND window, UINT message) {
  stop();
  manager_ = Create<INetworkListManager>(kNetworkListClass);
  unique_com<IConnectionPointContainer> container;
  if (!manager_ ||
      FAILED(manager_->QueryInterface(__uuidof(IConnectionPointContainer), reinterpret_cast<void**>(container.put()))) ||
      !container || FAILED(container->FindConnectionPoint(__uuidof(INetworkEvents), point_.put())) || !point_) {
    stop();
    return false;
  }
  const unique_com<NetworkEventSink> sink(new NetworkEventSink(window, message));
  if (FAILED(point_->Advise(sink.get(), &cookie_))) {
    cookie_ = 0;
    stop();
    return false;
  }
  return true;
}

void NetworkChangeWatch::stop() {
  if (point_ && cookie_ != 0) point_->Unadvise(cookie_);
  cookie_ = 0;
  point_.reset();
  manager_.reset();
}

}  // namespace tavrin
