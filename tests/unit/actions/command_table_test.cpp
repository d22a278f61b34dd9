#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "actions/window_actions.h"
#include "input/key_tables.h"
#include "server/message_handler.h"
#include "actions/command_table.h"
#include "support/fake_desktop.h"
#include "support/fakes.h"

namespace tavrin {
namespace {

using Strings = std::vector<std::string>;

// Everything a line reaches, as one list: injected events, then desktop
// calls, then interface calls.
struct Commands {
  test::RecordingInjector injector;
  test::FakeDesktop desktop;
  test::RecordingUserInterface ui;
  ActionState state;
  CommandContext context{injector, desktop, ui, state};

  Commands() {
    desktop.foreground = 3;
    desktop.style = kStyleVisible | kStyleThickFrame | kStyleMaximizeBox | kStyleMinimizeBox;
    desktop.rect = {200, 200, 600, 500};
  }
  Strings run(const char* line) {
    DispatchTextLine(context, line);
    Strings out = injector.take();
    for (const std::string& call : desktop.calls) out.push_back(call);
    for (const std::string& call : ui.calls()) out.push_back(call);
    desktop.calls.clear();
    return out;
  }
};

Strings Tap(const char* code) { return {std::string("key ") + code + " down", std::string("key ") + code + " up"}; }
// A key a keyboard sends with the E0 prefix.
Strings ExtendedTap(const char* code) {
  return {std::string("key ") + code + " down ext", std::string("key ") + code + " up ext"};
}

TEST(CommandTable, EveryCommandRunsItsAction) {
  struct Case {
    const char* line;
    Strings effects;
  };
  const Case cases[] = {
      {"zoomin", {"setWindowPos 170 170 460 360 flags 204"}},
      {"zoomout", {"setWindowPos 230 230 340 240 flags 204"}},
      {"slide begin", {}},
      {"slide end", {}},
      {"slideleft", {"key 12 down", "key 10 down", "key 09 down", "key 09 up", "key 10 up"}},
      {"slideright", {"key 12 down", "key 09 down", "key 09 up"}},
      {"slideup", {"showWindow 3"}},
      {"slidedown", {"toggleDesktop"}},
      {"drag start", {"left down"}},
      {"drag end", {"left up"}},
      {"drag 10 -5", {"move 10 -5"}},
      {"utf8 hi", {"unicode 0068", "unicode 0069"}},
      {"Msg||Hello||http://example.org/", {"balloon [Hello] [http://example.org/]"}},
      {"MUTE", ExtendedTap("ad")},
      {"VOLUMEUP", ExtendedTap("af")},
      {"VOLUMEDN", ExtendedTap("ae")},
      {"media play", ExtendedTap("b3")},
      {"media next", ExtendedTap("b0")},
      {"media prev", ExtendedTap("b1")},
      {"media volumeup", ExtendedTap("af")},
      {"media volumedown", ExtendedTap("ae")},
      {"shutdown", {"shutdown"}},
      {"browser forward", ExtendedTap("a7")},
      {"browser back", ExtendedTap("a6")},
      {"browser home", ExtendedTap("ac")},
      {"browser search", ExtendedTap("aa")},
      {"browser refresh", ExtendedTap("a8")},
      {"browser stop", ExtendedTap("a9")},
      {"browser favorite", ExtendedTap("ab")},
      {"browser newtab", {"key 11 down", "key 54 down", "key 54 up", "key 11 up"}},
      {"browser closetab", {"key 11 down", "key 57 down", "key 57 up", "key 11 up"}},
      {"browser nexttab", {"key 11 down", "key 09 down", "key 09 up", "key 11 up"}},
      {"ppt pgup", {}},
      {"ppt pgdn", {}},
      {"ppt run", {"startPresentation"}},
      {"ppt exit", {"stopPresentation"}},
      {"ppt play", {}},
      {"ppt stop", {}},
      {"ppt switch", {}},
      {"window close", {"sysCommand f060"}},
      {"window minimize", {"sysCommand f020"}},
      {"window maximize", {"sysCommand f030"}},
  };
  static_assert(sizeof cases / sizeof cases[0] == kTextCommandCount);
  for (const Case& c : cases) {
    Commands commands;
    EXPECT_EQ(commands.run(c.line), c.effects) << c.line;
  }
}

TEST(CommandTable, MatchesByCaseSensitivePrefix) {
  struct Case {
    const char* line;
    Strings effects;
  };
  const Case cases[] = {
      {"zoominXYZ", {"setWindowPos 170 170 460 360 flags 204"}},
      {"zoomin\r", {"setWindowPos 170 170 460 360 flags 204"}},
      {"drag startle", {"left down"}},
      {"drag", {}},
      {"drag 12", {}},
      {"mute", {}},
      {"Zoomin", {}},
      {"", {}},
      {" MUTE", {}},
      {"utf8 ", {}},
      {"MUTED", ExtendedTap("ad")},
  };
  for (const Case& c : cases) {
    Commands commands;
    EXPECT_EQ(commands.run(c.line), c.effects) << c.line;
  }
}

TEST(CommandTable, OnlyTheDragCommandsShareABeginning) {
  for (int i = 0; i < kTextCommandCount; ++i) {
    EXPECT_EQ(std::strlen(kTextCommands[i].word), kTextCommands[i].length);
    for (int j = i + 1; j < kTextCommandCount; ++j) {
      // A later word that begins with an earlier one could never be reached.
      EXPECT_NE(std::strncmp(kTextCommands[j].word, kTextCommands[i].word, kTextCommands[i].length), 0)
          << kTextCommands[j].word << " behind " << kTextCommands[i].word;
    }
  }
}

TEST(CommandTable, PresenterKeysOnlyWithPowerPointInFront) {
  Commands commands;
  commands.desktop.processPath = L"C:\\Office\\POWERPNT.EXE";
  EXPECT_EQ(commands.run("ppt pgdn"), ExtendedTap("22"));
  EXPECT_EQ(commands.run("ppt pgup"), ExtendedTap("21"));
  EXPECT_EQ(commands.run("ppt play"), Tap("74"));
  EXPECT_EQ(commands.run("ppt stop"), Tap("1b"));
  commands.desktop.processPath = L"C:\\Windows\\notepad.exe";
  EXPECT_EQ(commands.run("ppt pgdn"), Strings{});
}

TEST(CommandTable, SlideCommandsCloseAnOpenSwitcherFirst) {
  Commands commands;
  commands.run("slideright");
  EXPECT_EQ(commands.run("slideright"), (Strings{"key 09 down", "key 09 up"}));
  EXPECT_EQ(commands.run("slideup"), (Strings{"key 12 up", "showWindow 3"}));
  EXPECT_FALSE(commands.state.switcherActive);
  commands.run("slideleft");
  EXPECT_EQ(commands.run("slidedown"), (Strings{"key 12 up", "toggleDesktop"}));
  commands.run("slideleft");
  EXPECT_EQ(commands.run("slide begin"), Strings{});  // forgets the switcher, releases nothing
  EXPECT_EQ(commands.run("slide end"), Strings{});
}

TEST(CommandTable, RepeatedPeerTitlesAreDropped) {
  Commands commands;
  commands.run("Msg||Hello||a");
  commands.run("Msg||Hello||b");
  commands.run("Msg||hello||c");
  EXPECT_EQ(commands.ui.calls(), (Strings{"balloon [Hello] [a]", "balloon [hello] [c]"}));
}

// Lines through the message handler, framing included.
class TextLines : public ::testing::Test {
 protected:
  void SetUp() override {
    platform.injector = &injector;
    platform.desktop = &desktop;
    platform.ui = &ui;
    platform.discoveryEnabled = false;
    server = std::make_unique<MessageHandler>(platform);
    desktop.foreground = 3;
    desktop.style = kStyleVisible | kStyleThickFrame;
  }
  void feed(const std::string& bytes) { server->feed(connection, bytes.data(), static_cast<int32_t>(bytes.size())); }

  test::RecordingInjector injector;
  test::FakeDesktop desktop;
  test::RecordingUserInterface ui;
  Platform platform;
  std::unique_ptr<MessageHandler> server;
  ClientConnection connection{&injector};
};

TEST_F(TextLines, TwoCommandsInOneReceiveRunInOrder) {
  feed("MUTE\nVOLUMEUP\nVOLU");
  EXPECT_EQ(injector.take(), (Strings{"key ad down ext", "key ad up ext", "key af down ext", "key af up ext"}));
  EXPECT_EQ(std::string(connection.received.buffer, static_cast<size_t>(connection.received.fill)), "VOLU");
}

TEST_F(TextLines, TheLineLeavesTheBufferBeforeItsActionRuns) {
  struct WatchingDesktop : test::FakeDesktop {
    ClientConnection* connection = nullptr;
    int32_t fillSeen = -1;
    void toggleDesktop() override { fillSeen = connection->received.fill; }
  } watching;
  watching.connection = &connection;
  platform.desktop = &watching;
  server = std::make_unique<MessageHandler>(platform);
  feed("slidedown\nMUTE");
  EXPECT_EQ(watching.fillSeen, 4);
}

TEST_F(TextLines, HandleTextLineReturnsWhatItTook) {
  const std::string bytes = "zoomin\r\nrest";
  std::memcpy(connection.received.buffer, bytes.data(), bytes.size());
  connection.received.fill = static_cast<int32_t>(bytes.size());
  EXPECT_EQ(server->handleTextLine(connection), 8);
  EXPECT_EQ(std::string(connection.received.buffer), "rest");
  EXPECT_EQ(desktop.calls.size(), 1u);
}

TEST_F(TextLines, AnOverlongLineIsCutAndTheNextLineStillRuns) {
  feed("MUTE" + std::string(6000, 'x') + "\nVOLUMEDN\n");
  EXPECT_EQ(injector.take(), (Strings{"key ad down ext", "key ad up ext", "key ae down ext", "key ae up ext"}));
  EXPECT_EQ(connection.received.fill, 0);
}

TEST(CopyFirstLine, KeepsAtMost4095BytesAndAZero) {
  auto connection = std::make_unique<ClientConnection>(nullptr);
  std::memset(connection->received.buffer, 'y', 5000);
  connection->received.buffer[5000] = '\n';
  connection->received.fill = 5001;
  char line[kLineCapacity];
  std::memset(line, 0x55, sizeof line);
  EXPECT_EQ(CopyFirstLine(connection->received, line), 5001);
  EXPECT_EQ(std::strlen(line), 4095u);
  EXPECT_EQ(line[4095], '\0');

  connection->received.fill = 10;  // the newline lies past the fill
  EXPECT_EQ(CopyFirstLine(connection->received, line), 0);
}

}  // namespace
}  // namespace tavrin
