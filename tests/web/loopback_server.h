// A small HTTP server on 127.0.0.1 for the backend tests and the fetch
// benchmark: each connection runs a scripted handler on a thread of its
// own, and every request it reads is kept, byte for byte.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

namespace cdk {

class LoopbackServer;

class LoopbackConnection {
public:
  LoopbackConnection(LoopbackServer &server, int socket)
      : server_(server), socket_(socket) {}

  // One request: the head up to its empty line, then as many body bytes as
  // its Content-Length names. Empty when the client went away first.
  std::string ReadRequest();
  bool Send(std::string_view bytes);
  // Waits ms, or less when the server is being stopped (then false), so a
  // scripted pause never holds up the end of a test.
  bool Pause(int ms);
  // Ends the connection with a TCP reset rather than an orderly close.
  void Reset();

private:
  friend class LoopbackServer;
  LoopbackServer &server_;
  int socket_;
  std::string unread_;
};

class LoopbackServer {
public:
  using Handler = std::function<void(LoopbackConnection &)>;

  // Listens on an ephemeral port of 127.0.0.1, so tests can run side by
  // side. The handler runs once per connection; the connection is closed
  // when it returns.
  explicit LoopbackServer(Handler handler);
  ~LoopbackServer();
  LoopbackServer(const LoopbackServer &) = delete;
  LoopbackServer &operator=(const LoopbackServer &) = delete;

  int Port() const { return port_; }
  // "http://127.0.0.1:<port>" followed by path.
  std::string Url(std::string_view path) const;

  std::vector<std::string> Requests() const;
  int Connections() const { return connections_; }
  // True once count requests have been read, false at the deadline.
  bool WaitForRequests(size_t count, std::chrono::milliseconds deadline);

private:
  friend class LoopbackConnection;
  void AcceptLoop();
  void Record(std::string request);
  void JoinFinished();

  Handler handler_;
  int listener_ = -1;
  int port_ = 0;
  std::atomic<bool> stopping_{false};
  std::atomic<int> connections_{0};
  std::thread acceptor_;

  mutable std::mutex mutex_;
  std::condition_variable changed_;
  std::vector<std::string> requests_;
  std::vector<int> open_sockets_;
  // A connection's thread is joined soon after it ends, so a benchmark's
  // thousands of connections do not pile up threads.
  std::map<uint64_t, std::thread> workers_;
  std::vector<uint64_t> finished_;
  uint64_t next_worker_ = 0;
};

// "HTTP/1.1 <status>\r\n", the extra header lines, a Content-Length unless
// the extra lines name a Transfer-Encoding, the empty line, then the body.
std::string HttpResponse(std::string_view body,
                         std::string_view status = "200 OK",
                         std::string_view extra_headers = "");

// Reads the request and answers it with HttpResponse.
LoopbackServer::Handler Answer(std::string body, std::string status = "200 OK",
                               std::string extra_headers = "");

} // namespace cdk
