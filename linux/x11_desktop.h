// The desktop seam on X: the window commands as requests to the window
// manager (EWMH), which owns the windows' frames and states. Used by the
// worker thread only, on the injector's display connection.
//
// Windows' window-system commands map so: close is _NET_CLOSE_WINDOW (the
// program may still ask to save), minimize is XIconifyWindow, maximize and
// restore are _NET_WM_STATE's two maximized states, moves and sizes are
// _NET_MOVERESIZE_WINDOW within _NET_WORKAREA, show-desktop is
// _NET_SHOWING_DESKTOP. The presentation program is LibreOffice Impress.
// Rectangles are the frames the manager draws, in
// root coordinates; there are no invisible borders and no per-window DPI.
#pragma once
#include <X11/Xlib.h>

#include "base/log.h"
#include "linux/window_facts.h"
#include "seams/desktop.h"

namespace tavrin {

class X11Desktop final : public NullDesktop {
 public:
  X11Desktop(Display* display, Log& log);

  WindowRef foregroundWindow() override;
  uint32_t windowStyle(WindowRef window) override;
  bool isIconic(WindowRef window) override;
  bool isZoomed(WindowRef window) override;
  bool windowRect(WindowRef window, Rect& rect) override;
  bool monitorWorkArea(WindowRef window, Rect& area) override;
  void setWindowPos(WindowRef window, int32_t x, int32_t y, int32_t width, int32_t height, uint32_t flags) override;
  void showWindow(WindowRef window, int32_t command) override;
  void sendSysCommand(WindowRef window, uint32_t command) override;
  bool isOwnWindow(WindowRef window) override;
  void toggleDesktop() override;
  // LibreOffice Impress in front, by its windows' WM_CLASS.
  bool presentationInFront() override;
  void startPresentationProgram() override;
  void stopPresentationProgram() override;
  // The displays are the user's to arrange: none is listed to switch.
  bool enumDisplayDevice(const wchar_t* adapter, uint32_t index, DisplayDevice& device) override;

  // What the manager says about `window` now.
  WindowFacts facts(Window window);

 private:
  enum AtomIndex {
    ActiveWindow, CloseWindow, MoveResizeWindow, WmState, StateHidden, StateMaxVert, StateMaxHorz,
    StateFullscreen, AllowedActions, ActionMinimize, ActionMaximizeVert, ActionMaximizeHorz, ActionResize,
    WindowType, TypeNormal, TypeDialog, TypeUtility, FrameExtents, Workarea, CurrentDesktop, ShowingDesktop,
    WmPid, AtomCount
  };
  // The 32-bit values of a property (CARDINAL, ATOM, WINDOW); empty if none.
  int readLongs(Window window, Atom property, Atom type, long* values, int capacity);
  void sendMessage(Window window, Atom type, long a, long b = 0, long c = 0, long d = 0, long e = 0);
  void setMaximized(Window window, bool on);
  Window root() const { return DefaultRootWindow(display_); }

  Display* display_;
  Log& log_;
  Atom atoms_[AtomCount] = {};
};

}  // namespace tavrin
