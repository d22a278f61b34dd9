// What a click on a phone's message balloon may open. Anyone on the network
// can send a message, so its target is judged before the shell sees it: web
// and mail links open, a document on a local drive opens when it is not a
// program or a script, and nothing else does (no program, no network path, no
// other URL scheme whose handler might run something).
#pragma once
#include <string_view>

namespace tavrin {

enum class PeerTargetKind {
  Nothing,   // an empty target: the click does nothing
  Link,      // http:, https: or mailto:, any letter case
  Document,  // an absolute path on a drive letter (or a file:/// URL of one)
  Refused,   // anything else
};

struct PeerTarget {
  PeerTargetKind kind = PeerTargetKind::Nothing;
  // For a document: its drive letter and its extension without the dot, for
  // the platform's own checks (a network drive, a type it calls dangerous).
  wchar_t drive = 0;
  std::wstring_view extension;
};

// `target` must outlive the result, whose extension points into it.
PeerTarget ClassifyPeerTarget(std::wstring_view target);

}  // namespace tavrin
