#include "actions/command_table.h"

#include <cstring>

#include "actions/presentation.h"
#include "actions/window_actions.h"
#include "actions/peer_message.h"
#include "input/held_input.h"
#include "input/keyboard.h"
#include "input/mouse.h"
#include "input/text_entry.h"

namespace tavrin {

namespace {

template <uint16_t VirtualKey>
void Tap(CommandContext& c, const char*) {
  Keyboard keyboard(c.injector, c.desktop);
  TapKey(keyboard, VirtualKey);
}

template <uint16_t VirtualKey>
void TapWhenPresenting(CommandContext& c, const char*) {
  if (!c.desktop.presentationInFront()) return;
  Keyboard keyboard(c.injector, c.desktop);
  TapKey(keyboard, VirtualKey);
}

void ZoomIn(CommandContext& c, const char*) { ZoomInForeground(c.desktop); }
void ZoomOut(CommandContext& c, const char*) { ZoomOutForeground(c.desktop); }
void SlideBegin(CommandContext& c, const char*) { c.state.switcherActive = false; }
void CloseSwitcherIfOpen(CommandContext& c) {
  if (!c.state.switcherActive) return;
  Keyboard keyboard(c.injector, c.desktop);
  CloseSwitcher(keyboard, c.state.switcherActive, c.desktop.compositionEnabled());
}
void SlideEnd(CommandContext& c, const char*) { CloseSwitcherIfOpen(c); }
void SlideLeftCommand(CommandContext& c, const char*) {
  Keyboard keyboard(c.injector, c.desktop);
  SlideLeft(keyboard, c.state.switcherActive, c.desktop.compositionEnabled());
}
void SlideRightCommand(CommandContext& c, const char*) {
  Keyboard keyboard(c.injector, c.desktop);
  SlideRight(keyboard, c.state.switcherActive, c.desktop.compositionEnabled());
}
void SlideUp(CommandContext& c, const char*) {
  CloseSwitcherIfOpen(c);
  MaximizeOrRestoreForeground(c.desktop);
}
void SlideDown(CommandContext& c, const char*) {
  CloseSwitcherIfOpen(c);
  c.desktop.toggleDesktop();
}
void DragStart(CommandContext& c, const char*) { SendMouseButton(c.injector, LeftButton, false); }
void DragEnd(CommandContext& c, const char*) { SendMouseButton(c.injector, LeftButton, true); }
void Drag(CommandContext& c, const char* line) { DragMove(c.injector, line + 5); }
void Utf8(CommandContext& c, const char* line) { TypeUtf8Text(c.injector, c.desktop, c.desktop, line + 5, c.stop); }
void PeerMessage(CommandContext& c, const char* line) { HandlePeerMessage(c.state.seenPeerTitles, c.ui, line); }
void Shutdown(CommandContext& c, const char*) { RequestShutdown(c.ui); }
void NewTab(CommandContext& c, const char*) {
  Keyboard keyboard(c.injector, c.desktop);
  NewBrowserTab(keyboard);
}
void CloseTab(CommandContext& c, const char*) {
  Keyboard keyboard(c.injector, c.desktop);
  PressKeyCombination(keyboard, "CTRL[+]w");
}
void NextTab(CommandContext& c, const char*) {
  Keyboard keyboard(c.injector, c.desktop);
  PressKeyCombination(keyboard, "CTRL[+]TAB");
}
void PresentationRun(CommandContext& c, const char*) { c.desktop.startPresentationProgram(); }
void PresentationExit(CommandContext& c, const char*) { c.desktop.stopPresentationProgram(); }
void PresentationSwitch(CommandContext& c, const char*) { SwitchDisplays(c.desktop); }
void WindowClose(CommandContext& c, const char*) { CloseForeground(c.desktop); }
void WindowMinimize(CommandContext& c, const char*) { MinimizeForeground(c.desktop); }
void WindowMaximize(CommandContext& c, const char*) { ToggleMaximizeForeground(c.desktop); }

#define TAVRIN_COMMAND(word, action) {word, sizeof(word) - 1, action}

}  // namespace

// Tested in this order; the first word that starts the line wins. "drag start"
// and "drag end" come before "drag " so that they are never read as moves.
const TextCommand kTextCommands[kTextCommandCount] = {
    TAVRIN_COMMAND("zoomin", ZoomIn),
    TAVRIN_COMMAND("zoomout", ZoomOut),
    TAVRIN_COMMAND("slide begin", SlideBegin),
    TAVRIN_COMMAND("slide end", SlideEnd),
    TAVRIN_COMMAND("slideleft", SlideLeftCommand),
    TAVRIN_COMMAND("slideright", SlideRightCommand),
    TAVRIN_COMMAND("slideup", SlideUp),
    TAVRIN_COMMAND("slidedown", SlideDown),
    TAVRIN_COMMAND("drag start", DragStart),
    TAVRIN_COMMAND("drag end", DragEnd),
    TAVRIN_COMMAND("drag ", Drag),
    TAVRIN_COMMAND("utf8 ", Utf8),
    TAVRIN_COMMAND("Msg||", PeerMessage),
    TAVRIN_COMMAND("MUTE", Tap<kVkVolumeMute>),
    TAVRIN_COMMAND("VOLUMEUP", Tap<kVkVolumeUp>),
    TAVRIN_COMMAND("VOLUMEDN", Tap<kVkVolumeDown>),
    TAVRIN_COMMAND("media play", Tap<kVkMediaPlayPause>),
    TAVRIN_COMMAND("media next", Tap<kVkMediaNextTrack>),
    TAVRIN_COMMAND("media prev", Tap<kVkMediaPrevTrack>),
    TAVRIN_COMMAND("media volumeup", Tap<kVkVolumeUp>),
    TAVRIN_COMMAND("media volumedown", Tap<kVkVolumeDown>),
    TAVRIN_COMMAND("shutdown", Shutdown),
    TAVRIN_COMMAND("browser forward", Tap<kVkBrowserForward>),
    TAVRIN_COMMAND("browser back", Tap<kVkBrowserBack>),
    TAVRIN_COMMAND("browser home", Tap<kVkBrowserHome>),
    TAVRIN_COMMAND("browser search", Tap<kVkBrowserSearch>),
    TAVRIN_COMMAND("browser refresh", Tap<kVkBrowserRefresh>),
    TAVRIN_COMMAND("browser stop", Tap<kVkBrowserStop>),
    TAVRIN_COMMAND("browser favorite", Tap<kVkBrowserFavorites>),
    TAVRIN_COMMAND("browser newtab", NewTab),
    TAVRIN_COMMAND("browser closetab", CloseTab),
    TAVRIN_COMMAND("browser nexttab", NextTab),
    TAVRIN_COMMAND("ppt pgup", TapWhenPresenting<kVkPageUp>),
    TAVRIN_COMMAND("ppt pgdn", TapWhenPresenting<kVkPageDown>),
    TAVRIN_COMMAND("ppt run", PresentationRun),
    TAVRIN_COMMAND("ppt exit", PresentationExit),
    TAVRIN_COMMAND("ppt play", TapWhenPresenting<kVkF5>),
    TAVRIN_COMMAND("ppt stop", TapWhenPresenting<kVkEscape>),
    TAVRIN_COMMAND("ppt switch", PresentationSwitch),
    TAVRIN_COMMAND("window close", WindowClose),
    TAVRIN_COMMAND("window minimize", WindowMinimize),
    TAVRIN_COMMAND("window maximize", WindowMaximize),
};

#undef TAVRIN_COMMAND

void ActionState::releasing(const HeldInput& held, bool composition) {
  if (switcherActive && held.holds(SwitcherKey(composition))) switcherActive = false;
}

bool DispatchTextLine(CommandContext& context, const char* line) {
  for (const TextCommand& command : kTextCommands) {
    if (std::strncmp(line, command.word, command.length) == 0) {
      command.action(context, line);
      return true;
    }
  }
  return false;
}

}  // namespace tavrin
