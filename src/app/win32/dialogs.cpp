// Message boxes on Win32: the task-modal box with one OK button and no owner,
// used for the version message and for the fatal-error box.
#include "app/win32/winapi.h"

namespace cdk {

void Win32Platform::ShowMessageBox(const Text &caption, const Text &text,
                                   MessageIcon icon) {
  // MessageBox returns at once, showing nothing, while a WM_QUIT waits in
  // the queue (a fatal error after the window has been closed during a page
  // fetch). Hold the quit request back while the box is open.
  MSG quit;
  const bool quit_waiting =
      PeekMessageW(&quit, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE) != 0;

  UINT type = MB_OK | MB_TASKMODAL;
  if (icon == MessageIcon::kError) {
    type |= MB_ICONERROR;
  }
  // The box's own modal loop keeps dispatching the thread's messages, so
  // repaints and timer ticks go on while it is open.
  MessageBoxW(nullptr, Win32WideFromGbk(text.view()).c_str(),
              Win32WideFromGbk(caption.view()).c_str(), type);

  if (quit_waiting) {
    PostQuitMessage(static_cast<int>(quit.wParam));
  }
}

} // namespace cdk
