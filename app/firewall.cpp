#include "app/firewall.h"

#include "app/firewall_com.h"
#include "shell/firewall_check.h"

namespace tavrin {

using namespace firewall_com;

namespace {

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
