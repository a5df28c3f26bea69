// A request on libcurl: the send runs the transfer until the final
// response's headers are in (following redirects), each read runs it until
// body bytes are buffered. Nothing calls into libcurl from its callbacks.
#include <algorithm>
#include <cctype>
#include <cstring>
#include <vector>

#include "curl_backend.h"
#include "web/http_library.h"

namespace cdk {

namespace {

constexpr int32_t kDefaultTimeoutMs = 18000;
constexpr int32_t kMaxRedirects = 10;
constexpr int32_t kDefaultPort = 80;
// Longest single wait, so a stall is noticed soon after its deadline.
constexpr int kMaxPollMs = 1000;
// Bigger than libcurl's 16 KiB default: fewer trips through the multi
// handle on long pages; the reads still hand out at most what they ask.
constexpr long kReceiveBufferSize = 256 * 1024;

bool StartsWithNoCase(std::string_view text, std::string_view prefix) {
  return text.size() >= prefix.size() &&
         std::equal(prefix.begin(), prefix.end(), text.begin(),
                    [](char a, char b) {
                      return std::tolower(static_cast<unsigned char>(a)) ==
                             std::tolower(static_cast<unsigned char>(b));
                    });
}

// Calls visit(line) for each line of a CR LF block, without its line end.
template <class Visit> void ForEachLine(std::string_view block, Visit visit) {
  while (!block.empty()) {
    size_t end = block.find("\r\n");
    visit(block.substr(0, end));
    block = end == std::string_view::npos ? std::string_view()
                                          : block.substr(end + 2);
  }
}

// A header line of that name, at the start of a line: a name that merely
// runs on behind another line's text is not a header of its own.
bool HasHeaderLine(std::string_view block, std::string_view name) {
  bool found = false;
  ForEachLine(block, [&](std::string_view line) {
    found = found || (StartsWithNoCase(line, name) &&
                      line.substr(name.size()).starts_with(':'));
  });
  return found;
}

std::string WithoutHeaderLines(std::string_view block,
                               std::initializer_list<std::string_view> names) {
  std::string kept;
  ForEachLine(block, [&](std::string_view line) {
    for (std::string_view name : names) {
      if (StartsWithNoCase(line, name) &&
          line.substr(name.size()).starts_with(':')) {
        return;
      }
    }
    kept.append(line).append("\r\n");
  });
  return kept;
}

// What the name lookup would accept. Anything else ('host?x=1', an empty
// host) fails the way a lookup of it would, before anything is sent.
bool IsHostName(std::string_view host) {
  return !host.empty() && std::all_of(host.begin(), host.end(), [](char c) {
    return std::isalnum(static_cast<unsigned char>(c)) || c == '-' ||
           c == '.' || c == '_';
  });
}

int32_t StatusOf(std::string_view status_line) {
  size_t space = status_line.find(' ');
  if (space == std::string_view::npos) {
    return 0;
  }
  int32_t status = 0;
  for (char c : status_line.substr(space + 1, 3)) {
    if (c < '0' || c > '9') {
      return 0;
    }
    status = status * 10 + (c - '0');
  }
  return status;
}

bool IsFollowedRedirect(int32_t status) {
  return status == 301 || status == 302 || status == 303 || status == 307 ||
         status == 308;
}

std::string HeaderValue(std::string_view block, std::string_view name) {
  std::string value;
  ForEachLine(block, [&](std::string_view line) {
    if (value.empty() && StartsWithNoCase(line, name) &&
        line.substr(name.size()).starts_with(':')) {
      std::string_view v = line.substr(name.size() + 1);
      size_t first = v.find_first_not_of(" \t");
      size_t last = v.find_last_not_of(" \t");
      if (first != std::string_view::npos) {
        value = v.substr(first, last - first + 1);
      }
    }
  });
  return value;
}

// The URL a Location value points to, resolved against the current one;
// empty when it is not an http URL, the only scheme carried.
std::string ResolveLocation(const std::string &base,
                            const std::string &location) {
  const CurlFunctions &curl = Curl();
  std::string resolved;
  CURLU *url = curl.url();
  if (url == nullptr) {
    return resolved;
  }
  const unsigned flags = CURLU_PATH_AS_IS | CURLU_ALLOW_SPACE;
  char *scheme = nullptr;
  char *text = nullptr;
  if (curl.url_set(url, CURLUPART_URL, base.c_str(), flags) == CURLUE_OK &&
      curl.url_set(url, CURLUPART_URL, location.c_str(), flags) == CURLUE_OK &&
      curl.url_get(url, CURLUPART_SCHEME, &scheme, 0) == CURLUE_OK &&
      std::string_view(scheme) == "http" &&
      curl.url_get(url, CURLUPART_URL, &text, 0) == CURLUE_OK) {
    resolved = text;
  }
  curl.free(scheme);
  curl.free(text);
  curl.url_cleanup(url);
  return resolved;
}

} // namespace

CurlRequest::CurlRequest(const CurlConnection &connection,
                         std::string_view verb, std::string_view path)
    : CurlHandle(CurlHandleKind::kRequest), curl_(Curl()),
      settings_(connection.settings), host_(connection.host),
      port_(connection.port), verb_(verb.empty() ? "GET" : verb), path_(path),
      connect_timeout_ms_(kDefaultTimeoutMs),
      send_timeout_ms_(kDefaultTimeoutMs),
      receive_timeout_ms_(kDefaultTimeoutMs) {}

CurlRequest::~CurlRequest() { StopTransfer(); }

void CurlRequest::SetTimeout(int32_t option, int32_t ms) {
  if (ms <= 0) {
    return;
  }
  if (option == kOptionConnectTimeout) {
    connect_timeout_ms_ = ms;
  } else if (option == kOptionSendTimeout) {
    send_timeout_ms_ = ms;
  } else if (option == kOptionReceiveTimeout) {
    receive_timeout_ms_ = ms;
  }
}

void CurlRequest::Send(std::string_view header_block, std::string_view data) {
  if (easy_ != nullptr || redirects_ > 0 || headers_done_) {
    return; // one send per request
  }
  header_block_ = header_block;
  data_ = data;
  // Proxy mode without an http proxy to use (the list "http=" of an empty
  // address) fails like an unreachable proxy rather than going direct
  // behind the caller's back.
  if (!IsHostName(host_) ||
      (settings_.use_proxy && settings_.http_proxy.empty())) {
    return;
  }
  // The port travels as 16 bits, and 0 stands for the service's default,
  // as in the home system's library.
  int32_t port = port_ & 0xFFFF;
  if (port == 0) {
    port = kDefaultPort;
  }
  // Appended rather than `"http://" + host_`: GCC 12 at -O3 reports a false
  // -Wrestrict inside std::string's operator+ there.
  std::string origin("http://");
  origin += host_;
  if (port != kDefaultPort) {
    origin.append(":").append(std::to_string(port));
  }
  // The path goes into the request line byte for byte: libcurl's URL parser
  // would drop a fragment or refuse a space. A proxy gets the absolute URI.
  std::string target = settings_.use_proxy ? origin + path_ : path_;
  if (!StartTransfer(origin + "/", target)) {
    return;
  }
  url_ = origin + path_;
  do {
    Drive([this] { return headers_done_; });
  } while (headers_done_ && FollowRedirect());
}

int32_t CurlRequest::Read(char *buffer, int32_t size) {
  if (size <= 0) {
    return 0;
  }
  if (body_read_ == body_.size()) {
    Drive([this] { return body_read_ < body_.size(); });
  }
  size_t count = std::min(body_.size() - body_read_, static_cast<size_t>(size));
  std::memcpy(buffer, body_.data() + body_read_, count);
  body_read_ += count;
  if (body_read_ == body_.size()) {
    body_.clear();
    body_read_ = 0;
  }
  return static_cast<int32_t>(count);
}

bool CurlRequest::StartTransfer(const std::string &url,
                                const std::string &target) {
  easy_ = curl_.easy_init();
  multi_ = curl_.multi_init();
  header_list_ = BuildHeaderList();
  if (easy_ == nullptr || multi_ == nullptr || header_list_ == nullptr) {
    StopTransfer();
    return false;
  }
  CURL *e = easy_;
  curl_.easy_setopt(e, CURLOPT_URL, url.c_str());
  if (!target.empty()) {
    curl_.easy_setopt(e, CURLOPT_REQUEST_TARGET, target.c_str());
  }
  curl_.easy_setopt(e, CURLOPT_PATH_AS_IS, 1L);
  curl_.easy_setopt(e, CURLOPT_PROTOCOLS_STR, "http");
  curl_.easy_setopt(e, CURLOPT_HTTP_VERSION, CURL_HTTP_VERSION_1_1);
  // The program reads no environment: an empty proxy switches off
  // http_proxy and ALL_PROXY, and an empty exception list NO_PROXY.
  if (settings_.use_proxy) {
    std::string proxy = "http://" + settings_.http_proxy;
    curl_.easy_setopt(e, CURLOPT_PROXY, proxy.c_str());
    curl_.easy_setopt(e, CURLOPT_PROXYTYPE, static_cast<long>(CURLPROXY_HTTP));
    curl_.easy_setopt(e, CURLOPT_PROXYPORT, static_cast<long>(kDefaultPort));
    curl_.easy_setopt(e, CURLOPT_NOPROXY, "");
  } else {
    curl_.easy_setopt(e, CURLOPT_PROXY, "");
  }
  curl_.easy_setopt(e, CURLOPT_USERAGENT, settings_.agent.c_str());
  curl_.easy_setopt(e, CURLOPT_HTTPHEADER, header_list_);
  if (!data_.empty()) {
    curl_.easy_setopt(e, CURLOPT_POST, 1L);
    curl_.easy_setopt(e, CURLOPT_POSTFIELDS, data_.data());
    curl_.easy_setopt(e, CURLOPT_POSTFIELDSIZE_LARGE,
                      static_cast<curl_off_t>(data_.size()));
    if (verb_ != "POST") {
      curl_.easy_setopt(e, CURLOPT_CUSTOMREQUEST, verb_.c_str());
    }
  } else if (verb_ != "GET") {
    curl_.easy_setopt(e, CURLOPT_CUSTOMREQUEST, verb_.c_str());
  }
  // Redirects are followed here, not by libcurl, so the send can tell the
  // final response's headers from those of a hop.
  curl_.easy_setopt(e, CURLOPT_FOLLOWLOCATION, 0L);
  curl_.easy_setopt(e, CURLOPT_FORBID_REUSE, 1L);
  curl_.easy_setopt(e, CURLOPT_FRESH_CONNECT, 1L);
  curl_.easy_setopt(e, CURLOPT_NOSIGNAL, 1L);
  curl_.easy_setopt(e, CURLOPT_CONNECTTIMEOUT_MS,
                    static_cast<long>(connect_timeout_ms_));
  curl_.easy_setopt(e, CURLOPT_BUFFERSIZE, kReceiveBufferSize);
  curl_.easy_setopt(e, CURLOPT_HEADERFUNCTION, &CurlRequest::OnHeader);
  curl_.easy_setopt(e, CURLOPT_HEADERDATA, this);
  curl_.easy_setopt(e, CURLOPT_WRITEFUNCTION, &CurlRequest::OnBody);
  curl_.easy_setopt(e, CURLOPT_WRITEDATA, this);
  curl_.easy_setopt(e, CURLOPT_PREREQFUNCTION, &CurlRequest::OnConnected);
  curl_.easy_setopt(e, CURLOPT_PREREQDATA, this);
  if (curl_.multi_add_handle(multi_, easy_) != CURLM_OK) {
    StopTransfer();
    return false;
  }
  running_ = true;
  connected_ = false;
  return true;
}

void CurlRequest::StopTransfer() {
  if (multi_ != nullptr && easy_ != nullptr) {
    curl_.multi_remove_handle(multi_, easy_);
  }
  curl_.easy_cleanup(easy_);
  curl_.multi_cleanup(multi_);
  curl_.slist_free_all(header_list_);
  easy_ = nullptr;
  multi_ = nullptr;
  header_list_ = nullptr;
  running_ = false;
}

curl_slist *CurlRequest::BuildHeaderList() const {
  // Empty "Name:" entries stop libcurl's own lines: its "Accept: */*", an
  // "Expect: 100-continue" and a form Content-Type, none of which the home
  // system's library sends; and its Host, User-Agent and Content-Length
  // where the block brings its own.
  std::vector<std::string> entries = {"Accept:", "Expect:", "Content-Type:"};
  for (std::string_view name : {"Host", "User-Agent", "Content-Length"}) {
    if (HasHeaderLine(header_block_, name)) {
      entries.push_back(std::string(name) + ":");
    }
  }
  // The block goes on the wire as one entry, which libcurl sends followed by
  // CR LF: so lines that run on, or have no value, stay exactly as built.
  // (A block with nothing but blanks behind its first colon would be
  // dropped by libcurl; FetchPage never builds one.)
  std::string block = header_block_;
  if (block.ends_with("\r\n")) {
    block.resize(block.size() - 2);
  }
  if (!block.empty()) {
    entries.push_back(block);
  }
  curl_slist *list = nullptr;
  for (const std::string &entry : entries) {
    curl_slist *longer = curl_.slist_append(list, entry.c_str());
    if (longer == nullptr) {
      curl_.slist_free_all(list);
      return nullptr;
    }
    list = longer;
  }
  return list;
}

template <class Done> void CurlRequest::Drive(Done done) {
  while (running_ && !done()) {
    int still_running = 0;
    curl_.multi_perform(multi_, &still_running);
    CollectFinished();
    if (!running_ || done()) {
      return;
    }
    int wait_ms = kMaxPollMs;
    if (StalledTooLong(&wait_ms)) {
      // What arrived stays readable; the transfer ends here.
      StopTransfer();
      return;
    }
    curl_.multi_poll(multi_, nullptr, 0, wait_ms, nullptr);
  }
}

void CurlRequest::CollectFinished() {
  int left = 0;
  while (CURLMsg *message = curl_.multi_info_read(multi_, &left)) {
    if (message->msg == CURLMSG_DONE) {
      running_ = false;
    }
  }
}

bool CurlRequest::StalledTooLong(int *wait_ms) {
  Clock::time_point now = Clock::now();
  curl_off_t sent = 0;
  curl_.easy_getinfo(easy_, CURLINFO_SIZE_UPLOAD_T, &sent);
  int64_t mark = bytes_in_ + sent;
  // Until the connection stands, libcurl's connect time-out governs.
  if (!connected_ || mark != progress_mark_) {
    progress_mark_ = mark;
    last_progress_ = now;
    return false;
  }
  bool sending = static_cast<size_t>(sent) < data_.size();
  auto limit = std::chrono::milliseconds(sending ? send_timeout_ms_
                                                 : receive_timeout_ms_);
  auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
      last_progress_ + limit - now);
  if (left.count() <= 0) {
    return true;
  }
  *wait_ms = static_cast<int>(std::min<int64_t>(left.count(), kMaxPollMs));
  return false;
}

bool CurlRequest::FollowRedirect() {
  if (!IsFollowedRedirect(status_) || redirects_ >= kMaxRedirects) {
    return false;
  }
  std::string location = HeaderValue(raw_headers_, "Location");
  std::string next = location.empty() ? "" : ResolveLocation(url_, location);
  if (next.empty()) {
    return false;
  }
  // As browsers do: 303 turns any method into GET, 301 and 302 turn POST
  // into GET; 307 and 308 repeat the request as it was.
  bool posting = StartsWithNoCase(verb_, "POST") && verb_.size() == 4;
  if (status_ == 303 || ((status_ == 301 || status_ == 302) && posting)) {
    if (verb_ != "GET") {
      verb_ = "GET";
      data_.clear();
      header_block_ =
          WithoutHeaderLines(header_block_, {"Content-Length", "Content-Type"});
    }
  }
  StopTransfer();
  ++redirects_;
  header_lines_.clear();
  raw_headers_.clear();
  headers_done_ = false;
  status_ = 0;
  body_.clear();
  body_read_ = 0;
  url_ = next;
  return StartTransfer(next, "");
}

size_t CurlRequest::OnHeader(char *data, size_t size, size_t count,
                             void *self) {
  auto *request = static_cast<CurlRequest *>(self);
  size_t length = size * count;
  request->bytes_in_ += static_cast<int64_t>(length);
  if (request->headers_done_) {
    return length; // trailers of a chunked body
  }
  std::string_view line(data, length);
  while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) {
    line.remove_suffix(1);
  }
  if (!line.empty()) {
    request->header_lines_.append(line).append("\r\n");
    return length;
  }
  int32_t status = StatusOf(
      request->header_lines_.substr(0, request->header_lines_.find("\r\n")));
  if (status >= 100 && status < 200) {
    request->header_lines_.clear(); // an interim answer; the real one follows
    return length;
  }
  request->raw_headers_ = std::move(request->header_lines_);
  request->raw_headers_.append("\r\n");
  request->header_lines_.clear();
  request->status_ = status;
  request->headers_done_ = true;
  return length;
}

size_t CurlRequest::OnBody(char *data, size_t size, size_t count, void *self) {
  auto *request = static_cast<CurlRequest *>(self);
  size_t length = size * count;
  request->bytes_in_ += static_cast<int64_t>(length);
  request->body_.append(data, length);
  return length;
}

int CurlRequest::OnConnected(void *self, char *, char *, int, int) {
  static_cast<CurlRequest *>(self)->connected_ = true;
  return CURL_PREREQFUNC_OK;
}

} // namespace cdk
