// FetchPage: one request through the installed HTTP library, with the
// browser-like header block completed and events running between reads.
#include "web/fetch_page.h"

#include "app/shell.h"
#include "web/http_library.h"
#include "web/url.h"

namespace cdk {

namespace {

constexpr char kUserAgent[] =
    "Mozilla/4.0 (compatible; MSIE 6.0; Windows NT 5.0)";
constexpr char kProxyListPrefix[] = "http=";
constexpr char kHttpVersion[] = "HTTP/1.1";
constexpr int32_t kTimeoutMs = 18000;
constexpr int32_t kReadSize = 512;
constexpr int32_t kRawHeadersSize = 1024;

constexpr char kAcceptLine[] =
    "Accept: image/gif, image/x-xbitmap, image/jpeg, image/pjpeg, "
    "application/x-shockwave-flash, application/vnd.ms-excel, "
    "application/vnd.ms-powerpoint, application/msword, */*\r\n";
constexpr char kLanguageLine[] = "Accept-Language: zh-cn\r\n";
constexpr char kFormContentType[] =
    "Content-Type: application/x-www-form-urlencoded\r\n";

// Each default line is added only when the caller's text lacks its name
// anywhere, in any letter case; appended with no separator, so a caller's
// last line without CR LF runs on into the first added one.
Text CompleteHeaders(const Text &url, Text headers) {
  if (FindText(headers, "Accept: ", 1, true) == -1) {
    headers = JoinText(std::move(headers), Text(kAcceptLine));
  }
  if (FindText(headers, "Referer: ", 1, true) == -1) {
    headers =
        JoinText(std::move(headers), Text("Referer: "), url, Text("\r\n"));
  }
  if (FindText(headers, "Accept-Language: ", 1, true) == -1) {
    headers = JoinText(std::move(headers), Text(kLanguageLine));
  }
  return headers;
}

} // namespace

Bytes FetchPage(const Text &url, const Text &method,
                const std::optional<Text> &proxy, const Text &headers,
                const Text &body, Text *raw_headers) {
  HttpLibrary &http = InstalledHttpLibrary();

  HttpHandle root =
      proxy ? http.OpenSession(kUserAgent, kAccessProxy,
                               JoinText(Text(kProxyListPrefix), *proxy), {}, 0)
            : http.OpenSession(kUserAgent, kAccessDirect, {}, {}, 0);
  if (root == nullptr) {
    return {};
  }

  Text host = UrlHost(url);
  int32_t port = UrlPort(url);
  HttpHandle connection =
      http.Connect(root, host, port, {}, {}, kServiceHttp, 0, 0);
  if (connection == nullptr) {
    http.CloseHandle(root);
    return {};
  }

  // Only POST, in whatever letter case the caller wrote it, stays.
  Text verb = TextEqual(ToUpper(method), "POST") ? method : Text("GET");

  HttpHandle request = http.OpenRequest(connection, verb, UrlPath(url),
                                        kHttpVersion, kFlagReload, 0);
  if (request == nullptr) {
    http.CloseHandle(root);
    http.CloseHandle(connection);
    return {};
  }

  http.SetOption(request, kOptionConnectTimeout, kTimeoutMs);
  http.SetOption(request, kOptionReceiveTimeout, kTimeoutMs);
  http.SetOption(request, kOptionSendTimeout, kTimeoutMs);

  Text header_block = CompleteHeaders(url, headers);
  // A GET sends no data even when a body was passed; so does an empty POST.
  if (TextEqual(verb, "GET") || TextEqual(body, "")) {
    http.SendRequest(request, header_block, {});
  } else {
    // Added without looking for the caller's own content lines.
    header_block = JoinText(std::move(header_block), Text(kFormContentType),
                            Text("Content-Length: "), ToText(TextLength(body)),
                            Text("\r\n"));
    http.SendRequest(request, header_block, body);
  }

  // Events run before every read, the first one included; the send above
  // has already waited for the answer without running any. Once the window
  // has been closed the body counts as ended, so a closed program never
  // lingers on a slow page.
  Bytes page;
  int32_t count = 1;
  while (count > 0) {
    ProcessEvents();
    if (QuitRequested()) {
      break;
    }
    Bytes buffer = BlankBytes(kReadSize);
    count = http.ReadBody(request, buffer.data(), kReadSize);
    page = JoinBytes(std::move(page), BytesLeft(buffer, count));
  }

  if (raw_headers != nullptr) {
    // Whatever the query did, the receiver gets the buffer up to its first
    // zero byte: 1024 spaces when the headers did not fit.
    Bytes buffer(BlankText(kRawHeadersSize).view());
    int32_t length = kRawHeadersSize;
    http.QueryInfo(request, kQueryRawHeadersCrLf, buffer.data(), &length);
    *raw_headers = ToText(buffer);
  }

  http.CloseHandle(root);
  http.CloseHandle(connection);
  http.CloseHandle(request);
  return page;
}

} // namespace cdk
