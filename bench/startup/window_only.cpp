// The window, its loop and the GTK backend with no handler bound: what
// start-up costs before the version check's fetch, which the program's own
// HandleWindowCreated adds.
#include "app/desktop_platform.h"
#include "app/shell.h"

int main() {
  auto platform = cdk::CreateDesktopPlatform();
  return cdk::RunProgram(*platform, {});
}
