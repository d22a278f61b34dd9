#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "actions/presentation.h"
#include "support/fake_desktop.h"

namespace tavrin {
namespace {

using Calls = std::vector<std::string>;

TEST(Presentation, RecognisesPowerPointByFileNameAndExtension) {
  struct Case {
    const wchar_t* path;
    bool yes;
  };
  const Case cases[] = {
      {L"C:\\x\\POWERPNT.EXE", true},
      {L"C:\\Program Files\\Microsoft Office\\root\\Office16\\powerpnt.exe", true},
      {L"D:/tools/PowerPnt.Exe", true},
      {L"powerpnt.exe", true},
      {L"C:\\x\\powerpnt.exe.bak", false},
      {L"C:\\x\\mypowerpnt.exe", false},
      {L"C:\\powerpnt.exe\\winword.exe", false},
      {L"C:\\x\\powerpnt", false},
      {L"C:\\x\\powerpnt.ex", false},
      {L"", false},
  };
  for (const Case& c : cases) EXPECT_EQ(IsPresentationPath(c.path), c.yes);
}

TEST(Presentation, InFrontNeedsAForegroundWindow) {
  test::FakeDesktop desktop;
  desktop.processPath = L"C:\\x\\POWERPNT.EXE";
  EXPECT_FALSE(IsPresentationInFront(desktop));
  desktop.foreground = 4;
  EXPECT_TRUE(IsPresentationInFront(desktop));
  desktop.processPath = L"C:\\Windows\\notepad.exe";
  EXPECT_FALSE(IsPresentationInFront(desktop));
}

constexpr uint32_t kAttached = 0x1;
constexpr uint32_t kMirroring = 0x8;
constexpr uint32_t kDisconnected = 0x02000000;

Calls Switch(std::vector<DisplayDevice> displays, std::vector<std::wstring> withoutMonitor = {}) {
  test::FakeDesktop desktop;
  desktop.displays = std::move(displays);
  desktop.withoutMonitor = std::move(withoutMonitor);
  SwitchDisplays(desktop);
  return desktop.calls;
}

Calls Moved(const char* primary, const char* removed) {
  return {std::string("display ") + primary + " fields 20 0 0 0x0 flags 10000011",
          std::string("display ") + removed + " fields 180020 0 0 0x0 flags 10000001",
          "display null fields 0 0 0 0x0 flags 0"};
}

TEST(Presentation, SwitchDisplaysChoosesAmongTheFirstTwoRealDevices) {
  using D = test::FakeDesktop;
  EXPECT_EQ(Switch({}), Calls{});
  EXPECT_EQ(Switch({D::Display(L"ONE", kAttached)}), Calls{});
  EXPECT_EQ(Switch({D::Display(L"ONE", kAttached), D::Display(L"MIRROR", kMirroring)}), Calls{});
  EXPECT_EQ(Switch({D::Display(L"ONE", kAttached), D::Display(L"TWO", 0)}), Moved("TWO", "ONE"));
  EXPECT_EQ(Switch({D::Display(L"ONE", 0), D::Display(L"TWO", kAttached)}), Moved("ONE", "TWO"));
  EXPECT_EQ(Switch({D::Display(L"MIRROR", kMirroring | kAttached), D::Display(L"GONE", kDisconnected | kAttached),
                    D::Display(L"ONE", kAttached), D::Display(L"TWO", 0), D::Display(L"THREE", 0)}),
            Moved("TWO", "ONE"));
  // A laptop's panel and an HDMI output with nothing plugged in: the panel
  // stays; a monitor on a later output is the second display.
  EXPECT_EQ(Switch({D::Display(L"PANEL", kAttached), D::Display(L"HDMI", 0)}, {L"HDMI"}), Calls{});
  EXPECT_EQ(Switch({D::Display(L"PANEL", kAttached), D::Display(L"HDMI", 0), D::Display(L"DP", 0)}, {L"HDMI"}),
            Moved("DP", "PANEL"));
}

TEST(Presentation, SwitchDisplaysLooksAtTenDevicesAtMost) {
  using D = test::FakeDesktop;
  std::vector<DisplayDevice> displays(9, D::Display(L"MIRROR", kMirroring));
  displays.push_back(D::Display(L"ONE", kAttached));
  displays.push_back(D::Display(L"TWO", 0));
  EXPECT_EQ(Switch(displays), Calls{});
}

}  // namespace
}  // namespace tavrin
