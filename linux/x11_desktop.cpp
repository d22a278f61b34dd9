#include "linux/x11_desktop.h"

#include <X11/Xatom.h>
#include <X11/Xutil.h>
#include <unistd.h>

#include <cstring>

#include "actions/window_actions.h"
#include "seams/system.h"

namespace tavrin {

namespace {

constexpr long kStateRemove = 0, kStateAdd = 1;
constexpr long kSourcePager = 2;  // requests on the user's behalf
constexpr long kNorthWestGravity = 1;
constexpr long kMoveResizeXYWH = (1 << 8) | (1 << 9) | (1 << 10) | (1 << 11);
constexpr int kMaxLongs = 64;
constexpr int kPlacementTries = 10;
constexpr uint32_t kPlacementPollMs = 10;
// The class LibreOffice gives Impress's windows (its other programs have
// classes of their own: libreoffice-writer, -calc, ...).
constexpr char kImpressClass[] = "libreoffice-impress";

}  // namespace

X11Desktop::X11Desktop(Display* display, Log& log) : display_(display), log_(log) {
  const char* names[AtomCount] = {
      "_NET_ACTIVE_WINDOW", "_NET_CLOSE_WINDOW", "_NET_MOVERESIZE_WINDOW", "_NET_WM_STATE",
      "_NET_WM_STATE_HIDDEN", "_NET_WM_STATE_MAXIMIZED_VERT", "_NET_WM_STATE_MAXIMIZED_HORZ",
      "_NET_WM_STATE_FULLSCREEN", "_NET_WM_ALLOWED_ACTIONS", "_NET_WM_ACTION_MINIMIZE",
      "_NET_WM_ACTION_MAXIMIZE_VERT", "_NET_WM_ACTION_MAXIMIZE_HORZ", "_NET_WM_ACTION_RESIZE",
      "_NET_WM_WINDOW_TYPE", "_NET_WM_WINDOW_TYPE_NORMAL", "_NET_WM_WINDOW_TYPE_DIALOG",
      "_NET_WM_WINDOW_TYPE_UTILITY", "_NET_FRAME_EXTENTS", "_NET_WORKAREA", "_NET_CURRENT_DESKTOP",
      "_NET_SHOWING_DESKTOP", "_NET_WM_PID"};
  XInternAtoms(display_, const_cast<char**>(names), AtomCount, False, atoms_);
}

int X11Desktop::readLongs(Window window, Atom property, Atom type, long* values, int capacity) {
  if (window == 0) return 0;
  Atom actualType = None;
  int format = 0;
  unsigned long count = 0, after = 0;
  unsigned char* data = nullptr;
  if (XGetWindowProperty(display_, window, property, 0, capacity, False, type, &actualType, &format, &count, &after,
                         &data) != Success)
    return 0;
  int stored = 0;
  // Xlib hands 32-bit items out as longs.
  if (data && format == 32 && actualType == type)
    for (; stored < static_cast<int>(count) && stored < capacity; ++stored)
      values[stored] = reinterpret_cast<long*>(data)[stored];
  if (data) XFree(data);
  return stored;
}

void X11Desktop::sendMessage(Window window, Atom type, long a, long b, long c, long d, long e) {
  XEvent event{};
  event.xclient.type = ClientMessage;
  event.xclient.window = window;
  event.xclient.message_type = type;
  event.xclient.format = 32;
  event.xclient.data.l[0] = a;
  event.xclient.data.l[1] = b;
  event.xclient.data.l[2] = c;
  event.xclient.data.l[3] = d;
  event.xclient.data.l[4] = e;
  XSendEvent(display_, root(), False, SubstructureRedirectMask | SubstructureNotifyMask, &event);
  XFlush(display_);
}

WindowRef X11Desktop::foregroundWindow() {
  long window = 0;
  return readLongs(root(), atoms_[ActiveWindow], XA_WINDOW, &window, 1) == 1 ? static_cast<WindowRef>(window) : 0;
}

WindowFacts X11Desktop::facts(Window window) {
  WindowFacts facts;
  XWindowAttributes attributes{};
  if (!XGetWindowAttributes(display_, window, &attributes)) return facts;
  facts.viewable = attributes.map_state == IsViewable;
  long values[kMaxLongs];
  const int states = readLongs(window, atoms_[WmState], XA_ATOM, values, kMaxLongs);
  for (int i = 0; i < states; ++i) {
    const Atom state = static_cast<Atom>(values[i]);
    facts.hidden |= state == atoms_[StateHidden];
    facts.maximizedVert |= state == atoms_[StateMaxVert];
    facts.maximizedHorz |= state == atoms_[StateMaxHorz];
    facts.fullscreen |= state == atoms_[StateFullscreen];
  }
  const int actions = readLongs(window, atoms_[AllowedActions], XA_ATOM, values, kMaxLongs);
  facts.actionsKnown = actions > 0;
  bool vertical = false, horizontal = false;
  for (int i = 0; i < actions; ++i) {
    const Atom action = static_cast<Atom>(values[i]);
    facts.canMinimize |= action == atoms_[ActionMinimize];
    facts.canResize |= action == atoms_[ActionResize];
    vertical |= action == atoms_[ActionMaximizeVert];
    horizontal |= action == atoms_[ActionMaximizeHorz];
  }
  facts.canMaximize = vertical && horizontal;
  // The first type the window names that is known decides; none means normal.
  const int types = readLongs(window, atoms_[WindowType], XA_ATOM, values, kMaxLongs);
  if (types > 0) {
    const Atom type = static_cast<Atom>(values[0]);
    facts.ordinaryType = type == atoms_[TypeNormal] || type == atoms_[TypeDialog] || type == atoms_[TypeUtility];
  }
  return facts;
}

uint32_t X11Desktop::windowStyle(WindowRef window) { return StyleFromFacts(facts(static_cast<Window>(window))); }

bool X11Desktop::isIconic(WindowRef window) { return facts(static_cast<Window>(window)).hidden; }

bool X11Desktop::isZoomed(WindowRef window) {
  const WindowFacts f = facts(static_cast<Window>(window));
  return f.maximizedVert && f.maximizedHorz;
}

bool X11Desktop::windowRect(WindowRef window, Rect& rect) {
  XWindowAttributes attributes{};
  if (!XGetWindowAttributes(display_, static_cast<Window>(window), &attributes)) return false;
  int x = 0, y = 0;
  Window child = 0;
  if (!XTranslateCoordinates(display_, static_cast<Window>(window), root(), 0, 0, &x, &y, &child)) return false;
  long extents[4] = {};  // left, right, top, bottom
  readLongs(static_cast<Window>(window), atoms_[FrameExtents], XA_CARDINAL, extents, 4);
  rect = Rect{static_cast<int32_t>(x - extents[0]), static_cast<int32_t>(y - extents[2]),
              static_cast<int32_t>(x + attributes.width + extents[1]),
              static_cast<int32_t>(y + attributes.height + extents[3])};
  return true;
}

bool X11Desktop::monitorWorkArea(WindowRef, Rect& area) {
  long desktop = 0;
  readLongs(root(), atoms_[CurrentDesktop], XA_CARDINAL, &desktop, 1);
  long areas[kMaxLongs];
  const int count = readLongs(root(), atoms_[Workarea], XA_CARDINAL, areas, kMaxLongs);
  const int first = static_cast<int>(desktop) * 4;
  if (desktop >= 0 && first + 4 <= count) {
    area = Rect{static_cast<int32_t>(areas[first]), static_cast<int32_t>(areas[first + 1]),
                static_cast<int32_t>(areas[first] + areas[first + 2]),
                static_cast<int32_t>(areas[first + 1] + areas[first + 3])};
    return true;
  }
  area = Rect{0, 0, DisplayWidth(display_, DefaultScreen(display_)), DisplayHeight(display_, DefaultScreen(display_))};
  return true;
}

// The frame's outer rectangle: its top-left is the reference point of
// north-west gravity; the size asked for is the client's, without the frame.
void X11Desktop::setWindowPos(WindowRef window, int32_t x, int32_t y, int32_t width, int32_t height, uint32_t) {
  long extents[4] = {};
  readLongs(static_cast<Window>(window), atoms_[FrameExtents], XA_CARDINAL, extents, 4);
  const long clientWidth = width - extents[0] - extents[1];
  const long clientHeight = height - extents[2] - extents[3];
  if (clientWidth <= 0 || clientHeight <= 0) return;
  sendMessage(static_cast<Window>(window), atoms_[MoveResizeWindow],
              kNorthWestGravity | kMoveResizeXYWH | (kSourcePager << 12), x, y, clientWidth, clientHeight);
  // The manager moves the window later; a phone's next zoom step measures it
  // again, so it is given a moment to get there (as SetWindowPos returns
  // once the window is placed), never more than a moment.
  const Rect wanted{x, y, x + width, y + height};
  for (int tries = 0; tries < kPlacementTries; ++tries) {
    Rect now;
    if (!windowRect(window, now) ||
        (now.left == wanted.left && now.top == wanted.top && now.right == wanted.right && now.bottom == wanted.bottom))
      return;
    SleepMilliseconds(kPlacementPollMs);
  }
}

void X11Desktop::setMaximized(Window window, bool on) {
  sendMessage(window, atoms_[WmState], on ? kStateAdd : kStateRemove, static_cast<long>(atoms_[StateMaxVert]),
              static_cast<long>(atoms_[StateMaxHorz]), kSourcePager);
}

void X11Desktop::showWindow(WindowRef window, int32_t command) {
  if (command == kSwMaximize) setMaximized(static_cast<Window>(window), true);
  if (command == kSwRestore) {
    if (isIconic(window))
      sendMessage(static_cast<Window>(window), atoms_[ActiveWindow], kSourcePager, CurrentTime);
    else
      setMaximized(static_cast<Window>(window), false);
  }
}

void X11Desktop::sendSysCommand(WindowRef window, uint32_t command) {
  const Window target = static_cast<Window>(window);
  switch (command) {
    case kScClose: sendMessage(target, atoms_[CloseWindow], CurrentTime, kSourcePager); break;
    case kScMinimize:
      XIconifyWindow(display_, target, DefaultScreen(display_));
      XFlush(display_);
      break;
    case kScMaximize: setMaximized(target, true); break;
    case kScRestore: setMaximized(target, false); break;
    default: break;
  }
}

bool X11Desktop::isOwnWindow(WindowRef window) {
  long pid = 0;
  return readLongs(static_cast<Window>(window), atoms_[WmPid], XA_CARDINAL, &pid, 1) == 1 && pid == getpid();
}

void X11Desktop::toggleDesktop() {
  long showing = 0;
  readLongs(root(), atoms_[ShowingDesktop], XA_CARDINAL, &showing, 1);
  sendMessage(root(), atoms_[ShowingDesktop], showing ? 0 : 1);
}

bool X11Desktop::presentationInFront() {
  const Window front = static_cast<Window>(foregroundWindow());
  XClassHint hint{};
  if (front == 0 || !XGetClassHint(display_, front, &hint)) return false;
  const bool impress = hint.res_class && std::strcmp(hint.res_class, kImpressClass) == 0;
  if (hint.res_name) XFree(hint.res_name);
  if (hint.res_class) XFree(hint.res_class);
  return impress;
}

void X11Desktop::startPresentationProgram() {
  log_.write(LogLevel::Info, "a phone asked to start a presentation; on Linux that is left to the user");
}

void X11Desktop::stopPresentationProgram() {
  log_.write(LogLevel::Info, "a phone asked to end the presentation; on Linux that is left to the user");
}

bool X11Desktop::enumDisplayDevice(const wchar_t* adapter, uint32_t index, DisplayDevice&) {
  if (adapter == nullptr && index == 0)
    log_.write(LogLevel::Info, "a phone asked to switch displays; on Linux that is left to the user");
  return false;
}

}  // namespace tavrin
