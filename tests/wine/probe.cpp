// A look at the windows of a running Wine session from inside, for the
// Wine tests: every titled top-level window with its frame and child
// controls, printed as one JSON document (texts in UTF-8). It only reads.
#ifndef UNICODE
#define UNICODE
#endif
#define STRICT
#define WIN32_LEAN_AND_MEAN
#define NOMINMAX
#include <windows.h>

#include <cstdio>
#include <string>
#include <vector>

namespace {

std::string Utf8(const std::wstring &wide) {
  if (wide.empty()) {
    return {};
  }
  const int size = WideCharToMultiByte(CP_UTF8, 0, wide.data(),
                                       static_cast<int>(wide.size()), nullptr,
                                       0, nullptr, nullptr);
  std::string out(static_cast<size_t>(size), '\0');
  WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()),
                      out.data(), size, nullptr, nullptr);
  return out;
}

std::string Quoted(const std::string &utf8) {
  std::string out = "\"";
  for (unsigned char c : utf8) {
    if (c == '"' || c == '\\') {
      out += '\\';
      out += static_cast<char>(c);
    } else if (c < 0x20) {
      char escape[8];
      std::snprintf(escape, sizeof escape, "\\u%04x", c);
      out += escape;
    } else {
      out += static_cast<char>(c);
    }
  }
  return out + "\"";
}

// Another process's control keeps its text to itself: GetWindowText only
// sees captions across processes, so ask the control with WM_GETTEXT.
std::string TextOf(HWND hwnd) {
  DWORD_PTR length = 0;
  if (!SendMessageTimeoutW(hwnd, WM_GETTEXTLENGTH, 0, 0, SMTO_ABORTIFHUNG, 5000,
                           &length)) {
    return {};
  }
  std::wstring text(length + 1, L'\0');
  DWORD_PTR copied = 0;
  SendMessageTimeoutW(hwnd, WM_GETTEXT, text.size(),
                      reinterpret_cast<LPARAM>(text.data()), SMTO_ABORTIFHUNG,
                      5000, &copied);
  text.resize(copied);
  return Utf8(text);
}

std::string ClassOf(HWND hwnd) {
  wchar_t name[256] = {};
  GetClassNameW(hwnd, name, 256);
  return Utf8(name);
}

std::string RectJson(const RECT &r) {
  char out[96];
  std::snprintf(out, sizeof out, "[%ld, %ld, %ld, %ld]", r.left, r.top,
                r.right - r.left, r.bottom - r.top);
  return out;
}

std::string Common(HWND hwnd) {
  RECT rect{};
  GetWindowRect(hwnd, &rect);
  char flags[160];
  std::snprintf(flags, sizeof flags,
                "\"style\": %lu, \"ex_style\": %lu, \"visible\": %s, "
                "\"enabled\": %s",
                static_cast<unsigned long>(GetWindowLongW(hwnd, GWL_STYLE)),
                static_cast<unsigned long>(GetWindowLongW(hwnd, GWL_EXSTYLE)),
                IsWindowVisible(hwnd) ? "true" : "false",
                IsWindowEnabled(hwnd) ? "true" : "false");
  return "\"class\": " + Quoted(ClassOf(hwnd)) +
         ", \"text\": " + Quoted(TextOf(hwnd)) +
         ", \"screen_rect\": " + RectJson(rect) + ", " + flags;
}

// Whether an icon control holds an icon: Wine's message box keeps its icon
// control, empty, when the box has no icon.
std::string HoldsIcon(HWND hwnd) {
  DWORD_PTR icon = 0;
  SendMessageTimeoutW(hwnd, STM_GETICON, 0, 0, SMTO_ABORTIFHUNG, 5000, &icon);
  return icon != 0 ? "true" : "false";
}

BOOL CALLBACK CollectChild(HWND child, LPARAM list) {
  reinterpret_cast<std::vector<HWND> *>(list)->push_back(child);
  return TRUE;
}

BOOL CALLBACK CollectTop(HWND top, LPARAM list) {
  reinterpret_cast<std::vector<HWND> *>(list)->push_back(top);
  return TRUE;
}

std::string Window(HWND hwnd) {
  RECT client{};
  GetClientRect(hwnd, &client);
  POINT origin{0, 0};
  ClientToScreen(hwnd, &origin);
  char geometry[128];
  std::snprintf(geometry, sizeof geometry,
                "\"client_origin\": [%ld, %ld], \"client_size\": [%ld, %ld]",
                origin.x, origin.y, client.right, client.bottom);
  std::string out = "{" + Common(hwnd) + ", " + geometry;
  out += ", \"children\": [";
  std::vector<HWND> children;
  EnumChildWindows(hwnd, CollectChild, reinterpret_cast<LPARAM>(&children));
  for (size_t i = 0; i < children.size(); ++i) {
    HWND child = children[i];
    RECT rect{};
    GetWindowRect(child, &rect);
    MapWindowPoints(nullptr, hwnd, reinterpret_cast<POINT *>(&rect), 2);
    char id[32];
    std::snprintf(id, sizeof id, "\"id\": %d, ", GetDlgCtrlID(child));
    out += (i == 0 ? "{" : ", {") + std::string(id) +
           "\"rect\": " + RectJson(rect) +
           ", \"holds_icon\": " + HoldsIcon(child) + ", " + Common(child) + "}";
  }
  return out + "]}";
}

} // namespace

int main() {
  std::vector<HWND> tops;
  EnumWindows(CollectTop, reinterpret_cast<LPARAM>(&tops));
  std::string out = "{";
  char header[160];
  std::snprintf(header, sizeof header,
                "\"ansi_code_page\": %u, \"screen\": [%d, %d], "
                "\"windows\": [",
                GetACP(), GetSystemMetrics(SM_CXSCREEN),
                GetSystemMetrics(SM_CYSCREEN));
  out += header;
  bool first = true;
  for (HWND top : tops) {
    if (GetWindowTextLengthW(top) == 0) {
      continue; // helper windows without a title
    }
    out += (first ? "" : ", ") + Window(top);
    first = false;
  }
  out += "]}\n";
  std::fwrite(out.data(), 1, out.size(), stdout);
  return 0;
}
