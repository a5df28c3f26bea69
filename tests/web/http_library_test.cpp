// The installed library and the fatal message of an unbound function.
#include "web/http_library.h"

#include <gtest/gtest.h>

#include "web/fetch_page.h"
#include "web/recording_http_library.h"

namespace cdk {
namespace {

struct MessageCase {
  const char *library;
  const char *function;
  const char *utf8; // the expected text, readable; compared as GBK below
  const char *gbk;
};

// GBK bytes of "无法找到指定DLL库文件“" and "”中的输出命令“" and "”.
#define LEAD                                                                   \
  "\xce\xde\xb7\xa8\xd5\xd2\xb5\xbd\xd6\xb8\xb6\xa8"                           \
  "DLL"                                                                        \
  "\xbf\xe2\xce\xc4\xbc\xfe\xa1\xb0"
#define MIDDLE                                                                 \
  "\xa1\xb1\xd6\xd0\xb5\xc4\xca\xe4\xb3\xf6\xc3\xfc\xc1\xee\xa1\xb0"
#define TAIL "\xa1\xb1"

const MessageCase kMessageCases[] = {
    {"wininet.dll", "InternetOpenA",
     "无法找到指定DLL库文件“wininet.dll”中的输出命令“InternetOpenA”",
     LEAD "wininet.dll" MIDDLE "InternetOpenA" TAIL},
    {"wininet.dll", "HttpQueryInfoA",
     "无法找到指定DLL库文件“wininet.dll”中的输出命令“HttpQueryInfoA”",
     LEAD "wininet.dll" MIDDLE "HttpQueryInfoA" TAIL},
    // Names are put in as they are, even when they look like the format.
    {"%s.dll", "%s", "无法找到指定DLL库文件“%s.dll”中的输出命令“%s”",
     LEAD "%s.dll" MIDDLE "%s" TAIL},
    {"", "", "无法找到指定DLL库文件“”中的输出命令“”", LEAD MIDDLE TAIL},
};

class MissingExportTest : public testing::TestWithParam<MessageCase> {};

TEST_P(MissingExportTest, NamesTheLibraryAndTheFunction) {
  const MessageCase &c = GetParam();
  EXPECT_EQ(MissingExportMessage(c.library, c.function), Text(c.gbk)) << c.utf8;
}

INSTANTIATE_TEST_SUITE_P(Messages, MissingExportTest,
                         testing::ValuesIn(kMessageCases));

TEST(InstalledHttpLibraryTest, WithoutABackendEveryFetchIsEmpty) {
  InstallHttpLibrary(nullptr);
  EXPECT_EQ(FetchPage("http://127.0.0.1:1/"), Bytes());
  Text receiver = "x";
  EXPECT_EQ(
      FetchPage("http://h/", "POST", Text(""), "A: b\r\n", "a=1", &receiver),
      Bytes());
  EXPECT_EQ(receiver, Text("x")); // nothing was opened, so nothing queried
}

TEST(InstalledHttpLibraryTest, ScopedInstallPutsTheEarlierOneBack) {
  HttpLibrary *before = &InstalledHttpLibrary();
  {
    RecordingHttpLibrary fake;
    ScopedHttpLibrary installed(fake);
    EXPECT_EQ(&InstalledHttpLibrary(), &fake);
  }
  EXPECT_EQ(&InstalledHttpLibrary(), before);
}

} // namespace
} // namespace cdk
