// The ordered table of text commands.
#pragma once
#include <cstddef>

namespace tavrin {

class RemoteServer;

constexpr int kLineCapacity = 4096;

struct TextCommand {
  const char* word;
  size_t length;
  // `line` is the whole zero-terminated line; the argument of the commands
  // that take one starts `length` bytes in.
  void (*action)(RemoteServer& server, const char* line);
};

extern const TextCommand kTextCommands[42];

// Runs the first command whose word starts the line; false when none does.
bool DispatchTextLine(RemoteServer& server, const char* line);

}  // namespace tavrin
