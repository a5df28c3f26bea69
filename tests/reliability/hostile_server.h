// Starts tests/reliability/hostile_server.py on this test program's loopback
// port for the life of a scope, and reads back the requests it saw.
#pragma once

#include <string>
#include <sys/types.h>
#include <vector>

namespace cdk::test {

struct ServedRequest {
  int number;     // 1 is the version check, the polls follow
  double seconds; // since the server started
  std::string line;
};

class HostileServer {
public:
  // Waits until the server accepts connections; ok() tells whether it did.
  HostileServer(const std::string &server_case, int port);
  ~HostileServer();
  HostileServer(const HostileServer &) = delete;
  HostileServer &operator=(const HostileServer &) = delete;

  bool ok() const { return ready_; }
  std::vector<ServedRequest> Requests() const;

private:
  pid_t pid_ = -1;
  int stdin_fd_ = -1; // the server ends when this closes
  bool ready_ = false;
  std::string log_path_;
};

} // namespace cdk::test
