// The hostile server's process: spawned with a pipe on its stdin (closing it
// ends the server, also when this process dies without cleaning up) and one
// on its stdout, where it says "ready".
#include "reliability/hostile_server.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>

extern char **environ;

namespace cdk::test {

namespace {

// The bind may wait for another build tree's test to free the port.
constexpr int kReadyTimeoutMs = 150 * 1000;

std::string TempLogPath() {
  const char *dir = std::getenv("TMPDIR");
  std::string path =
      std::string(dir != nullptr ? dir : "/tmp") + "/cdk-hostile-XXXXXX";
  int fd = mkstemp(path.data());
  if (fd >= 0) {
    close(fd);
  }
  return path;
}

bool WaitForReady(int fd) {
  using Clock = std::chrono::steady_clock;
  const auto deadline =
      Clock::now() + std::chrono::milliseconds(kReadyTimeoutMs);
  std::string seen;
  while (seen.find("ready\n") == std::string::npos) {
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - Clock::now());
    if (left.count() <= 0) {
      return false;
    }
    pollfd p{fd, POLLIN, 0};
    if (poll(&p, 1, static_cast<int>(left.count())) <= 0) {
      continue;
    }
    char buffer[256];
    ssize_t n = read(fd, buffer, sizeof buffer);
    if (n <= 0) {
      return false; // the server ended before it was ready
    }
    seen.append(buffer, static_cast<size_t>(n));
  }
  return true;
}

} // namespace

HostileServer::HostileServer(const std::string &server_case, int port)
    : log_path_(TempLogPath()) {
  int in[2];
  int out[2];
  if (pipe2(in, O_CLOEXEC) != 0 || pipe2(out, O_CLOEXEC) != 0) {
    return;
  }
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, in[0], STDIN_FILENO);
  posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
  std::string port_text = std::to_string(port);
  const char *argv[] = {
      CDK_PYTHON,        CDK_HOSTILE_SERVER, "--port",
      port_text.c_str(), "--case",           server_case.c_str(),
      "--log",           log_path_.c_str(),  nullptr};
  int spawned = posix_spawn(&pid_, CDK_PYTHON, &actions, nullptr,
                            const_cast<char **>(argv), environ);
  posix_spawn_file_actions_destroy(&actions);
  close(in[0]);
  close(out[1]);
  stdin_fd_ = in[1];
  if (spawned != 0) {
    pid_ = -1;
    close(out[0]);
    return;
  }
  ready_ = WaitForReady(out[0]);
  close(out[0]);
}

HostileServer::~HostileServer() {
  if (stdin_fd_ >= 0) {
    close(stdin_fd_);
  }
  if (pid_ > 0) {
    kill(pid_, SIGTERM);
    waitpid(pid_, nullptr, 0);
  }
  std::remove(log_path_.c_str());
}

std::vector<ServedRequest> HostileServer::Requests() const {
  std::vector<ServedRequest> requests;
  std::ifstream log(log_path_);
  std::string word;
  for (std::string line; std::getline(log, line);) {
    std::istringstream in(line);
    ServedRequest r{};
    if (in >> word >> r.number >> r.seconds && word == "request") {
      std::getline(in >> std::ws, r.line);
      requests.push_back(r);
    }
  }
  return requests;
}

} // namespace cdk::test
