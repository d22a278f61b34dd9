// The clock, sleeping and the one thread the server starts: the few system
// services the portable server needs beyond sockets.
#pragma once
#include <cstdint>

#ifdef _WIN32
#include "base/win32_handles.h"
#else
#include <pthread.h>
#endif

namespace tavrin {

// Milliseconds since the system started, wrapping at 2^32 (GetTickCount).
uint32_t TickCount();
// Milliseconds since the system started, never wrapping (GetTickCount64): the
// clock the tray menu measures "connected for" against.
uint64_t TickCount64();
void SleepMilliseconds(uint32_t milliseconds);
// Answers the window messages waiting for the calling thread (a few at a
// time). The worker is a single-threaded COM apartment for its automation
// calls, and such a thread must pump messages: COM's own hidden window, and
// any program that sends a message to every window, wait on it otherwise.
// Nothing to do where there are no window messages.
void AnswerThreadMessages();

// Owns one thread from start to join. The thread must have ended, or been
// joined, before its owner goes: the destructor waits for it without a limit.
class WorkerThread {
 public:
  static constexpr uint32_t kForever = 0xFFFFFFFFu;
  using Entry = void (*)(void* argument);

  WorkerThread() = default;
  ~WorkerThread() { join(kForever); }
  WorkerThread(const WorkerThread&) = delete;
  WorkerThread& operator=(const WorkerThread&) = delete;

  // Starts `entry(argument)` on a thread with a stack of `stackBytes`; false
  // when no thread could be started.
  bool start(Entry entry, void* argument, uint32_t stackBytes);
  bool started() const;
  // Waits up to `timeoutMs` for the thread to end; true once it has (or when
  // none runs). On Windows the calling thread keeps answering the messages
  // other threads send it meanwhile, so that a thread waiting on this one's
  // windows is not waited for in turn. The native build always waits to the
  // end: its thread never calls into other programs.
  bool join(uint32_t timeoutMs);

 private:
  Entry entry_ = nullptr;
  void* argument_ = nullptr;
#ifdef _WIN32
  unique_handle thread_;
  static unsigned __stdcall Run(void* self);
#else
  pthread_t thread_{};
  bool joinable_ = false;
  static void* Run(void* self);
#endif
};

}  // namespace tavrin
