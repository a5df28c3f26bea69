// The clipboard on Win32: the text as CF_TEXT in code page 936, and the same
// text as CF_UNICODETEXT so that a paste is right on every Windows.
#include "app/win32/winapi.h"

#include <cstring>

namespace cdk {

namespace {

// Movable, zero-filled global memory holding `size` bytes copied from
// `bytes`; null when it cannot be had.
HGLOBAL GlobalCopy(const void *bytes, size_t size) {
  HGLOBAL memory = GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, size);
  if (memory == nullptr) {
    return nullptr;
  }
  void *target = GlobalLock(memory);
  if (target == nullptr) {
    GlobalFree(memory);
    return nullptr;
  }
  std::memcpy(target, bytes, size);
  GlobalUnlock(memory);
  return memory;
}

} // namespace

bool Win32Platform::SetClipboardText(const Text &text) {
  // No owner window: the clipboard is not tied to our window's lifetime.
  if (!OpenClipboard(nullptr)) {
    return false; // another program holds it; its contents stay
  }
  EmptyClipboard();
  // The n bytes and the terminating zero.
  HGLOBAL ansi = GlobalCopy(text.c_str(), static_cast<size_t>(text.size()) + 1);
  if (ansi == nullptr) {
    CloseClipboard();
    return false;
  }
  SetClipboardData(CF_TEXT, ansi);

  // Windows would make CF_UNICODETEXT from CF_TEXT with the system's own
  // code page, which garbles GBK on a Windows whose code page is not 936.
  // If there is no memory for it, the CF_TEXT alone stays.
  const std::wstring wide = Win32WideFromGbk(text.view());
  if (HGLOBAL unicode =
          GlobalCopy(wide.c_str(), (wide.size() + 1) * sizeof(wchar_t))) {
    if (SetClipboardData(CF_UNICODETEXT, unicode) == nullptr) {
      GlobalFree(unicode);
    }
  }
  CloseClipboard();
  return true;
}

} // namespace cdk
