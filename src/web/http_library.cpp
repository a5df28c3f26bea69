// Which HTTP library FetchPage uses, and the fatal message of a library
// function that cannot be bound.
#include "web/http_library.h"

#include "web_texts.h"

namespace cdk {

namespace {

// Stands in until a backend is installed: every request fails at its first
// step, so a program that forgot to install one fetches empty pages instead
// of crashing.
class NoHttpLibrary final : public HttpLibrary {
public:
  HttpHandle OpenSession(const Text &, int32_t, const Text &, const Text &,
                         uint32_t) override {
    return nullptr;
  }
  HttpHandle Connect(HttpHandle, const Text &, int32_t, const Text &,
                     const Text &, int32_t, uint32_t, uintptr_t) override {
    return nullptr;
  }
  HttpHandle OpenRequest(HttpHandle, const Text &, const Text &, const Text &,
                         uint32_t, uintptr_t) override {
    return nullptr;
  }
  void SetOption(HttpHandle, int32_t, int32_t) override {}
  void SendRequest(HttpHandle, const Text &, const Text &) override {}
  int32_t ReadBody(HttpHandle, char *, int32_t) override { return 0; }
  void QueryInfo(HttpHandle, int32_t, char *, int32_t *) override {}
  void CloseHandle(HttpHandle) override {}
};

NoHttpLibrary g_no_library;
HttpLibrary *g_installed = &g_no_library;

} // namespace

void InstallHttpLibrary(HttpLibrary *library) {
  g_installed = library != nullptr ? library : &g_no_library;
}

HttpLibrary &InstalledHttpLibrary() { return *g_installed; }

Text MissingExportMessage(const Text &library, const Text &function) {
  // Cut the format at its two "%s" first, so a name that itself holds "%s"
  // is never taken for a place to fill. No GBK trail byte is "%".
  const Text format = kMissingExportFormat;
  int32_t first = FindText(format, "%s");
  int32_t second = FindText(format, "%s", first + 2);
  return JoinText(TextLeft(format, first - 1), library,
                  TextMid(format, first + 2, second - first - 2), function,
                  TextRight(format, TextLength(format) - second - 1));
}

} // namespace cdk
