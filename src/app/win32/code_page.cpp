// The one place where the program's GBK texts become the UTF-16 that the
// wide Win32 functions take.
#include "app/win32/winapi.h"

namespace cdk {

namespace {

constexpr UINT kGbkCodePage = 936;

// The converted length, or 0 when the code page cannot convert.
int Convert(UINT code_page, std::string_view bytes, wchar_t *out, int size) {
  return MultiByteToWideChar(code_page, 0, bytes.data(),
                             static_cast<int>(bytes.size()), out, size);
}

} // namespace

std::wstring Win32WideFromGbk(std::string_view gbk) {
  if (gbk.empty()) {
    return {};
  }
  // A Windows XP without East Asian language support has no table for code
  // page 936; the ANSI code page then shows what it can, as the narrow
  // functions would.
  UINT code_page = kGbkCodePage;
  int length = Convert(code_page, gbk, nullptr, 0);
  if (length == 0) {
    code_page = CP_ACP;
    length = Convert(code_page, gbk, nullptr, 0);
  }
  std::wstring wide(static_cast<size_t>(length), L'\0');
  Convert(code_page, gbk, wide.data(), length);
  return wide;
}

} // namespace cdk
