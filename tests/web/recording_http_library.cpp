// The recording fake's bookkeeping: numbered handles, one line per call,
// scripted bodies handed out piece by piece.
#include "web/recording_http_library.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace cdk {

namespace {

std::string Hex(uint32_t value) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%08x", value);
  return text;
}

} // namespace

std::string RecordingHttpLibrary::Quote(std::string_view bytes) {
  std::string quoted = "'";
  for (char c : bytes) {
    if (c == '\r') {
      quoted += "\\r";
    } else if (c == '\n') {
      quoted += "\\n";
    } else {
      quoted += c;
    }
  }
  return quoted + "'";
}

void RecordingHttpLibrary::QueueResponse(FakeResponse response) {
  queued_.push_back(std::move(response));
}

void RecordingHttpLibrary::SetDefaultResponse(FakeResponse response) {
  default_response_ = std::move(response);
}

HttpHandle RecordingHttpLibrary::NewHandle(size_t fetch) {
  handles_.push_back({static_cast<int32_t>(handles_.size() + 1), fetch});
  return reinterpret_cast<HttpHandle>(static_cast<uintptr_t>(handles_.size()));
}

const RecordingHttpLibrary::HandleInfo *
RecordingHttpLibrary::Find(HttpHandle handle) const {
  auto number = reinterpret_cast<uintptr_t>(handle);
  if (number == 0 || number > handles_.size()) {
    return nullptr;
  }
  return &handles_[number - 1];
}

std::string RecordingHttpLibrary::Name(HttpHandle handle) const {
  const HandleInfo *info = Find(handle);
  return info != nullptr ? "#" + std::to_string(info->number) : "none";
}

HttpHandle RecordingHttpLibrary::OpenSession(const Text &agent, int32_t access,
                                             const Text &proxy_list,
                                             const Text &bypass_list,
                                             uint32_t flags) {
  std::string line = "OpenSession(" + Quote(agent.view()) + ", " +
                     std::to_string(access) + ", " + Quote(proxy_list.view()) +
                     ", " + Quote(bypass_list.view()) + ", " +
                     std::to_string(flags) + ")";
  if (Failing(FakeStep::kOpenSession)) {
    Note(line + " -> none");
    return nullptr;
  }
  RecordedFetch fetch;
  fetch.number = static_cast<int32_t>(fetches_.size() + 1);
  fetch.agent = agent;
  fetch.access = access;
  fetch.proxy_list = proxy_list;
  fetches_.push_back(std::move(fetch));
  HttpHandle handle = NewHandle(fetches_.size() - 1);
  Note(line + " -> " + Name(handle));
  return handle;
}

HttpHandle RecordingHttpLibrary::Connect(HttpHandle session, const Text &host,
                                         int32_t port, const Text &user_name,
                                         const Text &password, int32_t service,
                                         uint32_t flags, uintptr_t context) {
  std::string line =
      "Connect(" + Name(session) + ", " + Quote(host.view()) + ", " +
      std::to_string(port) + ", " + Quote(user_name.view()) + ", " +
      Quote(password.view()) + ", " + std::to_string(service) + ", " +
      std::to_string(flags) + ", " + std::to_string(context) + ")";
  const HandleInfo *info = Find(session);
  if (info == nullptr || Failing(FakeStep::kConnect)) {
    Note(line + " -> none");
    return nullptr;
  }
  fetches_[info->fetch].host = host;
  fetches_[info->fetch].port = port;
  HttpHandle handle = NewHandle(info->fetch);
  Note(line + " -> " + Name(handle));
  return handle;
}

HttpHandle RecordingHttpLibrary::OpenRequest(HttpHandle connection,
                                             const Text &verb, const Text &path,
                                             const Text &version,
                                             uint32_t flags,
                                             uintptr_t context) {
  std::string line = "OpenRequest(" + Name(connection) + ", " +
                     Quote(verb.view()) + ", " + Quote(path.view()) + ", " +
                     Quote(version.view()) + ", " + Hex(flags) + ", " +
                     std::to_string(context) + ")";
  const HandleInfo *info = Find(connection);
  if (info == nullptr || Failing(FakeStep::kOpenRequest)) {
    Note(line + " -> none");
    return nullptr;
  }
  RecordedFetch &fetch = fetches_[info->fetch];
  fetch.verb = verb;
  fetch.path = path;
  fetch.response = next_queued_ < queued_.size() ? queued_[next_queued_++]
                                                 : default_response_;
  HttpHandle handle = NewHandle(info->fetch);
  Note(line + " -> " + Name(handle));
  return handle;
}

void RecordingHttpLibrary::SetOption(HttpHandle request, int32_t option,
                                     int32_t value) {
  Note("SetOption(" + Name(request) + ", " + std::to_string(option) + ", " +
       std::to_string(value) + ")");
  if (const HandleInfo *info = Find(request)) {
    fetches_[info->fetch].options.emplace_back(option, value);
  }
}

void RecordingHttpLibrary::SendRequest(HttpHandle request, const Text &headers,
                                       const Text &data) {
  Note("SendRequest(" + Name(request) + ", " + Quote(headers.view()) + ", " +
       Quote(data.view()) + ")");
  if (const HandleInfo *info = Find(request)) {
    RecordedFetch &fetch = fetches_[info->fetch];
    fetch.sent = !Failing(FakeStep::kSend);
    fetch.headers = headers;
    fetch.data = data;
  }
}

int32_t RecordingHttpLibrary::ReadBody(HttpHandle request, char *buffer,
                                       int32_t size) {
  const HandleInfo *info = Find(request);
  bool zeroed = size <= 0 || std::all_of(buffer, buffer + size,
                                         [](char c) { return c == 0; });
  std::string line = "ReadBody(" + Name(request) + ", " + std::to_string(size) +
                     (zeroed ? "" : ", dirty buffer") + ") -> ";
  if (info == nullptr) {
    Note(line + "0");
    return 0;
  }
  // The hook may run a nested fetch, which adds fetches: index again after.
  size_t index = info->fetch;
  if (on_read_) {
    on_read_(fetches_[index]);
  }
  RecordedFetch &fetch = fetches_[index];
  const FakeResponse &response = fetch.response;
  int64_t left = static_cast<int64_t>(response.body.size()) - fetch.delivered;
  if (response.fail_after >= 0) {
    left = std::min<int64_t>(left, response.fail_after - fetch.delivered);
  }
  int64_t count = std::max<int64_t>(
      0, std::min<int64_t>({left, size, std::max(response.piece, 1)}));
  if (!fetch.sent || Failing(FakeStep::kRead)) {
    count = 0;
  }
  std::memcpy(buffer, response.body.data() + fetch.delivered,
              static_cast<size_t>(count));
  fetch.delivered += count;
  ++fetch.reads;
  Note(line + std::to_string(count));
  return static_cast<int32_t>(count);
}

void RecordingHttpLibrary::QueryInfo(HttpHandle request, int32_t info_level,
                                     char *buffer, int32_t *length) {
  Note("QueryInfo(" + Name(request) + ", " + std::to_string(info_level) + ", " +
       (length != nullptr ? std::to_string(*length) : "none") + ")");
  const HandleInfo *info = Find(request);
  if (info == nullptr || length == nullptr || Failing(FakeStep::kQuery) ||
      info_level != kQueryRawHeadersCrLf || !fetches_[info->fetch].sent) {
    return;
  }
  // Written with its zero byte only when both fit, as the real ones do.
  const std::string &headers = fetches_[info->fetch].response.raw_headers;
  if (static_cast<int64_t>(headers.size()) + 1 > *length) {
    *length = static_cast<int32_t>(headers.size() + 1);
    return;
  }
  std::memcpy(buffer, headers.data(), headers.size());
  buffer[headers.size()] = '\0';
  *length = static_cast<int32_t>(headers.size());
}

void RecordingHttpLibrary::CloseHandle(HttpHandle handle) {
  Note("CloseHandle(" + Name(handle) + ")");
}

} // namespace cdk
