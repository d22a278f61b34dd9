// What the window manager says about a window (EWMH), turned into the
// window-style bits the window commands judge by (seams/desktop.h), so that
// the commands behave on X as they do on Windows: nothing to close on a
// hidden window, no maximizing of what cannot be resized.
#pragma once
#include <cstdint>

namespace tavrin {

struct WindowFacts {
  bool viewable = false;        // mapped and shown (not withdrawn)
  bool hidden = false;          // _NET_WM_STATE_HIDDEN: minimized
  bool maximizedVert = false;   // _NET_WM_STATE_MAXIMIZED_VERT
  bool maximizedHorz = false;   // _NET_WM_STATE_MAXIMIZED_HORZ
  bool fullscreen = false;      // _NET_WM_STATE_FULLSCREEN
  // _NET_WM_ALLOWED_ACTIONS; a manager that does not publish the list
  // allows everything.
  bool actionsKnown = false;
  bool canMinimize = false;
  bool canMaximize = false;     // both directions
  bool canResize = false;
  // _NET_WM_WINDOW_TYPE: a desktop, dock, menu, tooltip or notification is
  // no window a user works in.
  bool ordinaryType = true;
};

// kStyleVisible when shown or minimized, kStyleMaximize when maximized both
// ways (or full screen), and the boxes and the resizing frame as allowed.
uint32_t StyleFromFacts(const WindowFacts& facts);

}  // namespace tavrin
