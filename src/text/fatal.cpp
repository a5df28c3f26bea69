// The fatal-error routine and the allocation-failure message.
#include "text/fatal.h"

#include <algorithm>
#include <charconv>
#include <cstdio>
#include <cstdlib>

#include "text/text.h"
#include "text_messages.h"

namespace cdk {
namespace {

void WriteToStderr(std::string_view message) {
  std::fwrite(message.data(), 1, message.size(), stderr);
  std::fputc('\n', stderr);
  std::fflush(stderr);
}

// Until the shell installs the fatal-error box, the message goes to stderr.
void DefaultFatalErrorHandler(const Text &message) {
  WriteToStderr(message.view());
  std::_Exit(-1);
}

FatalErrorHandler g_handler = DefaultFatalErrorHandler;

// A handler or the message itself may fail to get memory again; the second
// failure goes straight to stderr instead of recursing without end.
bool g_in_fatal_error = false;

// Clears the flag also when a handler leaves by throwing, as test handlers do.
class FatalErrorScope {
public:
  explicit FatalErrorScope(std::string_view message) {
    if (g_in_fatal_error) {
      WriteToStderr(message);
      std::_Exit(-1);
    }
    g_in_fatal_error = true;
  }
  ~FatalErrorScope() { g_in_fatal_error = false; }
  FatalErrorScope(const FatalErrorScope &) = delete;
  FatalErrorScope &operator=(const FatalErrorScope &) = delete;
};

} // namespace

void SetFatalErrorHandler(FatalErrorHandler handler) {
  g_handler = handler ? handler : DefaultFatalErrorHandler;
}

void FatalError(const Text &message) {
  {
    FatalErrorScope scope(message.view());
    g_handler(message);
  }
  std::_Exit(-1);
}

void FatalAllocationFailure(int64_t requested_bytes) {
  // The message with %d replaced, built in a fixed buffer so that it needs
  // no memory beyond the one small Text handed to the handler.
  char buffer[sizeof(kAllocationFailure) + 24];
  std::string_view pattern = kAllocationFailure;
  std::string_view head = pattern.substr(0, pattern.find("%d"));
  std::string_view tail =
      pattern.substr(std::min(head.size() + 2, pattern.size()));
  char *out = std::copy(head.begin(), head.end(), buffer);
  out = std::to_chars(out, buffer + sizeof(buffer), requested_bytes).ptr;
  out = std::copy(tail.begin(), tail.end(), out);
  std::string_view message(buffer, static_cast<size_t>(out - buffer));

  Text text;
  {
    FatalErrorScope scope(message);
    text = Text(message);
  }
  FatalError(text);
}

} // namespace cdk
