// The HTTP client library as FetchPage sees it: eight blocking operations,
// named after what they do. A backend maps them onto the platform's library
// (WinINet at home, libcurl on Linux); tests install a recording fake.
#pragma once

#include <cstdint>

#include "text/text.h"

namespace cdk {

struct HttpHandleTag;
using HttpHandle = HttpHandleTag *; // nullptr: no handle

// The numbers the home system's library takes; FetchPage passes them and
// the fake checks them.
inline constexpr int32_t kAccessDirect = 1;
inline constexpr int32_t kAccessProxy = 3;
inline constexpr int32_t kServiceHttp = 3;
inline constexpr uint32_t kFlagReload = 0x80000000u;
inline constexpr int32_t kOptionConnectTimeout = 2;
inline constexpr int32_t kOptionSendTimeout = 5;
inline constexpr int32_t kOptionReceiveTimeout = 6;
inline constexpr int32_t kQueryRawHeadersCrLf = 22;

class HttpLibrary {
public:
  virtual ~HttpLibrary() = default;

  // access is kAccessDirect (proxy_list empty) or kAccessProxy with
  // "http=" + address; the bypass list is always empty; flags 0.
  virtual HttpHandle OpenSession(const Text &agent, int32_t access,
                                 const Text &proxy_list,
                                 const Text &bypass_list, uint32_t flags) = 0;
  virtual HttpHandle Connect(HttpHandle session, const Text &host,
                             int32_t port, const Text &user_name,
                             const Text &password, int32_t service,
                             uint32_t flags, uintptr_t context) = 0;
  // No referrer and no accept types: the header block carries both.
  virtual HttpHandle OpenRequest(HttpHandle connection, const Text &verb,
                                 const Text &path, const Text &version,
                                 uint32_t flags, uintptr_t context) = 0;
  // A 4-byte integer option; the result is ignored by FetchPage.
  virtual void SetOption(HttpHandle request, int32_t option,
                         int32_t value) = 0;
  // headers go on the wire as given; empty data means no request data.
  virtual void SendRequest(HttpHandle request, const Text &headers,
                           const Text &data) = 0;
  // Reads at most size bytes into buffer and returns the count: 0 at the
  // end of the body and on failure.
  virtual int32_t ReadBody(HttpHandle request, char *buffer,
                           int32_t size) = 0;
  // Writes the raw response headers, CR LF lines, into buffer when they fit
  // into *length bytes (with a terminating zero), and leaves the buffer
  // untouched otherwise.
  virtual void QueryInfo(HttpHandle request, int32_t info_level, char *buffer,
                         int32_t *length) = 0;
  virtual void CloseHandle(HttpHandle handle) = 0;
};

// The library FetchPage uses; the program installs its backend at start.
void InstallHttpLibrary(HttpLibrary *library);
HttpLibrary &InstalledHttpLibrary();

// "无法找到指定DLL库文件“<library>”中的输出命令“<function>”": the fatal
// message of a library function that cannot be bound at run time.
Text MissingExportMessage(const Text &library, const Text &function);

} // namespace cdk
