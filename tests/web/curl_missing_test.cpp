// A libcurl without a function the backend binds: the first fetch ends the
// program with the fatal error that names the library and the function, as
// a missing WinINet export does on Windows. CTest runs it with a stand-in
// libcurl.so.4 first on the library path and names the function expected.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "fatal_exit.h"
#include "web/fetch_page.h"
#include "web/http_library.h"
#include "web/system_http_library.h"

namespace cdk {
namespace {

TEST(MissingCurlTest, FirstFetchIsTheFatalError) {
  const char *function = std::getenv("CDK_EXPECTED_MISSING");
  ASSERT_NE(function, nullptr) << "run through CTest, with a stand-in libcurl";
  // The message's own bytes are checked in http_library_test; here, that
  // this library and function are the ones named.
  const std::string named = std::string("libcurl\\.so\\.4.+") + function;
  EXPECT_EXIT(
      {
        InstallHttpLibrary(&SystemHttpLibrary());
        FetchPage(Text("http://127.0.0.1:9/"));
      },
      testing::ExitedWithCode(test::kFatalExitStatus), named);
}

} // namespace
} // namespace cdk
