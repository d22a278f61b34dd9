// "Msg||" lines of any bytes: the parser must keep its buffers terminated and
// within their capacities, split where the first "||" after the prefix says,
// and a title once shown must not be shown again.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <set>
#include <string>
#include <vector>

#include "actions/peer_message.h"
#include "support/fakes.h"

namespace {

[[noreturn]] void Fail(const char* what) {
  std::fprintf(stderr, "peer fuzzer: %s\n", what);
  std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  // A line never holds its newline or a zero byte past its end; most inputs
  // are given the prefix so that the interesting path is taken.
  std::string line = (size > 0 && (data[0] & 1)) ? "Msg||" : "";
  line.append(reinterpret_cast<const char*>(data), size);
  line = line.substr(0, std::strlen(line.c_str()));

  char title[tavrin::kPeerTitleCapacity];
  char target[tavrin::kPeerTargetCapacity];
  std::memset(title, 0x5A, sizeof title);
  std::memset(target, 0x5A, sizeof target);
  const bool parsed = tavrin::ParsePeerMessage(line.c_str(), title, target);
  if (parsed) {
    const size_t titleLength = strnlen(title, sizeof title);
    const size_t targetLength = strnlen(target, sizeof target);
    if (titleLength > tavrin::kPeerTitleShownBytes) Fail("title longer than the balloon shows");
    if (targetLength >= sizeof target) Fail("target not terminated");
    // The title starts behind the first "||" and is a prefix of the text up
    // to the next "||"; the target is a prefix of what follows that.
    const size_t first = line.find("||");
    const size_t second = first == std::string::npos ? first : line.find("||", first + 2);
    if (second == std::string::npos) Fail("parsed a line without a second separator");
    const std::string fullTitle = line.substr(first + 2, second - first - 2);
    if (fullTitle.compare(0, titleLength, title, titleLength) != 0) Fail("title is not the text behind the prefix");
    if (line.compare(second + 2, targetLength, target, targetLength) != 0) Fail("target is not the text behind the title");
  } else if (line.find("||") != std::string::npos && line.find("||", line.find("||") + 2) != std::string::npos) {
    Fail("line with two separators not parsed");
  }

  // Shown once, never twice.
  tavrin::PeerTitleSet seen;
  tavrin::test::RecordingUserInterface ui;
  tavrin::HandlePeerMessage(seen, ui, line.c_str());
  tavrin::HandlePeerMessage(seen, ui, line.c_str());
  if (ui.calls().size() != (parsed ? 1u : 0u)) Fail("a title shown other than once");
  return 0;
}
