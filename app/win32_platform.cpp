// The Win32 side of the seams that are not the desktop's: input injection and
// the requests to the main window.
#include "app/win32_platform.h"

#include "app/messages.h"

namespace tavrin {

bool Win32Injector::sent(UINT result) {
  if (result == 1) {
    if (refusedInARow_ > 1 && log_) log_->write(LogLevel::Warning, "%u injected events in a row were refused", refusedInARow_);
    refusedInARow_ = 0;
    return true;
  }
  // Windows refuses injected input while the secure desktop shows, or for a
  // window of a program that runs as administrator when this one does not.
  if (refusedInARow_++ == 0 && log_)
    log_->write(LogLevel::Warning, "Windows refused an injected event (error %lu)", GetLastError());
  return false;
}

bool Win32Injector::key(uint16_t virtualKey, uint16_t scanCode, uint32_t flags) {
  INPUT input = {};
  input.type = INPUT_KEYBOARD;
  input.ki.wVk = virtualKey;
  input.ki.wScan = scanCode;
  input.ki.dwFlags = flags;
  return sent(SendInput(1, &input, sizeof input));
}

bool Win32Injector::mouse(int32_t dx, int32_t dy, int32_t mouseData, uint32_t flags) {
  INPUT input = {};
  input.type = INPUT_MOUSE;
  input.mi.dx = dx;
  input.mi.dy = dy;
  input.mi.mouseData = static_cast<DWORD>(mouseData);
  input.mi.dwFlags = flags;
  return sent(SendInput(1, &input, sizeof input));
}

void Win32UserInterface::showPeerBalloon(const char* title, const char* target) {
  // Synchronous, so that the texts (the worker's buffers) outlive their use.
  SendMessageW(mainWindow_, PeerBalloonMessage, reinterpret_cast<WPARAM>(title), reinterpret_cast<LPARAM>(target));
}

void Win32UserInterface::requestShutdown() { PostMessageW(mainWindow_, ShutdownRequestMessage, 0, 0); }

void Win32UserInterface::warnElevatedWindow() { PostMessageW(mainWindow_, ElevatedWindowMessage, 0, 0); }

void WindowPromptListener::promptChanged() noexcept {
  if (window_ != nullptr && !posted_.exchange(true, std::memory_order_acq_rel) &&
      !PostMessageW(window_, PromptChangedMessage, 0, 0))
    posted_.store(false, std::memory_order_release);
}

void Win32UserInterface::reportPorts(bool listening, bool announcing) {
  // Posted: the worker never waits for the main window over this.
  PostMessageW(mainWindow_, ServerPortsMessage, (listening ? 1u : 0u) | (announcing ? 2u : 0u), 0);
}

}  // namespace tavrin
