#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

#include "actions/peer_message.h"
#include "support/fakes.h"

namespace tavrin {
namespace {

using Strings = std::vector<std::string>;

TEST(PeerMessage, SplitsAtTheFirstSeparatorAfterThePrefix) {
  struct Case {
    std::string line;
    bool parsed;
    std::string title, target;
  };
  const Case cases[] = {
      {"Msg||A||B||C", true, "A", "B||C"},
      {"Msg||Hello||http://example.org/x?y", true, "Hello", "http://example.org/x?y"},
      {"Msg||||target", true, "", "target"},
      {"Msg||Hello||", true, "Hello", ""},
      {"Msg||Hello", false, "", ""},
      {"Msg|Hello||x", false, "", ""},
      {"Msg||Hello|x", false, "", ""},
  };
  for (const Case& c : cases) {
    char title[kPeerTitleCapacity];
    char target[kPeerTargetCapacity];
    EXPECT_EQ(ParsePeerMessage(c.line.c_str(), title, target), c.parsed) << c.line;
    EXPECT_EQ(std::string(title), c.title) << c.line;
    EXPECT_EQ(std::string(target), c.target) << c.line;
  }
}

TEST(PeerMessage, CutsTitleToWhatTheBalloonShowsAndTargetToItsBuffer) {
  const std::string line = "Msg||" + std::string(1500, 't') + "||" + std::string(3000, 'u');
  char title[kPeerTitleCapacity];
  char target[kPeerTargetCapacity];
  ASSERT_TRUE(ParsePeerMessage(line.c_str(), title, target));
  EXPECT_EQ(std::string(title), std::string(234, 't'));
  EXPECT_EQ(std::string(target), std::string(2047, 'u'));
}

TEST(PeerMessage, EachTitleIsShownOnce) {
  PeerTitleSet seen;
  test::RecordingUserInterface ui;
  for (const char* line : {"Msg||Hello", "Msg||Hello||first", "Msg||Hello||second", "Msg||hello||third",
                           "Msg||||empty", "Msg||||again"})
    HandlePeerMessage(seen, ui, line);
  EXPECT_EQ(ui.calls(), (Strings{"balloon [Hello] [first]", "balloon [hello] [third]", "balloon [] [empty]"}));
}

TEST(PeerMessage, TitlesThatDifferOnlyPastTheCutAreOneTitle) {
  PeerTitleSet seen;
  test::RecordingUserInterface ui;
  const std::string common(300, 'c');
  HandlePeerMessage(seen, ui, ("Msg||" + common + "1||a").c_str());
  HandlePeerMessage(seen, ui, ("Msg||" + common + "2||b").c_str());
  EXPECT_EQ(ui.calls().size(), 1u);
}

TEST(PeerMessage, TheRecordOfShownTitlesIsBounded) {
  PeerTitleSet seen;
  test::RecordingUserInterface ui;
  for (size_t i = 0; i < kPeerTitleMemory + 10; ++i)
    HandlePeerMessage(seen, ui, ("Msg||title " + std::to_string(i) + "||x").c_str());
  EXPECT_EQ(seen.size(), kPeerTitleMemory);
  EXPECT_EQ(ui.calls().size(), kPeerTitleMemory + 10);  // later titles are still shown
  HandlePeerMessage(seen, ui, "Msg||title 0||x");      // remembered ones stay suppressed
  EXPECT_EQ(ui.calls().size(), kPeerTitleMemory + 10);
}

}  // namespace
}  // namespace tavrin
