#include "linux/window_facts.h"

#include <gtest/gtest.h>

#include "seams/desktop.h"

namespace tavrin {
namespace {

constexpr uint32_t kBoxes = kStyleMinimizeBox | kStyleMaximizeBox | kStyleThickFrame;

TEST(WindowFacts, StyleBitsFollowTheManagersStateAndAllowedActions) {
  WindowFacts shown;
  shown.viewable = true;
  // A manager that publishes no allowed actions allows everything.
  EXPECT_EQ(StyleFromFacts(shown), kStyleVisible | kBoxes);

  WindowFacts minimized;
  minimized.hidden = true;  // unmapped, yet still there to close or restore
  EXPECT_EQ(StyleFromFacts(minimized), kStyleVisible | kBoxes);
  EXPECT_EQ(StyleFromFacts(WindowFacts{}), kBoxes);  // withdrawn

  WindowFacts maximized = shown;
  maximized.maximizedVert = true;
  EXPECT_FALSE(StyleFromFacts(maximized) & kStyleMaximize);  // one direction is not maximized
  maximized.maximizedHorz = true;
  EXPECT_TRUE(StyleFromFacts(maximized) & kStyleMaximize);

  WindowFacts fixed = shown;  // a fixed-size dialog: may be minimized only
  fixed.actionsKnown = true;
  fixed.canMinimize = true;
  EXPECT_EQ(StyleFromFacts(fixed), kStyleVisible | kStyleMinimizeBox);

  WindowFacts dock = shown;  // a panel or the desktop itself
  dock.ordinaryType = false;
  EXPECT_EQ(StyleFromFacts(dock), kStyleVisible);
}

}  // namespace
}  // namespace tavrin
