#include "base/log.h"

#include <algorithm>
#include <chrono>
#include <cstdarg>
#include <ctime>
#include <system_error>

namespace tavrin {
namespace {

std::FILE* OpenLogFile(const std::filesystem::path& path, bool truncate) noexcept {
#ifdef _WIN32
  // Wide, because the user's profile folder may have any name; binary, so
  // that the bytes counted are the bytes on disk; 'N' keeps the handle out
  // of programs this one starts.
  return _wfopen(path.c_str(), truncate ? L"wbN" : L"abN");
#else
  return std::fopen(path.c_str(), truncate ? "we" : "ae");  // 'e': close on exec
#endif
}

const char* LevelName(LogLevel level) {
  switch (level) {
    case LogLevel::Debug: return "DEBUG";
    case LogLevel::Info: return "INFO";
    case LogLevel::Warning: return "WARN";
    case LogLevel::Error: return "ERROR";
  }
  return "?";
}

// "2026-12-07 13:02:11.123 " in local time: the time the user remembers when
// they say when it went wrong.
size_t FormatTime(char* out, size_t capacity) {
  const auto now = std::chrono::system_clock::now();
  const std::time_t seconds = std::chrono::system_clock::to_time_t(now);
  const auto milliseconds =
      std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch()).count() % 1000;
  std::tm local{};
#ifdef _WIN32
  if (localtime_s(&local, &seconds) != 0) return 0;
#else
  if (localtime_r(&seconds, &local) == nullptr) return 0;
#endif
  size_t length = std::strftime(out, capacity, "%Y-%m-%d %H:%M:%S", &local);
  int more = std::snprintf(out + length, capacity - length, ".%03d ", static_cast<int>(milliseconds));
  return more > 0 ? std::min(length + static_cast<size_t>(more), capacity - 1) : length;
}

}  // namespace

FileLogOutput::FileLogOutput(std::filesystem::path path, uint64_t capBytes) noexcept
    : path_(std::move(path)), capBytes_(capBytes) {
  try {
    // tavrin.log -> tavrin.old.log
    olderPath_ = path_;
    olderPath_.replace_extension();
    olderPath_ += ".old";
    olderPath_ += path_.extension();
  } catch (...) {
    return;  // no memory for a path: no file log
  }
  open(false);
}

void FileLogOutput::open(bool truncate) noexcept {
  file_.reset(OpenLogFile(path_, truncate));
  size_ = 0;
  if (!file_) return;
  // A file left by an earlier run is continued: its size counts.
  if (std::fseek(file_.get(), 0, SEEK_END) == 0) {
    long end = std::ftell(file_.get());
    if (end > 0) size_ = static_cast<uint64_t>(end);
  }
}

void FileLogOutput::rotate() noexcept {
  file_.reset();
  std::error_code ignored;
  std::filesystem::remove(olderPath_, ignored);
  std::filesystem::rename(path_, olderPath_, ignored);
  // If the move failed (another program holds the file open on Windows),
  // starting the file afresh keeps the cap; only the older lines are lost.
  open(static_cast<bool>(ignored));
}

namespace {
#ifdef _WIN32
constexpr char kLineEnd[] = "\r\n";
#else
constexpr char kLineEnd[] = "\n";
#endif
// The bytes of a line as written, its end included.
size_t BodyLength(const char* line, size_t length) { return length > 0 && line[length - 1] == '\n' ? length - 1 : length; }
size_t DiskLength(const char* line, size_t length) { return BodyLength(line, length) + sizeof kLineEnd - 1; }
}  // namespace

void FileLogOutput::put(const char* line, size_t length) noexcept {
  size_ += std::fwrite(line, 1, BodyLength(line, length), file_.get());
  size_ += std::fwrite(kLineEnd, 1, sizeof kLineEnd - 1, file_.get());
}

void FileLogOutput::write(const char* line, size_t length) noexcept {
  if (!file_) return;
  if (size_ > 0 && size_ + DiskLength(line, length) > capBytes_) {
    rotate();
    if (!file_) return;
    for (size_t i = 0; i < keptCount_; ++i) put(kept_[i].data(), keptLength_[i]);
  }
  put(line, length);
  // Each line reaches the file at once: the last lines before a crash are
  // the ones a supporter needs.
  std::fflush(file_.get());
}

void FileLogOutput::writeKept(const char* line, size_t length) noexcept {
  // Written before it is kept: when this very line starts a new file, the
  // file must not begin with it twice.
  write(line, length);
  if (keptCount_ < kKeptLines) {
    length = std::min(length, kept_[keptCount_].size());
    std::copy(line, line + length, kept_[keptCount_].data());
    keptLength_[keptCount_++] = length;
  }
}

Log::Log(std::initializer_list<LogOutput*> outputs, LogLevel minimum) noexcept : minimum_(minimum) {
  for (LogOutput* output : outputs)
    if (output != nullptr && outputCount_ < kMaxOutputs) outputs_[outputCount_++] = output;
}

void Log::write(LogLevel level, const char* format, ...) noexcept {
  va_list arguments;
  va_start(arguments, format);
  vwrite(false, level, format, arguments);
  va_end(arguments);
}

void Log::writeKept(LogLevel level, const char* format, ...) noexcept {
  va_list arguments;
  va_start(arguments, format);
  vwrite(true, level, format, arguments);
  va_end(arguments);
}

void Log::vwrite(bool kept, LogLevel level, const char* format, va_list arguments) noexcept {
  if (level < minimum_ || outputCount_ == 0) return;
  char line[kLineCapacity];
  size_t length = FormatTime(line, sizeof line);
  int prefix = std::snprintf(line + length, sizeof line - length, "%-5s ", LevelName(level));
  if (prefix > 0) length += static_cast<size_t>(prefix);

  // The message's terminating zero is where the newline goes.
  const size_t room = sizeof line - length;
  int written = std::vsnprintf(line + length, room, format, arguments);
  const size_t body = written > 0 ? std::min(static_cast<size_t>(written), room - 1) : 0;
  for (size_t i = length; i < length + body; ++i) {
    const unsigned char c = static_cast<unsigned char>(line[i]);
    if (c < 0x20 || c == 0x7F) line[i] = '?';
  }
  length += body;
  line[length++] = '\n';

  try {
    std::lock_guard<std::mutex> lock(mutex_);
    for (size_t i = 0; i < outputCount_; ++i) {
      if (kept)
        outputs_[i]->writeKept(line, length);
      else
        outputs_[i]->write(line, length);
    }
  } catch (...) {
    // A lock that cannot be taken loses this line, nothing more.
  }
}

}  // namespace tavrin
