// Opening a web address on Win32: the system shell's "open" action, which
// hands it to the default browser.
#include "app/win32/winapi.h"

#include <objbase.h>
#include <shellapi.h>

namespace cdk {

void Win32Platform::OpenUrl(const Text &url) {
  // ShellExecute may hand the address to a shell extension through COM, so
  // the thread must have COM; once per run is enough, and S_FALSE (already
  // initialised) is fine too.
  static const HRESULT com = CoInitializeEx(
      nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE);
  (void)com;

  HWND owner =
      FindWindowExW(nullptr, nullptr, nullptr, L"Microsoft Internet Explorer");
  // The result is not examined: a failure is the shell's to show.
  ShellExecuteW(owner, L"open", Win32WideFromGbk(url.view()).c_str(), nullptr,
                nullptr, SW_SHOWNORMAL);
}

} // namespace cdk
