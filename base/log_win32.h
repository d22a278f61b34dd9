// The program's log on Windows: every line goes to the debugger and to
// %LOCALAPPDATA%\Tavrin\tavrin.log (tavrin.old.log holds the lines before).
#pragma once
#ifdef _WIN32
#include <filesystem>

#include "base/log.h"

namespace tavrin {

// OutputDebugStringW: seen by an attached debugger or DebugView, at no cost
// when nobody listens. Lines are taken as UTF-8.
class DebuggerLogOutput final : public LogOutput {
 public:
  void write(const char* line, size_t length) noexcept override;
};

// %LOCALAPPDATA%\Tavrin, created when missing; empty when it can be neither
// found nor made.
std::filesystem::path ProgramLogFolder() noexcept;

// Made once by the entry point, before the server starts, and destroyed
// after it stops; everything else is handed its log().
class ProgramLog {
 public:
  ProgramLog() noexcept;
  Log& log() noexcept { return log_; }

 private:
  DebuggerLogOutput debugger_;
  FileLogOutput file_;
  Log log_;
};

}  // namespace tavrin
#endif
