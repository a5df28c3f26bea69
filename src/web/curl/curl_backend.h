// The libcurl backend's one private header: its handles and the transfer
// that a request handle drives. The portable core never includes curl/curl.h.
#pragma once

#include <chrono>
#include <cstdint>
#include <string>
#include <string_view>

#include "curl_functions.h"

namespace cdk {

enum class CurlHandleKind : uint8_t { kSession, kConnection, kRequest };

// Every handle handed out is one of these; a request copies what it needs
// from its session and connection, since they may be closed before it.
struct CurlHandle {
  explicit CurlHandle(CurlHandleKind k) : kind(k) {}
  virtual ~CurlHandle() = default;
  CurlHandleKind kind;
};

struct CurlSettings {
  std::string agent;
  bool use_proxy = false;
  std::string http_proxy; // host[:port]; may be empty
};

struct CurlSession : CurlHandle {
  CurlSession() : CurlHandle(CurlHandleKind::kSession) {}
  CurlSettings settings;
};

struct CurlConnection : CurlHandle {
  CurlConnection() : CurlHandle(CurlHandleKind::kConnection) {}
  CurlSettings settings;
  std::string host;
  int32_t port = 0;
};

// One request: its own easy and multi handle, so a request started between
// two reads of another (a nested fetch) shares nothing with it. The send
// drives the transfer until the final response's headers are in; each read
// then drives it only until some body bytes are buffered.
class CurlRequest : public CurlHandle {
public:
  CurlRequest(const CurlConnection &connection, std::string_view verb,
              std::string_view path);
  ~CurlRequest() override;
  CurlRequest(const CurlRequest &) = delete;
  CurlRequest &operator=(const CurlRequest &) = delete;

  void SetTimeout(int32_t option, int32_t ms);
  void Send(std::string_view header_block, std::string_view data);
  int32_t Read(char *buffer, int32_t size);
  // The final response's status line and header lines, each ended by CR LF,
  // then the empty line; empty when no response arrived.
  const std::string &RawHeaders() const { return raw_headers_; }

private:
  using Clock = std::chrono::steady_clock;

  bool StartTransfer(const std::string &url, const std::string &target);
  void StopTransfer();
  template <class Done> void Drive(Done done);
  void CollectFinished();
  bool StalledTooLong(int *wait_ms);
  bool FollowRedirect();
  curl_slist *BuildHeaderList() const;

  static size_t OnHeader(char *data, size_t size, size_t count, void *self);
  static size_t OnBody(char *data, size_t size, size_t count, void *self);
  static int OnConnected(void *self, char *, char *, int, int);

  const CurlFunctions &curl_;
  CurlSettings settings_;
  std::string host_;
  int32_t port_;
  std::string verb_;
  std::string path_;
  std::string header_block_;
  std::string data_;

  int32_t connect_timeout_ms_;
  int32_t send_timeout_ms_;
  int32_t receive_timeout_ms_;

  CURL *easy_ = nullptr;
  CURLM *multi_ = nullptr;
  curl_slist *header_list_ = nullptr;
  bool running_ = false;
  bool connected_ = false;
  std::string url_; // of the hop under way, to resolve a redirect against
  int32_t redirects_ = 0;

  // Filled by the callbacks, which touch nothing else and never call curl.
  std::string header_lines_;
  bool headers_done_ = false;
  int32_t status_ = 0;
  std::string body_;
  size_t body_read_ = 0; // bytes of body_ already handed out
  int64_t bytes_in_ = 0;

  std::string raw_headers_;
  int64_t progress_mark_ = -1;
  Clock::time_point last_progress_;
};

} // namespace cdk
