// The eight operations of the HTTP library interface on libcurl: handles
// are plain objects, and a request handle carries the transfer.
#include "web/system_http_library.h"

#include <cstring>
#include <memory>

#include "curl_backend.h"

namespace cdk {

namespace {

template <class T> T *CurlHandleOf(HttpHandle handle, CurlHandleKind kind) {
  auto *h = reinterpret_cast<CurlHandle *>(handle);
  return h != nullptr && h->kind == kind ? static_cast<T *>(h) : nullptr;
}

HttpHandle ToHttpHandle(CurlHandle *handle) {
  return reinterpret_cast<HttpHandle>(handle);
}

// The proxy list as the home system's library reads it: entries separated
// by blanks or ";", each "scheme=address" or an address for every scheme.
// Only the http entry counts; "http=" names an empty address.
std::string HttpProxyOf(std::string_view list) {
  std::string any_scheme;
  while (!list.empty()) {
    size_t end = list.find_first_of(" ;");
    std::string_view entry = list.substr(0, end);
    list = end == std::string_view::npos ? std::string_view()
                                         : list.substr(end + 1);
    size_t equals = entry.find('=');
    if (equals == std::string_view::npos) {
      if (any_scheme.empty()) {
        any_scheme = entry;
      }
    } else if (entry.substr(0, equals) == "http") {
      return std::string(entry.substr(equals + 1));
    }
  }
  return any_scheme;
}

class CurlHttpLibrary final : public HttpLibrary {
public:
  // libcurl loads while the caller goes on; the first fetch waits for it.
  CurlHttpLibrary() { StartLoadingCurl(); }

  HttpHandle OpenSession(const Text &agent, int32_t access,
                         const Text &proxy_list, const Text & /*bypass*/,
                         uint32_t /*flags*/) override {
    // Bound by the first operation, as WinINet is: a missing libcurl is
    // fatal here, at the version check's first step.
    Curl();
    auto session = std::make_unique<CurlSession>();
    session->settings.agent = agent.view();
    session->settings.use_proxy = access == kAccessProxy;
    if (session->settings.use_proxy) {
      session->settings.http_proxy = HttpProxyOf(proxy_list.view());
    }
    return ToHttpHandle(session.release());
  }

  HttpHandle Connect(HttpHandle session_handle, const Text &host, int32_t port,
                     const Text &, const Text &, int32_t service, uint32_t,
                     uintptr_t) override {
    auto *session =
        CurlHandleOf<CurlSession>(session_handle, CurlHandleKind::kSession);
    if (session == nullptr || service != kServiceHttp) {
      return nullptr;
    }
    auto connection = std::make_unique<CurlConnection>();
    connection->settings = session->settings;
    connection->host = host.view();
    connection->port = port;
    return ToHttpHandle(connection.release());
  }

  // Only HTTP/1.1 is spoken, and there is no cache to bypass, so the
  // version and the reload flag need nothing.
  HttpHandle OpenRequest(HttpHandle connection_handle, const Text &verb,
                         const Text &path, const Text &, uint32_t,
                         uintptr_t) override {
    auto *connection = CurlHandleOf<CurlConnection>(
        connection_handle, CurlHandleKind::kConnection);
    if (connection == nullptr) {
      return nullptr;
    }
    return ToHttpHandle(new CurlRequest(*connection, verb.view(), path.view()));
  }

  void SetOption(HttpHandle request, int32_t option, int32_t value) override {
    if (auto *r =
            CurlHandleOf<CurlRequest>(request, CurlHandleKind::kRequest)) {
      r->SetTimeout(option, value);
    }
  }

  void SendRequest(HttpHandle request, const Text &headers,
                   const Text &data) override {
    if (auto *r =
            CurlHandleOf<CurlRequest>(request, CurlHandleKind::kRequest)) {
      r->Send(headers.view(), data.view());
    }
  }

  int32_t ReadBody(HttpHandle request, char *buffer, int32_t size) override {
    auto *r = CurlHandleOf<CurlRequest>(request, CurlHandleKind::kRequest);
    return r != nullptr ? r->Read(buffer, size) : 0;
  }

  // Like the home system's library: the headers and a zero byte are written
  // only when both fit; otherwise the buffer stays as it was and *length
  // says how much would be needed.
  void QueryInfo(HttpHandle request, int32_t info_level, char *buffer,
                 int32_t *length) override {
    auto *r = CurlHandleOf<CurlRequest>(request, CurlHandleKind::kRequest);
    if (r == nullptr || info_level != kQueryRawHeadersCrLf ||
        length == nullptr || r->RawHeaders().empty()) {
      return;
    }
    const std::string &headers = r->RawHeaders();
    auto size = static_cast<int64_t>(headers.size());
    if (*length < 0 || size + 1 > *length) {
      *length = static_cast<int32_t>(std::min<int64_t>(size + 1, INT32_MAX));
      return;
    }
    std::memcpy(buffer, headers.data(), headers.size());
    buffer[headers.size()] = '\0';
    *length = static_cast<int32_t>(size);
  }

  void CloseHandle(HttpHandle handle) override {
    delete reinterpret_cast<CurlHandle *>(handle);
  }
};

} // namespace

HttpLibrary &SystemHttpLibrary() {
  static CurlHttpLibrary library;
  return library;
}

} // namespace cdk
