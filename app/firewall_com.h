// What the firewall's two sides share, the tray's queries (firewall.cpp)
// and the switches that change the rules (firewall_rules.cpp): the COM
// classes, owners for their texts and variants, and reading the rules.
// Only those two files include it.
#pragma once
#include <windows.h>
#include <netfw.h>
#include <oleauto.h>

#include <string>
#include <vector>

#include "base/win32_handles.h"

namespace tavrin::firewall_com {

inline constexpr CLSID kFirewallPolicyClass = {0xe2b3c97f, 0x6ae1, 0x41ac, {0x81, 0x7a, 0xf6, 0xf9, 0x21, 0x66, 0xd7, 0xdd}};
inline constexpr CLSID kFirewallRuleClass = {0x2c5bc43e, 0x3369, 0x4c33, {0xab, 0x0c, 0xbe, 0x94, 0x69, 0x67, 0x7a, 0xf4}};
inline constexpr CLSID kNetworkListClass = {0xdcb00c01, 0x570f, 0x4a9b, {0x8d, 0x69, 0x19, 0x9f, 0xdb, 0xa5, 0x72, 0x3b}};

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
inline unique_com<T> Create(const CLSID& type) {
  unique_com<T> object;
  if (FAILED(CoCreateInstance(type, nullptr, CLSCTX_ALL, __uuidof(T), reinterpret_cast<void**>(object.put()))))
    object.reset();
  return object;
}

inline std::string Utf8(const wchar_t* text) {
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
inline std::wstring Text(INetFwRule* rule, Getter getter) {
  unique_bstr text;
  if (FAILED((rule->*getter)(text.put())) || !text) return {};
  return text.get();
}

inline bool SameText(const std::wstring& a, const wchar_t* b) {
  return CompareStringOrdinal(a.c_str(), -1, b, -1, TRUE) == CSTR_EQUAL;
}

inline std::wstring ThisProgramPath() {
  std::vector<wchar_t> path(32768);
  const DWORD length = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
  if (length == 0 || length >= path.size()) return {};
  return std::wstring(path.data(), length);
}

// A rule names its program by path, possibly through environment variables
// ("%LOCALAPPDATA%\..."), in any case.
inline bool NamesProgram(const std::wstring& application, const std::wstring& program) {
  if (application.empty() || program.empty()) return false;
  std::vector<wchar_t> expanded(32768);
  const DWORD length = ExpandEnvironmentStringsW(application.c_str(), expanded.data(), static_cast<DWORD>(expanded.size()));
  if (length == 0 || length > expanded.size()) return false;
  return SameText(program, expanded.data());
}

inline unique_com<INetFwRules> RulesOf(INetFwPolicy2* policy) {
  unique_com<INetFwRules> rules;
  if (FAILED(policy->get_Rules(rules.put()))) rules.reset();
  return rules;
}

// Calls `each` with every rule; false when the list cannot be read.
template <typename Each>
inline bool ForEachRule(INetFwRules* rules, Each each) {
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

inline bool Inbound(INetFwRule* rule) {
  NET_FW_RULE_DIRECTION direction = NET_FW_RULE_DIR_OUT;
  return SUCCEEDED(rule->get_Direction(&direction)) && direction == NET_FW_RULE_DIR_IN;
}

}  // namespace tavrin::firewall_com
