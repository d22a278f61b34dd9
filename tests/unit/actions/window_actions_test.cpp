#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "actions/window_actions.h"
#include "input/keyboard.h"
#include "support/fake_desktop.h"
#include "support/fakes.h"

namespace tavrin {
namespace {

using Calls = std::vector<std::string>;

constexpr uint32_t kSizable = kStyleVisible | kStyleThickFrame;

struct ZoomCase {
  Rect before;
  int32_t left, top, width, height;
};

TEST(Zoom, OutShrinksAroundTheCentreButNotBelowTheSmallestSize) {
  const ZoomCase cases[] = {
      {{200, 200, 350, 300}, 230, 230, 100, 80},
      {{0, 0, 50, 40}, 0, 0, 100, 80},        // too small to move its edges: it grows
      {{10, 20, 810, 620}, 40, 50, 740, 540},
  };
  for (const ZoomCase& c : cases) {
    Rect r = c.before;
    ZoomOutRect(r, kZoomStep);
    EXPECT_EQ(r.left, c.left);
    EXPECT_EQ(r.top, c.top);
    EXPECT_EQ(r.right - r.left, c.width);
    EXPECT_EQ(r.bottom - r.top, c.height);
  }
}

std::vector<int32_t> Edges(const Rect& r) { return {r.left, r.top, r.right, r.bottom}; }

TEST(Zoom, InGrowsButStopsAtTheEdgesAndTheSizeOfTheWorkArea) {
  const Rect primary{0, 0, 1936, 1096};
  Rect r{10, 10, 310, 210};
  EXPECT_TRUE(ZoomInRect(r, primary, kZoomStep));
  EXPECT_EQ(r.left, 0);
  EXPECT_EQ(r.top, 0);
  EXPECT_EQ(r.right, 340);
  EXPECT_EQ(r.bottom, 240);

  Rect wide{100, 100, 2000, 300};
  EXPECT_TRUE(ZoomInRect(wide, primary, kZoomStep));  // only one direction at the limit
  EXPECT_EQ(wide.right - wide.left, 1936);

  Rect full{100, 100, 2000, 1190};
  EXPECT_FALSE(ZoomInRect(full, primary, kZoomStep));

  // Monitors left of and above the primary, at 150 %: 45 pixels a step, and
  // the window stays on its own monitor.
  EXPECT_EQ(ZoomStep(144), 45);
  Rect left{-1000, 20, -400, 500};
  EXPECT_TRUE(ZoomInRect(left, Rect{-1920, 0, 0, 1040}, ZoomStep(144)));
  EXPECT_EQ(Edges(left), (std::vector<int32_t>{-1045, 0, -355, 545}));
  Rect above{100, -1060, 500, -700};
  EXPECT_TRUE(ZoomInRect(above, Rect{0, -1080, 1920, -40}, ZoomStep(144)));
  EXPECT_EQ(Edges(above), (std::vector<int32_t>{55, -1080, 545, -655}));
}

TEST(Zoom, ForegroundCommands) {
  struct Case {
    const char* name;
    bool in;
    uint32_t style;
    bool zoomed, iconic;
    Rect rect;
    Calls calls;
  };
  const Case cases[] = {
      {"out", false, kSizable, false, false, {200, 200, 350, 300}, {"setWindowPos 230 230 100 80 flags 204"}},
      {"out maximised restores", false, kSizable, true, false, {0, 0, 800, 600}, {"showWindow 9"}},
      {"out minimised", false, kSizable, false, true, {0, 0, 800, 600}, {}},
      {"out dialog", false, kStyleVisible, false, false, {0, 0, 800, 600}, {}},
      {"in", true, kSizable, false, false, {10, 10, 310, 210}, {"setWindowPos 0 0 340 240 flags 204"}},
      {"in to maximised", true, kSizable, false, false, {0, 0, 1920, 1080}, {"showWindow 3"}},
      {"in maximised", true, kSizable, true, false, {0, 0, 800, 600}, {}},
      {"in dialog", true, kStyleVisible, false, false, {0, 0, 800, 600}, {}},
  };
  for (const Case& c : cases) {
    test::FakeDesktop desktop;
    desktop.foreground = 3;
    desktop.style = c.style;
    desktop.zoomed = c.zoomed;
    desktop.iconic = c.iconic;
    desktop.rect = c.rect;
    if (c.in) ZoomInForeground(desktop);
    else ZoomOutForeground(desktop);
    EXPECT_EQ(desktop.calls, c.calls) << c.name;
  }
}

TEST(Zoom, MovesTheVisibleFrameAndKeepsTheInvisibleBorders) {
  // On a monitor left of the primary at 150 %, with 11-pixel invisible
  // borders left, right and below the visible frame.
  test::FakeDesktop desktop;
  desktop.foreground = 3;
  desktop.style = kSizable;
  desktop.workArea = {-1920, 0, 0, 1040};
  desktop.dpi = 144;
  desktop.rect = {-1011, 20, -389, 511};
  desktop.frame = {-1000, 20, -400, 500};
  desktop.hasFrame = true;
  ZoomInForeground(desktop);
  ZoomOutForeground(desktop);
  EXPECT_EQ(desktop.calls, (Calls{"setWindowPos -1056 0 712 556 flags 204", "setWindowPos -966 65 532 401 flags 204"}));
}

TEST(WindowCommands, NeedTheirStyleBits) {
  struct Case {
    void (*action)(DesktopWindows&);
    uint32_t style;
    bool zoomed;
    Calls calls;
  };
  const Case cases[] = {
      {CloseForeground, kStyleVisible, false, {"sysCommand f060"}},
      {CloseForeground, 0, false, {}},
      {MinimizeForeground, kStyleVisible | kStyleMinimizeBox, false, {"sysCommand f020"}},
      {MinimizeForeground, kStyleVisible, false, {}},
      {ToggleMaximizeForeground, kStyleVisible | kStyleMaximizeBox, false, {"sysCommand f030"}},
      {ToggleMaximizeForeground, kStyleVisible | kStyleMaximizeBox | kStyleMaximize, false, {"sysCommand f120"}},
      {ToggleMaximizeForeground, kStyleVisible | kStyleMaximize, false, {}},
      {MaximizeOrRestoreForeground, kSizable, false, {"showWindow 3"}},
      {MaximizeOrRestoreForeground, kSizable, true, {"showWindow 9"}},
      {MaximizeOrRestoreForeground, kStyleVisible, true, {}},
  };
  for (size_t i = 0; i < sizeof cases / sizeof cases[0]; ++i) {
    test::FakeDesktop desktop;
    desktop.foreground = 3;
    desktop.style = cases[i].style;
    desktop.zoomed = cases[i].zoomed;
    cases[i].action(desktop);
    EXPECT_EQ(desktop.calls, cases[i].calls) << "case " << i;

    test::FakeDesktop empty;  // no foreground window: nothing at all
    empty.style = cases[i].style;
    cases[i].action(empty);
    EXPECT_TRUE(empty.calls.empty()) << "case " << i;
  }
}

TEST(WindowCommands, LeaveTheProgramsOwnWindowsAlone) {
  void (*const actions[])(DesktopWindows&) = {CloseForeground,          MinimizeForeground, ToggleMaximizeForeground,
                                       MaximizeOrRestoreForeground, ZoomInForeground,  ZoomOutForeground};
  for (auto action : actions) {
    test::FakeDesktop desktop;
    desktop.foreground = desktop.ownWindow = 3;
    desktop.style = kSizable | kStyleMinimizeBox | kStyleMaximizeBox;
    desktop.rect = {10, 10, 310, 210};
    action(desktop);
    EXPECT_TRUE(desktop.calls.empty()) << desktop.calls.front();
    desktop.ownWindow = 4;  // another program's window is still served
    action(desktop);
    EXPECT_FALSE(desktop.calls.empty());
  }
}

// Key events written as "Alt+", "Alt-", "Tab+", ... for the switcher tests.
Calls Keys(test::RecordingInjector& injector) {
  Calls out;
  for (const std::string& e : injector.take()) {
    const std::string code = e.substr(4, 2);
    const std::string name = code == "12" ? "Alt" : code == "5b" ? "Win" : code == "09" ? "Tab" : code == "10" ? "Shift" : code;
    out.push_back(name + (e.find("down") != std::string::npos ? "+" : "-"));
  }
  return out;
}

class Switcher : public ::testing::TestWithParam<bool> {
 protected:
  bool composition = GetParam();
  std::string modifier() const { return GetParam() ? "Win" : "Alt"; }
  test::RecordingInjector injector;
  NullDesktop desktop;
  Keyboard keyboard{injector, desktop};
  bool active = false;
};

TEST_P(Switcher, RightThreeTimesThenEnd) {
  const std::string m = modifier();
  SlideRight(keyboard, active, composition);
  SlideRight(keyboard, active, composition);
  SlideRight(keyboard, active, composition);
  EXPECT_TRUE(active);
  EXPECT_EQ(Keys(injector), (Calls{m + "+", "Tab+", "Tab-", "Tab+", "Tab-", "Tab+", "Tab-"}));
  CloseSwitcher(keyboard, active, composition);
  EXPECT_FALSE(active);
  EXPECT_EQ(Keys(injector), (Calls{m + "-"}));
}

TEST_P(Switcher, LeftOpensBackwardThenStepsWithShiftTab) {
  SlideLeft(keyboard, active, composition);
  const Calls open = GetParam()
                         ? Calls{"Win+", "Tab+", "Tab-", "Shift+", "Tab+", "Tab-", "Shift-"}
                         : Calls{"Alt+", "Shift+", "Tab+", "Tab-", "Shift-"};
  EXPECT_EQ(Keys(injector), open);
  SlideLeft(keyboard, active, composition);
  EXPECT_EQ(Keys(injector), (Calls{"Shift+", "Tab+", "Tab-", "Shift-"}));
}

TEST_P(Switcher, CloseReleasesTheModifierOfTheMomentItCloses) {
  SlideRight(keyboard, active, composition);
  injector.take();
  composition = !GetParam();
  CloseSwitcher(keyboard, active, composition);
  EXPECT_EQ(Keys(injector), (Calls{GetParam() ? "Alt-" : "Win-"}));
}

INSTANTIATE_TEST_SUITE_P(Composition, Switcher, ::testing::Bool());

TEST(KeyActions, TapNewTabAndShutdown) {
  test::RecordingInjector injector;
  NullDesktop desktop;
  Keyboard keyboard(injector, desktop);
  TapKey(keyboard, 0xAD);
  NewBrowserTab(keyboard);
  EXPECT_EQ(injector.events(), (Calls{"key ad down ext", "key ad up ext", "key 11 down", "key 54 down", "key 54 up",
                                      "key 11 up"}));
  test::RecordingUserInterface ui;
  RequestShutdown(ui);
  EXPECT_EQ(ui.calls(), (Calls{"shutdown"}));
}

}  // namespace
}  // namespace tavrin
