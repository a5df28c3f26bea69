// What a parent process sees of the program's fatal exit code -1.
#pragma once

namespace cdk::test {

// A POSIX parent sees only the low 8 bits of the status; Windows keeps it.
#ifdef _WIN32
inline constexpr int kFatalExitStatus = -1;
#else
inline constexpr int kFatalExitStatus = 255;
#endif

} // namespace cdk::test
