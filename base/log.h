// The program's log: what someone supporting a user needs to answer "my
// phone can't connect" or "nothing happens" (start and stop, sockets up or
// why not, each phone's connect and disconnect and why it ended, a refused or
// failed action).
//
// NEVER log the text a phone types, nor the keys it sends: the log is a file
// anyone with the user's account can read, and typed text holds passwords.
// Log what happened to a message (its kind, its length, why it failed), never
// its content. Addresses and peer-message titles are not typed text.
//
// A Log formats each line once (time stamp, level, message) and hands it to
// its outputs: a size-capped file, and on Windows the debugger. Logging never
// throws and never reports failure: a full disk or an unwritable folder loses
// lines and nothing else.
#pragma once
#include <array>
#include <cstdarg>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <initializer_list>
#include <mutex>

#include "base/unique_any.h"

namespace tavrin {

enum class LogLevel : uint8_t { Debug, Info, Warning, Error };

// Where finished lines go. A Log calls write() under its own lock, one line
// at a time, so an output needs no lock of its own.
class LogOutput {
 public:
  virtual ~LogOutput() = default;
  // `line` ends with a newline; `length` counts it.
  virtual void write(const char* line, size_t length) noexcept = 0;
  // A line that says what this run is (version, ports): written like any
  // other, and an output that starts over (a log file moved aside at its
  // cap) writes the run's kept lines again first.
  virtual void writeKept(const char* line, size_t length) noexcept { write(line, length); }
};

// Appends lines to a file and keeps it under a size cap: a line that would
// pass the cap first moves the file to "<stem>.old<ext>" (replacing the one
// there), so at most twice the cap is on disk. The cap counts the bytes on
// disk: on Windows each line ends in CRLF (Notepad of older Windows shows
// nothing else), written as such rather than by the C library's text mode,
// which would add bytes behind the count. A file left by an earlier run is
// continued, and counts towards the cap. A new file begins with the run's
// kept lines, so that both files always say which run wrote them.
class FileLogOutput final : public LogOutput {
 public:
  static constexpr uint64_t kDefaultCapBytes = 1024 * 1024;
  static constexpr size_t kKeptLines = 4;  // later kept lines are written, not kept

  explicit FileLogOutput(std::filesystem::path path, uint64_t capBytes = kDefaultCapBytes) noexcept;
  FileLogOutput(const FileLogOutput&) = delete;
  FileLogOutput& operator=(const FileLogOutput&) = delete;

  void write(const char* line, size_t length) noexcept override;
  void writeKept(const char* line, size_t length) noexcept override;

  const std::filesystem::path& path() const noexcept { return path_; }
  const std::filesystem::path& olderPath() const noexcept { return olderPath_; }

 private:
  void open(bool truncate) noexcept;
  void rotate() noexcept;
  void put(const char* line, size_t length) noexcept;
  static void CloseFile(std::FILE* file) noexcept { std::fclose(file); }

  std::filesystem::path path_;
  std::filesystem::path olderPath_;
  uint64_t capBytes_;
  uint64_t size_ = 0;
  // Null when the file could not be opened. It is not tried again: an
  // unwritable folder then costs nothing per line.
  unique_any<std::FILE*, CloseFile> file_;
  std::array<std::array<char, 512>, kKeptLines> kept_{};
  std::array<size_t, kKeptLines> keptLength_{};
  size_t keptCount_ = 0;
};

#if defined(__GNUC__) || defined(__clang__)
#define TAVRIN_PRINTF_FORMAT(f, a) __attribute__((format(printf, f, a)))
#else
#define TAVRIN_PRINTF_FORMAT(f, a)
#endif

// The one sink. Safe to call from the worker and the main thread at once.
class Log {
 public:
  static constexpr size_t kLineCapacity = 512;  // longer messages are cut
  static constexpr size_t kMaxOutputs = 4;

  // The outputs must outlive the log. Lines below `minimum` are dropped.
  explicit Log(std::initializer_list<LogOutput*> outputs = {}, LogLevel minimum = LogLevel::Info) noexcept;
  Log(const Log&) = delete;
  Log& operator=(const Log&) = delete;

  // printf-style. Control characters in the result (a newline in an address
  // a peer sent) become '?', so one call is always exactly one line.
  void write(LogLevel level, const char* format, ...) noexcept TAVRIN_PRINTF_FORMAT(3, 4);
  // The same, for a line that says what this run is: see writeKept above.
  void writeKept(LogLevel level, const char* format, ...) noexcept TAVRIN_PRINTF_FORMAT(3, 4);

 private:
  void vwrite(bool kept, LogLevel level, const char* format, va_list arguments) noexcept;

  std::array<LogOutput*, kMaxOutputs> outputs_{};
  size_t outputCount_ = 0;
  LogLevel minimum_;
  std::mutex mutex_;
};

}  // namespace tavrin
