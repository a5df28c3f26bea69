// The Win32 backend's one private header: the Windows settings every file of
// the backend compiles with, its state, its Platform and the helpers its files
// share. Only files in this folder include it.
#pragma once

// Wide functions throughout: the program's GBK texts are converted to UTF-16
// here, so they show right whatever the system's ANSI code page is.
#ifndef UNICODE
#define UNICODE
#endif
#ifndef _UNICODE
#define _UNICODE
#endif
#define STRICT
#define WIN32_LEAN_AND_MEAN
#define NOMINMAX
// Windows XP: the backend itself uses nothing newer. (The -posix runtime,
// winpthreads, needs Vista's GetTickCount64, so that is the program's floor.)
#define WINVER 0x0501
#define _WIN32_WINNT 0x0501
#include <windows.h>

#include <array>
#include <string>
#include <string_view>

#include "app/platform.h"
#include "app/window_description.h"
#include "text/text.h"

namespace cdk {

// The resource ID of the program's icon (res/cdktool.rc.in).
inline constexpr int kWin32IconId = 1;
// The one timer of the window, 时钟1.
inline constexpr UINT_PTR kWin32TimerId = 1;

// Everything the backend keeps between calls, in one place.
struct Win32BackendData {
  const WindowDescription *description = nullptr;
  HWND window = nullptr; // null before building and once destroyed
  // Each control's window; the timer has none.
  std::array<HWND, kControlCount> controls{};
  // The labels' own fonts (CreateFont); null where the default GUI font is
  // used. Deleted with the platform, after the window.
  std::array<HFONT, kControlCount> fonts{};
  HICON big_icon = nullptr;
  HICON small_icon = nullptr;
  HBRUSH edit_background = nullptr; // white, a stock object
};

class Win32Platform final : public Platform {
public:
  Win32Platform() = default;
  ~Win32Platform() override;
  Win32Platform(const Win32Platform &) = delete;
  Win32Platform &operator=(const Win32Platform &) = delete;

  bool BuildWindow(const WindowDescription &window) override;
  void ShowWindow() override;
  void SetControlText(Control control, const Text &text) override;
  void SetControlEnabled(Control control, bool enabled) override;
  void StartTimer(int32_t period_ms) override;
  void StopTimer() override;
  Pending PeekEvent() override;
  void DispatchNextEvent(bool may_wait) override;
  void PostQuit() override;
  void ShowMessageBox(const Text &caption, const Text &text,
                      MessageIcon icon) override;
  bool SetClipboardText(const Text &text) override;
  void OpenUrl(const Text &url) override;

  // The window procedure's side of the platform (window.cpp).
  LRESULT HandleMessage(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam);

private:
  bool CreateControl(const ControlDescription &control);
  LRESULT ColourEditBox(HWND edit, HDC dc);
  void DrawLabel(const DRAWITEMSTRUCT &item);
  // Esc pressed without Ctrl, Shift or Alt on the window or one of its
  // controls: a close request (loop.cpp).
  bool IsCloseKey(const MSG &message) const;

  Win32BackendData data_;
};

// The program's texts, GBK (code page 936), as UTF-16 for the wide
// functions. Invalid bytes come out as the system's replacement character,
// so the result always covers the whole input.
std::wstring Win32WideFromGbk(std::string_view gbk);

} // namespace cdk
