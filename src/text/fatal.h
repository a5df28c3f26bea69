// The one way the program ends on an error it cannot go on from. The text
// layer raises it; the application shell installs the handler that shows the
// fatal-error box.
#pragma once

#include <cstdint>

namespace cdk {

class Text;

// Shows message (a Text in the system code page) and must not return.
using FatalErrorHandler = void (*)(const Text &message);

// Until a handler is installed, the message goes to stderr.
void SetFatalErrorHandler(FatalErrorHandler handler);

// Calls the handler; ends the process with exit code -1 if it returns.
[[noreturn]] void FatalError(const Text &message);

// "分配 %d 字节内存失败!" with the requested size in full decimal.
[[noreturn]] void FatalAllocationFailure(int64_t requested_bytes);

} // namespace cdk
