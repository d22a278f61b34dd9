// The ordered table of text commands.
#pragma once
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <set>
#include <string>

#include "actions/peer_message.h"

namespace tavrin {

class Desktop;
class Injector;
class UserInterface;

class HeldInput;

// What the commands remember from one line to the next, for every phone.
struct ActionState {
  // The window switcher is held open (see OpenSwitcher).
  bool switcherActive = false;
  PeerTitleSet seenPeerTitles;
  // A phone lets go of everything it holds: letting go of the key that holds
  // the switcher open closes it; letting go of the other one does not.
  void releasing(const HeldInput& held, bool composition);
};

// What the actions of the text commands work on: the injector of the phone
// whose line it is, the desktop, the main window's interface and the state.
struct CommandContext {
  Injector& injector;
  Desktop& desktop;
  UserInterface& ui;
  ActionState& state;
  // Set once the program is stopping: long actions end early.
  const std::atomic<bool>* stop = nullptr;
};

struct TextCommand {
  const char* word;
  size_t length;
  // `line` is the whole zero-terminated line; the argument of the commands
  // that take one starts `length` bytes in.
  void (*action)(CommandContext& context, const char* line);
};

constexpr int kTextCommandCount = 42;
extern const TextCommand kTextCommands[kTextCommandCount];

// Runs the first command whose word starts the line; false when none does.
bool DispatchTextLine(CommandContext& context, const char* line);

}  // namespace tavrin
