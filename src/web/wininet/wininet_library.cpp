// The WinINet backend of the HTTP library interface. Nothing is linked
// against wininet: each function is looked up by name in wininet.dll at its
// own first call and remembered for the run.
#define STRICT
#define WIN32_LEAN_AND_MEAN
#define NOMINMAX
#include <windows.h>
#include <wininet.h>

#include "text/fatal.h"
#include "web/http_library.h"
#include "web/system_http_library.h"

namespace cdk {

namespace {

constexpr char kLibraryFile[] = "wininet.dll";

// Each pointer has the function's own type, WINAPI included: a pointer
// declared by hand with the wrong calling convention would only crash the
// 32-bit build, where stdcall and cdecl differ.
struct WinInetFunctions {
  decltype(&::InternetOpenA) InternetOpenA = nullptr;
  decltype(&::InternetConnectA) InternetConnectA = nullptr;
  decltype(&::HttpOpenRequestA) HttpOpenRequestA = nullptr;
  decltype(&::InternetSetOptionA) InternetSetOptionA = nullptr;
  decltype(&::HttpSendRequestA) HttpSendRequestA = nullptr;
  decltype(&::InternetReadFile) InternetReadFile = nullptr;
  decltype(&::HttpQueryInfoA) HttpQueryInfoA = nullptr;
  decltype(&::InternetCloseHandle) InternetCloseHandle = nullptr;
};

// Loaded by the first bind and kept until the program ends. LoadLibrary
// searches the program's own folder before the system's.
HMODULE WinInetModule() {
  static HMODULE module = nullptr;
  if (module == nullptr) {
    module = LoadLibraryA(kLibraryFile);
  }
  return module;
}

// Looks `name` up on the first call and keeps it in `slot`. A missing
// library or export is fatal: the program cannot fetch anything without it.
template <class Function> Function Bound(Function &slot, const char *name) {
  if (slot == nullptr) {
    HMODULE module = WinInetModule();
    FARPROC address =
        module != nullptr ? GetProcAddress(module, name) : nullptr;
    if (address == nullptr) {
      FatalError(MissingExportMessage(kLibraryFile, name));
    }
    // Through void (*)(), which GCC's -Wcast-function-type accepts as a
    // generic function pointer; FARPROC to the real type directly warns.
    slot = reinterpret_cast<Function>(reinterpret_cast<void (*)()>(address));
  }
  return slot;
}

HINTERNET Native(HttpHandle handle) { return handle; }
HttpHandle Wrap(HINTERNET handle) { return static_cast<HttpHandle>(handle); }

// Text arguments as WinINet takes them; Text has no const-free view.
char *Mutable(const Text &text) { return const_cast<char *>(text.c_str()); }

class WinInetLibrary final : public HttpLibrary {
public:
  HttpHandle OpenSession(const Text &agent, int32_t access,
                         const Text &proxy_list, const Text &bypass_list,
                         uint32_t flags) override {
    auto open = Bound(functions_.InternetOpenA, "InternetOpenA");
    return Wrap(open(agent.c_str(), static_cast<DWORD>(access),
                     proxy_list.c_str(), bypass_list.c_str(), flags));
  }

  HttpHandle Connect(HttpHandle session, const Text &host, int32_t port,
                     const Text &user_name, const Text &password,
                     int32_t service, uint32_t flags,
                     uintptr_t context) override {
    auto connect = Bound(functions_.InternetConnectA, "InternetConnectA");
    // WinINet takes a 16-bit port: a larger one would silently become
    // another port, so it fails like any unreachable server. Port 0 is
    // WinINet's own "default port of the service".
    if (port < 0 || port > 65535) {
      return nullptr;
    }
    return Wrap(connect(Native(session), host.c_str(),
                        static_cast<INTERNET_PORT>(port), user_name.c_str(),
                        password.c_str(), static_cast<DWORD>(service), flags,
                        context));
  }

  HttpHandle OpenRequest(HttpHandle connection, const Text &verb,
                         const Text &path, const Text &version, uint32_t flags,
                         uintptr_t context) override {
    auto open_request = Bound(functions_.HttpOpenRequestA, "HttpOpenRequestA");
    return Wrap(open_request(Native(connection), verb.c_str(), path.c_str(),
                             version.c_str(), nullptr, nullptr, flags,
                             context));
  }

  void SetOption(HttpHandle request, int32_t option, int32_t value) override {
    auto set_option =
        Bound(functions_.InternetSetOptionA, "InternetSetOptionA");
    DWORD number = static_cast<DWORD>(value);
    set_option(Native(request), static_cast<DWORD>(option), &number,
               sizeof number);
  }

  void SendRequest(HttpHandle request, const Text &headers,
                   const Text &data) override {
    auto send = Bound(functions_.HttpSendRequestA, "HttpSendRequestA");
    send(Native(request), headers.empty() ? nullptr : headers.c_str(),
         static_cast<DWORD>(headers.size()),
         data.empty() ? nullptr : Mutable(data),
         static_cast<DWORD>(data.size()));
  }

  int32_t ReadBody(HttpHandle request, char *buffer, int32_t size) override {
    auto read = Bound(functions_.InternetReadFile, "InternetReadFile");
    DWORD count = 0;
    if (size <= 0) {
      return 0;
    }
    // The success flag is not needed: a failed read delivers no bytes.
    read(Native(request), buffer, static_cast<DWORD>(size), &count);
    return static_cast<int32_t>(count);
  }

  void QueryInfo(HttpHandle request, int32_t info_level, char *buffer,
                 int32_t *length) override {
    auto query = Bound(functions_.HttpQueryInfoA, "HttpQueryInfoA");
    DWORD size = static_cast<DWORD>(*length);
    query(Native(request), static_cast<DWORD>(info_level), buffer, &size,
          nullptr);
    *length = static_cast<int32_t>(size);
  }

  void CloseHandle(HttpHandle handle) override {
    auto close = Bound(functions_.InternetCloseHandle, "InternetCloseHandle");
    close(Native(handle));
  }

private:
  WinInetFunctions functions_;
};

} // namespace

HttpLibrary &SystemHttpLibrary() {
  static WinInetLibrary library;
  return library;
}

} // namespace cdk
