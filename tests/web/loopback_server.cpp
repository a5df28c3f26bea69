// The loopback server's sockets and threads.
#include "loopback_server.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cstdlib>

namespace cdk {

namespace {

bool StartsWithNoCase(std::string_view text, std::string_view prefix) {
  return text.size() >= prefix.size() &&
         std::equal(prefix.begin(), prefix.end(), text.begin(),
                    [](char a, char b) {
                      return std::tolower(static_cast<unsigned char>(a)) ==
                             std::tolower(static_cast<unsigned char>(b));
                    });
}

size_t ContentLength(std::string_view head) {
  size_t at = 0;
  while (at < head.size()) {
    size_t end = head.find("\r\n", at);
    std::string_view line = head.substr(at, end - at);
    if (StartsWithNoCase(line, "Content-Length:")) {
      return std::strtoul(std::string(line.substr(15)).c_str(), nullptr, 10);
    }
    if (end == std::string_view::npos) {
      break;
    }
    at = end + 2;
  }
  return 0;
}

} // namespace

std::string LoopbackConnection::ReadRequest() {
  char chunk[4096];
  size_t head_end;
  while ((head_end = unread_.find("\r\n\r\n")) == std::string::npos) {
    ssize_t got = recv(socket_, chunk, sizeof chunk, 0);
    if (got <= 0) {
      return {};
    }
    unread_.append(chunk, static_cast<size_t>(got));
  }
  size_t total = head_end + 4 + ContentLength(unread_.substr(0, head_end + 2));
  while (unread_.size() < total) {
    ssize_t got = recv(socket_, chunk, sizeof chunk, 0);
    if (got <= 0) {
      return {};
    }
    unread_.append(chunk, static_cast<size_t>(got));
  }
  std::string request = unread_.substr(0, total);
  unread_.erase(0, total);
  server_.Record(request);
  return request;
}

bool LoopbackConnection::Send(std::string_view bytes) {
  while (!bytes.empty()) {
    ssize_t sent = send(socket_, bytes.data(), bytes.size(), MSG_NOSIGNAL);
    if (sent <= 0) {
      return false;
    }
    bytes.remove_prefix(static_cast<size_t>(sent));
  }
  return true;
}

bool LoopbackConnection::Pause(int ms) {
  std::unique_lock lock(server_.mutex_);
  return !server_.changed_.wait_for(lock, std::chrono::milliseconds(ms),
                                    [&] { return server_.stopping_.load(); });
}

void LoopbackConnection::Reset() {
  linger abort_on_close = {1, 0};
  setsockopt(socket_, SOL_SOCKET, SO_LINGER, &abort_on_close,
             sizeof abort_on_close);
  shutdown(socket_, SHUT_RD);
}

LoopbackServer::LoopbackServer(Handler handler) : handler_(std::move(handler)) {
  listener_ = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in address = {};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  address.sin_port = 0;
  socklen_t length = sizeof address;
  if (listener_ < 0 ||
      bind(listener_, reinterpret_cast<sockaddr *>(&address), length) != 0 ||
      listen(listener_, 64) != 0 ||
      getsockname(listener_, reinterpret_cast<sockaddr *>(&address), &length) !=
          0) {
    std::abort(); // a test cannot go on without its server
  }
  port_ = ntohs(address.sin_port);
  acceptor_ = std::thread([this] { AcceptLoop(); });
}

LoopbackServer::~LoopbackServer() {
  {
    std::lock_guard lock(mutex_);
    stopping_ = true;
    // Wakes the acceptor and any handler waiting for bytes.
    shutdown(listener_, SHUT_RDWR);
    for (int s : open_sockets_) {
      shutdown(s, SHUT_RDWR);
    }
  }
  changed_.notify_all();
  acceptor_.join();
  for (auto &[id, worker] : workers_) {
    worker.join();
  }
  close(listener_);
}

std::string LoopbackServer::Url(std::string_view path) const {
  return "http://127.0.0.1:" + std::to_string(port_) + std::string(path);
}

std::vector<std::string> LoopbackServer::Requests() const {
  std::lock_guard lock(mutex_);
  return requests_;
}

bool LoopbackServer::WaitForRequests(size_t count,
                                     std::chrono::milliseconds deadline) {
  std::unique_lock lock(mutex_);
  return changed_.wait_for(lock, deadline,
                           [&] { return requests_.size() >= count; });
}

void LoopbackServer::Record(std::string request) {
  {
    std::lock_guard lock(mutex_);
    requests_.push_back(std::move(request));
  }
  changed_.notify_all();
}

void LoopbackServer::JoinFinished() {
  std::vector<std::thread> done;
  {
    std::lock_guard lock(mutex_);
    for (uint64_t id : finished_) {
      done.push_back(std::move(workers_[id]));
      workers_.erase(id);
    }
    finished_.clear();
  }
  for (std::thread &worker : done) {
    worker.join();
  }
}

void LoopbackServer::AcceptLoop() {
  while (true) {
    int s = accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
    JoinFinished();
    if (s < 0) {
      if (stopping_) {
        return;
      }
      continue;
    }
    std::lock_guard lock(mutex_);
    if (stopping_) {
      close(s);
      return;
    }
    ++connections_;
    open_sockets_.push_back(s);
    uint64_t id = next_worker_++;
    workers_[id] = std::thread([this, s, id] {
      LoopbackConnection connection(*this, s);
      handler_(connection);
      std::lock_guard done(mutex_);
      std::erase(open_sockets_, s);
      close(s);
      finished_.push_back(id);
    });
  }
}

std::string HttpResponse(std::string_view body, std::string_view status,
                         std::string_view extra_headers) {
  std::string response = "HTTP/1.1 " + std::string(status) + "\r\n";
  response += extra_headers;
  if (!StartsWithNoCase(extra_headers, "Transfer-Encoding") &&
      extra_headers.find("\nTransfer-Encoding") == std::string_view::npos) {
    response += "Content-Length: " + std::to_string(body.size()) + "\r\n";
  }
  response += "\r\n";
  response += body;
  return response;
}

LoopbackServer::Handler Answer(std::string body, std::string status,
                               std::string extra_headers) {
  return [=](LoopbackConnection &connection) {
    if (!connection.ReadRequest().empty()) {
      connection.Send(HttpResponse(body, status, extra_headers));
    }
  };
}

} // namespace cdk
