#include "linux/window_facts.h"

#include "seams/desktop.h"

namespace tavrin {

uint32_t StyleFromFacts(const WindowFacts& facts) {
  if (!facts.ordinaryType) return facts.viewable ? kStyleVisible : 0;
  uint32_t style = 0;
  // A minimized window is unmapped by most managers, yet Windows keeps
  // WS_VISIBLE on a minimized window: it can still be closed or restored.
  if (facts.viewable || facts.hidden) style |= kStyleVisible;
  if ((facts.maximizedVert && facts.maximizedHorz) || facts.fullscreen) style |= kStyleMaximize;
  if (!facts.actionsKnown || facts.canMinimize) style |= kStyleMinimizeBox;
  if (!facts.actionsKnown || facts.canMaximize) style |= kStyleMaximizeBox;
  if (!facts.actionsKnown || facts.canResize) style |= kStyleThickFrame;
  return style;
}

}  // namespace tavrin
