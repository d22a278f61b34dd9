#include "shell/peer_target.h"

namespace tavrin {

namespace {

wchar_t Lower(wchar_t c) { return c >= L'A' && c <= L'Z' ? static_cast<wchar_t>(c - L'A' + L'a') : c; }
bool IsLetter(wchar_t c) { return (c >= L'a' && c <= L'z') || (c >= L'A' && c <= L'Z'); }
bool IsDigit(wchar_t c) { return c >= L'0' && c <= L'9'; }

bool SameIgnoringCase(std::wstring_view a, std::wstring_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (Lower(a[i]) != Lower(b[i])) return false;
  return true;
}

bool StartsIgnoringCase(std::wstring_view text, std::wstring_view start) {
  return text.size() >= start.size() && SameIgnoringCase(text.substr(0, start.size()), start);
}

// Types the shell runs rather than shows: programs, scripts, installers,
// shortcuts (which point at programs) and the shell's own command files.
// The Windows side also asks the shell, which knows the types installed there.
constexpr std::wstring_view kRunnableTypes[] = {
    L"exe",     L"com",     L"bat",    L"cmd",         L"scr",        L"pif",          L"cpl",
    L"msi",     L"msp",     L"mst",    L"msc",         L"hta",        L"jar",          L"js",
    L"jse",     L"vb",      L"vbs",    L"vbe",         L"wsf",        L"wsh",          L"wsc",
    L"ws",      L"sct",     L"ps1",    L"ps1xml",      L"ps2",        L"ps2xml",       L"psc1",
    L"psc2",    L"psd1",    L"psm1",   L"msh",         L"msh1",       L"msh2",         L"mshxml",
    L"lnk",     L"url",     L"reg",    L"inf",         L"ins",        L"isp",          L"scf",
    L"shb",     L"shs",     L"chm",    L"hlp",         L"application", L"appref-ms",   L"gadget",
    L"xbap",    L"appx",    L"msix",   L"appxbundle",  L"msixbundle", L"diagcab",      L"settingcontent-ms",
    L"library-ms", L"search-ms", L"searchconnector-ms", L"py",  L"pyw", L"pyz", L"pl", L"rb", L"tcl", L"website",
};

bool IsRunnableType(std::wstring_view extension) {
  for (std::wstring_view type : kRunnableTypes)
    if (SameIgnoringCase(extension, type)) return true;
  return false;
}

// Length of a URL scheme at the start of the text ("https" in
// "https://..."), or 0. One letter before a colon is a drive, not a scheme.
size_t SchemeLength(std::wstring_view text) {
  if (text.empty() || !IsLetter(text[0])) return 0;
  size_t i = 1;
  while (i < text.size() && (IsLetter(text[i]) || IsDigit(text[i]) || text[i] == L'+' || text[i] == L'-' ||
                             text[i] == L'.'))
    ++i;
  return i >= 2 && i < text.size() && text[i] == L':' ? i : 0;
}

// A link is handed to its handler's command line: quotes or blanks in it
// could add arguments there. Real links carry them percent-encoded.
bool IsCleanLink(std::wstring_view link) {
  for (wchar_t c : link)
    if (c <= L' ' || c == L'"' || c == 0x7F) return false;
  return true;
}

// "X:\dir\name.ext" (either slash). Anything a path could hide its real
// target behind is refused: wildcards, stream names after a second colon,
// and trailing dots or blanks, which Windows drops ("cmd.exe." runs cmd.exe).
PeerTarget ClassifyDrivePath(std::wstring_view path) {
  PeerTarget refused{PeerTargetKind::Refused, 0, {}};
  if (path.size() < 4 || !IsLetter(path[0]) || path[1] != L':' || (path[2] != L'\\' && path[2] != L'/'))
    return refused;
  for (size_t i = 2; i < path.size(); ++i) {
    const wchar_t c = path[i];
    if (c < L' ' || c == L':' || c == L'*' || c == L'?' || c == L'"' || c == L'<' || c == L'>' || c == L'|')
      return refused;
  }
  const wchar_t last = path.back();
  if (last == L'.' || last == L' ' || last == L'\\' || last == L'/') return refused;
  const size_t nameStart = path.find_last_of(L"\\/") + 1;
  const size_t dot = path.find_last_of(L'.');
  if (dot == std::wstring_view::npos || dot < nameStart) return refused;  // no type: the shell might guess one
  const std::wstring_view extension = path.substr(dot + 1);
  if (IsRunnableType(extension)) return refused;
  return {PeerTargetKind::Document, path[0], extension};
}

}  // namespace

PeerTarget ClassifyPeerTarget(std::wstring_view target) {
  if (target.empty()) return {};
  const PeerTarget refused{PeerTargetKind::Refused, 0, {}};
  const size_t scheme = SchemeLength(target);
  if (scheme != 0) {
    const std::wstring_view name = target.substr(0, scheme);
    if (SameIgnoringCase(name, L"http") || SameIgnoringCase(name, L"https") || SameIgnoringCase(name, L"mailto"))
      return IsCleanLink(target) ? PeerTarget{PeerTargetKind::Link, 0, {}} : refused;
    // Only a file URL without a host names this computer's own disk; an
    // escaped name could hide its type, so those are refused too.
    if (SameIgnoringCase(name, L"file") && StartsIgnoringCase(target, L"file:///") &&
        target.find(L'%') == std::wstring_view::npos)
      return ClassifyDrivePath(target.substr(8));
    return refused;
  }
  // "\\host\share", "//host/share", "\\?\..." and relative names (which the
  // shell would look up along the program search path) are never opened.
  return ClassifyDrivePath(target);
}

}  // namespace tavrin
