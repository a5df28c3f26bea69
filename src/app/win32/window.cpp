// The main window on Win32: its class, frame and twelve controls, their
// colours and fonts, and the window procedure that reports events to the
// shell core.
#include "app/win32/winapi.h"

#include <commctrl.h>

#include "app/desktop_platform.h"
#include "app/shell.h"

namespace cdk {

namespace {

constexpr wchar_t kWindowClass[] = L"CdkToolMainWindow";
// Child IDs are the control's index plus this, so WM_COMMAND finds the
// control without a search.
constexpr int kFirstControlId = 100;

// A dialog frame with a caption, the system menu and its close button; no
// thick frame, no minimise or maximise box, so Move is the only frame action
// left in the system menu.
constexpr DWORD kWindowStyle =
    WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_CLIPCHILDREN;

COLORREF ToColorRef(Rgb rgb) { return RGB(rgb.red, rgb.green, rgb.blue); }

LRESULT CALLBACK WindowProcedure(HWND hwnd, UINT message, WPARAM wparam,
                                 LPARAM lparam) {
  if (message == WM_NCCREATE) {
    auto *create = reinterpret_cast<CREATESTRUCTW *>(lparam);
    SetWindowLongPtrW(hwnd, GWLP_USERDATA,
                      reinterpret_cast<LONG_PTR>(create->lpCreateParams));
  }
  auto *platform =
      reinterpret_cast<Win32Platform *>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
  if (platform == nullptr) {
    return DefWindowProcW(hwnd, message, wparam, lparam);
  }
  return platform->HandleMessage(hwnd, message, wparam, lparam);
}

bool RegisterWindowClass(HINSTANCE instance, HICON big_icon, HICON small_icon) {
  WNDCLASSEXW window_class{};
  window_class.cbSize = sizeof window_class;
  window_class.lpfnWndProc = WindowProcedure;
  window_class.hInstance = instance;
  window_class.hIcon = big_icon;
  window_class.hIconSm = small_icon;
  window_class.hCursor = LoadCursorW(nullptr, IDC_ARROW);
  // The window paints its own background in the 3-D face colour.
  window_class.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
  window_class.lpszClassName = kWindowClass;
  return RegisterClassExW(&window_class) != 0 ||
         GetLastError() == ERROR_CLASS_ALREADY_EXISTS;
}

// The icon's image for one of the platform's icon sizes.
HICON LoadProgramIcon(HINSTANCE instance, int width_metric, int height_metric) {
  return static_cast<HICON>(
      LoadImageW(instance, MAKEINTRESOURCEW(kWin32IconId), IMAGE_ICON,
                 GetSystemMetrics(width_metric),
                 GetSystemMetrics(height_metric), LR_DEFAULTCOLOR));
}

POINT CentredPlace(const WindowDescription &window) {
  // Integer division truncates toward zero, as the placement asks; the whole
  // primary screen counts, not its work area.
  return {(GetSystemMetrics(SM_CXSCREEN) - window.outer_width) / 2,
          (GetSystemMetrics(SM_CYSCREEN) - window.outer_height) / 2};
}

HFONT DefaultGuiFont() {
  return static_cast<HFONT>(GetStockObject(DEFAULT_GUI_FONT));
}

} // namespace

std::unique_ptr<Platform> CreateDesktopPlatform() {
  return std::make_unique<Win32Platform>();
}

Win32Platform::~Win32Platform() {
  if (data_.window != nullptr) {
    DestroyWindow(data_.window);
  }
  for (HFONT font : data_.fonts) {
    if (font != nullptr) {
      DeleteObject(font);
    }
  }
}

bool Win32Platform::BuildWindow(const WindowDescription &window) {
  data_.description = &window;
  HINSTANCE instance = GetModuleHandleW(nullptr);

  // The manifest asks for common controls 6. On Windows XP the classes of
  // that version are only there once comctl32.dll is loaded, and this call
  // is what loads it.
  INITCOMMONCONTROLSEX common_controls{sizeof common_controls,
                                       ICC_STANDARD_CLASSES};
  InitCommonControlsEx(&common_controls);

  data_.big_icon = LoadProgramIcon(instance, SM_CXICON, SM_CYICON);
  data_.small_icon = LoadProgramIcon(instance, SM_CXSMICON, SM_CYSMICON);
  data_.edit_background = static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH));
  if (!RegisterWindowClass(instance, data_.big_icon, data_.small_icon)) {
    return false;
  }

  const POINT place = CentredPlace(window);
  HWND hwnd =
      CreateWindowExW(0, kWindowClass, Win32WideFromGbk(window.caption).c_str(),
                      kWindowStyle, place.x, place.y, window.outer_width,
                      window.outer_height, nullptr, nullptr, instance, this);
  if (hwnd == nullptr) {
    return false;
  }
  data_.window = hwnd;

  RECT outer{};
  GetWindowRect(hwnd, &outer);
  if (outer.right - outer.left != window.outer_width ||
      outer.bottom - outer.top != window.outer_height) {
    SetWindowPos(hwnd, nullptr, 0, 0, window.outer_width, window.outer_height,
                 SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
  }

  for (const ControlDescription &control : window.controls) {
    if (!CreateControl(control)) {
      return false;
    }
  }
  for (const ControlDescription &control : window.controls) {
    HWND child = data_.controls[static_cast<int>(control.control)];
    if (control.shown && child != nullptr) {
      ::ShowWindow(child, SW_SHOWNA);
    }
  }
  return true;
}

bool Win32Platform::CreateControl(const ControlDescription &control) {
  const int index = static_cast<int>(control.control);
  const wchar_t *window_class = nullptr;
  DWORD style = WS_CHILD;
  DWORD ex_style = 0;
  switch (control.kind) {
  case Kind::EditBox:
    window_class = L"EDIT";
    style |= ES_LEFT | ES_AUTOHSCROLL;
    ex_style = WS_EX_CLIENTEDGE;
    break;
  case Kind::Label:
    // Drawn by the window (WM_DRAWITEM): filled with the face colour, then
    // the text in the label's colour and font, "&" taken literally.
    window_class = L"STATIC";
    style |= SS_OWNERDRAW | SS_NOPREFIX;
    break;
  case Kind::Button:
    // BS_PUSHBUTTON, never BS_DEFPUSHBUTTON: no button is the default.
    window_class = L"BUTTON";
    style |= WS_TABSTOP | BS_PUSHBUTTON | BS_CENTER | BS_VCENTER;
    break;
  case Kind::Timer:
  case Kind::window:
    return true; // nothing to show: the timer is SetTimer on the window
  }
  if (!control.enabled) {
    style |= WS_DISABLED;
  }
  const Rect &r = control.rect;
  HWND child = CreateWindowExW(
      ex_style, window_class, Win32WideFromGbk(control.initial_text).c_str(),
      style, r.left, r.top, r.width, r.height, data_.window,
      reinterpret_cast<HMENU>(static_cast<INT_PTR>(kFirstControlId + index)),
      GetModuleHandleW(nullptr), nullptr);
  if (child == nullptr) {
    return false;
  }
  data_.controls[index] = child;

  if (control.kind == Kind::Label && control.font_height != 0) {
    // A character height (negative), weight 400 and no face name: the system
    // picks the face. The GB2312 character set makes it pick one that has
    // the Chinese characters on every Windows; on a Chinese Windows that is
    // what the default character set gives anyway.
    data_.fonts[index] = CreateFontW(
        -control.font_height, 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE,
        GB2312_CHARSET, OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS,
        DEFAULT_QUALITY, DEFAULT_PITCH | FF_DONTCARE, nullptr);
  }
  SendMessageW(child, WM_SETFONT, reinterpret_cast<WPARAM>(DefaultGuiFont()),
               FALSE);
  if (control.kind == Kind::EditBox) {
    SendMessageW(child, EM_SETLIMITTEXT, 0, 0); // 0: no limit
  }
  return true;
}

void Win32Platform::ShowWindow() {
  if (data_.window == nullptr) {
    return;
  }
  const POINT place = CentredPlace(*data_.description);
  SetWindowPos(data_.window, nullptr, place.x, place.y, 0, 0,
               SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
  ::ShowWindow(data_.window, SW_SHOWNORMAL);
  SetForegroundWindow(data_.window);
  UpdateWindow(data_.window);
}

void Win32Platform::SetControlText(Control control, const Text &text) {
  HWND child = data_.controls[static_cast<int>(control)];
  if (child == nullptr) {
    return;
  }
  SetWindowTextW(child, Win32WideFromGbk(text.view()).c_str());
  if (DescriptionOf(control).kind == Kind::Label) {
    InvalidateRect(child, nullptr, TRUE); // owner-drawn: repaint ourselves
  }
}

void Win32Platform::SetControlEnabled(Control control, bool enabled) {
  HWND child = data_.controls[static_cast<int>(control)];
  if (child == nullptr) {
    return;
  }
  const bool had_focus = GetFocus() == child;
  EnableWindow(child, enabled ? TRUE : FALSE);
  // A disabled control loses the focus to nobody, and keys then arrive as
  // system keys; give it to the window so Esc still closes.
  if (!enabled && had_focus && data_.window != nullptr) {
    SetFocus(data_.window);
  }
}

LRESULT Win32Platform::ColourEditBox(HWND edit, HDC dc) {
  const int id = GetDlgCtrlID(edit) - kFirstControlId;
  if (id < 0 || id >= kControlCount || data_.controls[id] != edit ||
      data_.description->controls[id].kind != Kind::EditBox) {
    return 0;
  }
  SetTextColor(dc, ToColorRef(data_.description->controls[id].text_colour));
  SetBkColor(dc, RGB(255, 255, 255));
  return reinterpret_cast<LRESULT>(data_.edit_background);
}

void Win32Platform::DrawLabel(const DRAWITEMSTRUCT &item) {
  const int id = static_cast<int>(item.CtlID) - kFirstControlId;
  if (id < 0 || id >= kControlCount) {
    return;
  }
  const ControlDescription &label = data_.description->controls[id];
  RECT area = item.rcItem;
  FillRect(item.hDC, &area, GetSysColorBrush(COLOR_BTNFACE));

  std::wstring text(
      static_cast<size_t>(GetWindowTextLengthW(item.hwndItem)) + 1, L'\0');
  const int length =
      GetWindowTextW(item.hwndItem, text.data(), static_cast<int>(text.size()));

  HFONT font = data_.fonts[id] != nullptr ? data_.fonts[id] : DefaultGuiFont();
  HGDIOBJ old_font = SelectObject(item.hDC, font);
  SetBkMode(item.hDC, TRANSPARENT);
  SetTextColor(item.hDC, ToColorRef(label.text_colour));
  UINT format = DT_NOPREFIX | DT_LEFT;
  if (label.layout == TextLayout::kWrappedFromTop) {
    format |= DT_WORDBREAK | DT_TOP;
  } else {
    format |= DT_SINGLELINE | DT_VCENTER;
  }
  // The item's DC is clipped to the label: wrapped lines below its bottom
  // edge are cut off.
  DrawTextW(item.hDC, text.c_str(), length, &area, format);
  SelectObject(item.hDC, old_font);
}

LRESULT Win32Platform::HandleMessage(HWND hwnd, UINT message, WPARAM wparam,
                                     LPARAM lparam) {
  switch (message) {
  case WM_COMMAND:
    if (HIWORD(wparam) == BN_CLICKED && lparam != 0) {
      const int id = LOWORD(wparam) - kFirstControlId;
      if (id >= 0 && id < kControlCount &&
          data_.description->controls[id].kind == Kind::Button) {
        DeliverEvent(EventKind::kClick, static_cast<Control>(id));
      }
      return 0;
    }
    break;
  case WM_TIMER:
    if (wparam == kWin32TimerId) {
      DeliverEvent(EventKind::kTick, Control::时钟1);
      return 0;
    }
    break;
  case WM_MOVE:
    DeliverEvent(EventKind::kMoved);
    break;
  case WM_SIZE:
    DeliverEvent(EventKind::kResized);
    break;
  case WM_CTLCOLOREDIT:
  // A disabled or read-only edit box asks with WM_CTLCOLORSTATIC.
  case WM_CTLCOLORSTATIC:
    if (LRESULT brush = ColourEditBox(reinterpret_cast<HWND>(lparam),
                                      reinterpret_cast<HDC>(wparam))) {
      return brush;
    }
    break;
  case WM_DRAWITEM: {
    const auto &item = *reinterpret_cast<const DRAWITEMSTRUCT *>(lparam);
    if (item.CtlType == ODT_STATIC) {
      DrawLabel(item);
      return TRUE;
    }
    break;
  }
  case WM_DESTROY:
    // The children still exist here; the core decides about the quit.
    DeliverEvent(EventKind::kDestroyed);
    return 0;
  case WM_NCDESTROY:
    data_.window = nullptr;
    data_.controls = {};
    SetWindowLongPtrW(hwnd, GWLP_USERDATA, 0);
    break;
  default:
    break;
  }
  return DefWindowProcW(hwnd, message, wparam, lparam);
}

} // namespace cdk
