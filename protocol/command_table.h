// The ordered table of text commands.
#pragma once
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <set>
#include <string>

#include "app/peer_message.h"

namespace tavrin {

class Desktop;
class Injector;
class RemoteServer;
class UserInterface;
struct ClientConnection;

// A line holds at most 4095 bytes before its newline and always ends with a
// zero byte. Longer lines are cut to their first 4095 bytes.
constexpr int kLineCapacity = 4096;

// What the actions of the text commands work on: the worker's injector and
// desktop, the main window's interface and the worker-owned action state.
struct CommandContext {
  Injector& injector;
  Desktop& desktop;
  UserInterface& ui;
  bool& switcherActive;
  PeerTitleSet& seenPeerTitles;
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
// The same with the server's injector, desktop, interface and state.
bool DispatchTextLine(RemoteServer& server, const char* line);

// Copies the first line of the connection's buffer (without its newline, cut
// to 4095 bytes) into `line`, zero-filled first, and returns the number of
// bytes the line and its newline take in the buffer; 0 when the buffer holds
// no newline. The buffer itself is left as it is.
int32_t CopyFirstLine(const ClientConnection& connection, char (&line)[kLineCapacity]);

}  // namespace tavrin
