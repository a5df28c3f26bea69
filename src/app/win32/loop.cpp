// The event queue on Win32: looking at it, taking and dispatching one
// message, the quit request, the Esc key and the window's timer.
#include "app/win32/winapi.h"

namespace cdk {

namespace {

bool ModifierDown() {
  // The high bit of GetKeyState is set while the key is down.
  return GetKeyState(VK_CONTROL) < 0 || GetKeyState(VK_SHIFT) < 0 ||
         GetKeyState(VK_MENU) < 0;
}

// Takes WM_TIMER messages that are already due, so that a stopped or
// restarted timer delivers no tick of its old rhythm.
void DropDueTicks(HWND window) {
  MSG message;
  while (PeekMessageW(&message, window, WM_TIMER, WM_TIMER, PM_REMOVE)) {
  }
}

} // namespace

bool Win32Platform::IsCloseKey(const MSG &message) const {
  // Without a dialog manager a key goes to the control with the focus, or,
  // when nothing has it, to the window as a system key.
  return (message.message == WM_KEYDOWN || message.message == WM_SYSKEYDOWN) &&
         message.wParam == VK_ESCAPE && data_.window != nullptr &&
         (message.hwnd == data_.window ||
          IsChild(data_.window, message.hwnd)) &&
         !ModifierDown();
}

Pending Win32Platform::PeekEvent() {
  MSG message;
  if (!PeekMessageW(&message, nullptr, 0, 0, PM_NOREMOVE)) {
    return Pending::kNothing;
  }
  return message.message == WM_QUIT ? Pending::kQuit : Pending::kEvent;
}

void Win32Platform::DispatchNextEvent(bool may_wait) {
  MSG message;
  if (may_wait) {
    const BOOL got = GetMessageW(&message, nullptr, 0, 0);
    if (got == -1) {
      return;
    }
  } else if (!PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
    return;
  }
  if (message.message == WM_QUIT) {
    // Taking WM_QUIT clears the thread's quit flag. The core only ends its
    // loop on a quit request it sees waiting, so post it again.
    PostQuitMessage(static_cast<int>(message.wParam));
    return;
  }
  if (IsCloseKey(message)) {
    SendMessageW(data_.window, WM_CLOSE, 0, 0);
    return;
  }
  TranslateMessage(&message);
  DispatchMessageW(&message);
}

void Win32Platform::PostQuit() { PostQuitMessage(0); }

void Win32Platform::StartTimer(int32_t period_ms) {
  if (data_.window == nullptr) {
    return;
  }
  // Windows delivers WM_TIMER only when no other message waits and merges
  // ticks that pile up: the lowest priority, at most one waiting.
  SetTimer(data_.window, kWin32TimerId, static_cast<UINT>(period_ms), nullptr);
  DropDueTicks(data_.window);
}

void Win32Platform::StopTimer() {
  if (data_.window == nullptr) {
    return;
  }
  KillTimer(data_.window, kWin32TimerId);
  DropDueTicks(data_.window);
}

} // namespace cdk
