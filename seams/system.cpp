#include "seams/system.h"

#ifdef _WIN32
#include <windows.h>
#include <process.h>
#else
#include <cerrno>
#include <time.h>
#endif

namespace tavrin {

uint32_t TickCount() {
#ifdef _WIN32
  return GetTickCount();
#else
  timespec now{};
  clock_gettime(CLOCK_MONOTONIC, &now);
  return static_cast<uint32_t>(static_cast<uint64_t>(now.tv_sec) * 1000u +
                               static_cast<uint64_t>(now.tv_nsec) / 1000000u);
#endif
}

uint64_t TickCount64() {
#ifdef _WIN32
  return GetTickCount64();
#else
  timespec now{};
  clock_gettime(CLOCK_MONOTONIC, &now);
  return static_cast<uint64_t>(now.tv_sec) * 1000u + static_cast<uint64_t>(now.tv_nsec) / 1000000u;
#endif
}

void AnswerThreadMessages() {
#ifdef _WIN32
  // Bounded, so that a flood of messages cannot keep the phones waiting.
  MSG message;
  for (int i = 0; i < 64 && PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE); ++i) {
    TranslateMessage(&message);
    DispatchMessageW(&message);
  }
#endif
}

void SleepMilliseconds(uint32_t milliseconds) {
#ifdef _WIN32
  Sleep(milliseconds);
#else
  timespec left{static_cast<time_t>(milliseconds / 1000), static_cast<long>(milliseconds % 1000) * 1000000L};
  while (nanosleep(&left, &left) != 0 && errno == EINTR) {
  }
#endif
}

#ifdef _WIN32

unsigned __stdcall WorkerThread::Run(void* self) {
  auto* owner = static_cast<WorkerThread*>(self);
  owner->entry_(owner->argument_);
  return 0;
}

bool WorkerThread::start(Entry entry, void* argument, uint32_t stackBytes) {
  if (started()) return false;
  entry_ = entry;
  argument_ = argument;
  const uintptr_t thread = _beginthreadex(nullptr, stackBytes, &Run, this, 0, nullptr);
  thread_.reset(reinterpret_cast<HANDLE>(thread));
  return started();
}

bool WorkerThread::started() const { return static_cast<bool>(thread_); }

bool WorkerThread::join(uint32_t timeoutMs) {
  if (!thread_) return true;
  HANDLE thread = thread_.get();
  const DWORD begun = GetTickCount();
  for (;;) {
    DWORD left = INFINITE;
    if (timeoutMs != kForever) {
      const DWORD elapsed = GetTickCount() - begun;
      left = elapsed >= timeoutMs ? 0 : timeoutMs - elapsed;
    }
    const DWORD woke = MsgWaitForMultipleObjects(1, &thread, FALSE, left, QS_SENDMESSAGE);
    if (woke == WAIT_OBJECT_0) break;
    if (woke == WAIT_OBJECT_0 + 1) {
      // Peeking answers the sent messages; nothing is taken off the queue.
      MSG message;
      PeekMessageW(&message, nullptr, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);
      continue;
    }
    if (woke == WAIT_TIMEOUT || WaitForSingleObject(thread, left) != WAIT_OBJECT_0) return false;
    break;
  }
  thread_.reset();
  return true;
}

#else

void* WorkerThread::Run(void* self) {
  auto* owner = static_cast<WorkerThread*>(self);
  owner->entry_(owner->argument_);
  return nullptr;
}

bool WorkerThread::start(Entry entry, void* argument, uint32_t stackBytes) {
  if (joinable_) return false;
  entry_ = entry;
  argument_ = argument;
  pthread_attr_t attributes;
  pthread_attr_init(&attributes);
  pthread_attr_setstacksize(&attributes, stackBytes);
  joinable_ = pthread_create(&thread_, &attributes, &Run, this) == 0;
  pthread_attr_destroy(&attributes);
  return joinable_;
}

bool WorkerThread::started() const { return joinable_; }

bool WorkerThread::join(uint32_t) {
  if (!joinable_) return true;
  pthread_join(thread_, nullptr);
  joinable_ = false;
  return true;
}

#endif

}  // namespace tavrin
